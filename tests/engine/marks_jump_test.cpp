// Jumps to rehearsal marks and the pre-roll, through the request queue, the jump controller and
// the simulated QLab. Group G1 reads tempo.mid with its first bar numbered 9; its bars last 2.0 s.

#include <gtest/gtest.h>

#include "engine/marks.h"
#include "jump_test_support.h"

namespace carvo {
namespace {

using testing::SimulatedQLabJump;

constexpr std::uint32_t bar44 = 1920;

class MarkJump : public SimulatedQLabJump {
protected:
    void SetUp() override {
        SimulatedQLabJump::SetUp();
        // 32 bars of 4/4 at 120. Marks: "Intro" in bar index 1 (bar 9), "C" on the line of
        // index 5 (bar 13), "c" in index 7 (bar 15), "Tempo di valse ♩" 100 ticks into index 9
        // (bar 17).
        testing::TrackBytes track;
        track.tempo(0, 500'000)
            .timeSignature(0, 4, 2)
            .marker(0, "Intro")
            .marker(4 * bar44, "C")
            .marker(2 * bar44 + 10, "c")
            .marker(2 * bar44 - 10 + 100, "Tempo di valse \xe2\x99\xa9")
            .noteOn(31 * bar44 + 960 - (8 * bar44 + 100));
        writeTempoFile(testing::midiFileBytes(testing::formatSingleTrack, 480, {track}));
    }

    void remoteMarkJump(const QString& cueID, const QString& mark) {
        m_requests->select(RequestOrigin::remote, cueID);
        JumpController::Options options;
        options.mark = mark;
        m_requests->jump(RequestOrigin::remote, RequestSource::remote, manager().lastBarTriggered(),
                         std::move(options));
    }
    double loadedTime(const QString& cueID) const {
        const auto cue = cueInQLab(cueID);
        return cue ? cue->loadedTime : -2.0;
    }
    const ShowState& show() { return manager().showState().state(); }
};

TEST_F(MarkJump, ARemoteMarkRequestJumpsToTheBarOfTheMark) {
    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("Tempo di valse \u2669"));

    // Index 9 begins 8 bars of 2.0 s in: bar 17.
    EXPECT_EQ(manager().lastBarTriggered(), 17);
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 16.0);
    EXPECT_EQ(jumpState().music.currentBarIndex, 9);
    EXPECT_EQ(harness.sent,
              (QStringList{QStringLiteral("QLAB_SELECTED: G1"), QStringLiteral("BPB: 4")}));
    EXPECT_TRUE(manager().isCounting());
    EXPECT_EQ(show().mark, QStringLiteral("Tempo di valse \u2669"));
}

TEST_F(MarkJump, AnExactNameWinsOverOneThatDiffersOnlyInCase) {
    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("c"));
    EXPECT_EQ(manager().lastBarTriggered(), 15); // "c" itself, not "C" before it

    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("C"));
    EXPECT_EQ(manager().lastBarTriggered(), 13);

    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("INTRO"));
    EXPECT_EQ(manager().lastBarTriggered(), 9);
    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("tempo DI VALSE \u2669"));
    EXPECT_EQ(manager().lastBarTriggered(), 17);
}

TEST_F(MarkJump, AnUnknownMarkIsRefusedAndNothingIsLoaded) {
    remoteJump(QStringLiteral("G1"), 10);
    stopEveryCue();
    manager().stopBarCounter(false);
    m_sim->change([](sim::WorkspaceFile& file) {
        for (sim::Cue& cue : file.workspaces.front().cues)
            cue.loadedTime = -1.0; // no load since
    });
    harness.sent.clear();

    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("Letter Z"));

    EXPECT_EQ(harness.sent,
              QStringList{QStringLiteral("There is no mark \"Letter Z\" in this music")});
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), -1.0);
    EXPECT_EQ(manager().lastBarTriggered(), 10);
    EXPECT_FALSE(manager().isCounting());
}

TEST_F(MarkJump, AMemoCueHasNoMarks) {
    remoteMarkJump(QStringLiteral("G2"), QStringLiteral("C"));

    EXPECT_EQ(harness.sent, QStringList{QStringLiteral("There is no mark \"C\" in this music")});
    EXPECT_FALSE(manager().isCounting());
}

TEST_F(MarkJump, TheBarDialogTakesAMarkWhereItDoesNotReadAsANumber) {
    selectInQLab(QStringLiteral("G1"));
    answerBarDialogWith(QStringLiteral(" intro "));
    qlabJump();
    EXPECT_EQ(manager().lastBarTriggered(), 9);
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 0.0);

    answerBarDialogWith(QStringLiteral("C"));
    stopEveryCue();
    qlabJump();
    EXPECT_EQ(manager().lastBarTriggered(), 13);
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 8.0);

    // A number that is no whole bar is no mark either: the answer is not taken, as before.
    harness.sent.clear();
    answerBarDialogWith(QStringLiteral("2.5"));
    stopEveryCue();
    qlabJump();
    EXPECT_EQ(manager().lastBarTriggered(), 13);
    EXPECT_TRUE(wroteLine("no valid message from qlab"));

    answerBarDialogWith(QStringLiteral("Coda"));
    stopEveryCue();
    qlabJump();
    EXPECT_TRUE(harness.sent.contains(QStringLiteral("There is no mark \"Coda\" in this music")));

    // For music without marks a word is no bar, and nothing more, as it always was.
    harness.sent.clear();
    selectInQLab(QStringLiteral("G2"));
    answerBarDialogWith(QStringLiteral("Coda"));
    qlabJump();
    EXPECT_TRUE(harness.sent.isEmpty());
    EXPECT_EQ(manager().lastBarTriggered(), 13);
}

