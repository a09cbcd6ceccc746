// Requests that arrive while a jump waits for the operator in a dialog that runs the event loop:
// they run after it, in arrival order, each with what it named when it arrived, and at most one
// of each kind waits per origin.
#include <gtest/gtest.h>

#include "base/app_console.h"

#include "jump_test_support.h"

namespace carvo {
namespace {

using testing::SimulatedQLabJump;

// Answers QLab's bar dialog: the first time it runs `duringDialog` (what arrives while the
// operator is typing) and answers `answer`; later dialogs (of requests that waited) get `later`.
class BarDialog final : public sim::DialogResponder {
public:
    std::function<void()> duringDialog;
    QString answer = QStringLiteral("17");
    QString later = QStringLiteral("10");
    int barDialogs = 0;

    std::optional<QString> respond(const sim::DialogRequest& request) override {
        if (!request.defaultAnswer)
            return QString(); // a refusal's message, dismissed with OK
        if (++barDialogs > 1)
            return later;
        if (duringDialog)
            duringDialog();
        return answer;
    }
};

class RequestsDuringTheDialog : public SimulatedQLabJump {
protected:
    std::shared_ptr<BarDialog> dialog(std::function<void()> duringDialog) {
        auto responder = std::make_shared<BarDialog>();
        responder->duringDialog = std::move(duringDialog);
        m_sim->setDialogResponder(responder);
        return responder;
    }
    // Runs the event loop until nothing waits any more.
    void runWaitingRequests() {
        for (int i = 0; i < 1000 && (requests().waitingCount() > 0 || requests().isBusy()); ++i)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    QStringList selectedCues() const {
        return harness.sent.filter(QStringLiteral("QLAB_SELECTED: "));
    }
};

TEST_F(RequestsDuringTheDialog, ARemoteSelectionAndItsBarRequestPlayTheMusicTheyNamed) {
    // The operator asks for the overture (G1) from the window; while the dialog is open a remote
    // client selects the waltz (G2) and asks for its bar 12. Both jumps happen, each on its own
    // music: first the operator's, then the client's.
    dialog([this] {
        requests().select(RequestOrigin::remote, QStringLiteral("G2"));
        requests().jump(RequestOrigin::remote, RequestSource::remote, 12);
    });
    selectInQLab(QStringLiteral("G1"));
    qlabJump();
    // bar 17 of a score whose first bar is 9, at 2.0 s a bar: 8 bars in, 16.0 s.
    EXPECT_EQ(cueInQLab(QStringLiteral("G1"))->loadedTime, 16.0);
    EXPECT_EQ(selectedCues(), QStringList{QStringLiteral("QLAB_SELECTED: G1")});

    runWaitingRequests();
    // The waltz's memo says 120 beats a minute in 4/4 from bar 1: bar 12 starts 11 × 2.0 s in.
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 22.0);
    EXPECT_EQ(cueInQLab(QStringLiteral("G1"))->loadedTime, 16.0); // not reloaded at bar 12
    EXPECT_EQ(selectedCues(), (QStringList{QStringLiteral("QLAB_SELECTED: G1"),
                                           QStringLiteral("QLAB_SELECTED: G2")}));
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G2"));
    EXPECT_EQ(manager().lastBarTriggered(), 12);
}

TEST_F(RequestsDuringTheDialog, ASelectionWaitsBehindTheJumpButLaterRequestsAlreadyAddressIt) {
    dialog([this] {
        requests().select(RequestOrigin::remote, QStringLiteral("G2"));
        // Not yet the addressed cue: the jump in progress still runs on its own.
        EXPECT_NE(qlab().uniqueID(), QStringLiteral("G2"));
        EXPECT_EQ(requests().addressedCue(), QStringLiteral("G2"));
    });
    qlabJump();
    runWaitingRequests();
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G2"));
}

TEST_F(RequestsDuringTheDialog, AChaseDuringTheDialogFollowsItsOwnGroupFromWhenItArrived) {
    double chaseArrived = 0.0;
    dialog([&] {
        m_qlabClock->advance(3.0); // the operator takes three seconds to type
        chaseArrived = wallNow();
        commands().chase({{QStringLiteral("cueId"), QStringLiteral("G2")}});
    });
    selectInQLab(QStringLiteral("G1"));
    qlabJump();
    runWaitingRequests();

    EXPECT_EQ(selectedCues(), (QStringList{QStringLiteral("QLAB_SELECTED: G1"),
                                           QStringLiteral("QLAB_SELECTED: G2")}));
    EXPECT_EQ(manager().followedCue(), QStringLiteral("G2"));
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G2"));
    // QLab started the group 0.12 s before its chase cue reached Carvo.
    EXPECT_DOUBLE_EQ(jumpState().music.jumpStartTime, chaseArrived - 0.12);
    EXPECT_FALSE(cueInQLab(QStringLiteral("G2"))->startedAt.has_value()); // a chase starts nothing
}

TEST_F(RequestsDuringTheDialog, AFloodOfRequestsLeavesOneWaitingPerOriginAndEveryGoIsAnswered) {
    QStringList answers;
    const auto consoleStart = AppConsole::shared().logText().size();
    dialog([&] {
        requests().select(RequestOrigin::remote, QStringLiteral("G2"));
        for (qint64 bar = 20; bar < 3020; ++bar)
            requests().jump(RequestOrigin::remote, RequestSource::remote, bar);
        for (int i = 0; i < 100; ++i)
            commands().go([&](const QString& answer) { answers << answer; });
        // One remote jump, one go, one selection: nothing else waits.
        EXPECT_EQ(requests().waitingCount(), 3);
        // The replaced go commands have had their answer already.
        EXPECT_EQ(answers.size(), 99);
    });
    selectInQLab(QStringLiteral("G1"));
    qlabJump();
    runWaitingRequests();

    // The waltz jumped once, to the newest bar asked for: bar 3019, 3018 × 2.0 s in. Its memo
    // tables end at bar 1000, so it is refused as out of range; nothing older ran before it.
    EXPECT_EQ(harness.sent.count(QStringLiteral("The bar number is out of range")), 1);
    EXPECT_EQ(manager().lastBarTriggered(), 10); // the go's own dialog came last: bar 10
    EXPECT_EQ(answers, QStringList(100, QStringLiteral("Carvo!")));
    QCoreApplication::processEvents();
    const QString console = AppConsole::shared().logText().mid(consoleStart);
    EXPECT_EQ(
        console.count(QStringLiteral("A waiting request from a remote client was replaced by a "
                                     "newer one")),
        1);
    EXPECT_EQ(console.count(QStringLiteral("A waiting request from QLab's script commands was "
                                           "replaced by a newer one")),
              1);
}

TEST_F(RequestsDuringTheDialog, ClosingDropsWhatWaitsAndStillAnswersTheGoCommand) {
    QStringList answers;
    dialog([&] {
        requests().jump(RequestOrigin::remote, RequestSource::remote, 12);
        commands().go([&](const QString& answer) { answers << answer; });
        requests().close(); // a quit signal
        requests().jump(RequestOrigin::remote, RequestSource::remote, 13);
    });
    selectInQLab(QStringLiteral("G1"));
    qlabJump();
    runWaitingRequests();
    EXPECT_EQ(answers, QStringList{QStringLiteral("Carvo!")});
    EXPECT_EQ(selectedCues(), QStringList{QStringLiteral("QLAB_SELECTED: G1")});
    EXPECT_EQ(manager().lastBarTriggered(), 17);
}

} // namespace
} // namespace carvo
