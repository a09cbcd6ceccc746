#include "midi/events.h"

#include "bytes/hex.h"

#include <algorithm>
#include <array>
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

namespace detail {
std::string
channelMessageText(std::string_view name, std::uint8_t channel,
                   std::initializer_list<std::pair<std::string_view, unsigned>> fields) {
    std::string text(name);
    text += ' ';
    text += channelText(channel);
    for (const auto& [label, value] : fields) {
        text += ' ';
        text += label;
        text += ' ';
        text += std::to_string(value);
    }
    return text;
}
} // namespace detail

template <bool registered>
std::vector<std::uint8_t> ParameterMessage<registered>::rawBytes() const {
    return ccRun(channel, msbController, lsbController, parameter, dataEntryMSB, dataEntryLSB);
}
template <bool registered> std::string ParameterMessage<registered>::description() const {
    return parameterText(registered ? "RPN" : "NRPN", parameter, dataEntryMSB, dataEntryLSB,
                         channel);
}
template struct ParameterMessage<true>;
template struct ParameterMessage<false>;

ManufacturerID::ManufacturerID(std::span<const std::uint8_t> id)
    : m_length(static_cast<std::uint8_t>(std::min<std::size_t>(id.size(), 3))) {
    std::copy_n(id.begin(), m_length, m_bytes.begin());
}

std::vector<std::uint8_t> SysEx7::rawBytes() const {
    return sysExBytes({}, manufacturer.view(), data.view());
}
std::string SysEx7::description() const {
    return "SysEx manufacturer " + bytes::hexBytes(manufacturer.view()) + ", " +
           std::to_string(data.size()) + " data bytes";
}

std::vector<std::uint8_t> UniversalSysEx7::rawBytes() const {
    return sysExBytes({static_cast<std::uint8_t>(universalType), deviceID, subID1, subID2}, {},
                      data.view());
}
std::string UniversalSysEx7::description() const {
    return std::string("Universal SysEx ") +
           (universalType == UniversalType::realTime ? "real-time" : "non-real-time") + " device " +
           bytes::hexBytes(std::array<std::uint8_t, 1>{deviceID}) + " sub-IDs " +
           bytes::hexBytes(std::array<std::uint8_t, 2>{subID1, subID2}) + ", " +
           std::to_string(data.size()) + " data bytes";
}

} // namespace carvo::midi
