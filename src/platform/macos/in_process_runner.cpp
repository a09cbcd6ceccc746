#include "platform/macos/in_process_runner.h"

#include "base/text.h"
#include "platform/macos/descriptor_mapping.h"
#include "platform/macos/native_applescript.h"

namespace carvo::macos {

bool InProcessRunner::canCreate(const QString& source) {
    return canCreateAppleScript(toUtf8(source));
}

ScriptOutcome InProcessRunner::run(const QString& source) {
    ScriptOutcome outcome;
    const bool created = runAppleScript(
        toUtf8(source), [&outcome](const DescriptorNode* result, const NativeScriptError* error) {
            if (error)
                outcome.error = toScriptError(*error);
            if (result)
                outcome.result = toScriptDescriptor(*result);
        });
    if (!created)
        outcome.error = ScriptError{QStringLiteral("NSAppleScript made no script from the text")};
    return outcome;
}

bool InProcessRunner::isApplicationRunning(const QString& bundleIdentifier) {
    return macos::isApplicationRunning(toUtf8(bundleIdentifier));
}

} // namespace carvo::macos
