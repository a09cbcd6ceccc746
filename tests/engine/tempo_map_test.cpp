// Bar tables built from MIDI files and from one fixed tempo. Expected times are derived in the
// comments from the tempo and the bar lengths, never read back from the code.

#include "engine/tempo_map.h"
#include "support/midi_bytes.h"
#include "support/scratch_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace carvo {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::FloatEq;
using testing::formatMultipleTracks;
using testing::formatSingleTrack;
using testing::midiFileBytes;
using ::testing::SizeIs;
using testing::TrackBytes;

constexpr std::uint16_t ticksPerQuarter = 480;
constexpr std::uint32_t quarter = ticksPerQuarter;
constexpr std::uint32_t bar44 = 4 * quarter; // 1920 ticks, 2.0 s at 120
constexpr std::uint32_t bar34 = 3 * quarter; // 1440 ticks, 1.5 s at 120
constexpr std::uint32_t at120 = 500'000;     // microseconds per quarter
constexpr std::uint32_t at60 = 1'000'000;
constexpr std::uint32_t at240 = 250'000;
constexpr std::uint8_t quarterBeat = 2; // time-signature exponent: 2^2 = 4

// From the decoded file's tables; the decoding that keeps no table must give the same.
BarTables tablesOf(const testing::Bytes& bytes) {
    BarTables tables = tempoMapOf(smf::MIDIFile::decode(bytes));
    EXPECT_EQ(tempoMapOfBytes(bytes), tables);
    return tables;
}

// A file with a musical time base of 480 and the given tracks.
BarTables tablesOf(std::initializer_list<TrackBytes> tracks) {
    return tablesOf(midiFileBytes(formatMultipleTracks, ticksPerQuarter, tracks));
}

// --- Files without changes -------------------------------------------------------------------

TEST(TempoMapWithoutChanges, RunsAt120InFourFour) {
    // Last event 100 ticks into bar 4 (3 × 1920 + 100): the walk ends at the bar line after it.
    const auto tables = tablesOf({TrackBytes{}.noteOn(3 * bar44 + 100)});

    ASSERT_THAT(tables.barStartTimes, SizeIs(6)); // placeholder, bars 1 to 5
    for (std::size_t bar = 1; bar <= 5; ++bar) {
        EXPECT_FLOAT_EQ(tables.barStartTimes[bar], 2.0f * static_cast<float>(bar - 1)) << bar;
    }
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4, 4, 4, 4, 4));
}

TEST(TempoMapWithoutChanges, TracksWithoutEventsGiveBarOneAndTheLineThatEndsIt) {
    const auto tables = tablesOf({TrackBytes{}, TrackBytes{}});

    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 2.0f));
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4, 4));
}

TEST(TempoMapWithoutChanges, LastEventOnABarLineReachesTheBarAfterIt) {
    // Tick 7680 = 4 × 1920 is where bar 5 starts; the table goes on to bar 6's line.
    const auto tables = tablesOf({TrackBytes{}.noteOn(4 * bar44)});

    ASSERT_THAT(tables.barStartTimes, SizeIs(7));
    EXPECT_FLOAT_EQ(tables.barStartTimes[5], 8.0f);
    EXPECT_FLOAT_EQ(tables.barStartTimes[6], 10.0f);
}

TEST(TempoMapWithoutChanges, TimecodeTimeBaseIsTimedAt480TicksPerQuarter) {
    constexpr std::uint16_t timecode25fps40 = 0xE728;
    constexpr std::uint16_t musical960 = 960;
    const auto track = TrackBytes{}.tempo(quarter * 2, at60).noteOn(3 * bar44);

    const auto timecode = tablesOf(midiFileBytes(formatSingleTrack, timecode25fps40, {track}));
    const auto musical480 = tablesOf(midiFileBytes(formatSingleTrack, ticksPerQuarter, {track}));
    const auto musical960Tables = tablesOf(midiFileBytes(formatSingleTrack, musical960, {track}));

    EXPECT_EQ(timecode, musical480);
    EXPECT_NE(timecode, musical960Tables);
    // At 480: bar 2 = 1.0 s at 120 + 2.0 s at 60.
    EXPECT_FLOAT_EQ(timecode.barStartTimes[2], 3.0f);
}

// --- Tempo changes ---------------------------------------------------------------------------

