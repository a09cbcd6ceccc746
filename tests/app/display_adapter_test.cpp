// The stage display's state from the engine's: the bar's start on the wall clock and its length
// come from the music the counter follows; count-in and mark pass through.
#include <gtest/gtest.h>

#include "app/display_adapter.h"

namespace carvo {
namespace {

// Bars 1 to 4 begin at 0, 2, 4 and 5.5 s into the music (bar 3 lasts 1.5 s); the jump started
// bar 2 (2 s in) at 1000 s past 1970, and the counter has reached bar 3.
FollowedMusic music() {
    FollowedMusic followed;
    followed.tables = std::make_shared<const BarTables>(
        BarTables{{0.0F, 0.0F, 2.0F, 4.0F, 5.5F}, {4, 4, 4, 3, 3}});
    followed.firstBarNumber = 9;
    followed.currentBarIndex = 3;
    followed.jumpStartTime = 1000.0;
    followed.jumpBarTime = 2.0F;
    return followed;
}

ShowState show(ShowPhase phase) {
    ShowState state;
    state.cueID = QStringLiteral("D-GROUP-OVERTURE");
    state.cueName = QStringLiteral("Overture");
    state.bar = 11;
    state.beat = 2;
    state.progress = 0.4;
    state.beatsPerBar = 3;
    state.phase = phase;
    return state;
}

TEST(DisplayAdapter, ACountingShowGivesTheBarsStartOnTheWallClockAndItsLength) {
    for (const ShowPhase phase :
         {ShowPhase::running, ShowPhase::standby, ShowPhase::qlabNotAnswering}) {
        const display::State state = displayState(show(phase), music());
        // Bar 3 begins 4 − 2 = 2 s after the jump's start: 1002 s.
        EXPECT_DOUBLE_EQ(state.barStartMs, 1'002'000.0);
        EXPECT_DOUBLE_EQ(state.barLengthMs, 1500.0);
        EXPECT_EQ(state.bar, 11);
        EXPECT_EQ(state.beat, 2);
        EXPECT_EQ(state.beatsPerBar, 3);
        EXPECT_EQ(state.cueName, "Overture");
    }
    EXPECT_EQ(displayState(show(ShowPhase::running), music()).phase, display::Phase::running);
    EXPECT_EQ(displayState(show(ShowPhase::qlabNotAnswering), music()).phase,
              display::Phase::qlabNotAnswering);
}

TEST(DisplayAdapter, NoBarTimesWhereNothingIsCountedOrTheTablesEnd) {
    for (const ShowPhase phase : {ShowPhase::idle, ShowPhase::stopped}) {
        const display::State state = displayState(show(phase), music());
        EXPECT_EQ(state.barStartMs, 0.0);
        EXPECT_EQ(state.barLengthMs, 0.0);
    }
    FollowedMusic last = music();
    last.currentBarIndex = 4; // no bar after it to end it
    EXPECT_EQ(displayState(show(ShowPhase::running), last).barLengthMs, 0.0);
    FollowedMusic none;
    EXPECT_EQ(displayState(show(ShowPhase::running), none).barLengthMs, 0.0);
}

TEST(DisplayAdapter, CountInAndMarkPassThrough) {
    ShowState preRoll = show(ShowPhase::running);
    preRoll.countInBars = 2;
    preRoll.targetBar = 17;
    preRoll.mark = QStringLiteral("B");
    const display::State state = displayState(preRoll, music());
    EXPECT_EQ(state.countInBars, 2);
    EXPECT_EQ(state.targetBar, 17);
    EXPECT_EQ(state.mark, "B");
    const display::State plain = displayState(show(ShowPhase::running), music());
    EXPECT_EQ(plain.countInBars, 0);
    EXPECT_TRUE(plain.mark.isEmpty());
}

} // namespace
} // namespace carvo
