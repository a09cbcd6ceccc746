#pragma once
// Meta event payloads of a track.

#include "bytes/owned_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace carvo::smf {

// Appends value as a variable-length quantity: 7 bits a byte, most significant group first.
void appendVariableLength(std::vector<std::uint8_t>& bytes, std::uint32_t value);

struct SequenceNumber {
    std::uint16_t sequence = 0; // 0...32767
    friend bool operator==(const SequenceNumber&, const SequenceNumber&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct Text {
    enum class EventType : std::uint8_t {
        text = 0x01,
        copyright = 0x02,
        trackOrSequenceName = 0x03,
        instrumentName = 0x04,
        lyric = 0x05,
        marker = 0x06,
        cuePoint = 0x07,
        programName = 0x08,
        deviceName = 0x09,
    };
    EventType textType = EventType::text;
    bytes::OwnedText text; // UTF-8
    friend bool operator==(const Text&, const Text&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

std::string description(Text::EventType type); // "lyric", "track or sequence name", ...

struct ChannelPrefix {
    std::uint8_t channel = 0; // 4-bit
    friend bool operator==(const ChannelPrefix&, const ChannelPrefix&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct PortPrefix {
    std::uint8_t port = 0; // 7-bit
    friend bool operator==(const PortPrefix&, const PortPrefix&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct Tempo {
    double bpm = 120.0; // 3.58 ... 60000000
    friend bool operator==(const Tempo&, const Tempo&) = default;
    // The stored microseconds per quarter note, rounded and kept within the 24-bit field.
    std::uint32_t microsecondsPerQuarter() const;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

// Bits 5 and 6 of the SMPTE offset's hours byte.
enum class SMPTEOffsetFrameRate : std::uint8_t { fps24 = 0, fps25 = 1, fps29_97d = 2, fps30 = 3 };

std::string description(SMPTEOffsetFrameRate rate);      // "25fps"
std::string debugDescription(SMPTEOffsetFrameRate rate); // "SMPTEOffsetFrameRate(25fps)"

struct SMPTEOffset {
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t frames = 0;
    std::uint8_t subframes = 0;
    SMPTEOffsetFrameRate frameRate = SMPTEOffsetFrameRate::fps24;
    friend bool operator==(const SMPTEOffset&, const SMPTEOffset&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct TimeSignature {
    std::uint8_t numerator = 4;
    std::uint8_t denominator = 2; // the exponent as stored: 2 means a quarter-note beat
    std::uint8_t midiClocksBetweenMetronomeClicks = 24;
    std::uint8_t numberOf32ndNotesInAQuarterNote = 8;
    friend bool operator==(const TimeSignature&, const TimeSignature&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct KeySignature {
    std::int8_t flatsOrSharps = 0; // -7...7, negative for flats
    bool majorKey = true;
    friend bool operator==(const KeySignature&, const KeySignature&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct XMFPatchTypePrefix {
    enum class PatchSet : std::uint8_t { generalMIDI1 = 1, generalMIDI2 = 2, DLS = 3 };
    PatchSet patchSet = PatchSet::generalMIDI1;
    friend bool operator==(const XMFPatchTypePrefix&, const XMFPatchTypePrefix&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct SequencerSpecific {
    bytes::OwnedBytes data;
    friend bool operator==(const SequencerSpecific&, const SequencerSpecific&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

struct UnrecognizedMeta {
    std::uint8_t metaType = 0;
    bytes::OwnedBytes data;
    friend bool operator==(const UnrecognizedMeta&, const UnrecognizedMeta&) = default;
    std::vector<std::uint8_t> rawBytes() const;
    std::string description() const;
};

} // namespace carvo::smf
