#include <csignal>
#include <memory>
#include <optional>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "base/settings.h"
#include "support/signal_child.h"

namespace carvo {
namespace {

constexpr int timeoutMs = 10000;

quint16 freeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The carvo executable, run headless on a port and a settings folder of the test's own.
class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsFolder.isValid());
        port = freeLoopbackPort();
        ASSERT_NE(port, 0);
    }

    void TearDown() override {
        if (carvo.state() != QProcess::NotRunning) {
            carvo.kill();
            carvo.waitForFinished(timeoutMs);
        }
    }

    void start(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
               int descriptorLimit = 0) {
        carvo.setProcessEnvironment(environment);
        carvo.setProcessChannelMode(QProcess::MergedChannels);
        // Without the stage display, whose listener would take a descriptor and its port.
        const QStringList arguments = {QStringLiteral("--headless"),
                                       QStringLiteral("--port"),
                                       portText(),
                                       QStringLiteral("--settings-dir"),
                                       settingsFolder.path(),
                                       QStringLiteral("--display-port"),
                                       QStringLiteral("0")};
        if (descriptorLimit > 0)
            carvo.start(
                QStringLiteral("/bin/sh"),
                QStringList{
                    QStringLiteral("-c"),
                    QStringLiteral("ulimit -n %1 && exec \"$0\" \"$@\"").arg(descriptorLimit),
                    QStringLiteral(CARVO_EXECUTABLE)} +
                    arguments);
        else
            carvo.start(QStringLiteral(CARVO_EXECUTABLE), arguments);
        ASSERT_TRUE(carvo.waitForStarted(timeoutMs));
    }

    // Waits until the output has a line that starts with prefix.
    bool waitForLine(const QString& prefix) {
        return QTest::qWaitFor(
            [&] {
                output += QString::fromUtf8(carvo.readAll());
                return output.startsWith(prefix) || output.contains(QLatin1Char('\n') + prefix);
            },
            timeoutMs);
    }

    // Sends a signal and waits for a clean exit.
    void stopWith(int signal) {
        ASSERT_TRUE(testing::signalChild(carvo.processId(), signal))
            << "carvo is no longer running";
        ASSERT_TRUE(carvo.waitForFinished(timeoutMs));
        output += QString::fromUtf8(carvo.readAll());
    }

    QString portText() const { return QString::number(port); }

    // Starts carvo and connects client once the server is ready; returns when carvo has taken it.
    void startAndConnect(QTcpSocket& client) {
        start();
        ASSERT_TRUE(waitForLine(QStringLiteral("✅ Server is ready on 127.0.0.1:") + portText()))
            << output.toStdString();
        client.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(client.waitForConnected(timeoutMs));
        ASSERT_TRUE(waitForLine(QStringLiteral("Connection ready: 127.0.0.1:") +
                                QString::number(client.localPort())));
    }

    QTemporaryDir settingsFolder;
    quint16 port = 0;
    QProcess carvo;
    QString output;
};

class HeadlessSignals : public Headless, public ::testing::WithParamInterface<int> {};

