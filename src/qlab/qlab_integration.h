#pragma once
// The QLab bridge: the operations that serve jumps and stops, QLab's status, the catalogue of
// usable group cues and the cues that call back into Carvo. What every way of reaching QLab
// shares lives here (the addressed cue, the catalogue, the console and the clients); how QLab
// is reached is its backend's (AppleScript or OSC). Operations run synchronously on the calling
// thread, except the dialog of displayQLabMessage.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QList>
#include <QObject>
#include <QString>

#include "engine/qlab_operations.h"
#include "qlab/qlab_backend.h"
#include "qlab/qlab_state.h"
#include "qlab/script_runner.h"

namespace carvo {

class Broadcaster;
class Settings;

// Who asked for the catalogue: a remote client or the settings sheet's "Resend Cues" (which
// also sends it to every client), or the main window's cue list (which only stores it).
enum class CatalogueSource { network, cueList };

class QLabIntegration : public QObject, public QLabOperations {
    Q_OBJECT
    Q_PROPERTY(QString uniqueID READ uniqueID WRITE setUniqueID NOTIFY uniqueIDChanged)

public:
    // Main thread. "standby" and "preWait" are read afresh from settings by each load and start.
    QLabIntegration(std::shared_ptr<QLabBackend> backend, Broadcaster& broadcaster,
                    const Settings& settings, QObject* parent = nullptr);
    // Through AppleScript with this runner (none: every script counts as one that cannot be
    // created).
    QLabIntegration(std::shared_ptr<ScriptRunner> runner, Broadcaster& broadcaster,
                    const Settings& settings, QObject* parent = nullptr);

    QString uniqueID() const override { return m_uniqueID; }
    void setUniqueID(const QString& uniqueID) override;

    void displayQLabMessage(const QString& message) override;
    FilesAnswer getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                    const QString& uniqueID) override;
    bool isCueRunning(const QString& uniqueID) override;
    bool isCueElapsedOverOneSecond(const QString& uniqueID) override;
    // isCueRunning for the bar counter's background checks: it holds the backend's connection
    // to QLab, not the bridge, so a check still running when the bridge goes away touches
    // nothing of it.
    std::function<std::optional<bool>(const QString& uniqueID)> runningCheck() const;
    // Reads "standby" and "preWait" afresh from the settings on every call.
    void sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime) override;
    // Panics every group cue of the stored catalogue.
    void panicGroupCues();
    // A stop: panics these cues (what Carvo started) and every catalogued group cue; a catalogue
    // never filled yet is filled first, quietly.
    void stopCues(const QList<QString>& started);
    // Fills the catalogue once QLab is ready, without sending it to remote clients, asking again
    // every few seconds for a while; off the main thread, so a QLab that does not answer holds
    // no one. A catalogue that is filled meanwhile by another way is kept.
    void fillCatalogueQuietly();

    QLabState checkQLabStatus();
    // From the network, the catalogue is also sent to every client as "GROUP_CUES: " + JSON.
    void getValidGroupCues(CatalogueSource source);
    void resetCarvoCue();
    void makeChaseCue();

    // The catalogue: replaced as a whole by getValidGroupCues.
    QList<CueInfo> cueInfos() const;
    void setCueInfos(QList<CueInfo> cueInfos);

    QLabBackend& backend() { return *m_backend; }

    // Waits until every message dialog of the process has been dismissed; false when time ran
    // out.
    static bool waitForMessageDialogs(int timeoutMilliseconds);

signals:
    void uniqueIDChanged();
    // An operator message went out (displayQLabMessage); on the main thread.
    void messageShown(const QString& message);

private:
    void createScriptCue(ScriptCueKind kind);
    // The broadcaster belongs to the main thread; a call from elsewhere is handed over to it.
    void broadcastFromAnyThread(const QString& message);

    std::shared_ptr<QLabBackend> m_backend;
    Broadcaster& m_broadcaster;
    const Settings& m_settings;
    QString m_uniqueID;
    mutable std::mutex m_catalogueMutex;
    QList<CueInfo> m_cueInfos;
    std::shared_ptr<std::atomic<bool>> m_catalogueFilled = std::make_shared<std::atomic<bool>>();
    // One message dialog open at a time (shared with the dialogs' threads).
    std::shared_ptr<class MessageDialogGate> m_dialogs;
};

} // namespace carvo
