#pragma once
// Which runner a Carvo process sends its scripts to: AppleScript in process where it exists
// (macOS; osascript processes on request, for comparison), the simulated QLab with a workspace
// file elsewhere; optionally wrapped in the --script-log transcript.

#include <memory>
#include <optional>

#include <QString>

#include "qlab/osc/osc_backend.h"
#include "qlab/script_runner.h"
#include "qlab/sim/simulated_qlab.h"

namespace carvo {

enum class RunnerKind {
    inProcess, // NSAppleScript in this process (macOS only)
    osascript, // one osascript process per script
    simulated, // the simulated QLab and its workspace file
};

// "in-process", "osascript" or "simulated"; none for any other text.
std::optional<RunnerKind> parseRunnerKind(const QString& text);

// In process on macOS, the simulated QLab elsewhere; the environment variable
// CARVO_SCRIPT_RUNNER, when it names a kind, wins (so a Mac runs the test suite on the simulated
// QLab).
RunnerKind defaultRunnerKind();

struct RunnerOptions {
    QString workspaceFile; // simulated QLab only
    QString scriptLogFile; // empty: no transcript
    // The simulated QLab's slowness, over what the workspace file says.
    std::optional<double> latencyMs;
    std::optional<sim::Hang> hang;
    RunnerKind kind = defaultRunnerKind();
};

struct RunnerChoice {
    std::shared_ptr<ScriptRunner> runner;
    // The simulated QLab behind the runner, if that is what answers; the window answers its
    // dialogs itself.
    std::shared_ptr<sim::SimulatedQLab> simulated;
    // Set when Carvo reaches QLab over OSC instead; the runner is then unused.
    std::shared_ptr<osc::OSCBackend> osc;

    // Who answers the bar dialog and shows refusals, where Carvo shows them itself.
    void setDialogResponder(std::shared_ptr<DialogResponder> responder) const;
};

// QLab over its OSC interface, connecting at once.
RunnerChoice makeOSCRoad(const osc::ClientSettings& client, const osc::MediaPathMap& media);

// The folder of the demo workspace and its MIDI file: beside an installed carvo
// (../share/carvo/demo from its executable), else the source tree it was built from.
QString demoFolder();

// The runner for these options, or none with a reason (an unreadable workspace file, or no
// AppleScript in process on this platform).
std::optional<RunnerChoice> makeScriptRunner(const RunnerOptions& options, QString* problem);

} // namespace carvo
