#pragma once
// UTF-8, read strictly: the one decoder the MIDI file reader (text events), QLab's answers and
// the remote protocol (client messages) share.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace carvo::bytes {

struct CodePoint {
    char32_t value = 0;
    std::size_t length = 0; // bytes it takes
};

// The code point that begins at pos, or none when the bytes there are not one: no overlong
// forms, no surrogates, nothing above U+10FFFF, no cut sequences.
std::optional<CodePoint> decodeUTF8(std::span<const std::uint8_t> bytes, std::size_t pos);
std::optional<CodePoint> decodeUTF8(std::string_view text, std::size_t pos);

// Whether every byte belongs to a code point, by the rules above.
bool isValidUTF8(std::span<const std::uint8_t> bytes);
bool isValidUTF8(std::string_view text);

} // namespace carvo::bytes
