#include "qlab/osc/command_receiver.h"

#include <algorithm>
#include <optional>

#include <QElapsedTimer>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QVariantMap>

#include "base/diagnostics.h"
#include "engine/numbers.h"
#include "qlab/scripting_commands.h"

namespace carvo::osc {
namespace {

constexpr std::string_view goAddress = "/carvo/go";
constexpr std::string_view chaseAddress = "/carvo/chase";
constexpr std::string_view stopAddress = "/carvo/stop";
constexpr std::string_view bundleMarker = "#bundle";
// Binding port 0 for UDP leaves the same port free for TCP nearly always; a few tries make sure.
constexpr int anyPortAttempts = 8;
// Distinct senders, addresses or faults reported before the receiver falls silent about them.
constexpr qsizetype maxReported = 32;
constexpr qsizetype shownCharacters = 80;

// Text from the network as one harmless console line: no control characters, not too long.
QString printable(std::string_view bytes) {
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (text.size() > shownCharacters)
        text = text.left(shownCharacters) + QStringLiteral("…");
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x2028 || code == 0x2029)
            c = u'?';
    }
    return text;
}

QString describe(const Argument& argument) {
    return std::visit(
        [](const auto& value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, std::int64_t>)
                return QString::number(value);
            else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
                return QString::fromStdString(shortestDecimal(value));
            else if constexpr (std::is_same_v<T, std::string>)
                return QLatin1Char('"') + printable(value) + QLatin1Char('"');
            else if constexpr (std::is_same_v<T, Blob>)
                return QStringLiteral("a blob of %1 bytes").arg(value.size());
            else if constexpr (std::is_same_v<T, True>)
                return QStringLiteral("true");
            else if constexpr (std::is_same_v<T, False>)
                return QStringLiteral("false");
            else
                return QStringLiteral("nil");
        },
        argument);
}

QString describe(const std::vector<Argument>& arguments) {
    QStringList parts;
    for (const Argument& argument : arguments)
        parts.append(describe(argument));
    return parts.join(QLatin1Char(' '));
}

// A bar as a Network cue writes it: an integer argument, or text of a whole number.
std::optional<qint64> barOf(const Argument& argument) {
    if (const auto number = integerOf(argument))
        return *number;
    if (const auto* text = std::get_if<std::string>(&argument))
        return parseStrictInt64(*text);
    return std::nullopt;
}

// IPv4 senders reach a dual-stack socket as mapped IPv6 addresses; compare them as IPv4.
QHostAddress comparable(QHostAddress address) {
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(ipv4);
    address.setScopeId(QString());
    return address;
}

bool namesThisMachine(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && comparable(address).isLoopback();
}

} // namespace

// One accepted TCP sender: its socket, the packets its stream frames, and how long it has been
// silent.
class CommandReceiver::Stream : public QObject {
public:
    Stream(QTcpSocket* socket, std::chrono::milliseconds idleTimeout, QObject* parent)
        : QObject(parent), m_socket(socket), m_decoder(maxPacketBytes) {
        m_socket->setParent(this);
        // Qt reads no further ahead than this; the decoder holds at most one packet.
        m_socket->setReadBufferSize(static_cast<qint64>(4 * maxPacketBytes));
        m_idle.setSingleShot(true);
        m_idle.setInterval(idleTimeout);
        m_idle.start();
        m_lastHeard.start();
    }

    QTcpSocket* m_socket;
    SlipDecoder m_decoder;
    QTimer m_idle;
    QElapsedTimer m_lastHeard;
    bool m_heardAnything = false;
};

CommandReceiver::CommandReceiver(ScriptingCommands& commands, QObject* parent)
    : QObject(parent), m_commands(commands) {}

CommandReceiver::~CommandReceiver() {
    close();
}

bool CommandReceiver::listen(quint16 port, const QString& qlabHost) {
    close();
    m_qlabHost = qlabHost.trimmed();
    m_remoteSenders = !m_qlabHost.isEmpty() && !namesThisMachine(m_qlabHost);

    QString problem;
    quint16 bound = port;
    for (int attempt = 0; attempt < (port == 0 ? anyPortAttempts : 1); ++attempt) {
        bound = port;
        if (m_remoteSenders) {
            problem = open(QHostAddress::Any, bound);
        } else {
            problem = open(QHostAddress::LocalHost, bound);
            // QLab may resolve "localhost" to IPv6; a machine without ::1 still has 127.0.0.1.
            if (problem.isEmpty()) {
                const QString ipv6 = open(QHostAddress::LocalHostIPv6, bound);
                if (!ipv6.isEmpty())
                    writeLine(QStringLiteral("OSC commands: not on ::1 (") + ipv6 +
                              QLatin1Char(')'));
            }
        }
        if (problem.isEmpty())
            break;
        closeSockets();
    }
    if (!problem.isEmpty()) {
        consoleLine(QStringLiteral("❌ Cannot receive OSC commands on port ") +
                    QString::number(port) + QStringLiteral(": ") + problem);
        return false;
    }
    m_port = bound;
    if (m_remoteSenders)
        lookUpQLabHost(m_qlabHost);
    consoleLine(QStringLiteral("📡 OSC commands on port ") + QString::number(m_port) +
                QStringLiteral(" (UDP and TCP) from this machine") +
                (m_remoteSenders ? QStringLiteral(" and QLab's host ") + m_qlabHost
                                 : QStringLiteral(" only")));
    return true;
}

