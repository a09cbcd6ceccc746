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
    explicit ByteReader(Bytes buffer) : buffer_(buffer) {}

    std::int64_t readOffset() const { return offset_; }
    // Buffer length minus readOffset; negative once advanceBy went past the end.
    std::int64_t remainingByteCount() const {
        return static_cast<std::int64_t>(buffer_.size()) - offset_;
    }

    // The next count bytes (no count: all remaining bytes), advancing readOffset by the count.
    ReadResult<Bytes> read(std::optional<std::int64_t> count = std::nullopt) {
        auto slice = nonAdvancingRead(count);
        if (slice)
            offset_ += static_cast<std::int64_t>(slice->size());
        return slice;
    }
    ReadResult<Bytes> nonAdvancingRead(std::optional<std::int64_t> count = std::nullopt) const {
        const std::int64_t remaining = remainingByteCount();
        const std::int64_t wanted = count.value_or(remaining < 0 ? 0 : remaining);
        if (wanted < 0)
            return fail(ReadError::invalidByteCount);
        if (wanted > remaining)
            return fail(ReadError::pastEndOfStream);
        return buffer_.subspan(static_cast<std::size_t>(offset_), static_cast<std::size_t>(wanted));
    }
    ReadResult<std::uint8_t> readByte() {
        auto byte = nonAdvancingReadByte();
        if (byte)
            ++offset_;
        return byte;
    }
    ReadResult<std::uint8_t> nonAdvancingReadByte() const {
        if (remainingByteCount() < 1)
            return fail(ReadError::pastEndOfStream);
        return buffer_[static_cast<std::size_t>(offset_)];
    }

    // Moves readOffset without reading. Moving past the end is allowed (every later read then
    // fails); moving before the start of the buffer is refused, so no read can ever land there.
    ReadResult<std::int64_t> advanceBy(std::int64_t count) {
        if (count < -offset_)
            return fail(ReadError::invalidByteCount);
        offset_ += count;
        return offset_;
    }

private:
    Bytes buffer_;
    std::int64_t offset_ = 0;
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
