#include "smf/track_decoder.h"
#include "smf/visit_events.h"
#include "support/midi_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using namespace carvo;
using namespace carvo::smf;
using namespace carvo::testing;

std::vector<MIDIFileEvent> eventsOf(const Bytes& trackBody) {
    auto decoded = decodeTrack(trackBody);
    EXPECT_TRUE(decoded) << decoded.error();
    return decoded ? std::vector<MIDIFileEvent>(decoded->events.begin(), decoded->events.end())
                   : std::vector<MIDIFileEvent>{};
}

std::string failureOf(const Bytes& trackBody) {
    auto decoded = decodeTrack(trackBody);
    EXPECT_FALSE(decoded);
    return decoded ? std::string() : decoded.error().message();
}

// The one event of a body holding a single event after a zero delta.
MIDIFileEvent single(const Bytes& event) {
    Bytes withDelta{0x00};
    append(withDelta, event);
    const auto events = eventsOf(body({withDelta}));
    EXPECT_EQ(events.size(), 1u);
    return events.empty() ? MIDIFileEvent{} : events.front();
}

template <class P> P payloadOf(const Bytes& event) {
    const MIDIFileEvent decoded = single(event);
    EXPECT_EQ(decoded.type(), eventTypeOf<P>()) << describe(decoded);
    const P* payload = std::get_if<P>(&decoded.event);
    return payload ? *payload : P{};
}

TEST(TrackBody, EndOfTrackClosesTheBodyAndIsNotKept) {
    EXPECT_TRUE(eventsOf({0x00, 0xFF, 0x2F, 0x00}).empty());
    // An End of Track that is not the last thing in the body is an ordinary meta event.
    const auto events = eventsOf({0x00, 0xFF, 0x2F, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_EQ(events.size(), 1u);
    const auto* meta = std::get_if<UnrecognizedMeta>(&events[0].event);
    ASSERT_NE(meta, nullptr);
    EXPECT_EQ(meta->metaType, 0x2F);
    EXPECT_TRUE(meta->data.empty());
}

TEST(TrackBody, DeltaTimesAreVariableLengthTicks) {
    const auto events = eventsOf(body({{0x81, 0x00, 0x90, 0x3C, 0x64},
                                       {0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0x3C, 0x00},
                                       {0x7F, 0xC0, 0x05}}));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].delta, DeltaTime::ticks(128));
    EXPECT_EQ(events[1].delta, DeltaTime::ticks(0x0FFFFFFF));
    EXPECT_EQ(events[2].delta.tickCount(), 127u);
    EXPECT_TRUE(events[2].delta.isTicks());
    EXPECT_EQ(failureOf({0x80, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}),
              "Delta time variable length value could not be read and may be malformed.");
}

TEST(TrackBody, RunningOutOfBytesIsEndOfFileEarly) {
    // After the note-on nothing remains: the 4-byte peek fails.
    EXPECT_EQ(failureOf({0x00, 0x90, 0x3C, 0x64}), "Encountered end of file early.");
    EXPECT_EQ(failureOf({}), "Encountered end of file early.");
    EXPECT_EQ(failureOf({0x00, 0xFF, 0x2F}), "Encountered end of file early.");
    // A delta whose bytes end the body leaves nothing for an event.
    EXPECT_EQ(failureOf({0x00, 0x90, 0x3C, 0x64, 0x81, 0x82, 0x83, 0x04}),
              "Encountered end of file early.");
}

