#pragma once
// Diagnostic lines on standard output: one line per message, never shown to the operator.
// Plain C++, so the MIDI reader's tools and the tempo map write through the same writer.

#include <functional>
#include <string>
#include <string_view>

namespace carvo {

// Writes text and a line feed to standard output in one piece, from any thread: lines written
// at once by several threads never interleave.
void writeLine(std::string_view text);

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
