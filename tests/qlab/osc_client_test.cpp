// The OSC connection to QLab against a scripted peer on loopback: replies matched to their
// requests, timeouts and lost connections as failed runs, the session's passcode, heartbeat and
// reconnection, and the spacing that keeps QLab's duplicate filter from dropping a question.

#include "qlab/osc/osc_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "base/app_console.h"

namespace carvo::testing {
namespace {

using namespace std::chrono_literals;
using osc::Argument;
using osc::Message;
using osc::Reply;

struct Answer {
    QString status = QStringLiteral("ok");
    QJsonValue data;
    int delayMs = 0;
};

// A peer that reads SLIP-framed OSC and answers each message through a handler, on a thread of
// its own so that a test may block in a request meanwhile.
class ScriptedQLab {
public:
    using Handler = std::function<std::optional<Answer>(const Message&)>;

    explicit ScriptedQLab(Handler handler) : m_handler(std::move(handler)) {
        m_context.moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_context, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }
    ~ScriptedQLab() {
        QMetaObject::invokeMethod(
            &m_context, [this] { close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    ScriptedQLab(const ScriptedQLab&) = delete;
    ScriptedQLab& operator=(const ScriptedQLab&) = delete;

    quint16 port() const { return m_port; }

    // Messages received so far, with when each arrived.
    std::vector<std::pair<Message, std::chrono::steady_clock::time_point>> received() const {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    int connections() const { return m_connections; }

    // Drops every connection, as QLab quitting does, and refuses new ones while closed.
    void dropConnections(bool keepClosed) {
        QMetaObject::invokeMethod(
            &m_context,
            [this, keepClosed] {
                for (QTcpSocket* socket : m_server->findChildren<QTcpSocket*>())
                    socket->abort();
                if (keepClosed)
                    m_server->close();
            },
            Qt::BlockingQueuedConnection);
    }
    void reopen() {
        QMetaObject::invokeMethod(
            &m_context, [this] { m_server->listen(QHostAddress::LocalHost, m_port); },
            Qt::BlockingQueuedConnection);
    }

private:
    void listen() {
        m_server = new QTcpServer(&m_context);
        m_server->listen(QHostAddress::LocalHost, 0);
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, &m_context, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                ++m_connections;
                socket->setParent(m_server);
                auto decoder = std::make_shared<osc::SlipDecoder>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, decoder] {
                    const QByteArray bytes = socket->readAll();
                    for (const auto& packet : decoder->feed(std::string_view(
                             bytes.constData(), static_cast<std::size_t>(bytes.size()))))
                        if (const auto message = osc::decode(packet))
                            answer(socket, *message);
                });
            }
        });
    }

