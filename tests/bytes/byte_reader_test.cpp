#include "bytes/byte_reader.h"
#include "bytes/owned_bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using carvo::bytes::ByteReader;
using carvo::bytes::Endianness;
using carvo::bytes::ReadError;

constexpr std::array<std::uint8_t, 5> five{0x10, 0x20, 0x30, 0x40, 0x50};

TEST(ByteReader, ReadsAdvanceAndPeeksDoNot) {
    ByteReader reader(five);
    auto peek = reader.nonAdvancingRead(2);
    ASSERT_TRUE(peek);
    EXPECT_EQ(peek->size(), 2u);
    EXPECT_EQ((*peek)[1], 0x20);
    EXPECT_EQ(reader.readOffset(), 0);

    auto first = reader.read(2);
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)[0], 0x10);
    EXPECT_EQ(reader.readOffset(), 2);
    EXPECT_EQ(reader.remainingByteCount(), 3);

    EXPECT_EQ(*reader.nonAdvancingReadByte(), 0x30);
    EXPECT_EQ(*reader.readByte(), 0x30);
    EXPECT_EQ(reader.readOffset(), 3);

    auto rest = reader.read();
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->size(), 2u);
    EXPECT_EQ((*rest)[1], 0x50);
    EXPECT_EQ(reader.remainingByteCount(), 0);

    auto empty = reader.read(0);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(ByteReader, SlicesReferToTheBufferInsteadOfCopying) {
    ByteReader reader(five);
    reader.advanceBy(1);
    auto slice = reader.read(3);
    ASSERT_TRUE(slice);
    EXPECT_EQ(slice->data(), five.data() + 1);
}

TEST(ByteReader, FailedReadsMoveNothing) {
    ByteReader reader(five);
    reader.read(3);
    auto tooMany = reader.read(3);
    ASSERT_FALSE(tooMany);
    EXPECT_EQ(tooMany.error(), ReadError::pastEndOfStream);
    EXPECT_EQ(reader.readOffset(), 3);

    auto negative = reader.read(-1);
    ASSERT_FALSE(negative);
    EXPECT_EQ(negative.error(), ReadError::invalidByteCount);
    EXPECT_EQ(reader.readOffset(), 3);

    reader.read(2);
    auto noByte = reader.readByte();
    ASSERT_FALSE(noByte);
    EXPECT_EQ(noByte.error(), ReadError::pastEndOfStream);
    EXPECT_EQ(reader.readOffset(), 5);
}

TEST(ByteReader, AdvancingPastTheEndLeavesEveryReadFailing) {
    ByteReader reader(five);
    ASSERT_TRUE(reader.advanceBy(7));
    EXPECT_EQ(reader.remainingByteCount(), -2);
    EXPECT_FALSE(reader.read(0));
    EXPECT_FALSE(reader.read());
    EXPECT_FALSE(reader.readByte());
    EXPECT_EQ(reader.readOffset(), 7);
}

TEST(ByteReader, RefusesToMoveBeforeTheStart) {
    ByteReader reader(five);
    reader.advanceBy(2);
    auto back = reader.advanceBy(-3);
    ASSERT_FALSE(back);
    EXPECT_EQ(back.error(), ReadError::invalidByteCount);
    EXPECT_EQ(reader.readOffset(), 2);
    ASSERT_TRUE(reader.advanceBy(-2));
    EXPECT_EQ(*reader.readByte(), 0x10);
}

TEST(ByteReader, WithReaderHandsOverAFreshReaderAndPassesErrorsOn) {
    const auto firstTwo = carvo::bytes::withReader(five, [](ByteReader& reader) {
        EXPECT_EQ(reader.readOffset(), 0);
        return reader.read(2)->size();
    });
    EXPECT_EQ(firstTwo, 2u);
    EXPECT_THROW(carvo::bytes::withReader(
                     five, [](ByteReader&) -> int { throw std::runtime_error("inside"); }),
                 std::runtime_error);
}

TEST(Endianness, ConvertsExactSlicesInTheRequestedOrder) {
    const std::array<std::uint8_t, 4> bytes{0x12, 0x34, 0x56, 0x78};
    const std::span<const std::uint8_t> all(bytes);
    EXPECT_EQ(carvo::bytes::toUInt32(all, Endianness::bigEndian), 0x12345678u);
    EXPECT_EQ(carvo::bytes::toUInt32(all, Endianness::littleEndian), 0x78563412u);
    EXPECT_EQ(carvo::bytes::toUInt16(all.first(2), Endianness::bigEndian), 0x1234u);
    EXPECT_EQ(carvo::bytes::toUInt16(all.first(2), Endianness::littleEndian), 0x3412u);
    EXPECT_EQ(carvo::bytes::toUInt16(all.first(2), Endianness::platformDefault),
              std::endian::native == std::endian::big ? 0x1234u : 0x3412u);

    EXPECT_FALSE(carvo::bytes::toUInt32(all.first(3), Endianness::bigEndian));
    EXPECT_FALSE(carvo::bytes::toUInt16(all.first(3), Endianness::bigEndian));
    EXPECT_FALSE(carvo::bytes::toUInt16(all.first(1), Endianness::bigEndian));
}

} // namespace

namespace {

using carvo::bytes::OwnedBytes;
using carvo::bytes::OwnedText;

TEST(OwnedBytes, KeepsItsOwnCopyOfTheBytes) {
    std::vector<std::uint8_t> source{1, 2, 3};
    const OwnedBytes owned{std::span<const std::uint8_t>(source)};
    source[0] = 9;
    EXPECT_EQ(owned, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(owned.size(), 3u);
    EXPECT_EQ(owned.back(), 3);
    EXPECT_NE(owned.data(), source.data());

    OwnedBytes copy = owned;
    EXPECT_EQ(copy, owned);
    EXPECT_NE(copy.data(), owned.data());
    copy = OwnedBytes{7};
    EXPECT_EQ(copy.toVector(), (std::vector<std::uint8_t>{7}));
    EXPECT_EQ(owned.size(), 3u);

    OwnedBytes moved = std::move(copy);
    EXPECT_EQ(moved.size(), 1u);
}

TEST(OwnedBytes, EmptyValuesAreEqualWhateverTheirOrigin) {
    const OwnedBytes none;
    const OwnedBytes fromEmpty{std::span<const std::uint8_t>()};
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none, fromEmpty);
    EXPECT_EQ(none, std::vector<std::uint8_t>{});
    EXPECT_NE(none, (OwnedBytes{0}));
    EXPECT_NE((OwnedBytes{1, 2}), (OwnedBytes{1, 3}));
    EXPECT_TRUE(none.view().empty());
}

TEST(OwnedText, HoldsUTF8TextAsAView) {
    const OwnedText text("caf\xC3\xA9");
    EXPECT_EQ(text, "caf\xC3\xA9");
    EXPECT_EQ(text.size(), 5u);
    EXPECT_EQ(text.str(), std::string("caf\xC3\xA9"));
    EXPECT_NE(text, "cafe");
    EXPECT_TRUE(OwnedText("").empty());
    EXPECT_EQ(OwnedText(""), OwnedText());
}

} // namespace
