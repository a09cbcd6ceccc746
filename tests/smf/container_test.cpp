#include "smf/midi_file.h"
#include "support/midi_bytes.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace carvo::smf;
using namespace carvo::testing;

// The error of decoding bytes that must fail.
DecodeError failureOf(const Bytes& bytes) {
    try {
        MIDIFile::decode(bytes);
    } catch (const DecodeError& error) {
        return error;
    }
    ADD_FAILURE() << "decoding succeeded";
    return DecodeError::notImplemented();
}

std::string messageOf(const Bytes& bytes) {
    return failureOf(bytes).message();
}

const Bytes emptyTrack = track(body({}));
const Bytes noteTrack = track(body({{0x00, 0x90, 0x3C, 0x64}, {0x60, 0x80, 0x3C, 0x00}}));

TEST(DecodeErrorText, DescriptionsAndPlainTextOfEveryCase) {
    const DecodeError error = DecodeError::malformed("Bad.");
    EXPECT_EQ(error.kind(), DecodeError::Case::malformed);
    EXPECT_EQ(error.errorDescription(), "Malformed: Bad.");
    EXPECT_STREQ(error.what(), "Malformed: Bad.");
    EXPECT_EQ(error.plainText(), "malformed(\"Bad.\")");

    EXPECT_EQ(DecodeError::fileNotFound().errorDescription(), "File not found.");
    EXPECT_EQ(DecodeError::fileNotFound().plainText(), "fileNotFound");
    EXPECT_EQ(DecodeError::malformedURL().errorDescription(), "Malformed URL.");
    EXPECT_EQ(DecodeError::malformedURL().plainText(), "malformedURL");
    EXPECT_EQ(DecodeError::fileReadError().errorDescription(), "File read error.");
    EXPECT_EQ(DecodeError::notImplemented().errorDescription(), "Not implemented.");
    EXPECT_EQ(DecodeError::notImplemented().plainText(), "notImplemented");
}

TEST(HeaderChecks, EmptyAndShortFilesAreRefused) {
    EXPECT_EQ(failureOf({}).errorDescription(),
              "Malformed: MIDI data is empty / contains no bytes.");
    Bytes thirteen = header(1, 1);
    thirteen.pop_back();
    EXPECT_EQ(messageOf(thirteen), "Header is not correct. File may not be a MIDI file.");
    // The first chunk's identifier is read unconditionally.
    EXPECT_EQ(messageOf(header(1, 1)),
              "There was a problem reading chunk header at byte offset 14. Encountered end of "
              "file early.");
}

TEST(HeaderChecks, EachFieldHasItsMessage) {
    Bytes wrongMagic = file({header(1, 1), emptyTrack});
    wrongMagic[3] = 'D';
    EXPECT_EQ(messageOf(wrongMagic), "Header is not correct. File may not be a MIDI file.");
    EXPECT_EQ(messageOf(file({header(1, 1, 480, 7), emptyTrack})),
              "Encountered unexpected header length header length.");
    EXPECT_EQ(messageOf(file({header(3, 1), emptyTrack})), "Could not read MIDI file format.");
    EXPECT_EQ(messageOf(file({header(0, 2), emptyTrack, emptyTrack})),
              "MIDI file is Format 0 which can only contain a single track, but header reports a "
              "track count of 2.");
    EXPECT_EQ(messageOf(file({header(0, 0), emptyTrack})),
              "MIDI file is Format 0 which can only contain a single track, but header reports a "
              "track count of 0.");
    EXPECT_EQ(messageOf(file({header(1, 1, 0xE128), emptyTrack})), "Could not decode timebase.");
    // The time base is checked before the format 0 track count.
    EXPECT_EQ(messageOf(file({header(0, 2, 0xE128), emptyTrack})), "Could not decode timebase.");
}

