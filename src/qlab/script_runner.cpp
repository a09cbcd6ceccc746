#include "qlab/script_runner.h"

#include <mutex>

namespace carvo {
namespace {

std::mutex& runnerMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<ScriptRunner>& installedRunner() {
    static std::shared_ptr<ScriptRunner> runner;
    return runner;
}

QString quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

} // namespace

void setScriptRunner(std::shared_ptr<ScriptRunner> runner) {
    std::lock_guard lock(runnerMutex());
    installedRunner() = std::move(runner);
}

std::shared_ptr<ScriptRunner> scriptRunner() {
    std::lock_guard lock(runnerMutex());
    return installedRunner();
}

QString describe(const ScriptDescriptor& descriptor) {
    if (descriptor.isList || !descriptor.items.isEmpty()) {
        QStringList parts;
        for (const auto& item : descriptor.items)
            parts << describe(item);
        return u'{' + parts.join(QStringLiteral(", ")) + u'}';
    }
    if (!descriptor.text)
        return QStringLiteral("missing value");
    return quoted(*descriptor.text);
}

} // namespace carvo