TEST(TempoMapTempoChanges, ChangeInTheMiddleOfABarSplitsItsDuration) {
    const auto tables = tablesOf({TrackBytes{}.tempo(2 * quarter, at60).noteOn(2 * bar44)});

    // bar 2 = 2 quarters at 120 (1.0 s) + 2 quarters at 60 (2.0 s); bar 3 = 3.0 + 4 × 1.0.
    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 3.0f, 7.0f, 11.0f));
}

TEST(TempoMapTempoChanges, FirstTempoAfterTickZeroLeaves120BeforeIt) {
    const auto tables = tablesOf({TrackBytes{}.tempo(bar44, at60).noteOn(bar44)});

    // bar 2 = 2.0 s at the default 120; bar 3 = 2.0 + 4.0 at 60.
    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 2.0f, 6.0f, 10.0f));
}

TEST(TempoMapTempoChanges, AtOneTickTheLaterTrackWins) {
    // Both tracks change the tempo where bar 2 begins; bar 3 = 2.0 + one bar at the winner.
    const auto slowThenFast =
        tablesOf({TrackBytes{}.tempo(bar44, at60), TrackBytes{}.tempo(bar44, at240)});
    const auto fastThenSlow =
        tablesOf({TrackBytes{}.tempo(bar44, at240), TrackBytes{}.tempo(bar44, at60)});

    EXPECT_FLOAT_EQ(slowThenFast.barStartTimes[3], 3.0f); // 2.0 + 4 quarters at 240
    EXPECT_FLOAT_EQ(fastThenSlow.barStartTimes[3], 6.0f); // 2.0 + 4 quarters at 60
}

TEST(TempoMapTempoChanges, WithinOneTrackTheLaterEventAtATickWins) {
    const auto tables = tablesOf({TrackBytes{}.tempo(bar44, at240).tempo(0, at60)});

    EXPECT_FLOAT_EQ(tables.barStartTimes[3], 6.0f); // 2.0 + 4 quarters at 60
}

TEST(TempoMapTempoChanges, EachTrackCountsItsTicksFromZero) {
    // The first track runs to tick 5000; the second track's tempo still lands on tick 3840.
    const auto tables =
        tablesOf({TrackBytes{}.noteOn(5000), TrackBytes{}.tempo(2 * bar44, at60).noteOn(0)});

    // bar 3 = 2 bars at 120 = 4.0; bar 4 = 4.0 + 4 quarters at 60.
    EXPECT_FLOAT_EQ(tables.barStartTimes[3], 4.0f);
    EXPECT_FLOAT_EQ(tables.barStartTimes[4], 8.0f);
}

TEST(TempoMapTempoChanges, TempoAndSignatureAtOneTickBothApply) {
    const auto tables = tablesOf({TrackBytes{}.tempo(2 * bar44, at60),
                                  TrackBytes{}.timeSignature(2 * bar44, 3, quarterBeat)});

    // bar 3 at 4.0 gets 3 beats; bar 4 = 4.0 + 3 quarters at 60.
    EXPECT_FLOAT_EQ(tables.barStartTimes[4], 7.0f);
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4, 4, 3, 3));
}

TEST(TempoMapTempoChanges, NoteValueDeltasAreSkippedAltogether) {
    // Only a file built in memory has them: such an event takes no time and records nothing.
    const smf::MIDIFile file(
        smf::Format::singleTrack, smf::TimeBase::musical(ticksPerQuarter),
        {smf::Chunk::track(smf::Track{{
            smf::wrap(smf::Tempo{60.0}, smf::DeltaTime::ticks(2 * quarter)),
            smf::wrap(smf::Tempo{240.0}, smf::DeltaTime(smf::DeltaTime::Case::noteWhole)),
            smf::wrap(smf::Text{}, smf::DeltaTime::ticks(0)),
        }})});

    // bar 2 = 1.0 s at 120 + 2.0 s at 60; had the skipped tempo counted, 1.0 + 0.5.
    EXPECT_THAT(tempoMapOf(file).barStartTimes, ElementsAre(0.0f, 0.0f, 3.0f));
}

// --- Time signatures -------------------------------------------------------------------------

TEST(TempoMapTimeSignatures, SignatureAtTickZeroSetsBarOne) {
    const auto tables = tablesOf({TrackBytes{}.timeSignature(0, 3, quarterBeat).noteOn(bar34)});

    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 1.5f, 3.0f));
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 3, 3, 3));
}

