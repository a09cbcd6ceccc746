// Carvo on the OSC road: the real headless carvo with --qlab osc://127.0.0.1:PORT against the
// simulated QLab speaking OSC in a process of its own. What the simulator received shows what
// Carvo asked of QLab; remote clients and Network-cue-like senders drive it as operators do.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <signal.h>

#include <array>
#include <optional>

#include "e2e_support.h"
#include "qlab/osc/osc.h"

namespace carvo::e2e {
namespace {

constexpr int answerMs = 10000;
const QString waltz = QStringLiteral("D-GROUP-WALTZ");

// A port free for both UDP and TCP now: carvo's OSC command receiver listens on both.
quint16 freeUdpPort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        QUdpSocket udp;
        if (!udp.bind(QHostAddress::LocalHost, 0))
            continue;
        QTcpServer tcp;
        if (tcp.listen(QHostAddress::Any, udp.localPort()))
            return udp.localPort();
    }
    return 0;
}

// The demo workspace with the waltz (2.0 s a bar) lasting `seconds` from its start, and extra
// keys for the simulator's workspace and for the top of the file.
QByteArray workspaceWith(double seconds, const QJsonObject& workspaceKeys = {},
                         const QJsonObject& topKeys = {}) {
    QJsonObject top = QJsonDocument::fromJson(demoWorkspace({{waltz, seconds}})).object();
    for (auto it = topKeys.begin(); it != topKeys.end(); ++it)
        top.insert(it.key(), it.value());
    QJsonArray workspaces = top.value(QStringLiteral("workspaces")).toArray();
    QJsonObject first = workspaces.first().toObject();
    for (auto it = workspaceKeys.begin(); it != workspaceKeys.end(); ++it)
        first.insert(it.key(), it.value());
    workspaces[0] = first;
    top.insert(QStringLiteral("workspaces"), workspaces);
    return QJsonDocument(top).toJson();
}

bool isLoadAt(const QString& message, const QString& cue) {
    return message.contains(QStringLiteral("/cue_id/") + cue + QStringLiteral("/loadAt"));
}
bool isStart(const QString& message, const QString& cue) {
    return message.endsWith(QStringLiteral("/cue_id/") + cue + QStringLiteral("/start"));
}

