#include "smf/decode_error.h"

#include <array>
#include <cstddef>

namespace carvo::smf {

namespace {
struct CaseText {
    const char* name;        // the plain text of a case without payload
    const char* description; // the error description; malformed adds its message
};

// By case.
constexpr std::array<CaseText, 5> caseTexts{{
    {"malformed", "Malformed: "},
    {"fileNotFound", "File not found."},
    {"malformedURL", "Malformed URL."},
    {"fileReadError", "File read error."},
    {"notImplemented", "Not implemented."},
}};

const CaseText* textOf(DecodeError::Case kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < caseTexts.size() ? &caseTexts[index] : nullptr;
}
} // namespace

DecodeError::DecodeError(Case kind, std::string message)
    : kind_(kind), message_(std::move(message)) {
    description_ = errorDescription();
}

std::string DecodeError::errorDescription() const {
    const CaseText* text = textOf(kind_);
    if (!text)
        return {};
    return kind_ == Case::malformed ? text->description + message_ : text->description;
}

std::string DecodeError::plainText() const {
    const CaseText* text = textOf(kind_);
    if (!text)
        return {};
    return kind_ == Case::malformed ? std::string(text->name) + "(\"" + message_ + "\")"
                                    : text->name;
}

} // namespace carvo::smf
