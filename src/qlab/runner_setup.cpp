#include "qlab/runner_setup.h"

#include "qlab/osascript_runner.h"
#include "qlab/script_log.h"
#include "qlab/sim/simulated_qlab.h"

namespace carvo {

std::shared_ptr<ScriptRunner> makeScriptRunner(const RunnerOptions& options, QString* problem) {
    std::shared_ptr<ScriptRunner> runner;
#ifdef Q_OS_MACOS
    (void)problem;
    runner = std::make_shared<OsascriptRunner>();
#else
    auto workspace = sim::loadWorkspaceFile(options.workspaceFile, problem);
    if (!workspace)
        return nullptr;
    runner = std::make_shared<sim::SimulatedQLab>(std::move(*workspace));
#endif
    if (!options.scriptLogFile.isEmpty())
        runner = std::make_shared<ScriptLogRunner>(std::move(runner), options.scriptLogFile);
    return runner;
}

std::shared_ptr<sim::SimulatedQLab> installedSimulatedQLab() {
    auto runner = scriptRunner();
    while (const auto logged = std::dynamic_pointer_cast<ScriptLogRunner>(runner))
        runner = logged->inner();
    return std::dynamic_pointer_cast<sim::SimulatedQLab>(runner);
}

} // namespace carvo
