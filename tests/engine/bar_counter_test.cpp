// The bar counter driven tick by tick with a manual clock and timer.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QSignalSpy>

#include "base/app_console.h"
#include "engine_test_support.h"

namespace carvo {
namespace {

using testing::EngineHarness;

class BarCounterFollowingMusic : public ::testing::Test {
protected:
    // 120 beats per minute in 4/4, first bar 1, jumped to bar 1 at harness.now:
    // bar n starts at 2.0 × (n − 1) s; bars 1 to 8 and the line that ends bar 8.
    void SetUp() override {
        BarTables tables{{0.0F}, {0}};
        for (int n = 1; n <= 9; ++n) {
            tables.barStartTimes.push_back(2.0F * static_cast<float>(n - 1));
            tables.barBeatCounts.push_back(4);
        }
        music.tables = std::make_shared<const BarTables>(std::move(tables));
        music.firstBarNumber = 1;
        music.currentBarIndex = 1;
        music.jumpStartTime = harness.now;
        music.jumpBarTime = 0.0F;
        manager().setLastBarTriggered(1);
        manager().startBarCounter(QStringLiteral("G1"), music);
    }

    // Starts again on the same music with one thing changed.
    void restartWith(const std::function<void(FollowedMusic&)>& change) {
        FollowedMusic changed = manager().followed();
        change(changed);
        manager().startBarCounter(QStringLiteral("G1"), changed);
    }

    BarCounterManager& manager() { return harness.counter; }
    BeatProgressModel& model() { return harness.progress; }

