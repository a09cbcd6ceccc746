#include "qlab/qlab_integration.h"

#include <mutex>

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QVariantMap>

#include "base/app_console.h"
#include "app/broadcast.h"
#include "base/diagnostics.h"
#include "base/settings.h"
#include "qlab/scripts.h"

namespace carvo {
namespace {

const QString qlabBundleIdentifier = QStringLiteral("com.figure53.QLab.5");

// Fixed answers of the get-files operation that no QLab answer can be mistaken for.
const QString scriptFailed = QStringLiteral("Script failed");
const QString errorAnswer = QStringLiteral("Error");
const QString noResult = QStringLiteral("No Result");

std::mutex& catalogueMutex() {
    static std::mutex mutex;
    return mutex;
}

QList<CueInfo>& catalogue() {
    static QList<CueInfo> cueInfos;
    return cueInfos;
}

std::string utf8(const QString& text) {
    return text.toStdString();
}
QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void writeErrorLine(const char* prefix, const ScriptError& error) {
    writeLine(QString::fromUtf8(prefix) + error.description);
}

// Runs a script when a runner is installed and can make a script object of it.
std::optional<ScriptOutcome> runScript(const QString& source) {
    const auto runner = scriptRunner();
    if (!runner || !runner->canCreate(source))
        return std::nullopt;
    return runner->run(source);
}

// broadcast belongs to the main thread; a call from elsewhere is handed over to it.
void broadcastFromAnyThread(const QString& message) {
    auto* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        broadcast(message);
        return;
    }
    QMetaObject::invokeMethod(
        app, [message] { broadcast(message); }, Qt::QueuedConnection);
}

bool answersTrue(const QString& source) {
    const auto outcome = runScript(source);
    return outcome && !outcome->error && outcome->resultText() == QStringLiteral("true");
}

// Script cue creation: refused on the console while QLab is not ready for it.
void createScriptCue(std::string_view script) {
    if (QLabIntegration::checkQLabStatus() == QLabState::notRunning) {
        AppConsole::shared().log(QStringLiteral("Qlab is not running"));
        return;
    }
    if (QLabIntegration::checkQLabStatus() == QLabState::runningNoWorkspace) {
        AppConsole::shared().log(QStringLiteral("No Qlab workspapce open"));
        return;
    }
    const auto outcome = runScript(fromUtf8(script));
    if (outcome && outcome->error)
        writeErrorLine("AppleScript error from Make Carvo Cue: ", *outcome->error);
}

} // namespace

QLabIntegration::QLabIntegration()
    : m_standby(settings::standby()), m_prewait(settings::preWait()) {
    if (auto* app = QCoreApplication::instance(); app && thread() != app->thread())
        moveToThread(app->thread());
}

QLabIntegration& QLabIntegration::shared() {
    static auto* integration = new QLabIntegration; // lives until the process ends
    return *integration;
}

void QLabIntegration::setUniqueID(const QString& uniqueID) {
    if (uniqueID == m_uniqueID)
        return;
    m_uniqueID = uniqueID;
    emit uniqueIDChanged();
}

namespace {

// Dialogs that wait for OK hold a thread each. They get a pool of their own that grows like a
// dispatch queue, so open dialogs never starve the bar counter's running checks of the global
// pool's threads (two on a two-core machine). Never destroyed: a dialog still open at exit must
// not hold the process up.
QThreadPool& dialogPool() {
    static auto* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(64);
        return created;
    }();
    return *pool;
}

} // namespace

void QLabIntegration::displayQLabMessage(const QString& message) {
    AppConsole::shared().log(message);
    broadcastFromAnyThread(message);
    const auto source = fromUtf8(scripts::displayMessage(utf8(message)));
    const auto runner = scriptRunner();
    if (!runner || !runner->canCreate(source))
        return;
    // The dialog waits for the operator; the caller never does.
    dialogPool().start([runner, source] {
        const auto outcome = runner->run(source);
        if (outcome.error)
            writeErrorLine("AppleScript error from display qlab message: ", *outcome.error);
    });
}

bool QLabIntegration::waitForMessageDialogs(int timeoutMilliseconds) {
    return dialogPool().waitForDone(timeoutMilliseconds);
}