TEST(HeaderChecks, DivisionGivesTheTimeBase) {
    EXPECT_EQ(MIDIFile::decode(file({header(1, 1, 0x01E0), emptyTrack})).timeBase(),
              TimeBase::musical(480));
    const TimeBase smpte = MIDIFile::decode(file({header(1, 1, 0xE728), emptyTrack})).timeBase();
    EXPECT_EQ(smpte, TimeBase::timecode(FrameRate::fps25, 40));
    EXPECT_FALSE(smpte.isMusical());
    EXPECT_EQ(smpte.description(), "Timecode: 25fps 40 ticks per frame");
    for (const auto& [division, rate] :
         {std::pair{0xE800, FrameRate::fps24}, std::pair{0xE300, FrameRate::fps29_97d},
          std::pair{0xE200, FrameRate::fps30}}) {
        const TimeBase base =
            MIDIFile::decode(file({header(1, 1, static_cast<std::uint16_t>(division)), emptyTrack}))
                .timeBase();
        EXPECT_EQ(base.smpteFormat(), rate);
    }
    // Zero ticks per quarter is accepted as it stands.
    EXPECT_EQ(
        MIDIFile::decode(file({header(1, 1, 0), emptyTrack})).timeBase().ticksPerQuarterNote(), 0);
    EXPECT_EQ(MIDIFile::decode(file({header(2, 1, 0x7FFF), emptyTrack})).format(),
              Format::multipleTracksAsynchronous);
}

TEST(ChunkWalking, TrackCountIsNotComparedWithTheChunks) {
    const MIDIFile decoded = MIDIFile::decode(file({header(1, 5), noteTrack, emptyTrack}));
    ASSERT_EQ(decoded.tracks().size(), 2u);
    EXPECT_EQ(decoded.tracks()[0].get().events.size(), 2u);
    EXPECT_TRUE(decoded.tracks()[1].get().events.empty());
    EXPECT_EQ(decoded.format(), Format::multipleTracksSynchronous);
}

TEST(ChunkWalking, UnknownChunksAreKeptRawAndSkippedByTracks) {
    const MIDIFile decoded = MIDIFile::decode(
        file({header(1, 2), noteTrack, chunk("XYZW", {1, 2, 3}), emptyTrack, chunk("MThd", {9})}));
    ASSERT_EQ(decoded.chunks().size(), 4u);
    const UnrecognizedChunk* other = decoded.chunks()[1].asOther();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->identifier(), "XYZW");
    EXPECT_EQ(other->rawData(), (Bytes{1, 2, 3}));
    // A second header chunk never keeps its known identifier.
    EXPECT_EQ(decoded.chunks()[3].identifier(), "----");
    EXPECT_EQ(decoded.chunks()[0].identifier(), "MTrk");
    ASSERT_EQ(decoded.tracks().size(), 2u);
    EXPECT_EQ(&decoded.tracks()[1].get(), decoded.chunks()[2].asTrack());
}

TEST(ChunkWalking, IdentifiersOutsideAsciiBecomeQuestionMarks) {
    const MIDIFile decoded =
        MIDIFile::decode(file({header(1, 1), emptyTrack, chunk("\xC3\xA9xy", {})}));
    EXPECT_EQ(decoded.chunks()[1].identifier(), "????");
}

TEST(ChunkWalking, FailuresNameTheirOffsetAndTrack) {
    // Body length 0: the 4-byte peek fails right after the chunk (14 + 8 = 22).
    EXPECT_EQ(messageOf(file({header(1, 1), track({})})),
              "There was a problem reading track data at byte offset 22 for track 1. "
              "Encountered end of file early.");

    // A length running past the end names the tracks decoded before it; the offset is just
    // after the length field.
    Bytes cut = file({header(1, 2), noteTrack, track({0x00, 0xFF, 0x2F, 0x00})});
    cut.pop_back();
    const std::size_t afterLength = 14 + noteTrack.size() + 8;
    EXPECT_EQ(messageOf(cut), "There was a problem reading track data blob at byte offset " +
                                  std::to_string(afterLength) +
                                  " for track 1. Encountered end of file early.");

    // The blob message is used whatever the identifier.
    Bytes shortOther = file({header(1, 1), chunk("ABCD", {1, 2, 3})});
    shortOther.pop_back();
    EXPECT_EQ(messageOf(shortOther), "There was a problem reading track data blob at byte offset "
                                     "22 for track 0. Encountered end of file early.");

    // A bad event in the second track: offset just after that track's body.
    const Bytes badTrack = track(body({{0x00, 0xF4}}));
    const std::size_t afterBad = 14 + noteTrack.size() + badTrack.size();
    EXPECT_EQ(messageOf(file({header(1, 2), noteTrack, badTrack})),
              "There was a problem reading track data at byte offset " + std::to_string(afterBad) +
                  " for track 2. Unexpected data encountered before end of track at track data "
                  "byte offset 0x1 (0xF4 0x00 0xFF 0x2F 0x00 ...).");
}