TEST(TrackBody, UnexpectedDataNamesTheOffsetAndTheNextBytes) {
    EXPECT_EQ(failureOf({0x00, 0xF4, 0x00, 0x00, 0xFF, 0x2F, 0x00}),
              "Unexpected data encountered before end of track at track data byte offset 0x1 "
              "(0xF4 0x00 0x00 0xFF 0x2F 0x00 ...).");
    // Offsets are hexadecimal without leading zeros; at most eight bytes are shown.
    Bytes longer;
    for (int i = 0; i < 15; ++i)
        append(longer, {0x00, 0xC0, 0x01});
    append(longer, {0x00, 0xF9, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    append(longer, {0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(failureOf(longer),
              "Unexpected data encountered before end of track at track data byte offset 0x2E "
              "(0xF9 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ...).");
    // An event that starts with F7 is accepted by no kind.
    EXPECT_NE(failureOf(body({{0x00, 0xF7, 0x01, 0xF7}})).find("(0xF7 0x01 0xF7 0x00"),
              std::string::npos);
}

TEST(RunningStatus, RepeatsTheLastChannelStatus) {
    const auto events =
        eventsOf({0x00, 0x90, 0x3C, 0x64, 0x00, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_EQ(events.size(), 2u);
    const auto* second = std::get_if<midi::NoteOn>(&events[1].event);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->note, 0x3C);
    EXPECT_EQ(second->velocity, 0); // velocity 0 stays a note-on
    EXPECT_EQ(second->channel, 0);
}

TEST(RunningStatus, SurvivesMetaEventsAndWorksForTwoByteKinds) {
    const auto events =
        eventsOf({0x00, 0x93, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01, 0x41, 0x00, 0x3C, 0x00,
                  0x00, 0xC5, 0x07, 0x00, 0x09, 0x10, 0x7F, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(std::get<Text>(events[1].event).text, "A");
    EXPECT_EQ(std::get<midi::NoteOn>(events[2].event).channel, 3);
    EXPECT_EQ(std::get<midi::ProgramChange>(events[3].event).program, 7);
    EXPECT_EQ(std::get<midi::ProgramChange>(events[4].event).program, 9);
    EXPECT_EQ(std::get<midi::ProgramChange>(events[5].event).program, 0x7F);
    EXPECT_EQ(std::get<midi::ProgramChange>(events[5].event).channel, 5);
    EXPECT_EQ(events[5].delta.tickCount(), 0x10u);
}

TEST(RunningStatus, SystemExclusiveClearsIt) {
    const std::string message = failureOf({0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x03, 0x43, 0x01,
                                           0xF7, 0x00, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(message, "Unexpected data encountered before end of track at track data byte "
                       "offset 0xB (0x3C 0x00 0x00 0xFF 0x2F 0x00 ...).");
    // Without a status byte ever seen, a data byte is unexpected as well.
    EXPECT_NE(failureOf({0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}).find("offset 0x1 (0x3C"),
              std::string::npos);
}

TEST(ChannelVoice, EachKindWithItsFields) {
    const auto off = payloadOf<midi::NoteOff>({0x81, 0x40, 0x20});
    EXPECT_EQ(off.note, 0x40);
    EXPECT_EQ(off.velocity, 0x20);
    EXPECT_EQ(off.channel, 1);
    const auto on = payloadOf<midi::NoteOn>({0x9F, 0x7F, 0x7F});
    EXPECT_EQ(on.channel, 15);
    EXPECT_EQ(on.note, 127);
    const auto poly = payloadOf<midi::NotePressure>({0xA2, 0x30, 0x11});
    EXPECT_EQ(poly.note, 0x30);
    EXPECT_EQ(poly.amount, 0x11);
    const auto cc = payloadOf<midi::CC>({0xB4, 0x07, 0x64});
    EXPECT_EQ(cc.controller, 7);
    EXPECT_EQ(cc.value, 100);
    EXPECT_EQ(cc.channel, 4);
    EXPECT_EQ(payloadOf<midi::ProgramChange>({0xC6, 0x2A}).program, 42);
    EXPECT_EQ(payloadOf<midi::Pressure>({0xD7, 0x33}).amount, 0x33);
    // 14-bit value: MSB * 128 + LSB.
    EXPECT_EQ(payloadOf<midi::PitchBend>({0xE8, 0x01, 0x40}).value, 0x40 * 128 + 1);
    EXPECT_EQ(payloadOf<midi::PitchBend>({0xE8, 0x7F, 0x7F}).value, 16383);
}

TEST(ChannelVoice, PerKindDecodersRejectWithTheirReasons) {
    const Bytes noteOn{0x90, 0x3C, 0x64};
    EXPECT_TRUE(decode<midi::NoteOn>(noteOn));
    EXPECT_EQ(decodeStream<midi::NoteOff>(noteOn).error().message(),
              "Invalid status nibble: 0x09.");
    EXPECT_EQ(decode<midi::NoteOn>(Bytes{0x90, 0x3C}).error().message(),
              "Invalid number of bytes. Expected 3 but got 2");
    EXPECT_EQ(decodeStream<midi::NoteOn>(Bytes{0x90, 0x3C}).error().message(),
              "Unexpected byte length.");
    EXPECT_EQ(decode<midi::NoteOn>(Bytes{0x90, 0x3C, 0x80}).error().message(),
              "Note velocity is out of bounds: 128");
    EXPECT_EQ(decode<midi::CC>(Bytes{0xB0, 0x80, 0x00}).error().message(),
              "CC number is out of bounds: 128");
    EXPECT_EQ(decode<midi::PitchBend>(Bytes{0xE0, 0x00, 0x90}).error().message(),
              "Pitch Bend MSB is out of bounds: 144");
    EXPECT_EQ(decode<midi::Pressure>(Bytes{0xD0, 0xFF}).error().message(),
              "Channel Pressure value is out of bounds: 255");
    // The stream form uses only its own bytes.
    const auto stream = decodeStream<midi::ProgramChange>(Bytes{0xC0, 0x01, 0x90, 0x3C});
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->bufferLength, 2u);
}

TEST(ChannelVoice, ADataByteOutOfRangeFailsTheTrack) {
    EXPECT_NE(failureOf(body({{0x00, 0x90, 0x3C, 0x80}})).find("offset 0x1 (0x90 0x3C 0x80"),
              std::string::npos);
}

TEST(ParameterNumbers, RunOfControlChangesDecodesWithinOneEvent) {
    // Inside one event the run may use its own running status: B0 65 00 | 64 00 | 06 02 | 26 01.
    const Bytes run{0xB3, 0x65, 0x00, 0x64, 0x00, 0x06, 0x02, 0x26, 0x01};
    const auto rpn = payloadOf<midi::RPN>(run);
    EXPECT_EQ(rpn.parameter.number(), 0);
    EXPECT_EQ(rpn.dataEntryMSB, 2);
    EXPECT_EQ(rpn.dataEntryLSB, 1);
    EXPECT_EQ(rpn.channel, 3);

    // Without the data entry LSB the run ends after three messages.
    const Bytes nrpn{0xB0, 0x63, 0x01, 0xB0, 0x62, 0x08, 0xB0, 0x06, 0x40};
    const auto decoded = decodeStream<midi::NRPN>(nrpn);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->bufferLength, 9u);
    EXPECT_EQ(decoded->event.parameter.number(), 1 * 128 + 8);
    EXPECT_FALSE(decoded->event.dataEntryLSB);
    // The run is an rpn or nrpn event of its own in a track.
    EXPECT_EQ(single(nrpn).type(), MIDIFileEventType::nrpn);
}

TEST(ParameterNumbers, RunningStatusCanStartARun) {
    // After a control change, 65 00 | 64 00 | 06 02 under its status is one rpn event; the
    // status byte put in front is not counted among the bytes the event used.
    const auto events =
        eventsOf(body({{0x00, 0xB2, 0x07, 0x64}, {0x00, 0x65, 0x00, 0x64, 0x00, 0x06, 0x02}}));
    ASSERT_EQ(events.size(), 2u);
    const auto* rpn = std::get_if<midi::RPN>(&events[1].event);
    ASSERT_NE(rpn, nullptr);
    EXPECT_EQ(rpn->channel, 2);
    EXPECT_EQ(rpn->dataEntryMSB, 2);
    EXPECT_FALSE(rpn->dataEntryLSB);
}

TEST(ParameterNumbers, RejectionsOfARun) {
    EXPECT_EQ(decodeStream<midi::RPN>(Bytes{0xB0, 0x07, 0x64}).error().message(),
              "Expected CC message with controller number 101 but found controller number 7 "
              "instead.");
    EXPECT_EQ(decodeStream<midi::RPN>(Bytes{0xB0, 0x65, 0x00, 0xB1, 0x64, 0x00, 0xB0, 0x06, 0x01})
                  .error()
                  .message(),
              "CC message has different channel number.");
    EXPECT_EQ(decodeStream<midi::RPN>(Bytes{0x65, 0x00, 0x64}).error().message(),
              "Missing running status byte.");
}

TEST(ParameterNumbers, InAFileEachControlChangeDecodesOnItsOwn) {
    // Every message has its own delta, so the run falls apart into cc events.
    const auto events =
        eventsOf(body({{0x00, 0xB0, 0x65, 0x00}, {0x00, 0x64, 0x00}, {0x00, 0x06, 0x02}}));
    ASSERT_EQ(events.size(), 3u);
    for (const auto& event : events)
        EXPECT_EQ(event.type(), MIDIFileEventType::cc);
    EXPECT_EQ(std::get<midi::CC>(events[1].event).controller, 100);
}

TEST(MetaEvents, TempoFromMicrosecondsPerQuarter) {
    EXPECT_EQ(payloadOf<Tempo>({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}).bpm, 120.0);
    EXPECT_DOUBLE_EQ(payloadOf<Tempo>({0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}).bpm, 100.0);
    // Zero would divide by zero: the fastest tempo; the slowest is clamped to 3.58.
    EXPECT_EQ(payloadOf<Tempo>({0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}).bpm, 60000000.0);
    EXPECT_EQ(payloadOf<Tempo>({0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF}).bpm, 3.58);
    // A wrong length byte makes it an unrecognized meta event.
    const auto odd = payloadOf<UnrecognizedMeta>({0xFF, 0x51, 0x04, 0x00, 0x07, 0xA1, 0x20});
    EXPECT_EQ(odd.metaType, 0x51);
    EXPECT_EQ(odd.data, (Bytes{0x00, 0x07, 0xA1, 0x20}));
}

TEST(MetaEvents, TimeSignatureIsStoredAsItStands) {
    const auto sig = payloadOf<TimeSignature>({0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08});
    EXPECT_EQ(sig.numerator, 3);
    EXPECT_EQ(sig.denominator, 2);
    EXPECT_EQ(sig.midiClocksBetweenMetronomeClicks, 24);
    EXPECT_EQ(sig.numberOf32ndNotesInAQuarterNote, 8);
    EXPECT_EQ(payloadOf<TimeSignature>({0xFF, 0x58, 0x04, 0x00, 0xFF, 0x00, 0x00}).denominator,
              255);
}

TEST(MetaEvents, KeySignature) {
    const auto flats = payloadOf<KeySignature>({0xFF, 0x59, 0x02, 0xF9, 0x01});
    EXPECT_EQ(flats.flatsOrSharps, -7);
    EXPECT_FALSE(flats.majorKey);
    EXPECT_TRUE(payloadOf<KeySignature>({0xFF, 0x59, 0x02, 0x07, 0x00}).majorKey);
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x59, 0x02, 0x08, 0x00}).metaType, 0x59);
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x59, 0x02, 0x00, 0x02}).metaType, 0x59);
    EXPECT_EQ(decode<KeySignature>(Bytes{0xFF, 0x59, 0x02, 0x08, 0x00}).error().message(),
              "Illegal value found when reading Key Signature event sharps/flats byte. Got 8 but "
              "value must be between -7 ... 7.");
    EXPECT_EQ(decode<KeySignature>(Bytes{0xFF, 0x59, 0x02, 0x00, 0x02}).error().message(),
              "Illegal value found when reading Key Signature event major/minor key byte. Got 2 "
              "but value must be between 0 ... 1.");
}

TEST(MetaEvents, SmpteOffsetAndItsBounds) {
    // Hours byte 0x37: rate bits 01 (25 fps), hours 23.
    const auto offset = payloadOf<SMPTEOffset>({0xFF, 0x54, 0x05, 0x37, 0x3B, 0x3B, 0x1E, 0x63});
    EXPECT_EQ(offset.frameRate, SMPTEOffsetFrameRate::fps25);
    EXPECT_EQ(offset.hours, 23);
    EXPECT_EQ(offset.minutes, 59);
    EXPECT_EQ(offset.seconds, 59);
    EXPECT_EQ(offset.frames, 30);
    EXPECT_EQ(offset.subframes, 99);
    EXPECT_EQ(payloadOf<SMPTEOffset>({0xFF, 0x54, 0x05, 0x60, 0, 0, 0, 0}).frameRate,
              SMPTEOffsetFrameRate::fps30);
    const std::pair<Bytes, std::string> bad[] = {
        {{0xFF, 0x54, 0x05, 0x18, 0, 0, 0, 0}, "Hours is out of bounds: 24"},
        {{0xFF, 0x54, 0x05, 0x00, 60, 0, 0, 0}, "Minutes is out of bounds: 60"},
        {{0xFF, 0x54, 0x05, 0x00, 0, 60, 0, 0}, "Seconds value is out of bounds: 60"},
        {{0xFF, 0x54, 0x05, 0x00, 0, 0, 31, 0}, "Frames value is out of bounds: 31"},
        {{0xFF, 0x54, 0x05, 0x00, 0, 0, 0, 100}, "Subframes value is out of bounds: 100"},
        // Tested in order: hours first.
        {{0xFF, 0x54, 0x05, 0x18, 60, 60, 31, 100}, "Hours is out of bounds: 24"},
    };
    for (const auto& [bytes, message] : bad) {
        EXPECT_EQ(decode<SMPTEOffset>(bytes).error().message(), message);
        EXPECT_EQ(payloadOf<UnrecognizedMeta>(bytes).metaType, 0x54);
    }
}

TEST(MetaEvents, SmallFixedKinds) {
    EXPECT_EQ(payloadOf<SequenceNumber>({0xFF, 0x00, 0x02, 0x7F, 0xFF}).sequence, 0x7FFF);
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x00, 0x02, 0x80, 0x00}).metaType, 0x00);
    EXPECT_EQ(payloadOf<ChannelPrefix>({0xFF, 0x20, 0x01, 0x0F}).channel, 15);
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x20, 0x01, 0x10}).metaType, 0x20);
    EXPECT_EQ(payloadOf<PortPrefix>({0xFF, 0x21, 0x01, 0x7F}).port, 127);
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x21, 0x01, 0x80}).metaType, 0x21);
    EXPECT_EQ(payloadOf<XMFPatchTypePrefix>({0xFF, 0x60, 0x01, 0x03}).patchSet,
              XMFPatchTypePrefix::PatchSet::DLS);
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x60, 0x01, 0x04}).metaType, 0x60);
    EXPECT_EQ(decode<XMFPatchTypePrefix>(Bytes{0xFF, 0x60, 0x02, 0x01}).error().message(),
              "Param length should always be 1.");
    EXPECT_EQ(decode<Tempo>(Bytes{0xFF, 0x58, 0x03, 0, 0, 0}).error().message(),
              "Event does not start with expected bytes.");
}

