// The native window's level. Qt's stay-on-top hint sets a level above the floating one, so the
// main window takes AppKit's levels directly.

#import <AppKit/AppKit.h>

#include "platform/macos/native_window.h"

namespace carvo::macos {

void setWindowLevel(void* nativeView, int level) {
    NSView* view = static_cast<NSView*>(nativeView);
    NSWindow* window = [view window];
    if (window)
        [window setLevel:static_cast<NSInteger>(level)];
}

} // namespace carvo::macos
