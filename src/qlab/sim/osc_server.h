#pragma once
// The simulated QLab's OSC interface: QLab 5's OSC methods over TCP with double-END SLIP framing,
// answered from the same workspace model and clock as the simulated QLab's AppleScript, so a cue
// started over OSC is running for AppleScript and the other way round. Replies go back on the
// connection as "/reply" + the address, with QLab's JSON text as their one argument. This is the
// transport; what each method does is sim/osc_methods.
//
// Everything runs on the thread that owns the server; the model is reached only under the
// simulated QLab's lock. Latency delays each message's effect and reply without blocking other
// connections; a hang holds the messages it names until it is lifted or its seconds pass.

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "qlab/osc/osc.h"
#include "qlab/sim/osc_methods.h"
#include "qlab/sim/simulated_qlab.h"

class QTcpServer;
class QTcpSocket;

namespace carvo::sim {

// A message as oscdump prints it: the address, the type tags and each argument
// ("/workspace/W1/cue_id/6A3B/loadAt f 12.500000"); just the address when it has none.
QString dumpText(const osc::Message& message);

class OSCServer : public QObject {
    Q_OBJECT

public:
    explicit OSCServer(std::shared_ptr<SimulatedQLab> qlab, QObject* parent = nullptr);
    ~OSCServer() override;
    OSCServer(const OSCServer&) = delete;
    OSCServer& operator=(const OSCServer&) = delete;

    // Port 0 takes any free port; serverPort() tells which.
    bool listen(const QHostAddress& address, quint16 port = 0);
    quint16 serverPort() const;
    QString errorString() const;
    // Stops listening and drops every connection, as a QLab that quits does.
    void close();

    // Every message decoded so far, in order of arrival, in oscdump's text form; and those of
    // them that the duplicate filter dropped.
    QStringList receivedMessages() const { return m_received; }
    QStringList droppedMessages() const { return m_dropped; }

signals:
    void messageReceived(const QString& line);
    void messageDropped(const QString& line);

private:
    struct Client;

    void accept();
    void read(Client& client);
    void arrive(Client& client);
    void take(Client& client, const osc::Message& message);
    void runDue(Client& client);
    void releaseHeld();
    void run(Client& client, const osc::Message& message, bool mayHold);
    void sendUpdates();
    void send(Client& client, const QString& address, const OSCReply& reply);
    void sendMessage(Client& client, const osc::Message& message);
    void drop(Client* client);

    std::shared_ptr<SimulatedQLab> m_qlab;
    OSCMethods m_methods;
    QTcpServer* m_server;
    std::vector<std::unique_ptr<Client>> m_clients;
    QTimer m_holdTimer;
    QTimer m_updateTimer;
    QStringList m_received;
    QStringList m_dropped;
};

} // namespace carvo::sim
