#pragma once
// Builds Standard MIDI File bytes for tests, so each case shows the bytes it is about.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace carvo::smf::test {

using ByteList = std::vector<std::uint8_t>;

inline void append(ByteList& to, const ByteList& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

inline ByteList bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

inline ByteList header(std::uint16_t format, std::uint16_t trackCount, std::uint16_t division = 480,
                       std::uint32_t length = 6) {
    ByteList bytes{'M', 'T', 'h', 'd'};
    append(bytes, bigEndian32(length));
    append(bytes,
           {static_cast<std::uint8_t>(format >> 8), static_cast<std::uint8_t>(format),
            static_cast<std::uint8_t>(trackCount >> 8), static_cast<std::uint8_t>(trackCount),
            static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division)});
    return bytes;
}

inline ByteList chunk(const std::string& identifier, const ByteList& body) {
    ByteList bytes(identifier.begin(), identifier.end());
    append(bytes, bigEndian32(static_cast<std::uint32_t>(body.size())));
    append(bytes, body);
    return bytes;
}

inline ByteList track(const ByteList& body) {
    return chunk("MTrk", body);
}

// A track body of the given events (each with its delta) closed by End of Track.
inline ByteList body(std::initializer_list<ByteList> events) {
    ByteList bytes;
    for (const ByteList& event : events)
        append(bytes, event);
    append(bytes, {0x00, 0xFF, 0x2F, 0x00});
    return bytes;
}

inline ByteList file(std::initializer_list<ByteList> parts) {
    ByteList bytes;
    for (const ByteList& part : parts)
        append(bytes, part);
    return bytes;
}

} // namespace carvo::smf::test
