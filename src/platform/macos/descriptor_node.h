#pragma once
// The shape of an AppleScript result as the mapping needs it: its kind, its text form and its
// items. The in-process runner wraps NSAppleEventDescriptor in it; tests build trees by hand.
// Standard C++ only, so the Objective-C++ side includes it without Qt.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace carvo::macos {

class DescriptorNode {
public:
    enum class Kind {
        list,         // items in order, no text form of its own
        record,       // its values in order; the keys are of no use to Carvo
        boolean,      // true or false, read with booleanValue()
        missingValue, // AppleScript's missing value, or no value at all
        other,        // text, numbers, constants: whatever text() gives
    };

    virtual ~DescriptorNode() = default;
    virtual Kind kind() const = 0;
    virtual bool booleanValue() const = 0;
    // The text form in UTF-8, absent when the value has none.
    virtual std::optional<std::string> text() const = 0;
    virtual std::size_t itemCount() const = 0;
    // index counts from 0; none when the item cannot be read.
    virtual std::unique_ptr<DescriptorNode> item(std::size_t index) const = 0;
};

// The error dictionary's entries that Carvo reports.
struct NativeScriptError {
    std::optional<std::string> message;      // NSAppleScriptErrorMessage
    std::optional<std::string> briefMessage; // NSAppleScriptErrorBriefMessage
    std::optional<long> number;              // NSAppleScriptErrorNumber
};

} // namespace carvo::macos
