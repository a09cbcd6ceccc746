// Jumps through the simulated QLab: the answer forms, the refusals and what a jump leaves
// behind for the bar counter.

#include <gtest/gtest.h>

#include "engine/jump_controller.h"
#include "jump_test_support.h"

namespace carvo {
namespace {

using testing::loadScript;
using testing::runningScript;
using testing::SimulatedQLabJump;

TEST_F(SimulatedQLabJump, RemoteJumpToBar17OnAScoreStartingAtBar9) {
    remoteJump(QStringLiteral("G1"), 17);

    const JumpState& state = jumpState();
    EXPECT_EQ(state.currentCueID, QStringLiteral("G1"));
    EXPECT_EQ(state.music.firstBarNumber, 9);
    EXPECT_EQ(state.music.currentBarIndex, 9); // 17 − 9 + 1
    // Bar index 9 starts 8 bars of 2.0 s in.
    const auto cue = cueInQLab(QStringLiteral("G1"));
    ASSERT_TRUE(cue);
    EXPECT_EQ(cue->loadedTime, 16.0);
    EXPECT_TRUE(cue->startedAt.has_value());
    EXPECT_EQ(state.music.jumpBarTime, 16.0F);
    EXPECT_EQ(state.music.jumpStartTime, wallNow());
    EXPECT_EQ(harness.sent,
              (QStringList{QStringLiteral("QLAB_SELECTED: G1"), QStringLiteral("BPB: 4")}));
    EXPECT_EQ(manager().lastBarTriggered(), 17);
    EXPECT_EQ(manager().barCounter(), QStringLiteral("17.1"));
    EXPECT_TRUE(manager().isCounting());
    EXPECT_TRUE(wroteLine("Loaded MIDI file"));
    EXPECT_TRUE(wroteLine("G1"));

    // The counter follows in the score's numbering: 0.75 s later it is bar 17, beat 2.
    m_qlabClock->advance(0.75);
    harness.sent.clear();
    harness.timers.fire();
    QCoreApplication::processEvents();
    EXPECT_EQ(manager().barCounter(), QStringLiteral("17.2"));
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 17.2 0.375")});
}

TEST_F(SimulatedQLabJump, TheStartTimeIsTakenAfterThePreWaitHasPassed) {
    settings.setPreWait(1.5);
    const double before = wallNow();
    remoteJump(QStringLiteral("G3"), 1);
    EXPECT_EQ(jumpState().music.jumpStartTime, before + 1.5);
    EXPECT_EQ(jumpState().music.currentBarIndex, 1); // empty notes: first bar 1
}

TEST_F(SimulatedQLabJump, MemoCueAtOneTempoReachesBar1000AndNoFurther) {
    remoteJump(QStringLiteral("G2"), 5);
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 8.0); // 4 bars of 2.0 s
    EXPECT_EQ(jumpState().music.currentBarIndex, 5);

    stopEveryCue();
    remoteJump(QStringLiteral("G2"), 1000);
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 1998.0);
    EXPECT_EQ(jumpState().music.currentBarIndex, 1000);

    stopEveryCue();
    harness.sent.clear();
    remoteJump(QStringLiteral("G2"), 1001);
    EXPECT_TRUE(wroteLine("Bar number out of range"));
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("The bar number is out of range")});
    EXPECT_EQ(jumpState().music.currentBarIndex, 1000); // the refused request committed nothing
    EXPECT_EQ(manager().lastBarTriggered(), 1001);
}

TEST_F(SimulatedQLabJump, AMIDIFileEndingInsideBar32CanStartAtTheBarLineThatEndsIt) {
    remoteJump(QStringLiteral("G3"), 33);
    EXPECT_EQ(jumpState().music.currentBarIndex, 33);
    EXPECT_EQ(cueInQLab(QStringLiteral("G3"))->loadedTime, 64.0);

    stopEveryCue();
    remoteJump(QStringLiteral("G3"), 34);
    EXPECT_TRUE(wroteLine("Bar number out of range"));
    EXPECT_EQ(jumpState().music.currentBarIndex, 33);
}

