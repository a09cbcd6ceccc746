#pragma once
// Go, chase and stop from QLab's Network cues: OSC messages on one port, as UDP datagrams (one
// message each) and as SLIP-framed TCP streams. Each message becomes one call of the scripting
// commands, on the main thread, exactly as the D-Bus receiver's calls.
//
// Nobody but QLab may drive the show. UDP is taken on the loopback only: a datagram's sender
// address is whatever the sender writes into it. By default TCP is too; when QLab's host is set,
// TCP is listened for on every address, and a connection from another machine is served only
// once a lookup of QLab's host, made after it arrived, names its address. QLab's own connections
// are never closed to make room for others.

#include <chrono>
#include <cstddef>
#include <functional>
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
    // Connections from other machines waiting for the lookup of QLab's host, and how long.
    static constexpr int maxUnverified = 8;
    static constexpr std::chrono::milliseconds lookupTimeout = std::chrono::seconds(10);

    // Looks host up and calls done on the main thread with its addresses, or with none and the
    // reason. Called afresh for every connection from another machine.
    using Resolve = std::function<void(
        const QString& host,
        std::function<void(const QList<QHostAddress>& addresses, const QString& problem)> done)>;
    // The system's resolver, on a thread of its own for each lookup.
    static void resolveWithTheSystem(
        const QString& host,
        std::function<void(const QList<QHostAddress>& addresses, const QString& problem)> done);

    // Main thread. Nothing is open until listen.
    explicit CommandReceiver(ScriptingCommands& commands, QObject* parent = nullptr);
    ~CommandReceiver() override;
    CommandReceiver(const CommandReceiver&) = delete;
    CommandReceiver& operator=(const CommandReceiver&) = delete;

    // Opens UDP and TCP on port (0: one the system picks), UDP on the loopback. With qlabHost
    // empty (or naming this machine) TCP too; otherwise TCP on every address, taking connections
    // from this machine and from qlabHost's addresses. Says on the console what it listens on, or
    // why it cannot: then false, with nothing open. A receiver already listening is closed first.
    bool listen(quint16 port, const QString& qlabHost = {});
    void close();
    bool isListening() const;
    // The port listened on; 0 when closed.
    quint16 port() const { return m_port; }
    int connectionCount() const { return static_cast<int>(m_streams.size()); }

    // A connection that sends nothing for this long is closed (tests make it short).
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
    // How QLab's host is looked up; the system's resolver unless replaced (tests).
    void setResolver(Resolve resolve);

    // One message as if an allowed sender had sent it: the one call it names, now.
    void dispatch(const Message& message);

signals:
    // A message has been acted on (or refused); for tests that wait for the network path.
    void dispatched();

private:
    class Stream;

    // Binds UDP on udpAddress and TCP on tcpAddress, both on port (0: the system's choice,
    // written back); the reason when either cannot be bound, with neither left open.
    QString open(const QHostAddress& udpAddress, const QHostAddress& tcpAddress, quint16& port);
    void closeSockets();
    void readDatagrams(QUdpSocket& socket);
    void acceptConnections(QTcpServer& listener);
    // Serves a connection: reads its stream from now on.
    void serve(Stream* stream);
    // Asks for a fresh lookup of QLab's host for stream; it is served once the answer names its
    // sender, and closed otherwise.
    void verify(Stream* stream);
    void startLookup();
    void lookupAnswered(const QList<QHostAddress>& qlab, const QString& problem);
    void judge(Stream* stream, const QList<QHostAddress>& qlab, const QString& problem);
    void dropSender(const QHostAddress& address, const QString& why);
    // Takes a stream in among the served ones, closing the one silent longest when they are as
    // many as may be (never one of QLab's host's for anyone else).
    void admit(Stream* stream);
    // Closes a stream, served or waiting for its lookup.
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
    bool m_remoteSenders = false;   // TCP on every address
    QString m_qlabHost;
    Resolve m_resolve = resolveWithTheSystem;
    // Streams waiting for the lookup in flight, and for the one after it (they arrived after
    // the lookup in flight began, so its answer does not speak for them).
    std::vector<Stream*> m_awaitingLookup;
    std::vector<Stream*> m_awaitingNextLookup;
    bool m_lookupInFlight = false;
    quint64 m_lookupGeneration = 0; // answers of an abandoned lookup are ignored
    std::chrono::milliseconds m_idleTimeout = defaultIdleTimeout;
    int m_queued = 0;
    bool m_queueFullReported = false;
    QSet<QString> m_droppedSenders;
    QSet<QString> m_unknownAddresses;
    QSet<QString> m_badPackets;
};

} // namespace carvo::osc