TEST_F(MarkJump, TheShowStateNamesTheLatestMarkAtOrBeforeTheBar) {
    remoteJump(QStringLiteral("G1"), 12); // index 4: only "Intro" lies at or before it
    EXPECT_EQ(show().mark, QStringLiteral("Intro"));

    // 2.0 s later the counter is in bar 13, where "C" begins.
    m_qlabClock->advance(2.25);
    harness.timers.fire();
    QCoreApplication::processEvents();
    EXPECT_EQ(show().bar, 13);
    EXPECT_EQ(show().mark, QStringLiteral("C"));
}

// --- The pre-roll -------------------------------------------------------------------------------

TEST_F(MarkJump, APreRollLoadsEarlierAndCountsTheBarsIn) {
    jumps().setPreRollBars([] { return 2; });
    remoteJump(QStringLiteral("G1"), 17);

    // Bar 17 is index 9; two bars earlier is index 7, 6 bars of 2.0 s in.
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 12.0);
    EXPECT_EQ(manager().lastBarTriggered(), 17);
    EXPECT_EQ(manager().barCounter(), QStringLiteral("15.1"));
    EXPECT_EQ(show().bar, 15);
    EXPECT_EQ(show().countInBars, 2);
    EXPECT_EQ(show().targetBar, 17);

    m_qlabClock->advance(2.5); // bar 16
    harness.timers.fire();
    QCoreApplication::processEvents();
    EXPECT_EQ(show().bar, 16);
    EXPECT_EQ(show().countInBars, 1);
    EXPECT_EQ(show().targetBar, 17);

    m_qlabClock->advance(2.0); // bar 17: counted in
    harness.timers.fire();
    QCoreApplication::processEvents();
    EXPECT_EQ(show().bar, 17);
    EXPECT_EQ(show().countInBars, 0);
    EXPECT_EQ(show().targetBar, 0);
    EXPECT_EQ(manager().lastBarTriggered(), 17);
}

TEST_F(MarkJump, APreRollNeverStartsBeforeTheFirstBar) {
    jumps().setPreRollBars([] { return 4; });
    remoteJump(QStringLiteral("G1"), 10); // index 2: one bar to count in
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 0.0);
    EXPECT_EQ(show().bar, 9);
    EXPECT_EQ(show().countInBars, 1);
    EXPECT_EQ(show().targetBar, 10);

    stopEveryCue();
    remoteJump(QStringLiteral("G1"), 9); // the first bar: nothing to count in
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 0.0);
    EXPECT_EQ(show().bar, 9);
    EXPECT_EQ(show().countInBars, 0);
    EXPECT_EQ(show().targetBar, 0);
    EXPECT_EQ(manager().lastBarTriggered(), 9);
}

TEST_F(MarkJump, APreRollOutsideItsRangeIsHeldToIt) {
    jumps().setPreRollBars([] { return 9; });
    remoteJump(QStringLiteral("G1"), 30); // index 22: at most 4 bars, index 18
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 34.0);

    stopEveryCue();
    jumps().setPreRollBars([] { return -3; });
    remoteJump(QStringLiteral("G1"), 30);
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 42.0);
    EXPECT_EQ(show().countInBars, 0);
}

TEST_F(MarkJump, AMarkJumpCountsInToo) {
    jumps().setPreRollBars([] { return 1; });
    remoteMarkJump(QStringLiteral("G1"), QStringLiteral("C"));
    EXPECT_EQ(manager().lastBarTriggered(), 13);
    EXPECT_EQ(loadedTime(QStringLiteral("G1")), 6.0); // index 4
    EXPECT_EQ(show().countInBars, 1);
    EXPECT_EQ(show().mark, QStringLiteral("Intro"));
}

TEST(NumberedMarks, CarryTheScoresBarNumbers) {
    const std::vector<Mark> marks{{1, "A"}, {5, "B"}};
    EXPECT_EQ(numberedMarks(marks, 9),
              (QList<NumberedMark>{{9, QStringLiteral("A")}, {13, QStringLiteral("B")}}));
    EXPECT_EQ(markAtOrBefore(marks, 4), QStringLiteral("A"));
    EXPECT_EQ(markAtOrBefore(marks, 5), QStringLiteral("B"));
    EXPECT_EQ(markAtOrBefore({}, 5), QString());
    EXPECT_EQ(findMark(marks, QStringLiteral("b")), &marks[1]);
    EXPECT_EQ(findMark(marks, QStringLiteral("D")), nullptr);
}

} // namespace
} // namespace carvo
