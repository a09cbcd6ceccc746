#pragma once
// Diagnostic lines on standard output: one line per message, never shown to the operator; and
// what the command-line tools print. Plain C++, so the MIDI reader's tools and the tempo map
// write through the same writer as the Qt modules.

#include <functional>
#include <string>
#include <string_view>

namespace carvo {

// Writes text and a line feed to standard output in one piece, from any thread: lines written
// at once by several threads never interleave.
void writeLine(std::string_view text);

enum class Stream { output, error };
// Writes text as it stands (no line feed added) to standard output or standard error, in one
// piece and flushed, from any thread.
void writeText(Stream stream, std::string_view text);

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
