// Go, chase and stop as QLab's Network cues send them over OSC: each message reaches the one
// scripting command it names (the jump controller's request is recorded on its way to the
// simulated QLab), from this machine over UDP and SLIP-framed TCP, while strangers, garbage and
// floods change nothing. Cases that listen on every address, or send from QLab's host, need a
// private network namespace (tests/support/private_network.sh) and skip without one.

#include "qlab/osc/command_receiver.h"

#include <algorithm>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include "base/app_console.h"
#include "engine/jump_test_support.h"

namespace carvo::testing {
namespace {

using osc::Argument;
using osc::CommandReceiver;
using osc::Message;

// The jump requests the controller makes, passed on to the bridge over the simulated QLab.
class RecordingOperations final : public QLabOperations {
public:
    struct Request {
        RequestSource source;
        qint64 bar;
    };
    explicit RecordingOperations(QLabOperations& inner) : m_inner(inner) {}

    FilesAnswer getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                    const QString& uniqueID) override {
        requests.push_back({source, barNumber});
        return m_inner.getFilesAndStartBar(lastBar, source, barNumber, uniqueID);
    }
    bool isCueRunning(const QString& id) override { return m_inner.isCueRunning(id); }
    bool isCueElapsedOverOneSecond(const QString& id) override {
        return m_inner.isCueElapsedOverOneSecond(id);
    }
    void sendLoadTimeAndStartQLab(const QString& id, float barTime) override {
        m_inner.sendLoadTimeAndStartQLab(id, barTime);
    }
    void displayQLabMessage(const QString& message) override {
        m_inner.displayQLabMessage(message);
    }
    QString uniqueID() const override { return m_inner.uniqueID(); }
    void setUniqueID(const QString& id) override { m_inner.setUniqueID(id); }

    std::vector<RequestSource> sources() const {
        std::vector<RequestSource> out;
        for (const Request& request : requests)
            out.push_back(request.source);
        return out;
    }

