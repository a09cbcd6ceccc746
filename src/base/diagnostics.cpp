#include "base/diagnostics.h"

#include "base/app_console.h"

namespace carvo {

void writeLine(const QString& text) {
    writeLine(std::string_view(text.toStdString()));
}

void consoleLine(const QString& text) {
    // A mirrored console writes the line itself: once, not twice.
    if (!AppConsole::isMirroredToStandardOutput())
        writeLine(text);
    AppConsole::shared().log(text);
}

} // namespace carvo
