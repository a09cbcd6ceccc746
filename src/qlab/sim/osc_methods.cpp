#include "qlab/sim/osc_methods.h"

#include <cmath>
#include <cstdio>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "base/text.h"

namespace carvo::sim {
namespace {

const QString qlabVersion = QStringLiteral("5.5.3");
// What a workspace without a passcode grants every connection.
const QString allRights = QStringLiteral("view|edit|control");

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

struct Outcome {
    QString status;
    std::optional<QJsonValue> data;
    // A message to several cues answered once per cue: each one's outcome.
    std::vector<Outcome> each;
};

Outcome ok(QJsonValue data) {
    return {QStringLiteral("ok"), std::move(data), {}};
}
Outcome done() {
    return {QStringLiteral("ok"), std::nullopt, {}};
}
Outcome error() {
    return {QStringLiteral("error"), std::nullopt, {}};
}

// What a connection needs of a workspace with a passcode to call a method.
enum class Right { none, view, edit, control };

// Whether the session may do what right names in the workspace: everything without a passcode.
bool may(const OSCSession& session, const Workspace& workspace, Right right) {
    if (workspace.passcode.isEmpty() || right == Right::none)
        return true;
    const auto granted = session.connected.find(workspace.uniqueID);
    if (granted == session.connected.end())
        return false;
    switch (right) {
    case Right::view:
        return granted->second.contains(QStringLiteral("view"));
    case Right::edit:
        return granted->second.contains(QStringLiteral("edit"));
    case Right::control:
        return granted->second.contains(QStringLiteral("control"));
    case Right::none:
        break;
    }
    return true;
}

// One workspace's method called: the connection, the workspace, the method's address parts (after
// the workspace) and the message.
struct WorkspaceCall {
    OSCSession& session;
    Workspace& workspace;
    const QStringList& rest;
    const osc::Message& message;
    Clock& clock;
};

// A method of the workspace, by its address after "/workspace/{id}"; "*" stands for any one
// part.
struct WorkspaceMethod {
    const char* pattern;
    Right right;
    bool returnsData;               // answered even while alwaysReply is off
    std::optional<ScriptKind> hold; // the script it stands in for, so a hang holds it the same way
    Outcome (*call)(WorkspaceCall& call);
};

Outcome connect(WorkspaceCall& call) {
    auto& workspace = call.workspace;
    const auto& args = call.message.arguments;
    if (workspace.passcode.isEmpty())
        return ok(QStringLiteral("ok:") + allRights);
    const auto given = args.empty() ? std::nullopt : osc::textOf(args.front());
    if (!given || asText(*given) != workspace.passcode) {
        call.session.connected.erase(workspace.uniqueID);
        return ok(QStringLiteral("badpass"));
    }
    call.session.connected[workspace.uniqueID] =
        workspace.passcodeRights.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    return ok(QStringLiteral("ok:") + workspace.passcodeRights);
}

Outcome disconnect(WorkspaceCall& call) {
    call.session.connected.erase(call.workspace.uniqueID);
    call.session.watched.erase(call.workspace.uniqueID);
    return done();
}

Outcome updates(WorkspaceCall& call) {
    const auto& args = call.message.arguments;
    const auto on = args.size() == 1 ? switchOf(args.front()) : std::nullopt;
    if (!on)
        return error();
    if (!*on) {
        call.session.watched.erase(call.workspace.uniqueID);
        return done();
    }
    call.session.watched[call.workspace.uniqueID] = cueStates(call.workspace, call.clock.now());
    return done();
}

Outcome newCue(WorkspaceCall& call) {
    const auto& args = call.message.arguments;
    const auto given = args.size() == 1 ? osc::textOf(args.front()) : std::nullopt;
    const auto type = given ? cueTypeNamed(asText(*given)) : std::nullopt;
    if (!type)
        return error();
    Cue cue;
    cue.uniqueID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    cue.type = *type;
    call.workspace.selected = QStringList{cue.uniqueID};
    call.workspace.cues.push_back(std::move(cue));
    return ok(call.workspace.cues.back().uniqueID);
}

Outcome deleteCue(WorkspaceCall& call) {
    const QString& id = call.rest[1];
    if (!removeCue(call.workspace.cues, id))
        return error();
    call.workspace.selected.removeAll(id);
    return done();
}

const WorkspaceMethod workspaceMethods[] = {
    // Asked before the passcode is given, to give it.
    {"connect", Right::none, true, ScriptKind::status, connect},
    {"disconnect", Right::view, false, std::nullopt, disconnect},
    {"updates", Right::view, false, std::nullopt, updates},
    {"runningCues", Right::view, true, ScriptKind::running,
     [](WorkspaceCall& call) { return ok(runningCues(call.workspace, call.clock.now(), false)); }},
    {"runningCues/uniqueIDs", Right::view, true, ScriptKind::running,
     [](WorkspaceCall& call) { return ok(runningCues(call.workspace, call.clock.now(), true)); }},
    {"thump", Right::view, true, std::nullopt,
     [](WorkspaceCall&) { return ok(QStringLiteral("thump")); }},
    {"cueLists", Right::view, true, ScriptKind::catalogue,
     [](WorkspaceCall& call) { return ok(QJsonArray{cueListDictionary(call.workspace)}); }},
    {"new", Right::edit, true, ScriptKind::scriptCue, newCue},
    {"delete_id/*", Right::edit, false, ScriptKind::scriptCue, deleteCue},
};

bool matches(const char* pattern, const QStringList& rest) {
    const QStringList parts = QString::fromLatin1(pattern).split(u'/');
    if (parts.size() != rest.size())
        return false;
    for (qsizetype i = 0; i < parts.size(); ++i)
        if (parts[i] != QLatin1String("*") && parts[i] != rest[i])
            return false;
    return true;
}

const WorkspaceMethod* workspaceMethodFor(const QStringList& rest) {
    for (const auto& method : workspaceMethods)
        if (matches(method.pattern, rest))
            return &method;
    return nullptr;
}

// One cue's method, after "cue/{number}/" or "cue_id/{id}/"; a cue's property by its name
// otherwise.
struct CueMethodEntry {
    const char* name;
    Right right;
    bool returnsData;
    std::optional<ScriptKind> (*hold)(const osc::Message& message);
    Outcome (*call)(Cue& cue, const osc::Message& message, double now);
};

std::optional<ScriptKind> holdsAsFiles(const osc::Message&) {
    return ScriptKind::files;
}
std::optional<ScriptKind> holdsAsLoad(const osc::Message&) {
    return ScriptKind::load;
}
std::optional<ScriptKind> holdsAsPanic(const osc::Message&) {
    return ScriptKind::panic;
}
// Asking a cue's type is the jump's question about its group, whatever comes along.
std::optional<ScriptKind> holdsByKeys(const osc::Message& message) {
    const auto keys = keysOf(message);
    if (keys && keys->contains(QStringLiteral("type")))
        return ScriptKind::files;
    if (keys && keys->contains(QStringLiteral("isRunning")))
        return ScriptKind::running;
    if (keys && keys->contains(QStringLiteral("actionElapsed")))
        return ScriptKind::elapsed;
    return ScriptKind::files;
}

Outcome valuesForKeys(Cue& cue, const osc::Message& message, double now) {
    const auto keys = keysOf(message);
    if (!keys)
        return error();
    QJsonObject values;
    for (const auto& key : *keys)
        if (const auto* property = propertyNamed(key))
            values.insert(key, property->get(cue, now));
    return ok(values);
}

Outcome children(Cue& cue, bool deep) {
    QJsonArray list;
    for (const auto& child : cue.children)
        list.append(cueDictionary(child, deep));
    return ok(list);
}

Outcome loadAtTime(Cue& cue, const osc::Message& message, double now) {
    const auto& args = message.arguments;
    const auto time = args.size() == 1 ? secondsOf(args.front()) : std::nullopt;
    if (!time)
        return error();
    loadAt(cue, *time, now);
    return done();
}

Outcome startCue(Cue& cue, const osc::Message& message, double now) {
    if (!message.arguments.empty())
        return error();
    start(cue, now);
    return done();
}

Outcome stopCue(Cue& cue, const osc::Message& message, double) {
    if (!message.arguments.empty())
        return error();
    stop(cue);
    return done();
}

const CueMethodEntry cueMethods[] = {
    {"valuesForKeys", Right::view, true, holdsByKeys, valuesForKeys},
    {"children", Right::view, true, holdsAsFiles,
     [](Cue& cue, const osc::Message&, double) { return children(cue, true); }},
    {"children/shallow", Right::view, true, holdsAsFiles,
     [](Cue& cue, const osc::Message&, double) { return children(cue, false); }},
    {"loadAt", Right::control, false, holdsAsLoad, loadAtTime},
    {"start", Right::control, false, holdsAsLoad, startCue},
    {"stop", Right::control, false, holdsAsPanic, stopCue},
    {"panic", Right::control, false, holdsAsPanic, stopCue},
};

const CueMethodEntry* cueMethodNamed(const QString& name) {
    for (const auto& method : cueMethods)
        if (name == QLatin1String(method.name))
            return &method;
    return nullptr;
}

// Properties whose reading stands in for one of the scripts.
constexpr std::pair<const char*, ScriptKind> propertyHolds[] = {
    {"isRunning", ScriptKind::running},
    {"actionElapsed", ScriptKind::elapsed},
};

// A property read or written: reading returns data; writing needs the right to edit.
Outcome propertyOutcome(const Property& property, Cue& cue, const osc::Message& message,
                        double now) {
    const auto& args = message.arguments;
    if (args.empty())
        return ok(property.get(cue, now));
    if (!property.set || args.size() != 1 || !property.set(cue, args.front()))
        return error();
    return done();
}

// What a cue's method needs, answers and stands in for, whether it is a method or a property;
// none when the cue has no such method.
struct CueCall {
    Right right;
    bool returnsData;
    std::optional<ScriptKind> hold;
};

std::optional<CueCall> cueCallOf(const QString& name, const osc::Message& message) {
    if (const auto* method = cueMethodNamed(name))
        return CueCall{method->right, method->returnsData, method->hold(message)};
    if (!propertyNamed(name))
        return std::nullopt;
    const bool reads = message.arguments.empty();
    std::optional<ScriptKind> hold;
    for (const auto& [property, kind] : propertyHolds)
        if (name == QLatin1String(property))
            hold = kind;
    return CueCall{reads ? Right::view : Right::edit, reads, hold};
}

// One cue's method: what a message addressed to it does and answers.
Outcome cueOutcome(Cue& cue, const QString& name, const osc::Message& message, double now) {
    if (const auto* method = cueMethodNamed(name))
        return method->call(cue, message, now);
    if (const auto* property = propertyNamed(name))
        return propertyOutcome(*property, cue, message, now);
    return error();
}

// The cues a cue's method reaches: a message to the selection reaches every selected cue.
std::vector<Cue*> cuesFor(Workspace& workspace, const CueMethod& method) {
    std::vector<Cue*> cues;
    if (!method.byID && method.cue == QLatin1String("selected")) {
        for (const QString& id : workspace.selected)
            if (Cue* selected = findCue(workspace.cues, id))
                cues.push_back(selected);
    } else if (Cue* one = method.byID ? findCue(workspace.cues, method.cue)
                                      : cueByNumber(workspace, method.cue)) {
        cues.push_back(one);
    }
    return cues;
}

// The application's own methods, outside any workspace; none: QLab stays silent.
using ApplicationMethod = std::optional<Outcome> (*)(SimulatedQLab& qlab, OSCSession& session,
                                                     const std::vector<osc::Argument>& args);

const std::pair<const char*, ApplicationMethod> applicationMethods[] = {
    {"workspaces",
     [](SimulatedQLab& qlab, OSCSession&,
        const std::vector<osc::Argument>&) -> std::optional<Outcome> {
         QJsonArray list;
         qlab.inspect([&](const WorkspaceFile& model) {
             for (const auto& workspace : model.workspaces)
                 list.append(
                     QJsonObject{{QStringLiteral("uniqueID"), workspace.uniqueID},
                                 {QStringLiteral("displayName"), workspace.name},
                                 {QStringLiteral("hasPasscode"), !workspace.passcode.isEmpty()},
                                 {QStringLiteral("version"), qlabVersion}});
         });
         return ok(list);
     }},
    {"version",
     [](SimulatedQLab&, OSCSession&, const std::vector<osc::Argument>&) -> std::optional<Outcome> {
         return ok(qlabVersion);
     }},
    {"thump",
     [](SimulatedQLab&, OSCSession&, const std::vector<osc::Argument>&) -> std::optional<Outcome> {
         return ok(QStringLiteral("thump"));
     }},
    {"alwaysReply",
     [](SimulatedQLab&, OSCSession& session,
        const std::vector<osc::Argument>& args) -> std::optional<Outcome> {
         if (args.empty())
             return ok(session.alwaysReply);
         if (const auto on = switchOf(args.front()); on && args.size() == 1) {
             session.alwaysReply = *on;
             if (session.alwaysReply)
                 return done();
             return std::nullopt;
         }
         if (session.alwaysReply)
             return error();
         return std::nullopt;
     }},
};

} // namespace

OSCMethods::OSCMethods(SimulatedQLab& qlab) : m_qlab(qlab) {}

std::vector<OSCReply> OSCMethods::answer(OSCSession& session, const osc::Message& message) const {
    std::vector<OSCReply> replies;
    const auto route = routeOf(message.address);
    if (!route) {
        if (session.alwaysReply)
            replies.push_back({QString(), QStringLiteral("error"), std::nullopt});
        return replies;
    }
    if (route->application) {
        const QString name = route->rest.join(u'/');
        for (const auto& [method, call] : applicationMethods) {
            if (name != QLatin1String(method))
                continue;
            if (const auto outcome = call(m_qlab, session, message.arguments))
                replies.push_back({QString(), outcome->status, outcome->data});
            return replies;
        }
        if (session.alwaysReply)
            replies.push_back({QString(), QStringLiteral("error"), std::nullopt});
        return replies;
    }

    const auto& rest = route->rest;
    const WorkspaceMethod* method = workspaceMethodFor(rest);
    const auto cueMethod = method ? std::nullopt : cueMethodOf(rest);
    const auto cueCall = cueMethod ? cueCallOf(cueMethod->method, message) : std::nullopt;
    const bool returnsData = method ? method->returnsData : cueCall && cueCall->returnsData;
    const bool due = session.alwaysReply || returnsData;
    const auto clock = m_qlab.clock();
    m_qlab.change([&](WorkspaceFile& model) {
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
                const Outcome denied{QStringLiteral("denied"), std::nullopt, {}};
                // Every method but the one that gives the passcode needs the right to view.
                if (!(method && method->right == Right::none) &&
                    !may(session, *workspace, Right::view))
                    return denied;
                if (method) {
                    if (!may(session, *workspace, method->right))
                        return denied;
                    WorkspaceCall call{session, *workspace, rest, message, *clock};
                    return method->call(call);
                }
                if (!cueMethod)
                    return error();
                if (cueCall && !may(session, *workspace, cueCall->right))
                    return denied;
                const auto cues = cuesFor(*workspace, *cueMethod);
                if (cues.empty())
                    return error();
                if (cues.size() == 1)
                    return cueOutcome(*cues.front(), cueMethod->method, message, clock->now());
                std::vector<Outcome> each;
                for (Cue* cue : cues)
                    each.push_back(cueOutcome(*cue, cueMethod->method, message, clock->now()));
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

std::optional<OSCMethods::Hold> OSCMethods::holdOf(const osc::Message& message) const {
    const auto route = routeOf(message.address);
    if (!route || route->application)
        return std::nullopt;
    if (const auto* method = workspaceMethodFor(route->rest)) {
        if (!method->hold)
            return std::nullopt;
        return Hold{*method->hold, QString()};
    }
    const auto cueMethod = cueMethodOf(route->rest);
    if (!cueMethod)
        return std::nullopt;
    std::optional<ScriptKind> kind;
    // Asking for the cue numbered "Carvo" is the status check's question.
    if (!cueMethod->byID && cueMethod->cue == QLatin1String("Carvo"))
        kind = ScriptKind::status;
    else if (const auto call = cueCallOf(cueMethod->method, message))
        kind = call->hold;
    if (!kind)
        return std::nullopt;
    // A hang names a cue by its unique ID.
    QString cueID = cueMethod->cue;
    if (!cueMethod->byID) {
        m_qlab.change([&](WorkspaceFile& model) {
            for (auto& workspace : model.workspaces)
                if (!route->workspaceID || workspace.uniqueID == *route->workspaceID)
                    if (const auto* cue = cueByNumber(workspace, cueMethod->cue)) {
                        cueID = cue->uniqueID;
                        return;
                    }
        });
    }
    return Hold{*kind, cueID};
}

std::vector<std::string> OSCMethods::updates(OSCSession& session) const {
    std::vector<std::string> addresses;
    const auto clock = m_qlab.clock();
    m_qlab.change([&](WorkspaceFile& model) {
        const double now = clock->now();
        for (auto& [workspaceID, told] : session.watched) {
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
                    addresses.push_back(prefix + "/cue_id/" + cueID.toStdString());
            }
            if (listChanged)
                addresses.push_back(prefix);
            told = std::move(states);
        }
    });
    return addresses;
}

} // namespace carvo::sim
