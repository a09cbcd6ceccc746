#pragma once
// The bar counter: while the music of a jump plays, twenty ticks a second work out bar, beat
// and progress from the clock and push them to the main window and to remote clients.

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include "engine/clock.h"
#include "engine/followed_music.h"
#include "engine/show_state.h"

namespace carvo {

class BeatProgressModel;
class Broadcaster;

class BarCounterManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString barCounter READ barCounter WRITE setBarCounter NOTIFY barCounterChanged)
    Q_PROPERTY(qint64 lastBarTriggered READ lastBarTriggered WRITE setLastBarTriggered NOTIFY
                   lastBarTriggeredChanged)

public:
    // Whether a cue still runs; none when QLab gave no answer (it timed out, or the connection
    // is down), which never stops the counter. Called away from the main thread.
    using RunningCheck = std::function<std::optional<bool>(const QString& cueID)>;
    // Runs a task away from the main thread.
    using Executor = std::function<void(std::function<void()> task)>;
    // The catalogue's name of a cue; empty where it has none.
    using CueNames = std::function<QString(const QString& cueID)>;
    // What the jump did to the cue: started it, or only loaded it for the operator to start in
    // QLab ("standby").
    enum class CueStart { playing, loadedOnly };

    static constexpr int tickIntervalMs = 50;

    // Main thread only. The running check asks QLab; ticks go to progress and broadcaster.
    BarCounterManager(BeatProgressModel& progress, Broadcaster& broadcaster,
                      RunningCheck runningCheck, QObject* parent = nullptr);
    ~BarCounterManager() override;

    QString barCounter() const { return m_barCounter; }
    qint64 lastBarTriggered() const { return m_lastBarTriggered; }
    void setBarCounter(const QString& value);
    void setLastBarTriggered(qint64 value);

    BeatProgressModel& progressModel() const { return m_progress; }
    bool isCounting() const { return m_timer != nullptr; }
    // What the counter follows, with the bar it has reached; kept after it stops.
    const FollowedMusic& followed() const { return m_music; }
    // The cue of the music it follows (or followed last); empty before the first start.
    QString followedCue() const { return m_followedCue; }

    void stopBarCounter(bool notify);
    // Starts following music for the cue (a jump that went through).
    void startBarCounter(const QString& cueID, FollowedMusic music,
                         CueStart start = CueStart::playing);
    // Starts again on what it followed last, from the bar it had reached (a client's handshake).
    void startBarCounter(const QString& cueID);
    void barCounterTick(const QString& cueID);
    QString updateBarPosition();

    // Where the show stands, published as the counter starts, ticks and stops.
    const ShowStatePublisher& showState() const { return m_show; }
    // Names the cue in the show state; none by default.
    void setCueNames(CueNames names) { m_cueNames = std::move(names); }

    // Injection points; an empty function restores the default (the system clock, a precise
    // QTimer, the global thread pool at background priority).
    void setWallClock(WallClock clock);
    void setTimerFactory(TimerFactory factory);
    void setRunningCheckExecutor(Executor executor);

signals:
    void barCounterChanged();
    void lastBarTriggeredChanged();
    // The counter began to follow new music for cueID (a jump, or a standby cue started by hand);
    // the show state already names it.
    void followingStarted(const QString& cueID);
    // A tick worked out a new position; the show state holds it.
    void ticked();
    // The counter stopped and told the clients so (the cue ended or was stopped).
    void stoppedWithNotice();

private:
    void start(const QString& cueID, CueStart start);
    void stop(bool notify, ShowPhase phase);
    void tookRunningAnswer(std::optional<bool> running);
    // The show state with the progress model's figures and the given phase.
    void publishShow(ShowPhase phase, std::int64_t bar, std::int64_t beat);

    BeatProgressModel& m_progress;
    Broadcaster& m_broadcaster;
    RunningCheck m_runningCheck;
    WallClock m_clock;
    TimerFactory m_timerFactory;
    Executor m_executor;

    QString m_barCounter = QStringLiteral("1.1");
    qint64 m_lastBarTriggered = 1;
    FollowedMusic m_music;
    QString m_followedCue;
    std::unique_ptr<RepeatingTimer> m_timer;
    // Counts starts, so a running check's answer reaches only the run it was asked for.
    quint64 m_run = 0;
    // This run's running check has been asked and not yet answered.
    bool m_checkOutstanding = false;
    // The last running check went unanswered; said once on the console, and once when QLab
    // answers again.
    bool m_qlabSilent = false;
    // This run began with a cue only loaded: until QLab says it plays, the show is on standby.
    bool m_standbyRun = false;
    CueNames m_cueNames;
    ShowStatePublisher m_show;
    // Lets a running check that answers after the counter is gone find that out.
    struct Liveness;
    std::shared_ptr<Liveness> m_liveness;
};

} // namespace carvo
