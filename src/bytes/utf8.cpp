#include "bytes/utf8.h"

namespace carvo::bytes {
namespace {

std::span<const std::uint8_t> spanOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

std::optional<CodePoint> decodeUTF8(std::span<const std::uint8_t> bytes, std::size_t pos) {
    if (pos >= bytes.size())
        return std::nullopt;
    const auto lead = bytes[pos];
    if (lead < 0x80U)
        return CodePoint{lead, 1};
    std::size_t length = 0;
    char32_t value = 0;
    // The second byte's range rules out overlong forms, surrogates and values above U+10FFFF.
    unsigned char secondLow = 0x80U;
    unsigned char secondHigh = 0xBFU;
    if (lead >= 0xC2U && lead <= 0xDFU) {
        length = 2;
        value = lead & 0x1FU;
    } else if (lead >= 0xE0U && lead <= 0xEFU) {
        length = 3;
        value = lead & 0x0FU;
        if (lead == 0xE0U)
            secondLow = 0xA0U;
        else if (lead == 0xEDU)
            secondHigh = 0x9FU;
    } else if (lead >= 0xF0U && lead <= 0xF4U) {
        length = 4;
        value = lead & 0x07U;
        if (lead == 0xF0U)
            secondLow = 0x90U;
        else if (lead == 0xF4U)
            secondHigh = 0x8FU;
    } else {
        return std::nullopt;
    }
    if (bytes.size() - pos < length)
        return std::nullopt;
    const auto second = bytes[pos + 1];
    if (second < secondLow || second > secondHigh)
        return std::nullopt;
    value = (value << 6U) | (second & 0x3FU);
    for (std::size_t k = 2; k < length; ++k) {
        const auto next = bytes[pos + k];
        if ((next & 0xC0U) != 0x80U)
            return std::nullopt;
        value = (value << 6U) | (next & 0x3FU);
    }
    return CodePoint{value, length};
}

std::optional<CodePoint> decodeUTF8(std::string_view text, std::size_t pos) {
    return decodeUTF8(spanOf(text), pos);
}

bool isValidUTF8(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] < 0x80U) { // the common case, without the decoder's checks
            ++i;
            continue;
        }
        const auto point = decodeUTF8(bytes, i);
        if (!point)
            return false;
        i += point->length;
    }
    return true;
}

bool isValidUTF8(std::string_view text) {
    return isValidUTF8(spanOf(text));
}

} // namespace carvo::bytes
