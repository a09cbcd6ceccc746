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
    Answer() = default;
    Answer(QString answerStatus, QJsonValue answerData = {}, int delay = 0)
        : status(std::move(answerStatus)), data(std::move(answerData)), delayMs(delay) {}

    QString status = QStringLiteral("ok");
    QJsonValue data;
    int delayMs = 0;
    // When set, one reply per item instead (as QLab may answer a message that reaches several
    // cues).
    QJsonArray each;
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
        QByteArray out;
        for (const QJsonValue& data :
             reply->each.isEmpty() ? QJsonArray{reply->data} : reply->each) {
            QJsonObject json{{QStringLiteral("address"), QString::fromStdString(message.address)},
                             {QStringLiteral("status"), reply->status},
                             {QStringLiteral("data"), data}};
            const auto bytes =
                osc::encode({"/reply" + message.address,
                             {QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString()}});
            const auto frame = osc::slipFrame(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            out.append(reinterpret_cast<const char*>(frame.data()),
                       static_cast<qsizetype>(frame.size()));
        }
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
                               QString passcode = {},
                               QString rights = QStringLiteral("ok:view|edit|control")) {
    return [rest = std::move(rest), passcode,
            rights](const Message& message) -> std::optional<Answer> {
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
            return Answer{QStringLiteral("ok"), good ? rights : QStringLiteral("badpass")};
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
    settings.repeatMargin = 60ms;
    settings.thumpInterval = 5s;
    settings.firstRetry = 50ms;
    settings.longestRetry = 200ms;
    return settings;
}

int consoleCount(const QString& line) {
    QCoreApplication::processEvents();
    return static_cast<int>(AppConsole::shared().logText().count(line));
}

TEST(OSCClient, RepliesFindTheirRequestsInOrderPerAddressAcrossThreads) {
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

TEST(OSCClient, AReplyThatNeverComesFailsWithinTheTimeoutAndLaterOnesStillMatch) {
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

TEST(OSCClient, IdenticalMessagesAreSpacedByTheRepeatWindowOthersAreNot) {
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
    // QLab judges by arrival, so a twin waits out the window and a margin for the way there.
    for (std::size_t i = 1; i < a.size(); ++i)
        EXPECT_GE(a[i] - a[i - 1], 175ms) << "twins must not arrive within the window";
    // A's and B's questions alternate, each pair well inside the window of the other.
    EXPECT_LT(b[0] - a[0], 100ms);
}

TEST(OSCClient, APasscodeIsSentAndAWrongOneIsReportedOnceWithoutASession) {
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

TEST(OSCClient, ALostConnectionFailsWaitingRequestsAndComesBackOnItsOwn) {
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

TEST(OSCClient, ALateReplyIsDiscardedAndNeverAnswersTheNextRequestForThatAddress) {
    // The first question's reply comes 100 ms after its timeout (400 ms); the second's comes
    // soon after it is asked, but after the first's had it been written at once. Each reply carries
    // the number of the question it answers.
    std::atomic<int> asked{0};
    ScriptedQLab qlab(qlabWith([&](const Message& message) -> std::optional<Answer> {
        if (!message.address.ends_with("/new"))
            return Answer{};
        const int number = ++asked;
        return Answer{QStringLiteral("ok"), number, number == 1 ? 500 : 100};
    }));
    osc::Client client(settingsFor(qlab.port()));
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));

    EXPECT_EQ(client.request("/new", {std::string("network")}).status, Reply::Status::timeout);
    const Reply second = client.request("/new", {std::string("memo")});
    ASSERT_TRUE(second.ok()) << second.description().toStdString();
    EXPECT_EQ(second.data.toInt(), 2) << "the first question's late reply went to the second";
    // The late reply is gone for good: a third question gets its own answer too.
    const Reply third = client.request("/new", {std::string("group")});
    EXPECT_TRUE(third.ok());
    EXPECT_EQ(third.data.toInt(), 3);
}

TEST(OSCClient, ThePasscodeArgumentIsAlwaysSentAndTheConnectReplyNamesTheRights) {
    const auto connectArguments = [](const ScriptedQLab& qlab) {
        for (const auto& [message, when] : qlab.received())
            if (message.address == "/workspace/W1/connect")
                return message.arguments;
        return std::vector<Argument>{{std::string("never sent")}, {std::string("")}};
    };
    const QString refused = QStringLiteral(
        "❌ QLab's passcode for workspace \"Show\" does not allow control: use a passcode with "
        "control rights");
    {
        ScriptedQLab qlab(qlabWith([](const Message&) { return std::optional<Answer>(Answer{}); }));
        osc::Client client(settingsFor(qlab.port()));
        client.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
        EXPECT_TRUE(client.hasControl());
        EXPECT_EQ(connectArguments(qlab), std::vector<Argument>{std::string()});
    }
    for (const QString& rights :
         {QStringLiteral("ok:view"), QStringLiteral("ok:view|edit"), QStringLiteral("ok")}) {
        const int before = consoleCount(refused);
        ScriptedQLab qlab(qlabWith([](const Message&) { return std::optional<Answer>(Answer{}); },
                                   QStringLiteral("1234"), rights));
        auto settings = settingsFor(qlab.port());
        settings.passcode = QStringLiteral("1234");
        osc::Client client(settings);
        client.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000))
            << rights.toStdString();
        EXPECT_FALSE(client.hasControl()) << rights.toStdString();
        EXPECT_EQ(connectArguments(qlab), std::vector<Argument>{std::string("1234")});
        EXPECT_TRUE(QTest::qWaitFor([&] { return consoleCount(refused) - before == 1; }, 2000))
            << rights.toStdString();
    }
}

TEST(OSCClient, SeveralMissedThumpsBeforeTheConnectionIsLost) {
    std::atomic<bool> silent{false};
    ScriptedQLab qlab([&](const Message& message) -> std::optional<Answer> {
        if (silent && message.address.ends_with("/thump"))
            return std::nullopt;
        return qlabWith([](const Message&) { return std::optional<Answer>(Answer{}); })(message);
    });
    auto settings = settingsFor(qlab.port());
    settings.thumpInterval = 200ms;
    settings.missedThumps = 3;
    osc::Client client(settings);
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    const auto thumps = [&] {
        int count = 0;
        for (const auto& [message, when] : qlab.received())
            count += message.address.ends_with("/thump") ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumps() >= 3; }, 5000));

    // Two thumps go unanswered: one missed reply is no lost connection.
    silent = true;
    const int before = thumps();
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumps() >= before + 2; }, 5000));
    silent = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumps() >= before + 6; }, 5000));
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(qlab.connections(), 1);

    // Silent for good: lost, after several thumps rather than one.
    silent = true;
    const int silentFrom = thumps();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.isConnected(); }, 5000));
    EXPECT_GE(thumps() - silentFrom, 3);
}

