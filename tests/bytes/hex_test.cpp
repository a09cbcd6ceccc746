#include "bytes/hex.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using namespace carvo::bytes;

TEST(Hex, BytesAndNumbersInUppercase) {
    EXPECT_EQ(hexByte(0x00), "0x00");
    EXPECT_EQ(hexByte(0x0A), "0x0A");
    EXPECT_EQ(hexByte(0xF7), "0xF7");

    EXPECT_EQ(hexNumber(0), "0x0");
    EXPECT_EQ(hexNumber(0x1F), "0x1F");
    EXPECT_EQ(hexNumber(0xFFFFFFFFFFFFFFFFULL), "0xFFFFFFFFFFFFFFFF");

    constexpr std::array<std::uint8_t, 3> bytes{0xF0, 0x7E, 0x05};
    EXPECT_EQ(hexBytes(bytes), "F0 7E 05");
    EXPECT_EQ(hexBytes(bytes, "0x"), "0xF0 0x7E 0x05");
    EXPECT_EQ(hexBytes(std::span<const std::uint8_t>{}, "0x"), "");
}

} // namespace
