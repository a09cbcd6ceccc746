#pragma once
// Bytes and numbers as uppercase hexadecimal text, for the reader's messages and descriptions.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace carvo::bytes {

// "0x3C": 0x and two digits.
std::string hexByte(std::uint8_t byte);

// "0x1F": 0x and the digits, without leading zeros ("0x0" for zero).
std::string hexNumber(std::uint64_t value);

// Two digits a byte, each after prefix, separated by single spaces: "F0 7E" with no prefix,
// "0xF0 0x7E" with "0x".
std::string hexBytes(std::span<const std::uint8_t> bytes, std::string_view prefix = {});

} // namespace carvo::bytes