TEST(TempoMapTimeSignatures, ChangeOnABarLineGivesThatBarTheNewMeter) {
    const auto tables =
        tablesOf({TrackBytes{}.timeSignature(2 * bar44, 3, quarterBeat).noteOn(bar34)});

    // bars 1 and 2 in 4/4 (2.0 s each); bar 3 in 3/4 at 4.0; bar 4 1440 ticks later (1.5 s).
    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 2.0f, 4.0f, 5.5f, 7.0f));
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4, 4, 3, 3, 3));
}

TEST(TempoMapTimeSignatures, ChangeInTheMiddleOfABarLeavesItsEndWhereItWas) {
    const auto tables =
        tablesOf({TrackBytes{}.timeSignature(bar44 + 2 * quarter, 3, quarterBeat).noteOn(0)});

    // bar 2 keeps its 4 beats and ends at 4.0 (1920 ticks after 2.0); bar 3 has 3 beats.
    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 2.0f, 4.0f));
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4, 4, 3));
}

struct MeterCase {
    std::uint8_t numerator;
    std::uint8_t exponent;
    float barSeconds; // at 120, a quarter lasting 0.5 s
};

class TempoMapMeters : public ::testing::TestWithParam<MeterCase> {};

TEST_P(TempoMapMeters, BarLengthFollowsNumeratorAndNoteValue) {
    const auto [numerator, exponent, barSeconds] = GetParam();
    const auto tables = tablesOf({TrackBytes{}.timeSignature(0, numerator, exponent)});

    ASSERT_THAT(tables.barStartTimes, SizeIs(3));
    EXPECT_FLOAT_EQ(tables.barStartTimes[2], barSeconds);
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, numerator, numerator));
}

INSTANTIATE_TEST_SUITE_P(Meters, TempoMapMeters,
                         ::testing::Values(MeterCase{6, 3, 1.5f},   // six eighths = 3 quarters
                                           MeterCase{7, 4, 0.875f}, // seven 16ths = 1.75 quarters
                                           MeterCase{2, 1, 2.0f},   // two halves = 4 quarters
                                           MeterCase{5, 2, 2.5f})); // five quarters

// --- Rounding --------------------------------------------------------------------------------

