#include "display/display_server.h"

#include <chrono>
#include <cmath>
#include <utility>

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

#include "base/diagnostics.h"

namespace carvo::display {
namespace {

// Everything the server ever sends over HTTP: the compiled-in files, looked up by exact path. No
// request reaches the file system.
struct WebFile {
    const char* path;
    const char* resource;
    const char* mimeType;
};
constexpr WebFile webFiles[] = {
    {"/", ":/carvo/display/index.html", "text/html; charset=utf-8"},
    {"/control", ":/carvo/display/control.html", "text/html; charset=utf-8"},
    {"/display.css", ":/carvo/display/display.css", "text/css; charset=utf-8"},
    {"/display.js", ":/carvo/display/display.js", "text/javascript; charset=utf-8"},
    {"/control.js", ":/carvo/display/control.js", "text/javascript; charset=utf-8"},
    {"/feed.js", ":/carvo/display/feed.js", "text/javascript; charset=utf-8"},
};

const WebFile* findFile(const QString& path) {
    for (const WebFile& file : webFiles) {
        if (path == QLatin1String(file.path))
            return &file;
    }
    return nullptr;
}

double systemMilliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
}

QString endpointOf(const QWebSocket& socket) {
    return socket.peerAddress().toString() + QLatin1Char(':') + QString::number(socket.peerPort());
}

// A bar as the control page sends it: a whole number of a sane size.
std::optional<qint64> barOf(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double bar = value.toDouble();
    if (!std::isfinite(bar) || std::floor(bar) != bar || std::fabs(bar) > 1e9)
        return std::nullopt;
    return static_cast<qint64>(bar);
}

} // namespace

// The HTTP side: Qt's server parses the requests; this answers them from the table above and
// hands WebSocket upgrades to the display server.
class HTTPFront : public QAbstractHttpServer {
public:
    explicit HTTPFront(DisplayServer& owner) : m_owner(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        // Qt hands a WebSocket upgrade to the feed after this returns; an answer written here
        // would reach the browser before the handshake and spoil it.
        if (request.value(QByteArrayLiteral("upgrade")).compare("websocket", Qt::CaseInsensitive) ==
            0)
            return true;
        QHttpServerResponder responder = makeResponder(request, socket);
        const bool head = request.method() == QHttpServerRequest::Method::Head;
        if (request.method() != QHttpServerRequest::Method::Get && !head) {
            responder.write(QHttpServerResponder::StatusCode::MethodNotAllowed);
            return true;
        }
        const WebFile* file = findFile(request.url().path());
        if (!file) {
            responder.write(QByteArrayLiteral("Not found\n"),
                            {{"Content-Type", "text/plain; charset=utf-8"}},
                            QHttpServerResponder::StatusCode::NotFound);
            return true;
        }
        QFile resource(QString::fromLatin1(file->resource));
        if (!resource.open(QIODevice::ReadOnly)) {
            responder.write(QHttpServerResponder::StatusCode::InternalServerError);
            return true;
        }
        const QByteArray body = head ? QByteArray() : resource.readAll();
        responder.write(body,
                        {{"Content-Type", file->mimeType},
                         {"Cache-Control", "no-cache"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Content-Security-Policy",
                          "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:"}},
                        QHttpServerResponder::StatusCode::Ok);
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

private:
    DisplayServer& m_owner;
};

struct DisplayServer::Client {
    QWebSocket* socket = nullptr; // deleted later by the server
    QString endpoint;
    bool complained = false;     // said once that it sent something not understood
    bool controlAllowed = false; // gave the right PIN
};

DisplayServer::DisplayServer(QObject* parent)
    : QObject(parent), m_http(std::make_unique<HTTPFront>(*this)), m_clock(systemMilliseconds) {
    connect(m_http.get(), &QAbstractHttpServer::newWebSocketConnection, this,
            &DisplayServer::takeWebSockets);
}

DisplayServer::~DisplayServer() {
    stop();
}

void DisplayServer::setClock(Clock clock) {
    m_clock = clock ? std::move(clock) : Clock(systemMilliseconds);
}

bool DisplayServer::listen(const QHostAddress& address, quint16 port) {
    stop();
    auto* listener = new QTcpServer(m_http.get());
    // Room for a whole company of phones joining at once (the interval, a restart of Carvo).
    listener->setListenBacklogSize(256);
    listener->setMaxPendingConnections(maxClients);
    if (!listener->listen(address, port)) {
        consoleLine(QStringLiteral("❌ The stage display cannot listen on %1:%2: %3")
                        .arg(address.toString())
                        .arg(port)
                        .arg(listener->errorString()));
        delete listener;
        return false;
    }
    m_http->bind(listener);
    m_listener = listener;
    emit listeningChanged();
    return true;
}

void DisplayServer::stop() {
    auto clients = std::exchange(m_clients, {});
    for (auto& client : clients) {
        client->socket->disconnect(this);
        client->socket->abort();
        client->socket->deleteLater();
    }
    if (!clients.empty())
        emit clientCountChanged();
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
        emit listeningChanged();
    }
}

bool DisplayServer::isListening() const {
    return m_listener && m_listener->isListening();
}

quint16 DisplayServer::port() const {
    return isListening() ? m_listener->serverPort() : 0;
}

QString DisplayServer::url() const {
    if (!isListening())
        return {};
    return QStringLiteral("http://%1:%2/")
        .arg(m_listener->serverAddress().toString())
        .arg(m_listener->serverPort());
}

qint64 DisplayServer::unsentBytes() const {
    qint64 unsent = 0;
    for (const auto& client : m_clients)
        unsent += client->socket->bytesToWrite();
    return unsent;
}

