#include "qlab/osc/command_receiver.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QUrl>
#include <QVariantMap>

#include "base/diagnostics.h"
#include "base/numbers.h"
#include "base/text.h"
#include "qlab/osc/slip_stream.h"
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

// Text that does not read as a number, whole or not, names a rehearsal mark.
std::optional<QString> markOf(const Argument& argument) {
    const auto* text = std::get_if<std::string>(&argument);
    if (!text)
        return std::nullopt;
    const QString name = QString::fromStdString(*text);
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || parseStrictDouble(toUtf8(trimmed)))
        return std::nullopt;
    return name;
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
        : QObject(parent), m_socket(socket), m_reader(maxPacketBytes),
          m_peer(comparable(socket->peerAddress())) {
        m_socket->setParent(this);
        // Qt reads no further ahead than this; the decoder holds at most one packet.
        m_socket->setReadBufferSize(static_cast<qint64>(4 * maxPacketBytes));
        m_idle.setSingleShot(true);
        m_idle.setInterval(idleTimeout);
        m_lastHeard.start();
    }

    QTcpSocket* m_socket;
    SlipStreamReader m_reader;
    QHostAddress m_peer;
    QTimer m_idle;
    QElapsedTimer m_lastHeard;
    bool m_fromQLab = false; // verified as QLab's host: never closed to make room for others
};

CommandReceiver::CommandReceiver(ScriptingCommands& commands, QObject* parent)
    : QObject(parent), m_commands(commands) {}

CommandReceiver::~CommandReceiver() {
    close();
}

void CommandReceiver::setResolver(Resolve resolve) {
    m_resolve = resolve ? std::move(resolve) : Resolve(resolveWithTheSystem);
}

void CommandReceiver::resolveWithTheSystem(
    const QString& host,
    std::function<void(const QList<QHostAddress>& addresses, const QString& problem)> done) {
    // Answers come back through an object of the main thread (the first caller's) that outlives
    // every receiver and the application; a lookup that never ends holds its own thread only,
    // never the process's exit.
    static QObject* const relay = new QObject; // the main thread's; never deleted
    std::thread([name = QUrl::toAce(host).toStdString(), done = std::move(done)]() mutable {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
        QList<QHostAddress> addresses;
        QString problem;
        if (status != 0) {
            problem = QString::fromLocal8Bit(::gai_strerror(status));
        } else {
            for (const addrinfo* entry = found; entry; entry = entry->ai_next)
                addresses.append(QHostAddress(entry->ai_addr));
            ::freeaddrinfo(found);
        }
        QMetaObject::invokeMethod(
            relay, [done = std::move(done), addresses, problem] { done(addresses, problem); },
            Qt::QueuedConnection);
    }).detach();
}

