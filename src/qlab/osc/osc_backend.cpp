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

// Characters that OSC reads as address patterns or separators, which a unique ID spliced into an
// address must not hold: QLab would read "*" as every cue.
bool addressable(const QString& uniqueID) {
    if (uniqueID.isEmpty())
        return false;
    for (const QChar c : uniqueID) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control ||
            QStringView(u"*?[]{},/# ").contains(c))
            return false;
    }
    return true;
}

// The ID as the console can show it: control characters as \xNN.
QString shown(const QString& uniqueID) {
    QString text;
    for (const QChar c : uniqueID) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

// The cue's address, or none when its ID cannot go into one (nothing is then sent).
std::optional<std::string> cueAddress(const QString& uniqueID) {
    if (!addressable(uniqueID))
        return std::nullopt;
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

// Whether a cue numbered "Carvo" exists, by asking for that one cue rather than every cue: none
// when QLab did not say.
std::optional<QString> carvoCueID(Client& client) {
    const Reply reply = client.request("/cue/Carvo/uniqueID");
    if (reply.status == Reply::Status::error)
        return QString();
    if (!reply.ok())
        return std::nullopt;
    return reply.data.toString();
}

// The cue of a "/cue/selected/…" question: QLab may answer once per selected cue, or once with a
// list; either way the last selected cue is taken, as the get-files script takes it.
std::optional<QJsonObject> lastSelected(const std::vector<Reply>& replies) {
    std::optional<QJsonObject> last;
    for (const Reply& reply : replies) {
        if (!reply.ok())
            continue;
        if (reply.data.isArray()) {
            for (const QJsonValue& value : reply.data.toArray())
                if (value.isObject())
                    last = value.toObject();
        } else if (reply.data.isObject()) {
            last = reply.data.toObject();
        }
    }
    return last;
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

OSCBackend::OSCBackend(std::shared_ptr<Client> client, MediaPathMap media)
    : m_client(std::move(client)), m_media(std::move(media)),
      m_responder(std::make_shared<DefaultAnswerResponder>()) {}

void OSCBackend::setDialogResponder(std::shared_ptr<DialogResponder> responder) {
    std::lock_guard lock(m_responderMutex);
    m_responder = responder ? std::move(responder) : std::make_shared<DefaultAnswerResponder>();
}

std::shared_ptr<DialogResponder> OSCBackend::responder() const {
    std::lock_guard lock(m_responderMutex);
    return m_responder;
}

FilesAnswer OSCBackend::getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                            const QString& uniqueID) {
    const QString noCue = QStringLiteral("ERROR: no cue selected");
    // QLab would deny every load and start: say why instead of asking.
    if (m_client->isConnected() && !m_client->hasControl())
        return FilesAnswer::answer(QStringLiteral("ERROR: ") +
                                   noControlMessage(m_client->workspaceName()));
    const bool selected = source == RequestSource::qlab || source == RequestSource::selectedAtBar;
    // The group's running state comes along, for the jump's check right after this answer.
    const auto groupKeys = keysArgument({"uniqueID", "type", "isRunning", "actionElapsed"});

    std::optional<QJsonObject> groupCue;
    std::optional<Reply> childrenReply;
    if (selected) {
        const auto replies = m_client->requestEach("/cue/selected/valuesForKeys", groupKeys);
        groupCue = lastSelected(replies);
        if (!groupCue) {
            const Reply& failed = replies.front();
            if (failed.ok()) // an answer, but not a cue
                return FilesAnswer::answer(QStringLiteral("ERROR: Selected cue is not a group"));
            if (failed.status == Reply::Status::error)
                return FilesAnswer::answer(noCue);
            return runFailed("the group", failed);
        }
    } else {
        const auto address = cueAddress(uniqueID);
        if (!address) {
            if (!uniqueID.isEmpty())
                consoleLine(QStringLiteral("Refused the cue ID \"%1\": it holds a character "
                                           "that QLab's OSC addresses cannot carry")
                                .arg(shown(uniqueID)));
            return FilesAnswer::answer(noCue);
        }
        // The group and its cues in one round trip.
        auto replies = m_client->requestAll(
            {{*address + "/valuesForKeys", groupKeys}, {*address + "/children/shallow", {}}});
        if (replies[0].status == Reply::Status::error)
            return FilesAnswer::answer(noCue);
        if (!replies[0].ok())
            return runFailed("the group", replies[0]);
        groupCue = replies[0].data.toObject();
        childrenReply = std::move(replies[1]);
    }
    if (!isType(*groupCue, QLatin1StringView("Group")))
        return FilesAnswer::answer(QStringLiteral("ERROR: Selected cue is not a group"));
    const QString groupID = groupCue->value(QStringLiteral("uniqueID")).toString();
    const auto groupAddress = cueAddress(groupID);
    if (!groupAddress)
        return runFailed("the group", {Reply::Status::error, {}});
    remember(groupID, *groupCue);

    if (!childrenReply)
        childrenReply = m_client->request(*groupAddress + "/children/shallow");
    if (!childrenReply->ok())
        return runFailed("the group's cues", *childrenReply);
    QJsonObject tempoCue;
    for (const QJsonValue& value : childrenReply->data.toArray()) {
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
    const auto tempoAddress = cueAddress(tempoID);
    if (!tempoAddress)
        return runFailed("the tempo cue", {Reply::Status::error, {}});
    const Reply tempoReply =
        m_client->request(*tempoAddress + "/valuesForKeys", keysArgument({"fileTarget", "notes"}));
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

void OSCBackend::remember(const QString& groupID, const QJsonObject& values) {
    const QJsonValue running = values.value(QStringLiteral("isRunning"));
    if (!running.isBool())
        return;
    std::lock_guard lock(m_recentMutex);
    m_recent =
        Recent{groupID, running.toBool(), values.value(QStringLiteral("actionElapsed")).toDouble(),
               std::chrono::steady_clock::now()};
}

std::optional<OSCBackend::Recent> OSCBackend::recent(const QString& uniqueID, bool last) {
    std::lock_guard lock(m_recentMutex);
    if (!m_recent || m_recent->cueID != uniqueID ||
        std::chrono::steady_clock::now() - m_recent->at > recentFor) {
        m_recent.reset();
        return std::nullopt;
    }
    auto found = m_recent;
    if (last || !found->running)
        m_recent.reset();
    return found;
}

bool OSCBackend::isCueRunning(const QString& uniqueID) {
    if (const auto known = recent(uniqueID, false))
        return known->running;
    return runningCheck()(uniqueID).value_or(false);
}

bool OSCBackend::isCueElapsedOverOneSecond(const QString& uniqueID) {
    if (const auto known = recent(uniqueID, true))
        return known->elapsed > 1.0;
    const auto address = cueAddress(uniqueID);
    if (!address)
        return false;
    const Reply reply = m_client->request(*address + "/actionElapsed");
    return reply.ok() && reply.data.toDouble() > 1.0;
}

std::function<std::optional<bool>(const QString& uniqueID)> OSCBackend::runningCheck() const {
    // Two ways of asking the same thing, taken in turn for each cue, so that consecutive checks
    // are never identical messages that QLab's duplicate filter could drop.
    return [client = m_client, turns = m_turns](const QString& uniqueID) -> std::optional<bool> {
        const auto address = cueAddress(uniqueID);
        if (!address)
            return false; // no cue QLab could hold
        bool plain = true;
        {
            std::lock_guard lock(turns->mutex);
            bool& last = turns->plainLast[uniqueID];
            plain = !last;
            last = plain;
        }
        const Reply reply =
            plain ? client->request(*address + "/isRunning")
                  : client->request(*address + "/valuesForKeys", keysArgument({"isRunning"}));
        // QLab's error is its answer for a cue it does not have; a cue that is gone has stopped.
        if (reply.status == Reply::Status::error)
            return false;
        if (!reply.ok())
            return std::nullopt; // no answer, which says nothing about the music
        const QJsonValue running =
            plain ? reply.data : reply.data.toObject().value(QStringLiteral("isRunning"));
        if (!running.isBool())
            return std::nullopt;
        return running.toBool();
    };
}

void OSCBackend::sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime, bool standby,
                                          double preWait) {
    const auto address = cueAddress(uniqueID);
    if (!address)
        return;
    const auto failed = [](const Reply& reply) {
        writeLine(QStringLiteral("QLab OSC error from Send Load Time and Start Qlab: ") +
                  reply.description());
    };
    if (!standby && preWait <= 0) {
        // QLab takes a connection's messages in order, so the start written right behind the
        // load finds the cue at the bar, in one round trip; a load QLab refuses makes it refuse
        // the start too.
        const auto replies =
            m_client->requestAll({{*address + "/loadAt", {barTime}}, {*address + "/start", {}}});
        if (!replies[0].ok())
            failed(replies[0]);
        else if (!replies[1].ok())
            failed(replies[1]);
        return;
    }
    const Reply loaded = m_client->request(*address + "/loadAt", {barTime});
    if (!loaded.ok()) {
        failed(loaded);
        return; // never start a cue that may not sit at the bar
    }
    if (standby)
        return;
    std::this_thread::sleep_for(std::chrono::duration<double>(preWait));
    const Reply started = m_client->request(*address + "/start");
    if (!started.ok())
        failed(started);
}

void OSCBackend::displayQLabMessage(const QString& message, std::function<void()> closed) {
    // The dialog waits for the operator; the caller never does.
    messageDialogPool().start([responder = responder(), message, closed = std::move(closed)] {
        responder->respond({message, QStringLiteral("Carvo"), std::nullopt});
        if (closed)
            closed();
    });
}

void OSCBackend::panic(const QList<QString>& uniqueIDs) {
    for (const QString& id : uniqueIDs)
        if (const auto address = cueAddress(id))
            m_client->request(*address + "/panic"); // as with AppleScript, errors are of no use
}

bool OSCBackend::isQLabRunning() {
    return m_client->isReachable();
}

QLabState OSCBackend::workspaceState() {
    if (!m_client->isConnected())
        return QLabState::runningNoWorkspace;
    const auto carvo = carvoCueID(*m_client);
    if (!carvo)
        return QLabState::runningNoWorkspace;
    return carvo->isEmpty() ? QLabState::runningWithWorkspace : QLabState::runningWithCarvoCue;
}

std::optional<QList<CueInfo>> OSCBackend::usableGroupCues() {
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

void OSCBackend::makeScriptCue(ScriptCueKind kind) {
    const bool carvo = kind == ScriptCueKind::carvo;
    if (carvo) {
        // One Carvo cue: the old one goes first.
        if (const auto old = carvoCueID(*m_client); old && addressable(*old))
            m_client->request("/delete_id/" + old->toStdString());
    }
    const Reply made = m_client->request("/new", {std::string("network")});
    const QString id = made.data.toString();
    if (!made.ok() || !addressable(id)) {
        writeLine(QStringLiteral("QLab OSC error from Make Carvo Cue: ") + made.description());
        return;
    }
    const std::string cue = *cueAddress(id);
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
        displayQLabMessage(
            QStringLiteral("Carvo Cue has been reset - please give it a hotkey trigger!"));
}

} // namespace carvo::osc
