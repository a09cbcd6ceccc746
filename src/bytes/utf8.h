#pragma once
// UTF-8 validation shared by the MIDI file reader (text events) and the remote protocol.

#include <cstdint>
#include <span>

namespace carvo::bytes {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequences.
bool isValidUtf8(std::span<const std::uint8_t> bytes);

} // namespace carvo::bytes
