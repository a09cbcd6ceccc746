// The position for lighting and video desks, received by liblo's oscdump (a reader nobody here
// wrote) on the loopback: the cue at a jump, the position at each tick, the stop.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QUdpSocket>

#include "engine_test_support.h"
#include "qlab/osc/osc.h"
#include "qlab/osc/position_sender.h"

namespace carvo::testing {
namespace {

using osc::parsePositionTargets;
using osc::PositionTarget;

TEST(PositionTargets, HostAndPortEntriesBetweenCommasOrBlanks) {
    const auto parsed = parsePositionTargets(
        QStringLiteral(" 127.0.0.1:9000, lights.local:53001\t[::1]:8000 ::1:8000 desk:0 desk "
                       "desk:70000 :9 "));
    EXPECT_EQ(parsed.targets, (std::vector<PositionTarget>{{QStringLiteral("127.0.0.1"), 9000},
                                                           {QStringLiteral("lights.local"), 53001},
                                                           {QStringLiteral("::1"), 8000}}));
    EXPECT_EQ(parsed.refused, (QStringList{QStringLiteral("::1:8000"), QStringLiteral("desk:0"),
                                           QStringLiteral("desk"), QStringLiteral("desk:70000"),
                                           QStringLiteral(":9")}));
    EXPECT_TRUE(parsePositionTargets(QString()).targets.empty());
}

// oscdump on a free UDP port; its lines as they come.
class Oscdump {
public:
    bool start() {
        QUdpSocket probe;
        if (!probe.bind(QHostAddress::LocalHost, 0))
            return false;
        m_port = probe.localPort();
        probe.close();
        m_process.start(QStringLiteral("oscdump"), {QStringLiteral("-L"), QString::number(m_port)});
        if (!m_process.waitForStarted(5000))
            return false;
        // Listening once a probe comes through.
        QUdpSocket sender;
        const auto bytes = osc::encode({"/probe", {}});
        const QByteArray datagram(reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<qsizetype>(bytes.size()));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10'000) {
            sender.writeDatagram(datagram, QHostAddress::LocalHost, m_port);
            if (m_process.waitForReadyRead(100) && m_process.readAll().contains("/probe"))
                return true;
        }
        return false;
    }
    ~Oscdump() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    quint16 port() const { return m_port; }

    // The next count message lines (without oscdump's time stamps), or fewer after 10 s.
    QStringList lines(int count) {
        QElapsedTimer waited;
        waited.start();
        while (m_lines.size() < count && waited.elapsed() < 10'000) {
            QCoreApplication::processEvents();
            m_process.waitForReadyRead(50);
            m_buffer += QString::fromUtf8(m_process.readAll());
            qsizetype end = 0;
            while ((end = m_buffer.indexOf(u'\n')) >= 0) {
                const QString line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                const qsizetype blank = line.indexOf(u' ');
                const QString message = line.mid(blank + 1).trimmed();
                if (!message.startsWith(QStringLiteral("/probe")))
                    m_lines.append(message);
            }
        }
        return m_lines.mid(0, count);
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_buffer;
    QStringList m_lines;
};

TEST(PositionSender, OscdumpReadsTheCueThePositionAndTheStop) {
    if (QStandardPaths::findExecutable(QStringLiteral("oscdump")).isEmpty())
        GTEST_SKIP() << "oscdump (liblo-tools) is not installed";
    // oscdump listens on every address: only where loopback is the only network.
    if (!qEnvironmentVariableIsSet("CARVO_PRIVATE_NETWORK"))
        GTEST_SKIP() << "needs a network namespace of its own (tests/support/private_network.sh)";
    Oscdump oscdump;
    ASSERT_TRUE(oscdump.start());

    EngineHarness harness;
    harness.counter.setCueNames([](const QString&) { return QStringLiteral("Valse \u00e9"); });
    const osc::PositionSender sender(harness.counter,
                                     {{QStringLiteral("127.0.0.1"), oscdump.port()}});

    // Bars of 2.0 s in 4/4, the first numbered 9; the jump starts at index 9, bar 17.
    BarTables tables;
    for (int index = 0; index <= 12; ++index) {
        tables.barStartTimes.push_back(index == 0 ? 0.0F : 2.0F * static_cast<float>(index - 1));
        tables.barBeatCounts.push_back(index == 0 ? 0 : 4);
    }
    FollowedMusic music;
    music.tables = std::make_shared<const BarTables>(tables);
    music.firstBarNumber = 9;
    music.currentBarIndex = 9;
    music.jumpBarTime = 16.0F;
    music.jumpStartTime = harness.now;
    harness.counter.startBarCounter(QStringLiteral("G1"), music);
    // 0.75 s in: beat 2 of bar 17, 0.375 of the bar; then 1.5 s in: beat 4, 0.75.
    harness.tickAt(0.75);
    harness.tickAt(1.5);
    harness.counter.stopBarCounter(true);

    EXPECT_EQ(oscdump.lines(4),
              (QStringList{QStringLiteral("/carvo/cue ss \"G1\" \"Valse \u00e9\""),
                           QStringLiteral("/carvo/position iif 17 2 0.375000"),
                           QStringLiteral("/carvo/position iif 17 4 0.750000"),
                           QStringLiteral("/carvo/stopped")}));
}

TEST(PositionSender, AQuietStopSendsNothing) {
    // A client's handshake stops the counter without a word and starts it again; desks see
    // no stop. Checked on the signals the sender listens to.
    EngineHarness harness;
    int stops = 0;
    QObject::connect(&harness.counter, &BarCounterManager::stoppedWithNotice, [&] { ++stops; });
    harness.counter.stopBarCounter(false);
    EXPECT_EQ(stops, 0);
    harness.counter.stopBarCounter(true);
    EXPECT_EQ(stops, 1);
}

} // namespace
} // namespace carvo::testing
