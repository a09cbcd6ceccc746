// The position arithmetic of one bar counter tick where the tables are uneven or degenerate;
// the ordinary course of ticks is covered through the counter itself.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/bar_position.h"
#include "engine/tempo_map.h"
#include "support/midi_bytes.h"

namespace carvo {
namespace {

// 120 beats per minute in 4/4: every bar lasts 2.0 s, so bar n starts at 2.0 × (n − 1).
struct Tables {
    std::vector<float> starts{0.0F};
    std::vector<std::int64_t> beats{0};
};

Tables evenBars(int bars, float seconds, std::int64_t beatsPerBar) {
    Tables tables;
    for (int n = 0; n <= bars; ++n) {
        tables.starts.push_back(seconds * static_cast<float>(n));
        tables.beats.push_back(beatsPerBar);
    }
    return tables;
}

BarPositionInput inputFor(const Tables& tables, std::int64_t index, double secondsSinceJump) {
    BarPositionInput input;
    input.currentBarIndex = index;
    input.firstBarNumber = 1;
    input.barStartTimes = &tables.starts;
    input.barBeatCounts = &tables.beats;
    input.jumpStartTime = 1'700'000'000.0;
    input.jumpBarTime = tables.starts[static_cast<std::size_t>(index)];
    input.now = input.jumpStartTime + secondsSinceJump;
    return input;
}

TEST(BarPositionAtABarLine, TheNextBarBeginsWithItsOwnBeatCount) {
    Tables tables = evenBars(8, 2.0F, 4);
    tables.beats[2] = 3;
    tables.starts[3] = 3.5F; // bar 2 is a 3/4 bar of 1.5 s
    const BarPosition at = computeBarPosition(inputFor(tables, 1, 2.25));
    EXPECT_TRUE(at.barChanged);
    EXPECT_EQ(at.index, 2);
    EXPECT_EQ(at.beatsPerBar, 3);
    EXPECT_EQ(at.text, "2.1");
    // The progress is measured against the length of the bar the tick began in (2.0 s).
    EXPECT_DOUBLE_EQ(at.progress, 0.125);
}

TEST(BarPositionOutsideTheTables, TheLastBarAndBeyondStopTheCounter) {
    const Tables tables = evenBars(4, 2.0F, 4); // 6 entries: placeholder, bars 1–4, end line
    EXPECT_FALSE(computeBarPosition(inputFor(tables, 3, 0.1)).outsideTables);
    EXPECT_TRUE(computeBarPosition(inputFor(tables, 4, 0.1)).outsideTables);

    BarPositionInput input = inputFor(tables, 1, 0.1);
    input.currentBarIndex = 5;
    EXPECT_TRUE(computeBarPosition(input).outsideTables);
    input.currentBarIndex = -3; // a refused jump far below the first bar
    EXPECT_TRUE(computeBarPosition(input).outsideTables);

    const std::vector<float> noStarts;
    const std::vector<std::int64_t> noBeats;
    input.barStartTimes = &noStarts;
    input.barBeatCounts = &noBeats;
    for (std::int64_t index : {-2, -1, 0, 1}) {
        input.currentBarIndex = index;
        EXPECT_TRUE(computeBarPosition(input).outsideTables) << index;
    }
}

TEST(BarPositionDegenerateBars, ZeroLengthAndZeroBeatBarsShowBeatOne) {
    Tables tables = evenBars(6, 2.0F, 4);
    tables.starts[3] = tables.starts[2]; // bar 2 has no length
    BarPositionInput input = inputFor(tables, 2, 0.0);
    const BarPosition empty = computeBarPosition(input);
    EXPECT_EQ(empty.beat, 1);

    tables = evenBars(6, 2.0F, 4);
    tables.beats[2] = 0;
    input = inputFor(tables, 2, 1.0);
    EXPECT_EQ(computeBarPosition(input).text, "2.1");

    tables.beats[2] = -4; // a memo numerator below zero gives negative beats
    EXPECT_EQ(computeBarPosition(input).beat, 1);

    // A clock far beyond the bar gives a huge but finite beat, never an overflow.
    tables = evenBars(6, 2.0F, 4);
    input = inputFor(tables, 1, 1.0e30);
    const BarPosition far = computeBarPosition(input);
    EXPECT_GT(far.beat, 1'000'000'000);
    EXPECT_TRUE(std::isinf(far.progress) || far.progress > 1.0e20);
}

TEST(BarPositionDegenerateBars, ABarOfNoLengthShowsAndSendsAProgressOf0) {
    // One microsecond per quarter note (60,000,000 beats per minute): a 4/4 bar lasts 4 µs, so
    // the first 125 bar starts all round to 0.000 s.
    testing::TrackBytes track;
    track.tempo(0, 1).timeSignature(0, 4, 2).noteOn(1920 * 200);
    const BarTables tables = tempoMapOf(
        smf::MIDIFile::decode(testing::midiFileBytes(testing::formatSingleTrack, 480, {track})));
    ASSERT_GT(tables.barStartTimes.size(), 4U);
    ASSERT_EQ(tables.barStartTimes[1], tables.barStartTimes[2]);
    ASSERT_EQ(tables.barStartTimes[2], tables.barStartTimes[3]);

    BarPositionInput input;
    input.currentBarIndex = 1;
    input.firstBarNumber = 1;
    input.barStartTimes = &tables.barStartTimes;
    input.barBeatCounts = &tables.barBeatCounts;
    input.jumpStartTime = 1'700'000'000.0;
    for (double since : {0.0, 0.05, 1.0}) {
        input.now = input.jumpStartTime + since;
        const BarPosition position = computeBarPosition(input);
        EXPECT_TRUE(std::isfinite(position.progress)) << since;
        EXPECT_EQ(position.progress, 0.0) << since;
        EXPECT_EQ(position.beat, 1) << since;
        input.currentBarIndex = position.index;
    }
}

} // namespace
} // namespace carvo
