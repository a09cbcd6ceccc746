// OSC messages and SLIP framing, byte for byte: what QLab reads from Carvo and what Carvo must
// survive reading from the network.

#include "qlab/osc/osc.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace carvo::osc {
namespace {

std::string bytesOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

TEST(OSCMessage, EncodesPaddedAddressTagsAndBigEndianArguments) {
    // Address and tag strings always end in at least one NUL, then pad to four bytes.
    EXPECT_EQ(hex(bytesOf(encode({"/abc", {}}))), "2f616263000000002c000000");
    EXPECT_EQ(hex(bytesOf(encode({"/ab", {}}))), "2f6162002c000000");
    EXPECT_EQ(hex(bytesOf(encode({"/x", {std::int32_t{-2}, 1.5F}}))), "2f7800002c6966"
                                                                      "00fffffffe3fc00000");
    EXPECT_EQ(hex(bytesOf(encode({"/x", {std::int64_t{1} << 40, 2.25}}))), "2f7800002c686400"
                                                                           "0000010000000000"
                                                                           "4002000000000000");
    EXPECT_EQ(hex(bytesOf(encode({"/x", {std::string("hey!"), Blob{1, 2, 3, 4, 5}}}))),
              "2f7800002c736200"
              "6865792100000000"
              "00000005"
              "0102030405000000");
    EXPECT_EQ(hex(bytesOf(encode({"/x", {True{}, False{}, Nil{}}}))), "2f7800002c54464e00000000");
}

TEST(OSCMessage, EveryArgumentTypeSurvivesARoundTrip) {
    const Message message{"/cue_id/6A3B/loadAt",
                          {std::int32_t{std::numeric_limits<std::int32_t>::min()}, 3.25F,
                           std::string(), std::string("caf\xc3\xa9 \xf0\x9f\x8e\xb5"), Blob{},
                           Blob{0xC0, 0xDB, 0x00}, True{}, False{}, Nil{}, -0.125,
                           std::int64_t{std::numeric_limits<std::int64_t>::max()}}};
    const auto bytes = encode(message);
    EXPECT_EQ(bytes.size() % 4, 0U);
    EXPECT_EQ(decode(bytesOf(bytes)), message);
}

TEST(OSCMessage, AMessageWithoutTypeTagsHasNoArguments) {
    const auto message = decode(std::string("/go\0", 4));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->address, "/go");
    EXPECT_TRUE(message->arguments.empty());
}

TEST(OSCMessage, MalformedPacketsAreRefused) {
    const std::string good = bytesOf(encode({"/x", {std::int32_t{1}, std::string("ab")}}));
    ASSERT_TRUE(decode(good));
    EXPECT_FALSE(decode(""));
    EXPECT_FALSE(decode(good.substr(0, good.size() - 4))) << "string argument cut off";
    EXPECT_FALSE(decode(good.substr(0, 9))) << "not a multiple of four";
    EXPECT_FALSE(decode(std::string("/x\0\0,i\0\0", 8))) << "integer missing";
    EXPECT_FALSE(decode(std::string("/x\0\0,q\0\0", 8))) << "unknown tag";
    EXPECT_FALSE(decode(std::string("/x\0\0i\0\0\0", 8))) << "tags without their comma";
    EXPECT_FALSE(decode(std::string("/xyz", 4))) << "address without its NUL";
    EXPECT_FALSE(decode(std::string("/x\0A,\0\0\0", 8))) << "padding that is not NUL";
    EXPECT_FALSE(decode(std::string("#bundle\0", 8))) << "bundles are not messages";
    EXPECT_FALSE(decode(good + std::string(4, '\0'))) << "bytes after the last argument";
    // A blob whose length runs past the packet.
    EXPECT_FALSE(decode(std::string("/x\0\0,b\0\0\x7f\xff\xff\xff", 12)));
    EXPECT_FALSE(decode(std::string("/x\0\0,b\0\0\0\0\0\x05\x01\x02\x03\x04", 16)));
}

TEST(OSCArguments, TextAndIntegerAcceptStringsOrWholeNumbers) {
    EXPECT_EQ(textOf(std::string("17")), "17");
    EXPECT_EQ(textOf(std::int32_t{17}), "17");
    EXPECT_EQ(textOf(std::int64_t{-3}), "-3");
    EXPECT_FALSE(textOf(1.0F));
    EXPECT_FALSE(textOf(True{}));
    EXPECT_EQ(integerOf(std::int32_t{5}), 5);
    EXPECT_FALSE(integerOf(std::string("5")));
    EXPECT_FALSE(integerOf(5.0));
}

TEST(Slip, FramesWithEndOnBothSidesAndEscapesEndAndEsc) {
    EXPECT_EQ(hex(bytesOf(slipFrame(std::string("a\xc0"
                                                "b\xdb"
                                                "c",
                                                5)))),
              "c061dbdc62dbdd63c0");
    EXPECT_EQ(hex(bytesOf(slipFrame(""))), "c0c0");
}

TEST(Slip, DecoderCutsAStreamInAnyPiecesIntoItsPackets) {
    const std::string first("/one\0\0\0\0\xc0\xdb", 10);
    const std::string second = "/two";
    const std::string stream = bytesOf(slipFrame(first)) + bytesOf(slipFrame(second));

    SlipDecoder whole;
    EXPECT_EQ(whole.feed(stream), (std::vector<std::string>{first, second}));

    // Byte by byte, so an escape and its partner arrive in different pieces.
    SlipDecoder bytewise;
    std::vector<std::string> packets;
    for (const char c : stream)
        for (auto& packet : bytewise.feed(std::string_view(&c, 1)))
            packets.push_back(std::move(packet));
    EXPECT_EQ(packets, (std::vector<std::string>{first, second}));
}

TEST(Slip, DecoderTakesTrailingEndOnlyAndSkipsEmptyPackets) {
    // Some senders write only the END after each packet; runs of END bytes frame nothing.
    SlipDecoder decoder;
    EXPECT_EQ(decoder.feed(std::string("/a\0\0\xc0\xc0\xc0/b\0\0\xc0", 12)),
              (std::vector<std::string>{std::string("/a\0\0", 4), std::string("/b\0\0", 4)}));
    EXPECT_TRUE(decoder.feed(std::string("/unfinished")).empty());
    EXPECT_EQ(decoder.feed("\xc0"), std::vector<std::string>{"/unfinished"});
}

TEST(Slip, APacketOverTheLimitIsDroppedWholeAndTheNextOneSurvives) {
    SlipDecoder decoder(8);
    EXPECT_TRUE(decoder.feed(std::string("\xc0") + std::string(20, 'x')).empty());
    EXPECT_EQ(decoder.feed("\xc0/ok\xc0"), std::vector<std::string>{"/ok"});
    EXPECT_EQ(decoder.feed("12345678\xc0"), std::vector<std::string>{"12345678"});
}

} // namespace
} // namespace carvo::osc