TEST(TempoMapRounding, StoredTimesRoundHalvesAwayFromZero) {
    // 15625 µs a quarter (3840 bpm): a 4/4 bar lasts exactly 0.0625 s, i.e. 62.5 ms.
    const auto tables = tablesOf({TrackBytes{}.tempo(0, 15'625).noteOn(2 * bar44)});

    EXPECT_FLOAT_EQ(tables.barStartTimes[2], 0.063f); // 62.5 ms up, not to the even 62
    EXPECT_FLOAT_EQ(tables.barStartTimes[3], 0.125f);
    EXPECT_FLOAT_EQ(tables.barStartTimes[4], 0.188f); // 187.5 ms
}

TEST(TempoMapRounding, RunningTotalKeepsItsUnroundedValue) {
    // 333333 µs a quarter: a 4/4 bar lasts 1.333332 s.
    const auto tables = tablesOf({TrackBytes{}.tempo(0, 333'333).noteOn(2 * bar44)});

    EXPECT_FLOAT_EQ(tables.barStartTimes[2], 1.333f);
    // 2 × 1.333332 = 2.666664 → 2.667; from the rounded 1.333 it would be 2.666.
    EXPECT_FLOAT_EQ(tables.barStartTimes[3], 2.667f);
    EXPECT_FLOAT_EQ(tables.barStartTimes[4], 4.0f); // 3.999996
}

// --- Input that must not hang, crash or allocate without bound -------------------------------

class TempoMapUnusableExponents : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(TempoMapUnusableExponents, SignatureWhoseNoteValueOverflowsChangesNothing) {
    // 2^63 and beyond do not fit a signed 64-bit note value; the event is then like any other.
    const auto withSignature =
        tablesOf({TrackBytes{}.timeSignature(bar44, 3, GetParam()).noteOn(2 * bar44)});
    const auto withText = tablesOf({TrackBytes{}.text(bar44, "x").noteOn(2 * bar44)});

    EXPECT_EQ(withSignature, withText);
    EXPECT_THAT(withSignature.barBeatCounts, Each(::testing::AnyOf(0, 4)));
}

INSTANTIATE_TEST_SUITE_P(Exponents, TempoMapUnusableExponents, ::testing::Values(63, 64, 200, 255));

TEST(TempoMapZeroLengthBars, ZeroTicksPerBarAtTheStartGiveBarOneOnly) {
    // 480 × 4 × 4 ÷ 2^62 truncates to 0 ticks, and so does any numerator of 0.
    const auto tinyNoteValue = tablesOf({TrackBytes{}.timeSignature(0, 4, 62).noteOn(bar44)});
    const auto noBeats = tablesOf({TrackBytes{}.timeSignature(0, 0, quarterBeat).noteOn(bar44)});

    EXPECT_THAT(tinyNoteValue.barStartTimes, ElementsAre(0.0f, 0.0f));
    EXPECT_THAT(tinyNoteValue.barBeatCounts, ElementsAre(0, 4));
    EXPECT_THAT(noBeats.barStartTimes, ElementsAre(0.0f, 0.0f));
    EXPECT_THAT(noBeats.barBeatCounts, ElementsAre(0, 0));
}

TEST(TempoMapZeroLengthBars, ZeroTicksPerQuarterGiveBarOneOnly) {
    const auto tables =
        tablesOf(midiFileBytes(formatSingleTrack, 0, {TrackBytes{}.tempo(0, at60).noteOn(9)}));

    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f));
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4));
}

TEST(TempoMapZeroLengthBars, SignatureWithoutLengthLaterEndsTheWalkThere) {
    // From bar 3 on no bar line can be placed; bars 1 and 2 stay as they were.
    const auto tables =
        tablesOf({TrackBytes{}.timeSignature(2 * bar44, 0, quarterBeat).noteOn(5 * bar44)});

    EXPECT_THAT(tables.barStartTimes, ElementsAre(0.0f, 0.0f, 2.0f));
    EXPECT_THAT(tables.barBeatCounts, ElementsAre(0, 4, 4));
}

TEST(TempoMapBounds, HugeFileWithTinyBarsStopsAtTheBarLimit) {
    // 1 tick per quarter and 4 ticks per bar: one maximal delta would be 67 million bars.
    constexpr std::uint32_t longestDelta = 0x0FFF'FFFF;
    const auto tables =
        tablesOf(midiFileBytes(formatSingleTrack, 1, {TrackBytes{}.noteOn(longestDelta)}));

    ASSERT_THAT(tables.barStartTimes, SizeIs(maxBarCount + 1));
    ASSERT_THAT(tables.barBeatCounts, SizeIs(maxBarCount + 1));
    // Bars are 2.0 s apart at 120, so the last kept bar starts at 2.0 × (maxBarCount − 1).
    // Near 200000 s a 32-bit float keeps about two decimals.
    EXPECT_NEAR(tables.barStartTimes.back(), 2.0 * static_cast<double>(maxBarCount - 1), 0.05);
}

TEST(TempoMapBounds, TempoOutsideAnyFileIsIgnored) {
    // Decoded tempos are clamped into range; a value built in memory may not be.
    const auto fileWith = [](double bpm) {
        return smf::MIDIFile(smf::Format::singleTrack, smf::TimeBase::musical(ticksPerQuarter),
                             {smf::Chunk::track(smf::Track{{
                                 smf::wrap(smf::Tempo{bpm}, smf::DeltaTime::ticks(quarter)),
                                 smf::wrap(smf::Text{}, smf::DeltaTime::ticks(bar44)),
                             }})});
    };
    const auto at120Tables = tempoMapOf(fileWith(120.0));

    EXPECT_EQ(tempoMapOf(fileWith(0.0)), at120Tables);
    EXPECT_EQ(tempoMapOf(fileWith(-60.0)), at120Tables);
    EXPECT_EQ(tempoMapOf(fileWith(std::numeric_limits<double>::quiet_NaN())), at120Tables);
    EXPECT_EQ(tempoMapOf(fileWith(std::numeric_limits<double>::infinity())), at120Tables);
    EXPECT_NE(tempoMapOf(fileWith(60.0)), at120Tables);
}

// --- Fixed tempo -----------------------------------------------------------------------------

TEST(FixedTempoMap, HoldsBarsOneToOneThousand) {
    const auto tables = makeFixedTempoMap(4, 4, 120.0f);

    ASSERT_THAT(tables.barStartTimes, SizeIs(1001));
    ASSERT_THAT(tables.barBeatCounts, SizeIs(1001));
    EXPECT_EQ(tables.barStartTimes[0], 0.0f);
    EXPECT_EQ(tables.barBeatCounts[0], 0);
    EXPECT_EQ(tables.barStartTimes[1], 0.0f);
    EXPECT_FLOAT_EQ(tables.barStartTimes[1000], 1998.0f); // 999 bars of 2.0 s
    EXPECT_THAT(std::vector(tables.barBeatCounts.begin() + 1, tables.barBeatCounts.end()), Each(4));
}

TEST(FixedTempoMap, DenominatorIsANoteValue) {
    // 6/8 at 90: (60 ÷ 90) × 6 × (4 ÷ 8) = 2.0 s a bar.
    const auto tables = makeFixedTempoMap(6, 8, 90.0f);

    EXPECT_FLOAT_EQ(tables.barStartTimes[2], 2.0f);
    EXPECT_FLOAT_EQ(tables.barStartTimes[500], 998.0f);
    EXPECT_EQ(tables.barBeatCounts[7], 6);
}

TEST(FixedTempoMap, TimesAreNotRounded) {
    // At 180 a 4/4 bar lasts 4/3 s, which a file's table would store as 1.333.
    const auto tables = makeFixedTempoMap(4, 4, 180.0f);

    EXPECT_NEAR(tables.barStartTimes[2], 4.0 / 3.0, 1e-6);
    EXPECT_NE(tables.barStartTimes[2], 1.333f);
}

struct RefusedMemo {
    std::int64_t numerator;
    std::int64_t denominator;
    float tempo;
};

class FixedTempoMapRefusal : public ::testing::TestWithParam<RefusedMemo> {};

TEST_P(FixedTempoMapRefusal, BarDurationThatIsNotAFinitePositiveNumberGivesNoBars) {
    const auto [numerator, denominator, tempo] = GetParam();
    const auto tables = makeFixedTempoMap(numerator, denominator, tempo);

    EXPECT_THAT(tables.barStartTimes, SizeIs(0));
    EXPECT_THAT(tables.barBeatCounts, SizeIs(0));
}

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(Memos, FixedTempoMapRefusal,
                         ::testing::Values(RefusedMemo{4, 4, 0.0f}, RefusedMemo{4, 4, -120.0f},
                                           RefusedMemo{4, 4, nan}, RefusedMemo{4, 4, infinity},
                                           RefusedMemo{4, 4, -infinity}, RefusedMemo{4, 0, 120.0f},
                                           RefusedMemo{4, -4, 120.0f}, RefusedMemo{0, 4, 120.0f},
                                           RefusedMemo{-3, 4, 120.0f},
                                           // 60 ÷ 1e-38 overflows to infinity.
                                           RefusedMemo{4, 4, 1e-38f}));

// --- Loading from a path ---------------------------------------------------------------------

class LoadTempoMap : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const testing::Bytes& bytes) {
        return m_scratch.write(name, bytes);
    }

    BarTables load(const std::filesystem::path& path) {
        return loadTempoMap(path, [this](std::string_view line) { m_lines.emplace_back(line); });
    }

    testing::ScratchFolder m_scratch{"carvo-tempo-map"};
    std::vector<std::string> m_lines;
};

