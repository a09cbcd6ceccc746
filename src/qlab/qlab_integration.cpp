#include "qlab/qlab_integration.h"

#include <QThread>

#include "base/app_console.h"
#include "base/broadcaster.h"
#include "base/settings.h"
#include "qlab/applescript_backend.h"

namespace carvo {

QLabIntegration::QLabIntegration(std::shared_ptr<QLabBackend> backend, Broadcaster& broadcaster,
                                 QObject* parent)
    : QObject(parent), m_backend(std::move(backend)), m_broadcaster(broadcaster),
      m_standby(settings::standby()), m_prewait(settings::preWait()) {}

QLabIntegration::QLabIntegration(std::shared_ptr<ScriptRunner> runner, Broadcaster& broadcaster,
                                 QObject* parent)
    : QLabIntegration(std::make_shared<AppleScriptBackend>(std::move(runner)), broadcaster,
                      parent) {}

void QLabIntegration::setUniqueID(const QString& uniqueID) {
    if (uniqueID == m_uniqueID)
        return;
    m_uniqueID = uniqueID;
    emit uniqueIDChanged();
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
    m_backend->showMessage(message);
}

bool QLabIntegration::waitForMessageDialogs(int timeoutMilliseconds) {
    return AppleScriptBackend::waitForMessageDialogs(timeoutMilliseconds);
}

FilesAnswer QLabIntegration::getFilesAndStartBar(qint64 lastBar, RequestSource source,
                                                 qint64 barNumber, const QString& uniqueID) {
    FilesAnswer answer = m_backend->filesAndStartBar(lastBar, source, barNumber, uniqueID);
    if (!answer.failure && answer.text.startsWith(QStringLiteral("ERROR: "))) {
        displayQLabMessage(answer.text);
        return FilesAnswer::failed(FilesAnswer::Failure::scriptFailed);
    }
    return answer;
}

bool QLabIntegration::isCueRunning(const QString& uniqueID) {
    return m_backend->isCueRunning(uniqueID);
}

bool QLabIntegration::isCueElapsedOverOneSecond(const QString& uniqueID) {
    return m_backend->isCueElapsedOverOneSecond(uniqueID);
}

std::function<std::optional<bool>(const QString& uniqueID)> QLabIntegration::runningCheck() const {
    return m_backend->runningCheck();
}

void QLabIntegration::sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime) {
    m_backend->loadAndStart(uniqueID, barTime, settings::standby(), settings::preWait());
}

void QLabIntegration::panicGroupCues() {
    QList<QString> ids;
    for (const auto& info : cueInfos())
        ids.append(info.id);
    m_backend->panic(ids);
}

QLabState QLabIntegration::checkQLabStatus() {
    if (!m_backend->isQLabRunning())
        return QLabState::notRunning;
    return m_backend->workspaceState();
}

void QLabIntegration::getValidGroupCues(CatalogueSource source) {
    if (checkQLabStatus() != QLabState::runningWithCarvoCue)
        return;
    auto fresh = m_backend->usableGroupCues();
    if (!fresh)
        return;
    if (source == CatalogueSource::network)
        broadcastFromAnyThread(QStringLiteral("GROUP_CUES: ") +
                               QString::fromUtf8(encodeCueInfos(*fresh)));
    setCueInfos(std::move(*fresh));
}

// Making a cue in QLab is refused on the console while QLab is not ready for it.
void QLabIntegration::createScriptCue(ScriptCueKind kind) {
    if (checkQLabStatus() == QLabState::notRunning) {
        AppConsole::shared().log(QStringLiteral("Qlab is not running"));
        return;
    }
    if (checkQLabStatus() == QLabState::runningNoWorkspace) {
        AppConsole::shared().log(QStringLiteral("No Qlab workspapce open"));
        return;
    }
    m_backend->makeScriptCue(kind);
}

void QLabIntegration::resetCarvoCue() {
    createScriptCue(ScriptCueKind::carvo);
}

void QLabIntegration::makeChaseCue() {
    createScriptCue(ScriptCueKind::chase);
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
