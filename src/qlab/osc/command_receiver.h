#pragma once
// Go, chase and stop from QLab's Network cues: OSC messages on one port, as UDP datagrams (one
// message each) and as SLIP-framed TCP streams. Each message becomes one call of the scripting
// commands, on the main thread, exactly as the D-Bus receiver's calls.
//
// Nobody but QLab may drive the show: by default only this machine's loopback is listened on;
// when QLab's host is set, every address is, and datagrams and connections from anyone but this
// machine and that host are dropped.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include "qlab/osc/osc.h"

class QTcpServer;
class QUdpSocket;

namespace carvo {
class ScriptingCommands;
}

namespace carvo::osc {

class CommandReceiver : public QObject {
    Q_OBJECT

public:
    // QLab needs one connection; the rest is room for a second sender and reconnections.
    static constexpr int maxConnections = 8;
    // A command is a few dozen bytes; anything this long is not one.
    static constexpr std::size_t maxPacketBytes = 8 * 1024;
    // Messages waiting for the main thread beyond a command in progress.
    static constexpr int maxQueuedMessages = 64;
    static constexpr std::chrono::milliseconds defaultIdleTimeout = std::chrono::minutes(30);

    // Main thread. Nothing is open until listen.
    explicit CommandReceiver(ScriptingCommands& commands, QObject* parent = nullptr);
    ~CommandReceiver() override;
    CommandReceiver(const CommandReceiver&) = delete;
    CommandReceiver& operator=(const CommandReceiver&) = delete;

    // Opens UDP and TCP on port (0: one the system picks). With qlabHost empty (or naming this
    // machine) on loopback only; otherwise on every address, taking messages from this machine
    // and from qlabHost's addresses (a name is looked up now; until it answers, only this
    // machine is heard). Says on the console what it listens on, or why it cannot: then false,
    // with nothing open. A receiver already listening is closed first.
    bool listen(quint16 port, const QString& qlabHost = {});
    void close();
    bool isListening() const;
    // The port listened on; 0 when closed.
    quint16 port() const { return m_port; }
    int connectionCount() const { return static_cast<int>(m_streams.size()); }

    // A connection that sends nothing for this long is closed (tests make it short).
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }

    // Whether messages from sender are taken: this machine's, and QLab's host's. A sender
    // dropped is reported once.
    bool accepts(const QHostAddress& sender);

    // One message as if an allowed sender had sent it: the one call it names, now.
    void dispatch(const Message& message);

signals:
    // A message has been acted on (or refused); for tests that wait for the network path.
    void dispatched();

private:
    class Stream;

    // Binds UDP and TCP on address and port (0: the system's choice, written back); the reason
    // when either cannot be bound, with neither left open.
    QString open(const QHostAddress& address, quint16& port);
    void closeSockets();
    void lookUpQLabHost(const QString& host);
    void readDatagrams(QUdpSocket& socket);
    void acceptConnections(QTcpServer& listener);
    void closeStream(Stream* stream);
    void readStream(Stream& stream);
    void receivePacket(std::string_view packet);
    void enqueue(Message message);

    void go(const std::vector<Argument>& arguments);
    void chase(const std::vector<Argument>& arguments);
    // A console line the first time a key is seen, never more than a bounded number in all.
    void reportOnce(QSet<QString>& seen, const QString& key, const QString& line);

    ScriptingCommands& m_commands;
    quint16 m_port = 0;
    std::vector<QUdpSocket*> m_udp;
    std::vector<QTcpServer*> m_tcp;
    std::vector<Stream*> m_streams; // children, in the order they were accepted
    bool m_remoteSenders = false;   // listening on every address
    QString m_qlabHost;
    QList<QHostAddress> m_qlabAddresses;
    int m_hostLookup = -1;
    std::chrono::milliseconds m_idleTimeout = defaultIdleTimeout;
    int m_queued = 0;
    bool m_queueFullReported = false;
    QSet<QString> m_droppedSenders;
    QSet<QString> m_unknownAddresses;
    QSet<QString> m_badPackets;
};

} // namespace carvo::osc
