#pragma once
// A connection to QLab's OSC interface over TCP: SLIP-framed OSC messages, each answered by a
// "/reply/…" message whose one argument is QLab's JSON reply. The socket lives on a thread of its
// own, so requests may come from the main thread and from the bar counter's pool at once; each
// request waits for its reply or its timeout. The client connects to the workspace (with the
// passcode, empty when there is none), keeps the connection alive with a thump every second
// (lost only after several go unanswered), and connects again, with a growing pause, after QLab
// quits or the connection drops; it says so on the console, once.

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QJsonValue>
#include <QObject>
#include <QString>

#include "qlab/osc/osc.h"
#include "qlab/osc/reply_matcher.h"

class QThread;

namespace carvo::osc {

struct ClientSettings {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 53000;
    QString passcode;
    // The workspace to work on, by name; empty: the first (front) one QLab lists.
    QString workspaceName;
    // How long a request waits for its reply.
    std::chrono::milliseconds timeout{2000};
    // QLab may drop a message identical to one the same client sent within this window (a QLab
    // preference; 0 when its filter is off). QLab judges by arrival, so such a message is held
    // until the window and a margin for the way there have passed since its twin went out.
    std::chrono::milliseconds repeatWindow{250};
    std::chrono::milliseconds repeatMargin{100};
    std::chrono::milliseconds thumpInterval{1000};
    // Thumps in a row without a word from QLab before the connection counts as lost.
    int missedThumps = 3;
    // The largest message taken from QLab; the cue lists of a 10,000-cue workspace are a few MiB.
    std::size_t maxPacket = std::size_t{32} << 20;
    std::chrono::milliseconds firstRetry{500};
    std::chrono::milliseconds longestRetry{8000};
};

// What the operator is told when the passcode connects without the right to run cues.
QString noControlMessage(const QString& workspaceName);

struct Request {
    std::string address;
    std::vector<Argument> arguments;
};

class ClientWorker;

class Client : public QObject {
    Q_OBJECT

public:
    explicit Client(ClientSettings settings, QObject* parent = nullptr);
    ~Client() override;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Starts connecting; the session runs until the client is destroyed.
    void start();

    // Sends to the connected workspace (address without its "/workspace/{id}" prefix, which is
    // added) and waits for the reply; without a session it answers noConnection at once. Any
    // thread but the client's own.
    Reply request(const std::string& address, std::vector<Argument> arguments = {});
    // Several requests written one behind the other before any reply is awaited (one round trip
    // instead of several); QLab takes them in order. The replies in the requests' order.
    std::vector<Reply> requestAll(std::vector<Request> requests);
    // A message QLab may answer more than once (one reply per cue it reaches): every reply that
    // comes before the reply to a question sent right behind it, in order of arrival.
    std::vector<Reply> requestEach(const std::string& address,
                                   std::vector<Argument> arguments = {});

    // Whether a workspace session is up, and the workspace's name.
    bool isConnected() const;
    // Whether the session's passcode grants the right to run cues (QLab's "control").
    bool hasControl() const;
    QString workspaceName() const;

    const ClientSettings& settings() const { return m_settings; }

    // What the session knows, shared between its thread and the callers'.
    struct Session {
        mutable std::mutex mutex;
        bool connected = false;
        bool reachable = false; // QLab answered, with or without a workspace to work on
        bool control = false;   // the rights QLab granted include "control"
        QString workspaceID;
        QString workspaceName;
    };
    bool isReachable() const;

signals:
    // The session came up (true) or went away (false).
    void connectionChanged(bool connected);

private:
    ClientSettings m_settings;
    std::shared_ptr<Session> m_session;
    std::unique_ptr<QThread> m_thread;
    ClientWorker* m_worker = nullptr; // lives on m_thread, deleted there
};

} // namespace carvo::osc
