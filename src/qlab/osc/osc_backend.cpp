#include "qlab/osc/osc_backend.h"

#include <thread>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>

#include "base/diagnostics.h"

namespace carvo::osc {
namespace {

using Failure = FilesAnswer::Failure;

std::string cueAddress(const QString& uniqueID) {
    return "/cue_id/" + uniqueID.toStdString();
}

std::vector<Argument> keysArgument(std::initializer_list<const char*> keys) {
    QJsonArray array;
    for (const char* key : keys)
        array.append(QString::fromLatin1(key));
    return {QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString()};
}

bool isType(const QJsonObject& cue, QLatin1StringView type) {
    return cue.value(QStringLiteral("type")).toString().compare(type, Qt::CaseInsensitive) == 0;
}

// A value QLab gives as text or as a number, as AppleScript's "as string" would write it.
QString textOf(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 15);
    return {};
}

FilesAnswer runFailed(const char* what, const Reply& reply) {
    writeLine(QStringLiteral("QLab OSC error from Get Files and Start Bar (%1): %2")
                  .arg(QString::fromLatin1(what), reply.description()));
    return FilesAnswer::failed(Failure::error);
}

// Every cue of the workspace, depth first, as AppleScript's "cues" of a workspace lists them;
// cue lists themselves are containers, not cues.
void collectCues(const QJsonArray& cues, QList<QJsonObject>& into) {
    for (const QJsonValue& value : cues) {
        const QJsonObject cue = value.toObject();
        if (!isType(cue, QLatin1StringView("Cue List")) && !isType(cue, QLatin1StringView("Cart")))
            into.append(cue);
        collectCues(cue.value(QStringLiteral("cues")).toArray(), into);
    }
}

std::optional<QList<QJsonObject>> allCues(Client& client) {
    const Reply reply = client.request("/cueLists");
    if (!reply.ok())
        return std::nullopt;
    QList<QJsonObject> cues;
    collectCues(reply.data.toArray(), cues);
    return cues;
}

} // namespace

MediaPathMap MediaPathMap::parse(const QString& setting) {
    const auto equals = setting.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return {};
    return {setting.left(equals), setting.mid(equals + 1)};
}

QString MediaPathMap::apply(const QString& path) const {
    if (from.isEmpty() || !path.startsWith(from))
        return path;
    return to + path.mid(from.size());
}

OscBackend::OscBackend(std::shared_ptr<Client> client, MediaPathMap media)
    : m_client(std::move(client)), m_media(std::move(media)),
      m_responder(std::make_shared<DefaultAnswerResponder>()) {}

void OscBackend::setDialogResponder(std::shared_ptr<DialogResponder> responder) {
    std::lock_guard lock(m_responderMutex);
    m_responder = responder ? std::move(responder) : std::make_shared<DefaultAnswerResponder>();
}

std::shared_ptr<DialogResponder> OscBackend::responder() const {
    std::lock_guard lock(m_responderMutex);
    return m_responder;
}

