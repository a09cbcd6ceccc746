#pragma once
// The AppleScript texts Carvo sends to QLab 5. Each text is fixed; values are spliced in at the
// places marked ⟨name⟩ in the templates (see scripts.cpp). Pure C++, no Qt.
//
// A value spliced between double quotes lands inside an AppleScript string literal. Such values
// (a cue's unique ID chosen by a remote client, a message, the request source) have `\` and `"`
// escaped, so no value can end the literal and run AppleScript of its own.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace carvo::scripts {

// `\` and `"` preceded by a backslash: the text reads back unchanged from a string literal.
std::string escapeForStringLiteral(std::string_view text);

// The jump scripts.
std::string displayMessage(std::string_view message);
std::string getFilesAndStartBar(std::int64_t lastBar, std::string_view requestSource,
                                std::int64_t barNumber, std::string_view uniqueID);
std::string isCueRunning(std::string_view uniqueID);
std::string isCueElapsedOverOneSecond(std::string_view uniqueID);
std::string loadTimeAndStart(std::string_view uniqueID, float barTime, bool standby,
                             double preWait);
std::string panic(const std::vector<std::string>& uniqueIDs);

// The status, catalogue and Script cue creation scripts (no values spliced).
std::string_view checkStatus();
std::string_view validGroupCues();
std::string_view resetCarvoCue();
std::string_view makeChaseCue();

// The templates. Placeholders are ⟨name⟩; one directly after a double quote is an escaped string
// value.
namespace templates {
extern const std::string_view displayMessage;
extern const std::string_view getFilesAndStartBar;
extern const std::string_view isCueRunning;
extern const std::string_view isCueElapsedOverOneSecond;
extern const std::string_view loadTimeAndStart;
extern const std::string_view panicHeader;
extern const std::string_view panicCue;
extern const std::string_view panicFooter;
} // namespace templates

// One piece of a template: literal text, or a placeholder's name (quoted when it sits in a
// string literal, i.e. right after a double quote).
struct TemplatePiece {
    std::string_view text;
    bool isPlaceholder = false;
    bool quoted = false;
};

// A template cut into its pieces, in order; what splices values in, and what reads them back.
std::vector<TemplatePiece> templatePieces(std::string_view templateText);

using SplicedValues = std::map<std::string, std::string, std::less<>>;

// Fills every ⟨name⟩ of the template with its value, escaping those inside string literals.
// A placeholder without a value is left as it stands.
std::string splice(std::string_view templateText, const SplicedValues& values);

} // namespace carvo::scripts
