// The views over the real shared objects: a jump driven from the window against the simulated
// QLab (its bar dialog answered in the application's own dialog), the catalogue in the cue list
// window, and the server moved to another interface from the picker.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "app/shared_objects.h"
#include "app/window.h"
#include "base/app_console.h"
#include "base/diagnostics.h"
#include "base/settings.h"
#include "qlab/sim/simulated_qlab.h"
#include "remote/interfaces.h"
#include "ui/views.h"
#include "ui_test_support.h"

namespace carvo::ui::testing {
namespace {

QQuickWindow* visibleWindow(const char* objectName) {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->objectName() == QLatin1String(objectName) && window->isExposed())
            return qobject_cast<QQuickWindow*>(window);
    }
    return nullptr;
}

const sim::Cue* findCue(const std::vector<sim::Cue>& cues, const QString& uniqueID) {
    for (const sim::Cue& cue : cues) {
        if (cue.uniqueID == uniqueID)
            return &cue;
        if (const sim::Cue* inner = findCue(cue.children, uniqueID))
            return inner;
    }
    return nullptr;
}

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem;
        auto workspace =
            sim::loadWorkspaceFile(QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), &problem);
        ASSERT_TRUE(workspace) << problem.toStdString();
        qlab = std::make_shared<sim::SimulatedQLab>(std::move(*workspace));
        objects = std::make_unique<SharedObjects>(qlab, folder.settings());
        views = std::make_unique<Views>(objects->uiServices());
        qlab->setDialogResponder(std::make_shared<WindowDialogResponder>(*views));
        main = views->showMainWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    }
    void TearDown() override {
        objects->counter().stopBarCounter(false);
        qlab->setDialogResponder(std::make_shared<sim::DefaultAnswerResponder>());
        views.reset();
        objects.reset();
    }

    // Starts the server on the stored loopback and a port no test running beside this one holds
    // (one the kernel hands out); the port once it listens, 0 when it did not come up.
    quint16 startOnTheLoopback() {
        TCPServer& server = objects->server();
        folder.settings().setStoredInterfaceName(TCPServer::defaultInterfaceName());
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        server.setPort(port);
        QSignalSpy ready(&server, &TCPServer::listenerStateChanged);
        server.startServer();
        return ready.wait(3000) && server.isListening() ? port : 0;
    }

    // When QLab's bar dialog is up, the operator reads it, types bar and presses OK.
    void operatorAnswers(const QString& bar) {
        auto* poll = new QTimer(views.get());
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, bar] {
            QQuickWindow* dialog = visibleWindow("qlabDialog");
            if (!dialog)
                return;
            poll->stop();
            dialogText = find<QObject>(dialog, "qlabDialogText")->property("text").toString();
            find<QObject>(dialog, "qlabDialogField")->setProperty("text", bar);
            click(find(dialog, "qlabDialogOk"));
            poll->deleteLater();
        });
        poll->start(5);
    }

    SettingsFolder folder;
    std::shared_ptr<sim::SimulatedQLab> qlab;
    std::unique_ptr<SharedObjects> objects;
    std::unique_ptr<Views> views;
    QQuickWindow* main = nullptr;
    QString dialogText;
};

TEST_F(ApplicationTest, ClickingTheCounterRunsAJumpToTheBarTypedInQLabsDialog) {
    operatorAnswers(QStringLiteral("12"));
    click(find(main, "barCounterButton"));

    EXPECT_EQ(dialogText, QStringLiteral("Enter bar number."));
    EXPECT_EQ(objects->counter().lastBarTriggered(), 12);
    EXPECT_TRUE(objects->counter().isCounting());
    const sim::WorkspaceFile state = qlab->snapshot();
    const sim::Cue* group = findCue(state.workspaces.front().cues, "D-GROUP-OVERTURE");
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->startedAt.has_value()); // loaded at bar 12 and started
    // The counter shows the bar the music is in.
    auto* text = find<QObject>(main, "barCounterText");
    EXPECT_TRUE(waitFor([&] { return text->property("text").toString().startsWith("12."); }))
        << text->property("text").toString().toStdString();
    EXPECT_EQ(find<QObject>(main, "qlabAlert")->property("opened").toBool(), false);
}

// The window's show state over the real counter: a jump from the window runs, a stop in QLab
// (what a panic does) stops it.
TEST_F(ApplicationTest, TheShowStateFollowsAJumpFromTheWindowAndAStop) {
    ShowStateModel& show = *views->bridge().showState();
    EXPECT_EQ(show.phase(), ShowStateModel::Phase::Idle);
    operatorAnswers(QStringLiteral("12"));
    click(find(main, "barCounterButton"));
    ASSERT_TRUE(objects->counter().isCounting());
    EXPECT_EQ(show.phase(), ShowStateModel::Phase::Running);
    EXPECT_EQ(show.cueID(), QStringLiteral("D-GROUP-OVERTURE"));
    EXPECT_TRUE(waitFor([&] { return show.bar() >= 12 && show.progress() > 0; }));

    objects->stopShow(RequestOrigin::window);
    EXPECT_TRUE(waitFor([&] { return show.phase() == ShowStateModel::Phase::Stopped; }));
    EXPECT_EQ(show.bar(), 12);
    EXPECT_EQ(show.beat(), 1);
}

