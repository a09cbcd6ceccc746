#pragma once
// A simulated QLab 5 for machines without AppleScript: a ScriptRunner that recognises exactly the
// scripts Carvo sends (each template with its spliced values read back), answers them from a
// workspace model as QLab would, and keeps a clock-driven model of loaded, running and panicked
// cues. Any other script text is an error ("unsupported script"). Safe from any thread: one mutex
// guards the model, and it is released while a dialog waits or a delay passes.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "qlab/dialogs.h"
#include "qlab/script_runner.h"
#include "qlab/scripts.h"
#include "qlab/sim/workspace.h"

namespace carvo::sim {

// Seconds on a monotonic scale, and waiting on that scale (AppleScript's delay).
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() = 0;
    virtual void sleep(double seconds) = 0;
};

class SystemClock : public Clock {
public:
    double now() override;
    void sleep(double seconds) override;
};

// The dialogs a script shows are answered as Carvo's own dialogs are (qlab/dialogs.h).
using carvo::DefaultAnswerResponder;
using carvo::DialogRequest;
using carvo::DialogResponder;

class SimulatedQLab : public ScriptRunner {
public:
    explicit SimulatedQLab(
        WorkspaceFile workspace, std::shared_ptr<Clock> clock = std::make_shared<SystemClock>(),
        std::shared_ptr<DialogResponder> responder = std::make_shared<DefaultAnswerResponder>());

    ScriptOutcome run(const QString& source) override;
    // True for QLab 5's bundle identifier while the workspace file says QLab runs.
    bool isApplicationRunning(const QString& bundleIdentifier) override;

    void setDialogResponder(std::shared_ptr<DialogResponder> responder);

    // A copy of the whole model, and a change to it made under the model's lock (a hang
    // lifted there lets the scripts it held answer).
    WorkspaceFile snapshot() const;
    void change(const std::function<void(WorkspaceFile&)>& edit);
    // A look at the model under its lock, without copying it.
    void inspect(const std::function<void(const WorkspaceFile&)>& look) const;
    // The clock playback runs on, for other ways into the same model (the OSC server).
    std::shared_ptr<Clock> clock() const { return m_clock; }
    // The hang that holds answers of this kind for this cue now, if any (none once ended).
    std::optional<Hang> hangFor(ScriptKind kind, const QString& uniqueID) const;

    // Lifts every hang, now and from now on, so the process can end: scripts that waited for
    // an answer that never comes get theirs.
    void endHangs();

private:
    ScriptOutcome displayMessage(const QString& message);
    ScriptOutcome getFilesAndStartBar(const scripts::SplicedValues& values);
    ScriptOutcome cueQuestion(const QString& uniqueID, bool askElapsed);
    ScriptOutcome loadTimeAndStart(const scripts::SplicedValues& values);
    ScriptOutcome panic(const std::vector<std::string>& uniqueIDs);
    ScriptOutcome checkStatus();
    ScriptOutcome validGroupCues();
    ScriptOutcome makeScriptCue(bool carvoCue);
    std::optional<QString> ask(const DialogRequest& request);
    // The file's latency, then any hang that holds scripts of this kind for this cue.
    void actSlow(ScriptKind kind, const QString& uniqueID);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_hangsEnded = false;
    WorkspaceFile m_model;
    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<DialogResponder> m_responder;
};

} // namespace carvo::sim
