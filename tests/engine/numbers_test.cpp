// The number texts QLab, remote clients and operators read back: a wrong digit here moves a cue
// or a counter, so each case names the value it guards.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/numbers.h"

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

} // namespace
} // namespace carvo
