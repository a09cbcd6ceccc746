#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "base/app_console.h"
#include "base/settings.h"
#include "line_recorder.h"
#include "remote/tcp_server.h"

namespace carvo {
namespace {

using testing::freeLoopbackPort;
using testing::LineRecorder;

constexpr int timeoutMs = 5000;

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsFolder.isValid());
        port = freeLoopbackPort();
        ASSERT_NE(port, 0);
        server = std::make_unique<TCPServer>(settings);
        server->setPort(port);
    }

    void TearDown() override {
        clients.clear();
        server.reset();
    }

    QString portText() const { return QString::number(port); }

    // Starts the server and waits for the listener's state line.
    void startAndWaitForState() {
        server->startServer();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return lines.has(text("Server state changed: ")); }, timeoutMs));
    }

    void startAndWaitForReady() {
        startAndWaitForState();
        ASSERT_TRUE(server->isListening()) << lines.lines().back().toStdString();
    }

    // A client that the server has accepted and made ready.
    QTcpSocket& connectClient(const QHostAddress& address = QHostAddress::LocalHost) {
        const int readyBefore = lines.count(text("Connection ready: "));
        auto& client = *clients.emplace_back(std::make_unique<QTcpSocket>());
        client.connectToHost(address, port);
        EXPECT_TRUE(client.waitForConnected(timeoutMs));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return lines.count(text("Connection ready: ")) > readyBefore; }, timeoutMs));
        return client;
    }

    // Reads from client until it has received exactly `expected` bytes (or more, or times out).
    static QByteArray receiveAll(QTcpSocket& client, qsizetype expected) {
        QByteArray received;
        (void)QTest::qWaitFor(
            [&] {
                received += client.readAll();
                return received.size() >= expected;
            },
            timeoutMs);
        return received;
    }

    QTemporaryDir settingsFolder;
    Settings settings{settingsFolder.path()};
    LineRecorder lines;
    quint16 port = 0;
    std::unique_ptr<TCPServer> server;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};

// ---- start, interface choice, listener states ---------------------------------------------

class ServerStart : public ServerTest {};

TEST_F(ServerStart, ReportsStartReadinessAndAnnouncementInThatOrder) {
    const qsizetype consoleBefore = AppConsole::shared().logText().size();
    startAndWaitForReady();

    const int started = lines.find(text("🚀 Server started on port ") + portText());
    const int state = lines.find(text("Server state changed: ready"));
    const int ready = lines.find(text("✅ Server is ready on 127.0.0.1:") + portText());
    ASSERT_GE(started, 0);
    EXPECT_GT(state, started);
    EXPECT_GT(ready, state);

    const int published = lines.find(text("Bonjour service published on port ") + portText());
    if (published < 0) {
        // Without a DNS-SD daemon the server runs unannounced and says why, once.
        EXPECT_EQ(lines.count(text("DNS-SD registration")), 1);
        EXPECT_FALSE(server->isAnnounced());
    } else {
        EXPECT_GT(published, ready);
        EXPECT_TRUE(server->isAnnounced());
    }

    // The operator's console has the same lines in the same order; the state line is not one.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return AppConsole::shared().logText().contains(text("✅ Server is ready")); },
        timeoutMs));
    const QString console = AppConsole::shared().logText().mid(consoleBefore);
    const auto consoleStarted = console.indexOf(text("🚀 Server started on port ") + portText());
    const auto consoleReady = console.indexOf(text("✅ Server is ready on 127.0.0.1:") + portText());
    EXPECT_GE(consoleStarted, 0);
    EXPECT_GT(consoleReady, consoleStarted);
    EXPECT_FALSE(console.contains(text("Server state changed")));
}

TEST_F(ServerStart, UsesTheDefaultPortWhenNoneIsChosen) {
    if (!QTcpServer().listen(QHostAddress::LocalHost, TCPServer::defaultPort))
        GTEST_SKIP() << "port 54321 is in use on this machine (a running Carvo?)";
    server = std::make_unique<TCPServer>(settings);
    EXPECT_EQ(server->port(), 54321);
    startAndWaitForState();
    if (!server->isListening())
        GTEST_SKIP() << "port 54321 was taken meanwhile: " << lines.lines().back().toStdString();
    EXPECT_TRUE(lines.has(text("🚀 Server started on port 54321")));
    EXPECT_TRUE(lines.has(text("✅ Server is ready on 127.0.0.1:54321")));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, 54321);
    EXPECT_TRUE(client.waitForConnected(timeoutMs));
}

