#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include "display/display_server.h"
#include "remote/line_recorder.h"

namespace carvo::display {
namespace {

using carvo::testing::LineRecorder;

constexpr int timeoutMs = 10000;

// A browser's side of the feed: every message it has received, parsed.
class FeedClient {
public:
    explicit FeedClient(quint16 port, const QString& path = QStringLiteral("/feed")) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
    }

    bool waitForType(const QString& type, std::size_t from = 0) {
        return QTest::qWaitFor([&] { return indexOf(type, from) >= 0; }, timeoutMs);
    }
    int indexOf(const QString& type, std::size_t from = 0) const {
        for (std::size_t i = from; i < messages.size(); ++i) {
            if (messages[i].value("type").toString() == type)
                return static_cast<int>(i);
        }
        return -1;
    }
    QJsonObject last(const QString& type) const {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->value("type").toString() == type)
                return *it;
        }
        return {};
    }
    void send(const QJsonObject& object) {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(object).toJson()));
    }

    QWebSocket socket;
    std::vector<QJsonObject> messages;
    bool closed = false;
};

// The status line and body of one HTTP request, sent raw so any path can be asked for.
struct HTTPAnswer {
    QByteArray statusLine;
    QByteArray head;
    QByteArray body;
};
HTTPAnswer request(quint16 port, const QByteArray& method, const QByteArray& path) {
    // Through the event loop: the server answers in this thread.
    QTcpSocket socket;
    QByteArray all;
    bool done = false;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { all += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { done = true; });
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const auto complete = [&] {
        const qsizetype end = all.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray head = all.left(end).toLower();
        const qsizetype lengthAt = head.indexOf("content-length: ");
        const qsizetype length =
            lengthAt < 0 ? 0 : head.mid(lengthAt + 16).split('\r').front().toLongLong();
        return method == "HEAD" || all.size() >= end + 4 + length;
    };
    (void)QTest::qWaitFor([&] { return done || complete(); }, timeoutMs);
    HTTPAnswer answer;
    const qsizetype end = all.indexOf("\r\n\r\n");
    answer.statusLine = all.left(all.indexOf("\r\n"));
    answer.head = all.left(end);
    answer.body = end < 0 ? QByteArray() : all.mid(end + 4);
    return answer;
}

State running(std::int64_t bar, std::int64_t beat) {
    State state;
    state.cueID = QStringLiteral("GRP-1");
    state.cueName = QStringLiteral("Overture");
    state.bar = bar;
    state.beat = beat;
    state.progress = static_cast<double>(beat - 1) / 4.0;
    state.phase = Phase::running;
    state.barLengthMs = 2000.0;
    return state;
}

class DisplayServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        port = server.port();
        ASSERT_NE(port, 0);
        server.setControl(
            {[this] { return cues; },
             [this](const QString& cueID, qint64 bar) { jumps.emplace_back(cueID, bar); },
             [this] { ++stops; }});
    }

    std::unique_ptr<FeedClient> connected() {
        auto client = std::make_unique<FeedClient>(port);
        EXPECT_TRUE(client->waitForType(QStringLiteral("state"))) << "the snapshot comes first";
        return client;
    }

    LineRecorder lines;
    DisplayServer server;
    quint16 port = 0;
    QList<Cue> cues{{QStringLiteral("GRP-1"), QStringLiteral("Overture")},
                    {QStringLiteral("GRP-2"), QStringLiteral("Waltz")}};
    std::vector<std::pair<QString, qint64>> jumps;
    int stops = 0;
};

TEST_F(DisplayServerTest, ServesOnlyItsCompiledInFiles) {
    const HTTPAnswer page = request(port, "GET", "/");
    EXPECT_EQ(page.statusLine, "HTTP/1.1 200 OK");
    EXPECT_TRUE(page.head.toLower().contains("content-type: text/html"));
    EXPECT_TRUE(page.body.contains("/display.js"));
    for (const char* path : {"/control", "/display.js", "/display.css", "/control.js", "/feed.js"})
        EXPECT_EQ(request(port, "GET", path).statusLine, "HTTP/1.1 200 OK") << path;
    EXPECT_TRUE(request(port, "GET", "/display.js").head.toLower().contains("text/javascript"));

    // Nothing outside the table, however the path is written.
    for (const char* path : {"/index.html", "/../CMakeLists.txt", "/%2e%2e/%2e%2e/etc/passwd",
                             "/..%2f..%2fetc%2fpasswd", "//etc/passwd", "/display.js/..",
                             "/web/display.js", "/:/carvo/display/index.html", "/feed"}) {
        const HTTPAnswer answer = request(port, "GET", path);
        EXPECT_EQ(answer.statusLine, "HTTP/1.1 404 Not Found") << path;
        EXPECT_FALSE(answer.body.contains("<html")) << path;
    }
    EXPECT_EQ(request(port, "POST", "/").statusLine, "HTTP/1.1 405 Method Not Allowed");
}

