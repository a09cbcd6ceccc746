#include "qlab/qlab_integration.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include "base/app_console.h"
#include "base/broadcaster.h"
#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/text.h"
#include "qlab/scripts.h"

namespace carvo {
namespace {

const QString qlabBundleIdentifier = QStringLiteral("com.figure53.QLab.5");

void writeErrorLine(const char* prefix, const ScriptError& error) {
    writeLine(QString::fromUtf8(prefix) + error.description);
}

std::optional<ScriptOutcome> run(ScriptRunner* runner, const QString& source) {
    if (!runner || !runner->canCreate(source))
        return std::nullopt;
    return runner->run(source);
}

bool answersTrue(ScriptRunner* runner, const QString& source) {
    const auto outcome = run(runner, source);
    return outcome && !outcome->error && outcome->resultText() == QStringLiteral("true");
}

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

QLabIntegration::QLabIntegration(std::shared_ptr<ScriptRunner> runner, Broadcaster& broadcaster,
                                 QObject* parent)
    : QObject(parent), m_runner(std::move(runner)), m_broadcaster(broadcaster),
      m_standby(settings::standby()), m_prewait(settings::preWait()) {}

void QLabIntegration::setUniqueID(const QString& uniqueID) {
    if (uniqueID == m_uniqueID)
        return;
    m_uniqueID = uniqueID;
    emit uniqueIDChanged();
}

std::optional<ScriptOutcome> QLabIntegration::runScript(const QString& source) {
    return run(m_runner.get(), source);
}

void QLabIntegration::broadcastFromAnyThread(const QString& message) {
    if (QThread::currentThread() == thread()) {
        m_broadcaster.broadcast(message);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, message] { m_broadcaster.broadcast(message); }, Qt::QueuedConnection);
}

void QLabIntegration::displayQLabMessage(const QString& message) {
    AppConsole::shared().log(message);
    broadcastFromAnyThread(message);
    const auto source = fromUtf8(scripts::displayMessage(toUtf8(message)));
    if (!m_runner || !m_runner->canCreate(source))
        return;
    // The dialog waits for the operator; the caller never does.
    dialogPool().start([runner = m_runner, source] {
        const auto outcome = runner->run(source);
        if (outcome.error)
            writeErrorLine("AppleScript error from display qlab message: ", *outcome.error);
    });
}

bool QLabIntegration::waitForMessageDialogs(int timeoutMilliseconds) {
    return dialogPool().waitForDone(timeoutMilliseconds);
}

FilesAnswer QLabIntegration::getFilesAndStartBar(qint64 lastBar, RequestSource source,
                                                 qint64 barNumber, const QString& uniqueID) {
    using Failure = FilesAnswer::Failure;
    const auto outcome = runScript(fromUtf8(scripts::getFilesAndStartBar(
        lastBar, requestSourceText(source), barNumber, toUtf8(uniqueID))));
    if (!outcome)
        return FilesAnswer::failed(Failure::scriptFailed);
    if (outcome->error) {
        writeErrorLine("AppleScript error from Get Files and Start Bar: ", *outcome->error);
        return FilesAnswer::failed(Failure::error);
    }
    auto text = outcome->resultText();
    if (!text)
        return FilesAnswer::failed(Failure::noResult);
    if (text->startsWith(QStringLiteral("ERROR: "))) {
        displayQLabMessage(*text);
        return FilesAnswer::failed(Failure::scriptFailed);
    }
    return FilesAnswer::answer(std::move(*text));
}

bool QLabIntegration::isCueRunning(const QString& uniqueID) {
    return answersTrue(m_runner.get(), fromUtf8(scripts::isCueRunning(toUtf8(uniqueID))));
}

bool QLabIntegration::isCueElapsedOverOneSecond(const QString& uniqueID) {
    return answersTrue(m_runner.get(),
                       fromUtf8(scripts::isCueElapsedOverOneSecond(toUtf8(uniqueID))));
}

std::function<bool(const QString& uniqueID)> QLabIntegration::runningCheck() const {
    return [runner = m_runner](const QString& uniqueID) {
        return answersTrue(runner.get(), fromUtf8(scripts::isCueRunning(toUtf8(uniqueID))));
    };
}

void QLabIntegration::sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime) {
    const auto source = fromUtf8(scripts::loadTimeAndStart(
        toUtf8(uniqueID), barTime, settings::standby(), settings::preWait()));
    const auto outcome = runScript(source);
    if (outcome && outcome->error)
        writeErrorLine("AppleScript error from Send Load Time and Start Qlab: ", *outcome->error);
}

void QLabIntegration::panicGroupCues() {
    std::vector<std::string> ids;
    for (const auto& info : cueInfos())
        ids.push_back(toUtf8(info.id));
    runScript(fromUtf8(scripts::panic(ids))); // QLab's answer and errors are of no use here
}

QLabState QLabIntegration::checkQLabStatus() {
    if (!m_runner || !m_runner->isApplicationRunning(qlabBundleIdentifier))
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

void QLabIntegration::getValidGroupCues(CatalogueSource source) {
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
    if (source == CatalogueSource::network)
        broadcastFromAnyThread(QStringLiteral("GROUP_CUES: ") +
                               QString::fromUtf8(encodeCueInfos(fresh)));
    setCueInfos(std::move(fresh));
}

// Script cue creation: refused on the console while QLab is not ready for it.
void QLabIntegration::createScriptCue(std::string_view script) {
    if (checkQLabStatus() == QLabState::notRunning) {
        AppConsole::shared().log(QStringLiteral("Qlab is not running"));
        return;
    }
    if (checkQLabStatus() == QLabState::runningNoWorkspace) {
        AppConsole::shared().log(QStringLiteral("No Qlab workspapce open"));
        return;
    }
    const auto outcome = runScript(fromUtf8(script));
    if (outcome && outcome->error)
        writeErrorLine("AppleScript error from Make Carvo Cue: ", *outcome->error);
}

void QLabIntegration::resetCarvoCue() {
    createScriptCue(scripts::resetCarvoCue());
}

void QLabIntegration::makeChaseCue() {
    createScriptCue(scripts::makeChaseCue());
}

QList<CueInfo> QLabIntegration::cueInfos() const {
    std::lock_guard lock(m_catalogueMutex);
    return m_cueInfos;
}

void QLabIntegration::setCueInfos(QList<CueInfo> cueInfos) {
    std::lock_guard lock(m_catalogueMutex);
    m_cueInfos = std::move(cueInfos);
}

} // namespace carvo
