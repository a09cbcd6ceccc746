// The number texts QLab, remote clients and operators read back: a wrong digit here moves a cue
// or a counter, so each case names the value it guards.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "base/numbers.h"

namespace carvo {
namespace {

TEST(ShortestDecimal, DoublesReadBackWithAFractionalPart) {
    EXPECT_EQ(shortestDecimal(0.0), "0.0");
    EXPECT_EQ(shortestDecimal(2.0), "2.0");
    EXPECT_EQ(shortestDecimal(0.025), "0.025");
    EXPECT_EQ(shortestDecimal(0.5625), "0.5625");
    EXPECT_EQ(shortestDecimal(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(shortestDecimal(-12.5), "-12.5");
    // 0.0001 itself is the first plain value; anything smaller takes exponent form.
    EXPECT_EQ(shortestDecimal(0.0001), "0.0001");
    EXPECT_EQ(shortestDecimal(0.00005), "5e-05");
    EXPECT_EQ(shortestDecimal(-0.00001), "-1e-05");
}

TEST(ShortestDecimal, FloatsUseTheirOwnPrecision) {
    // 93.75 and 12.5 are exact in binary; 0.1f must not print the double expansion of 0.1f.
    EXPECT_EQ(shortestDecimal(93.75f), "93.75");
    EXPECT_EQ(shortestDecimal(12.5f), "12.5");
    EXPECT_EQ(shortestDecimal(0.1f), "0.1");
    EXPECT_EQ(shortestDecimal(1998.0f), "1998.0");
    EXPECT_EQ(shortestDecimal(0.00001f), "1e-05");
}

TEST(ShortestDecimal, NonFiniteValuesHaveWords) {
    EXPECT_EQ(shortestDecimal(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(shortestDecimal(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(shortestDecimal(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(ShortestDecimal, EveryTextReadsBackToTheSameValue) {
    for (double value : {1e-300, 3.14159, 123456789.125, 1e300, 7.0e-5, 16777217.0}) {
        EXPECT_EQ(std::strtod(shortestDecimal(value).c_str(), nullptr), value) << value;
    }
    for (float value : {1.0e-30f, 0.3f, 16777216.0f, 3.4e38f}) {
        EXPECT_EQ(std::strtof(shortestDecimal(value).c_str(), nullptr), value) << value;
    }
}

TEST(ParseStrictInt64, AcceptsASignAndDigitsOnly) {
    EXPECT_EQ(parseStrictInt64("12"), 12);
    EXPECT_EQ(parseStrictInt64("012"), 12);
    EXPECT_EQ(parseStrictInt64("+12"), 12);
    EXPECT_EQ(parseStrictInt64("-3"), -3);
    EXPECT_EQ(parseStrictInt64("-0"), 0);
    for (const char* text : {"", "+", "-", "12 ", " 12", "1.0", "12a", "++1", "+-1", "1e3", "０"}) {
        EXPECT_FALSE(parseStrictInt64(text).has_value()) << '"' << text << '"';
    }
}

TEST(ParseStrictInt64, KeepsToTheSigned64BitRange) {
    EXPECT_EQ(parseStrictInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parseStrictInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parseStrictInt64("000000000000000000000009"), 9);
    EXPECT_FALSE(parseStrictInt64("9223372036854775808").has_value());
    EXPECT_FALSE(parseStrictInt64("-9223372036854775809").has_value());
    EXPECT_FALSE(parseStrictInt64("99999999999999999999").has_value());
}

TEST(StrictFloat, StrtofRulesInTheCLocaleWithTheWholePieceConsumed) {
    EXPECT_EQ(parseStrictFloat("120"), 120.0F);
    EXPECT_EQ(parseStrictFloat("93.75"), 93.75F);
    EXPECT_EQ(parseStrictFloat("-2.5e1"), -25.0F);
    EXPECT_EQ(parseStrictFloat("0x1.8p6"), 96.0F); // hexadecimal: 1.5 × 2^6
    EXPECT_EQ(parseStrictFloat(".5"), 0.5F);
    EXPECT_TRUE(std::isinf(*parseStrictFloat("inf")));
    EXPECT_TRUE(std::isinf(*parseStrictFloat("-Infinity")));
    EXPECT_TRUE(std::isnan(*parseStrictFloat("nan")));
    EXPECT_TRUE(std::isinf(*parseStrictFloat("1e99"))); // out of range reads as infinity

    for (const char* text :
         {"", " 120", "\t120", "120 ", "120bpm", "1,5", "1.2.3", "e5", "+", "0x"})
        EXPECT_FALSE(parseStrictFloat(text)) << '"' << text << '"';
    EXPECT_FALSE(parseStrictFloat(std::string_view("12\0"
                                                   "0",
                                                   4)));
}

TEST(StrictFloat, DoublesFollowTheSameRulesAtTheirOwnPrecision) {
    EXPECT_EQ(parseStrictDouble("0.1"), 0.1);
    EXPECT_EQ(parseStrictDouble("2.5"), 2.5);
    for (const char* text : {"", " 2", "2 ", "2s"})
        EXPECT_FALSE(parseStrictDouble(text)) << '"' << text << '"';
}

TEST(Port, PlainDigitsFromOneTo65535) {
    EXPECT_EQ(parsePort("54321"), 54321);
    EXPECT_EQ(parsePort("1"), 1);
    EXPECT_EQ(parsePort("65535"), 65535);
    EXPECT_EQ(parsePort("053000"), 53000);
    for (const char* text : {"", "0", "65536", "+80", "-1", "80 ", "http", "99999999999999999999"})
        EXPECT_FALSE(parsePort(text)) << '"' << text << '"';
}

} // namespace
} // namespace carvo