TEST_F(ServerStart, PublishesTheInterfacesItChoseFrom) {
    QSignalSpy changed(server.get(), &TCPServer::interfacesChanged);
    startAndWaitForReady();
    EXPECT_EQ(changed.count(), 1);
    const QVariantList published = server->interfaces();
    const QList<InterfaceInfo> chosenFrom = server->interfaceList();
    ASSERT_EQ(published.size(), chosenFrom.size());
    ASSERT_FALSE(published.isEmpty());
    for (qsizetype i = 0; i < published.size(); ++i) {
        const QVariantMap entry = published[i].toMap();
        const InterfaceInfo& info = chosenFrom[i];
        EXPECT_EQ(entry.value(text("id")).toString(), info.id.toString(QUuid::WithoutBraces));
        EXPECT_EQ(entry.value(text("name")).toString(), info.name);
        EXPECT_EQ(entry.value(text("ipAddress")).toString(), info.ipAddress);
        EXPECT_EQ(entry.value(text("type")).toString(), info.type);
    }
}

class InterfaceChoice : public ServerTest {
protected:
    void offer(QList<InterfaceInfo> interfaces) {
        server->setInterfaceSource([interfaces] { return interfaces; });
    }
    static InterfaceInfo entry(const char* name, const char* ip) {
        return {QUuid::createUuid(), text(name), text(ip), interfaceType(text(name))};
    }
};

TEST_F(InterfaceChoice, BindsTheStoredInterfaceByExactName) {
    offer({entry("lo1", "127.0.0.2"), entry("eth0", "127.0.0.3"), entry("eth", "127.0.0.4")});
    settings.setStoredInterfaceName(text("eth"));
    startAndWaitForReady();
    EXPECT_TRUE(lines.has(text("✅ Server is ready on 127.0.0.4:") + portText()));
    connectClient(QHostAddress(text("127.0.0.4")));
}

TEST_F(InterfaceChoice, BindsTheFirstAddressOfAnInterfaceWithTwo) {
    offer({entry("lo", "127.0.0.5"), entry("lo", "127.0.0.1")});
    startAndWaitForReady();
    EXPECT_TRUE(lines.has(text("✅ Server is ready on 127.0.0.5:") + portText()));
    // Bound to that one address: the other loopback address is refused.
    QTcpSocket other;
    other.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(other.waitForConnected(timeoutMs));
}

TEST_F(InterfaceChoice, FallsBackToLo1WhenTheStoredInterfaceIsGone) {
    offer({entry("lo", "127.0.0.1"), entry("lo1", "127.0.0.2")});
    settings.setStoredInterfaceName(text("en7"));
    startAndWaitForReady();
    EXPECT_TRUE(lines.has(text("✅ Server is ready on 127.0.0.2:") + portText()));
}

TEST_F(InterfaceChoice, ReportsNoSuitableInterfaceAndStartsNothing) {
    offer({entry("lo", "127.0.0.1"), entry("eth0", "192.0.2.9")});
    settings.setStoredInterfaceName(text("en7"));
    QSignalSpy changed(server.get(), &TCPServer::interfacesChanged);
    server->startServer();
    EXPECT_TRUE(lines.has(text("❌ No suitable interface found.")));
    EXPECT_EQ(changed.count(), 1); // the list is replaced all the same
    EXPECT_EQ(server->interfaceList().size(), 2);

    // Started after it, a second server's listener comes up only after any start the first
    // could have scheduled; the first must still have none.
    settings.remove(Settings::storedInterfaceNameKey);
    TCPServer witness(settings);
    witness.setPort(freeLoopbackPort());
    witness.startServer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return witness.isListening(); }, timeoutMs));
    EXPECT_FALSE(server->isListening());
    EXPECT_FALSE(lines.has(text("🚀 Server started on port ") + portText()));
}

