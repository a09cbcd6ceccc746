// The Apple-event receiver: what the Objective-C command classes hand over reaches the one
// ScriptingCommands entry, with the go command's answer after its own jump.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "jump_test_support.h"
#include "platform/macos/apple_event_receiver.h"

namespace carvo {
namespace {

using macos::ChaseCueId;
using testing::SimulatedQLabJump;

TEST(ChaseArguments, OnlyTextDeliveredByCocoaIsACueID) {
    EXPECT_EQ(macos::chaseArguments({ChaseCueId::Kind::text, "G1 ünï"}),
              (QVariantMap{{QStringLiteral("cueId"), QStringLiteral("G1 ünï")}}));
    EXPECT_TRUE(macos::chaseArguments({ChaseCueId::Kind::absent, {}}).isEmpty());
    // A number, a list or a null under "cueId" must not pass as text.
    const QVariantMap other = macos::chaseArguments({ChaseCueId::Kind::other, "ignored"});
    ASSERT_TRUE(other.contains(QStringLiteral("cueId")));
    EXPECT_NE(other.value(QStringLiteral("cueId")).typeId(), QMetaType::QString);
}

using AppleEventCommands = SimulatedQLabJump;

TEST_F(AppleEventCommands, RunCarvoJumpsAndAnswersCarvo) {
    const macos::AppleEventReceiver receiver(commands());
    selectInQLab(QStringLiteral("G2"));
    answerBarDialogWith(QStringLiteral("3"));
    std::optional<std::string> answer;
    macos::deliverGo([&answer](const std::string& text) { answer = text; });
    EXPECT_EQ(answer, "Carvo!");
    EXPECT_EQ(manager().lastBarTriggered(), 3);
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 4.0);
}

TEST_F(AppleEventCommands, ChaseCarvoFollowsTheGroupAndRefusesAMissingCueID) {
    const macos::AppleEventReceiver receiver(commands());
    macos::deliverChase({ChaseCueId::Kind::other, {}});
    EXPECT_TRUE(wroteLine("❌ No cue ID passed from AppleScript"));
    EXPECT_FALSE(manager().isCounting());

    macos::deliverChase({ChaseCueId::Kind::text, "G1"});
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G1"));
    EXPECT_TRUE(manager().isCounting());
    EXPECT_EQ(manager().lastBarTriggered(), 9); // the score's first bar
}

TEST_F(AppleEventCommands, WithoutAReceiverRunCarvoStillAnswersAndNothingJumps) {
    { const macos::AppleEventReceiver gone(commands()); }
    std::optional<std::string> answer;
    macos::deliverGo([&answer](const std::string& text) { answer = text; });
    macos::deliverChase({ChaseCueId::Kind::text, "G1"});
    EXPECT_EQ(answer, "Carvo!");
    EXPECT_EQ(m_runner->count(QStringLiteral("tell")), 0); // QLab was never asked
    EXPECT_FALSE(manager().isCounting());
}

// While QLab's bar dialog is up, a second "run Carvo" arrives (Apple events are delivered while
// the first script waits for QLab). Its answer must wait for its own jump, which the command
// class covers by suspending the command.
class GoDuringTheDialog final : public sim::DialogResponder {
public:
    explicit GoDuringTheDialog(BarCounterManager& manager) : m_manager(manager) {}

    std::optional<QString> respond(const sim::DialogRequest& request) override {
        if (!request.defaultAnswer)
            return QString(); // a refusal's message, dismissed with OK
        ++m_dialogs;
        if (m_dialogs > 1)
            return QStringLiteral("10"); // the queued command's own dialog
        macos::deliverGo([this](const std::string& text) {
            m_answer = text;
            m_barWhenAnswered = m_manager.lastBarTriggered();
        });
        m_answeredDuringDialog = m_answer.has_value();
        return QStringLiteral("17");
    }

    int m_dialogs = 0;
    std::optional<std::string> m_answer;
    bool m_answeredDuringDialog = false;
    qint64 m_barWhenAnswered = 0;

private:
    BarCounterManager& m_manager;
};

TEST_F(AppleEventCommands, ARunCarvoQueuedBehindAJumpAnswersAfterItsOwnJump) {
    const macos::AppleEventReceiver receiver(commands());
    auto responder = std::make_shared<GoDuringTheDialog>(manager());
    m_sim->setDialogResponder(responder);
    selectInQLab(QStringLiteral("G1"));

    std::optional<std::string> first;
    macos::deliverGo([&first](const std::string& text) { first = text; });
    EXPECT_EQ(first, "Carvo!");
    EXPECT_EQ(manager().lastBarTriggered(), 17);
    EXPECT_FALSE(responder->m_answeredDuringDialog);
    EXPECT_FALSE(responder->m_answer.has_value());

    const QDeadlineTimer deadline(5000);
    while (!responder->m_answer && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(responder->m_answer, "Carvo!");
    EXPECT_EQ(responder->m_dialogs, 2);
    EXPECT_EQ(responder->m_barWhenAnswered, 10); // its own dialog's bar
}

} // namespace
} // namespace carvo