TEST(MetaEvents, TextKindsAndTheirEncodings) {
    const auto name = payloadOf<Text>({0xFF, 0x03, 0x05, 'P', 'i', 'a', 'n', 'o'});
    EXPECT_EQ(name.textType, Text::EventType::trackOrSequenceName);
    EXPECT_EQ(name.text, "Piano");
    EXPECT_EQ(payloadOf<Text>({0xFF, 0x09, 0x00}).textType, Text::EventType::deviceName);
    // Valid UTF-8 stays as it is; anything else is read one character per byte (Latin-1).
    EXPECT_EQ(payloadOf<Text>({0xFF, 0x05, 0x02, 0xC3, 0xA9}).text, "\xC3\xA9");
    EXPECT_EQ(payloadOf<Text>({0xFF, 0x05, 0x03, 'a', 0xE9, 'b'}).text, "a\xC3\xA9"
                                                                        "b");
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_EQ(payloadOf<Text>({0xFF, 0x01, 0x02, 0xC0, 0x80}).text, "\xC3\x80\xC2\x80");
    EXPECT_EQ(payloadOf<Text>({0xFF, 0x01, 0x03, 0xED, 0xA0, 0x80}).text,
              "\xC3\xAD\xC2\xA0\xC2\x80");
    // Type 0x0A is not textual.
    EXPECT_EQ(payloadOf<UnrecognizedMeta>({0xFF, 0x0A, 0x01, 'x'}).metaType, 0x0A);
    EXPECT_EQ(decode<Text>(Bytes{0xFF, 0x0A, 0x01, 'x'}).error().message(),
              "Event is not a textual event.");
    EXPECT_EQ(decode<Text>(Bytes{0xFF, 0x01, 0x05, 'x'}).error().message(),
              "Fewer bytes are available (1) than are expected (5)");
    EXPECT_EQ(decode<Text>(Bytes{0xFF, 0x01, 0x80, 0x80, 0x80, 0x80}).error().message(),
              "Could not extract variable length.");
}