TEST_F(InterfaceChoice, AnUnusableAddressFailsToStart) {
    offer({entry("lo", "not-an-address")});
    server->startServer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines.has(text("❌ Failed to start TCP server: ")); },
                                timeoutMs));
    EXPECT_FALSE(lines.has(text("🚀 Server started")));
    EXPECT_FALSE(server->isListening());
}

TEST_F(ServerStart, ATakenPortGivesTheFailedStateAndNoAnnouncement) {
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port));
    QSignalSpy states(server.get(), &TCPServer::listenerStateChanged);
    startAndWaitForState();

    const int started = lines.find(text("🚀 Server started on port ") + portText());
    const int failed = lines.find(text("Server state changed: failed("));
    ASSERT_GE(started, 0);
    EXPECT_GT(failed, started);
    EXPECT_TRUE(lines.lines()[static_cast<size_t>(failed)].endsWith(QLatin1Char(')')));
    EXPECT_FALSE(lines.has(text("✅ Server is ready")));
    EXPECT_FALSE(lines.has(text("Bonjour service published")));
    EXPECT_FALSE(server->isAnnounced());
    ASSERT_EQ(states.count(), 1);
    EXPECT_FALSE(states[0][0].toBool());
}

TEST_F(ServerStart, AStopBeforeTheListenerOpensCancelsTheStart) {
    server->startServer();
    server->stopServer();
    TCPServer witness(settings); // its listener opens after the cancelled one would have
    witness.setPort(freeLoopbackPort());
    witness.startServer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return witness.isListening(); }, timeoutMs));
    EXPECT_FALSE(server->isListening());
    EXPECT_FALSE(lines.has(text("🚀 Server started on port ") + portText()));
}

TEST_F(ServerStart, ASecondStartOnTheSameAddressReplacesTheListenerAndItsAnnouncement) {
    startAndWaitForReady();
    const int before = lines.size();
    QSignalSpy states(server.get(), &TCPServer::listenerStateChanged);
    server->startServer(); // no stop first: the old listener must give up the address
    ASSERT_TRUE(states.wait(timeoutMs));
    EXPECT_TRUE(states[0][0].toBool());
    EXPECT_TRUE(server->isListening());
    EXPECT_LT(lines.find(text("Server state changed: failed(")), 0);
    EXPECT_GE(lines.find(text("✅ Server is ready on 127.0.0.1:") + portText(), before), 0);
    connectClient();
    EXPECT_EQ(server->connectionCount(), 1);
}

// ---- connections and broadcast -------------------------------------------------------------

class Connections : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        startAndWaitForReady();
    }
};

TEST_F(Connections, TwoClientsReceiveEveryBroadcastInAcceptanceOrder) {
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    ASSERT_EQ(server->connectionCount(), 2);
    const auto listed = server->connections();
    EXPECT_EQ(listed[0]->peerPort(), first.localPort());
    EXPECT_EQ(listed[1]->peerPort(), second.localPort());
    EXPECT_TRUE(lines.has(text("📥 New client connection from: 127.0.0.1:") +
                          QString::number(first.localPort())));
    EXPECT_TRUE(
        lines.has(text("Connection ready: 127.0.0.1:") + QString::number(second.localPort())));

    // UTF-8, no terminator: the stream is the concatenation of the messages.
    QByteArray expected;
    for (int i = 0; i < 40; ++i) {
        const QString message = i % 2 ? text("BAR: %1.1 0.25").arg(i) : text("Grüße ✓ %1").arg(i);
        server->broadcast(message);
        expected += message.toUtf8();
    }
    EXPECT_EQ(receiveAll(first, expected.size()), expected);
    EXPECT_EQ(receiveAll(second, expected.size()), expected);
}

TEST_F(Connections, AClientThatClosesLeavesTheListAndTheOthersStay) {
    QTcpSocket& leaving = connectClient();
    QTcpSocket& staying = connectClient();
    QSignalSpy counted(server.get(), &TCPServer::connectionCountChanged);
    leaving.disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 1; }, timeoutMs));
    EXPECT_EQ(lines.count(text("Connection closed or error occurred")), 1);
    EXPECT_FALSE(lines.has(text("Connection failed: ")));
    EXPECT_EQ(counted.count(), 1);
    EXPECT_EQ(server->connections()[0]->peerPort(), staying.localPort());

    server->broadcast(text("STILL HERE"));
    EXPECT_EQ(receiveAll(staying, 10), QByteArray("STILL HERE"));
    EXPECT_FALSE(lines.has(text("Send failed: ")));
}