TEST_F(SimulatedQLabJump, TheBarBeforeTheFirstBarIsOutOfRange) {
    // Bar 8 of a score starting at bar 9 is index 0, the tables' placeholder.
    remoteJump(QStringLiteral("G1"), 8);
    EXPECT_TRUE(wroteLine("Bar number out of range"));
    EXPECT_EQ(m_runner->count(QString::fromLatin1(loadScript)), 0);
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(jumpState().currentCueID, QString());
    // The selected cue and the dialog's default still follow the taken answer.
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G1"));
    EXPECT_EQ(manager().lastBarTriggered(), 8);
}

TEST_F(SimulatedQLabJump, ABarIndexBeyondSixtyFourBitsIsOutOfRange) {
    // bar − offset + 1 does not fit a signed 64-bit integer: refused, never wrapped around.
    m_sim->change([](sim::WorkspaceFile& file) {
        file.workspaces.front().cues[2].children[0].notes = QStringLiteral("-9223372036854775808");
    });
    remoteJump(QStringLiteral("G3"), 1);
    EXPECT_TRUE(wroteLine("Bar number out of range"));
    EXPECT_EQ(m_runner->count(QString::fromLatin1(loadScript)), 0);
}

TEST_F(SimulatedQLabJump, AnUnreadableMIDIFileLeavesEveryBarOutOfRange) {
    remoteJump(QStringLiteral("G4"), 1);
    EXPECT_TRUE(wroteLine("Bar number out of range"));
    EXPECT_EQ(m_runner->count(QString::fromLatin1(loadScript)), 0);
}

TEST_F(SimulatedQLabJump, AnAnswerThatIsNotTakenEndsTheJumpAtOnce) {
    remoteJump(QStringLiteral("G1"), 17);
    const JumpState before = jumpState();
    stopEveryCue();
    m_runner->clear();
    harness.sent.clear();

    // The operator types a word into the bar dialog, then cancels it.
    for (const std::optional<QString>& typed :
         {std::optional<QString>(QStringLiteral("twelve")), std::optional<QString>()}) {
        answerBarDialogWith(typed);
        qlabJump();
    }
    EXPECT_TRUE(wroteLine("no valid message from qlab"));
    // No running check and no load of the previous request's cue.
    EXPECT_EQ(m_runner->count(QString::fromLatin1(runningScript)), 0);
    EXPECT_EQ(m_runner->count(QString::fromLatin1(loadScript)), 0);
    EXPECT_TRUE(harness.sent.isEmpty());
    EXPECT_EQ(jumpState().music.currentBarIndex, before.music.currentBarIndex);
    EXPECT_EQ(manager().lastBarTriggered(), 17);
}

TEST_F(SimulatedQLabJump, TheOperatorsBarFromQLabsDialogIsJumpedTo) {
    selectInQLab(QStringLiteral("G2"));
    answerBarDialogWith(QStringLiteral("12 "));
    qlabJump();
    EXPECT_EQ(jumpState().music.currentBarIndex, 12);
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 22.0);
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G2"));
}

TEST_F(SimulatedQLabJump, ARequestArrivingDuringQLabsBarDialogWaitsForTheJumpInProgress) {
    // In the window QLab's bar dialog waits in a nested event loop, where a remote request can
    // arrive; it must not run inside the jump that is asking the operator.
    struct RemoteRequestDuringDialog : sim::DialogResponder {
        testing::EngineHarness* harness = nullptr;
        RequestQueue* requests = nullptr;
        QStringList sentWhileAsking;
        std::optional<QString> respond(const sim::DialogRequest& request) override {
            if (!request.defaultAnswer)
                return QString(); // a refusal's message, on the dialogs' own threads: OK
            requests->jump(RequestOrigin::remote, RequestSource::remote, 20);
            sentWhileAsking = harness->sent;
            return QStringLiteral("17");
        }
    };
    auto responder = std::make_shared<RemoteRequestDuringDialog>();
    responder->harness = &harness;
    responder->requests = &requests();
    m_sim->setDialogResponder(responder);
    selectInQLab(QStringLiteral("G1"));
    requests().select(RequestOrigin::remote, QStringLiteral("G1"));

    requests().jump(RequestOrigin::window, RequestSource::qlab, manager().lastBarTriggered());
    EXPECT_TRUE(responder->sentWhileAsking.isEmpty());
    EXPECT_EQ(harness.sent,
              (QStringList{QStringLiteral("QLAB_SELECTED: G1"), QStringLiteral("BPB: 4")}));
    EXPECT_EQ(manager().lastBarTriggered(), 17);

    // Then the waiting request runs, on the group it addressed when it arrived, which the
    // operator's jump has just started from 16.0 s: it is refused as already running.
    QCoreApplication::processEvents();
    EXPECT_EQ(manager().lastBarTriggered(), 20);
    EXPECT_EQ(jumpState().music.currentBarIndex, 9);
    EXPECT_EQ(harness.sent.value(2),
              QStringLiteral("The cue is already running. Please stop the cue and try again"));
}