TEST_F(LoadTempoMap, GoodFileSaysLoadedAndGivesItsTables) {
    const auto bytes = midiFileBytes(formatSingleTrack, ticksPerQuarter,
                                     {TrackBytes{}.tempo(2 * quarter, at60).noteOn(bar44)});

    const auto tables = load(write("good.mid", bytes));

    EXPECT_THAT(m_lines, ElementsAre("Loaded MIDI file"));
    EXPECT_EQ(tables, tablesOf(bytes));
}

TEST_F(LoadTempoMap, UndecodableFileGivesEmptyTablesAfterTheReason) {
    const testing::Bytes thirteenBytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 1};

    const auto tables = load(write("short.mid", thirteenBytes));

    EXPECT_EQ(tables, BarTables{});
    EXPECT_THAT(m_lines, ElementsAre("Failed to read MIDI file: malformed(\"Header is not correct. "
                                     "File may not be a MIDI file.\")"));
}

TEST_F(LoadTempoMap, UnreadablePathGivesEmptyTablesAfterThePlatformText) {
    const auto missing = load(m_scratch.path() / "missing.mid");
    const auto folder = load(m_scratch.path());

    EXPECT_EQ(missing, BarTables{});
    EXPECT_EQ(folder, BarTables{});
    ASSERT_THAT(m_lines, SizeIs(2));
    const std::string prefix = "Failed to read MIDI file: ";
    for (const auto& line : m_lines) {
        EXPECT_TRUE(line.starts_with(prefix)) << line;
        EXPECT_GT(line.size(), prefix.size()) << "no reason given";
    }
}