TEST(ChunkWalking, StrayBytesAfterTheLastChunk) {
    const Bytes good = file({header(1, 1), emptyTrack});
    for (int stray = 1; stray <= 7; ++stray) {
        Bytes bytes = good;
        bytes.insert(bytes.end(), static_cast<std::size_t>(stray), 0x41);
        const std::string expected =
            stray < 4 ? "There was a problem reading chunk header at byte offset " +
                            std::to_string(good.size()) + ". Encountered end of file early."
                      : "There was a problem reading chunk length at byte offset " +
                            std::to_string(good.size() + 4) + ". Encountered end of file early.";
        EXPECT_EQ(messageOf(bytes), expected) << stray << " stray bytes";
    }
    // Eight stray bytes form an empty unrecognized chunk.
    Bytes eight = good;
    append(eight, {'A', 'A', 'A', 'A', 0, 0, 0, 0});
    EXPECT_EQ(MIDIFile::decode(eight).chunks().size(), 2u);
}

TEST(UnrecognizedChunkIdentifier, IsNormalisedToFourUnknownCharacters) {
    EXPECT_EQ(UnrecognizedChunk("MThd").identifier(), "----");
    EXPECT_EQ(UnrecognizedChunk("MTrk").identifier(), "----");
    EXPECT_EQ(UnrecognizedChunk("AB").identifier(), "AB--");
    EXPECT_EQ(UnrecognizedChunk("").identifier(), "----");
    EXPECT_EQ(UnrecognizedChunk("ABCDEF").identifier(), "ABCD");
    EXPECT_EQ(UnrecognizedChunk("MTrkX").identifier(), "MTrk");
    EXPECT_TRUE(UnrecognizedChunk("ABCD").rawData().empty());
}

TEST(MIDIFileValue, DefaultsAndEqualityIgnoreTheIdentity) {
    const MIDIFile empty;
    EXPECT_EQ(empty.format(), Format::multipleTracksSynchronous);
    EXPECT_EQ(empty.timeBase(), TimeBase::musical(960));
    EXPECT_TRUE(empty.chunks().empty());

    const Bytes bytes = file({header(1, 2), noteTrack, emptyTrack});
    const MIDIFile a = MIDIFile::decode(bytes);
    const MIDIFile b = MIDIFile::decode(bytes);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, MIDIFile::decode(file({header(1, 2), emptyTrack, noteTrack})));
    EXPECT_NE(a, MIDIFile::decode(file({header(2, 2), noteTrack, emptyTrack})));

    const MIDIFile built(Format::multipleTracksSynchronous, TimeBase::musical(480), a.chunks());
    EXPECT_EQ(built, a);
}

TEST(TextForms, FormatTimeBaseAndDeltaDescriptions) {
    EXPECT_EQ(description(Format::singleTrack), "Type 0 (single track)");
    EXPECT_EQ(debugDescription(Format::multipleTracksAsynchronous),
              "Format(Type 2 (multiple tracks asynchronous))");
    EXPECT_EQ(TimeBase::musical(480).debugDescription(),
              "timeBase(Musical: 480 ticks per quarter)");
    EXPECT_EQ(debugDescription(FrameRate::fps29_97d), "FrameRate(29.97dfps)");
    EXPECT_EQ(DeltaTime::ticks(12).debugDescription(), "DeltaTime(ticks:12)");
    EXPECT_EQ(DeltaTime(DeltaTime::Case::note8th).description(), "8th note");
}

