// The reader's one error value on its way out: a track's failure is placed in the file once, by
// the chunk walker, and keeps its kind; the results hold it without any exception.

#include "smf/event_decoders.h"
#include "smf/midi_file.h"
#include "smf/track_decoder.h"
#include "support/midi_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace {

using namespace carvo::smf;
using namespace carvo::testing;
using Part = DecodeError::Part;

// How often text occurs in message.
std::size_t occurrences(const std::string& message, const std::string& text) {
    std::size_t count = 0;
    for (auto at = message.find(text); at != std::string::npos; at = message.find(text, at + 1))
        ++count;
    return count;
}

const Bytes emptyTrack = track(body({}));

TEST(ErrorPlace, ATrackFailureIsPlacedOnceWithItsOffsetAndTrack) {
    // The track layer knows nothing of the file: no place yet.
    const Bytes badBody = body({{0x00, 0xF4}});
    const auto fromTrack = decodeTrack(badBody);
    ASSERT_FALSE(fromTrack);
    EXPECT_EQ(fromTrack.error().kind(), DecodeError::Case::malformed);
    EXPECT_FALSE(fromTrack.error().context());

    const Bytes badTrack = track(badBody);
    const auto decoded = MIDIFile::tryDecode(file({header(1, 2), emptyTrack, badTrack}));
    ASSERT_FALSE(decoded);
    const DecodeError& error = decoded.error();
    EXPECT_EQ(error.kind(), DecodeError::Case::malformed);
    ASSERT_TRUE(error.context());
    EXPECT_EQ(error.context()->part, Part::trackData);
    // Just after the second track's body: header, first track, second track.
    EXPECT_EQ(error.context()->byteOffset,
              static_cast<std::int64_t>(14 + emptyTrack.size() + badTrack.size()));
    EXPECT_EQ(error.context()->track, 2);
    // The place is said once, in front of the track's own message.
    EXPECT_EQ(occurrences(error.message(), "There was a problem reading"), 1u);
    EXPECT_EQ(error.message().substr(error.message().size() - fromTrack.error().message().size()),
              fromTrack.error().message());

    // Placing it again changes nothing: the first place is where the problem is.
    const DecodeError again = DecodeError(error).in({Part::chunkHeader, 3, std::nullopt});
    EXPECT_EQ(again, error);
    EXPECT_EQ(again.context()->part, Part::trackData);
    EXPECT_EQ(again.context()->byteOffset, error.context()->byteOffset);
}

TEST(ErrorPlace, ChunkFailuresCarryTheirPlaceToo) {
    const auto cutAfterHeader = MIDIFile::tryDecode(header(1, 1));
    ASSERT_FALSE(cutAfterHeader);
    ASSERT_TRUE(cutAfterHeader.error().context());
    EXPECT_EQ(cutAfterHeader.error().context()->part, Part::chunkHeader);
    EXPECT_EQ(cutAfterHeader.error().context()->byteOffset, 14);
    EXPECT_FALSE(cutAfterHeader.error().context()->track);

    Bytes cutBody = file({header(1, 1), chunk("ABCD", {1, 2, 3})});
    cutBody.pop_back();
    const auto blob = MIDIFile::tryDecode(cutBody);
    ASSERT_FALSE(blob);
    ASSERT_TRUE(blob.error().context());
    EXPECT_EQ(blob.error().context()->part, Part::trackDataBlob);
    EXPECT_EQ(blob.error().context()->track, 0);

    // A header problem has no place but the header itself.
    const auto format3 = MIDIFile::tryDecode(file({header(3, 1), emptyTrack}));
    ASSERT_FALSE(format3);
    EXPECT_FALSE(format3.error().context());
}

// A handler whose tracks fail with an error of the given kind.
class FailingTracks final : public detail::ChunkHandler {
public:
    explicit FailingTracks(DecodeError error) : m_error(std::move(error)) {}
    std::optional<DecodeError> track(std::span<const std::uint8_t>) override { return m_error; }
    void other(std::string_view, std::span<const std::uint8_t>) override {}

private:
    DecodeError m_error;
};

TEST(ErrorPlace, ATrackFailureOfAnotherKindPassesTheFileLayerUnchanged) {
    const Bytes bytes = file({header(1, 1), emptyTrack});
    for (const DecodeError& fromTrack :
         {DecodeError::notImplemented(),
          DecodeError::unreadable(std::make_error_code(std::errc::io_error), "I/O error")}) {
        FailingTracks handler(fromTrack);
        const auto walked = detail::walkChunks(bytes, handler);
        ASSERT_FALSE(walked);
        EXPECT_EQ(walked.error().kind(), fromTrack.kind());
        EXPECT_EQ(walked.error().plainText(), fromTrack.plainText());
        EXPECT_EQ(walked.error().code(), fromTrack.code());
        // Still placed, for whoever wants to know where.
        ASSERT_TRUE(walked.error().context());
        EXPECT_EQ(walked.error().context()->track, 1);
    }
}

TEST(ErrorResults, FileFailuresAreResultsAndExceptionsOnlyAtTheEdge) {
    const auto folder = std::filesystem::temp_directory_path();
    const auto missing =
        folder / ("carvo-smf-missing-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".mid");

    const auto read = MIDIFile::tryRead(missing);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind(), DecodeError::Case::unreadable);
    EXPECT_EQ(read.error().code(), std::errc::no_such_file_or_directory);
    // The platform's text alone, as the failure line shows it.
    EXPECT_EQ(read.error().plainText(), std::generic_category().message(ENOENT));

    const auto opened = MIDIFile::tryOpen(missing.string());
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind(), DecodeError::Case::fileNotFound);

    // The exception forms throw the read failure as the platform's error, the rest as is.
    EXPECT_THROW(raise(read.error()), FileReadError);
    EXPECT_THROW(raise(opened.error()), DecodeError);
}

} // namespace

namespace {

TEST(ErrorResults, AnEventKindRefusesWithTheSameErrorValue) {
    // A single event's refusal is the reader's error too: malformed, with the reason as its
    // message, and no place in a file.
    const auto refused = decode<Tempo>(Bytes{0xFF, 0x58, 0x03, 0, 0, 0});
    ASSERT_FALSE(refused);
    const DecodeError& error = refused.error();
    EXPECT_EQ(error.kind(), DecodeError::Case::malformed);
    EXPECT_EQ(error.errorDescription(), "Malformed: Event does not start with expected bytes.");
    EXPECT_FALSE(error.context());

    const auto byKind = decodeStream(MIDIFileEventType::noteOn, Bytes{0x80, 0x3C, 0x00});
    ASSERT_FALSE(byKind);
    EXPECT_EQ(byKind.error().plainText(), "malformed(\"Invalid status nibble: 0x08.\")");
}

} // namespace
