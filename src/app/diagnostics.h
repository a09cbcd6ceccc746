#pragma once
// Diagnostic lines on standard output: one line per message, never shown to the operator.

#include <functional>
#include <string>
#include <string_view>

#include <QString>

namespace carvo {

// Writes text and a line feed to standard output, whole, from any thread.
void writeLine(std::string_view text);
void writeLine(const QString& text);

// A line for the operator: standard output and the console (AppConsole).
void consoleLine(const QString& text);

// Tests watch standard output through an observer; at most one at a time.
using LineObserver = std::function<void(const std::string& line)>;
class ScopedLineObserver {
public:
    explicit ScopedLineObserver(LineObserver observer);
    ~ScopedLineObserver();
    ScopedLineObserver(const ScopedLineObserver&) = delete;
    ScopedLineObserver& operator=(const ScopedLineObserver&) = delete;
};

} // namespace carvo
