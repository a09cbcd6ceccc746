#pragma once
// The bar counter: while the music of a jump plays, twenty ticks a second work out bar, beat
// and progress from the clock and push them to the main window and to remote clients.

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

#include "engine/clock.h"

namespace carvo {

class BeatProgressModel;

class BarCounterManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString barCounter READ barCounter WRITE setBarCounter NOTIFY barCounterChanged)
    Q_PROPERTY(qint64 lastBarTriggered READ lastBarTriggered WRITE setLastBarTriggered NOTIFY
                   lastBarTriggeredChanged)

public:
    // Whether a cue still runs; called on a background thread.
    using RunningCheck = std::function<bool(const QString& cueID)>;
    // Runs a task away from the main thread.
    using Executor = std::function<void(std::function<void()> task)>;

    static constexpr int tickIntervalMs = 50;

    // The one manager of the process, created on first use; main thread only.
    static BarCounterManager& shared();
    explicit BarCounterManager(QObject* parent = nullptr);
    ~BarCounterManager() override;

    QString barCounter() const { return m_barCounter; }
    qint64 lastBarTriggered() const { return m_lastBarTriggered; }
    void setBarCounter(const QString& value);
    void setLastBarTriggered(qint64 value);

    BeatProgressModel& progressModel() const;
    bool isCounting() const { return m_timer != nullptr; }

    Q_INVOKABLE void stopBarCounter(bool notify);
    Q_INVOKABLE void startBarCounter(const QString& cueID);
    void barCounterTick(const QString& cueID);
    QString updateBarPosition();

    // Injection points; an empty function restores the default (a precise QTimer, the QLab
    // running check, the global thread pool at background priority).
    void setTimerFactory(TimerFactory factory);
    void setRunningCheck(RunningCheck check);
    void setRunningCheckExecutor(Executor executor);

signals:
    void barCounterChanged();
    void lastBarTriggeredChanged();

private:
    QString m_barCounter = QStringLiteral("1.1");
    qint64 m_lastBarTriggered = 1;
    std::unique_ptr<RepeatingTimer> m_timer;
    // Counts starts, so a running check's answer reaches only the run it was asked for.
    quint64 m_run = 0;
    TimerFactory m_timerFactory;
    RunningCheck m_runningCheck;
    Executor m_executor;
};

} // namespace carvo
