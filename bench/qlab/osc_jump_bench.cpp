// One remote jump over QLab's OSC interface, from the client's bar request to the moment QLab
// receives the start message, on loopback against the simulated QLab answering each message
// 1 ms late. Everything but the simulated QLab runs on the main thread, as in carvo. The jump
// waits for three rounds of answers: the group (with its running state) and its cues together,
// the tempo cue, and the load with the start behind it; so the floor is three replies' delay.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include "app/shared_objects.h"
#include "base/settings.h"
#include "qlab/osc/osc_backend.h"
#include "qlab/sim/osc_server.h"
#include "qlab/sim/simulated_qlab.h"
#include "qlab/sim/workspace.h"
#include "support/qt_benchmark.h"

namespace {

// The benchmark's own settings, never the user's.
carvo::Settings& benchSettings() {
    static QTemporaryDir folder;
    static carvo::Settings settings(folder.path());
    return settings;
}

using SteadyClock = std::chrono::steady_clock;

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

void BM_OSCJumpFromBarRequestToStart(benchmark::State& state) {
    QString problem;
    auto workspace =
        carvo::sim::loadWorkspaceFile(QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), &problem);
    if (!workspace) {
        state.SkipWithError(problem.toStdString().c_str());
        return;
    }
    workspace->latencyMs = 1.0;
    auto qlab = std::make_shared<carvo::sim::SimulatedQLab>(std::move(*workspace));

    // The simulated QLab on a thread of its own, as a QLab on another machine would be.
    QThread qlabThread;
    auto* server = new carvo::sim::OSCServer(qlab);
    server->moveToThread(&qlabThread);
    QObject::connect(&qlabThread, &QThread::finished, server, &QObject::deleteLater);
    qlabThread.start();
    std::atomic<SteadyClock::rep> startedAt{0};
    QObject::connect(
        server, &carvo::sim::OSCServer::messageReceived, server,
        [&startedAt](const QString& line) {
            if (line.endsWith(QStringLiteral("/start")))
                startedAt = SteadyClock::now().time_since_epoch().count();
        },
        Qt::DirectConnection);
    quint16 port = 0;
    QMetaObject::invokeMethod(
        server,
        [&] {
            server->listen(QHostAddress::LocalHost, 0);
            port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);

    carvo::osc::ClientSettings settings;
    settings.port = port;
    auto client = std::make_shared<carvo::osc::Client>(settings);
    client->start();
    if (!waitFor([&] { return client->isConnected(); }, 5000)) {
        state.SkipWithError("no OSC session with the simulated QLab");
    } else {
        carvo::SharedObjects objects(std::make_shared<carvo::osc::OSCBackend>(client),
                                     benchSettings());
        auto actions = objects.protocolActions();
        actions.selectCue(QStringLiteral("D-GROUP-WALTZ"));
        for (auto _ : state) {
            startedAt = 0;
            const auto before = SteadyClock::now();
            actions.jumpToBar(2);
            if (!waitFor([&] { return startedAt.load() != 0; }, 5000)) {
                state.SkipWithError("the start message never reached QLab");
                break;
            }
            const SteadyClock::time_point started{SteadyClock::duration(startedAt.load())};
            state.SetIterationTime(std::chrono::duration<double>(started - before).count());
            // Stopped again, so the next jump is not refused as already running; and a pause past
            // the client's repeat window and its margin, so this jump's questions do not wait for
            // their twins from the last one (which a show's jumps, seconds apart, never do).
            client->request("/cue_id/D-GROUP-WALTZ/stop");
            objects.counter().stopBarCounter(false);
            waitFor([] { return false; }, 400);
        }
    }
    client.reset();
    qlabThread.quit();
    qlabThread.wait();
}
BENCHMARK(BM_OSCJumpFromBarRequestToStart)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    return carvo::bench::runQtBenchmarks(argc, argv);
}