// The seconds of "…/loadAt f 4.000000" (or an integer argument); none when it has none.
std::optional<double> loadTimeOf(const QString& message) {
    const QStringList parts = message.split(u' ');
    if (parts.size() < 3)
        return std::nullopt;
    bool ok = false;
    const double value = parts.last().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// Two processes that keep both cores busy while a test runs, as the rest of a loaded machine
// does; each ends by itself after 90 s at the latest, and the test kills both by their IDs.
class BusyProcesses {
public:
    BusyProcesses() {
        for (auto& process : m_processes)
            process.start(
                QStringLiteral("python3"),
                {QStringLiteral("-c"), QStringLiteral("import time\nend = time.monotonic() + 90\n"
                                                      "while time.monotonic() < end: pass\n")});
    }
    ~BusyProcesses() {
        for (auto& process : m_processes) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;
    bool running() {
        for (auto& process : m_processes)
            if (!process.waitForStarted(5000))
                return false;
        return true;
    }

private:
    std::array<QProcess, 2> m_processes;
};

// The bar of a "BAR: 7.3 0.5" message; none for other messages.
std::optional<int> barOf(const std::string& message) {
    if (!message.starts_with("BAR: "))
        return std::nullopt;
    const auto dot = message.find('.', 5);
    if (dot == std::string::npos)
        return std::nullopt;
    return std::stoi(message.substr(5, dot - 5));
}

class OSCQLab : public ::testing::Test {
protected:
    // The simulator, then carvo on it with its OSC command port; carvo's session must come up.
    void startBoth(const QByteArray& workspace, const QStringList& simArguments = {},
                   const QStringList& carvoArguments = {}, bool expectConnected = true,
                   CarvoSettings settings = {}) {
        QString problem;
        ASSERT_TRUE(qlab.start(workspace, simArguments, &problem)) << problem.toStdString();
        commandPort = freeUdpPort();
        settings.extraArguments =
            QStringList{QStringLiteral("--qlab"), qlab.url(), QStringLiteral("--osc-port"),
                        QString::number(commandPort)} +
            carvoArguments;
        ASSERT_TRUE(carvo.start(workspace, settings, &problem)) << problem.toStdString();
        if (expectConnected) {
            ASSERT_TRUE(carvo.waitForLine(QStringLiteral("QLab connected: Carvo Demo"), answerMs))
                << carvo.outputLines().join(u'\n').toStdString();
        }
        ASSERT_TRUE(client.connectTo(carvo.port()));
    }

    // A remote client's select and bar request.
    void requestBar(const QString& cue, int bar) {
        client.send(QByteArray("REMOTE_SELECTED: ") + cue.toUtf8());
        ASSERT_TRUE(client.waitForMessage("REMOTE_SELECTED: " + cue.toStdString(), answerMs));
        client.send(QByteArray("BAR_REQUEST: ") + QByteArray::number(bar));
    }

    std::optional<std::size_t> waitForBar(const std::string& text, int timeoutMs,
                                          std::size_t from = 0) {
        return client.waitForMatch([&](const std::string& m) { return m == text; }, timeoutMs,
                                   from);
    }

    // Sends one OSC message to carvo's command port over UDP, as a QLab Network cue does.
    void sendCommand(const osc::Message& message) {
        const auto bytes = osc::encode(message);
        QUdpSocket socket;
        socket.writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qint64>(bytes.size()), QHostAddress::LocalHost,
                             commandPort);
    }

    void countWithDuplicateFilter(int window);

    SimulatedQLabProcess qlab;
    CarvoInstance carvo;
    TestClient client;
    quint16 commandPort = 0;
};

TEST_F(OSCQLab, ARemoteBarRequestLoadsTheGroupAtItsBarStartsItAndTheCounterFollows) {
    // Bar 3 starts at 4 s: three seconds of playing to the cue's end at 7 s.
    startBoth(workspaceWith(7.0));
    requestBar(waltz, 3);
    ASSERT_TRUE(client.waitForMessage("QLAB_SELECTED: D-GROUP-WALTZ", answerMs));
    ASSERT_TRUE(qlab.waitForReceived([](const QString& m) { return isStart(m, waltz); }, answerMs));

    // Loaded at bar 3 of a 2 s bar, then started, in that order.
    const QStringList received = qlab.received();
    qsizetype load = -1;
    qsizetype start = -1;
    for (qsizetype i = 0; i < received.size(); ++i) {
        if (load < 0 && isLoadAt(received[i], waltz))
            load = i;
        if (start < 0 && isStart(received[i], waltz))
            start = i;
    }
    ASSERT_GE(load, 0);
    EXPECT_LT(load, start);
    const auto loadTime = loadTimeOf(received[load]);
    ASSERT_TRUE(loadTime);
    EXPECT_NEAR(*loadTime, 4.0, 1e-6);

    // The counter counts on from bar 3 and stops when the cue ends three seconds later.
    const auto beyond = client.waitForMatch(
        [](const std::string& m) { return m.starts_with("BAR: 4."); }, answerMs);
    ASSERT_TRUE(beyond);
    ASSERT_TRUE(waitForBar("BAR: 3.1 0", answerMs, *beyond));
}

TEST_F(OSCQLab, RequestCuesGivesTheCatalogueTheAppleScriptRoadGivesAndStopPanicsIt) {
    const QByteArray workspace = workspaceWith(30.0);
    startBoth(workspace, {QStringLiteral("--duplicate-window"), QStringLiteral("250")});
    // Carvo reads the catalogue quietly once QLab is there (for STOP); count from then on.
    ASSERT_TRUE(carvo.waitForStartUpCatalogue(answerMs));
    const qsizetype before = qlab.received().filter(QStringLiteral("/cueLists")).size();
    client.send("REQUEST CUES");
    const auto overOSC = client.waitForMatch(
        [](const std::string& m) { return m.starts_with("GROUP_CUES: "); }, answerMs);
    ASSERT_TRUE(overOSC);
    // One question for the catalogue: a twin could be dropped by QLab's filter.
    EXPECT_EQ(qlab.received().filter(QStringLiteral("/cueLists")).size(), before + 1);

    // The same workspace file through the AppleScript road's simulated QLab.
    CarvoInstance applescript;
    QString problem;
    ASSERT_TRUE(applescript.start(workspace, {}, &problem)) << problem.toStdString();
    TestClient other;
    ASSERT_TRUE(other.connectTo(applescript.port()));
    other.send("REQUEST CUES");
    const auto overAppleScript = other.waitForMatch(
        [](const std::string& m) { return m.starts_with("GROUP_CUES: "); }, answerMs);
    ASSERT_TRUE(overAppleScript);
    const std::string mine = client.messagesWithPending()[*overOSC];
    EXPECT_EQ(mine, other.messagesWithPending()[*overAppleScript]);
    bool parsed = false;
    EXPECT_GE(readGroupCues(mine, &parsed).size(), 3U);
    EXPECT_TRUE(parsed);

    client.send("STOP ");
    for (const char* cue : {"D-GROUP-OVERTURE", "D-GROUP-WALTZ", "D-GROUP-FINALE"})
        EXPECT_TRUE(qlab.waitForReceived(
            [cue](const QString& m) {
                return m.endsWith(QStringLiteral("/cue_id/%1/panic").arg(QLatin1StringView(cue)));
            },
            answerMs))
            << cue;
}

TEST_F(OSCQLab, NetworkCueCommandsDriveAJumpAtABarAndAChase) {
    startBoth(workspaceWith(30.0));
    // "/carvo/go 17": QLab's selected group (the overture) from bar 17, without a dialog.
    sendCommand({"/carvo/go", {std::int32_t{17}}});
    ASSERT_TRUE(qlab.waitForReceived(
        [](const QString& m) { return isStart(m, QStringLiteral("D-GROUP-OVERTURE")); }, answerMs))
        << carvo.outputLines().join(u'\n').toStdString();
    ASSERT_TRUE(client.waitForMessage("QLAB_SELECTED: D-GROUP-OVERTURE", answerMs));
    ASSERT_TRUE(client.waitForMatch([](const std::string& m) { return m.starts_with("BAR: 17."); },
                                    answerMs));

    // A chase follows the waltz QLab has just fired: no load and no start from Carvo.
    const qsizetype before = qlab.received().size();
    sendCommand({"/carvo/chase", {std::string("D-GROUP-WALTZ")}});
    ASSERT_TRUE(client.waitForMessage("QLAB_SELECTED: D-GROUP-WALTZ", answerMs));
    const QStringList after = qlab.received().mid(before);
    for (const QString& message : after)
        EXPECT_FALSE(isLoadAt(message, waltz) || isStart(message, waltz)) << message.toStdString();

    // A chase without a cue ID is refused by the command itself.
    sendCommand({"/carvo/chase", {}});
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("❌ No cue ID passed from AppleScript"), answerMs));
}

