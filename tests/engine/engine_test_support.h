#pragma once
// Shared fixture pieces for the jump engine's Qt tests: a hand-driven clock and timer, a
// recording broadcaster and a running-check queue the test empties when it chooses, around a
// bar counter of the test's own.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "engine/clock.h"
#include "support/recording_broadcaster.h"

namespace carvo::testing {

// Timers the test fires by hand; destroying one (the counter stopping) unregisters it.
class ManualTimers {
public:
    struct Timer;

    TimerFactory factory() {
        return [this](int intervalMs, std::function<void()> onFire) {
            auto timer = std::make_unique<Timer>(this, intervalMs, std::move(onFire));
            live = timer.get();
            ++created;
            return timer;
        };
    }

    // One firing of the live timer; false when none is live.
    bool fire() {
        if (live == nullptr)
            return false;
        const std::function<void()> onFire = live->onFire; // the firing may destroy the timer
        onFire();
        return true;
    }

    struct Timer final : RepeatingTimer {
        Timer(ManualTimers* timers, int interval, std::function<void()> fired)
            : owner(timers), intervalMs(interval), onFire(std::move(fired)) {}
        ~Timer() override {
            if (owner->live == this)
                owner->live = nullptr;
        }
        Timer(const Timer&) = delete;
        Timer& operator=(const Timer&) = delete;
        ManualTimers* owner;
        int intervalMs;
        std::function<void()> onFire;
    };

    Timer* live = nullptr;
    int created = 0;
};

// The running checks a tick queued, answered when the test says so.
class PendingChecks {
public:
    BarCounterManager::Executor executor() {
        return [this](std::function<void()> task) { tasks.push_back(std::move(task)); };
    }
    void runAll() {
        auto taken = std::move(tasks);
        tasks.clear();
        for (auto& task : taken)
            task();
    }
    std::vector<std::function<void()>> tasks;
};

// A bar counter of the test's own, on a manual clock and timers, with a recording broadcaster
// and running checks the test answers when it chooses.
class EngineHarness {
public:
    EngineHarness()
        : counter(progress, broadcaster, [this](const QString& cueID) {
              checkedCues.append(cueID);
              return runningCheck ? runningCheck(cueID) : cueRunning;
          }) {
        counter.setWallClock([this] { return now; });
        counter.setTimerFactory(timers.factory());
        counter.setRunningCheckExecutor(checks.executor());
    }
    ~EngineHarness() {
        counter.stopBarCounter(false);
        QCoreApplication::processEvents();
    }
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    // One tick at `seconds` after the jump began, with its queued display update applied.
    void tickAt(double seconds) {
        now = counter.followed().jumpStartTime + seconds;
        timers.fire();
        QCoreApplication::processEvents();
    }

    // Answers every outstanding running check and applies what they queued.
    void answerChecks() {
        checks.runAll();
        QCoreApplication::processEvents();
    }

    double now = 1'700'000'000.0;
    bool cueRunning = true;
    // When set, running checks ask it instead of answering cueRunning; none is no answer.
    std::function<std::optional<bool>(const QString& cueID)> runningCheck;
    QStringList sent;
    QStringList checkedCues;
    ManualTimers timers;
    PendingChecks checks;
    RecordingBroadcaster broadcaster{sent};
    BeatProgressModel progress;
    BarCounterManager counter;
};

} // namespace carvo::testing
