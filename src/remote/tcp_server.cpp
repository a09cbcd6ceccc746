#include "remote/tcp_server.h"

#include <cerrno>
#include <cstring>
#include <utility>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#define CARVO_DIRECT_SEND 1
#define CARVO_OWN_ACCEPT 1
#endif

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVariantMap>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "remote/service_publisher.h"

namespace carvo {
namespace {

constexpr qint64 maxReadBytes = 4096;
// Bounds what Qt reads ahead of the message handler for one connection.
constexpr qint64 readAheadBytes = 64 * 1024;
constexpr int startDelayMs = 100;
// Room for many clients connecting at once before the event loop accepts them.
constexpr int listenBacklog = 256;
// Out of descriptors, accepting rests this long instead of retrying at once.
constexpr int acceptPauseMs = 200;
constexpr qint64 reportIntervalMs = 1000;
constexpr int acceptBatch = 64;

const QString serviceName = QString::fromLatin1(remote::serviceName);
const QString serviceType = QString::fromLatin1(remote::serviceType);
const QString serviceDomain = QString::fromLatin1(remote::serviceDomain);
const QString fallbackInterfaceName = QStringLiteral("lo1");

QString endpointOf(const QTcpSocket& socket) {
    return socket.peerAddress().toString() + QLatin1Char(':') + QString::number(socket.peerPort());
}

} // namespace

// ---- ClientConnection ---------------------------------------------------------------------

ClientConnection::ClientConnection(QTcpSocket* socket, TCPServer& server)
    : QObject(&server), m_socket(socket), m_server(server), m_endpoint(endpointOf(*socket)) {
    m_socket->setParent(this);
    m_socket->setReadBufferSize(readAheadBytes);
    // Positions go out twenty times a second as small writes; without this each one can wait
    // for the client's delayed acknowledgement of the previous one (about 40 ms on Linux).
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::receive);
    connect(m_socket, &QTcpSocket::disconnected, this, &ClientConnection::peerClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ClientConnection::socketError);
}

quint16 ClientConnection::peerPort() const {
    return m_socket->peerPort();
}

qint64 ClientConnection::unsentBytes() const {
    return m_socket->bytesToWrite();
}

void ClientConnection::becomeReady() {
    if (m_ended)
        return;
    consoleLine(QStringLiteral("Connection ready: ") + m_endpoint);
    receiveNext();
}

void ClientConnection::receiveNext() {
    m_wantsData = true;
    // Queued, so one busy client cannot keep the event loop from the others.
    QMetaObject::invokeMethod(this, &ClientConnection::receive, Qt::QueuedConnection);
}

void ClientConnection::receive() {
    if (m_ended || !m_wantsData)
        return;
    if (m_socket->bytesAvailable() > 0) {
        m_wantsData = false; // one receive at a time, even if the handler runs an event loop
        const QByteArray bytes = m_socket->read(maxReadBytes);
        const bool endOfStream = m_peerClosed && m_socket->bytesAvailable() == 0;
        m_inHandler = true;
        m_server.deliver(*this, bytes);
        m_inHandler = false;
        if (m_removed) {
            release();
            return;
        }
        if (m_ended)
            return;
        if (endOfStream)
            endReceive();
        else
            receiveNext();
        return;
    }
    if (m_peerClosed || m_socket->state() != QAbstractSocket::ConnectedState)
        endReceive();
}

void ClientConnection::peerClosed() {
    m_peerClosed = true;
    receive(); // ends the receive path now unless bytes or a running handler come first
}

void ClientConnection::socketError() {
    if (m_ended)
        return;
    // A peer that closes its side ends the stream; that is no failure of the connection.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    consoleLine(QStringLiteral("Connection failed: ") + m_socket->errorString());
    m_peerClosed = true;
    m_server.removeConnection(this);
    receive();
}

void ClientConnection::endReceive() {
    m_ended = true;
    m_wantsData = false;
    consoleLine(QStringLiteral("Connection closed or error occurred"));
    m_server.removeConnection(this);
}

void ClientConnection::cancel() {
    m_ended = true;
    m_wantsData = false;
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
}

void ClientConnection::release() {
    m_removed = true;
    if (!m_inHandler && !m_deleteScheduled) {
        m_deleteScheduled = true;
        deleteLater();
    }
}

// ---- TCPServer ----------------------------------------------------------------------------

TCPServer::TCPServer(const Settings& settings, QObject* parent)
    : QObject(parent), m_interfaceSource(getNetworkInterfaces), m_settings(settings) {}

