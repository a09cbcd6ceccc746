#pragma once
// One decoded track event: its delta time and its payload.

#include "midi/events.h"
#include "smf/delta_time.h"
#include "smf/meta_events.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
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

// One alternative per event kind, in the order of the event cases, so that a payload's index is
// its case.
using Payload =
    std::variant<midi::CC, ChannelPrefix, KeySignature, midi::NoteOff, midi::NoteOn,
                 midi::NotePressure, midi::PitchBend, PortPrefix, midi::Pressure,
                 midi::ProgramChange, midi::RPN, midi::NRPN, SequenceNumber, SequencerSpecific,
                 SMPTEOffset, midi::SysEx7, Tempo, Text, TimeSignature, midi::UniversalSysEx7,
                 UnrecognizedMeta, XMFPatchTypePrefix>;

namespace detail {
template <class P, class Variant> struct IndexIn;
template <class P, class... Kinds> struct IndexIn<P, std::variant<Kinds...>> {
    static constexpr std::size_t value = [] {
        constexpr bool matches[] = {std::is_same_v<P, Kinds>...};
        std::size_t index = 0;
        while (index < sizeof...(Kinds) && !matches[index])
            ++index;
        return index;
    }();
    static_assert(value < sizeof...(Kinds), "not a payload type");
};
} // namespace detail

// The kind of each payload type.
template <class P> constexpr MIDIFileEventType eventTypeOf() {
    return static_cast<MIDIFileEventType>(detail::IndexIn<P, Payload>::value);
}
static_assert(eventTypeOf<midi::CC>() == MIDIFileEventType::cc &&
              eventTypeOf<XMFPatchTypePrefix>() == MIDIFileEventType::xmfPatchTypePrefix &&
              std::variant_size_v<Payload> == 22);

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
