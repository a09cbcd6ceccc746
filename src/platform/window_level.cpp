#include "platform/window_level.h"

#include <QGuiApplication>
#include <QWindow>

#ifdef Q_OS_MACOS
#include "platform/macos/native_window.h"
#endif

namespace carvo::platform {

bool hasNativeWindowLevels() {
#ifdef Q_OS_MACOS
    // Only Qt's Cocoa platform makes NSWindows: under "offscreen" (the tests) a window's id is
    // no NSView.
    return QGuiApplication::platformName() == QStringLiteral("cocoa");
#else
    return false;
#endif
}

void setFloatingLevel(QWindow& window, bool floating) {
#ifdef Q_OS_MACOS
    if (!hasNativeWindowLevels())
        return;
    // On macOS a window's id is its NSView.
    macos::setWindowLevel(reinterpret_cast<void*>(window.winId()),
                          floating ? macos::floatingWindowLevel : macos::normalWindowLevel);
#else
    (void)window;
    (void)floating;
#endif
}

} // namespace carvo::platform
