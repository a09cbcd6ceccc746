#pragma once
// MIDI 1.0 channel voice and system exclusive payloads, as track decoding fills them.

#include "bytes/owned_bytes.h"
#include "midi/rejection.h"

#include <algorithm>
#include <array>
#include <compare>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace carvo::midi {

struct NoteOff {
    std::uint8_t note = 0;
    std::uint8_t velocity = 0; // 7-bit
    std::uint8_t channel = 0;  // 4-bit
    std::uint8_t group = 0;
    friend bool operator==(const NoteOff&, const NoteOff&) = default;
};

struct NoteOn {
    std::uint8_t note = 0;
    std::uint8_t velocity = 0; // 0 stays a note-on
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const NoteOn&, const NoteOn&) = default;
};

// Polyphonic key pressure.
struct NotePressure {
    std::uint8_t note = 0;
    std::uint8_t amount = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const NotePressure&, const NotePressure&) = default;
};

struct CC {
    std::uint8_t controller = 0;
    std::uint8_t value = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const CC&, const CC&) = default;
};

struct ProgramChange {
    std::uint8_t program = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const ProgramChange&, const ProgramChange&) = default;
};

// Channel pressure (aftertouch).
struct Pressure {
    std::uint8_t amount = 0;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const Pressure&, const Pressure&) = default;
};

struct PitchBend {
    std::uint16_t value = 8192; // 14-bit: MSB * 128 + LSB
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const PitchBend&, const PitchBend&) = default;
};

// ---- The channel voice kinds in one table --------------------------------------------------
// Each row gives a kind's status nibble, its name in text, the reason a data byte above 127 is
// refused (one per data byte, in message order) and the fields shown in text, in message order.
// Decoding, encoding and text are written once for all rows below. Every field but pitch bend's
// is one data byte; pitch bend's 14-bit value takes both, least significant first.

template <class P, class Field> struct ShownField {
    Field P::*field;
    std::string_view label;
};
template <class P, class Field> ShownField(Field P::*, std::string_view) -> ShownField<P, Field>;

template <class P> struct ChannelVoice;

template <> struct ChannelVoice<NoteOff> {
    static constexpr std::uint8_t nibble = 0x8;
    static constexpr std::string_view name = "Note Off";
    static constexpr std::array refusals{RejectReason::noteNumberOutOfBounds,
                                         RejectReason::noteVelocityOutOfBounds};
    static constexpr std::array fields{ShownField{&NoteOff::note, "note"},
                                       ShownField{&NoteOff::velocity, "vel"}};
};
template <> struct ChannelVoice<NoteOn> {
    static constexpr std::uint8_t nibble = 0x9;
    static constexpr std::string_view name = "Note On";
    static constexpr std::array refusals{RejectReason::noteNumberOutOfBounds,
                                         RejectReason::noteVelocityOutOfBounds};
    static constexpr std::array fields{ShownField{&NoteOn::note, "note"},
                                       ShownField{&NoteOn::velocity, "vel"}};
};
template <> struct ChannelVoice<NotePressure> {
    static constexpr std::uint8_t nibble = 0xA;
    static constexpr std::string_view name = "Note Pressure";
    static constexpr std::array refusals{RejectReason::noteNumberOutOfBounds,
                                         RejectReason::notePressureOutOfBounds};
    static constexpr std::array fields{ShownField{&NotePressure::note, "note"},
                                       ShownField{&NotePressure::amount, "amount"}};
};
template <> struct ChannelVoice<CC> {
    static constexpr std::uint8_t nibble = 0xB;
    static constexpr std::string_view name = "CC";
    static constexpr std::array refusals{RejectReason::ccNumberOutOfBounds,
                                         RejectReason::ccValueOutOfBounds};
    static constexpr std::array fields{ShownField{&CC::controller, "controller"},
                                       ShownField{&CC::value, "value"}};
};
template <> struct ChannelVoice<ProgramChange> {
    static constexpr std::uint8_t nibble = 0xC;
    static constexpr std::string_view name = "Program Change";
    static constexpr std::array refusals{RejectReason::programOutOfBounds};
    static constexpr std::array fields{ShownField{&ProgramChange::program, "program"}};
};
template <> struct ChannelVoice<Pressure> {
    static constexpr std::uint8_t nibble = 0xD;
    static constexpr std::string_view name = "Channel Pressure";
    static constexpr std::array refusals{RejectReason::channelPressureOutOfBounds};
    static constexpr std::array fields{ShownField{&Pressure::amount, "amount"}};
};
template <> struct ChannelVoice<PitchBend> {
    static constexpr std::uint8_t nibble = 0xE;
    static constexpr std::string_view name = "Pitch Bend";
    static constexpr std::array refusals{RejectReason::pitchBendLSBOutOfBounds,
                                         RejectReason::pitchBendMSBOutOfBounds};
    static constexpr std::array fields{ShownField{&PitchBend::value, "value"}};
};