TEST(OSCClient, ALargeReplyArrivesAndOneOverTheLimitIsSaidWithTheLimit) {
    // About what QLab answers for the cue lists of a 10,000-cue workspace.
    QJsonArray cues;
    for (int i = 0; i < 10000; ++i)
        cues.append(QJsonObject{
            {QStringLiteral("uniqueID"),
             QStringLiteral("7F1C7C45-0D6B-4A0B-9C1E-%1").arg(i, 12, 10, QLatin1Char('0'))},
            {QStringLiteral("number"), QString::number(i)},
            {QStringLiteral("name"), QStringLiteral("A cue with a name of some length %1").arg(i)},
            {QStringLiteral("listName"), QStringLiteral("A cue with a name of some length")},
            {QStringLiteral("type"), QStringLiteral("Audio")},
            {QStringLiteral("colorName"), QStringLiteral("none")},
            {QStringLiteral("flagged"), false},
            {QStringLiteral("armed"), true}});
    ScriptedQLab qlab(qlabWith([&](const Message& message) -> std::optional<Answer> {
        if (message.address.ends_with("/cueLists"))
            return Answer{QStringLiteral("ok"), cues};
        return Answer{};
    }));
    {
        auto settings = settingsFor(qlab.port());
        settings.timeout = 2000ms;
        osc::Client client(settings);
        client.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
        const Reply reply = client.request("/cueLists");
        ASSERT_TRUE(reply.ok()) << reply.description().toStdString();
        EXPECT_EQ(reply.data.toArray().size(), 10000);
    }
    auto settings = settingsFor(qlab.port());
    settings.maxPacket = 1024 * 1024;
    const QString line =
        QStringLiteral("QLab sent a message larger than Carvo's limit of 1 MiB; it was dropped");
    const int before = consoleCount(line);
    osc::Client client(settings);
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    EXPECT_EQ(client.request("/cueLists").status, Reply::Status::timeout);
    EXPECT_EQ(client.request("/cueLists").status, Reply::Status::timeout);
    EXPECT_TRUE(QTest::qWaitFor([&] { return consoleCount(line) - before == 1; }, 2000));
    EXPECT_TRUE(client.isConnected());
}

