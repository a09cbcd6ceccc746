#pragma once
// One decoded track event: its delta time and its payload.

#include "midi/events.h"
#include "smf/delta_time.h"
#include "smf/meta_events.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace carvo::smf {

// The numbering used inside the system.
enum class MIDIFileEventType : std::uint8_t {
    cc,
    channelPrefix,
    keySignature,
    noteOff,
    noteOn,
    notePressure,
    pitchBend,
    portPrefix,
    pressure,
    programChange,
    rpn,
    nrpn,
    sequenceNumber,
    sequencerSpecific,
    smpteOffset,
    sysEx7,
    tempo,
    text,
    timeSignature,
    universalSysEx7,
    unrecognizedMeta,
    xmfPatchTypePrefix,
};

// The case name, e.g. "noteOn".
std::string_view name(MIDIFileEventType type);

// One alternative per event kind, in the order of the event cases (universalSysEx7 right after
// sysEx7).
using Payload = std::variant<midi::CC, ChannelPrefix, KeySignature, midi::NoteOff, midi::NoteOn,
                             midi::NotePressure, midi::PitchBend, PortPrefix, midi::Pressure,
                             midi::ProgramChange, midi::RPN, midi::NRPN, SequenceNumber,
                             SequencerSpecific, SMPTEOffset, midi::SysEx7, midi::UniversalSysEx7,
                             Tempo, Text, TimeSignature, UnrecognizedMeta, XMFPatchTypePrefix>;

// The kind of each payload type.
template <class P> constexpr MIDIFileEventType eventTypeOf();
template <> constexpr MIDIFileEventType eventTypeOf<midi::CC>() {
    return MIDIFileEventType::cc;
}
template <> constexpr MIDIFileEventType eventTypeOf<ChannelPrefix>() {
    return MIDIFileEventType::channelPrefix;
}
template <> constexpr MIDIFileEventType eventTypeOf<KeySignature>() {
    return MIDIFileEventType::keySignature;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::NoteOff>() {
    return MIDIFileEventType::noteOff;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::NoteOn>() {
    return MIDIFileEventType::noteOn;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::NotePressure>() {
    return MIDIFileEventType::notePressure;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::PitchBend>() {
    return MIDIFileEventType::pitchBend;
}
template <> constexpr MIDIFileEventType eventTypeOf<PortPrefix>() {
    return MIDIFileEventType::portPrefix;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::Pressure>() {
    return MIDIFileEventType::pressure;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::ProgramChange>() {
    return MIDIFileEventType::programChange;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::RPN>() {
    return MIDIFileEventType::rpn;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::NRPN>() {
    return MIDIFileEventType::nrpn;
}
template <> constexpr MIDIFileEventType eventTypeOf<SequenceNumber>() {
    return MIDIFileEventType::sequenceNumber;
}
template <> constexpr MIDIFileEventType eventTypeOf<SequencerSpecific>() {
    return MIDIFileEventType::sequencerSpecific;
}
template <> constexpr MIDIFileEventType eventTypeOf<SMPTEOffset>() {
    return MIDIFileEventType::smpteOffset;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::SysEx7>() {
    return MIDIFileEventType::sysEx7;
}
template <> constexpr MIDIFileEventType eventTypeOf<midi::UniversalSysEx7>() {
    return MIDIFileEventType::universalSysEx7;
}
template <> constexpr MIDIFileEventType eventTypeOf<Tempo>() {
    return MIDIFileEventType::tempo;
}
template <> constexpr MIDIFileEventType eventTypeOf<Text>() {
    return MIDIFileEventType::text;
}
template <> constexpr MIDIFileEventType eventTypeOf<TimeSignature>() {
    return MIDIFileEventType::timeSignature;
}
template <> constexpr MIDIFileEventType eventTypeOf<UnrecognizedMeta>() {
    return MIDIFileEventType::unrecognizedMeta;
}
template <> constexpr MIDIFileEventType eventTypeOf<XMFPatchTypePrefix>() {
    return MIDIFileEventType::xmfPatchTypePrefix;
}

struct MIDIFileEvent {
    using CC = midi::CC;
    using NoteOff = midi::NoteOff;
    using NoteOn = midi::NoteOn;
    using NotePressure = midi::NotePressure;
    using PitchBend = midi::PitchBend;
    using Pressure = midi::Pressure;
    using ProgramChange = midi::ProgramChange;
    using RPN = midi::RPN;
    using NRPN = midi::NRPN;
    using SysEx7 = midi::SysEx7;
    using UniversalSysEx7 = midi::UniversalSysEx7;
    using ChannelPrefix = smf::ChannelPrefix;
    using KeySignature = smf::KeySignature;
    using PortPrefix = smf::PortPrefix;
    using SequenceNumber = smf::SequenceNumber;
    using SequencerSpecific = smf::SequencerSpecific;
    using SMPTEOffset = smf::SMPTEOffset;
    using Tempo = smf::Tempo;
    using Text = smf::Text;
    using TimeSignature = smf::TimeSignature;
    using UnrecognizedMeta = smf::UnrecognizedMeta;
    using XMFPatchTypePrefix = smf::XMFPatchTypePrefix;

    MIDIFileEvent() = default;
    MIDIFileEvent(DeltaTime deltaTime, Payload payload)
        : event(std::move(payload)), delta(deltaTime) {}
    template <class P>
    MIDIFileEvent(DeltaTime deltaTime, std::in_place_type_t<P> kind, P&& payload)
        : event(kind, std::forward<P>(payload)), delta(deltaTime) {}

    // A large file holds millions of events and a jump decodes it afresh, so the table's size is
    // most of the decoding time. The delta lives in the payload's unused tail bytes.
    [[no_unique_address]] Payload event;
    DeltaTime delta;

    MIDIFileEventType type() const;
    // The event's encoding in file form, without its delta time.
    std::vector<std::uint8_t> rawBytes() const;
    // A short readable text of the payload, e.g. "Note On ch 1 note 60 vel 100".
    std::string eventDescription() const;
    std::string eventDebugDescription() const;

    friend bool operator==(const MIDIFileEvent&, const MIDIFileEvent&) = default;
};

#if defined(__GNUC__) // compilers of the Itanium C++ ABI place delta in the payload's tail
static_assert(sizeof(MIDIFileEvent) <= 24);
#endif

// The payload wrapped as an event of its own kind.
template <class P> MIDIFileEvent wrap(P payload, DeltaTime delta) {
    return MIDIFileEvent(delta, std::in_place_type<P>, std::move(payload));
}

// Display text of one event: its delta and its payload.
std::string describe(const MIDIFileEvent& event);

} // namespace carvo::smf
