#include "qlab/sim/simulated_qlab.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <thread>
#include <variant>

#include <QElapsedTimer>
#include <QUuid>

#include "base/diagnostics.h"
#include "base/numbers.h"
#include "base/text.h"
#include "qlab/sim/script_match.h"

namespace carvo::sim {
namespace {

const QString qlabBundleIdentifier = QStringLiteral("com.figure53.QLab.5");

// AppleScript compares text ignoring case.
bool textIs(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

ScriptOutcome failure(const QString& description) {
    return {ScriptError{description}, {}};
}
ScriptOutcome answer(const QString& text) {
    return {{}, ScriptDescriptor::fromText(text)};
}
ScriptOutcome nothing() {
    return {};
}

ScriptOutcome userCanceled() {
    return failure(QStringLiteral("User canceled. (-128)"));
}
ScriptOutcome notRunning() {
    return failure(QStringLiteral("QLab got an error: Application isn’t running. (-600)"));
}
ScriptOutcome noWorkspace() {
    return failure(QStringLiteral("QLab got an error: Can’t get front workspace. (-1728)"));
}
// QLab's error when a script needs the front workspace and there is none to have.
std::optional<ScriptOutcome> frontWorkspaceMissing(const WorkspaceFile& model) {
    if (!model.running)
        return notRunning();
    if (model.workspaces.empty())
        return noWorkspace();
    return std::nullopt;
}
ScriptOutcome noSuchCue(const QString& uniqueID) {
    return failure(
        QStringLiteral("QLab got an error: Can’t get cue whose uniqueID = \"%1\". (-1728)")
            .arg(uniqueID));
}
ScriptOutcome undefinedVariable(const QString& name) {
    return failure(QStringLiteral("The variable %1 is not defined. (-2753)").arg(name));
}

// The workspace's cues as the scripts see them: every cue at every depth, depth first.
template <typename CueList, typename Visit> bool forEachCue(CueList& cues, Visit&& visit) {
    for (auto& cue : cues) {
        if (visit(cue))
            return true;
        if (forEachCue(cue.children, visit))
            return true;
    }
    return false;
}

// The cue with that ID in the front workspace, or QLab's error when there is none to have.
std::variant<Cue*, ScriptOutcome> cueInFrontWorkspace(WorkspaceFile& model,
                                                      const QString& uniqueID) {
    if (const auto missing = frontWorkspaceMissing(model))
        return *missing;
    if (auto* cue = findCue(model.workspaces.front().cues, uniqueID))
        return cue;
    return noSuchCue(uniqueID);
}

bool removeFirstNumbered(std::vector<Cue>& cues, const QString& number) {
    for (auto it = cues.begin(); it != cues.end(); ++it) {
        if (textIs(it->number, number)) {
            cues.erase(it);
            return true;
        }
        if (removeFirstNumbered(it->children, number))
            return true;
    }
    return false;
}

// A real number as AppleScript reads it from script text: finite decimal or exponent form.
std::optional<double> readReal(const std::string& text) {
    double value = 0.0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QStringList textItems(const QString& text, QChar delimiter) {
    // AppleScript keeps blanks around and between delimiters; an empty text has no items.
    if (text.isEmpty())
        return {};
    return text.split(delimiter, Qt::KeepEmptyParts);
}

} // namespace

double SystemClock::now() {
    static QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

void SystemClock::sleep(double seconds) {
    if (seconds > 0.0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

SimulatedQLab::SimulatedQLab(WorkspaceFile workspace, std::shared_ptr<Clock> clock,
                             std::shared_ptr<DialogResponder> responder)
    : m_model(std::move(workspace)), m_clock(std::move(clock)), m_responder(std::move(responder)) {}

bool SimulatedQLab::isApplicationRunning(const QString& bundleIdentifier) {
    std::lock_guard lock(m_mutex);
    return m_model.running && bundleIdentifier == qlabBundleIdentifier;
}

void SimulatedQLab::setDialogResponder(std::shared_ptr<DialogResponder> responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

WorkspaceFile SimulatedQLab::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_model;
}

void SimulatedQLab::change(const std::function<void(WorkspaceFile&)>& edit) {
    {
        std::lock_guard lock(m_mutex);
        edit(m_model);
    }
    m_changed.notify_all();
}

void SimulatedQLab::inspect(const std::function<void(const WorkspaceFile&)>& look) const {
    std::lock_guard lock(m_mutex);
    look(m_model);
}

std::optional<Hang> SimulatedQLab::hangFor(ScriptKind kind, const QString& uniqueID) const {
    std::lock_guard lock(m_mutex);
    const auto& hang = m_model.hang;
    if (m_hangsEnded || !hang || hang->kind != kind ||
        !(hang->cueID.isEmpty() || textIs(hang->cueID, uniqueID)))
        return std::nullopt;
    return hang;
}

std::optional<QString> SimulatedQLab::ask(const DialogRequest& request) {
    std::shared_ptr<DialogResponder> responder;
    {
        std::lock_guard lock(m_mutex);
        responder = m_responder;
    }
    if (!responder)
        return QString();
    return responder->respond(request); // without the lock: a dialog may wait for long
}

ScriptOutcome SimulatedQLab::run(const QString& source) {
    const auto script = source.toStdString();
    // Recognise the script first; QLab's slowness applies to what it was asked.
    ScriptKind kind = ScriptKind::status;
    QString uniqueID;
    std::function<ScriptOutcome()> answer;
    if (const auto values = matchTemplate(scripts::templates::displayMessage, script)) {
        kind = ScriptKind::message;
        answer = [this, message = fromUtf8(values->at("message"))] {
            return displayMessage(message);
        };
    } else if (auto files = matchTemplate(scripts::templates::getFilesAndStartBar, script)) {
        kind = ScriptKind::files;
        uniqueID = fromUtf8(files->at("uniqueID"));
        answer = [this, values = std::move(*files)] { return getFilesAndStartBar(values); };
    } else if (const auto running = matchTemplate(scripts::templates::isCueRunning, script)) {
        kind = ScriptKind::running;
        uniqueID = fromUtf8(running->at("uniqueID"));
        answer = [this, uniqueID] { return cueQuestion(uniqueID, false); };
    } else if (const auto elapsed =
                   matchTemplate(scripts::templates::isCueElapsedOverOneSecond, script)) {
        kind = ScriptKind::elapsed;
        uniqueID = fromUtf8(elapsed->at("uniqueID"));
        answer = [this, uniqueID] { return cueQuestion(uniqueID, true); };
    } else if (auto load = matchTemplate(scripts::templates::loadTimeAndStart, script)) {
        kind = ScriptKind::load;
        uniqueID = fromUtf8(load->at("uniqueID"));
        answer = [this, values = std::move(*load)] { return loadTimeAndStart(values); };
    } else if (auto ids = matchPanic(script)) {
        kind = ScriptKind::panic;
        answer = [this, values = std::move(*ids)] { return panic(values); };
    } else if (script == scripts::checkStatus()) {
        kind = ScriptKind::status;
        answer = [this] { return checkStatus(); };
    } else if (script == scripts::validGroupCues()) {
        kind = ScriptKind::catalogue;
        answer = [this] { return validGroupCues(); };
    } else if (script == scripts::resetCarvoCue() || script == scripts::makeChaseCue()) {
        kind = ScriptKind::scriptCue;
        answer = [this, carvoCue = script == scripts::resetCarvoCue()] {
            return makeScriptCue(carvoCue);
        };
    } else {
        return failure(QStringLiteral("unsupported script"));
    }
    actSlow(kind, uniqueID);
    return answer();
}

void SimulatedQLab::actSlow(ScriptKind kind, const QString& uniqueID) {
    double latencyMs = 0.0;
    {
        std::lock_guard lock(m_mutex);
        latencyMs = m_model.latencyMs;
    }
    if (latencyMs > 0.0)
        m_clock->sleep(latencyMs / 1000.0); // without the lock: QLab answers others meanwhile

    std::unique_lock lock(m_mutex);
    const auto holds = [&] {
        const auto& hang = m_model.hang;
        return !m_hangsEnded && hang && hang->kind == kind &&
               (hang->cueID.isEmpty() || textIs(hang->cueID, uniqueID));
    };
    if (!holds())
        return;
    // Tests and operators trying the knob see when an answer is being held.
    writeLine(QStringLiteral("Simulated QLab holds its answer to a ") + scriptKindName(kind) +
              QStringLiteral(" script"));
    if (const auto seconds = m_model.hang->seconds) {
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(*seconds));
        m_changed.wait_until(lock, until, [&] { return !holds(); });
        return;
    }
    m_changed.wait(lock, [&] { return !holds(); });
}

void SimulatedQLab::endHangs() {
    {
        std::lock_guard lock(m_mutex);
        m_hangsEnded = true;
    }
    m_changed.notify_all();
}

ScriptOutcome SimulatedQLab::displayMessage(const QString& message) {
    {
        std::lock_guard lock(m_mutex);
        if (const auto missing = frontWorkspaceMissing(m_model))
            return *missing;
    }
    const auto pressed = ask({message, QStringLiteral("Carvo"), std::nullopt});
    if (!pressed)
        return userCanceled();
    // display dialog answers a record: {button returned:"OK"}
    return {
        {},
        ScriptDescriptor{std::nullopt, {ScriptDescriptor::fromText(QStringLiteral("OK"))}, false}};
}

ScriptOutcome SimulatedQLab::getFilesAndStartBar(const scripts::SplicedValues& values) {
    const auto lastBar = parseStrictInt64(values.at("lastBar"));
    const auto requestedBar = parseStrictInt64(values.at("barNumber"));
    if (!lastBar || !requestedBar)
        return failure(QStringLiteral("unsupported script"));
    const auto requestSource = fromUtf8(values.at("requestSource"));
    const auto uniqueID = fromUtf8(values.at("uniqueID"));
    const bool fromRemote = textIs(requestSource, QStringLiteral("Remote"));
    const bool fromChase = textIs(requestSource, QStringLiteral("Chase"));
    const bool fromQLab = textIs(requestSource, QStringLiteral("QLab"));

    bool isMIDI = false;
    QString midiFilePath, myID, tempo, numerator, denominator;
    QString myOffset;
    bool offsetIsInteger = false; // "set myOffset to 1" makes it a number, not text
    std::optional<std::optional<QString>> scriptedAnswer;
    {
        std::lock_guard lock(m_mutex);
        if (const auto missing = frontWorkspaceMissing(m_model))
            return *missing;
        auto& workspace = m_model.workspaces.front();

        Cue* groupCue = nullptr;
        if (fromRemote || fromChase) {
            groupCue = findCue(workspace.cues, uniqueID);
        } else {
            for (auto it = workspace.selected.crbegin();
                 it != workspace.selected.crend() && !groupCue; ++it)
                groupCue = findCue(workspace.cues, *it);
        }
        if (!groupCue)
            return answer(QStringLiteral("ERROR: no cue selected"));
        if (!textIs(groupCue->type, QStringLiteral("Group")))
            return answer(QStringLiteral("ERROR: Selected cue is not a group"));
        myID = groupCue->uniqueID;

        bool cueFound = false;
        for (const auto& child : groupCue->children) {
            if (textIs(child.type, QStringLiteral("MIDI File"))) {
                if (child.fileTarget.isEmpty())
                    return failure(
                        QStringLiteral("Can’t get POSIX path of missing value. (-1728)"));
                isMIDI = true;
                midiFilePath = child.fileTarget;
                myOffset = child.notes;
                cueFound = true;
                break;
            }
            if (textIs(child.type, QStringLiteral("memo"))) {
                const auto items = textItems(child.notes, u',');
                if (items.size() != 4)
                    return answer(QStringLiteral(
                        "ERROR: Please make the notes of the memo cue in the format 'first bar of "
                        "the score, tempo, numerator, denominator'"));
                myOffset = items[0];
                tempo = items[1];
                numerator = items[2];
                denominator = items[3];
                cueFound = true;
                break;
            }
        }
        if (!cueFound)
            return answer(QStringLiteral("ERROR: Cannot find MIDI File or Memo Cue in the Group"));
        if (fromQLab && !workspace.dialogAnswers.empty()) {
            scriptedAnswer = workspace.dialogAnswers.front();
            workspace.dialogAnswers.pop_front();
        }
    }
    if (myOffset.isEmpty()) {
        myOffset = QStringLiteral("1");
        offsetIsInteger = true;
    }

    QString barNumber;
    bool barNumberIsInteger = false;
    if (fromQLab) {
        auto typed = scriptedAnswer ? *scriptedAnswer
                                    : ask({QStringLiteral("Enter bar number."),
                                           QStringLiteral("Brisvale"), QString::number(*lastBar)});
        if (!typed)
            return userCanceled();
        barNumber = *typed;
    } else if (fromRemote) {
        barNumber = QString::number(*requestedBar);
    } else if (fromChase) {
        barNumber = myOffset;
        barNumberIsInteger = offsetIsInteger;
    } else {
        return undefinedVariable(QStringLiteral("barNumber"));
    }

    const QString separator = QStringLiteral(", ");
    if (isMIDI)
        return answer(midiFilePath + separator + barNumber + separator + myOffset + separator +
                      myID);
    const QStringList pieces{barNumber, tempo, numerator, denominator, myOffset, myID};
    if (barNumberIsInteger) {
        // A number on the left of & makes a list, not text: there is no text answer at all.
        QList<ScriptDescriptor> items;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                items.append(ScriptDescriptor::fromText(separator));
            items.append(ScriptDescriptor::fromText(pieces[i]));
        }
        return {{}, ScriptDescriptor::list(std::move(items))};
    }
    return answer(pieces.join(separator));
}

ScriptOutcome SimulatedQLab::cueQuestion(const QString& uniqueID, bool askElapsed) {
    std::lock_guard lock(m_mutex);
    auto found = cueInFrontWorkspace(m_model, uniqueID);
    if (const auto* refusal = std::get_if<ScriptOutcome>(&found))
        return *refusal;
    Cue* cue = std::get<Cue*>(found);
    const double now = m_clock->now();
    const bool yes = askElapsed ? actionElapsed(*cue, now) > 1.0 : isPlaying(*cue, now);
    return answer(yes ? QStringLiteral("true") : QStringLiteral("false"));
}

ScriptOutcome SimulatedQLab::loadTimeAndStart(const scripts::SplicedValues& values) {
    const auto barTime = readReal(values.at("barTime"));
    if (!barTime) {
        // nan, inf and -inf are undefined variables to AppleScript: Carvo's own dialog, no QLab.
        if (!ask({QStringLiteral("There has been an error. Is Carvo Running?"), QString(),
                  std::nullopt}))
            return userCanceled();
        return nothing();
    }
    const auto uniqueID = fromUtf8(values.at("uniqueID"));
    const auto& standby = values.at("standby");
    std::optional<double> preWait;
    {
        std::lock_guard lock(m_mutex);
        auto found = cueInFrontWorkspace(m_model, uniqueID);
        if (const auto* refusal = std::get_if<ScriptOutcome>(&found))
            return *refusal;
        loadAt(*std::get<Cue*>(found), *barTime, m_clock->now());
        if (standby == "true")
            return nothing();
        if (standby != "false")
            return undefinedVariable(fromUtf8(standby));
        preWait = readReal(values.at("preWait"));
        if (!preWait)
            return undefinedVariable(fromUtf8(values.at("preWait")));
    }
    m_clock->sleep(*preWait); // without the lock, as QLab keeps answering during a delay

    std::lock_guard lock(m_mutex);
    auto found = cueInFrontWorkspace(m_model, uniqueID);
    if (const auto* refusal = std::get_if<ScriptOutcome>(&found))
        return *refusal;
    start(*std::get<Cue*>(found), m_clock->now());
    return nothing();
}

ScriptOutcome SimulatedQLab::panic(const std::vector<std::string>& uniqueIDs) {
    std::lock_guard lock(m_mutex);
    if (const auto missing = frontWorkspaceMissing(m_model))
        return *missing;
    for (const auto& id : uniqueIDs) {
        auto* cue = findCue(m_model.workspaces.front().cues, fromUtf8(id));
        if (!cue)
            return noSuchCue(fromUtf8(id)); // the rest of the script does not run
        stop(*cue);
    }
    return nothing();
}

ScriptOutcome SimulatedQLab::checkStatus() {
    std::lock_guard lock(m_mutex);
    if (!m_model.running)
        return notRunning();
    if (m_model.workspaces.empty())
        return answer(QStringLiteral("no workspace"));
    const bool found = forEachCue(m_model.workspaces.front().cues, [](const Cue& cue) {
        return textIs(cue.number, QStringLiteral("Carvo"));
    });
    return answer(found ? QStringLiteral("workspace and cue found")
                        : QStringLiteral("workspace no cue"));
}

ScriptOutcome SimulatedQLab::validGroupCues() {
    std::lock_guard lock(m_mutex);
    if (const auto missing = frontWorkspaceMissing(m_model))
        return *missing;
    QList<ScriptDescriptor> resultList;
    forEachCue(m_model.workspaces.front().cues, [&](const Cue& group) {
        if (!textIs(group.type, QStringLiteral("group")))
            return false;
        bool isValid = false, hasAudio = false, hasMemo = false;
        for (const auto& child : group.children) {
            if (textIs(child.type, QStringLiteral("midi file"))) {
                isValid = true;
                break;
            }
            hasAudio = hasAudio || textIs(child.type, QStringLiteral("audio"));
            hasMemo = hasMemo || textIs(child.type, QStringLiteral("memo"));
        }
        if (isValid || (hasAudio && hasMemo))
            resultList.append(ScriptDescriptor::list({ScriptDescriptor::fromText(group.uniqueID),
                                                      ScriptDescriptor::fromText(group.name)}));
        return false;
    });
    return {{}, ScriptDescriptor::list(std::move(resultList))};
}

ScriptOutcome SimulatedQLab::makeScriptCue(bool carvoCue) {
    const std::string_view script = carvoCue ? scripts::resetCarvoCue() : scripts::makeChaseCue();
    const auto source = stringLiteralAfter(script, "set scriptSource to \"");
    {
        std::lock_guard lock(m_mutex);
        if (!m_model.running)
            return nothing(); // "if application id … is running" is false
        if (m_model.workspaces.empty())
            return noWorkspace();
        auto& workspace = m_model.workspaces.front();
        if (carvoCue)
            removeFirstNumbered(workspace.cues, QStringLiteral("Carvo"));
        Cue cue;
        cue.uniqueID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        cue.type = QStringLiteral("Script");
        if (carvoCue) {
            cue.number = QStringLiteral("Carvo");
            cue.name = QStringLiteral("Carvo Script - created by Carvo App");
        } else {
            cue.name = QStringLiteral("Carvo Chase - put me in your playback group");
        }
        cue.scriptSource = source ? fromUtf8(*source) : QString();
        workspace.selected = QStringList{cue.uniqueID}; // a new cue becomes the selection
        workspace.cues.push_back(std::move(cue));
    }
    if (carvoCue &&
        !ask({QStringLiteral("Carvo Cue has been reset - please give it a hotkey trigger!"),
              QString(), std::nullopt}))
        return userCanceled();
    return nothing();
}

} // namespace carvo::sim
