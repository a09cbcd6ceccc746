#pragma once
// The Apple-event receiver of the scripting commands: while one exists, "run Carvo" and
// "chase Carvo" reach its ScriptingCommands, the same entry the D-Bus receiver uses elsewhere.

#include <QVariantMap>

#include "platform/macos/command_entry.h"

namespace carvo {

class ScriptingCommands;

namespace macos {

class AppleEventReceiver {
public:
    explicit AppleEventReceiver(ScriptingCommands& commands);
    ~AppleEventReceiver();
    AppleEventReceiver(const AppleEventReceiver&) = delete;
    AppleEventReceiver& operator=(const AppleEventReceiver&) = delete;
};

// The chase command's arguments as ScriptingCommands reads them: "cueId" as text only when
// Cocoa delivered text, so a number or a missing parameter meets the "no cue ID" rule.
QVariantMap chaseArguments(const ChaseCueId& cueId);

} // namespace macos
} // namespace carvo
