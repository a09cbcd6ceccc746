#pragma once
// Recognising the scripts Carvo sends, for the simulated QLab that has to answer them: a script
// read back against its template, with the values that were spliced into it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qlab/scripts.h"

namespace carvo::sim {

// The inverse of scripts::splice: when script is exactly the template with values spliced in, the
// values as they were before splicing (string literals unescaped); otherwise none. A name used
// twice must carry the same value both times.
std::optional<scripts::SplicedValues> matchTemplate(std::string_view templateText,
                                                    std::string_view script);

// The unique IDs of a panic script, in order; none when script is not one.
std::optional<std::vector<std::string>> matchPanic(std::string_view script);

// The text of the AppleScript string literal that starts right after `prefix` in script
// (unescaped), e.g. the script source a Script cue creation script assigns; none when absent or
// unterminated.
std::optional<std::string> stringLiteralAfter(std::string_view script, std::string_view prefix);

} // namespace carvo::sim
