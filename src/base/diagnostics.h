#pragma once
// The two channels of report every Qt module writes to: diagnostic lines on standard output and
// lines for the operator, which go to standard output and the console.

#include <QString>

#include "base/lines.h"

namespace carvo {

// Writes text as UTF-8 and a line feed to standard output, whole, from any thread.
void writeLine(const QString& text);

// A line for the operator: standard output and the console (AppConsole).
void consoleLine(const QString& text);

} // namespace carvo
