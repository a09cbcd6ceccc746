// A file's bytes seen in place: the same bytes and refusals as reading it, and a file cut short
// while it is mapped is noticed instead of ending the process.

#include "smf/midi_file.h"
#include "smf/visit_events.h"
#include "support/midi_bytes.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace carvo::smf {
namespace {

class FileView : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        return m_scratch.write(name, bytes);
    }

    testing::ScratchFolder m_scratch{"carvo-file-view"};
};

// Every event counted, so a visitor sees the whole file.
struct Counter {
    void beginTrack() {}
    template <class P> void operator()(DeltaTime, const P&) { ++events; }
    std::size_t events = 0;
};

TEST_F(FileView, HoldsTheSameBytesAsReadingTheFile) {
    std::vector<std::uint8_t> bytes(3 * 4096 + 17);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    const auto path = write("some.bin", bytes);

    const auto view = viewFileBytes(path);
    ASSERT_TRUE(view);
    EXPECT_EQ(std::vector<std::uint8_t>(view->bytes().begin(), view->bytes().end()), bytes);
    EXPECT_FALSE(view->cutShort());
    EXPECT_EQ(*readFileBytes(path), bytes);
}

TEST_F(FileView, AnEmptyFileAndAFolderAreRefusedAsReadingRefusesThem) {
    const auto empty = write("empty.mid", {});
    const auto viewed = viewFileBytes(empty);
    ASSERT_TRUE(viewed);
    EXPECT_TRUE(viewed->bytes().empty());

    Counter counter;
    const auto decoded = tryReadEvents(empty, counter);
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().plainText(), MIDIFile::tryRead(empty).error().plainText());

    const auto folder = viewFileBytes(m_scratch.path());
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().plainText(), readFileBytes(m_scratch.path()).error().plainText());
}

TEST_F(FileView, AFileCutShortWhileMappedReadsZerosAndIsMarked) {
    std::vector<std::uint8_t> bytes(4 * 4096, 0xAB);
    const auto path = write("cut.bin", bytes);
    const auto view = viewFileBytes(path);
    ASSERT_TRUE(view);

    std::filesystem::resize_file(path, 100);

    // Past the new end the system would raise SIGBUS; the guard puts zeros there instead.
    const volatile std::uint8_t* data = view->bytes().data();
    EXPECT_EQ(data[3 * 4096 + 5], 0);
    EXPECT_EQ(data[10], 0xAB); // the part the file kept
    EXPECT_TRUE(view->cutShort());
}

TEST_F(FileView, EventsReadFromAFileThatStaysWholeAreAllSeen) {
    testing::TrackBytes track;
    track.tempo(0, 500'000).noteOn(10).noteOn(10).text(0, "x");
    const auto path =
        write("whole.mid", testing::midiFileBytes(testing::formatSingleTrack, 480, {track}));
    Counter counter;
    ASSERT_TRUE(tryReadEvents(path, counter));
    EXPECT_EQ(counter.events, 4u);
}

} // namespace
} // namespace carvo::smf