TEST_F(DisplayServerTest, ClientsHearTheStateFirstThenEveryChangeAndMessage) {
    server.publish(running(17, 1));
    auto early = connected();
    EXPECT_EQ(early->messages.front().value("bar").toInteger(), 17);
    EXPECT_EQ(early->messages.front().value("phase").toString(), "running");
    auto late = connected();

    server.publish(running(17, 2));
    server.showMessage(QStringLiteral("The bar number is out of range"));
    State stopped = running(17, 1);
    stopped.phase = Phase::stopped;
    server.publish(stopped);
    for (FeedClient* client : {early.get(), late.get()}) {
        ASSERT_TRUE(client->waitForType(QStringLiteral("stop")));
        const int tick = client->indexOf(QStringLiteral("tick"));
        const int message = client->indexOf(QStringLiteral("message"));
        const int stop = client->indexOf(QStringLiteral("stop"));
        ASSERT_GE(tick, 1);
        EXPECT_EQ(client->messages[static_cast<std::size_t>(tick)].value("beat").toInteger(), 2);
        EXPECT_LT(tick, message);
        EXPECT_LT(message, stop);
        EXPECT_EQ(client->last(QStringLiteral("message")).value("text").toString(),
                  "The bar number is out of range");
    }
}

TEST_F(DisplayServerTest, TheFeedIsOnlyAtItsPath) {
    FeedClient elsewhere(port, QStringLiteral("/other"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return elsewhere.closed; }, timeoutMs));
    EXPECT_TRUE(elsewhere.messages.empty());
    EXPECT_EQ(server.clientCount(), 0);
}

TEST_F(DisplayServerTest, AtMostTwoHundredClients) {
    std::vector<std::unique_ptr<FeedClient>> clients;
    for (int i = 0; i < DisplayServer::maxClients; ++i)
        clients.push_back(std::make_unique<FeedClient>(port));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.clientCount() == DisplayServer::maxClients; },
                                4 * timeoutMs));
    FeedClient extra(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return extra.closed; }, timeoutMs));
    EXPECT_TRUE(extra.messages.empty()) << "the one too many hears nothing";
    EXPECT_EQ(server.clientCount(), DisplayServer::maxClients);

    // A place that comes free is taken again.
    clients.front()->socket.close();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.clientCount() == DisplayServer::maxClients - 1; }, timeoutMs));
    FeedClient next(port);
    EXPECT_TRUE(next.waitForType(QStringLiteral("state")));
}

TEST_F(DisplayServerTest, ABrowserThatStopsReadingIsDropped) {
    // A client that upgrades by hand and then never reads.
    QTcpSocket silent;
    silent.setReadBufferSize(1);
    silent.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(silent.waitForConnected(timeoutMs));
    silent.write("GET /feed HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                 "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "Sec-WebSocket-Version: 13\r\n\r\n");
    silent.flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.clientCount() == 1; }, timeoutMs));
    auto reader = connected();
    ASSERT_EQ(server.clientCount(), 2);

    // 64 KiB messages until the silent one is dropped; the system's buffers take a few MiB.
    const QString big(64 * 1024, QLatin1Char('x'));
    for (int i = 0; i < 400 && server.clientCount() == 2; ++i) {
        server.showMessage(big);
        QTest::qWait(1);
    }
    EXPECT_EQ(server.clientCount(), 1);
    EXPECT_FALSE(reader->closed) << "a client that reads stays";
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines.has(QStringLiteral("Stage display client")); },
                                timeoutMs));
}

TEST_F(DisplayServerTest, WithoutAPINThereIsNoControl) {
    auto client = connected();
    client->send({{"type", "pin"}, {"pin", ""}});
    ASSERT_TRUE(client->waitForType(QStringLiteral("control")));
    EXPECT_FALSE(client->last(QStringLiteral("control")).value("allowed").toBool());
    EXPECT_EQ(client->last(QStringLiteral("control")).value("reason").toString(), "off");
    client->send({{"type", "go"}, {"cueID", "GRP-1"}, {"bar", 17}});
    client->send({{"type", "stop"}});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::count_if(client->messages.begin(), client->messages.end(), [](auto& m) {
                       return m.value("type").toString() == "control";
                   }) == 3;
        },
        timeoutMs));
    EXPECT_TRUE(jumps.empty());
    EXPECT_EQ(stops, 0);
}