TEST(DeltaTimeTicks, NoteValuesFollowTheTicksPerQuarter) {
    const TimeBase base = TimeBase::musical(960);
    using C = DeltaTime::Case;
    const std::pair<C, std::uint32_t> cases[] = {
        {C::none, 0},       {C::noteWhole, 3840}, {C::noteHalf, 1920}, {C::noteQuarter, 960},
        {C::note8th, 480},  {C::note16th, 240},   {C::note32nd, 120},  {C::note64th, 60},
        {C::note128th, 30}, {C::note256th, 15}};
    for (const auto& [kind, ticks] : cases)
        EXPECT_EQ(DeltaTime(kind).ticksValue(base), ticks) << DeltaTime(kind).description();
    // Integer division: 100 / 64 = 1.
    EXPECT_EQ(DeltaTime(C::note256th).ticksValue(TimeBase::musical(100)), 1u);
    // A whole note at the largest tick rate does not wrap around.
    EXPECT_EQ(DeltaTime(C::noteWhole).ticksValue(TimeBase::musical(65535)), 262140u);
    EXPECT_EQ(DeltaTime::ticks(77).ticksValue(base), 77u);
    EXPECT_FALSE(DeltaTime(C::noteQuarter).ticksValue(TimeBase::timecode(FrameRate::fps25, 40)));
}

class FileCreation : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const Bytes& bytes) {
        return m_scratch.write(name, bytes);
    }

    carvo::testing::ScratchFolder m_scratch{"carvo-smf"};
};

TEST_F(FileCreation, ReadsAWholeFileAndDecodesIt) {
    const Bytes bytes = file({header(1, 2), noteTrack, emptyTrack});
    const auto path = write("song.mid", bytes);
    EXPECT_EQ(MIDIFile::read(path), MIDIFile::decode(bytes));
    EXPECT_EQ(MIDIFile::open(path.string()), MIDIFile::decode(bytes));
}

TEST_F(FileCreation, DecodingFailuresKeepTheirMessage) {
    const auto path = write("bad.mid", {'R', 'I', 'F', 'F'});
    try {
        MIDIFile::open(path.string());
        FAIL() << "decoding succeeded";
    } catch (const DecodeError& error) {
        EXPECT_EQ(error.message(), "Header is not correct. File may not be a MIDI file.");
    }
}

TEST_F(FileCreation, PathTextFailures) {
    const auto missing = m_scratch.path() / "missing.mid";
    try {
        MIDIFile::open(missing.string());
        FAIL() << "a missing file was opened";
    } catch (const DecodeError& error) {
        EXPECT_EQ(error.kind(), DecodeError::Case::fileNotFound);
    }
    for (const std::string_view text : {std::string_view(""), std::string_view("a\0b", 3)}) {
        try {
            MIDIFile::open(text);
            FAIL() << "an unusable path text was accepted";
        } catch (const DecodeError& error) {
            EXPECT_EQ(error.kind(), DecodeError::Case::malformedURL);
        }
    }
}

TEST_F(FileCreation, ReadFailuresAreThePlatformsErrors) {
    // The URL form does not test for existence: the platform's error comes through unchanged.
    try {
        MIDIFile::read(m_scratch.path() / "missing.mid");
        FAIL() << "a missing file was read";
    } catch (const FileReadError& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_EQ(std::string(error.what()), std::generic_category().message(ENOENT));
    }
    // A folder exists but cannot be read as a file (this also holds for the root user).
    try {
        MIDIFile::open(m_scratch.path().string());
        FAIL() << "a folder was read";
    } catch (const FileReadError& error) {
        EXPECT_EQ(error.code(), std::errc::is_a_directory);
        EXPECT_EQ(std::string(error.what()), std::generic_category().message(EISDIR));
    }
}

} // namespace
