// Strict UTF-8: every well-formed length, and each way a sequence can be malformed.
#include "bytes/utf8.h"

#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace carvo::bytes {
namespace {

TEST(UTF8Validation, AcceptsEveryWellFormedLength) {
    EXPECT_TRUE(isValidUTF8(""));
    EXPECT_TRUE(isValidUTF8(std::string_view("\0", 1)));
    EXPECT_TRUE(isValidUTF8("\x7F"));
    EXPECT_TRUE(isValidUTF8("\xC2\x80"));         // U+0080, smallest two-byte value
    EXPECT_TRUE(isValidUTF8("\xDF\xBF"));         // U+07FF
    EXPECT_TRUE(isValidUTF8("\xE0\xA0\x80"));     // U+0800
    EXPECT_TRUE(isValidUTF8("\xED\x9F\xBF"));     // U+D7FF, just below the surrogates
    EXPECT_TRUE(isValidUTF8("\xEE\x80\x80"));     // U+E000, just above them
    EXPECT_TRUE(isValidUTF8("\xEF\xBF\xBF"));     // U+FFFF
    EXPECT_TRUE(isValidUTF8("\xF0\x90\x80\x80")); // U+10000
    EXPECT_TRUE(isValidUTF8("\xF4\x8F\xBF\xBF")); // U+10FFFF, the largest value
    EXPECT_TRUE(isValidUTF8("Gruppe \xC3\x9C"
                            "berblick \xF0\x9F\x8E\xB5"));
}

TEST(UTF8Validation, RejectsMalformedSequences) {
    const std::vector<std::string> bad = {
        "\x80",             // lone continuation byte
        "\xBF",             // lone continuation byte
        "\xC0\xAF",         // overlong '/'
        "\xC1\xBF",         // overlong two-byte form
        "\xE0\x9F\xBF",     // overlong three-byte form
        "\xF0\x8F\xBF\xBF", // overlong four-byte form
        "\xED\xA0\x80",     // high surrogate U+D800
        "\xED\xBF\xBF",     // low surrogate U+DFFF
        "\xF4\x90\x80\x80", // U+110000, beyond Unicode
        "\xF5\x80\x80\x80", // lead byte that can never occur
        "\xFE",             // never valid
        "\xFF",             // never valid
        "\xC3",             // cut two-byte sequence
        "\xE2\x82",         // cut three-byte sequence
        "\xF0\x9F\x8E",     // cut four-byte sequence
        "\xE2\x28\xA1",     // second byte not a continuation
        "\xF0\x9F\x28\xB5", // third byte not a continuation
        "\xF0\x9F\x8E\x28", // fourth byte not a continuation
        "STOP \xC3",        // valid text followed by a cut sequence
    };
    for (const std::string& bytes : bad)
        EXPECT_FALSE(isValidUTF8(bytes)) << "bytes of length " << bytes.size();
}

TEST(UTF8Decoding, GivesEachCodePointWithItsLength) {
    const std::string_view text = "A\u00e9\u20ac\U0001F3B5";
    std::size_t pos = 0;
    std::vector<char32_t> points;
    while (pos < text.size()) {
        const auto point = decodeUTF8(text, pos);
        ASSERT_TRUE(point) << pos;
        points.push_back(point->value);
        pos += point->length;
    }
    EXPECT_EQ(points, (std::vector<char32_t>{U'A', 0x00E9, 0x20AC, 0x1F3B5}));
    // An overlong space is no space; a cut sequence and a lone continuation byte are none.
    EXPECT_FALSE(decodeUTF8(std::string_view("\xC0\xA0"), 0));
    EXPECT_FALSE(decodeUTF8(std::string_view("\xE2\x82"), 0));
    EXPECT_FALSE(decodeUTF8(std::string_view("\x80"), 0));
    EXPECT_FALSE(decodeUTF8(std::string_view("A"), 1));
}

} // namespace
} // namespace carvo::bytes
