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
    : m_kind(kind), m_message(std::move(message)) {
    m_description = errorDescription();
}

std::string DecodeError::errorDescription() const {
    const CaseText* text = textOf(m_kind);
    if (!text)
        return {};
    return m_kind == Case::malformed ? text->description + m_message : text->description;
}

std::string DecodeError::plainText() const {
    const CaseText* text = textOf(m_kind);
    if (!text)
        return {};
    return m_kind == Case::malformed ? std::string(text->name) + "(\"" + m_message + "\")"
                                     : text->name;
}

} // namespace carvo::smf
