#pragma once
// AppKit window levels behind standard C++.

namespace carvo::macos {

// NSFloatingWindowLevel and NSNormalWindowLevel on macOS.
constexpr int floatingWindowLevel = 3;
constexpr int normalWindowLevel = 0;

// nativeView is the NSView that QWindow::winId() gives; its window takes the level.
void setWindowLevel(void* nativeView, int level);

} // namespace carvo::macos
