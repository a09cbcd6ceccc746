#pragma once
// A bounds-checked reader over a borrowed byte buffer. It never copies the buffer: the slices it
// hands out refer to it. A failed read consumes nothing.

#include "bytes/expected.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace carvo::bytes {

using Bytes = std::span<const std::uint8_t>;

enum class ReadError { invalidByteCount, pastEndOfStream };

template <class T> using ReadResult = Expected<T, ReadError>;

class ByteReader {
public:
    explicit ByteReader(Bytes buffer) : m_buffer(buffer) {}

    std::int64_t readOffset() const { return m_offset; }
    // Buffer length minus readOffset; negative once advanceBy went past the end.
    std::int64_t remainingByteCount() const {
        return static_cast<std::int64_t>(m_buffer.size()) - m_offset;
    }

    // The next count bytes (no count: all remaining bytes), advancing readOffset by the count.
    ReadResult<Bytes> read(std::optional<std::int64_t> count = std::nullopt) {
        auto slice = nonAdvancingRead(count);
        if (slice)
            m_offset += static_cast<std::int64_t>(slice->size());
        return slice;
    }
    ReadResult<Bytes> nonAdvancingRead(std::optional<std::int64_t> count = std::nullopt) const {
        const std::int64_t remaining = remainingByteCount();
        const std::int64_t wanted = count.value_or(remaining < 0 ? 0 : remaining);
        if (wanted < 0)
            return fail(ReadError::invalidByteCount);
        if (wanted > remaining)
            return fail(ReadError::pastEndOfStream);
        return m_buffer.subspan(static_cast<std::size_t>(m_offset),
                                static_cast<std::size_t>(wanted));
    }
    ReadResult<std::uint8_t> readByte() {
        auto byte = nonAdvancingReadByte();
        if (byte)
            ++m_offset;
        return byte;
    }
    ReadResult<std::uint8_t> nonAdvancingReadByte() const {
        if (remainingByteCount() < 1)
            return fail(ReadError::pastEndOfStream);
        return m_buffer[static_cast<std::size_t>(m_offset)];
    }

    // Moves readOffset without reading. Moving past the end is allowed (every later read then
    // fails); moving before the start of the buffer is refused, so no read can ever land there.
    ReadResult<std::int64_t> advanceBy(std::int64_t count) {
        if (count < -m_offset)
            return fail(ReadError::invalidByteCount);
        m_offset += count;
        return m_offset;
    }

private:
    Bytes m_buffer;
    std::int64_t m_offset = 0;
};

// Hands a fresh reader over the buffer to the block and returns what the block returns; whatever
// the block throws passes through.
template <class Block> decltype(auto) withReader(Bytes buffer, Block&& block) {
    ByteReader reader(buffer);
    return std::forward<Block>(block)(reader);
}

enum class Endianness { platformDefault, littleEndian, bigEndian };

// Conversions of an exact 2- or 4-byte slice; a slice of any other length has no value.
std::optional<std::uint16_t> toUInt16(Bytes bytes, Endianness endianness);
std::optional<std::uint32_t> toUInt32(Bytes bytes, Endianness endianness);

} // namespace carvo::bytes
