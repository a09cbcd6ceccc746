#pragma once
// The stage display's web server: the compiled-in page ("/"), the control page ("/control") and
// their files over HTTP, and the feed of the show state over a WebSocket ("/feed") to at most
// maxClients browsers. Control requests from the control page are handed to the Control given,
// only after the right PIN. Main thread only.

#include <functional>
#include <memory>
#include <vector>

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include "display/display_state.h"
#include "display/feed.h"
#include "display/pin_guard.h"

class QHttpServerRequest;
class QTcpServer;
class QTcpSocket;
class QWebSocket;

namespace carvo::display {

class HTTPFront;

class DisplayServer : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 defaultPort = 54380; // the setting "displayPort" changes it
    static constexpr int maxClients = 200;
    // Unsent output above which a browser that does not read is dropped: about ten seconds of
    // ticks, so a slow network never trips it.
    static constexpr qint64 maxUnsentBytes = 256 * 1024;
    // What a browser may send at once; control requests are a few dozen bytes.
    static constexpr quint64 maxIncomingBytes = 4096;

    // What the control page may do; each runs on the main thread.
    struct Control {
        std::function<QList<Cue>()> cues;
        std::function<void(const QString& cueID, qint64 bar)> go;
        std::function<void()> stop;
    };
    // Milliseconds since 1970 (the system clock unless replaced).
    using Clock = std::function<double()>;

    explicit DisplayServer(QObject* parent = nullptr);
    ~DisplayServer() override;
    DisplayServer(const DisplayServer&) = delete;
    DisplayServer& operator=(const DisplayServer&) = delete;

    // Listens on address and port (0: a free one), replacing a listener already there. False,
    // with a console line, when the port cannot be had.
    bool listen(const QHostAddress& address, quint16 port);
    // Closes the listener and every client.
    void stop();
    bool isListening() const;
    quint16 port() const;
    // "http://ADDRESS:PORT/" while listening, else empty.
    QString url() const;

    // The control page's PIN; empty turns control off.
    void setPIN(const QString& pin) { m_pin = pin; }
    bool hasPIN() const { return !m_pin.isEmpty(); }
    void setControl(Control control) { m_control = std::move(control); }
    void setClock(Clock clock);

    // The show state now: the messages that tell it go to every client.
    void publish(const State& state);
    // An operator message to every client.
    void showMessage(const QString& text);

    int clientCount() const { return static_cast<int>(m_clients.size()); }
    // Output waiting in this process for all clients together, not yet taken by the system.
    qint64 unsentBytes() const;

signals:
    void clientCountChanged();
    // The listener opened or closed.
    void listeningChanged();

private:
    friend class HTTPFront;
    struct Client;

    bool serve(const QHttpServerRequest& request, QTcpSocket* socket);
    void takeWebSockets();
    void receive(Client& client, const QString& text);
    void complain(Client& client);
    void answerPIN(Client& client, const QString& pin);
    void sendAll(const QByteArray& message);
    void send(Client& client, const QByteArray& message);
    void drop(Client* client, const QString& why);
    void removeLater(Client* client);

    std::unique_ptr<HTTPFront> m_http;
    QTcpServer* m_listener = nullptr;
    std::vector<std::unique_ptr<Client>> m_clients;
    Feed m_feed;
    PINGuard m_pins;
    QString m_pin;
    Control m_control;
    Clock m_clock;
};

} // namespace carvo::display