QString QLabIntegration::getFilesAndStartBar(qint64 lastBar, const QString& requestSource,
                                             qint64 barNumber, const QString& uniqueID) {
    const auto outcome = runScript(fromUtf8(
        scripts::getFilesAndStartBar(lastBar, utf8(requestSource), barNumber, utf8(uniqueID))));
    if (!outcome)
        return scriptFailed;
    if (outcome->error) {
        writeErrorLine("AppleScript error from Get Files and Start Bar: ", *outcome->error);
        return errorAnswer;
    }
    const auto text = outcome->resultText();
    if (!text)
        return noResult;
    if (text->startsWith(QStringLiteral("ERROR: "))) {
        displayQLabMessage(*text);
        return scriptFailed;
    }
    return *text;
}

bool QLabIntegration::isCueRunning(const QString& uniqueID) {
    return answersTrue(fromUtf8(scripts::isCueRunning(utf8(uniqueID))));
}

bool QLabIntegration::isCueElapsedOverOneSecond(const QString& uniqueID) {
    return answersTrue(fromUtf8(scripts::isCueElapsedOverOneSecond(utf8(uniqueID))));
}

void QLabIntegration::sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime) {
    const auto source = fromUtf8(scripts::loadTimeAndStart(
        utf8(uniqueID), barTime, settings::standby(), settings::preWait()));
    const auto outcome = runScript(source);
    if (outcome && outcome->error)
        writeErrorLine("AppleScript error from Send Load Time and Start Qlab: ", *outcome->error);
}

void QLabIntegration::panicGroupCues() {
    std::vector<std::string> ids;
    for (const auto& info : cueInfos())
        ids.push_back(utf8(info.id));
    runScript(fromUtf8(scripts::panic(ids))); // QLab's answer and errors are of no use here
}

QLabState QLabIntegration::checkQLabStatus() {
    const auto runner = scriptRunner();
    if (!runner || !runner->isApplicationRunning(qlabBundleIdentifier))
        return QLabState::notRunning;
    const auto outcome = runScript(fromUtf8(scripts::checkStatus()));
    if (!outcome || outcome->error)
        return QLabState::runningNoWorkspace;
    const auto text = outcome->resultText();
    if (text == QStringLiteral("workspace no cue"))
        return QLabState::runningWithWorkspace;
    if (text == QStringLiteral("workspace and cue found"))
        return QLabState::runningWithCarvoCue;
    return QLabState::runningNoWorkspace;
}

void QLabIntegration::getValidGroupCues(const QString& source) {
    if (checkQLabStatus() != QLabState::runningWithCarvoCue)
        return;
    const auto outcome = runScript(fromUtf8(scripts::validGroupCues()));
    if (!outcome)
        return;
    if (outcome->error)
        writeErrorLine("AppleScript error from get list of valid group cues: ", *outcome->error);
    if (!outcome->result || outcome->result->items.isEmpty())
        return;

    QList<CueInfo> fresh;
    if (outcome->result->isList) {
        const auto textAt = [](const ScriptDescriptor& pair, qsizetype index) {
            return index < pair.items.size() ? pair.items[index].text.value_or(QString())
                                             : QString();
        };
        for (const auto& pair : outcome->result->items)
            fresh.append({textAt(pair, 0), textAt(pair, 1)});
    }
    if (source == QStringLiteral("Network"))
        broadcastFromAnyThread(QStringLiteral("GROUP_CUES: ") +
                               QString::fromUtf8(encodeCueInfos(fresh)));
    setCueInfos(std::move(fresh));
}

void QLabIntegration::resetCarvoCue() {
    createScriptCue(scripts::resetCarvoCue());
}

void QLabIntegration::makeChaseCue() {
    createScriptCue(scripts::makeChaseCue());
}

QList<CueInfo> QLabIntegration::cueInfos() {
    std::lock_guard lock(catalogueMutex());
    return catalogue();
}

void QLabIntegration::setCueInfos(QList<CueInfo> cueInfos) {
    std::lock_guard lock(catalogueMutex());
    catalogue() = std::move(cueInfos);
}

QString QLabIntegration::checkStatusText() const {
    return qlabStateText(checkQLabStatus());
}

QVariantList QLabIntegration::cueList() const {
    QVariantList list;
    for (const auto& info : cueInfos())
        list.append(
            QVariantMap{{QStringLiteral("id"), info.id}, {QStringLiteral("name"), info.name}});
    return list;
}

void QLabIntegration::requestGroupCues(const QString& source) const {
    getValidGroupCues(source);
}
void QLabIntegration::requestResetCarvoCue() const {
    resetCarvoCue();
}
void QLabIntegration::requestChaseCue() const {
    makeChaseCue();
}

} // namespace carvo
