#include "engine/bar_counter_manager.h"

#include <mutex>

#include <QMetaObject>
#include <QThreadPool>

#include "base/broadcaster.h"
#include "base/diagnostics.h"
#include "base/text.h"
#include "engine/bar_position.h"
#include "engine/beat_progress_model.h"
#include "base/numbers.h"

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
    m_timer.reset();
    const QString lastBar = QString::number(m_lastBarTriggered);
    setBarCounter(lastBar + QStringLiteral(".1"));
    if (notify) {
        m_broadcaster.broadcast(QStringLiteral("BAR: ") + lastBar + QStringLiteral(".1 0"));
        m_progress.setBarProgress(0.0);
    }
}

void BarCounterManager::startBarCounter(const QString& cueID, FollowedMusic music) {
    stopBarCounter(false);
    m_music = std::move(music);
    startBarCounter(cueID);
}

void BarCounterManager::startBarCounter(const QString& cueID) {
    stopBarCounter(false);
    m_followedCue = cueID;
    ++m_run;
    m_checkOutstanding = false;
    m_timer = m_timerFactory(tickIntervalMs, [this, cueID] { barCounterTick(cueID); });
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
    if (!running) {
        if (!m_qlabSilent)
            consoleLine(QStringLiteral("QLab is not answering; the count goes on"));
        m_qlabSilent = true;
        return;
    }
    if (m_qlabSilent)
        consoleLine(QStringLiteral("QLab is answering again; the count follows it"));
    m_qlabSilent = false;
    if (!*running)
        stopBarCounter(true);
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
    const QString text = fromUtf8(position.text);
    m_broadcaster.broadcast(QStringLiteral("BAR: ") + text + QLatin1Char(' ') +
                            fromUtf8(shortestDecimal(position.progress)));
    return text;
}

} // namespace carvo
