#include "base/diagnostics.h"

#include "base/app_console.h"

namespace carvo {

void writeLine(const QString& text) {
    writeLine(std::string_view(text.toStdString()));
}

void consoleLine(const QString& text) {
    writeLine(text);
    AppConsole::shared().log(text);
}

} // namespace carvo
