#pragma once
// From what NSAppleScript hands back to the runner contract's values. Plain C++ over
// DescriptorNode, built on every platform so that it is tested where there is no AppleScript.

#include "platform/macos/descriptor_node.h"
#include "qlab/script_runner.h"

namespace carvo::macos {

// Lists and records item by item (a list's own text form says nothing of its items), Booleans
// as "true" or "false", missing value without text, everything else by its text form.
ScriptDescriptor toScriptDescriptor(const DescriptorNode& node);

// The message of the error dictionary with its number, as the error lines show it.
ScriptError toScriptError(const NativeScriptError& error);

} // namespace carvo::macos
