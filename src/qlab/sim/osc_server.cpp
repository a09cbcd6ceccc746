#include "qlab/sim/osc_server.h"

#include <chrono>
#include <cstdio>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include "base/text.h"
#include "qlab/osc/slip_stream.h"

namespace carvo::sim {
namespace {

// No message Carvo sends comes near this; a longer one is a broken or hostile client.
constexpr std::size_t maxPacket = 64 * 1024;
constexpr int holdPollMs = 20;
// Changes from the other side of the model and cues that reach their end are seen this often.
constexpr int updatePollMs = 20;

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string argumentText(const osc::Argument& argument) {
    char buffer[64];
    return std::visit(
        [&](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::int32_t>) {
                std::snprintf(buffer, sizeof buffer, "%d", value);
                return buffer;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
                return buffer;
            } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
                std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
                return buffer;
            } else if constexpr (std::is_same_v<T, std::string>) {
                return '"' + value + '"';
            } else if constexpr (std::is_same_v<T, osc::Blob>) {
                std::snprintf(buffer, sizeof buffer, "[%zu byte blob]", value.size());
                return buffer;
            } else if constexpr (std::is_same_v<T, osc::True>) {
                return "#T";
            } else if constexpr (std::is_same_v<T, osc::False>) {
                return "#F";
            } else {
                return "Nil";
            }
        },
        argument);
}

} // namespace

QString dumpText(const osc::Message& message) {
    std::string line = message.address;
    if (!message.arguments.empty()) {
        line += ' ';
        for (const auto& argument : message.arguments)
            line += osc::typeTag(argument);
        for (const auto& argument : message.arguments)
            line += ' ' + argumentText(argument);
    }
    return fromUtf8(line);
}

struct OSCServer::Client {
    QTcpSocket* socket = nullptr;
    osc::SlipStreamReader reader{maxPacket};
    OSCSession session;
    std::optional<osc::Message> previous;
    qint64 previousAtMs = 0;
    // Messages read but not yet arrived, in order: a jittered one holds those behind it.
    struct Incoming {
        osc::Message message;
        qint64 arrivesMs;
    };
    std::deque<Incoming> incoming;
    QTimer arrival;
    int jitterTurn = 0;
    // Messages waiting out the latency, in order of arrival.
    struct Waiting {
        osc::Message message;
        qint64 dueMs;
    };
    std::deque<Waiting> waiting;
    QTimer latency;
    // Messages a hang holds, each until the hang is lifted or its time has passed.
    struct Held {
        osc::Message message;
        ScriptKind kind;
        QString cueID;
        std::optional<qint64> untilMs;
    };
    std::vector<Held> held;
};

OSCServer::OSCServer(std::shared_ptr<SimulatedQLab> qlab, QObject* parent)
    : QObject(parent), m_qlab(std::move(qlab)), m_methods(*m_qlab), m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &OSCServer::accept);
    m_holdTimer.setInterval(holdPollMs);
    connect(&m_holdTimer, &QTimer::timeout, this, &OSCServer::releaseHeld);
    m_updateTimer.setInterval(updatePollMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &OSCServer::sendUpdates);
}

OSCServer::~OSCServer() {
    close();
}

bool OSCServer::listen(const QHostAddress& address, quint16 port) {
    return m_server->listen(address, port);
}

quint16 OSCServer::serverPort() const {
    return m_server->serverPort();
}

QString OSCServer::errorString() const {
    return m_server->errorString();
}

void OSCServer::close() {
    m_server->close();
    auto clients = std::move(m_clients);
    m_clients.clear();
    for (auto& client : clients) {
        client->socket->disconnect(this);
        client->socket->abort();
        client->socket->deleteLater();
    }
    m_holdTimer.stop();
    m_updateTimer.stop();
}

void OSCServer::accept() {
    while (auto* socket = m_server->nextPendingConnection()) {
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->latency.setSingleShot(true);
        client->latency.setTimerType(Qt::PreciseTimer);
        Client* raw = client.get();
        connect(&raw->latency, &QTimer::timeout, this, [this, raw] { runDue(*raw); });
        client->arrival.setSingleShot(true);
        client->arrival.setTimerType(Qt::PreciseTimer);
        connect(&raw->arrival, &QTimer::timeout, this, [this, raw] { arrive(*raw); });
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { read(*raw); });
        // Queued: a socket may say it is gone while one of its own messages is being answered.
        connect(
            socket, &QTcpSocket::disconnected, this, [this, raw] { drop(raw); },
            Qt::QueuedConnection);
        m_clients.push_back(std::move(client));
    }
}

void OSCServer::drop(Client* client) {
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->get() == client) {
            client->socket->disconnect(this);
            client->socket->deleteLater();
            m_clients.erase(it);
            return;
        }
    }
}

