#pragma once
// The macOS runner: NSAppleScript in this process, one script object per run on the calling
// thread (the main thread, or the pool thread of the bar counter's running check). No process
// start per script, which matters for the running check twenty times a second.

#include "qlab/script_runner.h"

namespace carvo::macos {

class InProcessRunner : public ScriptRunner {
public:
    bool canCreate(const QString& source) override;
    ScriptOutcome run(const QString& source) override;
    // The running applications with that bundle identifier, without running a script.
    bool isApplicationRunning(const QString& bundleIdentifier) override;
};

} // namespace carvo::macos