TEST_P(HeadlessSignals, ServesOnTheLoopbackAndEndsCleanlyOnTheSignal) {
    QTcpSocket client;
    ASSERT_NO_FATAL_FAILURE(startAndConnect(client));

    stopWith(GetParam());
    EXPECT_EQ(carvo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(carvo.exitCode(), 0);
    EXPECT_TRUE(output.contains(QStringLiteral("🛑 Server stopped"))) << output.toStdString();

    // The client lost its connection and the port is free again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; },
                                timeoutMs));
    QTcpServer next;
    EXPECT_TRUE(next.listen(QHostAddress::LocalHost, port));
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, HeadlessSignals, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& param) {
                             return std::string(param.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

// What an operator without a window needs: the console's lines among standard output's, once
// each, refusals included.
TEST_F(Headless, TheConsoleGoesToStandardOutput) {
    QTcpSocket client;
    ASSERT_NO_FATAL_FAILURE(startAndConnect(client));
    // Nothing selected yet: QLab refuses, which the operator sees as a dialog and in the console.
    client.write("BAR_REQUEST: 5");
    ASSERT_TRUE(client.waitForBytesWritten(timeoutMs));
    EXPECT_TRUE(waitForLine(QStringLiteral("ERROR: no cue selected\n"))) << output.toStdString();
    stopWith(SIGTERM);
    EXPECT_EQ(output.count(QStringLiteral("✅ Server is ready on")), 1) << output.toStdString();
    EXPECT_EQ(output.count(QStringLiteral("Connection ready: ")), 1) << output.toStdString();
}

// User and system CPU seconds the process has used so far (Linux's /proc).
std::optional<double> cpuSecondsOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = stat.readAll();
    // The fields after the command name in parentheses: state is the 3rd, utime the 14th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Out of file descriptors (a 256-file limit is macOS's default for applications), accepting
// rests instead of spinning, and takes clients again as soon as some descriptors are free.
TEST_F(Headless, OutOfDescriptorsAcceptingRestsAndResumes) {
    if (!QFile::exists(QStringLiteral("/proc/self/stat")))
        GTEST_SKIP() << "reads the process's CPU time from /proc";
#if defined(__SANITIZE_ADDRESS__)
    // The undefined-behaviour sanitizer checks an object's dynamic type by asking whether its
    // vtable is readable, which it finds out through a pipe of its own: in a process that has
    // used up its descriptors the pipe cannot be made, so every virtual call on a QObject is
    // reported as one on an object with an invalid vptr, although the object is sound (its
    // vptr is the one it was built with). The case runs in the plain build.
    GTEST_SKIP() << "the sanitizers' own checks need descriptors this case uses up";
#endif
    start(QProcessEnvironment::systemEnvironment(), 64);
    ASSERT_TRUE(waitForLine(QStringLiteral("✅ Server is ready on 127.0.0.1:") + portText()))
        << output.toStdString();
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 80; ++i) {
        auto& client = *crowd.emplace_back(std::make_unique<QTcpSocket>());
        client.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(client.waitForConnected(timeoutMs)); // the system's queue takes it
    }
    ASSERT_TRUE(waitForLine(QStringLiteral("❌ Cannot accept a client: "))) << output.toStdString();

    const auto before = cpuSecondsOf(carvo.processId());
    QTest::qWait(2000);
    const auto after = cpuSecondsOf(carvo.processId());
    ASSERT_TRUE(before && after);
    // Spinning takes a whole core (or what a busy machine leaves of one); resting next to none.
    EXPECT_LT(*after - *before, 0.25);

    crowd.clear();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(client.waitForConnected(timeoutMs));
    client.write("HANDSHAKE_REQUEST");
    QByteArray received;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            received += client.readAll();
            return received.contains("HANDSHAKE_RESPONSE");
        },
        2 * timeoutMs))
        << output.toStdString();
    stopWith(SIGTERM);
}

// --help and --version print and end, with or without a display.
TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h"),
                                  QStringLiteral("--version"), QStringLiteral("-v")}) {
        QProcess carvo;
        carvo.setProcessEnvironment(environment);
        carvo.setProcessChannelMode(QProcess::MergedChannels);
        carvo.start(QStringLiteral(CARVO_EXECUTABLE), {option});
        ASSERT_TRUE(carvo.waitForFinished(timeoutMs)) << option.toStdString();
        const QString printed = QString::fromUtf8(carvo.readAll());
        EXPECT_EQ(carvo.exitStatus(), QProcess::NormalExit) << option.toStdString();
        EXPECT_EQ(carvo.exitCode(), 0) << option.toStdString() << printed.toStdString();
        if (option.contains(QLatin1Char('h')))
            EXPECT_TRUE(printed.contains(QStringLiteral("--headless"))) << printed.toStdString();
        else
            EXPECT_TRUE(printed.startsWith(QStringLiteral("Carvo "))) << printed.toStdString();
    }
}

