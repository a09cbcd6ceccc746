#include "smf/meta_events.h"

#include "bytes/hex.h"

#include "smf/time_base.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>

namespace carvo::smf {

void appendVariableLength(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    std::uint8_t groups[5];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        bytes.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    bytes.push_back(groups[0]);
}

namespace {
// Meta events with a body: FF, type, length as a variable-length quantity, body.
std::vector<std::uint8_t> metaBytes(std::uint8_t type, const std::uint8_t* body,
                                    std::size_t length) {
    std::vector<std::uint8_t> bytes{0xFF, type};
    appendVariableLength(bytes, static_cast<std::uint32_t>(length));
    bytes.insert(bytes.end(), body, body + length);
    return bytes;
}

std::vector<std::uint8_t> metaBytes(std::uint8_t type, const bytes::OwnedBytes& body) {
    return metaBytes(type, body.data(), body.size());
}

std::string twoDigits(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", value);
    return text;
}
} // namespace

std::vector<std::uint8_t> SequenceNumber::rawBytes() const {
    return {0xFF, 0x00, 0x02, static_cast<std::uint8_t>(sequence >> 8),
            static_cast<std::uint8_t>(sequence & 0xFF)};
}
std::string SequenceNumber::description() const {
    return "Sequence Number " + std::to_string(sequence);
}

std::string description(Text::EventType type) {
    // By type byte, from 0x01.
    static constexpr std::array<const char*, 9> names{
        "Text",   "Copyright", "Track or Sequence Name", "Instrument Name", "Lyric",
        "Marker", "Cue Point", "Program Name",           "Device Name"};
    const auto index = static_cast<std::size_t>(type) - 1;
    return index < names.size() ? names[index] : "Text";
}

std::vector<std::uint8_t> Text::rawBytes() const {
    return metaBytes(static_cast<std::uint8_t>(textType),
                     reinterpret_cast<const std::uint8_t*>(text.view().data()), text.size());
}
std::string Text::description() const {
    return smf::description(textType) + ": \"" + text.str() + "\"";
}

std::vector<std::uint8_t> ChannelPrefix::rawBytes() const {
    return {0xFF, 0x20, 0x01, channel};
}
std::string ChannelPrefix::description() const {
    return "Channel Prefix " + std::to_string(channel);
}

std::vector<std::uint8_t> PortPrefix::rawBytes() const {
    return {0xFF, 0x21, 0x01, port};
}
std::string PortPrefix::description() const {
    return "Port Prefix " + std::to_string(port);
}

std::uint32_t Tempo::microsecondsPerQuarter() const {
    if (!(bpm > 0.0))
        return 0xFFFFFF;
    const double micros = std::round(60000000.0 / bpm);
    return static_cast<std::uint32_t>(std::clamp(micros, 1.0, static_cast<double>(0xFFFFFF)));
}
std::vector<std::uint8_t> Tempo::rawBytes() const {
    const std::uint32_t micros = microsecondsPerQuarter();
    return {0xFF,
            0x51,
            0x03,
            static_cast<std::uint8_t>(micros >> 16),
            static_cast<std::uint8_t>((micros >> 8) & 0xFF),
            static_cast<std::uint8_t>(micros & 0xFF)};
}
std::string Tempo::description() const {
    char text[48];
    std::snprintf(text, sizeof text, "Tempo %.6g bpm", bpm);
    return text;
}

std::string description(SMPTEOffsetFrameRate rate) {
    // The same four rates as a timecode time base's, in the order of their two bits.
    static constexpr std::array<FrameRate, 4> rates{FrameRate::fps24, FrameRate::fps25,
                                                    FrameRate::fps29_97d, FrameRate::fps30};
    const auto index = static_cast<std::size_t>(rate);
    return index < rates.size() ? description(rates[index]) : "?fps";
}
std::string debugDescription(SMPTEOffsetFrameRate rate) {
    return "SMPTEOffsetFrameRate(" + description(rate) + ")";
}

std::vector<std::uint8_t> SMPTEOffset::rawBytes() const {
    const auto hourByte =
        static_cast<std::uint8_t>((static_cast<unsigned>(frameRate) << 5) | (hours & 0x1F));
    return {0xFF, 0x54, 0x05, hourByte, minutes, seconds, frames, subframes};
}
std::string SMPTEOffset::description() const {
    return "SMPTE Offset " + twoDigits(hours) + ":" + twoDigits(minutes) + ":" +
           twoDigits(seconds) + ":" + twoDigits(frames) + "." + twoDigits(subframes) + " @ " +
           smf::description(frameRate);
}

std::vector<std::uint8_t> TimeSignature::rawBytes() const {
    return {0xFF,
            0x58,
            0x04,
            numerator,
            denominator,
            midiClocksBetweenMetronomeClicks,
            numberOf32ndNotesInAQuarterNote};
}
std::string TimeSignature::description() const {
    // The denominator is stored as a power of two; an exponent too large to show stays as is.
    const std::string below =
        denominator < 32 ? std::to_string(1ULL << denominator) : "2^" + std::to_string(denominator);
    return "Time Signature " + std::to_string(numerator) + "/" + below + ", " +
           std::to_string(midiClocksBetweenMetronomeClicks) + " clocks per click, " +
           std::to_string(numberOf32ndNotesInAQuarterNote) + " 32nds per quarter";
}

std::vector<std::uint8_t> KeySignature::rawBytes() const {
    return {0xFF, 0x59, 0x02, static_cast<std::uint8_t>(flatsOrSharps),
            static_cast<std::uint8_t>(majorKey ? 0 : 1)};
}
std::string KeySignature::description() const {
    const int count = flatsOrSharps < 0 ? -flatsOrSharps : flatsOrSharps;
    const std::string accidentals =
        flatsOrSharps == 0 ? "no sharps or flats"
                           : std::to_string(count) + (flatsOrSharps < 0 ? " flat" : " sharp") +
                                 (count == 1 ? "" : "s");
    return "Key Signature " + accidentals + ", " + (majorKey ? "major" : "minor");
}

std::vector<std::uint8_t> XMFPatchTypePrefix::rawBytes() const {
    return {0xFF, 0x60, 0x01, static_cast<std::uint8_t>(patchSet)};
}
std::string XMFPatchTypePrefix::description() const {
    // By patch set, from 1.
    static constexpr std::array<const char*, 3> sets{"General MIDI 1", "General MIDI 2", "DLS"};
    const auto index = static_cast<std::size_t>(patchSet) - 1;
    return index < sets.size() ? std::string("XMF Patch Type Prefix ") + sets[index]
                               : "XMF Patch Type Prefix";
}

std::vector<std::uint8_t> SequencerSpecific::rawBytes() const {
    return metaBytes(0x7F, data);
}
std::string SequencerSpecific::description() const {
    return "Sequencer Specific, " + std::to_string(data.size()) + " bytes";
}

std::vector<std::uint8_t> UnrecognizedMeta::rawBytes() const {
    return metaBytes(metaType, data);
}
std::string UnrecognizedMeta::description() const {
    return "Unrecognized Meta type " + bytes::hexByte(metaType) + ", " +
           std::to_string(data.size()) + " bytes";
}

} // namespace carvo::smf