TEST_F(OSCQLab, AWrongPasscodeIsSaidClearlyAndNoJumpReachesQLab) {
    startBoth(workspaceWith(30.0, {{QStringLiteral("passcode"), QStringLiteral("1234")}}), {}, {},
              false);
    ASSERT_TRUE(carvo.waitForLine(QStringLiteral("❌ QLab refused the passcode for workspace "
                                                 "\"Carvo Demo\": check the QLab passcode setting"),
                                  answerMs))
        << carvo.outputLines().join(u'\n').toStdString();
    requestBar(waltz, 2);
    ASSERT_TRUE(carvo.waitForLine(QStringLiteral("no valid message from qlab"), answerMs));
    for (const QString& message : qlab.received())
        EXPECT_FALSE(isLoadAt(message, waltz)) << message.toStdString();
    // Still serving.
    client.send("HANDSHAKE_REQUEST");
    EXPECT_TRUE(client.waitForMessage("HANDSHAKE_RESPONSE", answerMs));
}

TEST_F(OSCQLab, QLabKilledMidShowLeavesTheCountToTheClockUntilAQLabSaysTheCueIsNotRunning) {
    const QByteArray workspace = workspaceWith(60.0);
    startBoth(workspace);
    requestBar(waltz, 2);
    ASSERT_TRUE(client.waitForMatch([](const std::string& m) { return m.starts_with("BAR: 2."); },
                                    answerMs));

    const quint16 port = qlab.port();
    qlab.kill();
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("QLab connection lost"), answerMs));
    // Without QLab nothing says the music stopped: the counter goes on, and says so once.
    EXPECT_TRUE(
        carvo.waitForLine(QStringLiteral("QLab is not answering; the count goes on"), answerMs));
    const std::size_t lostAt = client.messagesWithPending().size();
    EXPECT_TRUE(client.waitForMatch([](const std::string& m) { return m.starts_with("BAR: 3."); },
                                    answerMs, lostAt));
    EXPECT_FALSE(client.waitForMatch([](const std::string& m) { return m == "BAR: 2.1 0"; }, 0));

    // A new QLab, whose cue is not playing: its first answer stops the counter.
    QString problem;
    ASSERT_TRUE(qlab.start(workspace, {}, &problem, port)) << problem.toStdString();
    ASSERT_TRUE(waitUntil(
        [&] { return carvo.lineCount(QStringLiteral("QLab connected: Carvo Demo")) >= 2; },
        answerMs));
    EXPECT_TRUE(waitForBar("BAR: 2.1 0", answerMs));
    EXPECT_EQ(carvo.lineCount(QStringLiteral("QLab connection lost")), 1);
    EXPECT_EQ(carvo.lineCount(QStringLiteral("QLab is not answering; the count goes on")), 1);
    EXPECT_EQ(carvo.lineCount(QStringLiteral("QLab is answering again; the count follows it")), 1);
    client.send("BAR_REQUEST: 5");
    EXPECT_TRUE(qlab.waitForReceived([](const QString& m) { return isStart(m, waltz); }, answerMs));
}

