#pragma once
// The header's format and division.

#include <cstdint>
#include <optional>
#include <string>

namespace carvo::smf {

enum class Format : std::uint16_t {
    singleTrack = 0,
    multipleTracksSynchronous = 1,
    multipleTracksAsynchronous = 2,
};

std::string description(Format format);      // "Type 1 (multiple tracks synchronous)"
std::string debugDescription(Format format); // "Format(" + description + ")"

// Raw value: the low seven bits of the division's first byte (the negative rate, two's
// complement).
enum class FrameRate : std::uint8_t {
    fps24 = 0x68,
    fps25 = 0x67,
    fps29_97d = 0x63,
    fps30 = 0x62,
};

std::optional<FrameRate> frameRateFromRaw(std::uint8_t raw);
std::string description(FrameRate rate);      // "29.97dfps"
std::string debugDescription(FrameRate rate); // "FrameRate(" + description + ")"

class TimeBase {
public:
    static constexpr TimeBase musical(std::uint16_t ticksPerQuarterNote) {
        TimeBase base;
        base.ticksPerQuarter_ = ticksPerQuarterNote;
        return base;
    }
    static constexpr TimeBase timecode(FrameRate smpteFormat, std::uint8_t ticksPerFrame) {
        TimeBase base;
        base.musical_ = false;
        base.frameRate_ = smpteFormat;
        base.ticksPerFrame_ = ticksPerFrame;
        return base;
    }

    constexpr bool isMusical() const { return musical_; }
    // 0 for a timecode time base.
    constexpr std::uint16_t ticksPerQuarterNote() const { return musical_ ? ticksPerQuarter_ : 0; }
    // Meaningful for a timecode time base only.
    constexpr FrameRate smpteFormat() const { return frameRate_; }
    constexpr std::uint8_t ticksPerFrame() const { return musical_ ? 0 : ticksPerFrame_; }

    std::string description() const;      // "Musical: 480 ticks per quarter"
    std::string debugDescription() const; // "timeBase(" + description + ")"

    friend constexpr bool operator==(const TimeBase& a, const TimeBase& b) {
        return a.musical_ == b.musical_ &&
               (a.musical_ ? a.ticksPerQuarter_ == b.ticksPerQuarter_
                           : a.frameRate_ == b.frameRate_ && a.ticksPerFrame_ == b.ticksPerFrame_);
    }

private:
    constexpr TimeBase() = default;

    bool musical_ = true;
    std::uint16_t ticksPerQuarter_ = 960;
    FrameRate frameRate_ = FrameRate::fps24;
    std::uint8_t ticksPerFrame_ = 0;
};

} // namespace carvo::smf
