#pragma once
// Writes Standard MIDI File bytes for tests and benchmarks, so each case shows exactly what a file
// holds. Two levels: the pieces of a file (header, chunks, events), and TrackBytes with
// midiFileBytes for files of tempo, time-signature, note and text events.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace carvo::testing {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t formatSingleTrack = 0;
constexpr std::uint16_t formatMultipleTracks = 1;

// ---- The pieces of a file ----------------------------------------------------------------------

inline void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// A variable-length quantity: seven bits a byte, most significant group first, the top bit set on
// every byte but the last.
inline void appendVariableLength(Bytes& to, std::uint32_t value) {
    std::uint8_t groups[5];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        to.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    to.push_back(groups[0]);
}

// A meta event without its delta: FF, the type, the length as a variable-length quantity, data.
inline void appendMeta(Bytes& to, std::uint8_t type, std::string_view data) {
    to.insert(to.end(), {0xFF, type});
    appendVariableLength(to, static_cast<std::uint32_t>(data.size()));
    to.insert(to.end(), data.begin(), data.end());
}

// End of Track after a zero delta, the close of every well-formed body.
inline void appendEndOfTrack(Bytes& body) {
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
}

inline Bytes bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// The "MThd" chunk; a length other than 6 makes a malformed header.
inline Bytes header(std::uint16_t format, std::uint16_t trackCount, std::uint16_t division = 480,
                    std::uint32_t length = 6) {
    Bytes bytes{'M', 'T', 'h', 'd'};
    append(bytes, bigEndian32(length));
    append(bytes,
           {static_cast<std::uint8_t>(format >> 8), static_cast<std::uint8_t>(format),
            static_cast<std::uint8_t>(trackCount >> 8), static_cast<std::uint8_t>(trackCount),
            static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division)});
    return bytes;
}

inline Bytes chunk(const std::string& identifier, const Bytes& body) {
    Bytes bytes(identifier.begin(), identifier.end());
    append(bytes, bigEndian32(static_cast<std::uint32_t>(body.size())));
    append(bytes, body);
    return bytes;
}

// An "MTrk" chunk of the body as it is.
inline Bytes track(const Bytes& body) {
    return chunk("MTrk", body);
}

// A track body of the given events (each with its delta) closed by End of Track.
inline Bytes body(std::initializer_list<Bytes> events) {
    Bytes bytes;
    for (const Bytes& event : events)
        append(bytes, event);
    appendEndOfTrack(bytes);
    return bytes;
}

inline Bytes file(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts)
        append(bytes, part);
    return bytes;
}

// ---- Files of a few kinds of event
// ---------------------------------------------------------------

// The events of one "MTrk" chunk; each takes the delta in ticks since the previous event.
class TrackBytes {
public:
    TrackBytes& tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
        appendVariableLength(m_bytes, delta);
        m_bytes.insert(m_bytes.end(),
                       {0xFF, 0x51, 0x03, byteOf(microsecondsPerQuarter >> 16),
                        byteOf(microsecondsPerQuarter >> 8), byteOf(microsecondsPerQuarter)});
        return *this;
    }
    // The denominator as the file stores it: the exponent of 2 (2 = quarter-note beat).
    TrackBytes& timeSignature(std::uint32_t delta, std::uint8_t numerator, std::uint8_t exponent) {
        appendVariableLength(m_bytes, delta);
        m_bytes.insert(m_bytes.end(), {0xFF, 0x58, 0x04, numerator, exponent, 24, 8});
        return *this;
    }
    TrackBytes& noteOn(std::uint32_t delta, std::uint8_t key = 60) {
        appendVariableLength(m_bytes, delta);
        m_bytes.insert(m_bytes.end(), {0x90, key, 100});
        return *this;
    }
    TrackBytes& text(std::uint32_t delta, std::string_view text) { return meta(delta, 0x01, text); }
    // A rehearsal mark as DAWs and notation programs write it.
    TrackBytes& marker(std::uint32_t delta, std::string_view text) {
        return meta(delta, 0x06, text);
    }
    TrackBytes& cuePoint(std::uint32_t delta, std::string_view text) {
        return meta(delta, 0x07, text);
    }
    TrackBytes& meta(std::uint32_t delta, std::uint8_t type, std::string_view data) {
        appendVariableLength(m_bytes, delta);
        appendMeta(m_bytes, type, data);
        return *this;
    }

    // The body with its closing End of Track event.
    Bytes body() const {
        Bytes body = m_bytes;
        appendEndOfTrack(body);
        return body;
    }

private:
    static std::uint8_t byteOf(std::uint32_t value) { return static_cast<std::uint8_t>(value); }

    Bytes m_bytes;
};

// A whole file: header with the given format and division, then one "MTrk" chunk per track.
inline Bytes midiFileBytes(std::uint16_t format, std::uint16_t division,
                           std::initializer_list<TrackBytes> tracks) {
    Bytes bytes = header(format, static_cast<std::uint16_t>(tracks.size()), division);
    for (const TrackBytes& each : tracks)
        append(bytes, track(each.body()));
    return bytes;
}

} // namespace carvo::testing
