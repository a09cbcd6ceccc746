#include "bytes/byte_reader.h"

#include <bit>

namespace carvo::bytes {

namespace {
bool bigEndianWanted(Endianness endianness) {
    switch (endianness) {
    case Endianness::bigEndian:
        return true;
    case Endianness::littleEndian:
        return false;
    case Endianness::platformDefault:
        break;
    }
    return std::endian::native == std::endian::big;
}

template <class T> std::optional<T> toUnsigned(Bytes bytes, Endianness endianness) {
    if (bytes.size() != sizeof(T))
        return std::nullopt;
    T value = 0;
    if (bigEndianWanted(endianness)) {
        for (const std::uint8_t byte : bytes)
            value = static_cast<T>((value << 8) | byte);
    } else {
        for (std::size_t i = bytes.size(); i-- > 0;)
            value = static_cast<T>((value << 8) | bytes[i]);
    }
    return value;
}
} // namespace

std::optional<std::uint16_t> toUInt16(Bytes bytes, Endianness endianness) {
    return toUnsigned<std::uint16_t>(bytes, endianness);
}

std::optional<std::uint32_t> toUInt32(Bytes bytes, Endianness endianness) {
    return toUnsigned<std::uint32_t>(bytes, endianness);
}

} // namespace carvo::bytes