    EngineHarness harness;
    FollowedMusic music;
};

TEST_F(BarCounterFollowingMusic, StartsAPreciseFiftyMillisecondTimerAndShowsTheLastBar) {
    manager().setLastBarTriggered(17);
    manager().startBarCounter(QStringLiteral("G1"));
    ASSERT_NE(harness.timers.live, nullptr);
    EXPECT_EQ(harness.timers.live->intervalMs, 50);
    EXPECT_EQ(manager().barCounter(), QStringLiteral("17.1"));
    EXPECT_TRUE(manager().isCounting());
    EXPECT_TRUE(harness.sent.isEmpty()); // a start stops the previous counter silently
}

TEST_F(BarCounterFollowingMusic, ATickShowsBarBeatAndProgressAndTellsClients) {
    QSignalSpy displayed(&manager(), &BarCounterManager::barCounterChanged);
    harness.now = manager().followed().jumpStartTime + 0.75;
    harness.timers.fire();
    // The display text is applied by a later task on the main thread.
    EXPECT_EQ(displayed.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(manager().barCounter(), QStringLiteral("1.2"));
    EXPECT_DOUBLE_EQ(model().barProgress(), 0.375);
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 1.2 0.375")});
}

TEST_F(BarCounterFollowingMusic, ANewBarSendsItsBeatsAndSwapsTheColours) {
    harness.tickAt(2.5);
    EXPECT_EQ(manager().followed().currentBarIndex, 2);
    EXPECT_EQ(model().beatsPerBar(), 4);
    EXPECT_EQ(model().backColour(), QColor::fromRgbF(0.5F, 0.0F, 0.0F, 1.0F));
    EXPECT_EQ(model().frontColor(), QColor::fromRgbF(0.0F, 0.0F, 0.5F, 1.0F));
    ASSERT_EQ(harness.sent.size(), 2);
    EXPECT_EQ(harness.sent[0], QStringLiteral("BPB: 4"));
    EXPECT_EQ(harness.sent[1], QStringLiteral("BAR: 2.2 0.25"));

    harness.tickAt(4.5); // bar 3, an odd index: the colours swap the other way
    EXPECT_EQ(manager().followed().currentBarIndex, 3);
    EXPECT_EQ(model().backColour(), QColor::fromRgbF(0.0F, 0.0F, 0.5F, 1.0F));
    EXPECT_EQ(model().frontColor(), QColor::fromRgbF(0.5F, 0.0F, 0.0F, 1.0F));
    EXPECT_EQ(manager().barCounter(), QStringLiteral("3.2"));
}

TEST_F(BarCounterFollowingMusic, LateTicksCatchUpOneBarAtATime) {
    harness.tickAt(6.5); // the music is in bar 4
    EXPECT_EQ(manager().followed().currentBarIndex, 2);
    EXPECT_EQ(manager().barCounter(), QStringLiteral("2.10")); // 4.5 s into bar 2
    harness.tickAt(6.55);
    EXPECT_EQ(manager().followed().currentBarIndex, 3);
    harness.tickAt(6.6);
    EXPECT_EQ(manager().followed().currentBarIndex, 4);
    EXPECT_EQ(manager().barCounter(), QStringLiteral("4.2"));
    harness.tickAt(6.65);
    EXPECT_EQ(manager().followed().currentBarIndex, 4);
}

TEST_F(BarCounterFollowingMusic, TheLastBarOfTheTablesStopsTheCounterAndEmptiesTheDisplay) {
    manager().setLastBarTriggered(1);
    // The last bar before the line that ends the tables.
    restartWith([](FollowedMusic& m) { m.currentBarIndex = 8; });
    harness.sent.clear();
    harness.tickAt(14.1);
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 1.1 0")});
    EXPECT_EQ(model().barProgress(), 0.0);
    EXPECT_EQ(manager().barCounter(), QString()); // the tick's own update lands after the stop
    EXPECT_FALSE(harness.timers.fire());
}

TEST_F(BarCounterFollowingMusic, ACueThatNoLongerRunsStopsTheCounterWithNotice) {
    manager().setLastBarTriggered(17);
    restartWith([](FollowedMusic& m) { m.firstBarNumber = 17; });
    harness.tickAt(0.5);
    harness.cueRunning = false;
    harness.sent.clear();
    harness.answerChecks();
    EXPECT_EQ(harness.checkedCues, QStringList{QStringLiteral("G1")});
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(manager().barCounter(), QStringLiteral("17.1"));
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 17.1 0")});
    EXPECT_EQ(model().barProgress(), 0.0);
}

TEST_F(BarCounterFollowingMusic, AStaleRunningCheckDoesNotStopANewerCounter) {
    harness.tickAt(0.5);
    ASSERT_EQ(harness.checks.tasks.size(), 1U);
    manager().startBarCounter(QStringLiteral("G2")); // a new jump started meanwhile
    harness.cueRunning = false;                      // G1 has ended
    harness.answerChecks();
    EXPECT_TRUE(manager().isCounting());

    // The newer run's own check still stops it; its second tick asked nothing, since its first
    // question was still out, so the clients hear the stop once.
    harness.tickAt(0.6);
    harness.tickAt(0.65);
    harness.sent.clear();
    harness.answerChecks();
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(harness.sent.count(QStringLiteral("BAR: 1.1 0")), 1);
}

TEST_F(BarCounterFollowingMusic, ASlowQLabIsAskedOneQuestionAtATime) {
    // QLab answers slower than a tick: twenty ticks, one question.
    for (int tick = 1; tick <= 20; ++tick)
        harness.tickAt(0.05 * tick);
    EXPECT_EQ(harness.checks.tasks.size(), 1U);
    EXPECT_EQ(manager().barCounter(), QStringLiteral("1.3")); // the position kept moving

    // "Running": the next tick asks again.
    harness.answerChecks();
    EXPECT_TRUE(manager().isCounting());
    harness.tickAt(1.05);
    harness.tickAt(1.1);
    EXPECT_EQ(harness.checks.tasks.size(), 1U);

    // "Stopped" at the first answer that says so: the counter stops, with one notice.
    harness.cueRunning = false;
    harness.sent.clear();
    harness.answerChecks();
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 1.1 0")});
    EXPECT_EQ(harness.checkedCues.size(), 2);
}

TEST_F(BarCounterFollowingMusic, NoAnswerFromQLabKeepsCountingAndIsSaidOnceEachWay) {
    const QString silent = QStringLiteral("QLab is not answering; the count goes on");
    const QString back = QStringLiteral("QLab is answering again; the count follows it");
    const auto said = [](const QString& line) {
        QCoreApplication::processEvents();
        return AppConsole::shared().logText().count(line);
    };
    const auto silentBefore = said(silent);
    const auto backBefore = said(back);

    // Three checks in a row without an answer (a timeout, a lost session): the count goes on
    // from the clock, and the console hears it once.
    harness.runningCheck = [](const QString&) { return std::optional<bool>(); };
    for (int tick = 1; tick <= 3; ++tick) {
        harness.tickAt(0.5 * tick);
        harness.answerChecks();
    }
    EXPECT_TRUE(manager().isCounting());
    EXPECT_EQ(manager().barCounter(), QStringLiteral("1.4"));
    EXPECT_FALSE(harness.sent.contains(QStringLiteral("BAR: 1.1 0")));
    EXPECT_EQ(harness.checkedCues.size(), 3);
    EXPECT_EQ(said(silent) - silentBefore, 1);
    EXPECT_EQ(said(back) - backBefore, 0);

    // QLab answers again, still running: said once, and the counter is where the clock says.
    harness.runningCheck = {};
    harness.tickAt(2.5);
    harness.answerChecks();
    harness.tickAt(2.6);
    harness.answerChecks();
    EXPECT_TRUE(manager().isCounting());
    EXPECT_EQ(manager().barCounter(), QStringLiteral("2.2"));
    EXPECT_EQ(said(back) - backBefore, 1);
    EXPECT_EQ(said(silent) - silentBefore, 1);

    // The first definite "not running" stops it, with its one notice.
    harness.cueRunning = false;
    harness.tickAt(2.7);
    harness.sent.clear();
    harness.answerChecks();
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 1.1 0")});
}

TEST_F(BarCounterFollowingMusic, ANegativeBarIndexStopsAtTheFirstTick) {
    restartWith([](FollowedMusic& m) { m.currentBarIndex = -2; });
    harness.sent.clear();
    harness.tickAt(0.1);
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 1.1 0")});
}

TEST(BarCounterStop, ResetsTheDisplayAndNotifiesOnlyWhenAsked) {
    EngineHarness harness;
    BarCounterManager& manager = harness.counter;
    manager.setLastBarTriggered(42);
    harness.progress.setBarProgress(0.7);
    manager.stopBarCounter(false);
    EXPECT_EQ(manager.barCounter(), QStringLiteral("42.1"));
    EXPECT_TRUE(harness.sent.isEmpty());
    EXPECT_EQ(harness.progress.barProgress(), 0.7);
    manager.stopBarCounter(true);
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 42.1 0")});
    EXPECT_EQ(harness.progress.barProgress(), 0.0);
}

} // namespace
} // namespace carvo

namespace carvo {
namespace {

TEST(BarCounterOnItsOwnTimer, RealTicksRunAndTheLastBarStopsTheCounterFromInsideAFiring) {
    testing::EngineHarness harness;
    BarCounterManager& manager = harness.counter;
    manager.setTimerFactory({}); // the precise 50 ms QTimer
    FollowedMusic music;
    music.tables =
        std::make_shared<const BarTables>(BarTables{{0.0F, 0.0F, 2.0F, 4.0F}, {0, 4, 4, 4}});
    music.currentBarIndex = 2; // the last bar: the first tick stops the counter
    music.jumpStartTime = harness.now;

    manager.startBarCounter(QStringLiteral("G1"), music);
    QDeadlineTimer deadline(5000);
    while (manager.isCounting() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_FALSE(manager.isCounting());
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 1.1 0")});
    QCoreApplication::processEvents(); // the stopped timer is deleted later, safely
}

} // namespace
} // namespace carvo
