#include "smf/decode_error.h"

#include <array>
#include <cstddef>
#include <ostream>

namespace carvo::smf {

namespace {
struct CaseText {
    const char* name;        // the plain text of a case without payload
    const char* description; // the error description; malformed adds its message
};

// By case; `unreadable` shows the platform's text instead.
constexpr std::array<CaseText, 6> caseTexts{{
    {"malformed", "Malformed: "},
    {"fileNotFound", "File not found."},
    {"malformedURL", "Malformed URL."},
    {"fileReadError", "File read error."},
    {"notImplemented", "Not implemented."},
    {"unreadable", ""},
}};

const CaseText* textOf(DecodeError::Case kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < caseTexts.size() ? &caseTexts[index] : nullptr;
}

// By part.
constexpr std::array<const char*, 4> partNames{"chunk header", "chunk length", "track data blob",
                                               "track data"};
} // namespace

DecodeError::DecodeError(Case kind, std::string message)
    : m_kind(kind), m_message(std::move(message)) {
    m_description = errorDescription();
}

DecodeError DecodeError::in(Context context) && {
    // Placed twice would say the place twice; the first place is where the problem is.
    if (m_context)
        return std::move(*this);
    m_context = context;
    if (m_kind == Case::malformed) {
        const auto part = static_cast<std::size_t>(context.part);
        std::string placed = "There was a problem reading ";
        placed += part < partNames.size() ? partNames[part] : "data";
        placed += " at byte offset " + std::to_string(context.byteOffset);
        if (context.track)
            placed += " for track " + std::to_string(*context.track);
        placed += ". ";
        m_message = placed + m_message;
        m_description = errorDescription();
    }
    return std::move(*this);
}

std::string DecodeError::errorDescription() const {
    if (m_kind == Case::unreadable)
        return m_message;
    const CaseText* text = textOf(m_kind);
    if (!text)
        return {};
    return m_kind == Case::malformed ? text->description + m_message : text->description;
}

std::string DecodeError::plainText() const {
    if (m_kind == Case::unreadable)
        return m_message;
    const CaseText* text = textOf(m_kind);
    if (!text)
        return {};
    return m_kind == Case::malformed ? std::string(text->name) + "(\"" + m_message + "\")"
                                     : text->name;
}

std::ostream& operator<<(std::ostream& stream, const DecodeError& error) {
    return stream << error.plainText();
}

void raise(const DecodeError& error) {
    if (error.kind() == DecodeError::Case::unreadable)
        throw FileReadError(error.code(), error.message());
    throw error;
}

} // namespace carvo::smf