QString CommandReceiver::open(const QHostAddress& address, quint16& port) {
    auto* udp = new QUdpSocket(this);
    // Not shared: a port another program holds (QLab's own, say) fails here instead of
    // taking some of its datagrams.
    if (!udp->bind(address, port, QAbstractSocket::DontShareAddress)) {
        QString problem = QStringLiteral("UDP: ") + udp->errorString();
        delete udp;
        return problem;
    }
    auto* tcp = new QTcpServer(this);
    if (!tcp->listen(address, udp->localPort())) {
        QString problem = QStringLiteral("TCP: ") + tcp->errorString();
        delete tcp;
        delete udp;
        return problem;
    }
    port = udp->localPort();
    connect(udp, &QUdpSocket::readyRead, this, [this, udp] { readDatagrams(*udp); });
    connect(tcp, &QTcpServer::newConnection, this, [this, tcp] { acceptConnections(*tcp); });
    m_udp.push_back(udp);
    m_tcp.push_back(tcp);
    return {};
}

void CommandReceiver::close() {
    if (m_hostLookup >= 0)
        QHostInfo::abortHostLookup(m_hostLookup);
    m_hostLookup = -1;
    m_qlabAddresses.clear();
    while (!m_streams.empty())
        closeStream(m_streams.front());
    closeSockets();
    m_port = 0;
}

void CommandReceiver::closeSockets() {
    // Closed now, so the port is free for the next listen; deleted once no signal is running.
    for (QUdpSocket* udp : m_udp) {
        udp->disconnect(this);
        udp->close();
        udp->deleteLater();
    }
    for (QTcpServer* tcp : m_tcp) {
        tcp->disconnect(this);
        tcp->close();
        tcp->deleteLater();
    }
    m_udp.clear();
    m_tcp.clear();
}

bool CommandReceiver::isListening() const {
    return !m_udp.empty();
}

void CommandReceiver::lookUpQLabHost(const QString& host) {
    const QHostAddress numeric(host);
    if (!numeric.isNull()) {
        m_qlabAddresses = {numeric};
        return;
    }
    m_hostLookup = QHostInfo::lookupHost(host, this, [this, host](const QHostInfo& info) {
        m_hostLookup = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            consoleLine(QStringLiteral("❌ QLab's host ") + host + QStringLiteral(" not found (") +
                        info.errorString() +
                        QStringLiteral("): OSC commands are taken from this machine only"));
            return;
        }
        m_qlabAddresses = info.addresses();
    });
}

bool CommandReceiver::accepts(const QHostAddress& sender) {
    const QHostAddress address = comparable(sender);
    if (address.isLoopback())
        return true;
    for (const QHostAddress& qlab : std::as_const(m_qlabAddresses)) {
        if (comparable(qlab) == address)
            return true;
    }
    reportOnce(m_droppedSenders, address.toString(),
               QStringLiteral("🚫 OSC commands from ") + address.toString() +
                   QStringLiteral(" dropped: only this machine and QLab's host (setting "
                                  "\"qlabHost\") may send them"));
    return false;
}

void CommandReceiver::readDatagrams(QUdpSocket& socket) {
    while (socket.hasPendingDatagrams()) {
        // One byte more than a packet may have, so a longer datagram shows as too long.
        const QNetworkDatagram datagram =
            socket.receiveDatagram(static_cast<qint64>(maxPacketBytes) + 1);
        if (!datagram.isValid())
            break;
        if (!accepts(datagram.senderAddress()))
            continue;
        const QByteArray data = datagram.data();
        receivePacket({data.constData(), static_cast<std::size_t>(data.size())});
    }
}