TEST_F(Connections, BytesThatArriveWithTheCloseAreHandledBeforeTheDrop) {
    std::vector<std::pair<QByteArray, int>> handled; // message, connections listed at the time
    server->setMessageHandler([&](ClientConnection&, const QByteArray& bytes) {
        handled.emplace_back(bytes, server->connectionCount());
    });
    QTcpSocket& client = connectClient();
    client.write("REQUEST CUES");
    client.disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 0; }, timeoutMs));
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].first, QByteArray("REQUEST CUES"));
    EXPECT_EQ(handled[0].second, 1);
    EXPECT_EQ(lines.count(text("Connection closed or error occurred")), 1);
}

TEST_F(Connections, EachReadIsOneMessageOfAtMost4096Bytes) {
    QByteArray received;
    std::vector<qsizetype> sizes;
    server->setMessageHandler([&](ClientConnection&, const QByteArray& bytes) {
        sizes.push_back(bytes.size());
        received += bytes;
    });
    QTcpSocket& client = connectClient();
    QByteArray sent;
    for (int i = 0; i < 5000; ++i)
        sent += static_cast<char>('a' + i % 26);
    client.write(sent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= sent.size(); }, timeoutMs));
    EXPECT_EQ(received, sent);
    EXPECT_GE(sizes.size(), 2u);
    for (const auto size : sizes)
        EXPECT_LE(size, 4096);

    // Far more than the server reads ahead of its handler: all of it arrives, in order.
    received.clear();
    sizes.clear();
    QByteArray flood;
    for (int i = 0; i < 300'000; ++i)
        flood += static_cast<char>('0' + i % 10);
    client.write(flood);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= flood.size(); }, timeoutMs));
    EXPECT_EQ(received, flood);
    EXPECT_GE(sizes.size(), static_cast<size_t>(flood.size() / 4096));
}

TEST_F(Connections, OnlyOneReceiveIsOutstandingWhileTheHandlerRuns) {
    QTcpSocket& client = connectClient();
    int depth = 0;
    int deepest = 0;
    QByteArrayList messages;
    server->setMessageHandler([&](ClientConnection&, const QByteArray& bytes) {
        deepest = std::max(deepest, ++depth);
        messages.append(bytes);
        if (messages.size() == 1) {
            // Like a QLab dialog: the handler spins an event loop while more bytes arrive.
            client.write("second");
            client.flush();
            QTest::qWait(100);
        }
        --depth;
    });
    client.write("first");
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages.size() == 2; }, timeoutMs));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(messages[0], QByteArray("first"));
    EXPECT_EQ(messages[1], QByteArray("second"));
}

TEST_F(Connections, WithoutAHandlerMessagesAreIgnoredAndBroadcastsStillArrive) {
    QTcpSocket& client = connectClient();
    client.write("HANDSHAKE_REQUEST");
    client.flush();
    server->broadcast(text("BPB: 4"));
    EXPECT_EQ(receiveAll(client, 6), QByteArray("BPB: 4"));
    EXPECT_EQ(server->connectionCount(), 1);
}

TEST_F(Connections, SendReachesTheOneConnectionOnly) {
    server->setMessageHandler([&](ClientConnection& connection, const QByteArray& bytes) {
        server->send(connection, text("ECHO ") + QString::fromUtf8(bytes));
    });
    QTcpSocket& asking = connectClient();
    QTcpSocket& other = connectClient();
    asking.write("hi");
    EXPECT_EQ(receiveAll(asking, 7), QByteArray("ECHO hi"));
    // Anything sent to the other before this broadcast would come first on its stream.
    server->broadcast(text("ALL"));
    EXPECT_EQ(receiveAll(other, 3), QByteArray("ALL"));
}

