#include "qlab/sim/workspace.h"

#include "base/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <limits>
#include <utility>

namespace carvo::sim {
namespace {

constexpr int maxDepth = 64; // deeper group nesting is a broken file, not a workspace

constexpr std::pair<ScriptKind, const char*> kindNames[] = {
    {ScriptKind::status, "status"},        {ScriptKind::catalogue, "catalogue"},
    {ScriptKind::files, "files"},          {ScriptKind::running, "running"},
    {ScriptKind::elapsed, "elapsed"},      {ScriptKind::load, "load"},
    {ScriptKind::panic, "panic"},          {ScriptKind::message, "message"},
    {ScriptKind::scriptCue, "script-cue"},
};

// A number of zero or more (and at most max) when the key is present: false when it is not one.
bool readAmount(const QJsonValue& value, double max, double& out) {
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isDouble() || !(value.toDouble() >= 0.0) || value.toDouble() > max)
        return false;
    out = value.toDouble();
    return true;
}

constexpr double noLimit = std::numeric_limits<double>::max();

QString scriptKindNames() {
    QStringList names;
    for (const auto& [kind, name] : kindNames)
        names.append(QString::fromLatin1(name));
    return names.join(QStringLiteral(", "));
}

struct Reader {
    QString baseFolder;
    QString problem;

    bool fail(const QString& where, const QString& what) {
        if (problem.isEmpty())
            problem = where + QStringLiteral(": ") + what;
        return false;
    }

    bool readText(const QJsonObject& object, const char* key, const QString& where, QString& out) {
        const auto value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        if (!value.isString())
            return fail(where + u'.' + QLatin1String(key), QStringLiteral("expected a string"));
        out = value.toString();
        return true;
    }

    bool readCue(const QJsonValue& value, const QString& where, int depth, Cue& cue) {
        if (depth > maxDepth)
            return fail(where, QStringLiteral("groups nested too deeply"));
        if (!value.isObject())
            return fail(where, QStringLiteral("expected a cue object"));
        const auto object = value.toObject();
        if (!readText(object, "uniqueID", where, cue.uniqueID) ||
            !readText(object, "number", where, cue.number) ||
            !readText(object, "name", where, cue.name) ||
            !readText(object, "type", where, cue.type) ||
            !readText(object, "notes", where, cue.notes) ||
            !readText(object, "fileTarget", where, cue.fileTarget) ||
            !readText(object, "scriptSource", where, cue.scriptSource) ||
            !readText(object, "customString", where, cue.customString) ||
            !readText(object, "networkPatchName", where, cue.networkPatchName))
            return false;
        double patch = cue.networkPatchNumber;
        if (!readAmount(object.value(QStringLiteral("networkPatchNumber")), 1e6, patch) ||
            patch != static_cast<int>(patch))
            return fail(where + QStringLiteral(".networkPatchNumber"),
                        QStringLiteral("expected a whole number, zero or more"));
        cue.networkPatchNumber = static_cast<int>(patch);
        if (cue.uniqueID.isEmpty())
            return fail(where + QStringLiteral(".uniqueID"), QStringLiteral("missing"));
        if (cue.type.isEmpty())
            return fail(where + QStringLiteral(".type"), QStringLiteral("missing"));
        if (!cue.fileTarget.isEmpty())
            cue.fileTarget = QDir::cleanPath(QDir(baseFolder).absoluteFilePath(cue.fileTarget));
        if (!readAmount(object.value(QStringLiteral("duration")), noLimit, cue.duration))
            return fail(where + QStringLiteral(".duration"),
                        QStringLiteral("expected seconds, zero or more"));
        const auto children = object.value(QStringLiteral("children"));
        if (children.isUndefined())
            return true;
        if (!children.isArray())
            return fail(where + QStringLiteral(".children"), QStringLiteral("expected a list"));
        const auto list = children.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            Cue child;
            if (!readCue(list[i], where + QStringLiteral(".children[%1]").arg(i), depth + 1, child))
                return false;
            cue.children.push_back(std::move(child));
        }
        return true;
    }

