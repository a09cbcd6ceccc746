// The go and chase commands, as QLab's Script cues send them.

#include <gtest/gtest.h>

#include "jump_test_support.h"
#include "qlab/scripting_commands.h"

namespace carvo {
namespace {

using testing::loadScript;
using testing::SimulatedQLabJump;

class GoCommand : public SimulatedQLabJump {
protected:
    // The command's answer, when it came before the call returned.
    QString go() {
        QString answer;
        commands().go([&answer](const QString& text) { answer = text; });
        return answer;
    }
};

TEST_F(GoCommand, JumpsWithTheBarTypedIntoQLabsDialogAndAnswersCarvo) {
    selectInQLab(QStringLiteral("G2"));
    answerBarDialogWith(QStringLiteral("3"));
    EXPECT_EQ(go(), QStringLiteral("Carvo!"));
    EXPECT_EQ(jumpState().music.currentBarIndex, 3);
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 4.0);
    EXPECT_EQ(manager().lastBarTriggered(), 3);
}

TEST_F(GoCommand, AnswersCarvoEvenWhenNoCueIsSelected) {
    selectInQLab(QString());
    m_sim->change([](sim::WorkspaceFile& file) { file.workspaces.front().selected.clear(); });
    EXPECT_EQ(go(), QStringLiteral("Carvo!"));
    ASSERT_FALSE(harness.sent.isEmpty());
    EXPECT_TRUE(harness.sent.front().startsWith(QStringLiteral("ERROR: ")));
    EXPECT_FALSE(manager().isCounting());
}

using ChaseCommand = SimulatedQLabJump;

TEST_F(ChaseCommand, AGroupJustFiredIsFollowedFromItsFirstBarWithoutLoadingIt) {
    m_qlabClock->advance(10.0);
    const double commandTime = wallNow();
    commands().chase({{QStringLiteral("cueId"), QStringLiteral("G1")}});

    const JumpState& state = jumpState();
    EXPECT_EQ(state.music.jumpStartTime, commandTime - 0.12);
    EXPECT_EQ(state.music.currentBarIndex, 1);
    EXPECT_EQ(state.music.jumpBarTime, 0.0F);
    EXPECT_EQ(m_runner->count(QString::fromLatin1(loadScript)), 0);
    EXPECT_FALSE(cueInQLab(QStringLiteral("G1"))->startedAt.has_value());
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G1"));
    EXPECT_EQ(manager().lastBarTriggered(), 9); // the score's first bar
    EXPECT_EQ(harness.sent,
              (QStringList{QStringLiteral("QLAB_SELECTED: G1"), QStringLiteral("BPB: 4")}));
    EXPECT_TRUE(manager().isCounting());
}

TEST_F(ChaseCommand, AGroupPlayingForSecondsIsLeftAloneWithoutStandby) {
    remoteJump(QStringLiteral("G1"), 17);
    m_qlabClock->advance(5.0);
    manager().stopBarCounter(false);
    const int timersBefore = harness.timers.created;
    const JumpState before = jumpState();
    qlab().setUniqueID(QStringLiteral("G2"));

    commands().chase({{QStringLiteral("cueId"), QStringLiteral("G1")}});
    EXPECT_EQ(harness.timers.created, timersBefore);
    EXPECT_EQ(jumpState().music.jumpStartTime, before.music.jumpStartTime);
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G2"));
}

TEST_F(ChaseCommand, WithStandbyAGroupPlayingForSecondsRestartsTheCounterFromNow) {
    remoteJump(QStringLiteral("G1"), 17);
    m_qlabClock->advance(5.0);
    const int timersBefore = harness.timers.created;
    settings.setStandby(true); // read afresh by each command
    const double commandTime = wallNow();
    harness.sent.clear();

    commands().chase({{QStringLiteral("cueId"), QStringLiteral("G1")}});
    EXPECT_EQ(harness.timers.created, timersBefore + 1);
    EXPECT_EQ(jumpState().music.jumpStartTime, commandTime);
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G1"));
    EXPECT_EQ(manager().barCounter(), QStringLiteral("17.1"));
    EXPECT_TRUE(harness.sent.isEmpty()); // the old counter stops silently
}

TEST_F(ChaseCommand, ARefusedChaseLeavesACounterFollowingAnotherCueAlone) {
    remoteJump(QStringLiteral("G1"), 17);
    m_qlabClock->advance(2.5); // bar 18, beat 2
    harness.timers.fire();
    QCoreApplication::processEvents();
    ASSERT_EQ(manager().barCounter(), QStringLiteral("18.2"));
    const JumpState before = jumpState();

    // G4's MIDI file is missing: every bar is out of range and the chase is refused.
    m_qlabClock->advance(3.0);
    harness.sent.clear();
    commands().chase({{QStringLiteral("cueId"), QStringLiteral("G4")}});
    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("The bar number is out of range")});
    EXPECT_EQ(jumpState().music.jumpStartTime, before.music.jumpStartTime);
    EXPECT_EQ(jumpState().currentCueID, QStringLiteral("G1"));
    EXPECT_TRUE(manager().isCounting());

    // 5.5 s after the jump to bar 17 the music is in bar 19, beat 4.
    harness.sent.clear();
    harness.timers.fire();
    QCoreApplication::processEvents();
    EXPECT_EQ(manager().barCounter(), QStringLiteral("19.4"));
    EXPECT_EQ(harness.sent,
              (QStringList{QStringLiteral("BPB: 4"), QStringLiteral("BAR: 19.4 0.75")}));
}

TEST_F(ChaseCommand, WithoutATextCueIDNothingHappensButOneLine) {
    const QVariantMap withoutText[] = {
        {},
        {{QStringLiteral("cue ID"), QStringLiteral("G1")}},
        {{QStringLiteral("cueId"), 42}},
        {{QStringLiteral("cueId"), QVariant()}},
        {{QStringLiteral("cueId"), QStringList{QStringLiteral("G1")}}},
    };
    for (const QVariantMap& arguments : withoutText)
        commands().chase(arguments);
    EXPECT_TRUE(wroteLine("❌ No cue ID passed from AppleScript"));
    EXPECT_EQ(m_runner->count(QStringLiteral("uniqueID")), 0); // QLab was never asked
    EXPECT_FALSE(manager().isCounting());
    EXPECT_EQ(qlab().uniqueID(), QString());
}

} // namespace
} // namespace carvo
