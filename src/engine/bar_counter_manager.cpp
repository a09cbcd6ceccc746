#include "engine/bar_counter_manager.h"

#include <QMetaObject>
#include <QThreadPool>

#include "app/broadcast.h"
#include "engine/bar_position.h"
#include "engine/beat_progress_model.h"
#include "engine/jump_state.h"
#include "engine/numbers.h"
#include "qlab/qlab_integration.h"

namespace carvo {
namespace {

// Queued behind default-priority work such as QLab's message dialogs.
constexpr int backgroundPriority = -1;

void runInBackground(std::function<void()> task) {
    QThreadPool::globalInstance()->start(std::move(task), backgroundPriority);
}

} // namespace

BarCounterManager& BarCounterManager::shared() {
    static auto* manager = new BarCounterManager; // lives until the process ends
    return *manager;
}

BarCounterManager::BarCounterManager(QObject* parent) : QObject(parent) {}

BarCounterManager::~BarCounterManager() = default;

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

BeatProgressModel& BarCounterManager::progressModel() const {
    return BeatProgressModel::shared();
}

void BarCounterManager::setTimerFactory(TimerFactory factory) {
    m_timerFactory = std::move(factory);
}

void BarCounterManager::setRunningCheck(RunningCheck check) {
    m_runningCheck = std::move(check);
}

void BarCounterManager::setRunningCheckExecutor(Executor executor) {
    m_executor = std::move(executor);
}

void BarCounterManager::stopBarCounter(bool notify) {
    m_timer.reset();
    const QString lastBar = QString::number(m_lastBarTriggered);
    setBarCounter(lastBar + QStringLiteral(".1"));
    if (notify) {
        broadcast(QStringLiteral("BAR: ") + lastBar + QStringLiteral(".1 0"));
        progressModel().setBarProgress(0.0);
    }
}

void BarCounterManager::startBarCounter(const QString& cueID) {
    stopBarCounter(false);
    ++m_run;
    auto onFire = [this, cueID] { barCounterTick(cueID); };
    m_timer = m_timerFactory ? m_timerFactory(tickIntervalMs, std::move(onFire))
                             : makeQtRepeatingTimer(tickIntervalMs, std::move(onFire));
}

void BarCounterManager::barCounterTick(const QString& cueID) {
    const QString text = updateBarPosition();
    QMetaObject::invokeMethod(
        this, [this, text] { setBarCounter(text); }, Qt::QueuedConnection);

    const quint64 run = m_run;
    RunningCheck check =
        m_runningCheck ? m_runningCheck : RunningCheck(&QLabIntegration::isCueRunning);
    auto task = [this, cueID, run, check = std::move(check)] {
        if (check(cueID))
            return;
        QMetaObject::invokeMethod(
            this,
            [this, run] {
                if (run == m_run)
                    stopBarCounter(true);
            },
            Qt::QueuedConnection);
    };
    if (m_executor)
        m_executor(std::move(task));
    else
        runInBackground(std::move(task));
}

QString BarCounterManager::updateBarPosition() {
    JumpState& state = jumpState();
    BarPositionInput input;
    input.currentBarIndex = state.currentBarIndex;
    input.firstBarNumber = state.firstBarNumber;
    input.barStartTimes = &state.barStartTimes;
    input.barBeatCounts = &state.barBeatCounts;
    input.jumpStartTime = state.jumpStartTime;
    input.jumpBarTime = state.jumpBarTime;
    input.now = wallClockNow();
    const BarPosition position = computeBarPosition(input);

    if (position.outsideTables) {
        stopBarCounter(true);
        return {};
    }
    BeatProgressModel& model = progressModel();
    if (position.barChanged) {
        state.currentBarIndex = position.index;
        model.setBeatsPerBar(position.beatsPerBar);
        broadcast(QStringLiteral("BPB: ") + QString::number(position.beatsPerBar));
        const bool odd = position.index % 2 != 0;
        model.setBackColour(odd ? BeatProgressModel::blue() : BeatProgressModel::red());
        model.setFrontColor(odd ? BeatProgressModel::red() : BeatProgressModel::blue());
    }
    model.setBarProgress(position.progress);
    const QString text = QString::fromStdString(position.text);
    broadcast(QStringLiteral("BAR: ") + text + QLatin1Char(' ') +
              QString::fromStdString(shortestDecimal(position.progress)));
    return text;
}

} // namespace carvo