FilesAnswer OscBackend::filesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                         const QString& uniqueID) {
    const bool selected = source == RequestSource::qlab || source == RequestSource::selectedAtBar;
    const std::string group = selected ? std::string("/cue/selected") : cueAddress(uniqueID);

    const Reply groupReply =
        m_client->request(group + "/valuesForKeys", keysArgument({"uniqueID", "type"}));
    if (groupReply.status == Reply::Status::error)
        return FilesAnswer::answer(QStringLiteral("ERROR: no cue selected"));
    if (!groupReply.ok())
        return runFailed("the group", groupReply);
    const QJsonObject groupCue = groupReply.data.toObject();
    if (!isType(groupCue, QLatin1StringView("Group")))
        return FilesAnswer::answer(QStringLiteral("ERROR: Selected cue is not a group"));
    const QString groupID = groupCue.value(QStringLiteral("uniqueID")).toString();

    const Reply childrenReply = m_client->request(cueAddress(groupID) + "/children/shallow");
    if (!childrenReply.ok())
        return runFailed("the group's cues", childrenReply);
    QJsonObject tempoCue;
    for (const QJsonValue& value : childrenReply.data.toArray()) {
        const QJsonObject child = value.toObject();
        if (isType(child, QLatin1StringView("MIDI File")) ||
            isType(child, QLatin1StringView("Memo"))) {
            tempoCue = child;
            break;
        }
    }
    if (tempoCue.isEmpty())
        return FilesAnswer::answer(
            QStringLiteral("ERROR: Cannot find MIDI File or Memo Cue in the Group"));
    const bool midi = isType(tempoCue, QLatin1StringView("MIDI File"));

    const QString tempoID = tempoCue.value(QStringLiteral("uniqueID")).toString();
    const Reply tempoReply = m_client->request(cueAddress(tempoID) + "/valuesForKeys",
                                               keysArgument({"fileTarget", "notes"}));
    if (!tempoReply.ok())
        return runFailed("the tempo cue", tempoReply);
    const QJsonObject values = tempoReply.data.toObject();
    const QString notes = textOf(values.value(QStringLiteral("notes")));

    QString offset;
    QStringList memo;
    QString path;
    if (midi) {
        const QString target = textOf(values.value(QStringLiteral("fileTarget")));
        if (target.isEmpty()) {
            writeLine(QStringLiteral("QLab's MIDI File cue has no file target"));
            return FilesAnswer::failed(Failure::error);
        }
        path = m_media.apply(target);
        if (!QFileInfo(path).isFile())
            return FilesAnswer::answer(
                QStringLiteral("ERROR: The MIDI file %1 is not on this computer; set "
                               "\"mediaPathMap\" to where its copy is")
                    .arg(path));
        offset = notes;
    } else {
        memo = notes.split(QLatin1Char(','));
        if (memo.size() != 4)
            return FilesAnswer::answer(QStringLiteral(
                "ERROR: Please make the notes of the memo cue in the format 'first bar of the "
                "score, tempo, numerator, denominator'"));
        offset = memo[0];
    }
    if (offset.isEmpty())
        offset = QStringLiteral("1");

    QString bar;
    switch (source) {
    case RequestSource::qlab: {
        const auto typed =
            responder()->respond({QStringLiteral("Enter bar number."), QStringLiteral("Brisvale"),
                                  QString::number(lastBar)});
        if (!typed) {
            writeLine(QStringLiteral("The bar dialog was cancelled"));
            return FilesAnswer::failed(Failure::error);
        }
        bar = *typed;
        break;
    }
    case RequestSource::remote:
    case RequestSource::selectedAtBar:
        bar = QString::number(barNumber);
        break;
    case RequestSource::chase:
        bar = offset;
        break;
    }

    const QString separator = QStringLiteral(", ");
    if (midi)
        return FilesAnswer::answer(path + separator + bar + separator + offset + separator +
                                   groupID);
    return FilesAnswer::answer(bar + separator + memo[1] + separator + memo[2] + separator +
                               memo[3] + separator + offset + separator + groupID);
}

bool OscBackend::isCueRunning(const QString& uniqueID) {
    return runningCheck()(uniqueID);
}

bool OscBackend::isCueElapsedOverOneSecond(const QString& uniqueID) {
    const Reply reply = m_client->request(cueAddress(uniqueID) + "/actionElapsed");
    return reply.ok() && reply.data.toDouble() > 1.0;
}

std::function<bool(const QString& uniqueID)> OscBackend::runningCheck() const {
    return [client = m_client](const QString& uniqueID) {
        const Reply reply = client->request(cueAddress(uniqueID) + "/isRunning");
        return reply.ok() && reply.data.toBool();
    };
}

void OscBackend::loadAndStart(const QString& uniqueID, float barTime, bool standby,
                              double preWait) {
    const Reply loaded = m_client->request(cueAddress(uniqueID) + "/loadAt", {barTime});
    if (!loaded.ok()) {
        writeLine(QStringLiteral("QLab OSC error from Send Load Time and Start Qlab: ") +
                  loaded.description());
        return; // never start a cue that may not sit at the bar
    }
    if (standby)
        return;
    if (preWait > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(preWait));
    const Reply started = m_client->request(cueAddress(uniqueID) + "/start");
    if (!started.ok())
        writeLine(QStringLiteral("QLab OSC error from Send Load Time and Start Qlab: ") +
                  started.description());
}

void OscBackend::showMessage(const QString& message, std::function<void()> closed) {
    // The dialog waits for the operator; the caller never does.
    messageDialogPool().start([responder = responder(), message, closed = std::move(closed)] {
        responder->respond({message, QStringLiteral("Carvo"), std::nullopt});
        if (closed)
            closed();
    });
}

