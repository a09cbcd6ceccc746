#include "qlab/qlab_integration.h"

#include <chrono>
#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include "base/app_console.h"
#include "base/broadcaster.h"
#include "base/diagnostics.h"
#include "base/quit_signals.h"
#include "base/settings.h"
#include "qlab/applescript_backend.h"

namespace carvo {

// At most one message dialog is open: a message that comes while one is open waits, and a newer
// one takes the waiting one's place. Every message still reaches the console and the clients;
// only the dialogs are bounded, so a flood of refusals cannot open a dialog (and hold a thread)
// each. Shared with the dialogs' threads, which report the close.
class MessageDialogGate : public std::enable_shared_from_this<MessageDialogGate> {
public:
    explicit MessageDialogGate(std::shared_ptr<QLabBackend> backend)
        : m_backend(std::move(backend)) {}

    void show(const QString& message) {
        {
            std::lock_guard lock(m_mutex);
            if (m_open) {
                m_waiting = message;
                return;
            }
            m_open = true;
        }
        open(message);
    }

private:
    void open(const QString& message) {
        m_backend->displayQLabMessage(message, [gate = shared_from_this()] { gate->closed(); });
    }

    void closed() {
        std::optional<QString> next;
        {
            std::lock_guard lock(m_mutex);
            next.swap(m_waiting);
            if (!next) {
                m_open = false;
                return;
            }
        }
        open(*next);
    }

    std::shared_ptr<QLabBackend> m_backend;
    std::mutex m_mutex;
    bool m_open = false;
    std::optional<QString> m_waiting;
};

QLabIntegration::QLabIntegration(std::shared_ptr<QLabBackend> backend, Broadcaster& broadcaster,
                                 const Settings& settings, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)), m_broadcaster(broadcaster),
      m_settings(settings), m_dialogs(std::make_shared<MessageDialogGate>(m_backend)) {}

QLabIntegration::QLabIntegration(std::shared_ptr<ScriptRunner> runner, Broadcaster& broadcaster,
                                 const Settings& settings, QObject* parent)
    : QLabIntegration(std::make_shared<AppleScriptBackend>(std::move(runner)), broadcaster,
                      settings, parent) {}

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
    if (QThread::currentThread() == thread())
        emit messageShown(message);
    else
        QMetaObject::invokeMethod(
            this, [this, message] { emit messageShown(message); }, Qt::QueuedConnection);
    m_dialogs->show(message);
}

bool QLabIntegration::waitForMessageDialogs(int timeoutMilliseconds) {
    return AppleScriptBackend::waitForMessageDialogs(timeoutMilliseconds);
}

FilesAnswer QLabIntegration::getFilesAndStartBar(qint64 lastBar, RequestSource source,
                                                 qint64 barNumber, const QString& uniqueID) {
    FilesAnswer answer = m_backend->getFilesAndStartBar(lastBar, source, barNumber, uniqueID);
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
    m_backend->sendLoadTimeAndStartQLab(uniqueID, barTime, m_settings.standby(),
                                        m_settings.preWait());
}

void QLabIntegration::panicGroupCues() {
    QList<QString> ids;
    for (const auto& info : cueInfos())
        ids.append(info.id);
    m_backend->panic(ids);
}

void QLabIntegration::stopCues(const QList<QString>& started) {
    if (cueInfos().isEmpty())
        getValidGroupCues(CatalogueSource::cueList);
    QList<QString> ids;
    for (const QString& id : started)
        if (!id.isEmpty() && !ids.contains(id))
            ids.append(id);
    for (const auto& info : cueInfos())
        if (!ids.contains(info.id))
            ids.append(info.id);
    if (!ids.isEmpty())
        m_backend->panic(ids);
}

void QLabIntegration::fillCatalogueQuietly() {
    using namespace std::chrono_literals;
    // Every second for half a minute (QLab's connection coming up), then every five seconds
    // for ten minutes (QLab started after Carvo).
    constexpr int attempts = 30 + 120;
    // A thread of its own, so a QLab that never answers holds none of the counter's threads; it
    // holds the backend, not the bridge.
    std::thread([backend = m_backend, filled = m_catalogueFilled,
                 bridge = QPointer<QLabIntegration>(this)] {
        for (int attempt = 0; attempt < attempts && !quitRequested() && !*filled; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(attempt < 30 ? 1s : 5s);
            if (!backend->isQLabRunning() ||
                backend->workspaceState() != QLabState::runningWithCarvoCue)
                continue;
            auto fresh = backend->usableGroupCues();
            if (!fresh)
                continue;
            writeLine(QStringLiteral("Catalogue read at start-up: ") +
                      QString::number(fresh->size()) + QStringLiteral(" group cues"));
            QCoreApplication* app = QCoreApplication::instance();
            if (!app)
                return;
            // The bridge lives on the main thread: only there is it known to be alive.
            QMetaObject::invokeMethod(
                app,
                [bridge, cues = std::move(*fresh)] {
                    if (bridge && bridge->cueInfos().isEmpty())
                        bridge->setCueInfos(cues);
                },
                Qt::QueuedConnection);
            return;
        }
    }).detach();
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
    if (!cueInfos.isEmpty())
        *m_catalogueFilled = true;
    std::lock_guard lock(m_catalogueMutex);
    m_cueInfos = std::move(cueInfos);
}

} // namespace carvo