bool CommandReceiver::listen(quint16 port, const QString& qlabHost) {
    close();
    m_qlabHost = qlabHost.trimmed();
    m_remoteSenders = !m_qlabHost.isEmpty() && !namesThisMachine(m_qlabHost);

    QString problem;
    quint16 bound = port;
    for (int attempt = 0; attempt < (port == 0 ? anyPortAttempts : 1); ++attempt) {
        bound = port;
        // UDP on the loopback whoever may send: a datagram's sender address is the sender's
        // word. TCP on every address when QLab's host is another machine.
        problem = open(QHostAddress::LocalHost,
                       m_remoteSenders ? QHostAddress(QHostAddress::Any) : QHostAddress::LocalHost,
                       bound);
        // QLab may resolve "localhost" to IPv6; a machine without ::1 still has 127.0.0.1.
        if (problem.isEmpty()) {
            const QString ipv6 =
                open(QHostAddress::LocalHostIPv6,
                     m_remoteSenders ? QHostAddress() : QHostAddress::LocalHostIPv6, bound);
            if (!ipv6.isEmpty())
                writeLine(QStringLiteral("OSC commands: not on ::1 (") + ipv6 + QLatin1Char(')'));
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
    consoleLine(QStringLiteral("📡 OSC commands on port ") + QString::number(m_port) +
                QStringLiteral(" (UDP and TCP) from this machine") +
                (m_remoteSenders ? QStringLiteral(" and over TCP from QLab's host ") + m_qlabHost
                                 : QStringLiteral(" only")));
    return true;
}

QString CommandReceiver::open(const QHostAddress& udpAddress, const QHostAddress& tcpAddress,
                              quint16& port) {
    auto* udp = new QUdpSocket(this);
    // Not shared: a port another program holds (QLab's own, say) fails here instead of
    // taking some of its datagrams.
    if (!udp->bind(udpAddress, port, QAbstractSocket::DontShareAddress)) {
        QString problem = QStringLiteral("UDP: ") + udp->errorString();
        delete udp;
        return problem;
    }
    QTcpServer* tcp = nullptr;
    if (!tcpAddress.isNull()) {
        tcp = new QTcpServer(this);
        if (!tcp->listen(tcpAddress, udp->localPort())) {
            QString problem = QStringLiteral("TCP: ") + tcp->errorString();
            delete tcp;
            delete udp;
            return problem;
        }
        connect(tcp, &QTcpServer::newConnection, this, [this, tcp] { acceptConnections(*tcp); });
        m_tcp.push_back(tcp);
    }
    port = udp->localPort();
    connect(udp, &QUdpSocket::readyRead, this, [this, udp] { readDatagrams(*udp); });
    m_udp.push_back(udp);
    return {};
}

void CommandReceiver::close() {
    // Answers of a lookup still in flight no longer concern anyone.
    m_lookupInFlight = false;
    ++m_lookupGeneration;
    while (!m_awaitingLookup.empty())
        closeStream(m_awaitingLookup.front());
    while (!m_awaitingNextLookup.empty())
        closeStream(m_awaitingNextLookup.front());
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

void CommandReceiver::dropSender(const QHostAddress& address, const QString& why) {
    reportOnce(m_droppedSenders, address.toString(),
               QStringLiteral("🚫 OSC commands from ") + address.toString() +
                   QStringLiteral(" dropped: ") + why);
}

void CommandReceiver::readDatagrams(QUdpSocket& socket) {
    while (socket.hasPendingDatagrams()) {
        // One byte more than a packet may have, so a longer datagram shows as too long.
        const QNetworkDatagram datagram =
            socket.receiveDatagram(static_cast<qint64>(maxPacketBytes) + 1);
        if (!datagram.isValid())
            break;
        const QHostAddress sender = comparable(datagram.senderAddress());
        if (!sender.isLoopback()) {
            dropSender(sender, QStringLiteral("over UDP only this machine may send them (QLab's "
                                              "host sends over TCP)"));
            continue;
        }
        const QByteArray data = datagram.data();
        receivePacket({data.constData(), static_cast<std::size_t>(data.size())});
    }
}

void CommandReceiver::acceptConnections(QTcpServer& listener) {
    while (QTcpSocket* socket = listener.nextPendingConnection()) {
        auto* stream = new Stream(socket, m_idleTimeout, this);
        if (stream->m_peer.isLoopback()) {
            admit(stream);
            continue;
        }
        if (!m_remoteSenders) {
            dropSender(stream->m_peer, QStringLiteral("only this machine may send them"));
            socket->abort();
            stream->deleteLater();
            continue;
        }
        if (static_cast<int>(m_awaitingLookup.size() + m_awaitingNextLookup.size()) >=
            maxUnverified) {
            writeLine(QStringLiteral("OSC commands: connection from ") + stream->m_peer.toString() +
                      QStringLiteral(" closed: too many wait for the lookup of QLab's host"));
            socket->abort();
            stream->deleteLater();
            continue;
        }
        verify(stream);
    }
}

void CommandReceiver::verify(Stream* stream) {
    // Whatever it sends waits, unread, until its sender is known to be QLab's host, even if it
    // has closed meanwhile (a Network cue may send and close at once); the lookup's time limit
    // bounds the wait.
    const QHostAddress numeric(m_qlabHost);
    if (!numeric.isNull()) {
        m_awaitingLookup.push_back(stream);
        lookupAnswered({numeric}, {});
        return;
    }
    if (m_lookupInFlight) {
        m_awaitingNextLookup.push_back(stream);
        return;
    }
    m_awaitingLookup.push_back(stream);
    startLookup();
}

void CommandReceiver::startLookup() {
    m_lookupInFlight = true;
    const quint64 generation = ++m_lookupGeneration;
    m_resolve(m_qlabHost, [self = QPointer<CommandReceiver>(this), generation](
                              const QList<QHostAddress>& addresses, const QString& problem) {
        if (self && self->m_lookupInFlight && self->m_lookupGeneration == generation)
            self->lookupAnswered(addresses, problem);
    });
    QTimer::singleShot(lookupTimeout, this, [this, generation] {
        if (m_lookupInFlight && m_lookupGeneration == generation)
            lookupAnswered(
                {},
                QStringLiteral("no answer within %1 s")
                    .arg(std::chrono::duration_cast<std::chrono::seconds>(lookupTimeout).count()));
    });
}

void CommandReceiver::lookupAnswered(const QList<QHostAddress>& qlab, const QString& problem) {
    m_lookupInFlight = false;
    ++m_lookupGeneration; // a late answer of this lookup is ignored
    const std::vector<Stream*> waiting = std::exchange(m_awaitingLookup, {});
    for (Stream* stream : waiting)
        judge(stream, qlab, problem);
    if (!m_awaitingNextLookup.empty()) {
        m_awaitingLookup = std::exchange(m_awaitingNextLookup, {});
        startLookup();
    }
}

void CommandReceiver::judge(Stream* stream, const QList<QHostAddress>& qlab,
                            const QString& problem) {
    const bool isQLab = std::any_of(qlab.begin(), qlab.end(), [&](const QHostAddress& address) {
        return comparable(address) == stream->m_peer;
    });
    stream->m_socket->disconnect(stream);
    if (!isQLab) {
        dropSender(stream->m_peer,
                   problem.isEmpty()
                       ? QStringLiteral("only this machine and QLab's host (setting \"qlabHost\", "
                                        "now ") +
                             m_qlabHost + QStringLiteral(") may send them")
                       : QStringLiteral("QLab's host ") + m_qlabHost +
                             QStringLiteral(" could not be looked up (") + problem +
                             QLatin1Char(')'));
        stream->m_socket->abort();
        stream->deleteLater();
        return;
    }
    stream->m_fromQLab = true;
    admit(stream);
}

void CommandReceiver::admit(Stream* stream) {
    if (connectionCount() >= maxConnections) {
        // The sender silent longest makes room; QLab's host's connections only for QLab's host.
        Stream* quietest = nullptr;
        for (const bool mayCloseQLabs : {false, stream->m_fromQLab}) {
            for (Stream* candidate : m_streams) {
                if ((mayCloseQLabs || !candidate->m_fromQLab) &&
                    (!quietest ||
                     candidate->m_lastHeard.elapsed() > quietest->m_lastHeard.elapsed()))
                    quietest = candidate;
            }
            if (quietest)
                break;
        }
        if (!quietest) {
            writeLine(QStringLiteral("OSC commands: connection from ") + stream->m_peer.toString() +
                      QStringLiteral(" closed: every place is taken by QLab's host"));
            stream->m_socket->abort();
            stream->deleteLater();
            return;
        }
        writeLine(QStringLiteral("OSC commands: connection from ") +
                  quietest->m_socket->peerAddress().toString() +
                  QStringLiteral(" closed to make room for a new one"));
        closeStream(quietest);
    }
    m_streams.push_back(stream);
    serve(stream);
}

void CommandReceiver::serve(Stream* stream) {
    QTcpSocket* socket = stream->m_socket;
    connect(socket, &QTcpSocket::readyRead, stream, [this, stream] { readStream(*stream); });
    // A sender that writes and closes at once is still heard: what it sent is read first.
    const auto end = [this, stream] {
        readStream(*stream);
        closeStream(stream);
    };
    connect(socket, &QTcpSocket::disconnected, stream, end);
    connect(socket, &QTcpSocket::errorOccurred, stream, end);
    connect(&stream->m_idle, &QTimer::timeout, stream, [this, stream] { closeStream(stream); });
    stream->m_idle.start();
    stream->m_lastHeard.restart();
    if (socket->bytesAvailable() > 0)
        readStream(*stream);
    // It may have gone while waiting for its lookup.
    if (socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
        closeStream(stream);
}

void CommandReceiver::readStream(Stream& stream) {
    const bool first = !stream.m_reader.heardAnything();
    auto read = stream.m_reader.read(*stream.m_socket);
    if (read.bytes == 0)
        return;
    stream.m_idle.start();
    stream.m_lastHeard.restart();
    if (first && stream.m_reader.looksLengthPrefixed())
        reportOnce(m_badPackets, QStringLiteral("length prefix"),
                   QStringLiteral("OSC over TCP from ") +
                       stream.m_socket->peerAddress().toString() +
                       QStringLiteral(" looks length-prefixed; Carvo takes SLIP framing (OSC "
                                      "1.1) or UDP"));
    for (const std::string& packet : read.packets)
        receivePacket(packet);
}

void CommandReceiver::closeStream(Stream* stream) {
    bool found = false;
    for (std::vector<Stream*>* list : {&m_streams, &m_awaitingLookup, &m_awaitingNextLookup}) {
        if (const auto at = std::find(list->begin(), list->end(), stream); at != list->end()) {
            list->erase(at);
            found = true;
        }
    }
    if (!found)
        return;
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
    if (const auto mark =
            arguments.size() == 1 && !bar ? markOf(arguments.front()) : std::nullopt) {
        m_commands.goToMark(*mark);
        return;
    }
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
