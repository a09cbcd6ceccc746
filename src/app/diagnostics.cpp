#include "app/diagnostics.h"

#include <cstdio>
#include <mutex>

#include "app/app_console.h"

namespace carvo {
namespace {

std::mutex& outputMutex() {
    static std::mutex mutex;
    return mutex;
}

LineObserver& observer() {
    static LineObserver current;
    return current;
}

} // namespace

void writeLine(std::string_view text) {
    std::lock_guard lock(outputMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (observer())
        observer()(std::string(text));
}

void writeLine(const QString& text) {
    writeLine(std::string_view(text.toStdString()));
}

void consoleLine(const QString& text) {
    writeLine(text);
    AppConsole::shared().log(text);
}

ScopedLineObserver::ScopedLineObserver(LineObserver lineObserver) {
    std::lock_guard lock(outputMutex());
    observer() = std::move(lineObserver);
}

ScopedLineObserver::~ScopedLineObserver() {
    std::lock_guard lock(outputMutex());
    observer() = nullptr;
}

} // namespace carvo