void OSCServer::read(Client& client) {
    for (const auto& packet : client.reader.read(*client.socket).packets) {
        // A packet that is not an OSC message is ignored, as QLab ignores it.
        const auto message = osc::decode(packet);
        if (!message)
            continue;
        std::optional<WorkspaceFile::Jitter> jitter;
        m_qlab->inspect([&](const WorkspaceFile& model) { jitter = model.jitter; });
        qint64 delay = 0;
        if (jitter && jitter->ms > 0.0 && fromUtf8(message->address).contains(jitter->address) &&
            client.jitterTurn++ % 2 == 0)
            delay = static_cast<qint64>(jitter->ms);
        client.incoming.push_back({*message, monotonicMs() + delay});
    }
    arrive(client);
}

void OSCServer::arrive(Client& client) {
    while (!client.incoming.empty()) {
        const qint64 wait = client.incoming.front().arrivesMs - monotonicMs();
        if (wait > 0) {
            client.arrival.start(static_cast<int>(wait));
            return;
        }
        const auto message = std::move(client.incoming.front().message);
        client.incoming.pop_front();
        take(client, message);
    }
}

void OSCServer::take(Client& client, const osc::Message& message) {
    const QString line = dumpText(message);
    m_received.append(line);
    emit messageReceived(line);

    double windowMs = 0.0;
    double latencyMs = 0.0;
    m_qlab->inspect([&](const WorkspaceFile& model) {
        windowMs = model.duplicateWindowMs;
        latencyMs = model.latencyMs;
    });
    // QLab can judge only by when a message arrives, by its own real clock. The window runs from
    // the message before, dropped or not: a stream of repeats faster than the window is dropped
    // whole after its first message.
    const qint64 now = monotonicMs();
    const bool repeated = windowMs > 0.0 && client.previous == message &&
                          static_cast<double>(now - client.previousAtMs) < windowMs;
    client.previous = message;
    client.previousAtMs = now;
    if (repeated) {
        m_dropped.append(line);
        emit messageDropped(line);
        return;
    }

    client.waiting.push_back({message, monotonicMs() + static_cast<qint64>(latencyMs)});
    runDue(client);
}

void OSCServer::runDue(Client& client) {
    while (!client.waiting.empty()) {
        const qint64 wait = client.waiting.front().dueMs - monotonicMs();
        if (wait > 0) {
            client.latency.start(static_cast<int>(wait));
            return;
        }
        const auto message = std::move(client.waiting.front().message);
        client.waiting.pop_front();
        run(client, message, true);
    }
}

void OSCServer::run(Client& client, const osc::Message& message, bool mayHold) {
    if (mayHold) {
        if (const auto hold = m_methods.holdOf(message)) {
            if (const auto hang = m_qlab->hangFor(hold->kind, hold->cueID)) {
                std::optional<qint64> until;
                if (hang->seconds)
                    until = monotonicMs() + static_cast<qint64>(*hang->seconds * 1000.0);
                client.held.push_back({message, hold->kind, hold->cueID, until});
                if (!m_holdTimer.isActive())
                    m_holdTimer.start();
                return;
            }
        }
    }
    const auto replies = m_methods.answer(client.session, message);
    // A subscriber to updates is told of changes from now on.
    if (!client.session.watched.empty() && !m_updateTimer.isActive())
        m_updateTimer.start();
    for (const auto& reply : replies)
        send(client, fromUtf8(message.address), reply);
}

void OSCServer::sendUpdates() {
    bool watching = false;
    for (auto& client : m_clients) {
        for (const auto& address : m_methods.updates(client->session))
            sendMessage(*client, {address, {}});
        watching = watching || !client->session.watched.empty();
    }
    if (!watching)
        m_updateTimer.stop();
}

void OSCServer::releaseHeld() {
    bool holding = false;
    const qint64 now = monotonicMs();
    // A client may go while its held messages are answered; walk a copy of the list.
    std::vector<Client*> clients;
    for (auto& client : m_clients)
        clients.push_back(client.get());
    for (auto* client : clients) {
        auto held = std::move(client->held);
        client->held.clear();
        for (auto& message : held) {
            if (m_qlab->hangFor(message.kind, message.cueID) &&
                !(message.untilMs && now >= *message.untilMs)) {
                client->held.push_back(std::move(message));
                continue;
            }
            run(*client, message.message, false);
        }
        holding = holding || !client->held.empty();
    }
    if (!holding)
        m_holdTimer.stop();
}

void OSCServer::send(Client& client, const QString& address, const OSCReply& reply) {
    QJsonObject object{{QStringLiteral("address"), address},
                       {QStringLiteral("status"), reply.status}};
    if (!reply.workspaceID.isEmpty())
        object.insert(QStringLiteral("workspace_id"), reply.workspaceID);
    if (reply.data)
        object.insert(QStringLiteral("data"), *reply.data);
    sendMessage(client, {"/reply" + address.toStdString(),
                         {QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString()}});
}

void OSCServer::sendMessage(Client& client, const osc::Message& message) {
    osc::writeFramed(*client.socket, message);
}

} // namespace carvo::sim