    std::vector<Request> requests;

private:
    QLabOperations& m_inner;
};

QByteArray packet(const Message& message) {
    const auto bytes = osc::encode(message);
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

QByteArray slip(const Message& message) {
    const QByteArray bytes = packet(message);
    const auto framed = osc::slipFrame({bytes.constData(), static_cast<std::size_t>(bytes.size())});
    return {reinterpret_cast<const char*>(framed.data()), static_cast<qsizetype>(framed.size())};
}

Message go(std::vector<Argument> arguments = {}) {
    return {"/carvo/go", std::move(arguments)};
}
Message chase(std::vector<Argument> arguments) {
    return {"/carvo/chase", std::move(arguments)};
}
const Message stop{"/carvo/stop", {}};

class OSCCommands : public SimulatedQLabJump {
protected:
    void SetUp() override {
        SimulatedQLabJump::SetUp();
        // The fixture's controller and commands again, with the requests recorded and a stop.
        m_operations = std::make_unique<RecordingOperations>(*m_qlab);
        m_jumps =
            std::make_unique<JumpController>(harness.counter, *m_operations, harness.broadcaster);
        m_requests = std::make_unique<RequestQueue>(*m_jumps, *m_operations);
        m_commands = std::make_unique<ScriptingCommands>(
            *m_requests, harness.counter, *m_operations, settings, RequestOrigin::osc,
            [this] { m_qlab->panicGroupCues(); });
        m_jumps->setWallClock([this] { return wallNow(); });
        m_commands->setWallClock([this] { return wallNow(); });
        m_receiver = std::make_unique<CommandReceiver>(*m_commands);
        QObject::connect(m_receiver.get(), &CommandReceiver::dispatched,
                         [this] { ++m_dispatched; });
        QCoreApplication::processEvents();
        m_consoleStart = AppConsole::shared().logText().size();
    }
    void TearDown() override {
        m_receiver.reset();
        m_commands.reset();
        m_requests.reset();
        m_jumps.reset();
        SimulatedQLabJump::TearDown();
    }

    std::vector<RecordingOperations::Request>& requests() { return m_operations->requests; }
    // The console's lines since the test began.
    QStringList console() {
        QCoreApplication::processEvents();
        return AppConsole::shared().logText().mid(m_consoleStart).split(u'\n', Qt::SkipEmptyParts);
    }
    qsizetype consoleCount(const QString& prefix) {
        const QStringList lines = console();
        return std::count_if(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.startsWith(prefix); });
    }

    std::unique_ptr<RecordingOperations> m_operations;
    std::unique_ptr<CommandReceiver> m_receiver;
    int m_dispatched = 0;
    qsizetype m_consoleStart = 0;
};

TEST_F(OSCCommands, GoAloneJumpsWithTheBarTypedIntoQLabsDialog) {
    selectInQLab(QStringLiteral("G2"));
    answerBarDialogWith(QStringLiteral("3"));
    m_receiver->dispatch(go());
    ASSERT_EQ(m_operations->sources(), std::vector{RequestSource::qlab});
    EXPECT_EQ(cueInQLab(QStringLiteral("G2"))->loadedTime, 4.0); // 2.0 s bars, bar 3
    EXPECT_EQ(manager().lastBarTriggered(), 3);
}

TEST_F(OSCCommands, GoWithAWholeNumberGoesToThatBarOfTheSelectedGroup) {
    for (const Argument& bar : {Argument(std::int32_t{17}), Argument(std::int64_t{17}),
                                Argument(std::string("17")), Argument(std::string("+17"))}) {
        requests().clear();
        m_receiver->dispatch(go({bar}));
        ASSERT_EQ(requests().size(), 1U) << osc::typeTag(bar);
        EXPECT_EQ(requests().front().source, RequestSource::selectedAtBar);
        EXPECT_EQ(requests().front().bar, 17);
    }
}

TEST_F(OSCCommands, GoWithAnythingButOneWholeNumberIsRefusedWithALine) {
    const std::vector<std::vector<Argument>> refused = {{2.5F},
                                                        {17.0},
                                                        {std::string("x")},
                                                        {std::string("17 ")},
                                                        {std::string()},
                                                        {osc::True{}},
                                                        {osc::False{}},
                                                        {osc::Nil{}},
                                                        {std::int32_t{17}, std::int32_t{18}}};
    for (const auto& arguments : refused)
        m_receiver->dispatch(go(arguments));
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(consoleCount(QStringLiteral("❌ /carvo/go takes one whole bar number")),
              qsizetype(refused.size()));
    EXPECT_TRUE(console().contains(
        QStringLiteral("❌ /carvo/go takes one whole bar number, not 2.5: no jump")));
}

TEST_F(OSCCommands, ChaseFollowsTheGroupWithThatUniqueID) {
    m_receiver->dispatch(chase({std::string("G1")}));
    EXPECT_EQ(m_operations->sources(), std::vector{RequestSource::chase});
    EXPECT_EQ(qlab().uniqueID(), QStringLiteral("G1"));
    EXPECT_TRUE(manager().isCounting());
}

TEST_F(OSCCommands, ChaseWithoutOneTextArgumentSaysNoCueIDCameAndDoesNothing) {
    for (const auto& arguments : std::vector<std::vector<Argument>>{
             {}, {std::int32_t{42}}, {osc::True{}}, {std::string("G1"), std::string("G2")}})
        m_receiver->dispatch(chase(arguments));
    EXPECT_TRUE(wroteLine("❌ No cue ID passed from AppleScript"));
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(m_runner->count(QStringLiteral("uniqueID")), 0); // QLab was never asked
    EXPECT_FALSE(manager().isCounting());
}

TEST_F(OSCCommands, StopPanicsTheCataloguedGroups) {
    qlab().setCueInfos({{QStringLiteral("G1"), QStringLiteral("Overture")},
                        {QStringLiteral("G2"), QStringLiteral("Waltz")}});
    remoteJump(QStringLiteral("G1"), 17);
    ASSERT_TRUE(cueInQLab(QStringLiteral("G1"))->startedAt.has_value());
    m_receiver->dispatch({"/carvo/stop", {std::string("whatever follows")}});
    EXPECT_FALSE(cueInQLab(QStringLiteral("G1"))->startedAt.has_value());
}

TEST_F(OSCCommands, OtherAddressesAreReportedOnceEachAndNeverFlood) {
    for (int round = 0; round < 3; ++round) {
        m_receiver->dispatch({"/carvo/GO", {}});
        m_receiver->dispatch({"/carvo/go/17", {}});
        m_receiver->dispatch({"/carvo/go\nFAKE LINE", {}}); // cannot forge a console line
    }
    EXPECT_EQ(consoleCount(QStringLiteral("OSC address /carvo/GO ignored")), 1);
    EXPECT_EQ(consoleCount(QStringLiteral("OSC address /carvo/go/17 ignored")), 1);
    EXPECT_EQ(consoleCount(QStringLiteral("OSC address /carvo/go?FAKE LINE ignored")), 1);
    EXPECT_EQ(consoleCount(QStringLiteral("FAKE")), 0);

    for (int i = 0; i < 500; ++i)
        m_receiver->dispatch({"/spam/" + std::to_string(i), {}});
    EXPECT_LE(consoleCount(QStringLiteral("OSC address ")), 40);
    EXPECT_TRUE(requests().empty());
}

// --- Over the network, from this machine ---------------------------------------------------

class OSCFromThisMachine : public OSCCommands {
protected:
    void SetUp() override {
        OSCCommands::SetUp();
        ASSERT_TRUE(m_receiver->listen(0));
        m_port = m_receiver->port();
    }
    void sendDatagram(const QByteArray& bytes, const QHostAddress& to = QHostAddress::LocalHost) {
        ASSERT_EQ(m_udp.writeDatagram(bytes, to, m_port), bytes.size());
    }
    bool waitForDispatched(int count) {
        return QTest::qWaitFor([&] { return m_dispatched >= count; }, 10'000);
    }
    // A connected client, owned by the test.
    QTcpSocket* connectClient() {
        auto* socket = new QTcpSocket(&m_owner);
        socket->connectToHost(QHostAddress::LocalHost, m_port);
        return socket->waitForConnected(5'000) ? socket : nullptr;
    }

    quint16 m_port = 0;
    QUdpSocket m_udp;
    QObject m_owner;
};

TEST_F(OSCFromThisMachine, EachDatagramIsOneCommand) {
    sendDatagram(packet(chase({std::string("G1")})));
    // QLab may send to "localhost" over IPv6, where the machine has it.
    QUdpSocket probe;
    const bool ipv6 = probe.bind(QHostAddress::LocalHostIPv6, 0);
    sendDatagram(packet(go({std::int32_t{17}})),
                 ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    ASSERT_TRUE(waitForDispatched(2));
    EXPECT_EQ(m_operations->sources(),
              (std::vector{RequestSource::chase, RequestSource::selectedAtBar}));
    EXPECT_TRUE(console().contains(QStringLiteral("📡 OSC commands on port ") +
                                   QString::number(m_port) +
                                   QStringLiteral(" (UDP and TCP) from this machine only")));
}

TEST_F(OSCFromThisMachine, SlipFramesSplitAcrossWritesAreCommands) {
    QTcpSocket* client = connectClient();
    ASSERT_TRUE(client);
    // Double-END framing, then a sender that ends its packets only (liblo 0.31's SLIP).
    const QByteArray stream =
        slip(go({std::string("17")})) + slip(chase({std::string("G1")})).mid(1);
    for (qsizetype at = 0; at < stream.size(); at += 5) {
        client->write(stream.mid(at, 5));
        ASSERT_TRUE(client->waitForBytesWritten(5'000));
        QTest::qWait(1); // each piece a read of its own
    }
    ASSERT_TRUE(waitForDispatched(2));
    ASSERT_EQ(m_operations->sources(),
              (std::vector{RequestSource::selectedAtBar, RequestSource::chase}));
    EXPECT_EQ(requests().front().bar, 17);
}

TEST_F(OSCFromThisMachine, GarbageAndOversizePacketsAreDroppedAndServingGoesOn) {
    const QByteArray oversize = packet(chase({std::string(9000, 'x')}));
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    bundle += QByteArray(4, '\0') + packet(stop);
    for (const QByteArray& junk : {QByteArray(), QByteArray("garbage"), QByteArray("\xC0\xDB", 2),
                                   bundle, bundle, oversize, packet(stop).chopped(2)})
        sendDatagram(junk);
    QTcpSocket* flooder = connectClient();
    ASSERT_TRUE(flooder);
    flooder->write(slip(chase({std::string(20'000, 'y')})) + QByteArray(30'000, 'z') + "\xC0");
    flooder->write(slip(go({std::int32_t{5}})));
    QTcpSocket* lengthPrefixed = connectClient();
    ASSERT_TRUE(lengthPrefixed);
    lengthPrefixed->write(QByteArray("\0\0\0\x10", 4) + packet(stop));

    ASSERT_TRUE(waitForDispatched(1)); // the go after the flood
    sendDatagram(packet(go({std::int32_t{6}})));
    ASSERT_TRUE(waitForDispatched(2));
    ASSERT_EQ(requests().size(), 2U);
    EXPECT_EQ(requests()[0].bar, 5);
    EXPECT_EQ(requests()[1].bar, 6);
    EXPECT_EQ(consoleCount(QStringLiteral("OSC bundle dropped")), 1);
    EXPECT_EQ(consoleCount(QStringLiteral("OSC packet of more than 8192 bytes dropped")), 1);
    EXPECT_EQ(consoleCount(QStringLiteral("OSC packet dropped: not a well-formed")), 1);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return consoleCount(QStringLiteral("OSC over TCP")) == 1; }, 5'000));
}

TEST_F(OSCFromThisMachine, ConnectionsAreBoundedAndSilentOnesClosed) {
    m_receiver->setIdleTimeout(std::chrono::milliseconds(1500));
    std::vector<QTcpSocket*> clients;
    for (int i = 0; i < CommandReceiver::maxConnections + 1; ++i) {
        clients.push_back(connectClient());
        ASSERT_TRUE(clients.back());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_receiver->connectionCount() == std::min(i + 1, 8); }, 5'000));
    }
    // The ninth made room by closing the first, and is heard.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return clients.front()->state() == QAbstractSocket::UnconnectedState; }, 5'000));
    clients.back()->write(slip(stop));
    ASSERT_TRUE(waitForDispatched(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_receiver->connectionCount() == 0; }, 5'000));
}

TEST_F(OSCFromThisMachine, APortInUseIsOneConsoleLineAndNothingOpen) {
    CommandReceiver second(*m_commands);
    EXPECT_FALSE(second.listen(m_port));
    EXPECT_FALSE(second.isListening());
    EXPECT_EQ(consoleCount(QStringLiteral("❌ Cannot receive OSC commands on port ") +
                           QString::number(m_port) + QStringLiteral(": UDP: ")),
              1);

    QTcpServer tcpTaken;
    ASSERT_TRUE(tcpTaken.listen(QHostAddress::LocalHost));
    EXPECT_FALSE(second.listen(tcpTaken.serverPort()));
    EXPECT_EQ(consoleCount(QStringLiteral("❌ Cannot receive OSC commands on port ") +
                           QString::number(tcpTaken.serverPort()) + QStringLiteral(": TCP: ")),
              1);
    // Nothing half-open: the UDP side it had bound is free again.
    QUdpSocket udp;
    EXPECT_TRUE(udp.bind(QHostAddress::LocalHost, tcpTaken.serverPort()));
}

// --- Who may send ---------------------------------------------------------------------------

using OSCSenders = OSCCommands;

TEST_F(OSCSenders, WithoutQLabsHostOnlyTheLoopbackIsListenedOn) {
    ASSERT_TRUE(m_receiver->listen(0, QStringLiteral("localhost")));
    EXPECT_EQ(consoleCount(QStringLiteral("📡 OSC commands on port ")), 1);
    EXPECT_TRUE(console().last().endsWith(QStringLiteral("from this machine only")));
}

TEST_F(OSCSenders, TheSystemsResolverAnswersOnTheMainThread) {
    struct Answer {
        QList<QHostAddress> addresses;
        QString problem;
        bool onMainThread = false;
    };
    std::optional<Answer> local, unknown;
    const auto into = [](std::optional<Answer>& answer) {
        return [&answer](const QList<QHostAddress>& addresses, const QString& problem) {
            answer = Answer{addresses, problem,
                            QThread::currentThread() == QCoreApplication::instance()->thread()};
        };
    };
    CommandReceiver::resolveWithTheSystem(QStringLiteral("localhost"), into(local));
    CommandReceiver::resolveWithTheSystem(QStringLiteral("no-such-host.invalid"), into(unknown));
    ASSERT_TRUE(QTest::qWaitFor([&] { return local && unknown; }, 20'000));
    EXPECT_TRUE(local->onMainThread);
    EXPECT_TRUE(std::any_of(local->addresses.begin(), local->addresses.end(),
                            [](const QHostAddress& address) { return address.isLoopback(); }));
    EXPECT_TRUE(unknown->addresses.isEmpty());
    EXPECT_FALSE(unknown->problem.isEmpty());
}

// QLab's host and a stranger as two addresses of this machine's loopback, in a network of the
// test's own.
class OSCFromQLabsHost : public OSCCommands {
protected:
    static constexpr const char* qlabHost = "192.0.2.10";
    static constexpr const char* stranger = "192.0.2.11";

    void SetUp() override {
        OSCCommands::SetUp();
        if (!qEnvironmentVariableIsSet("CARVO_PRIVATE_NETWORK"))
            GTEST_SKIP() << "listens on every address: needs a private network namespace";
        for (const char* address : {qlabHost, stranger}) {
            QProcess ip;
            ip.start(QStringLiteral("ip"), {QStringLiteral("addr"), QStringLiteral("replace"),
                                            QString::fromLatin1(address) + QStringLiteral("/32"),
                                            QStringLiteral("dev"), QStringLiteral("lo")});
            ASSERT_TRUE(ip.waitForFinished(10'000));
            ASSERT_EQ(ip.exitCode(), 0) << ip.readAllStandardError().toStdString();
        }
    }
    void listenFor(const QString& host) {
        ASSERT_TRUE(m_receiver->listen(0, host));
        m_port = m_receiver->port();
    }
    // A client connected from source to the receiver's port at `to`, owned by the test.
    QTcpSocket* connectFrom(const char* source, const QHostAddress& to) {
        auto* socket = new QTcpSocket(&m_owner);
        if (!socket->bind(QHostAddress(QString::fromLatin1(source)), 0))
            return nullptr;
        socket->connectToHost(to, m_port);
        return socket->waitForConnected(5'000) ? socket : nullptr;
    }
    bool waitForDispatched(int count) {
        return QTest::qWaitFor([&] { return m_dispatched >= count; }, 10'000);
    }
    // Lets whatever is in flight arrive, so that a message that should not count has had its
    // chance to.
    void settle() { QTest::qWait(300); }

    quint16 m_port = 0;
    QObject m_owner;
};

TEST_F(OSCFromQLabsHost, OverUdpOnlyThisMachineIsHeardWhateverTheDatagramClaims) {
    listenFor(QString::fromLatin1(qlabHost));
    EXPECT_TRUE(console().last().endsWith(QStringLiteral("and over TCP from QLab's host ") +
                                          QString::fromLatin1(qlabHost)));
    // A datagram may name any sender: this one names QLab's host, to each address it could take.
    QUdpSocket forger;
    ASSERT_TRUE(forger.bind(QHostAddress(QString::fromLatin1(qlabHost)), 0));
    for (const QHostAddress& to :
         {QHostAddress(QString::fromLatin1(qlabHost)), QHostAddress(QHostAddress::LocalHost)})
        forger.writeDatagram(packet(stop), to, m_port);
    settle();
    QUdpSocket local;
    local.writeDatagram(packet(go({std::int32_t{7}})), QHostAddress::LocalHost, m_port);
    ASSERT_TRUE(waitForDispatched(1));
    settle();
    EXPECT_EQ(m_dispatched, 1);
    ASSERT_EQ(requests().size(), 1U);
    EXPECT_EQ(requests().front().bar, 7);
    EXPECT_EQ(consoleCount(QStringLiteral("🚫 OSC commands from 192.0.2.10 dropped: over UDP")), 1);
}

TEST_F(OSCFromQLabsHost, OverTCPQLabsHostIsHeardAndAStrangerIsNot) {
    listenFor(QString::fromLatin1(qlabHost));
    const QHostAddress to(QString::fromLatin1(qlabHost));
    QTcpSocket* intruder = connectFrom(stranger, to);
    ASSERT_TRUE(intruder);
    intruder->write(slip(go({std::int32_t{5}})));
    QTcpSocket* qlab = connectFrom(qlabHost, to);
    ASSERT_TRUE(qlab);
    qlab->write(slip(go({std::int32_t{6}})));
    ASSERT_TRUE(waitForDispatched(1));
    settle();
    ASSERT_EQ(requests().size(), 1U);
    EXPECT_EQ(requests().front().bar, 6);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return intruder->state() == QAbstractSocket::UnconnectedState; }, 5'000));
    EXPECT_EQ(consoleCount(QStringLiteral("🚫 OSC commands from 192.0.2.11 dropped")), 1);
}

// A name is looked up afresh for every connection from another machine: where it pointed once
// is never trusted later.
TEST_F(OSCFromQLabsHost, QLabsHostIsLookedUpAfreshForEveryConnection) {
    QString answer = QString::fromLatin1(qlabHost);
    QStringList asked;
    m_receiver->setResolver([&](const QString& host, auto done) {
        asked.append(host);
        const QList<QHostAddress> addresses{QHostAddress(answer)};
        QTimer::singleShot(10, [done, addresses] { done(addresses, {}); });
    });
    listenFor(QStringLiteral("qlab-mac.local"));
    const QHostAddress to(QString::fromLatin1(qlabHost));

    QTcpSocket* first = connectFrom(qlabHost, to);
    ASSERT_TRUE(first);
    first->write(slip(go({std::int32_t{1}})));
    ASSERT_TRUE(waitForDispatched(1));

    answer = QString::fromLatin1(stranger); // QLab's machine now answers at another address
    QTcpSocket* formerAddress = connectFrom(qlabHost, to);
    ASSERT_TRUE(formerAddress);
    formerAddress->write(slip(go({std::int32_t{2}})));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return formerAddress->state() == QAbstractSocket::UnconnectedState; }, 5'000));
    QTcpSocket* moved = connectFrom(stranger, to);
    ASSERT_TRUE(moved);
    moved->write(slip(go({std::int32_t{3}})));
    ASSERT_TRUE(waitForDispatched(2));
    settle();

    ASSERT_EQ(requests().size(), 2U);
    EXPECT_EQ(requests()[0].bar, 1);
    EXPECT_EQ(requests()[1].bar, 3);
    EXPECT_EQ(asked, QStringList(3, QStringLiteral("qlab-mac.local")));
}

TEST_F(OSCFromQLabsHost, WhatQLabSendsBeforeTheLookupAnswersIsHeardEvenIfItHasClosed) {
    std::function<void()> answer;
    m_receiver->setResolver([&](const QString&, auto done) {
        answer = [done] { done({QHostAddress(QString::fromLatin1(qlabHost))}, {}); };
    });
    listenFor(QStringLiteral("qlab-mac.local"));
    QTcpSocket* qlab = connectFrom(qlabHost, QHostAddress(QString::fromLatin1(qlabHost)));
    ASSERT_TRUE(qlab);
    qlab->write(slip(stop));
    ASSERT_TRUE(qlab->waitForBytesWritten(5'000));
    qlab->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(answer); }, 5'000));
    settle();
    EXPECT_EQ(m_dispatched, 0);
    answer();
    EXPECT_TRUE(waitForDispatched(1));
}

TEST_F(OSCFromQLabsHost, QLabsConnectionIsNeverClosedToMakeRoom) {
    listenFor(QString::fromLatin1(qlabHost));
    QTcpSocket* qlab = connectFrom(qlabHost, QHostAddress(QString::fromLatin1(qlabHost)));
    ASSERT_TRUE(qlab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->connectionCount() == 1; }, 5'000));
    // This machine's senders crowd in, each newer than QLab's silent connection.
    std::vector<QTcpSocket*> crowd;
    for (int i = 0; i < 2 * CommandReceiver::maxConnections; ++i) {
        auto* local = new QTcpSocket(&m_owner);
        local->connectToHost(QHostAddress::LocalHost, m_port);
        ASSERT_TRUE(local->waitForConnected(5'000));
        crowd.push_back(local);
        QTest::qWait(5);
    }
    // Room is made among them alone: all but the places QLab's connection leaves are closed.
    const auto closed = [&] {
        return std::count_if(crowd.begin(), crowd.end(), [](const QTcpSocket* socket) {
            return socket->state() == QAbstractSocket::UnconnectedState;
        });
    };
    const auto expectedClosed =
        static_cast<long>(crowd.size()) - (CommandReceiver::maxConnections - 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed() == expectedClosed; }, 10'000)) << closed();
    EXPECT_EQ(m_receiver->connectionCount(), CommandReceiver::maxConnections);
    EXPECT_EQ(qlab->state(), QAbstractSocket::ConnectedState);
    qlab->write(slip(stop));
    EXPECT_TRUE(waitForDispatched(1));
}

// liblo's oscsend: an implementation nobody here wrote.
TEST_F(OSCFromThisMachine, LiblosOscsendOverUdpReachesEachCommand) {
    if (QStandardPaths::findExecutable(QStringLiteral("oscsend")).isEmpty())
        GTEST_SKIP() << "oscsend (liblo-tools) is not installed";
    const QStringList to = {QStringLiteral("127.0.0.1"), QString::number(m_port)};
    for (const QStringList& message : {QStringList{"/carvo/go", "i", "17"},
                                       {"/carvo/go", "s", "18"},
                                       {"/carvo/go", "f", "2.5"},
                                       {"/carvo/chase", "s", "G1"},
                                       {"/carvo/chase"}}) {
        QProcess oscsend;
        oscsend.start(QStringLiteral("oscsend"), to + message);
        ASSERT_TRUE(oscsend.waitForFinished(10'000));
        ASSERT_EQ(oscsend.exitCode(), 0) << oscsend.readAllStandardError().toStdString();
    }
    ASSERT_TRUE(waitForDispatched(5));
    ASSERT_EQ(requests().size(), 3U);
    EXPECT_EQ(requests()[0].bar, 17);
    EXPECT_EQ(requests()[1].bar, 18);
    EXPECT_EQ(requests()[2].source, RequestSource::chase);
    EXPECT_TRUE(wroteLine("❌ No cue ID passed from AppleScript"));
}

} // namespace
} // namespace carvo::testing
