#include "engine/bar_counter_manager.h"

#include <mutex>

#include <QMetaObject>
#include <QThreadPool>

#include "base/broadcaster.h"
#include "base/diagnostics.h"
#include "base/numbers.h"
#include "base/text.h"
#include "engine/bar_position.h"
#include "engine/beat_progress_model.h"
#include "engine/marks.h"

namespace carvo {
namespace {

// Queued behind default-priority work such as QLab's message dialogs.
constexpr int backgroundPriority = -1;

void runInBackground(std::function<void()> task) {
    QThreadPool::globalInstance()->start(std::move(task), backgroundPriority);
}

} // namespace

// Shared with every running check on its way; cleared when the counter is destroyed, under the
// lock a finishing check takes to post its answer.
struct BarCounterManager::Liveness {
    std::mutex mutex;
    BarCounterManager* counter = nullptr;
};

BarCounterManager::BarCounterManager(BeatProgressModel& progress, Broadcaster& broadcaster,
                                     RunningCheck runningCheck, QObject* parent)
    : QObject(parent), m_progress(progress), m_broadcaster(broadcaster),
      m_runningCheck(std::move(runningCheck)), m_clock(systemWallClock),
      m_timerFactory(makeQtRepeatingTimer), m_executor(runInBackground),
      m_liveness(std::make_shared<Liveness>()) {
    m_liveness->counter = this;
}

BarCounterManager::~BarCounterManager() {
    std::lock_guard lock(m_liveness->mutex);
    m_liveness->counter = nullptr;
}

void BarCounterManager::setBarCounter(const QString& value) {
    if (value == m_barCounter)
        return;
    m_barCounter = value;
    emit barCounterChanged();
}

void BarCounterManager::setLastBarTriggered(qint64 value) {
    if (value == m_lastBarTriggered)
        return;
    m_lastBarTriggered = value;
    emit lastBarTriggeredChanged();
}

void BarCounterManager::setWallClock(WallClock clock) {
    m_clock = clock ? std::move(clock) : WallClock(systemWallClock);
}

void BarCounterManager::setTimerFactory(TimerFactory factory) {
    m_timerFactory = factory ? std::move(factory) : TimerFactory(makeQtRepeatingTimer);
}

void BarCounterManager::setRunningCheckExecutor(Executor executor) {
    m_executor = executor ? std::move(executor) : Executor(runInBackground);
}

void BarCounterManager::stopBarCounter(bool notify) {
    stop(notify, ShowPhase::stopped);
}

void BarCounterManager::stop(bool notify, ShowPhase phase) {
    const bool wasIdle = m_show.state().phase == ShowPhase::idle && !m_timer;
    m_timer.reset();
    const QString lastBar = QString::number(m_lastBarTriggered);
    setBarCounter(lastBar + QStringLiteral(".1"));
    if (notify) {
        m_broadcaster.broadcast(QStringLiteral("BAR: ") + lastBar + QStringLiteral(".1 0"));
        m_progress.setBarProgress(0.0);
    }
    // A stop before anything ran (a client's quiet stop, the end of the process) leaves the show
    // idle.
    publishShow(wasIdle ? ShowPhase::idle : phase, m_lastBarTriggered, 1);
    if (notify)
        emit stoppedWithNotice();
}

void BarCounterManager::startBarCounter(const QString& cueID, FollowedMusic music,
                                        CueStart cueStart) {
    m_timer.reset();
    m_music = std::move(music);
    start(cueID, cueStart);
    emit followingStarted(cueID);
}

void BarCounterManager::startBarCounter(const QString& cueID) {
    start(cueID, CueStart::playing);
}

void BarCounterManager::start(const QString& cueID, CueStart cueStart) {
    m_timer.reset();
    // A pre-roll starts before the bar triggered, at the first bar it counts in.
    const bool countingIn =
        m_music.targetBarIndex > 0 && m_music.currentBarIndex < m_music.targetBarIndex;
    const qint64 startBar =
        countingIn ? m_music.firstBarNumber + (m_music.currentBarIndex - 1) : m_lastBarTriggered;
    setBarCounter(QString::number(startBar) + QStringLiteral(".1"));
    m_followedCue = cueID;
    ++m_run;
    m_checkOutstanding = false;
    m_standbyRun = cueStart == CueStart::loadedOnly;
    m_timer = m_timerFactory(tickIntervalMs, [this, cueID] { barCounterTick(cueID); });
    publishShow(m_standbyRun ? ShowPhase::standby : ShowPhase::running, startBar, 1);
}

void BarCounterManager::publishShow(ShowPhase phase, std::int64_t bar, std::int64_t beat) {
    ShowState state = m_show.state();
    if (state.cueID != m_followedCue) {
        state.cueID = m_followedCue;
        state.cueName = m_cueNames ? m_cueNames(m_followedCue) : QString();
    }
    state.bar = bar;
    state.beat = beat;
    state.progress = m_progress.barProgress();
    state.beatsPerBar = m_progress.beatsPerBar();
    state.phase = phase;
    // While a pre-roll counts in: how many bars until the one asked for, and its number.
    const BarIndex target = m_music.targetBarIndex;
    const bool countingIn = m_timer && target > 0 && m_music.currentBarIndex < target;
    state.countInBars = countingIn ? target - m_music.currentBarIndex : 0;
    state.targetBar = countingIn ? m_music.firstBarNumber + (target - 1) : 0;
    state.mark = markAtOrBefore(m_music.tables->marks, m_music.currentBarIndex);
    m_show.publish(state);
}

void BarCounterManager::barCounterTick(const QString& cueID) {
    const QString text = updateBarPosition();
    QMetaObject::invokeMethod(
        this, [this, text] { setBarCounter(text); }, Qt::QueuedConnection);

    // One question at a time: while QLab has not answered, a tick asks nothing more, so a QLab
    // slower than a tick never piles up checks.
    if (m_checkOutstanding)
        return;
    m_checkOutstanding = true;
    const quint64 run = m_run;
    m_executor([liveness = m_liveness, cueID, run, check = m_runningCheck] {
        const std::optional<bool> running = check ? check(cueID) : std::optional<bool>(false);
        std::lock_guard lock(liveness->mutex);
        BarCounterManager* counter = liveness->counter;
        if (!counter)
            return;
        QMetaObject::invokeMethod(
            counter,
            [counter, run, running] {
                // An answer for an earlier run neither stops nor frees this one.
                if (run != counter->m_run)
                    return;
                counter->m_checkOutstanding = false;
                counter->tookRunningAnswer(running);
            },
            Qt::QueuedConnection);
    });
}

// Only a definite "not running" stops the count: a QLab that is busy or unreachable for a while
// must not stop music that plays on.
void BarCounterManager::tookRunningAnswer(std::optional<bool> running) {
    const ShowState& show = m_show.state();
    if (!running) {
        if (!m_qlabSilent)
            consoleLine(QStringLiteral("QLab is not answering; the count goes on"));
        m_qlabSilent = true;
        if (m_timer)
            publishShow(ShowPhase::qlabNotAnswering, show.bar, show.beat);
        return;
    }
    if (m_qlabSilent)
        consoleLine(QStringLiteral("QLab is answering again; the count follows it"));
    m_qlabSilent = false;
    if (!*running) {
        // A loaded cue that has not started yet still waits for the operator's go in QLab.
        stop(true, m_standbyRun ? ShowPhase::standby : ShowPhase::stopped);
        return;
    }
    // The cue plays: a loaded one has been started in QLab. (An answer that comes after a stop
    // starts nothing.)
    m_standbyRun = false;
    if (m_timer && show.phase != ShowPhase::running)
        publishShow(ShowPhase::running, show.bar, show.beat);
}

QString BarCounterManager::updateBarPosition() {
    BarPositionInput input;
    input.currentBarIndex = m_music.currentBarIndex;
    input.firstBarNumber = m_music.firstBarNumber;
    input.barStartTimes = &m_music.tables->barStartTimes;
    input.barBeatCounts = &m_music.tables->barBeatCounts;
    input.jumpStartTime = m_music.jumpStartTime;
    input.jumpBarTime = m_music.jumpBarTime;
    input.now = m_clock();
    const BarPosition position = computeBarPosition(input);

    if (position.outsideTables) {
        stopBarCounter(true);
        return {};
    }
    if (position.barChanged) {
        m_music.currentBarIndex = position.index;
        m_progress.setBeatsPerBar(position.beatsPerBar);
        m_broadcaster.broadcast(QStringLiteral("BPB: ") + QString::number(position.beatsPerBar));
        const bool odd = position.index % 2 != 0;
        m_progress.setBackColour(odd ? BeatProgressModel::blue() : BeatProgressModel::red());
        m_progress.setFrontColor(odd ? BeatProgressModel::red() : BeatProgressModel::blue());
    }
    m_progress.setBarProgress(position.progress);
    publishShow(m_show.state().phase, position.bar, position.beat);
    emit ticked();
    const QString text = fromUtf8(position.text);
    m_broadcaster.broadcast(QStringLiteral("BAR: ") + text + QLatin1Char(' ') +
                            fromUtf8(shortestDecimal(position.progress)));
    return text;
}

} // namespace carvo