TEST_F(OSCQLab, AReplyThatNeverComesFailsTheJumpWithinItsTimeout) {
    // QLab holds its answers about the group's cues; the session itself stays up.
    const QJsonObject hang{{QStringLiteral("script"), QStringLiteral("files")}};
    startBoth(workspaceWith(30.0, {}, {{QStringLiteral("hang"), hang}}));
    client.send(QByteArray("REMOTE_SELECTED: ") + waltz.toUtf8());
    ASSERT_TRUE(client.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));
    QElapsedTimer timer;
    timer.start();
    client.send("BAR_REQUEST: 2");
    ASSERT_TRUE(carvo.waitForLine(QStringLiteral("no valid message from qlab"), answerMs));
    // One question's timeout (2 s) and the margin of a loaded machine.
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 3500);
    // The main thread is free again at once.
    QElapsedTimer answered;
    answered.start();
    client.send("HANDSHAKE_REQUEST");
    EXPECT_TRUE(client.waitForMessage("HANDSHAKE_RESPONSE", answerMs));
    EXPECT_LT(answered.elapsed(), 500);
    for (const QString& message : qlab.received())
        EXPECT_FALSE(isLoadAt(message, waltz)) << message.toStdString();
}

// QLab's duplicate filter at `window` ms (and Carvo told so), with both cores busy and every other
// plain running check reaching QLab 40 ms late, so that twins written a window apart would arrive
// closer than that: the counter still stops only when the cue ends.
void OSCQLab::countWithDuplicateFilter(int window) {
    BusyProcesses busy;
    ASSERT_TRUE(busy.running());
    const QJsonObject jitter{{QStringLiteral("ms"), 40},
                             {QStringLiteral("address"), QStringLiteral("isRunning")}};
    CarvoSettings settings;
    settings.texts = {{"qlabDuplicateWindowMs", QString::number(window)}};
    startBoth(workspaceWith(6.0, {}, {{QStringLiteral("jitter"), jitter}}),
              {QStringLiteral("--duplicate-window"), QString::number(window)}, {}, true, settings);
    QElapsedTimer clock;
    clock.start();
    requestBar(waltz, 1);
    ASSERT_TRUE(client.waitForMessage("QLAB_SELECTED: D-GROUP-WALTZ", answerMs));
    const qint64 startedMs = clock.elapsed();
    const auto stop = waitForBar("BAR: 1.1 0", answerMs);
    ASSERT_TRUE(stop);
    // Not before the cue's end (a dropped check must never read as stopped), and within a
    // window, its margin and an answer after it.
    EXPECT_GE(clock.elapsed(), startedMs + 5800);
    EXPECT_LE(clock.elapsed(), startedMs + 6000 + 1500);
    EXPECT_TRUE(
        client.waitForMatch([](const std::string& m) { return m.starts_with("BAR: 3."); }, 0));
    EXPECT_FALSE(carvo.hasLine(QStringLiteral("QLab is not answering; the count goes on")));
}

TEST_F(OSCQLab, WithQLabsDuplicateFilterOnTheCounterStillStopsOnlyWhenTheCueEnds) {
    countWithDuplicateFilter(250);
}

