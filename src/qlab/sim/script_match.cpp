#include "qlab/sim/script_match.h"

namespace carvo::sim {
namespace {

// Reads an escaped string literal's contents up to (not including) its closing quote.
// AppleScript knows \" \\ \n \r \t; anything else after a backslash does not compile.
std::optional<std::string> readLiteral(std::string_view script, std::size_t& pos) {
    std::string value;
    while (pos < script.size()) {
        const char c = script[pos];
        if (c == '"')
            return value;
        if (c == '\\') {
            if (pos + 1 >= script.size())
                return std::nullopt;
            switch (script[pos + 1]) {
            case '"':
                value += '"';
                break;
            case '\\':
                value += '\\';
                break;
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            default:
                return std::nullopt;
            }
            pos += 2;
            continue;
        }
        value += c;
        ++pos;
    }
    return std::nullopt;
}

} // namespace

std::optional<scripts::SplicedValues> matchTemplate(std::string_view templateText,
                                                    std::string_view script) {
    const auto pieces = scripts::templatePieces(templateText);
    scripts::SplicedValues values;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto& piece = pieces[i];
        if (!piece.isPlaceholder) {
            if (script.substr(pos, piece.text.size()) != piece.text)
                return std::nullopt;
            pos += piece.text.size();
            continue;
        }
        std::string value;
        if (piece.quoted) {
            auto literal = readLiteral(script, pos);
            if (!literal)
                return std::nullopt;
            value = std::move(*literal);
        } else {
            // A bare value runs up to the first place where the next literal text follows.
            const auto next = i + 1 < pieces.size() ? pieces[i + 1].text : std::string_view{};
            const auto end = next.empty() ? script.size() : script.find(next, pos);
            if (end == std::string_view::npos)
                return std::nullopt;
            value = std::string(script.substr(pos, end - pos));
            pos = end;
        }
        const auto [existing, inserted] = values.try_emplace(std::string(piece.text), value);
        if (!inserted && existing->second != value)
            return std::nullopt;
    }
    if (pos != script.size())
        return std::nullopt;
    return values;
}

std::optional<std::vector<std::string>> matchPanic(std::string_view script) {
    using namespace scripts::templates;
    if (!script.starts_with(panicHeader) || !script.ends_with(panicFooter))
        return std::nullopt;
    auto body =
        script.substr(panicHeader.size(), script.size() - panicHeader.size() - panicFooter.size());
    std::vector<std::string> ids;
    if (body.empty())
        return ids;
    // Fragments are joined by one line feed; each fragment is exactly two lines.
    const auto cuePieces = scripts::templatePieces(panicCue);
    const auto head = cuePieces.front().text; // up to the opening quote of the ID
    while (true) {
        if (!body.starts_with(head))
            return std::nullopt;
        std::size_t pos = head.size();
        auto id = readLiteral(body, pos);
        if (!id)
            return std::nullopt;
        const auto tail = cuePieces.back().text; // from the closing quote to "panic myCue"
        if (body.substr(pos, tail.size()) != tail)
            return std::nullopt;
        ids.push_back(std::move(*id));
        body.remove_prefix(pos + tail.size());
        if (body.empty())
            return ids;
        if (body.front() != '\n')
            return std::nullopt;
        body.remove_prefix(1);
    }
}

std::optional<std::string> stringLiteralAfter(std::string_view script, std::string_view prefix) {
    const auto start = script.find(prefix);
    if (start == std::string_view::npos)
        return std::nullopt;
    std::size_t pos = start + prefix.size();
    return readLiteral(script, pos);
}

} // namespace carvo::sim
