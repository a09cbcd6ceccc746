#pragma once
// The main window's "floating" level where the platform has levels of its own. On macOS Qt's
// stay-on-top hint is not the floating level (it sets a higher one), so the level is set on the
// native window; elsewhere the hint is all there is.

class QWindow;

namespace carvo::platform {

// True on macOS with Qt's Cocoa platform: use setFloatingLevel instead of
// Qt::WindowStaysOnTopHint.
bool hasNativeWindowLevels();

// The floating level when floating, the normal level otherwise. Call only where
// hasNativeWindowLevels() is true; elsewhere it does nothing. Main thread; creates the native
// window if it has none yet.
void setFloatingLevel(QWindow& window, bool floating);

} // namespace carvo::platform