TCPServer::~TCPServer() {
    // Quietly: the sockets and the listener are children and go with the server.
    for (auto* connection : std::as_const(m_connections))
        connection->cancel();
    if (m_netService)
        m_netService->stop();
}

void TCPServer::setInterfaceSource(InterfaceSource source) {
    m_interfaceSource = source ? std::move(source) : InterfaceSource(getNetworkInterfaces);
}

QString TCPServer::defaultInterfaceName() {
#ifdef Q_OS_MACOS
    return QStringLiteral("lo0");
#else
    return QStringLiteral("lo");
#endif
}

QVariantList TCPServer::interfaces() const {
    QVariantList list;
    for (const auto& info : m_interfaces) {
        list.append(QVariantMap{
            {QStringLiteral("id"), info.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("name"), info.name},
            {QStringLiteral("ipAddress"), info.ipAddress},
            {QStringLiteral("type"), info.type},
        });
    }
    return list;
}

void TCPServer::setInterfaces(const QList<InterfaceInfo>& interfaces) {
    m_interfaces = interfaces;
    emit interfacesChanged();
}

QList<ClientConnection*> TCPServer::connections() const {
    return m_connections;
}

bool TCPServer::isListening() const {
    return m_listener && m_listener->isListening();
}

bool TCPServer::isAnnounced() const {
    return m_netService && m_netService->isPublished();
}

void TCPServer::startServer() {
    const std::optional<int> cap = m_settings.integer(maxRemoteClientsKey);
    m_maxConnections = cap && *cap >= 1 ? *cap : defaultMaxRemoteClients;
    const QString wanted = m_settings.storedInterfaceName().value_or(defaultInterfaceName());
    setInterfaces(m_interfaceSource());

    const InterfaceInfo* chosen = nullptr;
    for (const QString& name : {wanted, fallbackInterfaceName}) {
        for (const auto& info : std::as_const(m_interfaces)) {
            if (info.name == name) {
                chosen = &info;
                break;
            }
        }
        if (chosen)
            break;
    }
    if (!chosen) {
        consoleLine(QStringLiteral("❌ No suitable interface found."));
        return;
    }

    if (!m_pendingStart) {
        m_pendingStart = new QTimer(this);
        m_pendingStart->setSingleShot(true);
        m_pendingStart->setInterval(startDelayMs);
    }
    m_pendingStart->disconnect(this);
    connect(m_pendingStart, &QTimer::timeout, this,
            [this, ipAddress = chosen->ipAddress] { startListener(ipAddress); });
    m_pendingStart->start();
}

void TCPServer::startListener(const QString& ipAddress) {
    QHostAddress address;
    if (!address.setAddress(ipAddress) || address.protocol() != QAbstractSocket::IPv4Protocol) {
        consoleLine(QStringLiteral("❌ Failed to start TCP server: ") + ipAddress +
                    QStringLiteral(" is not an IPv4 address"));
        return;
    }

    // A listener left from before is replaced: closed first, so it gives up the address the new
    // one may bind, and no longer announced, since what the announcement names is gone.
    if (m_listener) {
        closeListener();
        if (m_netService)
            m_netService->stop();
    }

    m_listenAddress = ipAddress;
    auto* listener = new QTcpServer(this);
    listener->setListenBacklogSize(listenBacklog);
    // A failure (the port taken, say) is a state of the started listener, reported below.
    listener->listen(address, m_port);
    m_listener = listener;
#if defined(CARVO_OWN_ACCEPT)
    // Carvo accepts by itself: Qt's accept, out of descriptors, retries at once and spins.
    if (listener->isListening()) {
        listener->pauseAccepting();
        m_acceptNotifier =
            new QSocketNotifier(listener->socketDescriptor(), QSocketNotifier::Read, listener);
        connect(m_acceptNotifier, &QSocketNotifier::activated, this,
                [this, listener] { acceptDirectly(*listener); });
    }
#else
    connect(listener, &QTcpServer::newConnection, this, &TCPServer::acceptPending);
    connect(listener, &QTcpServer::acceptError, this, [this, listener] {
        listener->pauseAccepting();
        pauseAccepting(QStringLiteral("socket error"), [listener] { listener->resumeAccepting(); });
    });
#endif

    // Queued, so the state is always reported after the start line below.
    QMetaObject::invokeMethod(
        this,
        [this, started = QPointer<QTcpServer>(listener), ipAddress] {
            if (started && started == m_listener)
                reportListenerState(started, ipAddress);
        },
        Qt::QueuedConnection);
    consoleLine(QStringLiteral("🚀 Server started on port ") + QString::number(m_port));
}

