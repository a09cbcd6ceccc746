// The position arithmetic of one bar counter tick.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/bar_position.h"

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

TEST(BarPositionWithinABar, BeatAndProgressFollowTheClock) {
    const Tables tables = evenBars(8, 2.0F, 4);
    const BarPosition at = computeBarPosition(inputFor(tables, 1, 0.75));
    // 0.75 s into a 2.0 s bar of four 0.5 s beats: beat 2, progress 0.375.
    EXPECT_FALSE(at.outsideTables);
    EXPECT_FALSE(at.barChanged);
    EXPECT_EQ(at.text, "1.2");
    EXPECT_DOUBLE_EQ(at.progress, 0.375);

    // A bar line is passed only strictly after it: at exactly 2.0 s bar 1 is still current.
    const BarPosition onTheLine = computeBarPosition(inputFor(tables, 1, 2.0));
    EXPECT_FALSE(onTheLine.barChanged);
    EXPECT_EQ(onTheLine.text, "1.5");
}

TEST(BarPositionWithinABar, JumpBarTimeLinksTheClockToTheTables) {
    const Tables tables = evenBars(8, 2.0F, 4);
    // A jump to bar index 5 (table time 8.0 s); 1.25 s later it is beat 3 of that bar.
    const BarPosition at = computeBarPosition(inputFor(tables, 5, 1.25));
    EXPECT_EQ(at.text, "5.3");
    EXPECT_DOUBLE_EQ(at.progress, 0.625);
}

TEST(BarPositionWithinABar, BarNumbersUseTheScoresNumbering) {
    const Tables tables = evenBars(8, 2.0F, 4);
    BarPositionInput input = inputFor(tables, 3, 0.1);
    input.firstBarNumber = 9;
    EXPECT_EQ(computeBarPosition(input).bar, 11);
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

TEST(BarPositionAtABarLine, ALateTickMovesOnByOneBarOnly) {
    const Tables tables = evenBars(8, 2.0F, 4);
    // 7.0 s after a jump to bar 1 the music is in bar 4, but the counter reaches bar 2 only.
    const BarPosition late = computeBarPosition(inputFor(tables, 1, 7.0));
    EXPECT_EQ(late.index, 2);
    // 5.0 s into bar 2: beat 11 of a 4-beat bar, progress 2.5.
    EXPECT_EQ(late.text, "2.11");
    EXPECT_DOUBLE_EQ(late.progress, 2.5);
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

} // namespace
} // namespace carvo
