// The show state the bar counter publishes: its phase through a jump, a stop, a standby jump and
// a QLab that does not answer, and the position each tick puts in it.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "engine/show_state.h"
#include "engine_test_support.h"
#include "jump_test_support.h"

namespace carvo {
namespace {

using testing::EngineHarness;

// 120 beats per minute in 4/4 from bar 1: bar n starts at 2.0 × (n − 1) s, a beat lasts 0.5 s.
FollowedMusic eightBars(double jumpStartTime) {
    BarTables tables{{0.0F}, {0}};
    for (int n = 1; n <= 9; ++n) {
        tables.barStartTimes.push_back(2.0F * static_cast<float>(n - 1));
        tables.barBeatCounts.push_back(4);
    }
    FollowedMusic music;
    music.tables = std::make_shared<const BarTables>(std::move(tables));
    music.firstBarNumber = 1;
    music.currentBarIndex = 1;
    music.jumpStartTime = jumpStartTime;
    return music;
}

const ShowState& show(const EngineHarness& harness) {
    return harness.counter.showState().state();
}

TEST(ShowStateOfTheCounter, IdleUntilAStartAndAfterStopsThatStoppedNothing) {
    EngineHarness harness;
    EXPECT_EQ(show(harness), ShowState{});
    harness.counter.stopBarCounter(false);
    harness.counter.stopBarCounter(true);
    EXPECT_EQ(show(harness).phase, ShowPhase::idle);
}

TEST(ShowStateOfTheCounter, EachTickPublishesItsPositionOnceAndAStopEndsTheRun) {
    EngineHarness harness;
    harness.counter.setLastBarTriggered(1);
    harness.counter.startBarCounter(QStringLiteral("G1"), eightBars(harness.now));
    EXPECT_EQ(show(harness).phase, ShowPhase::running);
    EXPECT_EQ(show(harness).cueID, QStringLiteral("G1"));
    EXPECT_EQ(show(harness).bar, 1);
    EXPECT_EQ(show(harness).beat, 1);

    // 2.75 s in: bar 2 (from 2.0 s), 0.75 s into it is beat 2 and 0.75 / 2.0 = 0.375 of it.
    QSignalSpy changed(&harness.counter.showState(), &ShowStatePublisher::changed);
    harness.tickAt(2.75);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(show(harness).bar, 2);
    EXPECT_EQ(show(harness).beat, 2);
    EXPECT_DOUBLE_EQ(show(harness).progress, 0.375);
    EXPECT_EQ(show(harness).beatsPerBar, 4);
    EXPECT_EQ(show(harness).phase, ShowPhase::running);
    EXPECT_EQ(harness.counter.barCounter(), QStringLiteral("2.2")); // the same position

    // QLab says the cue no longer runs: stopped, back on the last triggered bar's first beat.
    harness.cueRunning = false;
    harness.answerChecks();
    EXPECT_FALSE(harness.counter.isCounting());
    EXPECT_EQ(show(harness).phase, ShowPhase::stopped);
    EXPECT_EQ(show(harness).bar, 1);
    EXPECT_EQ(show(harness).beat, 1);
    EXPECT_EQ(show(harness).progress, 0.0);
    EXPECT_EQ(show(harness).cueID, QStringLiteral("G1")); // the cue it followed last

    // A quiet stop of a run also ends it as stopped.
    harness.counter.startBarCounter(QStringLiteral("G1"));
    EXPECT_EQ(show(harness).phase, ShowPhase::running);
    harness.counter.stopBarCounter(false);
    EXPECT_EQ(show(harness).phase, ShowPhase::stopped);
}

TEST(ShowStateOfTheCounter, ASilentQLabIsAPhaseOfItsOwnUntilItAnswersAgain) {
    EngineHarness harness;
    harness.counter.startBarCounter(QStringLiteral("G1"), eightBars(harness.now));
    harness.runningCheck = [](const QString&) { return std::optional<bool>(); };
    harness.tickAt(0.5);
    harness.answerChecks();
    EXPECT_EQ(show(harness).phase, ShowPhase::qlabNotAnswering);
    // The count goes on meanwhile, and the phase stays.
    harness.tickAt(1.2); // 1.2 s into bar 1: beat 3 (from 1.0 s)
    EXPECT_EQ(show(harness).beat, 3);
    EXPECT_EQ(show(harness).phase, ShowPhase::qlabNotAnswering);

    harness.runningCheck = {};
    harness.answerChecks();
    EXPECT_EQ(show(harness).phase, ShowPhase::running);

    // Silent again, then a definite "not running": stopped.
    harness.runningCheck = [](const QString&) { return std::optional<bool>(); };
    harness.tickAt(1.5);
    harness.answerChecks();
    EXPECT_EQ(show(harness).phase, ShowPhase::qlabNotAnswering);
    harness.runningCheck = {};
    harness.cueRunning = false;
    harness.tickAt(1.6);
    harness.answerChecks();
    EXPECT_EQ(show(harness).phase, ShowPhase::stopped);
}

TEST(ShowStateOfTheCounter, ARunningAnswerAfterAQuietStopDoesNotRunTheShowAgain) {
    EngineHarness harness;
    harness.counter.startBarCounter(QStringLiteral("G1"), eightBars(harness.now));
    harness.runningCheck = [](const QString&) { return std::optional<bool>(); };
    harness.tickAt(0.5);
    harness.answerChecks();
    harness.runningCheck = {};
    harness.tickAt(0.6); // asks again; the answer comes after the stop
    harness.counter.stopBarCounter(false);
    harness.answerChecks();
    EXPECT_FALSE(harness.counter.isCounting());
    EXPECT_EQ(show(harness).phase, ShowPhase::stopped);
}

TEST(ShowStateOfTheCounter, TheCueIsNamedFromTheCatalogueWhereItIsKnown) {
    EngineHarness harness;
    harness.counter.setCueNames([](const QString& cueID) {
        return cueID == QStringLiteral("G1") ? QStringLiteral("Overture") : QString();
    });
    harness.counter.startBarCounter(QStringLiteral("G1"), eightBars(harness.now));
    EXPECT_EQ(show(harness).cueName, QStringLiteral("Overture"));
    harness.counter.startBarCounter(QStringLiteral("G9"), eightBars(harness.now));
    EXPECT_EQ(show(harness).cueID, QStringLiteral("G9"));
    EXPECT_EQ(show(harness).cueName, QString());
}

// Through the jump controller and the simulated QLab.
using ShowStateThroughJumps = testing::SimulatedQLabJump;

TEST_F(ShowStateThroughJumps, AJumpRunsAndAStopInQLabStopsIt) {
    remoteJump(QStringLiteral("G1"), 17);
    const ShowState& state = manager().showState().state();
    EXPECT_EQ(state.phase, ShowPhase::running);
    EXPECT_EQ(state.cueID, QStringLiteral("G1"));
    EXPECT_EQ(state.bar, 17);
    EXPECT_EQ(state.beat, 1);
    EXPECT_EQ(state.beatsPerBar, 4); // the score's 4/4, as "BPB: 4" told the clients

    // The group is stopped in QLab: the next answer stops the count.
    stopEveryCue();
    m_qlabClock->advance(0.05);
    harness.timers.fire();
    harness.answerChecks();
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(state.phase, ShowPhase::stopped);
    EXPECT_EQ(state.bar, 17);
}

TEST_F(ShowStateThroughJumps, AStandbyJumpWaitsOnStandbyAfterTheCounterStops) {
    settings.setStandby(true);
    remoteJump(QStringLiteral("G1"), 17);
    const ShowState& state = manager().showState().state();
    EXPECT_EQ(state.phase, ShowPhase::standby);
    EXPECT_EQ(state.cueID, QStringLiteral("G1"));

    // The cue is loaded, not started: the counter stops at its first tick, the show still
    // waits for the operator's go in QLab.
    m_qlabClock->advance(0.05);
    harness.timers.fire();
    harness.answerChecks();
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(state.phase, ShowPhase::standby);
    EXPECT_EQ(state.bar, 17);
}

TEST_F(ShowStateThroughJumps, AStandbyJumpRunsOnceQLabSaysTheCuePlays) {
    settings.setStandby(true);
    remoteJump(QStringLiteral("G1"), 17);
    EXPECT_EQ(manager().showState().state().phase, ShowPhase::standby);
    // The operator starts the loaded cue in QLab before the first check.
    m_sim->change([&](sim::WorkspaceFile& file) {
        for (sim::Cue& cue : file.workspaces.front().cues)
            if (cue.uniqueID == QStringLiteral("G1"))
                cue.startedAt = m_qlabClock->now();
    });
    m_qlabClock->advance(0.05);
    harness.timers.fire();
    harness.answerChecks();
    EXPECT_TRUE(manager().isCounting());
    EXPECT_EQ(manager().showState().state().phase, ShowPhase::running);
}

} // namespace
} // namespace carvo
