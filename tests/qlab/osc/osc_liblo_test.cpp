// Carvo's OSC against liblo's command-line tools, an implementation nobody here wrote: oscsend's
// bytes must be Carvo's bytes, and oscdump must read what Carvo sends over UDP and SLIP-framed
// TCP. oscdump listens on every address of its network, so those cases run only inside a private
// network namespace where loopback is all there is (tests/support/private_network.sh).

#include "qlab/osc/osc.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>

namespace carvo::osc {
namespace {

QString tool(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

bool inPrivateNetwork() {
    return qEnvironmentVariableIsSet("CARVO_PRIVATE_NETWORK");
}

QByteArray bytesOf(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

TEST(OSCAgainstLiblo, OscsendWritesTheBytesCarvoWritesAndReads) {
    if (tool("oscsend").isEmpty())
        GTEST_SKIP() << "oscsend (liblo-tools) is not installed";
    const Message message{"/cue_id/6A3B-11/loadAt",
                          {std::int32_t{-7}, std::int64_t{5'000'000'000}, 12.5F, 0.1,
                           std::string("Overture, bar 17"), True{}, False{}, Nil{}}};
    QProcess oscsend;
    oscsend.start(tool("oscsend"), {"-", "/cue_id/6A3B-11/loadAt", "ihfdsTFN", "-7", "5000000000",
                                    "12.5", "0.1", "Overture, bar 17"});
    ASSERT_TRUE(oscsend.waitForFinished(10'000));
    ASSERT_EQ(oscsend.exitCode(), 0) << oscsend.readAllStandardError().toStdString();
    const QByteArray liblo = oscsend.readAllStandardOutput();

    EXPECT_EQ(liblo, bytesOf(encode(message)));
    EXPECT_EQ(decode(std::string_view(liblo.constData(), static_cast<std::size_t>(liblo.size()))),
              message);
}

// oscdump on a port of loopback, its lines without their time stamps.
class Oscdump {
public:
    explicit Oscdump(const QString& where) {
        m_process.start(tool("oscdump"), {"-L", where});
        m_started = m_process.waitForStarted(10'000);
        QThread::msleep(300); // until its socket is bound; it prints nothing before
    }
    ~Oscdump() {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
    Oscdump(const Oscdump&) = delete;
    Oscdump& operator=(const Oscdump&) = delete;

    bool started() const { return m_started; }

    QStringList lines(int count) {
        QStringList out;
        QElapsedTimer timer;
        timer.start();
        while (out.size() < count && timer.elapsed() < 10'000) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(200))
                continue;
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                out << line.section(QLatin1Char(' '), 1); // drop the time stamp
            }
        }
        return out;
    }

private:
    QProcess m_process;
    bool m_started = false;
};

const QStringList expectedDump = {
    QStringLiteral("/workspace/W1/cue_id/6A3B/loadAt f 12.500000"),
    // oscdump prints strings in quotes without escaping the quotes inside.
    QStringLiteral("/reply/cue_id/6A3B/start is 3 \"caf\u00e9 \"quoted\"\""),
    QStringLiteral("/carvo/flags TFNhd #T #F Nil -9 2.250000"),
};

std::vector<Message> messagesToDump() {
    return {{"/workspace/W1/cue_id/6A3B/loadAt", {12.5F}},
            {"/reply/cue_id/6A3B/start", {std::int32_t{3}, std::string("caf\xc3\xa9 \"quoted\"")}},
            {"/carvo/flags", {True{}, False{}, Nil{}, std::int64_t{-9}, 2.25}}};
}

TEST(OSCAgainstLiblo, OscdumpReadsWhatCarvoSendsOverUdp) {
    if (tool("oscdump").isEmpty() || !inPrivateNetwork())
        GTEST_SKIP() << "needs oscdump and a private network namespace";
    Oscdump dump(QStringLiteral("57131"));
    ASSERT_TRUE(dump.started());
    QUdpSocket socket;
    for (const Message& message : messagesToDump())
        socket.writeDatagram(bytesOf(encode(message)), QHostAddress::LocalHost, 57131);
    EXPECT_EQ(dump.lines(3).join(u'\n').toStdString(), expectedDump.join(u'\n').toStdString());
}

TEST(OSCAgainstLiblo, OscdumpReadsCarvosSLIPFramesOverTCP) {
    if (tool("oscdump").isEmpty() || !inPrivateNetwork())
        GTEST_SKIP() << "needs oscdump and a private network namespace";
    Oscdump dump(QStringLiteral("osc.tcp://:57132"));
    ASSERT_TRUE(dump.started());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, 57132);
    ASSERT_TRUE(socket.waitForConnected(5'000));
    // All three in one write: the framing alone must separate them.
    QByteArray stream;
    for (const Message& message : messagesToDump()) {
        const auto bytes = encode(message);
        stream += bytesOf(
            slipFrame(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
    }
    socket.write(stream);
    ASSERT_TRUE(socket.waitForBytesWritten(5'000));
    EXPECT_EQ(dump.lines(3).join(u'\n').toStdString(), expectedDump.join(u'\n').toStdString());
}

} // namespace
} // namespace carvo::osc