void CommandReceiver::acceptConnections(QTcpServer& listener) {
    while (QTcpSocket* socket = listener.nextPendingConnection()) {
        if (!accepts(socket->peerAddress())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (connectionCount() >= maxConnections) {
            // The sender silent longest makes room: a new sender is never locked out.
            Stream* quietest = *std::max_element(
                m_streams.begin(), m_streams.end(), [](const Stream* a, const Stream* b) {
                    return a->m_lastHeard.elapsed() < b->m_lastHeard.elapsed();
                });
            writeLine(QStringLiteral("OSC commands: connection from ") +
                      quietest->m_socket->peerAddress().toString() +
                      QStringLiteral(" closed to make room for a new one"));
            closeStream(quietest);
        }
        auto* stream = new Stream(socket, m_idleTimeout, this);
        m_streams.push_back(stream);
        connect(socket, &QTcpSocket::readyRead, stream, [this, stream] { readStream(*stream); });
        // A sender that writes and closes at once is still heard: what it sent is read first.
        const auto end = [this, stream] {
            readStream(*stream);
            closeStream(stream);
        };
        connect(socket, &QTcpSocket::disconnected, stream, end);
        connect(socket, &QTcpSocket::errorOccurred, stream, end);
        connect(&stream->m_idle, &QTimer::timeout, stream, [this, stream] { closeStream(stream); });
        if (socket->bytesAvailable() > 0)
            readStream(*stream);
    }
}

void CommandReceiver::readStream(Stream& stream) {
    const QByteArray bytes = stream.m_socket->readAll();
    if (bytes.isEmpty())
        return;
    stream.m_idle.start();
    stream.m_lastHeard.restart();
    // SLIP's END byte is 0xC0; liblo's and others' default TCP framing begins with a length.
    if (!stream.m_heardAnything && bytes.front() == '\0')
        reportOnce(m_badPackets, QStringLiteral("length prefix"),
                   QStringLiteral("OSC over TCP from ") +
                       stream.m_socket->peerAddress().toString() +
                       QStringLiteral(" looks length-prefixed; Carvo takes SLIP framing (OSC "
                                      "1.1) or UDP"));
    stream.m_heardAnything = true;
    for (const std::string& packet :
         stream.m_decoder.feed({bytes.constData(), static_cast<std::size_t>(bytes.size())}))
        receivePacket(packet);
}

void CommandReceiver::closeStream(Stream* stream) {
    const auto found = std::find(m_streams.begin(), m_streams.end(), stream);
    if (found == m_streams.end())
        return;
    m_streams.erase(found);
    stream->m_idle.stop();
    stream->m_socket->disconnect(stream);
    stream->m_socket->abort();
    // Later: this may run inside one of the stream's own signals.
    stream->deleteLater();
}

void CommandReceiver::receivePacket(std::string_view packet) {
    if (packet.size() > maxPacketBytes) {
        reportOnce(m_badPackets, QStringLiteral("too long"),
                   QStringLiteral("OSC packet of more than ") + QString::number(maxPacketBytes) +
                       QStringLiteral(" bytes dropped"));
        return;
    }
    if (packet.starts_with(bundleMarker)) {
        reportOnce(m_badPackets, QStringLiteral("bundle"),
                   QStringLiteral("OSC bundle dropped: Carvo takes each command as a message of "
                                  "its own"));
        return;
    }
    auto message = decode(packet);
    if (!message) {
        reportOnce(m_badPackets, QStringLiteral("malformed"),
                   QStringLiteral("OSC packet dropped: not a well-formed OSC message"));
        return;
    }
    enqueue(std::move(*message));
}

void CommandReceiver::enqueue(Message message) {
    if (m_queued >= maxQueuedMessages) {
        if (!m_queueFullReported)
            consoleLine(QStringLiteral("❌ OSC commands arrive faster than Carvo can act on them; "
                                       "some were dropped"));
        m_queueFullReported = true;
        return;
    }
    ++m_queued;
    // Acted on after the reading has returned, so a command that holds the main thread (QLab's
    // bar dialog) holds no socket in the middle of a read.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            if (--m_queued == 0)
                m_queueFullReported = false;
            dispatch(message);
        },
        Qt::QueuedConnection);
}

void CommandReceiver::dispatch(const Message& message) {
    if (message.address == goAddress)
        go(message.arguments);
    else if (message.address == chaseAddress)
        chase(message.arguments);
    else if (message.address == stopAddress)
        m_commands.stop(); // arguments, if any, do not matter
    else
        reportOnce(m_unknownAddresses, QString::fromStdString(message.address),
                   QStringLiteral("OSC address ") + printable(message.address) +
                       QStringLiteral(" ignored: Carvo takes /carvo/go, /carvo/chase and "
                                      "/carvo/stop"));
    emit dispatched();
}

void CommandReceiver::go(const std::vector<Argument>& arguments) {
    if (arguments.empty()) {
        m_commands.go({}); // its answer "Carvo!" has nowhere to go over OSC
        return;
    }
    const auto bar = arguments.size() == 1 ? barOf(arguments.front()) : std::nullopt;
    if (!bar) {
        consoleLine(QStringLiteral("❌ /carvo/go takes one whole bar number, not ") +
                    describe(arguments) + QStringLiteral(": no jump"));
        return;
    }
    m_commands.goToBar(*bar);
}

void CommandReceiver::chase(const std::vector<Argument>& arguments) {
    const auto* cueID =
        arguments.size() == 1 ? std::get_if<std::string>(&arguments.front()) : nullptr;
    if (!cueID) {
        m_commands.chase({}); // which says that no cue ID came
        return;
    }
    m_commands.chase({{QStringLiteral("cueId"), QString::fromStdString(*cueID)}});
}

void CommandReceiver::reportOnce(QSet<QString>& seen, const QString& key, const QString& line) {
    if (seen.size() >= maxReported || seen.contains(key))
        return;
    seen.insert(key);
    consoleLine(seen.size() == maxReported ? line + QStringLiteral(" (further ones unreported)")
                                           : line);
}

} // namespace carvo::osc
