#include "base/lines.h"

#include <cstdio>
#include <mutex>

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

void writeText(Stream stream, std::string_view text) {
    std::FILE* file = stream == Stream::output ? stdout : stderr;
    std::lock_guard lock(outputMutex());
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
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