void DisplayServer::publish(const State& state) {
    const QList<QByteArray> messages = m_feed.update(state, m_clock());
    for (const QByteArray& message : messages)
        sendAll(message);
}

void DisplayServer::showMessage(const QString& text) {
    sendAll(Feed::message(text, m_clock()));
}

void DisplayServer::takeWebSockets() {
    while (m_http->hasPendingWebSocketConnections()) {
        QWebSocket* socket = m_http->nextPendingWebSocketConnection().release();
        if (!socket)
            continue;
        socket->setParent(this);
        if (socket->requestUrl().path() != QLatin1String("/feed")) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                          QStringLiteral("No feed here"));
            socket->deleteLater();
            continue;
        }
        if (clientCount() >= maxClients) {
            // 1013: try again later.
            socket->close(static_cast<QWebSocketProtocol::CloseCode>(1013),
                          QStringLiteral("Too many displays"));
            socket->deleteLater();
            continue;
        }
        socket->setMaxAllowedIncomingFrameSize(maxIncomingBytes);
        socket->setMaxAllowedIncomingMessageSize(maxIncomingBytes);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->endpoint = endpointOf(*socket);
        Client* raw = client.get();
        m_clients.push_back(std::move(client));
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, raw](const QString& text) { receive(*raw, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, raw] { complain(*raw); });
        connect(socket, &QWebSocket::disconnected, this, [this, raw] { removeLater(raw); });
        emit clientCountChanged();
        send(*raw, m_feed.snapshot(m_clock()));
    }
}

void DisplayServer::receive(Client& client, const QString& text) {
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    const QJsonObject request = document.object();
    const QString type = request.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("pin")) {
        answerPIN(client, request.value(QStringLiteral("pin")).toString());
        return;
    }
    const bool go = type == QLatin1String("go");
    if (!go && type != QLatin1String("stop")) {
        complain(client);
        return;
    }
    if (!client.controlAllowed || m_pin.isEmpty()) {
        send(client,
             Feed::control(false, m_pin.isEmpty() ? QStringLiteral("off") : QStringLiteral("pin"),
                           {}));
        return;
    }
    if (go) {
        const QString cueID = request.value(QStringLiteral("cueID")).toString();
        const auto bar = barOf(request.value(QStringLiteral("bar")));
        if (cueID.isEmpty() || !bar) {
            complain(client);
            return;
        }
        consoleLine(QStringLiteral("Stage display control from %1: bar %2 of cue %3")
                        .arg(client.endpoint)
                        .arg(*bar)
                        .arg(cueID));
        if (m_control.go)
            m_control.go(cueID, *bar);
        return;
    }
    consoleLine(QStringLiteral("Stage display control from %1: STOP").arg(client.endpoint));
    if (m_control.stop)
        m_control.stop();
}

void DisplayServer::answerPIN(Client& client, const QString& pin) {
    if (m_pin.isEmpty()) {
        send(client, Feed::control(false, QStringLiteral("off"), {}));
        return;
    }
    const std::string address = client.socket->peerAddress().toString().toStdString();
    const double now = m_clock() / 1000.0;
    if (!m_pins.mayTry(address, now)) {
        send(client, Feed::control(false, QStringLiteral("limited"), {}));
        return;
    }
    if (pin != m_pin) {
        m_pins.recordWrong(address, now);
        client.controlAllowed = false;
        consoleLine(QStringLiteral("❌ Wrong PIN for the stage display's control page from ") +
                    client.socket->peerAddress().toString());
        const bool limited = !m_pins.mayTry(address, now);
        if (limited)
            consoleLine(QStringLiteral("🚫 %1 wrong PINs from %2 within a minute: its PINs are "
                                       "refused until a minute has passed")
                            .arg(PINGuard::maxWrongPerWindow)
                            .arg(client.socket->peerAddress().toString()));
        send(client, Feed::control(
                         false, limited ? QStringLiteral("limited") : QStringLiteral("wrong"), {}));
        return;
    }
    client.controlAllowed = true;
    send(client, Feed::control(true, {}, m_control.cues ? m_control.cues() : QList<Cue>()));
}

void DisplayServer::complain(Client& client) {
    if (client.complained)
        return;
    client.complained = true;
    writeLine(QStringLiteral("Stage display client %1 sent a message Carvo does not understand; "
                             "it and any further ones are ignored")
                  .arg(client.endpoint));
}

void DisplayServer::sendAll(const QByteArray& message) {
    if (m_clients.empty())
        return;
    const QString text = QString::fromUtf8(message);
    std::vector<Client*> backlogged;
    for (const auto& client : m_clients) {
        client->socket->sendTextMessage(text);
        if (client->socket->bytesToWrite() > maxUnsentBytes)
            backlogged.push_back(client.get());
    }
    for (Client* client : backlogged)
        drop(client, QStringLiteral("it is not reading"));
}

void DisplayServer::send(Client& client, const QByteArray& message) {
    client.socket->sendTextMessage(QString::fromUtf8(message));
    if (client.socket->bytesToWrite() > maxUnsentBytes)
        drop(&client, QStringLiteral("it is not reading"));
}

void DisplayServer::drop(Client* client, const QString& why) {
    consoleLine(QStringLiteral("Stage display client %1 dropped: %2").arg(client->endpoint, why));
    client->socket->disconnect(this);
    client->socket->abort();
    removeLater(client);
}

void DisplayServer::removeLater(Client* client) {
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->get() != client)
            continue;
        QWebSocket* socket = client->socket;
        socket->disconnect(this);
        socket->deleteLater();
        m_clients.erase(it);
        emit clientCountChanged();
        return;
    }
}

} // namespace carvo::display