TEST_F(Connections, TheServerIsTheSendToAllTheOthersAreHanded) {
    QTcpSocket& client = connectClient();
    // What the QLab bridge, the jump controller and the bar counter are given at start-up.
    Broadcaster& broadcaster = *server;
    broadcaster.broadcast(text("QLAB_SELECTED: 1A2B"));
    EXPECT_EQ(receiveAll(client, 19), QByteArray("QLAB_SELECTED: 1A2B"));
}

TEST_F(Connections, AfterStopNothingIsSentAndThePortIsFree) {
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    const bool wasAnnounced = server->isAnnounced();
    server->stopServer();

    EXPECT_TRUE(lines.has(text("🛑 Server stopped")));
    EXPECT_EQ(server->connectionCount(), 0);
    EXPECT_FALSE(server->isAnnounced());
    EXPECT_FALSE(server->isListening());
    for (QTcpSocket* client : {&first, &second}) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return client->state() == QAbstractSocket::UnconnectedState; }, timeoutMs));
    }
    // Cancelled, not closed by the peer: no receive-path line.
    EXPECT_FALSE(lines.has(text("Connection closed or error occurred")));

    const int linesBefore = lines.size();
    server->broadcast(text("BAR: 2.1 0"));
    EXPECT_EQ(lines.size(), linesBefore);
    EXPECT_TRUE(first.readAll().isEmpty());

    QTcpServer next;
    EXPECT_TRUE(next.listen(QHostAddress::LocalHost, port)) << next.errorString().toStdString();
    next.close();

    // And it starts again.
    const int readyBefore = lines.count(text("✅ Server is ready"));
    server->startServer();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return lines.count(text("✅ Server is ready")) > readyBefore; }, timeoutMs));
    QTcpSocket& again = connectClient();
    server->broadcast(text("BPB: 3"));
    EXPECT_EQ(receiveAll(again, 6), QByteArray("BPB: 3"));
    EXPECT_EQ(server->isAnnounced(), wasAnnounced);
}

// A client that connects with a tiny receive window and never reads.
// The cap is a setting; three stand for the 256 of a show.
TEST_F(ServerTest, NewcomersBeyondTheCapAreClosedAtOnceWithAtMostOneLineASecond) {
    settings.setInteger(TCPServer::maxRemoteClientsKey, 3);
    startAndWaitForReady();
    EXPECT_EQ(server->maxConnections(), 3);
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    QTcpSocket& third = connectClient();

    QElapsedTimer flood;
    flood.start();
    std::vector<std::unique_ptr<QTcpSocket>> newcomers;
    for (int i = 0; i < 20; ++i) {
        auto& newcomer = *newcomers.emplace_back(std::make_unique<QTcpSocket>());
        newcomer.connectToHost(QHostAddress::LocalHost, port);
    }
    for (auto& newcomer : newcomers)
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return newcomer->state() == QAbstractSocket::UnconnectedState; }, timeoutMs));
    const qint64 seconds = flood.elapsed() / 1000;
    EXPECT_EQ(server->connectionCount(), 3);
    EXPECT_FALSE(lines.has(text("Connection ready: 127.0.0.1:") +
                           QString::number(newcomers.front()->localPort())));
    const int refusals = lines.count(text("🚫 Client 127.0.0.1:"));
    EXPECT_GE(refusals, 1);
    EXPECT_LE(refusals, 1 + seconds);

    // The clients inside are served as before, and a place that frees up is taken again.
    server->broadcast(text("BAR: 1.1 0"));
    for (QTcpSocket* client : {&first, &second, &third})
        EXPECT_EQ(receiveAll(*client, 10), QByteArray("BAR: 1.1 0"));
    first.disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 2; }, timeoutMs));
    connectClient();
    EXPECT_EQ(server->connectionCount(), 3);
}

TEST_F(ServerTest, TheCapIs256UnlessSetAndIsReadAtEachStart) {
    server->startServer();
    EXPECT_EQ(server->maxConnections(), 256);
    settings.setInteger(TCPServer::maxRemoteClientsKey, 5);
    server->startServer();
    EXPECT_EQ(server->maxConnections(), 5);
    settings.setInteger(TCPServer::maxRemoteClientsKey, 0); // no number of clients: the default
    server->startServer();
    EXPECT_EQ(server->maxConnections(), 256);
}