TEST_F(OSCQLab, WithQLabsDuplicateFilterAt400MsTheCounterStillStopsOnlyWhenTheCueEnds) {
    countWithDuplicateFilter(400);
}

TEST_F(OSCQLab, QLabStalledForFiveSecondsMidSongNeverStopsTheCountAndItKeepsInStep) {
    startBoth(workspaceWith(16.0));
    QElapsedTimer clock;
    clock.start();
    requestBar(waltz, 1);
    ASSERT_TRUE(client.waitForMessage("QLAB_SELECTED: D-GROUP-WALTZ", answerMs));
    const qint64 startedMs = clock.elapsed();
    ASSERT_TRUE(client.waitForMatch([](const std::string& m) { return m.starts_with("BAR: 2."); },
                                    answerMs));

    // QLab stops dead for five seconds (a heavy load, a network that hangs), then goes on.
    const auto pid = static_cast<pid_t>(qlab.processId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    QElapsedTimer stalled;
    stalled.start();
    while (stalled.elapsed() < 5000)
        client.waitForMatch([](const std::string&) { return false; }, 100);
    ASSERT_EQ(::kill(pid, SIGCONT), 0);

    EXPECT_TRUE(
        carvo.waitForLine(QStringLiteral("QLab is not answering; the count goes on"), answerMs));
    ASSERT_TRUE(carvo.waitForLine(QStringLiteral("QLab is answering again; the count follows it"),
                                  answerMs))
        << carvo.outputLines().join(u'\n').toStdString();
    // Five silent seconds are more than three missed heartbeats: the session was lost and made
    // again, and the count went on across it.
    EXPECT_EQ(carvo.lineCount(QStringLiteral("QLab connection lost")), 1);
    EXPECT_EQ(carvo.lineCount(QStringLiteral("QLab connected: Carvo Demo")), 2);
    // In step with the music: the bar the clients see now is the one 2.0 s bars give.
    const std::size_t from = client.messagesWithPending().size();
    const auto next = client.waitForMatch([](const std::string& m) { return barOf(m).has_value(); },
                                          answerMs, from);
    ASSERT_TRUE(next);
    const int expected = 1 + static_cast<int>((clock.elapsed() - startedMs) / 2000);
    EXPECT_NEAR(*barOf(client.messagesWithPending()[*next]), expected, 1);

    // The count stops when the cue ends, not before.
    ASSERT_TRUE(waitForBar("BAR: 1.1 0", 20000));
    EXPECT_GE(clock.elapsed(), startedMs + 15800);
}

TEST_F(OSCQLab, APasscodeWithoutControlIsSaidAndJumpsAreRefusedWithItsMessage) {
    CarvoSettings settings;
    settings.texts = {{"qlabPasscode", QStringLiteral("1234")}};
    startBoth(workspaceWith(30.0, {{QStringLiteral("passcode"), QStringLiteral("1234")},
                                   {QStringLiteral("passcodeRights"), QStringLiteral("view")}}),
              {}, {}, true, settings);
    const QString message = QStringLiteral(
        "❌ QLab's passcode for workspace \"Carvo Demo\" does not allow control: use a passcode "
        "with control rights");
    ASSERT_TRUE(carvo.waitForLine(message, answerMs));
    requestBar(waltz, 2);
    EXPECT_TRUE(client.waitForMessage("ERROR: " + message.toStdString(), answerMs));
    EXPECT_EQ(carvo.lineCount(message), 1);
    for (const QString& received : qlab.received())
        EXPECT_FALSE(isLoadAt(received, waltz) || isStart(received, waltz))
            << received.toStdString();
}

TEST_F(OSCQLab, AWildcardIDFromAClientIsRefusedAndNeverReachesQLab) {
    startBoth(workspaceWith(30.0));
    client.send("REMOTE_SELECTED: *");
    ASSERT_TRUE(client.waitForMessage("REMOTE_SELECTED: *", answerMs));
    client.send("BAR_REQUEST: 2");
    EXPECT_TRUE(client.waitForMessage("ERROR: no cue selected", answerMs));
    EXPECT_TRUE(waitUntil(
        [&] {
            return carvo.outputLines().filter(QStringLiteral("Refused the cue ID \"*\"")).size() ==
                   1;
        },
        answerMs));
    for (const QString& received : qlab.received())
        EXPECT_FALSE(received.contains(u'*')) << received.toStdString();
}

} // namespace
} // namespace carvo::e2e
