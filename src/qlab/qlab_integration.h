#pragma once
// The QLab bridge: the scripts that serve jumps and stops, QLab's status, the catalogue of usable
// group cues and the Script cues that call back into Carvo. Every operation is type-level and runs
// its script through the installed ScriptRunner, synchronously on the calling thread, except the
// dialog of displayQLabMessage, which runs on the global thread pool.

#include <QObject>
#include <QString>
#include <QVariantList>

#include "qlab/qlab_state.h"
#include "qlab/script_runner.h"

namespace carvo {

class QLabIntegration : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString uniqueID READ uniqueID WRITE setUniqueID NOTIFY uniqueIDChanged)

public:
    // The one bridge object, created on first use; "standby" and "preWait" are read then.
    static QLabIntegration& shared();

    QString uniqueID() const { return m_uniqueID; }
    void setUniqueID(const QString& uniqueID);
    bool standby() const { return m_standby; }
    double prewait() const { return m_prewait; }

    // Console, every client, then a dialog in QLab run on the pool; returns at once.
    static void displayQLabMessage(const QString& message);
    // Waits until every message dialog has been dismissed; false when time ran out.
    static bool waitForMessageDialogs(int timeoutMilliseconds);
    // The answer of QLab's get-files script, or "Script failed", "Error" or "No Result".
    static QString getFilesAndStartBar(qint64 lastBar, const QString& requestSource,
                                       qint64 barNumber, const QString& uniqueID);
    static bool isCueRunning(const QString& uniqueID);
    static bool isCueElapsedOverOneSecond(const QString& uniqueID);
    // Reads "standby" and "preWait" afresh from the settings on every call.
    static void sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime);
    static void panicGroupCues();

    static QLabState checkQLabStatus();
    // Source "Network" also sends the catalogue to every client as "GROUP_CUES: " + JSON.
    static void getValidGroupCues(const QString& source);
    static void resetCarvoCue();
    static void makeChaseCue();

    // The catalogue: replaced as a whole by getValidGroupCues.
    static QList<CueInfo> cueInfos();
    static void setCueInfos(QList<CueInfo> cueInfos);

    // For views: the state's display text, the catalogue as a list of {id, name} maps, and the
    // operations views start.
    Q_INVOKABLE QString checkStatusText() const;
    Q_INVOKABLE QVariantList cueList() const;
    Q_INVOKABLE void requestGroupCues(const QString& source) const;
    Q_INVOKABLE void requestResetCarvoCue() const;
    Q_INVOKABLE void requestChaseCue() const;

signals:
    void uniqueIDChanged();

private:
    QLabIntegration();

    QString m_uniqueID;
    bool m_standby = false;
    double m_prewait = 0.0;
};

} // namespace carvo
