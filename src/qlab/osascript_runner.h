#pragma once
// The macOS runner: `osascript -ss -` with the script on standard input, run to its end in the
// calling thread. Its -ss output (strings quoted with escapes, lists in braces, Booleans, numbers
// and constants bare) becomes the result descriptor; a failed run becomes the error information.

#include <QString>

#include "qlab/script_runner.h"

namespace carvo {

// Parsed -ss output: no result for empty output, or a reason why the output could not be read.
struct OsascriptOutput {
    std::optional<ScriptDescriptor> result;
    std::optional<QString> problem;
};
OsascriptOutput parseOsascriptOutput(const QString& output);

class OsascriptRunner : public ScriptRunner {
public:
    // program: the osascript executable (tests pass a stand-in of their own).
    explicit OsascriptRunner(QString program = QStringLiteral("/usr/bin/osascript"),
                             int timeoutMilliseconds = -1);

    ScriptOutcome run(const QString& source) override;
    // Asked of AppleScript itself: `application id "…" is running`.
    bool isApplicationRunning(const QString& bundleIdentifier) override;

private:
    QString m_program;
    int m_timeoutMilliseconds;
};

} // namespace carvo
