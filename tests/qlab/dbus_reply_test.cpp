// The go command's D-Bus reply follows its own jump, also when the command had to wait behind a
// jump in progress. Runs under dbus-run-session: the service and a caller on one private bus.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDeadlineTimer>

#include "jump_test_support.h"
#include "qlab/dbus_service.h"

namespace carvo {
namespace {

using testing::SimulatedQLabJump;

// While QLab's bar dialog is up (the window's dialog runs the event loop), a Script cue sends
// the go command again; the operator then types the bar.
class GoCommandDuringTheDialog final : public sim::DialogResponder {
public:
    GoCommandDuringTheDialog(QDBusConnection caller, BarCounterManager& manager)
        : m_caller(std::move(caller)), m_manager(manager) {}

    std::optional<QString> respond(const sim::DialogRequest& request) override {
        if (!request.defaultAnswer)
            return QString(); // a refusal's message, dismissed with OK
        ++dialogs;
        if (dialogs > 1)
            return QStringLiteral("10"); // the queued go command's own dialog
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QString::fromLatin1(dbusServiceName), QString::fromLatin1(dbusObjectPath),
            QString::fromLatin1(dbusInterfaceName), QStringLiteral("Run"));
        watcher = std::make_unique<QDBusPendingCallWatcher>(m_caller.asyncCall(call, 10'000));
        QObject::connect(watcher.get(), &QDBusPendingCallWatcher::finished, [this] {
            replyArrived = true;
            barWhenReplied = m_manager.lastBarTriggered();
        });
        // Long enough for the call to arrive and, were it answered at once, for its reply.
        const QDeadlineTimer deadline(1000);
        while (!replyArrived && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        repliedDuringDialog = replyArrived;
        return QStringLiteral("17");
    }

    int dialogs = 0; // QLab's bar dialogs
    std::unique_ptr<QDBusPendingCallWatcher> watcher;
    bool replyArrived = false;
    bool repliedDuringDialog = false;
    qint64 barWhenReplied = 0;

private:
    QDBusConnection m_caller;
    BarCounterManager& m_manager;
};

TEST_F(SimulatedQLabJump, AGoCommandQueuedBehindAJumpRepliesAfterItsOwnJump) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    const auto service = CarvoDBusService::registerOnSessionBus(commands());
    ASSERT_TRUE(service);
    const QDBusConnection caller =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
    ASSERT_TRUE(caller.isConnected());
    auto responder = std::make_shared<GoCommandDuringTheDialog>(caller, manager());
    m_sim->setDialogResponder(responder);
    selectInQLab(QStringLiteral("G1"));

    qlabJump();
    EXPECT_EQ(manager().lastBarTriggered(), 17);
    EXPECT_FALSE(responder->repliedDuringDialog);

    const QDeadlineTimer deadline(5000);
    while (!responder->replyArrived && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(responder->replyArrived);
    EXPECT_EQ(responder->dialogs, 2);
    // The queued jump had run: it took bar 10, and G1, playing since the first jump, was refused.
    EXPECT_EQ(responder->barWhenReplied, 10);
    const QDBusPendingReply<QString> reply = *responder->watcher;
    EXPECT_EQ(reply.value(), QStringLiteral("Carvo!"));
}

} // namespace
} // namespace carvo
