// Every public test file written by others is either decoded or refused with a message.

#include "smf/midi_file.h"
#include "support/corpus_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace {

using carvo::smf::DecodeError;
using carvo::smf::MIDIFile;

using carvo::testing::corpus;

struct Outcome {
    std::optional<MIDIFile> file;
    std::string error; // the plain text, when refused
};

Outcome outcomeOf(const std::filesystem::path& path) {
    try {
        return {MIDIFile::read(path), {}};
    } catch (const DecodeError& error) {
        EXPECT_FALSE(error.message().empty()) << path;
        return {std::nullopt, error.plainText()};
    }
}

class Corpus : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(carvo::testing::corpusMissing(), ""); }
    std::string refusal(const std::string& name) {
        const Outcome outcome = outcomeOf(corpus / name);
        EXPECT_FALSE(outcome.file) << name << " decoded";
        return outcome.error;
    }
    MIDIFile decoded(const std::string& name) {
        Outcome outcome = outcomeOf(corpus / name);
        EXPECT_TRUE(outcome.file) << name << ": " << outcome.error;
        return outcome.file ? *outcome.file : MIDIFile();
    }
};

TEST_F(Corpus, EveryFileIsDecodedOrRefusedWithAMessage) {
    const auto paths = carvo::testing::corpusFiles();
    const std::size_t files = paths.size();
    std::size_t decodedFiles = 0;
    for (const auto& path : paths)
        if (outcomeOf(path).file)
            ++decodedFiles;
    EXPECT_GE(files, 70u);
    // Most of the files are well formed.
    EXPECT_GT(decodedFiles, files / 2);
}

TEST_F(Corpus, FilesThatAreNotBareMIDIFiles) {
    const std::string notMIDI =
        "malformed(\"Header is not correct. File may not be a MIDI file.\")";
    EXPECT_EQ(refusal("jazz-soft-test-midi-files/test-empty-file.mid"),
              "malformed(\"MIDI data is empty / contains no bytes.\")");
    EXPECT_EQ(refusal("jazz-soft-test-midi-files/test-not-a-midi-file.mid"), notMIDI);
    EXPECT_EQ(refusal("jazz-soft-test-midi-files/test-syx-7e-06-01-id-request.syx"), notMIDI);
    // An RMID file wraps the MIDI data in a RIFF container.
    EXPECT_EQ(refusal("midly-tests/Beethoven.rmi"), notMIDI);
}

TEST_F(Corpus, CorruptFilesAreRefusedAtTheirFirstProblem) {
    EXPECT_EQ(refusal("jazz-soft-test-midi-files/test-corrupt-file-extra-byte.mid"),
              "malformed(\"There was a problem reading chunk header at byte offset 275. "
              "Encountered end of file early.\")");
    EXPECT_EQ(refusal("jazz-soft-test-midi-files/test-corrupt-file-missing-byte.mid"),
              "malformed(\"There was a problem reading track data blob at byte offset 22 for "
              "track 0. Encountered end of file early.\")");
    EXPECT_EQ(refusal("midly-tests/PiDamaged.mid"),
              "malformed(\"There was a problem reading track data blob at byte offset 75 for "
              "track 2. Encountered end of file early.\")");
    // Its second track chunk is empty, so it has no End of Track.
    EXPECT_EQ(refusal("midly-tests/SysExTest.mid"),
              "malformed(\"There was a problem reading track data at byte offset 55 for track "
              "2. Encountered end of file early.\")");
    EXPECT_EQ(refusal("jazz-soft-test-midi-files/test-2-tracks-type-0.mid"),
              "malformed(\"MIDI file is Format 0 which can only contain a single track, but "
              "header reports a track count of 2.\")");
}

TEST_F(Corpus, IllegalStatusBytesAreUnexpectedData) {
    for (const char* status : {"f1-xx", "f2-xx-xx", "f3-xx", "f4", "f5", "f6", "f8", "f9", "fa",
                               "fb", "fc", "fd", "fe", "all"}) {
        const std::string error = refusal(
            std::string("jazz-soft-test-midi-files/test-illegal-message-") + status + ".mid");
        EXPECT_NE(error.find("for track 1. Unexpected data encountered before end of track at "
                             "track data byte offset 0x"),
                  std::string::npos)
            << status << ": " << error;
        EXPECT_NE(error.find(" ...).\")"), std::string::npos) << error;
    }
    // Running status after system exclusive is not kept.
    EXPECT_NE(refusal("jazz-soft-test-midi-files/test-running-status-sysex.mid")
                  .find("Unexpected data encountered"),
              std::string::npos);
}

TEST_F(Corpus, WellFormedFilesDecodeWithTheirContent) {
    const MIDIFile twoTracks = decoded("jazz-soft-test-midi-files/test-2-tracks-type-1.mid");
    EXPECT_EQ(twoTracks.tracks().size(), 2u);
    EXPECT_EQ(twoTracks.format(), carvo::smf::Format::multipleTracksSynchronous);

    // Running status is kept across meta events.
    const MIDIFile meta = decoded("jazz-soft-test-midi-files/test-running-status-metaevent.mid");
    std::map<carvo::smf::MIDIFileEventType, int> kinds;
    for (const auto& track : meta.tracks())
        for (const auto& event : track.get().events)
            ++kinds[event.type()];
    EXPECT_GT(kinds[carvo::smf::MIDIFileEventType::noteOn], 0);

    const MIDIFile smpte = decoded("jazz-soft-test-midi-files/test-smpte-offset.mid");
    bool foundOffset = false;
    for (const auto& track : smpte.tracks())
        for (const auto& event : track.get().events)
            foundOffset = foundOffset || event.type() == carvo::smf::MIDIFileEventType::smpteOffset;
    EXPECT_TRUE(foundOffset);

    for (const char* name : {"jazz-soft-test-midi-files/test-vlq-2-byte.mid",
                             "jazz-soft-test-midi-files/test-vlq-3-byte.mid",
                             "jazz-soft-test-midi-files/test-vlq-4-byte.mid",
                             "jazz-soft-test-midi-files/test-karaoke-kar.mid",
                             "jazz-soft-test-midi-files/test-sysex-7e-09-01-gm1-enable.mid",
                             "midly-tests/Clementi.mid"})
        EXPECT_FALSE(decoded(name).chunks().empty()) << name;
}

} // namespace