TEST_F(ApplicationTest, WithQLabNotRunningTheClickAlertsAndAsksNothing) {
    qlab->change([](sim::WorkspaceFile& file) { file.running = false; });
    const qint64 before = objects->counter().lastBarTriggered();
    click(find(main, "barCounterButton"));
    EXPECT_TRUE(
        waitFor([&] { return find<QObject>(main, "qlabAlert")->property("opened").toBool(); }));
    EXPECT_EQ(visibleWindow("qlabDialog"), nullptr);
    EXPECT_EQ(objects->counter().lastBarTriggered(), before);
}

// The server moved to another interface; both are loopback addresses, so the test stays on
// this machine.
TEST_F(ApplicationTest, ChoosingAnotherInterfaceRestartsTheServerThere) {
    TCPServer& server = objects->server();
    const QString other = QStringLiteral("lo-test");
    server.setInterfaceSource([other] {
        return QList<InterfaceInfo>{
            {QUuid::createUuid(), TCPServer::defaultInterfaceName(), "127.0.0.1", "Loopback"},
            {QUuid::createUuid(), other, "127.0.0.2", "Loopback"}};
    });

    QSignalSpy ready(&server, &TCPServer::listenerStateChanged);
    const quint16 port = startOnTheLoopback();
    ASSERT_NE(port, 0);

    // The same interface again: nothing stops.
    const qsizetype consoleBefore = AppConsole::shared().logText().size();
    views->bridge().setStoredInterfaceName(TCPServer::defaultInterfaceName());
    QTest::qWait(0);
    EXPECT_FALSE(AppConsole::shared().logText().mid(consoleBefore).contains("Server stopped"));

    views->bridge().setStoredInterfaceName(other);
    EXPECT_FALSE(server.isListening());
    EXPECT_TRUE(waitFor([&] {
        return AppConsole::shared().logText().mid(consoleBefore).contains("Server stopped");
    }));
    ready.clear();
    ASSERT_TRUE(ready.wait(4000));
    EXPECT_TRUE(ready.takeFirst().at(0).toBool());
    EXPECT_TRUE(server.isListening());
    EXPECT_TRUE(waitFor(
        [&] { return AppConsole::shared().logText().mid(consoleBefore).contains("127.0.0.2"); }));
    server.stopServer();
    server.setInterfaceSource(nullptr);
}

// An operator going down the menu: each pick within the second of the one before. The last
// choice wins; the server ends up listening there once, announced once.
TEST_F(ApplicationTest, PicksWithinASecondEndWithOneListenerOnTheLastChoice) {
    TCPServer& server = objects->server();
    server.setInterfaceSource([] {
        return QList<InterfaceInfo>{
            {QUuid::createUuid(), TCPServer::defaultInterfaceName(), "127.0.0.1", "Loopback"},
            {QUuid::createUuid(), "lo-a", "127.0.0.2", "Loopback"},
            {QUuid::createUuid(), "lo-b", "127.0.0.3", "Loopback"},
            {QUuid::createUuid(), "lo-c", "127.0.0.4", "Loopback"}};
    });
    const quint16 port = startOnTheLoopback();
    ASSERT_NE(port, 0);
    std::vector<std::string> lines;
    ScopedLineObserver observer([&lines](const std::string& line) { lines.push_back(line); });
    for (const char* name : {"lo-a", "lo-b", "lo-c"}) {
        views->bridge().setStoredInterfaceName(QString::fromLatin1(name));
        QTest::qWait(300);
    }
    // Long enough for every start the picks could have scheduled (the last at 1.6 s).
    QTest::qWait(1800);

    const auto count = [&lines](std::string_view prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.starts_with(prefix); });
    };
    EXPECT_EQ(count("✅ Server is ready on "), 1);
    EXPECT_EQ(count("Server state changed: failed"), 0);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "✅ Server is ready on 127.0.0.4:" + std::to_string(port)),
              lines.end());
    EXPECT_TRUE(server.isListening());
    // One attempt to announce: accepted where a DNS-SD daemon runs, one failure line elsewhere.
    EXPECT_EQ(count("Bonjour service published on port ") + count("DNS-SD registration of "), 1);

    QTcpSocket client;
    client.connectToHost(QHostAddress(QStringLiteral("127.0.0.4")), port);
    EXPECT_TRUE(client.waitForConnected(3000)) << client.errorString().toStdString();
    EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 1; }));
    server.stopServer();
    server.setInterfaceSource(nullptr);
}

} // namespace
} // namespace carvo::ui::testing
