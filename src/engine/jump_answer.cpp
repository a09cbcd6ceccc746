#include "engine/jump_answer.h"

#include "base/numbers.h"
#include "bytes/utf8.h"

namespace carvo {
namespace {

using bytes::CodePoint;

// The code point at pos; a byte that begins none counts as itself, so trimming stops there.
CodePoint decodeAt(std::string_view text, std::size_t pos) {
    return bytes::decodeUTF8(text, pos).value_or(
        CodePoint{static_cast<unsigned char>(text[pos]), 1});
}

CodePoint decodeLast(std::string_view text) {
    std::size_t start = text.size() - 1;
    for (std::size_t back = 0; back < 3 && start > 0; ++back) {
        if ((static_cast<unsigned char>(text[start]) & 0xC0U) != 0x80U)
            break;
        --start;
    }
    const CodePoint point = decodeAt(text, start);
    if (start + point.length != text.size())
        return {static_cast<unsigned char>(text.back()), 1};
    return point;
}

// Unicode general category Zs, and the tab.
bool isSpaceOrTab(char32_t c) {
    return c == U'\t' || c == U' ' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

bool isWhiteSpaceOrLineBreak(char32_t c) {
    return isSpaceOrTab(c) || (c >= 0x000A && c <= 0x000D) || c == 0x0085 || c == 0x2028 ||
           c == 0x2029;
}

template <typename Predicate> std::string_view trimWith(std::string_view text, Predicate trims) {
    while (!text.empty()) {
        const CodePoint first = decodeAt(text, 0);
        if (!trims(first.value))
            break;
        text.remove_prefix(first.length);
    }
    while (!text.empty()) {
        const CodePoint last = decodeLast(text);
        if (!trims(last.value))
            break;
        text.remove_suffix(last.length);
    }
    return text;
}

std::optional<MemoAnswer> readMemo(const std::vector<std::string_view>& pieces) {
    const auto bar = parseStrictInt64(trimSpacesAndTabs(pieces[0]));
    const auto tempo = parseStrictFloat(trimWhiteSpaceAndLineBreaks(pieces[1]));
    const auto numerator = parseStrictInt64(trimWhiteSpaceAndLineBreaks(pieces[2]));
    const auto denominator = parseStrictInt64(trimWhiteSpaceAndLineBreaks(pieces[3]));
    const auto offset = parseStrictInt64(trimWhiteSpaceAndLineBreaks(pieces[4]));
    if (!bar || !tempo || !numerator || !denominator || !offset)
        return std::nullopt;
    return MemoAnswer{*bar,         *tempo,  *numerator,
                      *denominator, *offset, std::string(trimWhiteSpaceAndLineBreaks(pieces[5]))};
}

std::optional<MIDIAnswer> readMIDI(const std::vector<std::string_view>& pieces) {
    const auto bar = parseStrictInt64(trimSpacesAndTabs(pieces[1]));
    const auto offset = parseStrictInt64(trimWhiteSpaceAndLineBreaks(pieces[2]));
    if (!bar || !offset)
        return std::nullopt;
    return MIDIAnswer{std::string(trimSpacesAndTabs(pieces[0])), *bar, *offset,
                      std::string(trimWhiteSpaceAndLineBreaks(pieces[3]))};
}

} // namespace

std::vector<std::string_view> splitAnswerPieces(std::string_view answer) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= answer.size()) {
        std::size_t comma = answer.find(',', start);
        if (comma == std::string_view::npos)
            comma = answer.size();
        if (comma > start)
            pieces.push_back(answer.substr(start, comma - start));
        start = comma + 1;
    }
    return pieces;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    return trimWith(text, isSpaceOrTab);
}

std::string_view trimWhiteSpaceAndLineBreaks(std::string_view text) {
    return trimWith(text, isWhiteSpaceOrLineBreak);
}

std::optional<JumpAnswer> parseJumpAnswer(std::string_view answer) {
    const auto pieces = splitAnswerPieces(answer);
    if (pieces.size() == 6) {
        if (auto memo = readMemo(pieces))
            return JumpAnswer{std::move(*memo)};
    } else if (pieces.size() == 4) {
        if (auto midi = readMIDI(pieces))
            return JumpAnswer{std::move(*midi)};
    }
    return std::nullopt;
}

} // namespace carvo