void TCPServer::reportListenerState(QTcpServer* listener, const QString& ipAddress) {
    if (!listener->isListening()) {
        // No announcement and no retry.
        writeLine(QStringLiteral("Server state changed: failed(") + listener->errorString() +
                  QLatin1Char(')'));
        emit listenerStateChanged(false);
        return;
    }
    writeLine(QStringLiteral("Server state changed: ready"));
    const quint16 port = listener->serverPort();
    consoleLine(QStringLiteral("✅ Server is ready on ") + ipAddress + QLatin1Char(':') +
                QString::number(port));
    publishService(port);
    emit listenerStateChanged(true);
}

void TCPServer::publishService(quint16 port) {
    if (!m_netService)
        m_netService = new ServicePublisher(this);
    // Without a reachable daemon the publisher says so once; the server runs on unannounced.
    if (m_netService->publish(serviceName, serviceType, serviceDomain, port))
        consoleLine(QStringLiteral("Bonjour service published on port ") + QString::number(port));
}

void TCPServer::closeListener() {
    if (m_acceptNotifier) {
        // Before the descriptor it watches is closed.
        m_acceptNotifier->setEnabled(false);
        delete m_acceptNotifier;
    }
    m_listener->disconnect(this);
    m_listener->close();
    m_listener->deleteLater();
    m_listener = nullptr;
}

void TCPServer::acceptPending() {
    auto* listener = qobject_cast<QTcpServer*>(sender());
    if (!listener)
        return;
    while (QTcpSocket* socket = listener->nextPendingConnection())
        takeConnection(socket);
}

#if defined(CARVO_OWN_ACCEPT)
void TCPServer::acceptDirectly(QTcpServer& listener) {
    const auto descriptor = static_cast<int>(listener.socketDescriptor());
    // A bounded batch per wake-up, so that a crowd at the door does not hold the event loop.
    for (int i = 0; i < acceptBatch; ++i) {
#if defined(SOCK_CLOEXEC)
        const int accepted = ::accept4(descriptor, nullptr, nullptr, SOCK_CLOEXEC);
#else
        const int accepted = ::accept(descriptor, nullptr, nullptr);
        if (accepted >= 0)
            ::fcntl(accepted, F_SETFD, FD_CLOEXEC);
#endif
        if (accepted < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED)
                continue;
            if (error == EAGAIN || error == EWOULDBLOCK)
                return;
            // Out of descriptors (or memory) the client stays queued and the listener readable:
            // rest, then try again; descriptors free up as clients leave.
            m_acceptNotifier->setEnabled(false);
            pauseAccepting(QString::fromLocal8Bit(std::strerror(error)),
                           [notifier = m_acceptNotifier] {
                               if (notifier)
                                   notifier->setEnabled(true);
                           });
            return;
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(accepted)) {
            ::close(accepted);
            delete socket;
            continue;
        }
        takeConnection(socket);
    }
}
#endif

void TCPServer::pauseAccepting(const QString& reason, std::function<void()> resume) {
    QTimer::singleShot(acceptPauseMs, this, std::move(resume));
    if (m_lastAcceptFailureLine.isValid() && m_lastAcceptFailureLine.elapsed() < reportIntervalMs)
        return;
    m_lastAcceptFailureLine.start();
    consoleLine(QStringLiteral("❌ Cannot accept a client: ") + reason +
                QStringLiteral("; trying again shortly"));
}

void TCPServer::takeConnection(QTcpSocket* socket) {
    if (connectionCount() >= m_maxConnections) {
        refuseConnection(socket);
        return;
    }
    consoleLine(QStringLiteral("📥 New client connection from: ") + endpointOf(*socket));
    handleNewConnection(socket);
}

void TCPServer::refuseConnection(QTcpSocket* socket) {
    const QString endpoint = endpointOf(*socket);
    socket->abort();
    socket->deleteLater();
    ++m_refusedUnreported;
    if (m_lastRefusalLine.isValid() && m_lastRefusalLine.elapsed() < reportIntervalMs)
        return;
    m_lastRefusalLine.start();
    QString line = QStringLiteral("🚫 Client ") + endpoint + QStringLiteral(" closed: ") +
                   QString::number(m_maxConnections) +
                   QStringLiteral(" remote clients are connected (setting maxRemoteClients)");
    if (m_refusedUnreported > 1)
        line += QStringLiteral(", ") + QString::number(m_refusedUnreported - 1) +
                QStringLiteral(" more closed since the last such line");
    m_refusedUnreported = 0;
    consoleLine(line);
}

