#include "base/numbers.h"

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

#include <locale.h>

namespace carvo {
namespace {

template <typename Float> std::string shortestDecimalOf(Float value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

    // Large enough for every fixed-notation float and double (up to 309 integer digits).
    char buffer[400];
    const bool tiny = value != 0 && std::fabs(value) < Float(0.0001);
    const auto format = tiny ? std::chars_format::scientific : std::chars_format::fixed;
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    if (ec != std::errc())
        return "nan"; // cannot happen with this buffer size
    std::string text(buffer, end);
    if (!tiny && text.find('.') == std::string::npos)
        text += ".0";
    return text;
}

} // namespace

std::string shortestDecimal(double value) {
    return shortestDecimalOf(value);
}
std::string shortestDecimal(float value) {
    return shortestDecimalOf(value);
}

std::optional<std::int64_t> parseStrictInt64(std::string_view text) {
    std::size_t pos = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size())
        return std::nullopt;
    // Accumulate as a negative number so that the most negative value fits.
    std::int64_t value = 0;
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (value < (min + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min)
            return std::nullopt;
        value = -value;
    }
    return value;
}

namespace {

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The white space strtof would skip before a number; refused here.
bool startsWithSpace(std::string_view text) {
    return !text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0;
}

template <typename T, typename Convert>
std::optional<T> parseWhole(std::string_view text, Convert convert) {
    if (text.empty() || startsWithSpace(text))
        return std::nullopt;
    // The conversion wants a terminated string; an embedded NUL then leaves text unconsumed.
    const std::string terminated(text);
    const char* begin = terminated.c_str();
    char* end = nullptr;
    const T value = convert(begin, &end, cLocale());
    if (end != begin + terminated.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<float> parseStrictFloat(std::string_view text) {
    return parseWhole<float>(text, strtof_l);
}

std::optional<double> parseStrictDouble(std::string_view text) {
    return parseWhole<double>(text, strtod_l);
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    const auto value = parseStrictInt64(text);
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

} // namespace carvo