TEST_F(SimulatedQLabJump, WithStandbyTheCueIsOnlyLoadedAndTheCounterStopsAtItsFirstTick) {
    settings.setStandby(true);
    remoteJump(QStringLiteral("G1"), 17);
    const auto cue = cueInQLab(QStringLiteral("G1"));
    EXPECT_EQ(cue->loadedTime, 16.0);
    EXPECT_FALSE(cue->startedAt.has_value());
    EXPECT_TRUE(manager().isCounting());

    m_qlabClock->advance(0.05);
    harness.timers.fire();
    harness.sent.clear();
    harness.answerChecks();
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(manager().barCounter(), QStringLiteral("17.1"));
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("BAR: 17.1 0")});
    EXPECT_EQ(harness.progress.barProgress(), 0.0);
}

class RefusedWhilePlaying : public SimulatedQLabJump {
protected:
    // G1 plays from bar 17; five seconds later the counter is in bar 19.
    void SetUp() override {
        SimulatedQLabJump::SetUp();
        remoteJump(QStringLiteral("G1"), 17);
        for (double t : {2.05, 4.05, 5.0}) {
            m_qlabClock->advance(t - (m_qlabClock->now() - m_started));
            harness.timers.fire();
        }
        QCoreApplication::processEvents();
        ASSERT_EQ(manager().barCounter(), QStringLiteral("19.3"));
        harness.sent.clear();
    }

    void expectCounterUndisturbed() {
        const JumpState& state = jumpState();
        EXPECT_EQ(state.currentCueID, QStringLiteral("G1"));
        EXPECT_EQ(state.music.firstBarNumber, 9);
        EXPECT_EQ(state.music.currentBarIndex, 11);
        EXPECT_EQ(state.music.tables->barStartTimes.size(),
                  34U); // placeholder, bars 1–32, the line ending bar 32
        EXPECT_TRUE(manager().isCounting());
        // The next tick goes on from where the music is.
        m_qlabClock->advance(0.5);
        harness.sent.clear();
        harness.timers.fire();
        QCoreApplication::processEvents();
        EXPECT_EQ(manager().barCounter(), QStringLiteral("19.4"));
    }

    double m_started = 0.0;
};

TEST_F(RefusedWhilePlaying, ACueAlreadyRunningIsNotLoadedAgain) {
    m_runner->clear();
    answerBarDialogWith(QStringLiteral("25"));
    qlabJump();
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral(
                                "The cue is already running. Please stop the cue and try again")});
    EXPECT_EQ(m_runner->count(QString::fromLatin1(loadScript)), 0);
    EXPECT_EQ(manager().lastBarTriggered(), 25);
    expectCounterUndisturbed();
}

TEST_F(RefusedWhilePlaying, AnotherCuesMissingBarLeavesTheCounterAlone) {
    remoteJump(QStringLiteral("G2"), 5000);
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("The bar number is out of range")});
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G2"));
    expectCounterUndisturbed();
}

TEST_F(SimulatedQLabJump, ACueStartedLessThanASecondAgoDoesNotStopTheJump) {
    remoteJump(QStringLiteral("G1"), 17);
    stopEveryCue();
    m_sim->change([](sim::WorkspaceFile& file) {
        sim::Cue& group = file.workspaces.front().cues.front();
        group.startPosition = 0.0;
        group.loadedTime = 0.0;
    });
    remoteJump(QStringLiteral("G1"), 9); // starts G1 from its top
    m_qlabClock->advance(0.5);
    remoteJump(QStringLiteral("G1"), 10);
    EXPECT_EQ(jumpState().music.currentBarIndex, 2);
    EXPECT_EQ(cueInQLab(QStringLiteral("G1"))->loadedTime, 2.0);
}

} // namespace
} // namespace carvo
