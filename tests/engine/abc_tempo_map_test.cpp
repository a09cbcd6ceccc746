// Bar tables of MIDI files written by a program nobody here wrote: abc scores rendered by
// abc2midi during the test run, checked against the times the scores imply.

#include "engine/tempo_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace carvo {
namespace {

using ::testing::ElementsAreArray;
using ::testing::SizeIs;

constexpr std::string_view abc2midi = CARVO_ABC2MIDI;

// abc2midi writes 480 ticks a quarter and starts each note one tick after its beat; a tempo
// change in a one-voice tune may follow a bar line by that tick, which is at most 1/480 s at
// these tempos. Everything else lands on the tick the score implies.
constexpr float tolerance = 0.0025f;

class AbcRenderedFile : public ::testing::Test {
protected:
    void SetUp() override {
        if (abc2midi.empty()) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << "abc2midi (package abcmidi) is missing; scripts/install-deps installs it";
            }
            GTEST_SKIP() << "abc2midi not found (install package abcmidi); not checking files "
                            "written by another program";
        }
        m_folder =
            std::filesystem::temp_directory_path() /
            ("carvo-abc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // Renders the score and gives the tables of the file abc2midi wrote.
    BarTables render(std::string_view score) {
        const auto source = m_folder / "score.abc";
        const auto midi = m_folder / "score.mid";
        std::ofstream(source) << score;
        const std::string command = "'" + std::string(abc2midi) + "' '" + source.string() +
                                    "' -o '" + midi.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<std::string> lines;
        auto tables =
            loadTempoMap(midi, [&lines](std::string_view line) { lines.emplace_back(line); });
        EXPECT_THAT(lines, ::testing::ElementsAre("Loaded MIDI file"));
        return tables;
    }

    static void expectStarts(const BarTables& tables, const std::vector<float>& expected) {
        ASSERT_THAT(tables.barStartTimes, SizeIs(expected.size()));
        for (std::size_t bar = 0; bar < expected.size(); ++bar) {
            EXPECT_NEAR(tables.barStartTimes[bar], expected[bar], tolerance) << "bar " << bar;
        }
    }

    std::filesystem::path m_folder;
};

TEST_F(AbcRenderedFile, OneVoiceThroughThreeMetersAndASlowerTempo) {
    const auto tables = render(R"(X:1
T:Meters
M:4/4
L:1/4
Q:1/4=120
K:G
G A B c | d e f g | [M:3/4] g f e | d c B | A G A | B c d | [Q:1/4=60] e d c | B A G |
[M:6/8] G/A/B/ c/d/e/ | d3/2 G3/2 |]
)");

    // Bars 1-2: 4/4 at 120, 2.0 s each.        bar 3 = 4.0
    // Bars 3-6: 3/4 at 120, 1.5 s each.        bar 7 = 4.0 + 4 × 1.5 = 10.0
    // Bars 7-8: 3/4 at 60, 3.0 s each.         bar 9 = 10.0 + 2 × 3.0 = 16.0
    // Bars 9-10: 6/8 at 60 (3 quarters), 3.0 s. bar 11 = 22.0
    // The last note ends on bar 11's line, so the table runs on to bar 12 = 25.0.
    expectStarts(tables, {0.0f, 0.0f, 2.0f, 4.0f, 5.5f, 7.0f, 8.5f, 10.0f, 13.0f, 16.0f, 19.0f,
                          22.0f, 25.0f});
    EXPECT_THAT(tables.barBeatCounts, ElementsAreArray({0, 4, 4, 3, 3, 3, 3, 3, 3, 6, 6, 6, 6}));
}

TEST_F(AbcRenderedFile, TwoVoicesWithATempoChangeInsideABar) {
    const auto tables = render(R"(X:1
T:Slower
M:4/4
L:1/4
Q:1/4=120
K:C
V:1
V:2 clef=bass
[V:1] C D [Q:1/4=60] E F | G A B c | [M:2/2] c2 G2 | [M:5/4] E D C D E | C4 z |]
[V:2] C,4 | G,,4 | C,4 | C,4 z | C,4 z |]
)");

    // Format 1: the tempo lives in the first track, the meters in the voices' tracks.
    // bar 2 = 2 quarters at 120 + 2 quarters at 60 = 1.0 + 2.0 = 3.0
    // bar 3 = 3.0 + 4 quarters at 60 = 7.0
    // bar 4 = 7.0 + one 2/2 bar (two halves = 4 quarters) = 11.0
    // bars 4-5 in 5/4: 5.0 s each, bar 5 = 16.0, bar 6 = 21.0. The closing rest writes no
    // event, so the last note ends a quarter before bar 6's line and the table stops there.
    expectStarts(tables, {0.0f, 0.0f, 3.0f, 7.0f, 11.0f, 16.0f, 21.0f});
    EXPECT_THAT(tables.barBeatCounts, ElementsAreArray({0, 4, 4, 2, 5, 5, 5}));
}

} // namespace
} // namespace carvo
