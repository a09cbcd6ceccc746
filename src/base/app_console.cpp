#include "base/app_console.h"

#include <atomic>

#include <QCoreApplication>
#include <QThread>

#include "base/lines.h"

namespace carvo {

namespace {
std::atomic<bool> mirroredToStandardOutput{false};
} // namespace

void AppConsole::setMirroredToStandardOutput(bool mirrored) {
    mirroredToStandardOutput.store(mirrored);
}

bool AppConsole::isMirroredToStandardOutput() {
    return mirroredToStandardOutput.load();
}

AppConsole::AppConsole() {
    // Whoever touches the console first, its changes belong to the main thread.
    if (auto* app = QCoreApplication::instance(); app && thread() != app->thread())
        moveToThread(app->thread());
}

AppConsole& AppConsole::shared() {
    static AppConsole* console = new AppConsole; // lives until the process ends
    return *console;
}

void AppConsole::log(const QString& message) {
    if (isMirroredToStandardOutput())
        writeLine(std::string_view(message.toStdString()));
    // Posted events from one thread are delivered in order, which keeps each thread's lines in
    // order.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            m_logText += message;
            m_logText += QLatin1Char('\n');
            emit logTextChanged();
        },
        Qt::QueuedConnection);
}

} // namespace carvo
