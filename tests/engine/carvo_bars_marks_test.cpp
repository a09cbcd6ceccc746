// carvo-bars run as an operator runs it, on generated files with rehearsal marks: the marks as the
// table's fourth column, and --marks alone.

#include "support/midi_bytes.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace carvo {
namespace {

using testing::formatMultipleTracks;
using testing::midiFileBytes;
using testing::ScratchFolder;
using testing::TrackBytes;

constexpr std::uint32_t bar44 = 1920; // at 480 ticks per quarter

struct BarsRun {
    std::string out;
    int status = -1;
};

BarsRun carvoBars(const std::string& arguments) {
    BarsRun run;
    const std::string command = std::string(CARVO_BARS) + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer{};
    while (const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe))
        run.out.append(buffer.data(), count);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CarvoBarsMarks : public ::testing::Test {
protected:
    std::string write(std::initializer_list<TrackBytes> tracks) {
        return m_scratch.write("marks.mid", midiFileBytes(formatMultipleTracks, 480, tracks))
            .string();
    }

    ScratchFolder m_scratch{"carvo-bars-marks"};
};

TEST_F(CarvoBarsMarks, MarksAreTheFourthColumnOfTheirBars) {
    // 4/4 at 120: bars of 2.0 s. "B" and "B'" share bar 3; the tab in "tab\there" is shown as a
    // blank so the columns hold.
    const auto file = write({TrackBytes{}
                                 .marker(0, "A")
                                 .marker(2 * bar44, "B")
                                 .marker(100, "B'")
                                 .marker(bar44 - 100, "tab\there")
                                 .noteOn(bar44)});

    const BarsRun run = carvoBars(file + " --first-bar 9");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "9\t0.0\t4\tA\n"
                       "10\t2.0\t4\n"
                       "11\t4.0\t4\tB; B'\n"
                       "12\t6.0\t4\ttab here\n"
                       "13\t8.0\t4\n"
                       "14\t10.0\t4\n");
}

TEST_F(CarvoBarsMarks, MarksAloneWithTheirBarNumbers) {
    const auto file = write({TrackBytes{}.marker(bar44 + 5, "Tempo di valse"),
                             TrackBytes{}.marker(3 * bar44, "Coda \xc3\xa9")});

    const BarsRun run = carvoBars(file + " --marks --first-bar 9");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "10\tTempo di valse\n12\tCoda \xc3\xa9\n");
}

TEST_F(CarvoBarsMarks, AFileWithoutMarksKeepsThreeColumnsAndListsNoMarks) {
    const auto file = write({TrackBytes{}.noteOn(bar44)});

    EXPECT_EQ(carvoBars(file).out, "1\t0.0\t4\n2\t2.0\t4\n3\t4.0\t4\n");
    const BarsRun marks = carvoBars(file + " --marks");
    EXPECT_EQ(marks.status, 0);
    EXPECT_EQ(marks.out, "");
}

TEST_F(CarvoBarsMarks, MarksNeedAMIDIFileAndNotTheEventListing) {
    EXPECT_EQ(carvoBars("--fixed 120 4 4 --marks").status, 2);
    EXPECT_EQ(carvoBars(write({TrackBytes{}}) + " --marks --events").status, 2);
}

} // namespace
} // namespace carvo
