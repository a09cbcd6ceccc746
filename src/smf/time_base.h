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
        base.m_ticksPerQuarter = ticksPerQuarterNote;
        return base;
    }
    static constexpr TimeBase timecode(FrameRate smpteFormat, std::uint8_t ticksPerFrame) {
        TimeBase base;
        base.m_musical = false;
        base.m_frameRate = smpteFormat;
        base.m_ticksPerFrame = ticksPerFrame;
        return base;
    }

    constexpr bool isMusical() const { return m_musical; }
    // 0 for a timecode time base.
    constexpr std::uint16_t ticksPerQuarterNote() const {
        return m_musical ? m_ticksPerQuarter : 0;
    }
    // Meaningful for a timecode time base only.
    constexpr FrameRate smpteFormat() const { return m_frameRate; }
    constexpr std::uint8_t ticksPerFrame() const { return m_musical ? 0 : m_ticksPerFrame; }

    std::string description() const;      // "Musical: 480 ticks per quarter"
    std::string debugDescription() const; // "timeBase(" + description + ")"

    friend constexpr bool operator==(const TimeBase& a, const TimeBase& b) {
        return a.m_musical == b.m_musical &&
               (a.m_musical
                    ? a.m_ticksPerQuarter == b.m_ticksPerQuarter
                    : a.m_frameRate == b.m_frameRate && a.m_ticksPerFrame == b.m_ticksPerFrame);
    }

private:
    constexpr TimeBase() = default;

    bool m_musical = true;
    std::uint16_t m_ticksPerQuarter = 960;
    FrameRate m_frameRate = FrameRate::fps24;
    std::uint8_t m_ticksPerFrame = 0;
};

} // namespace carvo::smf
