#include "qlab/sim/osc_server.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>

#include "base/text.h"

namespace carvo::sim {
namespace {

// No message Carvo sends comes near this; a longer one is a broken or hostile client.
constexpr std::size_t maxPacket = 64 * 1024;
constexpr int holdPollMs = 20;
// Changes from the other side of the model and cues that reach their end are seen this often.
constexpr int updatePollMs = 20;
const QString qlabVersion = QStringLiteral("5.5.3");
// What a workspace without a passcode grants every connection.
const QString allRights = QStringLiteral("view|edit|control");

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString asText(const std::string& text) {
    return fromUtf8(text);
}

// The address's parts after its leading slash; none unless it is an OSC address.
std::optional<QStringList> partsOf(const std::string& address) {
    if (address.empty() || address.front() != '/')
        return std::nullopt;
    return asText(address.substr(1)).split(u'/');
}

std::optional<double> secondsOf(const osc::Argument& argument) {
    double value = 0.0;
    if (const auto* f = std::get_if<float>(&argument))
        value = *f;
    else if (const auto* d = std::get_if<double>(&argument))
        value = *d;
    else if (const auto integer = osc::integerOf(argument))
        value = static_cast<double>(*integer);
    else
        return std::nullopt;
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<bool> switchOf(const osc::Argument& argument) {
    if (std::holds_alternative<osc::True>(argument))
        return true;
    if (std::holds_alternative<osc::False>(argument))
        return false;
    if (const auto number = secondsOf(argument))
        return *number != 0.0;
    if (const auto* text = std::get_if<std::string>(&argument)) {
        if (*text == "1" || *text == "true")
            return true;
        if (*text == "0" || *text == "false")
            return false;
    }
    return std::nullopt;
}

bool isGroup(const Cue& cue) {
    return QString::compare(cue.type, QStringLiteral("Group"), Qt::CaseInsensitive) == 0;
}

// The name QLab shows in the cue list: the cue's name, or a default made from its target.
QString listName(const Cue& cue) {
    if (!cue.name.isEmpty())
        return cue.name;
    if (!cue.fileTarget.isEmpty())
        return QFileInfo(cue.fileTarget).fileName();
    if (!cue.customString.isEmpty())
        return cue.customString;
    return cue.type;
}

// One cue property as OSC reads it, and writes it when it can be written.
struct Property {
    const char* name;
    QJsonValue (*get)(Cue& cue, double now);
    bool (*set)(Cue& cue, const osc::Argument& value); // null: read only
};

bool setText(QString& field, const osc::Argument& value) {
    const auto text = osc::textOf(value);
    if (!text)
        return false;
    field = asText(*text);
    return true;
}

const Property properties[] = {
    {"uniqueID", [](Cue& c, double) { return QJsonValue(c.uniqueID); }, nullptr},
    {"type", [](Cue& c, double) { return QJsonValue(c.type); }, nullptr},
    {"number", [](Cue& c, double) { return QJsonValue(c.number); },
     [](Cue& c, const osc::Argument& v) { return setText(c.number, v); }},
    {"name", [](Cue& c, double) { return QJsonValue(c.name); },
     [](Cue& c, const osc::Argument& v) { return setText(c.name, v); }},
    {"listName", [](Cue& c, double) { return QJsonValue(listName(c)); }, nullptr},
    {"displayName", [](Cue& c, double) { return QJsonValue(listName(c)); }, nullptr},
    {"notes", [](Cue& c, double) { return QJsonValue(c.notes); },
     [](Cue& c, const osc::Argument& v) { return setText(c.notes, v); }},
    {"fileTarget",
     [](Cue& c, double) {
         return c.fileTarget.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(c.fileTarget);
     },
     nullptr},
    {"isRunning", [](Cue& c, double now) { return QJsonValue(isPlaying(c, now)); }, nullptr},
    {"actionElapsed", [](Cue& c, double now) { return QJsonValue(actionElapsed(c, now)); },
     nullptr},
    {"duration", [](Cue& c, double) { return QJsonValue(c.duration); }, nullptr},
    {"armed", [](Cue&, double) { return QJsonValue(true); }, nullptr},
    {"flagged", [](Cue&, double) { return QJsonValue(false); }, nullptr},
    {"colorName", [](Cue&, double) { return QJsonValue(QStringLiteral("none")); }, nullptr},
    {"customString", [](Cue& c, double) { return QJsonValue(c.customString); },
     [](Cue& c, const osc::Argument& v) { return setText(c.customString, v); }},
    {"networkPatchNumber", [](Cue& c, double) { return QJsonValue(c.networkPatchNumber); },
     [](Cue& c, const osc::Argument& v) {
         const auto text = osc::textOf(v);
         bool ok = false;
         const int number = text ? asText(*text).toInt(&ok) : 0;
         if (!ok || number < 0)
             return false;
         c.networkPatchNumber = number;
         return true;
     }},
    {"networkPatchName", [](Cue& c, double) { return QJsonValue(c.networkPatchName); },
     [](Cue& c, const osc::Argument& v) { return setText(c.networkPatchName, v); }},
};

const Property* propertyNamed(const QString& name) {
    for (const auto& property : properties)
        if (name == QLatin1String(property.name))
            return &property;
    return nullptr;
}

// QLab's cue dictionary; the deep form nests a group's children under "cues".
QJsonObject cueDictionary(const Cue& cue, bool deep) {
    QJsonObject object{{QStringLiteral("uniqueID"), cue.uniqueID},
                       {QStringLiteral("number"), cue.number},
                       {QStringLiteral("name"), cue.name},
                       {QStringLiteral("listName"), listName(cue)},
                       {QStringLiteral("type"), cue.type},
                       {QStringLiteral("colorName"), QStringLiteral("none")},
                       {QStringLiteral("flagged"), false},
                       {QStringLiteral("armed"), true}};
    if (deep && isGroup(cue)) {
        QJsonArray children;
        for (const auto& child : cue.children)
            children.append(cueDictionary(child, true));
        object.insert(QStringLiteral("cues"), children);
    }
    return object;
}

// The model keeps a workspace's cues without a cue list around them; QLab always has one.
QJsonObject cueListDictionary(const Workspace& workspace) {
    const QString name = QStringLiteral("Main Cue List");
    QJsonArray cues;
    for (const auto& cue : workspace.cues)
        cues.append(cueDictionary(cue, true));
    return {{QStringLiteral("uniqueID"), workspace.uniqueID + QStringLiteral("-LIST")},
            {QStringLiteral("number"), QString()},
            {QStringLiteral("name"), name},
            {QStringLiteral("listName"), name},
            {QStringLiteral("type"), QStringLiteral("Cue List")},
            {QStringLiteral("colorName"), QStringLiteral("none")},
            {QStringLiteral("flagged"), false},
            {QStringLiteral("armed"), true},
            {QStringLiteral("cues"), cues}};
}

// QLab's type names, as /new takes them in lower case.
const char* const cueTypes[] = {
    "Audio",     "Mic",      "Video",  "Camera", "Text",  "Light",  "Fade",  "Network", "MIDI",
    "MIDI File", "Timecode", "Start",  "Stop",   "Pause", "Load",   "Reset", "Devamp",  "GoTo",
    "Target",    "Arm",      "Disarm", "Wait",   "Memo",  "Script", "Group",
};

std::optional<QString> cueTypeNamed(const QString& name) {
    for (const char* type : cueTypes)
        if (QString::compare(name, QLatin1String(type), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(type);
    return std::nullopt;
}

template <typename Visit> Cue* firstCue(std::vector<Cue>& cues, Visit&& matches) {
    for (auto& cue : cues) {
        if (matches(cue))
            return &cue;
        if (auto* inner = firstCue(cue.children, matches))
            return inner;
    }
    return nullptr;
}

// "selected" is the last selected cue that exists, as the get-files script takes it; any other
// word is a cue number.
Cue* cueByNumber(Workspace& workspace, const QString& number) {
    if (number == QLatin1String("selected")) {
        for (auto it = workspace.selected.crbegin(); it != workspace.selected.crend(); ++it)
            if (auto* cue = findCue(workspace.cues, *it))
                return cue;
        return nullptr;
    }
    return firstCue(workspace.cues, [&](const Cue& cue) { return cue.number == number; });
}

Workspace* workspaceWithID(WorkspaceFile& model, const QString& id) {
    for (auto& workspace : model.workspaces)
        if (workspace.uniqueID == id)
            return &workspace;
    return nullptr;
}

// Where a message goes: the application, or one workspace's method (rest) with or without a
// workspace ID in front; none names every open workspace, as QLab 5 delivers it.
struct Route {
    bool application = false;
    std::optional<QString> workspaceID;
    QStringList rest;
};

std::optional<Route> routeOf(const std::string& address) {
    auto parts = partsOf(address);
    if (!parts)
        return std::nullopt;
    static const QStringList applicationMethods{
        QStringLiteral("workspaces"), QStringLiteral("version"), QStringLiteral("alwaysReply"),
        QStringLiteral("thump")};
    if (parts->size() == 1 && applicationMethods.contains(parts->front()))
        return Route{true, std::nullopt, *parts};
    if (parts->front() == QLatin1String("workspace")) {
        if (parts->size() < 3)
            return Route{true, std::nullopt, *parts}; // no such method: an application error
        return Route{false, parts->at(1), parts->mid(2)};
    }
    return Route{false, std::nullopt, *parts};
}

// A cue's method: the cue's word after "cue" or "cue_id", and the method after it.
struct CueMethod {
    bool byID = false;
    QString cue;
    QString method;
};

std::optional<CueMethod> cueMethodOf(const QStringList& rest) {
    if (rest.size() < 3 ||
        (rest[0] != QLatin1String("cue") && rest[0] != QLatin1String("cue_id")) ||
        rest[1].isEmpty())
        return std::nullopt;
    return CueMethod{rest[0] == QLatin1String("cue_id"), rest[1], rest.mid(2).join(u'/')};
}

std::optional<QStringList> keysOf(const osc::Message& message) {
    if (message.arguments.size() != 1)
        return std::nullopt;
    const auto* text = std::get_if<std::string>(&message.arguments.front());
    if (!text)
        return std::nullopt;
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(*text));
    if (!document.isArray())
        return std::nullopt;
    QStringList keys;
    for (const auto& key : document.array()) {
        if (!key.isString())
            return std::nullopt;
        keys.append(key.toString());
    }
    return keys;
}

const QStringList runningCueIDs{QStringLiteral("runningCues"), QStringLiteral("uniqueIDs")};

// Every running cue of the workspace, depth first: the whole dictionary, or its ID alone.
QJsonArray runningCues(Workspace& workspace, double now, bool idsOnly) {
    QJsonArray list;
    firstCue(workspace.cues, [&](Cue& cue) {
        if (isPlaying(cue, now))
            list.append(idsOnly ? QJsonObject{{QStringLiteral("uniqueID"), cue.uniqueID}}
                                : cueDictionary(cue, false));
        return false;
    });
    return list;
}

// What a subscriber to updates is told about when it changes: a cue's running state and the
// properties OSC reads.
std::map<QString, QString> cueStates(Workspace& workspace, double now) {
    std::map<QString, QString> states;
    firstCue(workspace.cues, [&](Cue& cue) {
        states[cue.uniqueID] =
            QStringList{isPlaying(cue, now) ? QStringLiteral("1") : QStringLiteral("0"),
                        cue.number,
                        cue.name,
                        cue.notes,
                        cue.fileTarget,
                        cue.customString,
                        QString::number(cue.networkPatchNumber),
                        cue.networkPatchName}
                .join(QChar(0x1f));
        return false;
    });
    return states;
}

// Deletes the cue with this unique ID wherever it sits, with its children; false when there is
// none.
bool removeCue(std::vector<Cue>& cues, const QString& uniqueID) {
    for (auto it = cues.begin(); it != cues.end(); ++it) {
        if (it->uniqueID.compare(uniqueID, Qt::CaseInsensitive) == 0) {
            cues.erase(it);
            return true;
        }
        if (removeCue(it->children, uniqueID))
            return true;
    }
    return false;
}

// Whether a method answers with data, and so is answered even while alwaysReply is off.
bool returnsData(const QStringList& rest, const osc::Message& message) {
    if (rest.size() == 1)
        return rest[0] == QLatin1String("connect") || rest[0] == QLatin1String("thump") ||
               rest[0] == QLatin1String("cueLists") || rest[0] == QLatin1String("new") ||
               rest[0] == QLatin1String("runningCues");
    if (rest == runningCueIDs)
        return true;
    const auto method = cueMethodOf(rest);
    if (!method)
        return false;
    if (method->method == QLatin1String("valuesForKeys") ||
        method->method == QLatin1String("children") ||
        method->method == QLatin1String("children/shallow"))
        return true;
    return propertyNamed(method->method) && message.arguments.empty();
}

// The kind of AppleScript a method stands in for, so the model's hang holds it the same way.
std::optional<ScriptKind> scriptKindOf(const QStringList& rest, const osc::Message& message) {
    if (rest.size() == 1) {
        if (rest[0] == QLatin1String("cueLists"))
            return ScriptKind::catalogue;
        if (rest[0] == QLatin1String("new"))
            return ScriptKind::scriptCue;
        if (rest[0] == QLatin1String("connect"))
            return ScriptKind::status;
        if (rest[0] == QLatin1String("runningCues"))
            return ScriptKind::running;
        return std::nullopt;
    }
    if (rest == runningCueIDs)
        return ScriptKind::running;
    if (rest.size() == 2 && rest[0] == QLatin1String("delete_id"))
        return ScriptKind::scriptCue;
    const auto method = cueMethodOf(rest);
    if (!method)
        return std::nullopt;
    const auto& name = method->method;
    // Asking for the cue numbered "Carvo" is the status check's question.
    if (!method->byID && method->cue == QLatin1String("Carvo"))
        return ScriptKind::status;
    if (name == QLatin1String("isRunning"))
        return ScriptKind::running;
    if (name == QLatin1String("actionElapsed"))
        return ScriptKind::elapsed;
    if (name == QLatin1String("valuesForKeys")) {
        const auto keys = keysOf(message);
        // Asking a cue's type is the jump's question about its group, whatever comes along.
        if (keys && keys->contains(QStringLiteral("type")))
            return ScriptKind::files;
        if (keys && keys->contains(QStringLiteral("isRunning")))
            return ScriptKind::running;
        if (keys && keys->contains(QStringLiteral("actionElapsed")))
            return ScriptKind::elapsed;
        return ScriptKind::files;
    }
    if (name == QLatin1String("children") || name == QLatin1String("children/shallow"))
        return ScriptKind::files;
    if (name == QLatin1String("loadAt") || name == QLatin1String("start"))
        return ScriptKind::load;
    if (name == QLatin1String("panic") || name == QLatin1String("stop"))
        return ScriptKind::panic;
    return std::nullopt;
}

} // namespace

struct Outcome {
    QString status;
    std::optional<QJsonValue> data;
    // A message to several cues answered once per cue: each one's outcome.
    std::vector<Outcome> each;
};

namespace {
Outcome ok(QJsonValue data) {
    return {QStringLiteral("ok"), std::move(data), {}};
}
Outcome done() {
    return {QStringLiteral("ok"), std::nullopt, {}};
}
Outcome error() {
    return {QStringLiteral("error"), std::nullopt, {}};
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

struct OscServer::Client {
    QTcpSocket* socket = nullptr;
    osc::SlipDecoder decoder{maxPacket};
    bool alwaysReply = false;
    // Workspace IDs this connection gave the passcode for, with the rights it was granted.
    std::map<QString, QStringList> connected;
    // Workspaces this connection asked for updates from, with what it was last told of them.
    std::map<QString, std::map<QString, QString>> watched;
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

OscServer::OscServer(std::shared_ptr<SimulatedQLab> qlab, QObject* parent)
    : QObject(parent), m_qlab(std::move(qlab)), m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &OscServer::accept);
    m_holdTimer.setInterval(holdPollMs);
    connect(&m_holdTimer, &QTimer::timeout, this, &OscServer::releaseHeld);
    m_updateTimer.setInterval(updatePollMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &OscServer::sendUpdates);
}

OscServer::~OscServer() {
    close();
}

bool OscServer::listen(const QHostAddress& address, quint16 port) {
    return m_server->listen(address, port);
}

quint16 OscServer::serverPort() const {
    return m_server->serverPort();
}

QString OscServer::errorString() const {
    return m_server->errorString();
}

void OscServer::close() {
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

void OscServer::accept() {
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

void OscServer::drop(Client* client) {
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->get() == client) {
            client->socket->disconnect(this);
            client->socket->deleteLater();
            m_clients.erase(it);
            return;
        }
    }
}

void OscServer::read(Client& client) {
    const QByteArray bytes = client.socket->readAll();
    for (const auto& packet : client.decoder.feed(
             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
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

void OscServer::arrive(Client& client) {
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

void OscServer::take(Client& client, const osc::Message& message) {
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

void OscServer::runDue(Client& client) {
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

void OscServer::run(Client& client, const osc::Message& message, bool mayHold) {
    if (mayHold) {
        const auto route = routeOf(message.address);
        const auto kind =
            route && !route->application ? scriptKindOf(route->rest, message) : std::nullopt;
        if (kind) {
            QString cueID;
            if (const auto method = cueMethodOf(route->rest)) {
                cueID = method->cue;
                if (!method->byID) {
                    m_qlab->change([&](WorkspaceFile& model) {
                        for (auto& workspace : model.workspaces)
                            if (!route->workspaceID || workspace.uniqueID == *route->workspaceID)
                                if (const auto* cue = cueByNumber(workspace, method->cue)) {
                                    cueID = cue->uniqueID;
                                    return;
                                }
                    });
                }
            }
            if (const auto hang = m_qlab->hangFor(*kind, cueID)) {
                std::optional<qint64> until;
                if (hang->seconds)
                    until = monotonicMs() + static_cast<qint64>(*hang->seconds * 1000.0);
                client.held.push_back({message, *kind, cueID, until});
                if (!m_holdTimer.isActive())
                    m_holdTimer.start();
                return;
            }
        }
    }
    for (const auto& reply : answer(client, message))
        send(client, asText(message.address), reply);
}

void OscServer::sendUpdates() {
    const auto clock = m_qlab->clock();
    bool watching = false;
    for (auto& client : m_clients) {
        std::vector<std::string> updates;
        m_qlab->change([&](WorkspaceFile& model) {
            const double now = clock->now();
            for (auto& [workspaceID, told] : client->watched) {
                auto* workspace = workspaceWithID(model, workspaceID);
                if (!workspace)
                    continue;
                auto states = cueStates(*workspace, now);
                const auto prefix = "/update/workspace/" + workspaceID.toStdString();
                bool listChanged = states.size() != told.size();
                for (const auto& [cueID, state] : states) {
                    const auto before = told.find(cueID);
                    if (before == told.end())
                        listChanged = true;
                    else if (before->second != state)
                        updates.push_back(prefix + "/cue_id/" + cueID.toStdString());
                }
                if (listChanged)
                    updates.push_back(prefix);
                told = std::move(states);
            }
        });
        for (const auto& address : updates)
            sendMessage(*client, {address, {}});
        watching = watching || !client->watched.empty();
    }
    if (!watching)
        m_updateTimer.stop();
}

void OscServer::releaseHeld() {
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

std::vector<OscServer::Reply> OscServer::answer(Client& client, const osc::Message& message) {
    std::vector<Reply> replies;
    const auto route = routeOf(message.address);
    if (!route) {
        if (client.alwaysReply)
            replies.push_back({QString(), QStringLiteral("error"), std::nullopt});
        return replies;
    }
    const auto& args = message.arguments;

    if (route->application) {
        const QString method = route->rest.join(u'/');
        if (method == QLatin1String("workspaces")) {
            QJsonArray list;
            m_qlab->inspect([&](const WorkspaceFile& model) {
                for (const auto& workspace : model.workspaces)
                    list.append(
                        QJsonObject{{QStringLiteral("uniqueID"), workspace.uniqueID},
                                    {QStringLiteral("displayName"), workspace.name},
                                    {QStringLiteral("hasPasscode"), !workspace.passcode.isEmpty()},
                                    {QStringLiteral("version"), qlabVersion}});
            });
            replies.push_back({QString(), QStringLiteral("ok"), QJsonValue(list)});
        } else if (method == QLatin1String("version")) {
            replies.push_back({QString(), QStringLiteral("ok"), QJsonValue(qlabVersion)});
        } else if (method == QLatin1String("thump")) {
            replies.push_back(
                {QString(), QStringLiteral("ok"), QJsonValue(QStringLiteral("thump"))});
        } else if (method == QLatin1String("alwaysReply")) {
            if (args.empty()) {
                replies.push_back(
                    {QString(), QStringLiteral("ok"), QJsonValue(client.alwaysReply)});
            } else if (const auto on = switchOf(args.front()); on && args.size() == 1) {
                client.alwaysReply = *on;
                if (client.alwaysReply)
                    replies.push_back({QString(), QStringLiteral("ok"), std::nullopt});
            } else if (client.alwaysReply) {
                replies.push_back({QString(), QStringLiteral("error"), std::nullopt});
            }
        } else if (client.alwaysReply) {
            replies.push_back({QString(), QStringLiteral("error"), std::nullopt});
        }
        return replies;
    }

    const bool due = client.alwaysReply || returnsData(route->rest, message);
    const auto clock = m_qlab->clock();
    m_qlab->change([&](WorkspaceFile& model) {
        std::vector<Workspace*> targets;
        if (route->workspaceID) {
            auto* workspace = workspaceWithID(model, *route->workspaceID);
            if (!workspace) {
                if (due)
                    replies.push_back({*route->workspaceID, QStringLiteral("error"), std::nullopt});
                return;
            }
            targets.push_back(workspace);
        } else {
            for (auto& workspace : model.workspaces)
                targets.push_back(&workspace);
        }
        for (auto* workspace : targets) {
            const auto outcome = [&]() -> Outcome {
                const auto& rest = route->rest;
                const QString first = rest.front();
                const auto granted = client.connected.find(workspace->uniqueID);
                const bool connected =
                    workspace->passcode.isEmpty() || granted != client.connected.end();
                // What this connection may do here: everything without a passcode.
                const auto may = [&](const char* right) {
                    return workspace->passcode.isEmpty() ||
                           (granted != client.connected.end() &&
                            granted->second.contains(QLatin1String(right)));
                };
                if (rest.size() == 1 && first == QLatin1String("connect")) {
                    if (workspace->passcode.isEmpty())
                        return ok(QStringLiteral("ok:") + allRights);
                    const auto given = args.empty() ? std::nullopt : osc::textOf(args.front());
                    if (!given || asText(*given) != workspace->passcode) {
                        client.connected.erase(workspace->uniqueID);
                        return ok(QStringLiteral("badpass"));
                    }
                    client.connected[workspace->uniqueID] =
                        workspace->passcodeRights.split(QLatin1Char('|'), Qt::SkipEmptyParts);
                    return ok(QStringLiteral("ok:") + workspace->passcodeRights);
                }
                if (!connected || !may("view"))
                    return {QStringLiteral("denied"), std::nullopt, {}};
                const Outcome denied{QStringLiteral("denied"), std::nullopt, {}};
                if (rest.size() == 1) {
                    if (first == QLatin1String("disconnect")) {
                        client.connected.erase(workspace->uniqueID);
                        client.watched.erase(workspace->uniqueID);
                        return done();
                    }
                    if (first == QLatin1String("updates")) {
                        const auto on = args.size() == 1 ? switchOf(args.front()) : std::nullopt;
                        if (!on)
                            return error();
                        if (!*on) {
                            client.watched.erase(workspace->uniqueID);
                            return done();
                        }
                        client.watched[workspace->uniqueID] = cueStates(*workspace, clock->now());
                        if (!m_updateTimer.isActive())
                            m_updateTimer.start();
                        return done();
                    }
                    if (first == QLatin1String("runningCues"))
                        return ok(runningCues(*workspace, clock->now(), false));
                    if (first == QLatin1String("thump"))
                        return ok(QStringLiteral("thump"));
                    if (first == QLatin1String("cueLists"))
                        return ok(QJsonArray{cueListDictionary(*workspace)});
                    if (first == QLatin1String("new")) {
                        if (!may("edit"))
                            return denied;
                        const auto given =
                            args.size() == 1 ? osc::textOf(args.front()) : std::nullopt;
                        const auto type = given ? cueTypeNamed(asText(*given)) : std::nullopt;
                        if (!type)
                            return error();
                        Cue cue;
                        cue.uniqueID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
                        cue.type = *type;
                        workspace->selected = QStringList{cue.uniqueID};
                        workspace->cues.push_back(std::move(cue));
                        return ok(workspace->cues.back().uniqueID);
                    }
                    return error();
                }
                if (rest == runningCueIDs)
                    return ok(runningCues(*workspace, clock->now(), true));
                if (rest.size() == 2 && rest[0] == QLatin1String("delete_id")) {
                    if (!may("edit"))
                        return denied;
                    if (!removeCue(workspace->cues, rest[1]))
                        return error();
                    workspace->selected.removeAll(rest[1]);
                    return done();
                }
                const auto method = cueMethodOf(rest);
                if (!method)
                    return error();
                const auto& name = method->method;
                const bool runs = name == QLatin1String("loadAt") ||
                                  name == QLatin1String("start") || name == QLatin1String("stop") ||
                                  name == QLatin1String("panic");
                if (runs ? !may("control") : (propertyNamed(name) && !args.empty() && !may("edit")))
                    return denied;
                std::vector<Cue*> cues;
                if (!method->byID && method->cue == QLatin1String("selected")) {
                    // A message to the selection reaches every selected cue.
                    for (const QString& id : workspace->selected)
                        if (Cue* selected = findCue(workspace->cues, id))
                            cues.push_back(selected);
                } else if (Cue* one = method->byID ? findCue(workspace->cues, method->cue)
                                                   : cueByNumber(*workspace, method->cue)) {
                    cues.push_back(one);
                }
                if (cues.empty())
                    return error();
                if (cues.size() == 1)
                    return cueOutcome(*cues.front(), name, message);
                std::vector<Outcome> each;
                for (Cue* cue : cues)
                    each.push_back(cueOutcome(*cue, name, message));
                if (workspace->selectedReplies == Workspace::SelectedReplies::each) {
                    Outcome several = each.back();
                    several.each = std::move(each);
                    return several;
                }
                QJsonArray list;
                for (const Outcome& one : each) {
                    if (one.status != QLatin1String("ok"))
                        return one;
                    if (one.data)
                        list.append(*one.data);
                }
                return list.isEmpty() ? done() : ok(list);
            }();
            if (due) {
                if (outcome.each.empty())
                    replies.push_back({workspace->uniqueID, outcome.status, outcome.data});
                for (const Outcome& one : outcome.each)
                    replies.push_back({workspace->uniqueID, one.status, one.data});
            }
        }
    });
    return replies;
}

// One cue's method: what a message addressed to it does and answers.
Outcome OscServer::cueOutcome(Cue& cueRef, const QString& name, const osc::Message& message) {
    Cue* cue = &cueRef;
    const auto& args = message.arguments;
    const double now = m_qlab->clock()->now();
    if (name == QLatin1String("valuesForKeys")) {
        const auto keys = keysOf(message);
        if (!keys)
            return error();
        QJsonObject values;
        for (const auto& key : *keys)
            if (const auto* property = propertyNamed(key))
                values.insert(key, property->get(*cue, now));
        return ok(values);
    }
    if (name == QLatin1String("children") || name == QLatin1String("children/shallow")) {
        QJsonArray children;
        for (const auto& child : cue->children)
            children.append(cueDictionary(child, name == QLatin1String("children")));
        return ok(children);
    }
    if (name == QLatin1String("loadAt")) {
        const auto time = args.size() == 1 ? secondsOf(args.front()) : std::nullopt;
        if (!time)
            return error();
        loadAt(*cue, *time, now);
        return done();
    }
    if (!args.empty() && (name == QLatin1String("start") || name == QLatin1String("stop") ||
                          name == QLatin1String("panic")))
        return error();
    if (name == QLatin1String("start")) {
        start(*cue, now);
        return done();
    }
    if (name == QLatin1String("stop") || name == QLatin1String("panic")) {
        stop(*cue);
        return done();
    }
    const auto* property = propertyNamed(name);
    if (!property)
        return error();
    if (args.empty())
        return ok(property->get(*cue, now));
    if (!property->set || args.size() != 1 || !property->set(*cue, args.front()))
        return error();
    return done();
}

void OscServer::send(Client& client, const QString& address, const Reply& reply) {
    QJsonObject object{{QStringLiteral("address"), address},
                       {QStringLiteral("status"), reply.status}};
    if (!reply.workspaceID.isEmpty())
        object.insert(QStringLiteral("workspace_id"), reply.workspaceID);
    if (reply.data)
        object.insert(QStringLiteral("data"), *reply.data);
    sendMessage(client, {"/reply" + address.toStdString(),
                         {QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString()}});
}

void OscServer::sendMessage(Client& client, const osc::Message& message) {
    const auto bytes = osc::encode(message);
    const auto framed =
        osc::slipFrame(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    client.socket->write(reinterpret_cast<const char*>(framed.data()),
                         static_cast<qint64>(framed.size()));
}

} // namespace carvo::sim
