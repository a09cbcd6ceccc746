// The MIDI layer on its own: payloads made by hand, encoded back to their bytes and described as
// the reader's event listing shows them, and the texts of the decoders' refusals. The track
// decoder's own tests (tests/smf) reach the same code through whole tracks.

#include "midi/events.h"
#include "midi/rejection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace carvo::midi {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ChannelVoiceTable, EachKindEncodesItsStatusAndDataBytesAndDescribesThem) {
    // channelMessage takes the data bytes in message order; channels count from 0 in the
    // payload and from 1 in the text.
    const auto noteOff = channelMessage<NoteOff>(0x40, 0x20, 1);
    EXPECT_EQ(rawBytes(noteOff), (Bytes{0x81, 0x40, 0x20}));
    EXPECT_EQ(description(noteOff), "Note Off ch 2 note 64 vel 32");

    const auto noteOn = channelMessage<NoteOn>(0x3C, 0x00, 15);
    EXPECT_EQ(rawBytes(noteOn), (Bytes{0x9F, 0x3C, 0x00}));
    EXPECT_EQ(description(noteOn), "Note On ch 16 note 60 vel 0");

    const auto cc = channelMessage<CC>(0x07, 0x64, 4);
    EXPECT_EQ(rawBytes(cc), (Bytes{0xB4, 0x07, 0x64}));
    EXPECT_EQ(description(cc), "CC ch 5 controller 7 value 100");

    // One data byte: the second argument is not used.
    const auto program = channelMessage<ProgramChange>(0x2A, 0x55, 6);
    EXPECT_EQ(rawBytes(program), (Bytes{0xC6, 0x2A}));
    EXPECT_EQ(description(program), "Program Change ch 7 program 42");
    EXPECT_EQ(dataByteCount<ProgramChange>, 1u);
    EXPECT_EQ(dataByteCount<NotePressure>, 2u);

    // Pitch bend's 14-bit value takes both bytes, least significant first: 0x40 * 128 + 0x01.
    const auto bend = channelMessage<PitchBend>(0x01, 0x40, 8);
    EXPECT_EQ(bend.value, 8193);
    EXPECT_EQ(rawBytes(bend), (Bytes{0xE8, 0x01, 0x40}));
    EXPECT_EQ(description(bend), "Pitch Bend ch 9 value 8193");
    EXPECT_EQ(rawBytes(PitchBend{16383, 0, 0}), (Bytes{0xE0, 0x7F, 0x7F}));
}

TEST(ParameterMessages, EncodeTheirRunOfControlChangesWithOrWithoutTheDataLSB) {
    const RPN rpn{{0, 1}, 2, 3, 3, 0};
    EXPECT_EQ(rpn.rawBytes(),
              (Bytes{0xB3, 0x65, 0x00, 0xB3, 0x64, 0x01, 0xB3, 0x06, 0x02, 0xB3, 0x26, 0x03}));
    EXPECT_EQ(rpn.description(), "RPN ch 4 param 0:1 data 2:3");
    EXPECT_EQ(rpn.parameter.number(), 1);

    const NRPN nrpn{{0x7F, 0}, 0x40, std::nullopt, 0, 0};
    EXPECT_EQ(nrpn.rawBytes(), (Bytes{0xB0, 0x63, 0x7F, 0xB0, 0x62, 0x00, 0xB0, 0x06, 0x40}));
    EXPECT_EQ(nrpn.description(), "NRPN ch 1 param 127:0 data 64");
    EXPECT_EQ(nrpn.parameter.number(), 127 * 128);
}

TEST(SystemExclusiveMessages, FrameTheirIdentifierAndDataBetweenF0AndF7) {
    const ManufacturerID roland{0x41};
    const ManufacturerID extended{0x00, 0x20, 0x29, 0x7F}; // at most three bytes are taken
    EXPECT_EQ(roland, (Bytes{0x41}));
    EXPECT_EQ(extended, (Bytes{0x00, 0x20, 0x29}));

    const SysEx7 message{extended, 0, {0x01, 0x02}};
    EXPECT_EQ(message.rawBytes(), (Bytes{0xF0, 0x00, 0x20, 0x29, 0x01, 0x02, 0xF7}));
    EXPECT_EQ(message.description(), "SysEx manufacturer 00 20 29, 2 data bytes");

    const UniversalSysEx7 gmOn{UniversalType::nonRealTime, 0x7F, 0x09, 0x01, 0, {}};
    EXPECT_EQ(gmOn.rawBytes(), (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(gmOn.description(),
              "Universal SysEx non-real-time device 7F sub-IDs 09 01, 0 data bytes");
}

TEST(Rejections, SayWhyWithTheirNumbers) {
    // These texts end up in "Failed to read MIDI file: " lines.
    EXPECT_EQ(reject(RejectReason::invalidStatusNibble, 9).message(),
              "Invalid status nibble: 0x09.");
    EXPECT_EQ(reject(RejectReason::invalidByteCount, 3, 2).message(),
              "Invalid number of bytes. Expected 3 but got 2");
    EXPECT_EQ(reject(RejectReason::noteVelocityOutOfBounds, 128).message(),
              "Note velocity is out of bounds: 128");
    EXPECT_EQ(reject(RejectReason::unexpectedController, 101, 7).message(),
              "Expected CC message with controller number 101 but found controller number 7 "
              "instead.");
    EXPECT_EQ(reject(RejectReason::differentChannel).message(),
              "CC message has different channel number.");
    EXPECT_EQ(reject(RejectReason::missingRunningStatus).message(), "Missing running status byte.");
}

} // namespace
} // namespace carvo::midi
