#pragma once
// MIDI 1.0 channel voice and system exclusive payloads, as track decoding fills them.

#include "bytes/owned_bytes.h"

#include <algorithm>
#include <array>
#include <compare>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carvo::midi {

struct NoteOff {
    std::uint8_t note = 0;
    std::uint8_t velocity = 0; // 7-bit
    std::uint8_t channel = 0;  // 4-bit
    std::uint8_t group = 0;
    friend bool operator==(const NoteOff&, const NoteOff&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct NoteOn {
    std::uint8_t note = 0;
    std::uint8_t velocity = 0; // 0 stays a note-on
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const NoteOn&, const NoteOn&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

// Polyphonic key pressure.
struct NotePressure {
    std::uint8_t note = 0;
    std::uint8_t amount = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const NotePressure&, const NotePressure&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct CC {
    std::uint8_t controller = 0;
    std::uint8_t value = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const CC&, const CC&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct ProgramChange {
    std::uint8_t program = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const ProgramChange&, const ProgramChange&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

// Channel pressure (aftertouch).
struct Pressure {
    std::uint8_t amount = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const Pressure&, const Pressure&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct PitchBend {
    std::uint16_t value = 8192; // 14-bit: MSB * 128 + LSB
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const PitchBend&, const PitchBend&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

// A registered or non-registered parameter number with its data entry values.
struct ParameterNumber {
    std::uint8_t msb = 0;
    std::uint8_t lsb = 0;
    friend bool operator==(const ParameterNumber&, const ParameterNumber&) = default;
    std::uint16_t number() const { return static_cast<std::uint16_t>(msb * 128 + lsb); }
};

struct RPN {
    ParameterNumber parameter;
    std::uint8_t dataEntryMSB = 0;
    std::optional<std::uint8_t> dataEntryLSB;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const RPN&, const RPN&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct NRPN {
    ParameterNumber parameter;
    std::uint8_t dataEntryMSB = 0;
    std::optional<std::uint8_t> dataEntryLSB;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const NRPN&, const NRPN&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

// A manufacturer's identifier: one byte, or 0x00 and two more.
class ManufacturerID {
public:
    ManufacturerID() = default;
    // Takes the first one to three bytes.
    explicit ManufacturerID(std::span<const std::uint8_t> id);
    ManufacturerID(std::initializer_list<std::uint8_t> id)
        : ManufacturerID(std::span<const std::uint8_t>(id.begin(), id.size())) {}

    std::span<const std::uint8_t> view() const { return {bytes_.data(), length_}; }
    std::size_t size() const { return length_; }

    friend bool operator==(const ManufacturerID&, const ManufacturerID&) = default;
    friend bool operator==(const ManufacturerID& a, const std::vector<std::uint8_t>& b) {
        return a.length_ == b.size() && std::equal(b.begin(), b.end(), a.bytes_.begin());
    }

private:
    std::array<std::uint8_t, 3> bytes_{};
    std::uint8_t length_ = 0;
};

// A manufacturer's system exclusive message.
struct SysEx7 {
    ManufacturerID manufacturer;
    std::uint8_t group = 0;
    bytes::OwnedBytes data; // between the identifier and the closing F7
    friend bool operator==(const SysEx7&, const SysEx7&) = default;
    std::vector<std::uint8_t> rawBytes() const; // F0, identifier, data, F7
    std::string description() const;
};

enum class UniversalType : std::uint8_t { nonRealTime = 0x7E, realTime = 0x7F };

struct UniversalSysEx7 {
    UniversalType universalType = UniversalType::nonRealTime;
    std::uint8_t deviceID = 0x7F;
    std::uint8_t subID1 = 0;
    std::uint8_t subID2 = 0;
    std::uint8_t group = 0;
    bytes::OwnedBytes data; // after the sub-IDs, before the closing F7
    friend bool operator==(const UniversalSysEx7&, const UniversalSysEx7&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

} // namespace carvo::midi