class StalledClient {
public:
    explicit StalledClient(quint16 port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected =
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~StalledClient() { ::close(m_fd); }
    bool waitReadable(int milliseconds) {
        pollfd ready{m_fd, POLLIN, 0};
        return ::poll(&ready, 1, milliseconds) == 1;
    }
    // What has arrived so far, without waiting.
    QByteArray readAvailable() {
        QByteArray received;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            received.append(buffer, static_cast<qsizetype>(n));
        return received;
    }
    StalledClient(const StalledClient&) = delete;
    StalledClient& operator=(const StalledClient&) = delete;
    bool connected() const { return m_connected; }

private:
    int m_fd;
    bool m_connected = false;
};

TEST_F(Connections, AClientThatStopsReadingIsDroppedAtTheLimitWhileOthersKeepReceiving) {
    QTcpSocket& reader = connectClient();
    const int readyBefore = lines.count(text("Connection ready: "));
    StalledClient stalled(port);
    ASSERT_TRUE(stalled.connected());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return lines.count(text("Connection ready: ")) > readyBefore; }, timeoutMs));
    ASSERT_EQ(server->connectionCount(), 2);

    const QString chunk(16 * 1024, QLatin1Char('x'));
    QByteArray readerGot;
    qint64 sent = 0;
    // 64 MiB at most: far beyond the limit plus every kernel buffer on the way.
    for (int i = 0; i < 4096 && server->connectionCount() == 2; ++i) {
        server->broadcast(chunk);
        sent += chunk.size();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                readerGot += reader.readAll();
                return readerGot.size() == sent;
            },
            timeoutMs));
    }
    ASSERT_EQ(server->connectionCount(), 1);
    EXPECT_EQ(server->connections()[0]->peerPort(), reader.localPort());
    const int failed = lines.find(text("Connection failed: "));
    ASSERT_GE(failed, 0);
    EXPECT_TRUE(lines.lines()[static_cast<size_t>(failed)].contains(text("1 MiB")));
    // The stalled client was given its megabyte, and not much more before it was dropped.
    EXPECT_GT(sent, ClientConnection::maxUnsentBytes);

    server->broadcast(text("AFTER"));
    EXPECT_EQ(receiveAll(reader, 5), QByteArray("AFTER"));
    EXPECT_EQ(reader.state(), QAbstractSocket::ConnectedState);
}

TEST_F(Connections, AClientThatFallsBehindGetsEveryMessageInOrderOnceItReads) {
    const int readyBefore = lines.count(text("Connection ready: "));
    StalledClient slow(port);
    ASSERT_TRUE(slow.connected());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return lines.count(text("Connection ready: ")) > readyBefore; }, timeoutMs));

    // Until the system holds no more and output waits in the process (64 MiB at most), then a few
    // more messages that must queue behind it; all far below the limit of unsent output.
    QByteArray expected;
    int queuedMessages = 0;
    for (int i = 0; i < 4096 && queuedMessages < 8; ++i) {
        const QString message = QStringLiteral("#%1|").arg(i, 4, 10, QLatin1Char('0')) +
                                QString(16 * 1024, QLatin1Char(static_cast<char>('a' + i % 26)));
        server->broadcast(message);
        expected += message.toUtf8();
        if (server->connections()[0]->unsentBytes() > 0)
            ++queuedMessages;
    }
    ASSERT_EQ(queuedMessages, 8);
    // The client reads, so the system has room again while output still waits in the process:
    // the next message must not overtake what waits.
    // No event loop runs meanwhile, so nothing of the process's part is sent.
    ASSERT_TRUE(slow.waitReadable(timeoutMs));
    QByteArray received = slow.readAvailable();
    ASSERT_GT(server->connections()[0]->unsentBytes(), 0);
    server->broadcast(text("LAST"));
    expected += "LAST";
    ASSERT_EQ(server->connectionCount(), 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            received += slow.readAvailable();
            return received.size() >= expected.size();
        },
        timeoutMs));
    EXPECT_TRUE(received == expected);
}

} // namespace
} // namespace carvo