TEST(OSCClient, EveryReplyToOneMessageIsGatheredInEitherShape) {
    // One reply per selected cue, or one reply with a list of them.
    ScriptedQLab qlab(qlabWith([](const Message& message) -> std::optional<Answer> {
        if (message.address.ends_with("/cue/selected/uniqueID")) {
            Answer answer;
            answer.each = QJsonArray{QStringLiteral("A"), QStringLiteral("B")};
            return answer;
        }
        if (message.address.ends_with("/cue/selected/number"))
            return Answer{QStringLiteral("ok"),
                          QJsonArray{QStringLiteral("1"), QStringLiteral("2")}};
        return Answer{};
    }));
    osc::Client client(settingsFor(qlab.port()));
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    for (int round = 0; round < 2; ++round) {
        const auto each = client.requestEach("/cue/selected/uniqueID");
        ASSERT_EQ(each.size(), 2U);
        EXPECT_EQ(each[0].data.toString(), QStringLiteral("A"));
        EXPECT_EQ(each[1].data.toString(), QStringLiteral("B"));
        const auto list = client.requestEach("/cue/selected/number");
        ASSERT_EQ(list.size(), 1U);
        EXPECT_EQ(list[0].data.toArray().size(), 2);
    }
    // Nothing is left over for a later question.
    const Reply later = client.request("/cue/selected/uniqueID");
    EXPECT_TRUE(later.ok());
    EXPECT_EQ(later.data.toString(), QStringLiteral("A"));
}

TEST(OSCClient, QuestionsAskedTogetherAreOnTheWireTogether) {
    // Each answer comes 300 ms after its question.
    ScriptedQLab qlab(qlabWith([](const Message& message) -> std::optional<Answer> {
        return Answer{QStringLiteral("ok"), QString::fromStdString(message.address), 300};
    }));
    auto settings = settingsFor(qlab.port());
    settings.timeout = 2000ms;
    osc::Client client(settings);
    client.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.isConnected(); }, 5000));
    const auto replies = client.requestAll({{"/cue_id/A/loadAt", {2.0F}}, {"/cue_id/A/start", {}}});
    ASSERT_EQ(replies.size(), 2U);
    EXPECT_EQ(replies[0].data.toString(), QStringLiteral("/workspace/W1/cue_id/A/loadAt"));
    EXPECT_EQ(replies[1].data.toString(), QStringLiteral("/workspace/W1/cue_id/A/start"));
    // In order, and the second went out before the first was answered.
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> sent;
    for (const auto& [message, when] : qlab.received())
        if (message.address.find("/cue_id/A/") != std::string::npos)
            sent.emplace_back(message.address, when);
    ASSERT_EQ(sent.size(), 2U);
    EXPECT_EQ(sent[0].first, "/workspace/W1/cue_id/A/loadAt");
    EXPECT_EQ(sent[1].first, "/workspace/W1/cue_id/A/start");
    EXPECT_LT(sent[1].second - sent[0].second, 250ms);
}

TEST(OSCClient, AnUnreachableQLabIsSaidOnce) {
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