TEST_F(Headless, AStoredInterfaceThatIsGoneLeavesTheServerStopped) {
    Settings(settingsFolder.path()).setStoredInterfaceName(QStringLiteral("unplugged9"));
    start();
    // This machine has no "lo1" to fall back to unless its administrator made one.
    ASSERT_TRUE(waitForLine(QStringLiteral("❌ No suitable interface found.")) ||
                output.contains(QStringLiteral("name: lo1,")))
        << output.toStdString();
    stopWith(SIGTERM);
    EXPECT_EQ(carvo.exitCode(), 0);
}

TEST_F(Headless, RunsUnannouncedWhenNoDNSSDDaemonIsReachable) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                       QStringLiteral("unix:path=/nonexistent/carvo-test-bus"));
    start(environment);
    ASSERT_TRUE(waitForLine(QStringLiteral("DNS-SD registration"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("Bonjour service published")));

    QTcpSocket client; // the server itself runs on
    client.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(client.waitForConnected(timeoutMs));
    stopWith(SIGTERM);
    EXPECT_EQ(carvo.exitCode(), 0);
    EXPECT_EQ(output.count(QStringLiteral("DNS-SD registration")), 1) << output.toStdString();
}

// Entries of `avahi-browse -rpt _Carvo._tcp` resolved for our port.
QStringList browseCarvo(quint16 port, QString* failure) {
    QProcess browse;
    browse.start(QStringLiteral("avahi-browse"),
                 {QStringLiteral("-rpt"), QStringLiteral("_Carvo._tcp")});
    if (!browse.waitForFinished(timeoutMs) || browse.exitCode() != 0) {
        *failure = QString::fromUtf8(browse.readAllStandardError());
        return {};
    }
    QStringList found;
    for (const auto& line : QString::fromUtf8(browse.readAllStandardOutput()).split('\n')) {
        // =;interface;protocol;name;type;domain;host;address;port;txt
        const QStringList fields = line.split(QLatin1Char(';'));
        if (fields.size() >= 9 && fields[0] == QLatin1String("=") &&
            fields[8] == QString::number(port))
            found.append(line);
    }
    return found;
}

TEST_F(Headless, TheAnnouncementIsVisibleToDNSSDBrowsersUntilTheServerStops) {
    if (QStandardPaths::findExecutable(QStringLiteral("avahi-browse")).isEmpty())
        GTEST_SKIP() << "avahi-browse is not installed (package avahi-utils)";
    start();
    ASSERT_TRUE(waitForLine(QStringLiteral("✅ Server is ready on "))) << output.toStdString();
    const bool published =
        waitForLine(QStringLiteral("Bonjour service published on port ") + portText()) ||
        output.contains(QStringLiteral("Bonjour service published on port ") + portText());
    if (!published) {
        GTEST_SKIP() << "no DNS-SD daemon reachable on this machine (start dbus-daemon --system "
                        "and avahi-daemon): "
                     << output.toStdString();
    }

    QString failure;
    QStringList entries;
    // The daemon answers once it has probed the name; browse until it is there.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            entries = browseCarvo(port, &failure);
            return !entries.isEmpty() || !failure.isEmpty();
        },
        3 * timeoutMs));
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    for (const auto& entry : entries) {
        const QStringList fields = entry.split(QLatin1Char(';'));
        // "Carvo Server (2)" and so on while another server on this host holds the name.
        EXPECT_TRUE(fields[3] == QStringLiteral("Carvo\\032Server") ||
                    fields[3].startsWith(QStringLiteral("Carvo\\032Server\\032\\040")))
            << entry.toStdString();
        EXPECT_EQ(fields[4], QStringLiteral("_Carvo._tcp"));
        EXPECT_EQ(fields[5], QStringLiteral("local"));
    }

    stopWith(SIGTERM);
    EXPECT_EQ(carvo.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return browseCarvo(port, &failure).isEmpty(); }, timeoutMs))
        << "the announcement outlived the server";
}

} // namespace
} // namespace carvo