void OscBackend::panic(const QList<QString>& uniqueIDs) {
    for (const QString& id : uniqueIDs)
        m_client->request(cueAddress(id) + "/panic"); // as with AppleScript, errors are of no use
}

bool OscBackend::isQLabRunning() {
    return m_client->isReachable();
}

QLabState OscBackend::workspaceState() {
    if (!m_client->isConnected())
        return QLabState::runningNoWorkspace;
    const auto cues = allCues(*m_client);
    if (!cues)
        return QLabState::runningNoWorkspace;
    for (const QJsonObject& cue : *cues)
        if (cue.value(QStringLiteral("number")).toString() == QStringLiteral("Carvo"))
            return QLabState::runningWithCarvoCue;
    return QLabState::runningWithWorkspace;
}

std::optional<QList<CueInfo>> OscBackend::usableGroupCues() {
    const auto cues = allCues(*m_client);
    if (!cues)
        return std::nullopt;
    QList<CueInfo> usable;
    for (const QJsonObject& cue : *cues) {
        if (!isType(cue, QLatin1StringView("Group")))
            continue;
        bool valid = false;
        bool hasAudio = false;
        bool hasMemo = false;
        for (const QJsonValue& value : cue.value(QStringLiteral("cues")).toArray()) {
            const QJsonObject child = value.toObject();
            if (isType(child, QLatin1StringView("MIDI File"))) {
                valid = true;
                break;
            }
            hasAudio = hasAudio || isType(child, QLatin1StringView("Audio"));
            hasMemo = hasMemo || isType(child, QLatin1StringView("Memo"));
        }
        if (valid || (hasAudio && hasMemo))
            usable.append({cue.value(QStringLiteral("uniqueID")).toString(),
                           cue.value(QStringLiteral("name")).toString()});
    }
    // As with AppleScript, an empty answer leaves the stored catalogue as it is.
    if (usable.isEmpty())
        return std::nullopt;
    return usable;
}

void OscBackend::makeScriptCue(ScriptCueKind kind) {
    const bool carvo = kind == ScriptCueKind::carvo;
    if (carvo) {
        // One Carvo cue: the old one goes first.
        if (const auto cues = allCues(*m_client))
            for (const QJsonObject& cue : *cues)
                if (cue.value(QStringLiteral("number")).toString() == QStringLiteral("Carvo")) {
                    m_client->request(
                        "/delete_id/" +
                        cue.value(QStringLiteral("uniqueID")).toString().toStdString());
                    break;
                }
    }
    const Reply made = m_client->request("/new", {std::string("network")});
    const QString id = made.data.toString();
    if (!made.ok() || id.isEmpty()) {
        writeLine(QStringLiteral("QLab OSC error from Make Carvo Cue: ") + made.description());
        return;
    }
    const std::string cue = cueAddress(id);
    // QLab fills the cue's query in when the cue fires: the group the chase cue sits in.
    const std::string message =
        carvo ? std::string("/carvo/go") : "/carvo/chase #" + cue + "/parent#";
    if (carvo)
        m_client->request(cue + "/number", {std::string("Carvo")});
    m_client->request(cue + "/name",
                      {std::string(carvo ? "Carvo Network cue - created by Carvo App"
                                         : "Carvo Chase - put me in your playback group")});
    const Reply set = m_client->request(cue + "/customString", {message});
    if (!set.ok()) {
        writeLine(QStringLiteral("QLab OSC error from Make Carvo Cue: ") + set.description());
        return;
    }
    // Carvo cannot make or aim QLab's network patches: name the one the cue uses.
    const Reply patch = m_client->request(cue + "/networkPatchNumber");
    const QString patchName = patch.ok() && patch.data.isDouble()
                                  ? QStringLiteral("network patch %1").arg(patch.data.toInt())
                                  : QStringLiteral("the cue's network patch");
    consoleLine(QStringLiteral("Made a Network cue that sends %1 through %2: point that patch at "
                               "this computer's OSC command port")
                    .arg(QString::fromStdString(message), patchName));
    if (carvo)
        showMessage(QStringLiteral("Carvo Cue has been reset - please give it a hotkey trigger!"));
}

} // namespace carvo::osc
