#pragma once
// Reading QLab's answer to the get-files script: the memo form (six pieces) or the MIDI form
// (four pieces). Pure C++ so the rules can be tested on their own; the text is UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace carvo {

// Bar numbers are the score's own numbering; they become bar indexes only with the offset.
using BarNumber = std::int64_t;

struct MemoAnswer {
    BarNumber barNumber = 0;
    float tempo = 0.0F;
    std::int64_t numerator = 0;
    std::int64_t denominator = 0;
    BarNumber offset = 0;
    std::string uniqueID;
};

struct MIDIAnswer {
    std::string filePath;
    BarNumber barNumber = 0;
    BarNumber offset = 0;
    std::string uniqueID;
};

using JumpAnswer = std::variant<MemoAnswer, MIDIAnswer>;

// The pieces between commas, with empty pieces dropped.
std::vector<std::string_view> splitAnswerPieces(std::string_view answer);

// Trims Unicode space separators and tab from both ends.
std::string_view trimSpacesAndTabs(std::string_view text);
// Trims space separators, tab, line and paragraph separators and the line-break controls.
std::string_view trimWhiteSpaceAndLineBreaks(std::string_view text);

// The taken answer, or none when the piece count is wrong or a piece does not read.
std::optional<JumpAnswer> parseJumpAnswer(std::string_view answer);

} // namespace carvo
