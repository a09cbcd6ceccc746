#include "app/runner_setup.h"

#include "qlab/osascript_runner.h"
#include "qlab/script_log.h"

namespace carvo {

std::optional<RunnerChoice> makeScriptRunner(const RunnerOptions& options, QString* problem) {
    RunnerChoice choice;
#ifdef Q_OS_MACOS
    (void)problem;
    choice.runner = std::make_shared<OsascriptRunner>();
#else
    auto workspace = sim::loadWorkspaceFile(options.workspaceFile, problem);
    if (!workspace)
        return std::nullopt;
    if (options.latencyMs)
        workspace->latencyMs = *options.latencyMs;
    if (options.hang)
        workspace->hang = options.hang;
    choice.simulated = std::make_shared<sim::SimulatedQLab>(std::move(*workspace));
    choice.runner = choice.simulated;
#endif
    if (!options.scriptLogFile.isEmpty())
        choice.runner =
            std::make_shared<ScriptLogRunner>(std::move(choice.runner), options.scriptLogFile);
    return choice;
}

} // namespace carvo
