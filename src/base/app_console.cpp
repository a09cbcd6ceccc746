#include "base/app_console.h"

#include <QCoreApplication>
#include <QThread>

namespace carvo {

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
