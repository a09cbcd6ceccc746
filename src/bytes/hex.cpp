#include "bytes/hex.h"

namespace carvo::bytes {

namespace {
constexpr std::string_view digits = "0123456789ABCDEF";

void appendTwoDigits(std::string& text, std::uint8_t byte) {
    text += digits[byte >> 4U];
    text += digits[byte & 0x0FU];
}
} // namespace

std::string hexByte(std::uint8_t byte) {
    std::string text = "0x";
    appendTwoDigits(text, byte);
    return text;
}

std::string hexNumber(std::uint64_t value) {
    char reversed[16];
    std::size_t count = 0;
    do {
        reversed[count++] = digits[value & 0x0FU];
        value >>= 4U;
    } while (value != 0);
    std::string text = "0x";
    while (count > 0)
        text += reversed[--count];
    return text;
}

std::string hexBytes(std::span<const std::uint8_t> bytes, std::string_view prefix) {
    std::string text;
    text.reserve(bytes.size() * (prefix.size() + 3));
    for (const std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += prefix;
        appendTwoDigits(text, byte);
    }
    return text;
}

} // namespace carvo::bytes
