#pragma once
// Which runner a Carvo process uses: osascript where AppleScript exists (macOS), the simulated
// QLab with a workspace file elsewhere; optionally wrapped in the --script-log transcript.

#include <memory>

#include <QString>

#include "qlab/script_runner.h"

namespace carvo {
namespace sim {
class SimulatedQLab;
}

struct RunnerOptions {
    QString workspaceFile; // simulated QLab only
    QString scriptLogFile; // empty: no transcript
};

// The runner for these options, or none with a reason (an unreadable workspace file).
std::shared_ptr<ScriptRunner> makeScriptRunner(const RunnerOptions& options, QString* problem);

// The simulated QLab behind the installed runner (through a transcript), or none; the window
// uses it to answer the simulation's dialogs itself.
std::shared_ptr<sim::SimulatedQLab> installedSimulatedQLab();

} // namespace carvo