    bool readWorkspace(const QJsonValue& value, const QString& where, Workspace& workspace) {
        if (!value.isObject())
            return fail(where, QStringLiteral("expected a workspace object"));
        const auto object = value.toObject();
        if (!readText(object, "name", where, workspace.name) ||
            !readText(object, "uniqueID", where, workspace.uniqueID) ||
            !readText(object, "passcode", where, workspace.passcode))
            return false;
        if (object.contains(QStringLiteral("passcodeRights"))) {
            if (!readText(object, "passcodeRights", where, workspace.passcodeRights))
                return false;
            for (const QString& right :
                 workspace.passcodeRights.split(QLatin1Char('|'), Qt::SkipEmptyParts))
                if (right != QLatin1String("view") && right != QLatin1String("edit") &&
                    right != QLatin1String("control"))
                    return fail(where + QStringLiteral(".passcodeRights"),
                                QStringLiteral("expected view, edit and control joined by |"));
        }
        const auto shape = object.value(QStringLiteral("selectedReplies"));
        if (!shape.isUndefined()) {
            if (shape == QJsonValue(QStringLiteral("each")))
                workspace.selectedReplies = Workspace::SelectedReplies::each;
            else if (shape == QJsonValue(QStringLiteral("list")))
                workspace.selectedReplies = Workspace::SelectedReplies::list;
            else
                return fail(where + QStringLiteral(".selectedReplies"),
                            QStringLiteral("expected \"each\" or \"list\""));
        }
        const auto selected = object.value(QStringLiteral("selected"));
        if (!selected.isUndefined()) {
            if (!selected.isArray())
                return fail(where + QStringLiteral(".selected"), QStringLiteral("expected a list"));
            for (const auto& id : selected.toArray()) {
                if (!id.isString())
                    return fail(where + QStringLiteral(".selected"),
                                QStringLiteral("expected unique IDs as strings"));
                workspace.selected.append(id.toString());
            }
        }
        const auto answers = object.value(QStringLiteral("dialogAnswers"));
        if (!answers.isUndefined()) {
            if (!answers.isArray())
                return fail(where + QStringLiteral(".dialogAnswers"),
                            QStringLiteral("expected a list"));
            for (const auto& answer : answers.toArray()) {
                if (answer.isNull())
                    workspace.dialogAnswers.emplace_back(std::nullopt);
                else if (answer.isString())
                    workspace.dialogAnswers.emplace_back(answer.toString());
                else
                    return fail(where + QStringLiteral(".dialogAnswers"),
                                QStringLiteral("expected strings or null"));
            }
        }
        const auto cues = object.value(QStringLiteral("cues"));
        if (cues.isUndefined())
            return true;
        if (!cues.isArray())
            return fail(where + QStringLiteral(".cues"), QStringLiteral("expected a list"));
        const auto list = cues.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            Cue cue;
            if (!readCue(list[i], where + QStringLiteral(".cues[%1]").arg(i), 1, cue))
                return false;
            workspace.cues.push_back(std::move(cue));
        }
        return true;
    }
};

// QLab's workspace IDs are UUIDs; one derived from the name stays the same from run to run, so
// a client's settings can name it. Two workspaces of one name get different IDs.
void deriveWorkspaceIDs(std::vector<Workspace>& workspaces) {
    static const QUuid space = QUuid::fromString(u"6f1c2b8e-4d0a-4c7e-9a51-3b2f8d1e6c40");
    QStringList taken;
    for (const auto& workspace : workspaces)
        if (!workspace.uniqueID.isEmpty())
            taken.append(workspace.uniqueID);
    for (auto& workspace : workspaces) {
        if (!workspace.uniqueID.isEmpty())
            continue;
        QString seed = workspace.name;
        for (int n = 2;; ++n) {
            const auto id =
                QUuid::createUuidV5(space, seed).toString(QUuid::WithoutBraces).toUpper();
            if (!taken.contains(id)) {
                workspace.uniqueID = id;
                taken.append(id);
                break;
            }
            seed = workspace.name + u'#' + QString::number(n);
        }
    }
}

template <typename Visit> bool forEachCue(std::vector<Cue>& cues, Visit&& visit) {
    for (auto& cue : cues) {
        if (visit(cue) || forEachCue(cue.children, visit))
            return true;
    }
    return false;
}

} // namespace

void settle(Cue& cue, double now) {
    if (cue.startedAt && cue.startPosition + (now - *cue.startedAt) >= cue.duration) {
        cue.startedAt.reset();
        cue.loadedTime = 0.0;
    }
}

bool isPlaying(Cue& cue, double now) {
    settle(cue, now);
    return cue.startedAt.has_value();
}

double actionElapsed(Cue& cue, double now) {
    return isPlaying(cue, now) ? cue.startPosition + (now - *cue.startedAt) : cue.loadedTime;
}

void loadAt(Cue& cue, double time, double now) {
    if (isPlaying(cue, now)) {
        cue.startPosition = time;
        cue.startedAt = now;
        settle(cue, now);
    }
    cue.loadedTime = time;
}

void start(Cue& cue, double now) {
    if (isPlaying(cue, now))
        return;
    cue.startPosition = cue.loadedTime;
    cue.startedAt = now;
    settle(cue, now); // loaded at or past its end: over at once
}

void stop(Cue& cue) {
    cue.startedAt.reset();
    cue.loadedTime = 0.0;
}

Cue* findCue(std::vector<Cue>& cues, const QString& uniqueID) {
    Cue* found = nullptr;
    forEachCue(cues, [&](Cue& cue) {
        if (QString::compare(cue.uniqueID, uniqueID, Qt::CaseInsensitive) == 0)
            found = &cue;
        return found != nullptr;
    });
    return found;
}

std::optional<ScriptKind> scriptKindNamed(const QString& name) {
    for (const auto& [kind, text] : kindNames)
        if (name == QLatin1String(text))
            return kind;
    return std::nullopt;
}

