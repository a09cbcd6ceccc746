#pragma once
// Writes small Standard MIDI Files byte by byte, so tests state exactly what a file holds.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace carvo::test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t formatSingleTrack = 0;
constexpr std::uint16_t formatMultipleTracks = 1;

// The events of one "MTrk" chunk; each takes the delta in ticks since the previous event.
class TrackBytes {
public:
    TrackBytes& tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
        deltaTime(delta);
        append({0xFF, 0x51, 0x03});
        append({byteOf(microsecondsPerQuarter >> 16), byteOf(microsecondsPerQuarter >> 8),
                byteOf(microsecondsPerQuarter)});
        return *this;
    }
    // The denominator as the file stores it: the exponent of 2 (2 = quarter-note beat).
    TrackBytes& timeSignature(std::uint32_t delta, std::uint8_t numerator, std::uint8_t exponent) {
        deltaTime(delta);
        append({0xFF, 0x58, 0x04, numerator, exponent, 24, 8});
        return *this;
    }
    TrackBytes& noteOn(std::uint32_t delta, std::uint8_t key = 60) {
        deltaTime(delta);
        append({0x90, key, 100});
        return *this;
    }
    TrackBytes& text(std::uint32_t delta, std::string_view text) {
        deltaTime(delta);
        append({0xFF, 0x01, byteOf(text.size())});
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }

    // The body with its closing End of Track event.
    Bytes body() const {
        Bytes body = bytes_;
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        return body;
    }

private:
    template <class T> static std::uint8_t byteOf(T value) {
        return static_cast<std::uint8_t>(value & 0xFF);
    }
    void append(std::initializer_list<std::uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes); }
    // Variable-length quantity: seven bits a byte, most significant first.
    void deltaTime(std::uint32_t delta) {
        Bytes groups{byteOf(delta & 0x7F)};
        for (delta >>= 7; delta != 0; delta >>= 7) {
            groups.insert(groups.begin(), byteOf((delta & 0x7F) | 0x80));
        }
        bytes_.insert(bytes_.end(), groups.begin(), groups.end());
    }

    Bytes bytes_;
};

// A whole file: header with the given format and division, then one "MTrk" chunk per track.
inline Bytes midiFileBytes(std::uint16_t format, std::uint16_t division,
                           std::initializer_list<TrackBytes> tracks) {
    const auto u16 = [](Bytes& out, std::uint32_t v) {
        out.insert(out.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    };
    const auto u32 = [&](Bytes& out, std::uint32_t v) {
        u16(out, v >> 16);
        u16(out, v & 0xFFFF);
    };
    Bytes file{'M', 'T', 'h', 'd'};
    u32(file, 6);
    u16(file, format);
    u16(file, static_cast<std::uint32_t>(tracks.size()));
    u16(file, division);
    for (const auto& track : tracks) {
        const Bytes body = track.body();
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        u32(file, static_cast<std::uint32_t>(body.size()));
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

} // namespace carvo::test