TEST_F(LoadTempoMap, DefaultWriterPrintsWholeLinesOnStandardOutput) {
    const auto path = write(
        "good.mid", midiFileBytes(formatSingleTrack, ticksPerQuarter, {TrackBytes{}.noteOn(1)}));

    ::testing::internal::CaptureStdout();
    loadTempoMap(path);
    loadTempoMap(m_scratch.path() / "missing.mid");
    const std::string printed = ::testing::internal::GetCapturedStdout();

    EXPECT_TRUE(printed.starts_with("Loaded MIDI file\nFailed to read MIDI file: ")) << printed;
    EXPECT_TRUE(printed.ends_with("\n"));
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 2);
}

// Loads path in a child process that is stopped after a few seconds, and gives the lines it
// wrote; nothing when the child did not finish. A reader that waits on a pipe, or reads a device
// without end, fails the test instead of holding it (and the machine's memory).
std::optional<std::vector<std::string>> linesOfBoundedLoad(const std::filesystem::path& path) {
    int channel[2];
    if (::pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::alarm(10);
        loadTempoMap(path, [&](std::string_view line) {
            std::string text(line);
            text += '\n';
            [[maybe_unused]] const auto written = ::write(channel[1], text.data(), text.size());
        });
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t count; (count = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            break;
        output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(channel[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    std::vector<std::string> lines;
    for (std::size_t from = 0, end; (end = output.find('\n', from)) != std::string::npos;
         from = end + 1)
        lines.push_back(output.substr(from, end - from));
    return lines;
}

TEST_F(LoadTempoMap, OnlyRegularFilesAreReadAndTheReasonNamesWhatTheTargetIs) {
    const auto fifo = m_scratch.path() / "pipe.mid";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto good = write(
        "good.mid", midiFileBytes(formatSingleTrack, ticksPerQuarter, {TrackBytes{}.noteOn(1)}));
    const auto link = m_scratch.path() / "link.mid";
    std::filesystem::create_symlink(good, link);

    EXPECT_EQ(linesOfBoundedLoad("/dev/zero"),
              std::vector<std::string>{
                  "Failed to read MIDI file: not a regular file (a character device)"});
    EXPECT_EQ(linesOfBoundedLoad(fifo),
              std::vector<std::string>{"Failed to read MIDI file: not a regular file (a pipe)"});
    // A link to a file is that file.
    EXPECT_EQ(linesOfBoundedLoad(link), std::vector<std::string>{"Loaded MIDI file"});
}

TEST_F(LoadTempoMap, AFileOfMoreThan64MiBIsRefusedUnreadAndOneOf64MiBIsRead) {
    constexpr std::uintmax_t limit = std::uintmax_t{64} * 1024 * 1024;
    // A good track, then an unknown chunk that fills the file to the limit: a valid file.
    testing::Bytes bytes =
        midiFileBytes(formatSingleTrack, ticksPerQuarter, {TrackBytes{}.noteOn(bar44)});
    const auto padding = static_cast<std::uint32_t>(limit - bytes.size() - 8);
    testing::append(bytes, {'X', 'Y', 'Z', 'W'});
    testing::append(bytes, testing::bigEndian32(padding));
    const auto atLimit = write("limit.mid", bytes);
    std::filesystem::resize_file(atLimit, limit); // sparse: no 64 MiB written to the disk
    const auto beyond = write("beyond.mid", bytes);
    std::filesystem::resize_file(beyond, limit + 1);

    EXPECT_EQ(
        linesOfBoundedLoad(beyond),
        std::vector<std::string>{"Failed to read MIDI file: larger than 64 MiB (67108865 bytes)"});
    EXPECT_EQ(linesOfBoundedLoad(atLimit), std::vector<std::string>{"Loaded MIDI file"});
}

} // namespace
} // namespace carvo