    void answer(QTcpSocket* socket, const Message& message) {
        {
            std::lock_guard lock(m_mutex);
            m_received.emplace_back(message, std::chrono::steady_clock::now());
        }
        const auto reply = m_handler(message);
        if (!reply)
            return;
        QJsonObject json{{QStringLiteral("address"), QString::fromStdString(message.address)},
                         {QStringLiteral("status"), reply->status},
                         {QStringLiteral("data"), reply->data}};
        const auto bytes =
            osc::encode({"/reply" + message.address,
                         {QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString()}});
        const auto frame = osc::slipFrame(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        const QByteArray out(reinterpret_cast<const char*>(frame.data()),
                             static_cast<qsizetype>(frame.size()));
        QPointer<QTcpSocket> target(socket);
        QTimer::singleShot(reply->delayMs, &m_context, [target, out] {
            if (target)
                target->write(out);
        });
    }

    void close() {
        delete m_server;
        m_server = nullptr;
    }

    Handler m_handler;
    QThread m_thread;
    QObject m_context; // lives on m_thread
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::pair<Message, std::chrono::steady_clock::time_point>> m_received;
};

// A QLab with one workspace "Show" (ID W1), answering the session's messages and, for the rest,
// the test's own handler.
ScriptedQLab::Handler qlabWith(std::function<std::optional<Answer>(const Message&)> rest,
                               QString passcode = {}) {
    return [rest = std::move(rest), passcode](const Message& message) -> std::optional<Answer> {
        const std::string& address = message.address;
        if (address == "/alwaysReply")
            return Answer{};
        if (address == "/workspaces")
            return Answer{
                QStringLiteral("ok"),
                QJsonArray{QJsonObject{{QStringLiteral("uniqueID"), QStringLiteral("W1")},
                                       {QStringLiteral("displayName"), QStringLiteral("Show")},
                                       {QStringLiteral("hasPasscode"), !passcode.isEmpty()}}}};
        if (address == "/workspace/W1/connect") {
            const bool good = passcode.isEmpty() ||
                              (!message.arguments.empty() &&
                               osc::textOf(message.arguments.front()) == passcode.toStdString());
            return Answer{QStringLiteral("ok"), good ? QStringLiteral("ok:view|edit|control")
                                                     : QStringLiteral("badpass")};
        }
        if (address == "/workspace/W1/thump")
            return Answer{QStringLiteral("ok"), QStringLiteral("thump")};
        return rest(message);
    };
}

osc::ClientSettings settingsFor(quint16 port) {
    osc::ClientSettings settings;
    settings.port = port;
    settings.timeout = 400ms;
    settings.repeatWindow = 120ms;
    settings.thumpInterval = 5s;
    settings.firstRetry = 50ms;
    settings.longestRetry = 200ms;
    return settings;
}

int consoleCount(const QString& line) {
    QCoreApplication::processEvents();
    return static_cast<int>(AppConsole::shared().logText().count(line));
}

TEST(OscClient, RepliesFindTheirRequestsInOrderPerAddressAcrossThreads) {
    // isRunning answers late, actionElapsed at once: each caller still gets its own answer.
    ScriptedQLab qlab(qlabWith([](const Message& message) -> std::optional<Answer> {
        if (message.address.ends_with("/isRunning"))
            return Answer{QStringLiteral("ok"), message.address.find("/A/") != std::string::npos,
                          80};
        if (message.address.ends_with("/actionElapsed"))
            return Answer{QStringLiteral("ok"), 2.5};
        return Answer{QStringLiteral("error"), {}};
    }));
    osc::Client client(settingsFor(qlab.port()));
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    EXPECT_EQ(client.workspaceName(), QStringLiteral("Show"));

    std::optional<Reply> running;
    std::thread pool([&] { running = client.request("/cue_id/A/isRunning"); });
    const Reply elapsed = client.request("/cue_id/B/actionElapsed");
    const Reply notRunning = client.request("/cue_id/B/isRunning");
    pool.join();
    EXPECT_TRUE(elapsed.ok());
    EXPECT_EQ(elapsed.data.toDouble(), 2.5);
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->ok() && running->data.toBool());
    EXPECT_TRUE(notRunning.ok());
    EXPECT_FALSE(notRunning.data.toBool());
    EXPECT_EQ(client.request("/cue_id/B/nonsense").status, Reply::Status::error);

    // Every workspace message carried the workspace's prefix.
    for (const auto& [message, when] : qlab.received())
        if (message.address.starts_with("/cue"))
            ADD_FAILURE() << message.address;
}

TEST(OscClient, AReplyThatNeverComesFailsWithinTheTimeoutAndLaterOnesStillMatch) {
    std::atomic<bool> silent{true};
    ScriptedQLab qlab(qlabWith([&](const Message& message) -> std::optional<Answer> {
        if (message.address.ends_with("/isRunning") && silent)
            return std::nullopt;
        return Answer{QStringLiteral("ok"), true};
    }));
    osc::Client client(settingsFor(qlab.port()));
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(client.request("/cue_id/A/isRunning").status, Reply::Status::timeout);
    EXPECT_LT(timer.elapsed(), 400 + 300);
    EXPECT_GE(timer.elapsed(), 350);

    silent = false;
    const Reply later = client.request("/cue_id/A/isRunning");
    EXPECT_TRUE(later.ok());
    EXPECT_TRUE(client.isConnected()) << "one lost answer is not a lost connection";
}

TEST(OscClient, IdenticalMessagesAreSpacedByTheRepeatWindowOthersAreNot) {
    ScriptedQLab qlab(qlabWith([](const Message&) { return std::optional<Answer>(Answer{}); }));
    osc::Client client(settingsFor(qlab.port()));
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));

    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(client.request("/cue_id/A/isRunning").ok());
        EXPECT_TRUE(client.request("/cue_id/B/isRunning").ok());
    }
    std::vector<std::chrono::steady_clock::time_point> a;
    std::vector<std::chrono::steady_clock::time_point> b;
    for (const auto& [message, when] : qlab.received()) {
        if (message.address == "/workspace/W1/cue_id/A/isRunning")
            a.push_back(when);
        if (message.address == "/workspace/W1/cue_id/B/isRunning")
            b.push_back(when);
    }
    ASSERT_EQ(a.size(), 3U);
    ASSERT_EQ(b.size(), 3U);
    for (std::size_t i = 1; i < a.size(); ++i)
        EXPECT_GE(a[i] - a[i - 1], 115ms) << "twins must not arrive within the window";
    // A's and B's questions alternate, each pair well inside the window of the other.
    EXPECT_LT(b[0] - a[0], 100ms);
}

