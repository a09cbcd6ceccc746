#pragma once
// The remote control server below the message level: the interface choice, one TCP listener
// bound to the chosen address, its DNS-SD announcement, the accepted client connections, and
// the send-to-all operation through which the rest of Carvo talks to remote clients.

#include <functional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include "base/broadcaster.h"
#include "base/settings.h"
#include "remote/interfaces.h"
#include "remote/service.h"

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QTimer;

namespace carvo {

class ServicePublisher;
class TCPServer;

// One accepted client. Lives from its acceptance until it leaves the server's list; the server
// then deletes it later, and never while a message handler is running on it, so the handler's
// reference stays valid until it returns (even if it runs a nested event loop meanwhile).
class ClientConnection : public QObject {
    Q_OBJECT

public:
    quint16 peerPort() const;
    // Output the system has not taken yet, waiting in this process.
    qint64 unsentBytes() const;

    // Unsent output above which a client that does not read is dropped.
    static constexpr qint64 maxUnsentBytes = 1024 * 1024;

private:
    friend class TCPServer;
    ClientConnection(QTcpSocket* socket, TCPServer& server);

    void becomeReady();
    void receiveNext();
    void receive();
    void peerClosed();
    void socketError();
    void endReceive();
    // Deletes the connection later, once no message handler is running on it.
    void release();
    // Ends the connection quietly: no further reads, the socket is aborted.
    void cancel();

    QTcpSocket* m_socket;
    TCPServer& m_server;
    QString m_endpoint;
    bool m_wantsData = false; // a receive is outstanding
    bool m_peerClosed = false;
    bool m_ended = false;     // nothing more is read or sent
    bool m_inHandler = false; // the message handler is running on this connection
    bool m_removed = false;   // out of the server's list; deleted once no handler runs
    bool m_deleteScheduled = false;
};

class TCPServer : public QObject, public Broadcaster {
    Q_OBJECT
    Q_PROPERTY(QVariantList interfaces READ interfaces NOTIFY interfacesChanged)

public:
    static constexpr quint16 defaultPort = remote::carvoPort;

    using MessageHandler =
        std::function<void(ClientConnection& connection, const QByteArray& bytes)>;
    using InterfaceSource = std::function<QList<InterfaceInfo>()>;

    // Main thread only; stopped (no listener) until startServer.
    // Reads "storedInterfaceName" and "maxRemoteClients" from settings at each start.
    explicit TCPServer(const Settings& settings, QObject* parent = nullptr);
    ~TCPServer() override;
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // The port the next listener binds and announces (54321 unless changed, for tests and the
    // --port option).
    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }

    // Where startServer finds the interfaces; getNetworkInterfaces unless replaced (tests).
    void setInterfaceSource(InterfaceSource source);

    QVariantList interfaces() const;
    QList<InterfaceInfo> interfaceList() const { return m_interfaces; }
    void setInterfaces(const QList<InterfaceInfo>& interfaces);

    // Chooses the interface (stored name, else the loopback, then "lo1") and, 0.1 s later on
    // the main thread, opens the listener. Does not stop a listener that is already there.
    Q_INVOKABLE void startServer();
    // Closes the listener, cancels every connection, withdraws the announcement.
    Q_INVOKABLE void stopServer();

    // One UTF-8 message, without terminator, to every connection in acceptance order.
    void broadcast(const QString& message) override;
    // One UTF-8 message to one connection; a failure is reported on standard output.
    void send(ClientConnection& connection, const QString& message);

    // How many clients the server keeps at once; a newcomer beyond them is closed at once. Read
    // by startServer: the default when absent or not a number of 1 or more.
    static constexpr char maxRemoteClientsKey[] = "maxRemoteClients";
    static constexpr int defaultMaxRemoteClients = 256;
    int maxConnections() const { return m_maxConnections; }

    // Receives every read of at most 4096 bytes as one message; until one is set, a received
    // message is ignored.
    void setMessageHandler(MessageHandler handler) { m_messageHandler = std::move(handler); }

    int connectionCount() const { return static_cast<int>(m_connections.size()); }
    QList<ClientConnection*> connections() const;
    bool isListening() const;
    bool isAnnounced() const;
    // The address of the chosen interface that the last listener was opened on (even one that
    // failed); empty before the first.
    QString listenAddress() const { return m_listenAddress; }

    // The interface name used when none is stored: the platform's loopback.
    static QString defaultInterfaceName();

signals:
    void interfacesChanged();
    void connectionCountChanged();
    // The listener reported its state: ready (true) or failed (false).
    void listenerStateChanged(bool ready);

private:
    friend class ClientConnection;

    void startListener(const QString& ipAddress);
    void reportListenerState(QTcpServer* listener, const QString& ipAddress);
    void publishService(quint16 port);
    void closeListener();
    void acceptPending();
    void acceptDirectly(QTcpServer& listener);
    // Stops taking clients for a moment, says why (at most once a second), then calls resume.
    void pauseAccepting(const QString& reason, std::function<void()> resume);
    // A newcomer: served, or closed at once beyond the cap.
    void takeConnection(QTcpSocket* socket);
    void refuseConnection(QTcpSocket* socket);
    void handleNewConnection(QTcpSocket* socket);
    void deliver(ClientConnection& connection, const QByteArray& bytes);
    void write(ClientConnection& connection, const QByteArray& bytes);
    static qsizetype sendNow(QTcpSocket& socket, const QByteArray& bytes);
    void removeConnection(ClientConnection* connection);
    // Drops a connection whose client has stopped reading; false when it was not dropped.
    bool dropIfBacklogged(ClientConnection& connection);

    quint16 m_port = defaultPort;
    QString m_listenAddress;
    InterfaceSource m_interfaceSource;
    QList<InterfaceInfo> m_interfaces;
    QPointer<QTcpServer> m_listener;
    QPointer<QSocketNotifier> m_acceptNotifier; // the listener's, where Carvo accepts itself
    ServicePublisher* m_netService = nullptr;
    QList<ClientConnection*> m_connections;
    QTimer* m_pendingStart = nullptr;
    MessageHandler m_messageHandler;
    const Settings& m_settings;
    int m_maxConnections = defaultMaxRemoteClients;
    // Refusals and failed accepts say so at most once a second each.
    QElapsedTimer m_lastRefusalLine;
    int m_refusedUnreported = 0;
    QElapsedTimer m_lastAcceptFailureLine;
};

} // namespace carvo