TEST_F(DisplayServerTest, ControlNeedsTheRightPINAndThenGoesThrough) {
    server.setPIN(QStringLiteral("4711"));
    auto client = connected();
    client->send({{"type", "go"}, {"cueID", "GRP-1"}, {"bar", 17}});
    ASSERT_TRUE(client->waitForType(QStringLiteral("control")));
    EXPECT_EQ(client->last(QStringLiteral("control")).value("reason").toString(), "pin");

    const std::size_t before = client->messages.size();
    client->send({{"type", "pin"}, {"pin", "1234"}});
    ASSERT_TRUE(client->waitForType(QStringLiteral("control"), before));
    EXPECT_EQ(client->last(QStringLiteral("control")).value("reason").toString(), "wrong");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return lines.has(QStringLiteral("❌ Wrong PIN for the stage display")); }, timeoutMs));

    const std::size_t unlocked = client->messages.size();
    client->send({{"type", "pin"}, {"pin", "4711"}});
    ASSERT_TRUE(client->waitForType(QStringLiteral("control"), unlocked));
    const QJsonObject allowed = client->last(QStringLiteral("control"));
    EXPECT_TRUE(allowed.value("allowed").toBool());
    EXPECT_EQ(allowed.value("cues").toArray().size(), 2);
    EXPECT_EQ(allowed.value("cues").toArray().at(1).toObject().value("name").toString(), "Waltz");

    client->send({{"type", "go"}, {"cueID", "GRP-2"}, {"bar", 12}});
    client->send({{"type", "stop"}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return stops == 1; }, timeoutMs));
    ASSERT_EQ(jumps.size(), 1U);
    EXPECT_EQ(jumps.front().first, "GRP-2");
    EXPECT_EQ(jumps.front().second, 12);

    // Another browser has not given the PIN.
    auto other = connected();
    other->send({{"type", "stop"}});
    ASSERT_TRUE(other->waitForType(QStringLiteral("control")));
    EXPECT_EQ(stops, 1);
}

TEST_F(DisplayServerTest, WrongPINsAreLimitedPerAddress) {
    server.setPIN(QStringLiteral("4711"));
    auto client = connected();
    for (int i = 0; i < PINGuard::maxWrongPerWindow; ++i)
        client->send({{"type", "pin"}, {"pin", QString::number(i)}});
    // Even the right PIN is refused once the address is locked.
    client->send({{"type", "pin"}, {"pin", "4711"}});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::count_if(client->messages.begin(), client->messages.end(), [](auto& m) {
                       return m.value("type").toString() == "control";
                   }) == PINGuard::maxWrongPerWindow + 1;
        },
        timeoutMs));
    EXPECT_EQ(client->last(QStringLiteral("control")).value("reason").toString(), "limited");
    EXPECT_FALSE(client->last(QStringLiteral("control")).value("allowed").toBool());
    EXPECT_EQ(lines.count(QStringLiteral("❌ Wrong PIN")), PINGuard::maxWrongPerWindow);
    EXPECT_EQ(lines.count(QStringLiteral("🚫 ")), 1);
}

TEST_F(DisplayServerTest, BadInputIsIgnoredWithOneLinePerClient) {
    server.setPIN(QStringLiteral("4711"));
    auto first = connected();
    auto second = connected();
    for (FeedClient* client : {first.get(), second.get()}) {
        client->socket.sendTextMessage(QStringLiteral("not json"));
        client->socket.sendTextMessage(QStringLiteral("{\"type\":\"reboot\"}"));
        client->socket.sendTextMessage(QStringLiteral("[1,2,3]"));
        client->socket.sendBinaryMessage(QByteArray("\x00\xff", 2));
        client->send({{"type", "pin"}, {"pin", "4711"}});
        client->send({{"type", "go"}, {"cueID", "GRP-1"}, {"bar", "seventeen"}});
        client->send({{"type", "go"}, {"cueID", "GRP-1"}, {"bar", 1.5}});
        client->send({{"type", "go"}, {"bar", 3}});
    }
    ASSERT_TRUE(first->waitForType(QStringLiteral("control")));
    ASSERT_TRUE(second->waitForType(QStringLiteral("control")));
    // Both still connected and served.
    server.publish(running(20, 1));
    EXPECT_TRUE(first->waitForType(QStringLiteral("jump")));
    EXPECT_TRUE(second->waitForType(QStringLiteral("jump")));
    EXPECT_EQ(lines.count(QStringLiteral("Stage display client ")), 2);
    EXPECT_TRUE(jumps.empty());
}

TEST_F(DisplayServerTest, StoppingClosesEveryClientAndTheListener) {
    auto client = connected();
    QSignalSpy listening(&server, &DisplayServer::listeningChanged);
    server.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return client->closed; }, timeoutMs));
    EXPECT_FALSE(server.isListening());
    EXPECT_TRUE(server.url().isEmpty());
    EXPECT_EQ(listening.count(), 1);
}

} // namespace
} // namespace carvo::display