TEST(OscClient, APasscodeIsSentAndAWrongOneIsReportedOnceWithoutASession) {
    {
        ScriptedQLab qlab(qlabWith([](const Message&) { return std::optional<Answer>(Answer{}); },
                                   QStringLiteral("1234")));
        auto settings = settingsFor(qlab.port());
        settings.passcode = QStringLiteral("1234");
        osc::Client client(settings);
        client.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    }
    ScriptedQLab qlab(qlabWith([](const Message&) { return std::optional<Answer>(Answer{}); },
                               QStringLiteral("1234")));
    auto settings = settingsFor(qlab.port());
    settings.passcode = QStringLiteral("9999");
    const QString line =
        QStringLiteral("❌ QLab refused the passcode for workspace \"Show\": check the QLab "
                       "passcode setting");
    const int before = consoleCount(line);
    osc::Client client(settings);
    client.start();
    // Several attempts, one line.
    ASSERT_TRUE(QTest::qWaitFor([&] { return qlab.connections() >= 3; }, 5000));
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(consoleCount(line) - before, 1);
    EXPECT_EQ(client.request("/cue_id/A/isRunning").status, Reply::Status::noConnection);
}

TEST(OscClient, ALostConnectionFailsWaitingRequestsAndComesBackOnItsOwn) {
    ScriptedQLab qlab(qlabWith([](const Message& message) -> std::optional<Answer> {
        if (message.address.ends_with("/start"))
            return std::nullopt; // held, so the drop catches it waiting
        return Answer{};
    }));
    osc::Client client(settingsFor(qlab.port()));
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    const int lostBefore = consoleCount(QStringLiteral("QLab connection lost"));

    std::optional<Reply> waiting;
    std::thread caller([&] { waiting = client.request("/cue_id/A/start"); });
    QThread::msleep(100);
    qlab.dropConnections(true);
    caller.join();
    ASSERT_TRUE(waiting);
    EXPECT_EQ(waiting->status, Reply::Status::noConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.isConnected(); }, 5000));
    // While QLab is away, requests fail at once rather than wait.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(client.request("/cue_id/A/isRunning").status, Reply::Status::noConnection);
    EXPECT_LT(timer.elapsed(), 100);
    QThread::msleep(500); // several retries
    EXPECT_EQ(consoleCount(QStringLiteral("QLab connection lost")) - lostBefore, 1);

    qlab.reopen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    EXPECT_TRUE(client.request("/cue_id/A/isRunning").ok());
}

TEST(OscClient, AnUnreachableQLabIsSaidOnce) {
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    const QString line = QStringLiteral("QLab not reachable at 127.0.0.1:%1").arg(port);
    osc::Client client(settingsFor(port));
    client.start();
    QThread::msleep(600);
    EXPECT_EQ(consoleCount(line), 1);
    EXPECT_FALSE(client.isConnected());
    EXPECT_FALSE(client.isReachable());
}

} // namespace
} // namespace carvo::testing