template <class P>
concept ChannelVoiceKind = requires {
    ChannelVoice<P>::nibble;
};

// The number of data bytes after the status byte.
template <ChannelVoiceKind P>
constexpr std::size_t dataByteCount = ChannelVoice<P>::refusals.size();

// The payload of a message on channel whose data bytes (second unused by one-byte kinds) are all
// within 0...127.
template <ChannelVoiceKind P>
constexpr P channelMessage(std::uint8_t first, std::uint8_t second, std::uint8_t channel) {
    P payload{};
    if constexpr (std::is_same_v<P, PitchBend>) {
        payload.value = static_cast<std::uint16_t>(second * 128 + first);
    } else {
        constexpr auto& fields = ChannelVoice<P>::fields;
        constexpr auto firstField = fields[0].field;
        payload.*firstField = first;
        if constexpr (fields.size() == 2) {
            constexpr auto secondField = fields[1].field;
            payload.*secondField = second;
        }
    }
    payload.channel = channel;
    return payload;
}

namespace detail {
std::string channelMessageText(std::string_view name, std::uint8_t channel,
                               std::initializer_list<std::pair<std::string_view, unsigned>> fields);
} // namespace detail

// The message: status byte, then the data bytes.
template <ChannelVoiceKind P> std::vector<std::uint8_t> rawBytes(const P& payload) {
    const auto status =
        static_cast<std::uint8_t>(ChannelVoice<P>::nibble << 4 | (payload.channel & 0x0F));
    if constexpr (std::is_same_v<P, PitchBend>) {
        return {status, static_cast<std::uint8_t>(payload.value & 0x7F),
                static_cast<std::uint8_t>((payload.value >> 7) & 0x7F)};
    } else {
        std::vector<std::uint8_t> bytes{status};
        for (const auto& shown : ChannelVoice<P>::fields)
            bytes.push_back(payload.*shown.field);
        return bytes;
    }
}

// E.g. "Note On ch 1 note 60 vel 100"; channels are shown as musicians count them, from 1.
template <ChannelVoiceKind P> std::string description(const P& payload) {
    constexpr auto& fields = ChannelVoice<P>::fields;
    if constexpr (fields.size() == 2)
        return detail::channelMessageText(ChannelVoice<P>::name, payload.channel,
                                          {{fields[0].label, payload.*fields[0].field},
                                           {fields[1].label, payload.*fields[1].field}});
    else
        return detail::channelMessageText(ChannelVoice<P>::name, payload.channel,
                                          {{fields[0].label, payload.*fields[0].field}});
}

// ---- Parameter numbers ---------------------------------------------------------------------

// A registered or non-registered parameter number with its data entry values.
struct ParameterNumber {
    std::uint8_t msb = 0;
    std::uint8_t lsb = 0;
    friend bool operator==(const ParameterNumber&, const ParameterNumber&) = default;
    std::uint16_t number() const { return static_cast<std::uint16_t>(msb * 128 + lsb); }
};

// A run of control changes that sets a parameter number (controllers msbController and
// lsbController), then its data entry MSB (controller 6) and, optionally, LSB (controller 38).
// Registered and non-registered numbers differ only in those two controllers and their name.
template <bool registered> struct ParameterMessage {
    static constexpr std::uint8_t msbController = registered ? 101 : 99;
    static constexpr std::uint8_t lsbController = registered ? 100 : 98;

    ParameterNumber parameter;
    std::uint8_t dataEntryMSB = 0;
    std::optional<std::uint8_t> dataEntryLSB;
    std::uint8_t channel = 0;
    std::uint8_t group = 0;
    friend bool operator==(const ParameterMessage&, const ParameterMessage&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

using RPN = ParameterMessage<true>;
using NRPN = ParameterMessage<false>;

// A manufacturer's identifier: one byte, or 0x00 and two more.
class ManufacturerID {
public:
    ManufacturerID() = default;
    // Takes the first one to three bytes.
    explicit ManufacturerID(std::span<const std::uint8_t> id);
    ManufacturerID(std::initializer_list<std::uint8_t> id)
        : ManufacturerID(std::span<const std::uint8_t>(id.begin(), id.size())) {}

    std::span<const std::uint8_t> view() const { return {m_bytes.data(), m_length}; }

    friend bool operator==(const ManufacturerID&, const ManufacturerID&) = default;
    friend bool operator==(const ManufacturerID& a, const std::vector<std::uint8_t>& b) {
        return a.m_length == b.size() && std::equal(b.begin(), b.end(), a.m_bytes.begin());
    }

private:
    std::array<std::uint8_t, 3> m_bytes{};
    std::uint8_t m_length = 0;
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
