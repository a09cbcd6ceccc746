#pragma once
// Number texts that QLab, remote clients and operators see. Pure C++, no Qt.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace carvo {

// The shortest decimal text that reads back to the same value at the value's own precision,
// always with a fractional part ("0.0", "2.0", "93.75", "0.3333333333333333"); magnitudes below
// 0.0001 other than zero take exponent form ("5e-05"); "nan", "inf" and "-inf" otherwise.
std::string shortestDecimal(double value);
std::string shortestDecimal(float value);

// A whole number as operators and QLab write it: an optional single '+' or '-', then one or more
// ASCII digits and nothing else, within the signed 64-bit range. Leading zeros are allowed.
std::optional<std::int64_t> parseStrictInt64(std::string_view text);

// A number read by strtof (strtod) rules in the C locale: decimal or hexadecimal, an optional
// exponent, the words for infinity and not-a-number. The whole text must be consumed, and text
// that begins with white space is not a number.
std::optional<float> parseStrictFloat(std::string_view text);
std::optional<double> parseStrictDouble(std::string_view text);

// A TCP port as an operator types it: plain digits from 1 to 65535, no sign.
std::optional<std::uint16_t> parsePort(std::string_view text);

} // namespace carvo