void TCPServer::handleNewConnection(QTcpSocket* socket) {
    auto* connection = new ClientConnection(socket, *this);
    m_connections.append(connection);
    emit connectionCountChanged();
    // An accepted socket is already connected; its ready state follows on the event loop.
    QMetaObject::invokeMethod(connection, &ClientConnection::becomeReady, Qt::QueuedConnection);
}

void TCPServer::stopServer() {
    if (m_pendingStart)
        m_pendingStart->stop(); // a stop overtakes a start that has not opened its listener yet
    if (m_listener) {
        closeListener();
        writeLine(QStringLiteral("Server state changed: cancelled"));
    }
    const auto dropped = std::exchange(m_connections, {});
    for (auto* connection : dropped) {
        connection->cancel();
        connection->release();
    }
    if (!dropped.isEmpty())
        emit connectionCountChanged();
    if (m_netService)
        m_netService->stop();
    consoleLine(QStringLiteral("🛑 Server stopped"));
}

void TCPServer::broadcast(const QString& message) {
    if (m_connections.isEmpty())
        return;
    const QByteArray bytes = message.toUtf8();
    const auto recipients = m_connections; // the list at the moment of the call
    for (auto* connection : recipients) {
        if (!connection->m_ended)
            write(*connection, bytes);
    }
}

void TCPServer::send(ClientConnection& connection, const QString& message) {
    write(connection, message.toUtf8());
}

void TCPServer::write(ClientConnection& connection, const QByteArray& bytes) {
    QTcpSocket& socket = *connection.m_socket;
    if (connection.m_ended || socket.state() != QAbstractSocket::ConnectedState) {
        writeLine(QStringLiteral("Send failed: the connection is closed"));
        return;
    }
    const qsizetype sent = socket.bytesToWrite() == 0 ? sendNow(socket, bytes) : 0;
    if (sent == bytes.size())
        return;
    const QByteArray rest = sent == 0 ? bytes : bytes.mid(sent);
    if (socket.write(rest) != rest.size()) {
        writeLine(QStringLiteral("Send failed: ") + socket.errorString());
        return;
    }
    socket.flush(); // hand the bytes to the system now, so the backlog below is what is unsent
    dropIfBacklogged(connection);
}

// With nothing queued, the bytes go straight to the system: a tick reaches every client, and
// Qt's buffer and its write notifier cost more than the send itself. Whatever the system does
// not take at once, and every error, is left to the socket, which queues and reports as usual.
qsizetype TCPServer::sendNow(QTcpSocket& socket, const QByteArray& bytes) {
#if defined(CARVO_DIRECT_SEND)
    const auto descriptor = static_cast<int>(socket.socketDescriptor());
    if (descriptor < 0)
        return 0;
    int flags = MSG_DONTWAIT;
#if defined(MSG_NOSIGNAL)
    flags |= MSG_NOSIGNAL; // elsewhere Qt marks its sockets not to raise SIGPIPE
#endif
    for (;;) {
        const ssize_t sent =
            ::send(descriptor, bytes.constData(), static_cast<size_t>(bytes.size()), flags);
        if (sent >= 0)
            return static_cast<qsizetype>(sent);
        if (errno != EINTR)
            return 0;
    }
#else
    Q_UNUSED(socket);
    Q_UNUSED(bytes);
    return 0;
#endif
}

void TCPServer::deliver(ClientConnection& connection, const QByteArray& bytes) {
    if (m_messageHandler)
        m_messageHandler(connection, bytes);
}

void TCPServer::removeConnection(ClientConnection* connection) {
    if (m_connections.removeAll(connection) > 0)
        emit connectionCountChanged();
    connection->release();
}

bool TCPServer::dropIfBacklogged(ClientConnection& connection) {
    if (connection.m_ended ||
        connection.m_socket->bytesToWrite() <= ClientConnection::maxUnsentBytes)
        return false;
    consoleLine(QStringLiteral("Connection failed: more than 1 MiB of output unsent to ") +
                connection.m_endpoint + QStringLiteral(", the client is not reading"));
    connection.cancel();
    removeConnection(&connection);
    return true;
}

} // namespace carvo