QString scriptKindName(ScriptKind kind) {
    for (const auto& [candidate, text] : kindNames)
        if (candidate == kind)
            return QString::fromLatin1(text);
    return {};
}

std::optional<Hang> parseHang(const QString& text, QString* problem) {
    const auto refuse = [&](const QString& why) -> std::optional<Hang> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    QString rest = text;
    Hang hang;
    if (const auto at = rest.indexOf(u'@'); at >= 0) {
        const auto seconds = parseStrictDouble(rest.mid(at + 1).toStdString());
        if (!seconds || !(*seconds >= 0.0))
            return refuse(QStringLiteral("expected seconds after @ in '%1'").arg(text));
        hang.seconds = *seconds;
        rest.truncate(at);
    }
    if (const auto colon = rest.indexOf(u':'); colon >= 0) {
        hang.cueID = rest.mid(colon + 1);
        rest.truncate(colon);
    }
    const auto kind = scriptKindNamed(rest);
    if (!kind)
        return refuse(QStringLiteral("unknown script kind '%1' (expected one of %2)")
                          .arg(rest, scriptKindNames()));
    hang.kind = *kind;
    return hang;
}

std::optional<WorkspaceFile> parseWorkspace(const QByteArray& json, const QString& baseFolder,
                                            QString* problem) {
    Reader reader{baseFolder, {}};
    const auto report = [&](const QString& why) -> std::optional<WorkspaceFile> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return report(QStringLiteral("not JSON: ") + error.errorString());
    if (!document.isObject())
        return report(QStringLiteral("expected an object at the top"));
    const auto top = document.object();
    WorkspaceFile file;
    const auto running = top.value(QStringLiteral("running"));
    if (!running.isUndefined()) {
        if (!running.isBool())
            return report(QStringLiteral("running: expected true or false"));
        file.running = running.toBool();
    }
    if (!readAmount(top.value(QStringLiteral("latencyMs")), 3.6e6, file.latencyMs))
        return report(QStringLiteral("latencyMs: expected milliseconds, zero or more"));
    if (!readAmount(top.value(QStringLiteral("duplicateWindowMs")), 3.6e6, file.duplicateWindowMs))
        return report(QStringLiteral("duplicateWindowMs: expected milliseconds, zero or more"));
    const auto jitter = top.value(QStringLiteral("jitter"));
    if (!jitter.isUndefined() && !jitter.isNull()) {
        const auto object = jitter.toObject();
        WorkspaceFile::Jitter parsed;
        if (!jitter.isObject() ||
            !readAmount(object.value(QStringLiteral("ms")), 60000.0, parsed.ms) ||
            !object.value(QStringLiteral("address")).isString())
            return report(QStringLiteral(
                "jitter: expected {\"ms\": milliseconds, \"address\": text in the address}"));
        parsed.address = object.value(QStringLiteral("address")).toString();
        file.jitter = parsed;
    }
    const auto hang = top.value(QStringLiteral("hang"));
    if (!hang.isUndefined() && !hang.isNull()) {
        if (!hang.isObject())
            return report(QStringLiteral("hang: expected an object"));
        const auto object = hang.toObject();
        const auto kind = scriptKindNamed(object.value(QStringLiteral("script")).toString());
        if (!kind)
            return report(QStringLiteral("hang.script: expected one of ") + scriptKindNames());
        Hang parsed{*kind, {}, std::nullopt};
        const auto cue = object.value(QStringLiteral("cueID"));
        if (!cue.isUndefined()) {
            if (!cue.isString())
                return report(QStringLiteral("hang.cueID: expected a string"));
            parsed.cueID = cue.toString();
        }
        const auto seconds = object.value(QStringLiteral("seconds"));
        double held = 0.0;
        if (!readAmount(seconds, noLimit, held))
            return report(QStringLiteral("hang.seconds: expected seconds, zero or more"));
        if (!seconds.isUndefined() && !seconds.isNull())
            parsed.seconds = held;
        file.hang = parsed;
    }
    const auto workspaces = top.value(QStringLiteral("workspaces"));
    if (!workspaces.isUndefined() && !workspaces.isArray())
        return report(QStringLiteral("workspaces: expected a list"));
    const auto list = workspaces.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        Workspace workspace;
        if (!reader.readWorkspace(list[i], QStringLiteral("workspaces[%1]").arg(i), workspace))
            return report(reader.problem);
        file.workspaces.push_back(std::move(workspace));
    }
    deriveWorkspaceIDs(file.workspaces);
    return file;
}

std::optional<WorkspaceFile> loadWorkspaceFile(const QString& path, QString* problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    QString why;
    auto workspace = parseWorkspace(file.readAll(), QFileInfo(path).absolutePath(), &why);
    if (!workspace && problem)
        *problem = path + QStringLiteral(": ") + why;
    return workspace;
}

} // namespace carvo::sim
