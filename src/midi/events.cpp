#include "midi/events.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>

namespace carvo::midi {

namespace {
std::uint8_t status(std::uint8_t nibble, std::uint8_t channel) {
    return static_cast<std::uint8_t>((nibble << 4) | (channel & 0x0F));
}

// Channels are shown as musicians count them, from 1.
std::string channelText(std::uint8_t channel) {
    return "ch " + std::to_string(channel + 1);
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    char part[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(part, sizeof part, "%02X", byte);
        if (!text.empty())
            text += ' ';
        text += part;
    }
    return text;
}

std::vector<std::uint8_t> ccRun(std::uint8_t channel, std::uint8_t msbController,
                                std::uint8_t lsbController, const ParameterNumber& parameter,
                                std::uint8_t dataMSB, std::optional<std::uint8_t> dataLSB) {
    const std::uint8_t cc = status(0xB, channel);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(12);
    const auto message = [&](std::uint8_t controller, std::uint8_t value) {
        bytes.push_back(cc);
        bytes.push_back(controller);
        bytes.push_back(value);
    };
    message(msbController, parameter.msb);
    message(lsbController, parameter.lsb);
    message(6, dataMSB);
    if (dataLSB)
        message(38, *dataLSB);
    return bytes;
}

std::string parameterText(const char* kind, const ParameterNumber& parameter, std::uint8_t dataMSB,
                          std::optional<std::uint8_t> dataLSB, std::uint8_t channel) {
    std::string text(kind);
    text += ' ';
    text += channelText(channel);
    text += " param ";
    text += std::to_string(parameter.msb);
    text += ':';
    text += std::to_string(parameter.lsb);
    text += " data ";
    text += std::to_string(dataMSB);
    if (dataLSB) {
        text += ':';
        text += std::to_string(*dataLSB);
    }
    return text;
}

// Start byte, the given leading bytes, the data, and the closing F7.
std::vector<std::uint8_t> sysExBytes(std::initializer_list<std::uint8_t> lead,
                                     std::span<const std::uint8_t> first,
                                     std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(lead.size() + first.size() + data.size() + 2);
    bytes.push_back(0xF0);
    for (const std::uint8_t byte : lead)
        bytes.push_back(byte);
    for (const std::uint8_t byte : first)
        bytes.push_back(byte);
    for (const std::uint8_t byte : data)
        bytes.push_back(byte);
    bytes.push_back(0xF7);
    return bytes;
}
} // namespace

std::vector<std::uint8_t> NoteOff::rawBytes() const {
    return {status(0x8, channel), note, velocity};
}
std::string NoteOff::description() const {
    return "Note Off " + channelText(channel) + " note " + std::to_string(note) + " vel " +
           std::to_string(velocity);
}

std::vector<std::uint8_t> NoteOn::rawBytes() const {
    return {status(0x9, channel), note, velocity};
}
std::string NoteOn::description() const {
    return "Note On " + channelText(channel) + " note " + std::to_string(note) + " vel " +
           std::to_string(velocity);
}

std::vector<std::uint8_t> NotePressure::rawBytes() const {
    return {status(0xA, channel), note, amount};
}
std::string NotePressure::description() const {
    return "Note Pressure " + channelText(channel) + " note " + std::to_string(note) + " amount " +
           std::to_string(amount);
}

std::vector<std::uint8_t> CC::rawBytes() const {
    return {status(0xB, channel), controller, value};
}
std::string CC::description() const {
    return "CC " + channelText(channel) + " controller " + std::to_string(controller) + " value " +
           std::to_string(value);
}

std::vector<std::uint8_t> ProgramChange::rawBytes() const {
    return {status(0xC, channel), program};
}
std::string ProgramChange::description() const {
    return "Program Change " + channelText(channel) + " program " + std::to_string(program);
}

std::vector<std::uint8_t> Pressure::rawBytes() const {
    return {status(0xD, channel), amount};
}
std::string Pressure::description() const {
    return "Channel Pressure " + channelText(channel) + " amount " + std::to_string(amount);
}

std::vector<std::uint8_t> PitchBend::rawBytes() const {
    return {status(0xE, channel), static_cast<std::uint8_t>(value & 0x7F),
            static_cast<std::uint8_t>((value >> 7) & 0x7F)};
}
std::string PitchBend::description() const {
    return "Pitch Bend " + channelText(channel) + " value " + std::to_string(value);
}

std::vector<std::uint8_t> RPN::rawBytes() const {
    return ccRun(channel, 101, 100, parameter, dataEntryMSB, dataEntryLSB);
}
std::string RPN::description() const {
    return parameterText("RPN", parameter, dataEntryMSB, dataEntryLSB, channel);
}

std::vector<std::uint8_t> NRPN::rawBytes() const {
    return ccRun(channel, 99, 98, parameter, dataEntryMSB, dataEntryLSB);
}
std::string NRPN::description() const {
    return parameterText("NRPN", parameter, dataEntryMSB, dataEntryLSB, channel);
}

ManufacturerID::ManufacturerID(std::span<const std::uint8_t> id)
    : length_(static_cast<std::uint8_t>(std::min<std::size_t>(id.size(), 3))) {
    std::copy_n(id.begin(), length_, bytes_.begin());
}

std::vector<std::uint8_t> SysEx7::rawBytes() const {
    return sysExBytes({}, manufacturer.view(), data.view());
}
std::string SysEx7::description() const {
    return "SysEx manufacturer " + hexBytes(manufacturer.view()) + ", " +
           std::to_string(data.size()) + " data bytes";
}

std::vector<std::uint8_t> UniversalSysEx7::rawBytes() const {
    return sysExBytes({static_cast<std::uint8_t>(universalType), deviceID, subID1, subID2}, {},
                      data.view());
}
std::string UniversalSysEx7::description() const {
    return std::string("Universal SysEx ") +
           (universalType == UniversalType::realTime ? "real-time" : "non-real-time") + " device " +
           hexBytes(std::array<std::uint8_t, 1>{deviceID}) + " sub-IDs " +
           hexBytes(std::array<std::uint8_t, 2>{subID1, subID2}) + ", " +
           std::to_string(data.size()) + " data bytes";
}

} // namespace carvo::midi
