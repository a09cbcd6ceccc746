#pragma once
// The runner contract: run AppleScript text synchronously and hand back the error information
// (or none) and the result descriptor (or none). Implemented by the osascript runner (macOS), the
// simulated QLab (elsewhere) and the transcript decorator. Every runner is safe to call from the
// main thread and from pool threads at the same time.

#include <memory>
#include <optional>

#include <QList>
#include <QString>

namespace carvo {

// A result descriptor: its text form (absent for lists, records and missing value) and, for
// lists and records, its items in order.
struct ScriptDescriptor {
    std::optional<QString> text;
    QList<ScriptDescriptor> items;
    bool isList = false;

    static ScriptDescriptor fromText(const QString& value) { return {value, {}, false}; }
    static ScriptDescriptor list(QList<ScriptDescriptor> values) {
        return {std::nullopt, std::move(values), true};
    }
    friend bool operator==(const ScriptDescriptor&, const ScriptDescriptor&) = default;
};

struct ScriptError {
    QString description;
    friend bool operator==(const ScriptError&, const ScriptError&) = default;
};

struct ScriptOutcome {
    std::optional<ScriptError> error;
    std::optional<ScriptDescriptor> result;

    // The result's text form, absent when there is no result or it has none.
    std::optional<QString> resultText() const { return result ? result->text : std::nullopt; }
};

class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // Whether a script object can be made from source (the text compiles).
    virtual bool canCreate(const QString& source) {
        (void)source;
        return true;
    }
    // Runs source to its end, including any dialog or delay in it.
    virtual ScriptOutcome run(const QString& source) = 0;
    virtual bool isApplicationRunning(const QString& bundleIdentifier) = 0;
};

// -ss style text of a descriptor ("text" quoted with escapes, {lists, in, braces}, bare
// otherwise), as the transcript and error messages show it.
QString describe(const ScriptDescriptor& descriptor);

} // namespace carvo
