// The cost of one script run in process and through osascript, and of the running check that
// the status check makes before every jump from the window. Needs no QLab: the scripts only ask
// whether it runs. Apple events to QLab itself add QLab's own time to both alike.

#include <benchmark/benchmark.h>

#include "platform/macos/in_process_runner.h"
#include "qlab/osascript_runner.h"

namespace {

const QString qlabRunning =
    QStringLiteral("return application id \"com.figure53.QLab.5\" is running");

template <typename Runner> void runScript(benchmark::State& state) {
    Runner runner;
    for (auto _ : state) {
        auto outcome = runner.run(qlabRunning);
        benchmark::DoNotOptimize(outcome);
    }
}

template <typename Runner> void isQLabRunning(benchmark::State& state) {
    Runner runner;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            runner.isApplicationRunning(QStringLiteral("com.figure53.QLab.5")));
}

BENCHMARK(runScript<carvo::macos::InProcessRunner>)->Unit(benchmark::kMillisecond);
BENCHMARK(runScript<carvo::OsascriptRunner>)->Unit(benchmark::kMillisecond);
BENCHMARK(isQLabRunning<carvo::macos::InProcessRunner>)->Unit(benchmark::kMicrosecond);
BENCHMARK(isQLabRunning<carvo::OsascriptRunner>)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