TEST(MetaEvents, LongTextIsCutToItsCharacterLimit) {
    // Only the per-kind decoder sees such text: it cannot fit a track's event window.
    Bytes event{0xFF, 0x01, 0x84, 0x80, 0x01}; // length 65537
    for (int i = 0; i < 65537; ++i)
        event.push_back(i == 0 ? 0xE9 : 'x'); // Latin-1: the first character takes two bytes
    const auto decoded = decode<Text>(event);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->event.text.size(), 65537u); // 65536 characters, one of two bytes
    EXPECT_EQ(decoded->event.text.view().substr(0, 2), "\xC3\xA9");
}

TEST(MetaEvents, EventWindowLimitsTheLength) {
    Bytes lyric{0x00, 0xFF, 0x05, 0x84, 0x58}; // 600 bytes
    lyric.insert(lyric.end(), 600, 'a');
    EXPECT_NE(failureOf(body({lyric})).find("offset 0x1 (0xFF 0x05 0x84 0x58 0x61"),
              std::string::npos);

    // 509 data bytes + FF 05 83 7D = 513 bytes: one too many for the 512-byte window.
    Bytes justOver{0x00, 0xFF, 0x05, 0x83, 0x7D};
    justOver.insert(justOver.end(), 509, 'b');
    EXPECT_FALSE(decodeTrack(body({justOver})));
    // 508 data bytes fit exactly.
    Bytes fits{0x00, 0xFF, 0x05, 0x83, 0x7C};
    fits.insert(fits.end(), 508, 'b');
    const auto events = eventsOf(body({fits}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::get<Text>(events[0].event).text.size(), 508u);
}

TEST(MetaEvents, SequencerSpecificAndUnknownTypesOwnTheirData) {
    const auto specific = payloadOf<SequencerSpecific>({0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41});
    EXPECT_EQ(specific.data, (Bytes{0x00, 0x00, 0x41}));
    const auto unknown = payloadOf<UnrecognizedMeta>({0xFF, 0x4B, 0x02, 0x01, 0x02});
    EXPECT_EQ(unknown.metaType, 0x4B);
    EXPECT_EQ(unknown.data, (Bytes{0x01, 0x02}));
    EXPECT_EQ(decode<UnrecognizedMeta>(Bytes{0xF0, 0x01, 0x02}).error().message(),
              "Event does not start with expected bytes.");
}

TEST(SystemExclusive, ManufacturerAndUniversalMessages) {
    const auto roland = payloadOf<midi::SysEx7>({0xF0, 0x05, 0x41, 0x10, 0x42, 0x12, 0xF7});
    EXPECT_EQ(roland.manufacturer, (Bytes{0x41}));
    EXPECT_EQ(roland.data, (Bytes{0x10, 0x42, 0x12}));
    const auto extended = payloadOf<midi::SysEx7>({0xF0, 0x05, 0x00, 0x20, 0x29, 0x01, 0xF7});
    EXPECT_EQ(extended.manufacturer, (Bytes{0x00, 0x20, 0x29}));
    EXPECT_EQ(extended.data, (Bytes{0x01}));

    // GM1 System On: F0 7E 7F 09 01 F7.
    const auto gm = payloadOf<midi::UniversalSysEx7>({0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    EXPECT_EQ(gm.universalType, midi::UniversalType::nonRealTime);
    EXPECT_EQ(gm.deviceID, 0x7F);
    EXPECT_EQ(gm.subID1, 0x09);
    EXPECT_EQ(gm.subID2, 0x01);
    EXPECT_TRUE(gm.data.empty());
    const auto tuning =
        payloadOf<midi::UniversalSysEx7>({0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x03, 0x00, 0x40, 0xF7});
    EXPECT_EQ(tuning.universalType, midi::UniversalType::realTime);
    EXPECT_EQ(tuning.data, (Bytes{0x00, 0x40}));
}

TEST(SystemExclusive, Rejections) {
    EXPECT_EQ(decode<midi::SysEx7>(Bytes{0xF0, 0x02, 0x41, 0x10}).error().message(),
              "Expected SysEx termination byte 0xF7 but found 0x10 instead.");
    EXPECT_EQ(decode<midi::SysEx7>(Bytes{0xF0, 0x00, 0xF7}).error().message(),
              "SysEx data was empty when attempting to read termination byte.");
    // Each kind takes only its own identifiers.
    EXPECT_FALSE(decode<midi::SysEx7>(Bytes{0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_FALSE(decode<midi::UniversalSysEx7>(Bytes{0xF0, 0x03, 0x41, 0x10, 0xF7}));
    // A universal message too short for its sub-IDs and a bare F0 F7 are accepted by neither.
    EXPECT_FALSE(decodeTrack(body({{0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7}})));
    EXPECT_FALSE(decodeTrack(body({{0x00, 0xF0, 0x01, 0xF7}})));
    EXPECT_FALSE(decodeTrack(body({{0x00, 0xF0, 0x03, 0x00, 0x20, 0xF7}})));
}

TEST(EventEncoding, RawBytesDecodeBackToTheSamePayload) {
    const std::vector<Bytes> events{
        {0x81, 0x40, 0x20},
        {0x9F, 0x3C, 0x00},
        {0xA2, 0x30, 0x11},
        {0xB4, 0x07, 0x64},
        {0xC6, 0x2A},
        {0xD7, 0x33},
        {0xE8, 0x01, 0x40},
        {0xB3, 0x65, 0x00, 0xB3, 0x64, 0x01, 0xB3, 0x06, 0x02, 0xB3, 0x26, 0x03},
        {0xB0, 0x63, 0x7F, 0xB0, 0x62, 0x00, 0xB0, 0x06, 0x40},
        {0xFF, 0x00, 0x02, 0x01, 0x02},
        {0xFF, 0x03, 0x02, 'h', 'i'},
        {0xFF, 0x20, 0x01, 0x0F},
        {0xFF, 0x21, 0x01, 0x02},
        {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
        {0xFF, 0x54, 0x05, 0x41, 0x02, 0x03, 0x04, 0x05},
        {0xFF, 0x58, 0x04, 0x06, 0x03, 0x24, 0x08},
        {0xFF, 0x59, 0x02, 0xFD, 0x01},
        {0xFF, 0x60, 0x01, 0x02},
        {0xFF, 0x7F, 0x02, 0x00, 0x41},
        {0xFF, 0x4B, 0x01, 0x09},
        {0xF0, 0x03, 0x41, 0x10, 0xF7},
        {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
    };
    for (const Bytes& bytes : events) {
        const MIDIFileEvent event = single(bytes);
        EXPECT_EQ(event.rawBytes(), bytes) << describe(event);
        EXPECT_FALSE(event.eventDescription().empty());
    }
}

} // namespace

namespace {

TEST(EventDescriptions, ChannelMessagesNameTheirKindChannelAndValues) {
    const std::pair<Bytes, std::string> cases[] = {
        {{0x81, 0x40, 0x20}, "Note Off ch 2 note 64 vel 32"},
        {{0x9F, 0x3C, 0x00}, "Note On ch 16 note 60 vel 0"},
        {{0xA2, 0x30, 0x11}, "Note Pressure ch 3 note 48 amount 17"},
        {{0xB4, 0x07, 0x64}, "CC ch 5 controller 7 value 100"},
        {{0xC6, 0x2A}, "Program Change ch 7 program 42"},
        {{0xD7, 0x33}, "Channel Pressure ch 8 amount 51"},
        // 14-bit value: 0x40 * 128 + 0x01.
        {{0xE8, 0x01, 0x40}, "Pitch Bend ch 9 value 8193"},
        {{0xB3, 0x65, 0x00, 0x64, 0x01, 0x06, 0x02, 0x26, 0x03}, "RPN ch 4 param 0:1 data 2:3"},
        {{0xB0, 0x63, 0x7F, 0x62, 0x00, 0x06, 0x40}, "NRPN ch 1 param 127:0 data 64"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(single(bytes).eventDescription(), text);
}

TEST(EventDescriptions, MetaEventsNameTheirTypeAndValues) {
    const std::pair<Bytes, std::string> cases[] = {
        {{0xFF, 0x01, 0x01, 'a'}, "Text: \"a\""},
        {{0xFF, 0x02, 0x01, 'b'}, "Copyright: \"b\""},
        {{0xFF, 0x03, 0x00}, "Track or Sequence Name: \"\""},
        {{0xFF, 0x04, 0x01, 'c'}, "Instrument Name: \"c\""},
        {{0xFF, 0x05, 0x01, 'd'}, "Lyric: \"d\""},
        {{0xFF, 0x06, 0x01, 'e'}, "Marker: \"e\""},
        {{0xFF, 0x07, 0x01, 'f'}, "Cue Point: \"f\""},
        {{0xFF, 0x08, 0x01, 'g'}, "Program Name: \"g\""},
        {{0xFF, 0x09, 0x01, 'h'}, "Device Name: \"h\""},
        // Rate bits 00, 01, 10, 11 in the hours byte.
        {{0xFF, 0x54, 0x05, 0x01, 2, 3, 4, 5}, "SMPTE Offset 01:02:03:04.05 @ 24fps"},
        {{0xFF, 0x54, 0x05, 0x21, 2, 3, 4, 5}, "SMPTE Offset 01:02:03:04.05 @ 25fps"},
        {{0xFF, 0x54, 0x05, 0x41, 2, 3, 4, 5}, "SMPTE Offset 01:02:03:04.05 @ 29.97dfps"},
        {{0xFF, 0x54, 0x05, 0x61, 2, 3, 4, 5}, "SMPTE Offset 01:02:03:04.05 @ 30fps"},
        {{0xFF, 0x60, 0x01, 0x01}, "XMF Patch Type Prefix General MIDI 1"},
        {{0xFF, 0x60, 0x01, 0x02}, "XMF Patch Type Prefix General MIDI 2"},
        {{0xFF, 0x60, 0x01, 0x03}, "XMF Patch Type Prefix DLS"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(single(bytes).eventDescription(), text);
    EXPECT_EQ(debugDescription(SMPTEOffsetFrameRate::fps29_97d), "SMPTEOffsetFrameRate(29.97dfps)");
}

TEST(EventKinds, EachEncodingDecodesAsItsOwnCaseAndPayload) {
    // The case, its name and the payload's type must agree for every kind.
    const auto check = [](const Bytes& bytes, MIDIFileEventType type, std::string_view caseName,
                          auto payloadType) {
        using P = typename decltype(payloadType)::type;
        const MIDIFileEvent event = single(bytes);
        EXPECT_EQ(event.type(), type) << caseName;
        EXPECT_EQ(name(event.type()), caseName);
        EXPECT_TRUE(std::holds_alternative<P>(event.event)) << caseName;
        EXPECT_EQ(eventTypeOf<P>(), type) << caseName;
    };
    using T = MIDIFileEventType;
    check({0xB0, 0x07, 0x64}, T::cc, "cc", std::type_identity<midi::CC>{});
    check({0xFF, 0x20, 0x01, 0x02}, T::channelPrefix, "channelPrefix",
          std::type_identity<ChannelPrefix>{});
    check({0xFF, 0x59, 0x02, 0x01, 0x00}, T::keySignature, "keySignature",
          std::type_identity<KeySignature>{});
    check({0x80, 0x3C, 0x00}, T::noteOff, "noteOff", std::type_identity<midi::NoteOff>{});
    check({0x90, 0x3C, 0x40}, T::noteOn, "noteOn", std::type_identity<midi::NoteOn>{});
    check({0xA0, 0x3C, 0x10}, T::notePressure, "notePressure",
          std::type_identity<midi::NotePressure>{});
    check({0xE0, 0x00, 0x40}, T::pitchBend, "pitchBend", std::type_identity<midi::PitchBend>{});
    check({0xFF, 0x21, 0x01, 0x01}, T::portPrefix, "portPrefix", std::type_identity<PortPrefix>{});
    check({0xD0, 0x20}, T::pressure, "pressure", std::type_identity<midi::Pressure>{});
    check({0xC0, 0x05}, T::programChange, "programChange",
          std::type_identity<midi::ProgramChange>{});
    check({0xB0, 0x65, 0x00, 0x64, 0x00, 0x06, 0x02}, T::rpn, "rpn",
          std::type_identity<midi::RPN>{});
    check({0xB0, 0x63, 0x00, 0x62, 0x00, 0x06, 0x02}, T::nrpn, "nrpn",
          std::type_identity<midi::NRPN>{});
    check({0xFF, 0x00, 0x02, 0x00, 0x01}, T::sequenceNumber, "sequenceNumber",
          std::type_identity<SequenceNumber>{});
    check({0xFF, 0x7F, 0x01, 0x41}, T::sequencerSpecific, "sequencerSpecific",
          std::type_identity<SequencerSpecific>{});
    check({0xFF, 0x54, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05}, T::smpteOffset, "smpteOffset",
          std::type_identity<SMPTEOffset>{});
    check({0xF0, 0x03, 0x41, 0x10, 0xF7}, T::sysEx7, "sysEx7", std::type_identity<midi::SysEx7>{});
    check({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, T::tempo, "tempo", std::type_identity<Tempo>{});
    check({0xFF, 0x01, 0x01, 'x'}, T::text, "text", std::type_identity<Text>{});
    check({0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}, T::timeSignature, "timeSignature",
          std::type_identity<TimeSignature>{});
    check({0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, T::universalSysEx7, "universalSysEx7",
          std::type_identity<midi::UniversalSysEx7>{});
    check({0xFF, 0x4B, 0x00}, T::unrecognizedMeta, "unrecognizedMeta",
          std::type_identity<UnrecognizedMeta>{});
    check({0xFF, 0x60, 0x01, 0x01}, T::xmfPatchTypePrefix, "xmfPatchTypePrefix",
          std::type_identity<XMFPatchTypePrefix>{});
}

TEST(EventDescriptions, ShowTheValuesAnOperatorLooksFor) {
    // The stored exponent 3 is an eighth-note beat.
    EXPECT_NE(describe(single({0xFF, 0x58, 0x04, 0x06, 0x03, 0x24, 0x08})).find("6/8"),
              std::string::npos);
    EXPECT_NE(describe(single({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})).find("120"),
              std::string::npos);
    const std::string note = describe(wrap(midi::NoteOn{60, 100, 9, 0}, DeltaTime::ticks(480)));
    EXPECT_NE(note.find("ticks:480"), std::string::npos);
    EXPECT_NE(note.find("ch 10"), std::string::npos); // channels count from 1 for people
    EXPECT_NE(note.find("60"), std::string::npos);
    EXPECT_NE(describe(single({0xFF, 0x06, 0x05, 'V', 'e', 'r', 's', 'e'})).find("Verse"),
              std::string::npos);
    // An exponent too large for a power of two is shown as it stands.
    EXPECT_NE(describe(single({0xFF, 0x58, 0x04, 0x04, 0x40, 0x18, 0x08})).find("4/2^64"),
              std::string::npos);
    EXPECT_EQ(name(MIDIFileEventType::universalSysEx7), "universalSysEx7");
    EXPECT_EQ(static_cast<int>(MIDIFileEventType::xmfPatchTypePrefix), 21);
}

} // namespace

namespace {

// A body of events a status byte, a data byte or a meta event at a time, biased towards the
// bytes where the status-byte shortcut and the trial order could part: running status, data bytes
// above 127, the controllers that open parameter number runs, system exclusive and cut-off ends.
Bytes randomBody(std::mt19937& random) {
    const auto pick = [&](std::initializer_list<std::uint8_t> choices) {
        return *(choices.begin() + random() % choices.size());
    };
    Bytes bytes;
    int dataCount = 0; // of the status in force, 0 for none
    const int events = 1 + static_cast<int>(random() % 24);
    for (int e = 0; e < events; ++e) {
        bytes.push_back(static_cast<std::uint8_t>(random() % 3 == 0 ? 0x81 : random() % 4));
        if (bytes.back() >= 0x80)
            bytes.push_back(0x00);
        int data = 0;
        switch (random() % 8) {
        case 0: { // a channel status of any kind
            const auto status = static_cast<std::uint8_t>(0x80 + random() % 0x70);
            bytes.push_back(status);
            dataCount = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
            data = dataCount;
            break;
        }
        case 1: // a control change that may open a parameter number run
            bytes.push_back(static_cast<std::uint8_t>(0xB0 + random() % 16));
            bytes.push_back(pick({99, 101, 98, 100, 6, 38, 7}));
            dataCount = 2;
            data = 1;
            break;
        case 2: // system exclusive, which clears running status
            bytes.insert(bytes.end(), {0xF0, 0x03, 0x41, 0x10, 0xF7});
            dataCount = 0;
            continue;
        case 3: // a meta event, which keeps it
            bytes.insert(bytes.end(), {0xFF, 0x01, 0x01, 'x'});
            continue;
        case 4: { // a parameter number run within one event, its messages with or without status
            const bool registered = random() % 2 == 0;
            const auto status = static_cast<std::uint8_t>(0xB0 + random() % 2);
            const std::uint8_t controllers[] = {static_cast<std::uint8_t>(registered ? 101 : 99),
                                                static_cast<std::uint8_t>(registered ? 100 : 98), 6,
                                                38};
            const int messages = 2 + static_cast<int>(random() % 3);
            for (int m = 0; m < messages; ++m) {
                if (m == 0 || random() % 2 == 0)
                    bytes.push_back(status);
                bytes.insert(bytes.end(), {controllers[m], pick({0, 1, 64, 127})});
            }
            dataCount = 2;
            continue;
        }
        default: // running status
            data = dataCount == 0 ? 1 : dataCount;
            break;
        }
        if (random() % 16 == 0) // one data byte too few or too many
            data += random() % 2 == 0 ? -1 : 1;
        for (int d = 0; d < data; ++d)
            bytes.push_back(random() % 32 == 0 ? pick({0x80, 0xFF, 0xF7})
                                               : pick({0, 6, 38, 60, 98, 99, 100, 101, 127}));
    }
    if (random() % 4 != 0)
        bytes.insert(bytes.end(), {0x00, 0xFF, 0x2F, 0x00});
    return bytes;
}

TEST(TrackBody, StatusByteShortcutDecidesAsTheTrialOrder) {
    std::mt19937 random(2024);
    int decoded = 0;
    for (int i = 0; i < 20000; ++i) {
        const Bytes bytes = randomBody(random);
        const auto shortcut = decodeTrack(bytes, TrackDecoding::shortcut);
        const auto reference = decodeTrack(bytes, TrackDecoding::trialOrderOnly);
        ASSERT_EQ(bool(shortcut), bool(reference)) << i;
        if (shortcut) {
            ASSERT_TRUE(shortcut->events == reference->events) << i;
            ++decoded;
        } else {
            ASSERT_EQ(shortcut.error(), reference.error()) << i;
        }
    }
    // Both outcomes are well represented, so the comparison covers both.
    EXPECT_GT(decoded, 1000);
    EXPECT_LT(decoded, 18000);
}

// Every event a visitor is handed, as the table would hold it, and the tracks it was told of.
struct EventRecorder {
    std::vector<std::vector<MIDIFileEvent>> tracks;

    void beginTrack() { tracks.emplace_back(); }
    template <class P> void operator()(DeltaTime delta, P&& payload) {
        if (tracks.empty())
            tracks.emplace_back(); // visitTrack on its own announces no track
        tracks.back().push_back(wrap(std::forward<P>(payload), delta));
    }
};

TEST(TrackBody, VisitingSeesExactlyTheTableAndFailsAlike) {
    std::mt19937 random(77);
    int decoded = 0;
    for (int i = 0; i < 20000; ++i) {
        const Bytes bytes = randomBody(random);
        const TrackDecoding decoding =
            i % 2 == 0 ? TrackDecoding::shortcut : TrackDecoding::trialOrderOnly;
        const auto table = decodeTrack(bytes, decoding);
        EventRecorder recorder;
        const auto visited = visitTrack(bytes, recorder, decoding);
        ASSERT_EQ(bool(table), bool(visited)) << i;
        if (!table) {
            ASSERT_EQ(table.error(), visited.error()) << i;
            continue;
        }
        ++decoded;
        const std::vector<MIDIFileEvent> events(table->events.begin(), table->events.end());
        ASSERT_EQ(*visited, events.size()) << i;
        ASSERT_EQ(recorder.tracks.empty() ? std::vector<MIDIFileEvent>{} : recorder.tracks[0],
                  events)
            << i;
    }
    EXPECT_GT(decoded, 1000);
    EXPECT_LT(decoded, 18000);
}

// A file of one to three random bodies behind a header that is now and then wrong, with now and
// then an unknown chunk, a cut end or stray bytes at the end.
Bytes randomFile(std::mt19937& random) {
    const auto tracks = static_cast<std::uint16_t>(1 + random() % 3);
    Bytes bytes =
        header(random() % 8 == 0 ? 0 : 1, tracks,
               random() % 8 == 0 ? 0xE128 : static_cast<std::uint16_t>(96 + random() % 900));
    for (std::uint16_t t = 0; t < tracks; ++t) {
        if (random() % 6 == 0)
            append(bytes, chunk("XFIH", {1, 2, 3}));
        // Most tracks are drawn until one decodes, so that whole files decode often enough.
        Bytes body = randomBody(random);
        for (int tries = 0; random() % 4 != 0 && tries < 20 && !decodeTrack(body); ++tries)
            body = randomBody(random);
        append(bytes, track(body));
    }
    if (random() % 8 == 0)
        bytes.resize(bytes.size() - 1 - random() % 6);
    else if (random() % 8 == 0)
        append(bytes, {0x00, 0x01});
    return bytes;
}

TEST(FileEvents, VisitingDecodesAndRefusesAsTheTables) {
    std::mt19937 random(4096);
    int decoded = 0;
    for (int i = 0; i < 5000; ++i) {
        const Bytes bytes = randomFile(random);
        std::optional<MIDIFile> file;
        std::optional<DecodeError> tableError;
        try {
            file = MIDIFile::decode(bytes);
        } catch (const DecodeError& error) {
            tableError = error;
        }
        EventRecorder recorder;
        try {
            const MIDIFile::Header header = decodeEvents(bytes, recorder);
            ASSERT_TRUE(file) << i << " visited, but the table refused: " << tableError->message();
            ++decoded;
            EXPECT_EQ(header, file->header()) << i;
            const auto tracks = file->tracks();
            ASSERT_EQ(recorder.tracks.size(), tracks.size()) << i;
            for (std::size_t t = 0; t < tracks.size(); ++t)
                ASSERT_EQ(recorder.tracks[t],
                          std::vector<MIDIFileEvent>(tracks[t].get().events.begin(),
                                                     tracks[t].get().events.end()))
                    << i << " track " << t;
        } catch (const DecodeError& error) {
            ASSERT_TRUE(tableError) << i << " refused only when visited: " << error.message();
            ASSERT_EQ(error, *tableError) << i;
            EXPECT_EQ(error.message(), tableError->message()) << i;
        }
    }
    EXPECT_GT(decoded, 500);
    EXPECT_LT(decoded, 4500);
}

TEST(TrackBody, LargeTablesKeepEveryEventAndItsData) {
    // Enough notes for a table of several megabytes, with text among them.
    Bytes bytes{0x00, 0x90, 0x3C, 0x40};
    constexpr int notes = 400000;
    for (int n = 1; n < notes; ++n) {
        bytes.insert(bytes.end(), {0x01, static_cast<std::uint8_t>(n % 128), 0x40});
        if (n % 100000 == 0)
            bytes.insert(bytes.end(), {0x00, 0xFF, 0x06, 0x02, 'A',
                                       static_cast<std::uint8_t>('0' + n / 100000)});
    }
    bytes.insert(bytes.end(), {0x00, 0xFF, 0x2F, 0x00});
    const auto track = decodeTrack(bytes);
    ASSERT_TRUE(track) << track.error();
    ASSERT_EQ(track->events.size(), static_cast<std::size_t>(notes + 3));
    EXPECT_EQ(std::get<midi::NoteOn>(track->events.back().event).note, (notes - 1) % 128);
    EXPECT_EQ(track->events.back().delta, DeltaTime::ticks(1));
    const auto& marker = std::get<Text>(track->events[100001].event);
    EXPECT_EQ(marker.text, "A1");
    // Copies and moves of a table keep owned data.
    Track copy = *track;
    Track moved = std::move(copy);
    EXPECT_TRUE(moved == *track);
}

} // namespace
