// Remote control under measurement, against a real headless carvo with the simulated QLab:
// - the time from a client's "BAR_REQUEST: " to its "QLAB_SELECTED: " (100 jumps, median);
// - fifty clients watching the bar counter's twenty ticks a second for a minute (the length can
//   be shortened with CARVO_BENCH_WATCH_SECONDS): whether each receives every "BAR: " message,
//   in order.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include "e2e_support.h"
#include "support/qt_benchmark.h"

namespace {

using namespace carvo::e2e;

constexpr int answerMs = 10000;
const char waltzSelection[] = "REMOTE_SELECTED: D-GROUP-WALTZ";
const char waltzSelected[] = "QLAB_SELECTED: D-GROUP-WALTZ";

bool startCarvo(CarvoInstance& carvo, benchmark::State& state) {
    QString problem;
    if (carvo.start(demoWorkspace(), {}, &problem))
        return true;
    state.SkipWithError(problem.toStdString().c_str());
    return false;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

void BM_RemoteJumpUntilQLabSelected(benchmark::State& state) {
    CarvoInstance carvo;
    if (!startCarvo(carvo, state))
        return;
    TestClient client;
    client.connectTo(carvo.port());
    // The catalogue lets each stop between jumps panic the running cue.
    client.send("REQUEST CUES");
    client.waitForMatch([](const std::string& m) { return m.starts_with("GROUP_CUES: "); },
                        answerMs);
    client.send(waltzSelection);
    if (!client.waitForMessage(waltzSelection, answerMs)) {
        state.SkipWithError("no echo of the selection");
        return;
    }

    std::vector<double> milliseconds;
    for (auto _ : state) {
        const std::size_t from = client.messagesWithPending().size();
        QElapsedTimer timer;
        timer.start();
        client.send("BAR_REQUEST: 5");
        const auto selected = client.waitForMatch(
            [](const std::string& m) { return m == waltzSelected; }, answerMs, from);
        const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (!selected) {
            state.SkipWithError("no \"QLAB_SELECTED: \" within 10 s");
            return;
        }
        state.SetIterationTime(elapsed / 1000.0);
        milliseconds.push_back(elapsed);

        // Stop the cue so the next jump is not refused as already running; the stop has been
        // acted on when the server closes the stopping connection.
        TestClient stopper;
        stopper.connectTo(carvo.port());
        stopper.send("STOP ");
        stopper.finishSending();
        stopper.waitForClose(answerMs);
    }
    state.counters["min_ms"] = percentile(milliseconds, 0.0);
    state.counters["p10_ms"] = percentile(milliseconds, 0.1);
    state.counters["median_ms"] = percentile(milliseconds, 0.5);
    state.counters["p90_ms"] = percentile(milliseconds, 0.9);
    state.counters["max_ms"] = percentile(milliseconds, 1.0);
}
BENCHMARK(BM_RemoteJumpUntilQLabSelected)
    ->Iterations(100)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_FiftyWatchersAtTwentyHertz(benchmark::State& state) {
    constexpr int clientCount = 50;
    const char* configured = std::getenv("CARVO_BENCH_WATCH_SECONDS");
    const int watchSeconds = configured ? std::max(1, std::atoi(configured)) : 60;

    for (auto _ : state) {
        CarvoInstance carvo;
        if (!startCarvo(carvo, state))
            return;
        std::vector<std::unique_ptr<TestClient>> watchers;
        for (int i = 0; i < clientCount; ++i) {
            watchers.push_back(std::make_unique<TestClient>());
            watchers.back()->connectTo(carvo.port());
            watchers.back()->send("HANDSHAKE_REQUEST");
        }
        for (auto& watcher : watchers)
            watcher->waitForMessage("HANDSHAKE_RESPONSE", answerMs);
        TestClient controller;
        controller.connectTo(carvo.port());
        controller.send(waltzSelection);
        controller.waitForMessage(waltzSelection, answerMs);
        controller.send("BAR_REQUEST: 1");

        QElapsedTimer watching;
        watching.start();
        waitUntil([&] { return watching.elapsed() >= watchSeconds * 1000; },
                  watchSeconds * 1000 + 1000);
        controller.send("REMOTE_SELECTED: end-of-run");
        for (auto& watcher : watchers)
            watcher->waitForMessage("REMOTE_SELECTED: end-of-run", answerMs);
        controller.waitForMessage("REMOTE_SELECTED: end-of-run", answerMs);
        state.SetIterationTime(static_cast<double>(watching.elapsed()) / 1000.0);

        auto barMessages = [](const TestClient& client) {
            std::vector<std::string> bars;
            bool jumped = false;
            for (const std::string& m : client.messagesWithPending()) {
                jumped = jumped || m == waltzSelected;
                if (m == "REMOTE_SELECTED: end-of-run")
                    break;
                if (jumped && readBarMessage(m))
                    bars.push_back(m);
            }
            return bars;
        };
        const std::vector<std::string> reference = barMessages(controller);
        int inOrder = 0;
        for (const auto& watcher : watchers)
            inOrder += barMessages(*watcher) == reference ? 1 : 0;
        // The reference itself moves forward at every message.
        int backwards = 0;
        std::optional<BarPosition> previous;
        for (const std::string& m : reference) {
            const auto position = readBarMessage(m);
            if (previous &&
                !(position->bar > previous->bar ||
                  (position->bar == previous->bar && position->progress > previous->progress)))
                ++backwards;
            previous = position;
        }
        state.counters["clients"] = clientCount;
        state.counters["clients_with_every_bar_in_order"] = inOrder;
        state.counters["bar_messages_per_client"] = static_cast<double>(reference.size());
        state.counters["bar_messages_per_s"] = static_cast<double>(reference.size()) * 1000.0 /
                                               static_cast<double>(watching.elapsed());
        state.counters["positions_out_of_order"] = backwards;
    }
}
BENCHMARK(BM_FiftyWatchersAtTwentyHertz)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The bar counter's tick period as a client sees it while QLab answers every script
// state.range(0) milliseconds late (the simulated QLab's latency), for 30 s of playback
// (CARVO_BENCH_LATENCY_SECONDS shortens it); with the jump's own time and the process's threads
// and memory at the start and the end.
void BM_TickPeriodWithQLabLatency(benchmark::State& state) {
    const char* configured = std::getenv("CARVO_BENCH_LATENCY_SECONDS");
    const int playSeconds = configured ? std::max(1, std::atoi(configured)) : 30;
    const auto latencyMs = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QByteArray workspace = demoWorkspace();
        workspace.replace("\"running\": true",
                          "\"running\": true, \"latencyMs\": " + QByteArray::number(latencyMs));
        CarvoInstance carvo;
        QString problem;
        if (!carvo.start(workspace, {}, &problem)) {
            state.SkipWithError(problem.toStdString().c_str());
            return;
        }
        TestClient client;
        client.connectTo(carvo.port());
        client.send(waltzSelection);
        client.waitForMessage(waltzSelection, answerMs);
        const std::size_t from = client.messages().size();
        QElapsedTimer timer;
        timer.start();
        client.send("BAR_REQUEST: 1");
        if (!client.waitForMatch([](const std::string& m) { return m == waltzSelected; }, answerMs,
                                 from)) {
            state.SkipWithError("no \"QLAB_SELECTED: \"");
            return;
        }
        const double jumpMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        waitUntil([] { return false; }, 1000);
        const auto early = footprintOf(carvo.processId());
        waitUntil([] { return false; }, (playSeconds - 1) * 1000);
        const auto late = footprintOf(carvo.processId());
        state.SetIterationTime(static_cast<double>(timer.elapsed()) / 1000.0);

        std::vector<double> periods;
        std::optional<qint64> previous;
        const auto& messages = client.messages();
        const auto& arrivals = client.arrivalTimes();
        for (std::size_t i = from; i < messages.size() && i < arrivals.size(); ++i) {
            if (!readBarMessage(messages[i]))
                continue;
            if (previous)
                periods.push_back(static_cast<double>(arrivals[i] - *previous));
            previous = arrivals[i];
        }
        if (periods.size() < 2) {
            state.SkipWithError("too few \"BAR: \" messages");
            return;
        }
        state.counters["jump_ms"] = jumpMs;
        state.counters["ticks"] = static_cast<double>(periods.size() + 1);
        state.counters["period_p1_ms"] = percentile(periods, 0.01);
        state.counters["period_p50_ms"] = percentile(periods, 0.5);
        state.counters["period_p99_ms"] = percentile(periods, 0.99);
        state.counters["period_max_ms"] = percentile(periods, 1.0);
        if (early && late) {
            state.counters["threads_start"] = early->threads;
            state.counters["threads_end"] = late->threads;
            state.counters["rss_growth_kib"] =
                static_cast<double>(late->residentKiB - early->residentKiB);
        }
    }
}
BENCHMARK(BM_TickPeriodWithQLabLatency)
    ->Arg(40)
    ->Arg(120)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return carvo::bench::runQtBenchmarks(argc, argv);
}
