#include "bytes/utf8.h"

namespace carvo::bytes {

bool isValidUtf8(std::span<const std::uint8_t> bytes) {
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        const auto lead = bytes[i];
        if (lead < 0x80U) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        // The second byte's range rules out overlong forms, surrogates and values above U+10FFFF.
        unsigned char secondLow = 0x80U;
        unsigned char secondHigh = 0xBFU;
        if (lead >= 0xC2U && lead <= 0xDFU) {
            length = 2;
        } else if (lead >= 0xE0U && lead <= 0xEFU) {
            length = 3;
            if (lead == 0xE0U)
                secondLow = 0xA0U;
            else if (lead == 0xEDU)
                secondHigh = 0x9FU;
        } else if (lead >= 0xF0U && lead <= 0xF4U) {
            length = 4;
            if (lead == 0xF0U)
                secondLow = 0x90U;
            else if (lead == 0xF4U)
                secondHigh = 0x8FU;
        } else {
            return false;
        }
        if (size - i < length)
            return false;
        const auto second = bytes[i + 1];
        if (second < secondLow || second > secondHigh)
            return false;
        for (std::size_t k = 2; k < length; ++k)
            if ((bytes[i + k] & 0xC0U) != 0x80U)
                return false;
        i += length;
    }
    return true;
}

} // namespace carvo::bytes
