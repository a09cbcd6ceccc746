#include "midi/events.h"

#include <cstdio>

namespace carvo::midi {

namespace {
std::uint8_t status(std::uint8_t nibble, std::uint8_t channel) {
    return static_cast<std::uint8_t>((nibble << 4) | (channel & 0x0F));
}

// Channels are shown as musicians count them, from 1.
std::string channelText(std::uint8_t channel) {
    return "ch " + std::to_string(channel + 1);
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
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
    std::vector<std::uint8_t> bytes{
        cc, msbController, parameter.msb, cc, lsbController, parameter.lsb, cc, 6, dataMSB};
    if (dataLSB) {
        bytes.insert(bytes.end(), {cc, 38, *dataLSB});
    }
    return bytes;
}

std::string parameterText(const char* kind, const ParameterNumber& parameter, std::uint8_t dataMSB,
                          std::optional<std::uint8_t> dataLSB, std::uint8_t channel) {
    std::string text = std::string(kind) + " " + channelText(channel) + " param " +
                       std::to_string(parameter.msb) + ":" + std::to_string(parameter.lsb) +
                       " data " + std::to_string(dataMSB);
    if (dataLSB)
        text += ":" + std::to_string(*dataLSB);
    return text;
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

std::vector<std::uint8_t> SysEx7::rawBytes() const {
    std::vector<std::uint8_t> bytes{0xF0};
    bytes.insert(bytes.end(), manufacturer.begin(), manufacturer.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(0xF7);
    return bytes;
}
std::string SysEx7::description() const {
    return "SysEx manufacturer " + hexBytes(manufacturer) + ", " + std::to_string(data.size()) +
           " data bytes";
}

std::vector<std::uint8_t> UniversalSysEx7::rawBytes() const {
    std::vector<std::uint8_t> bytes{0xF0, static_cast<std::uint8_t>(universalType), deviceID,
                                    subID1, subID2};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(0xF7);
    return bytes;
}
std::string UniversalSysEx7::description() const {
    return std::string("Universal SysEx ") +
           (universalType == UniversalType::realTime ? "real-time" : "non-real-time") + " device " +
           hexBytes({deviceID}) + " sub-IDs " + hexBytes({subID1, subID2}) + ", " +
           std::to_string(data.size()) + " data bytes";
}

} // namespace carvo::midi
