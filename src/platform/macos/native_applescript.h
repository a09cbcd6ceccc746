#pragma once
// NSAppleScript and NSRunningApplication behind standard C++, so that the runner around them
// (in_process_runner.cpp) and the descriptor mapping stay free of Objective-C.

#include <functional>
#include <string>

#include "platform/macos/descriptor_node.h"

namespace carvo::macos {

// Called while the script's result and error dictionary are still alive; either may be absent.
using ReceiveOutcome =
    std::function<void(const DescriptorNode* result, const NativeScriptError* error)>;

// Whether NSAppleScript makes a script object from source.
bool canCreateAppleScript(const std::string& source);

// One script object, created and run to its end on the calling thread inside an autorelease
// pool of its own. False, without calling receive, when no script object could be made.
bool runAppleScript(const std::string& source, const ReceiveOutcome& receive);

// Whether an application with this bundle identifier runs (NSRunningApplication).
bool isApplicationRunning(const std::string& bundleIdentifier);

} // namespace carvo::macos
