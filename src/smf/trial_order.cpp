// The trial order: each event is offered to the event kinds in one fixed order, and the first kind
// that accepts it wins.

#include "smf/trial_order.h"

#include "smf/event_decoders.h"

#include <type_traits>
#include <utility>

namespace carvo::smf {

namespace {

// The first byte of a payload's encoding: the status byte of channel voice kinds, F0 for system
// exclusive and FF for meta events.
template <class P> constexpr std::uint8_t leadByteOf(const P& p) {
    if constexpr (std::is_same_v<P, midi::NoteOff>)
        return static_cast<std::uint8_t>(0x80 | p.channel);
    else if constexpr (std::is_same_v<P, midi::NoteOn>)
        return static_cast<std::uint8_t>(0x90 | p.channel);
    else if constexpr (std::is_same_v<P, midi::NotePressure>)
        return static_cast<std::uint8_t>(0xA0 | p.channel);
    else if constexpr (std::is_same_v<P, midi::CC> || std::is_same_v<P, midi::RPN> ||
                       std::is_same_v<P, midi::NRPN>)
        return static_cast<std::uint8_t>(0xB0 | p.channel);
    else if constexpr (std::is_same_v<P, midi::ProgramChange>)
        return static_cast<std::uint8_t>(0xC0 | p.channel);
    else if constexpr (std::is_same_v<P, midi::Pressure>)
        return static_cast<std::uint8_t>(0xD0 | p.channel);
    else if constexpr (std::is_same_v<P, midi::PitchBend>)
        return static_cast<std::uint8_t>(0xE0 | p.channel);
    else if constexpr (std::is_same_v<P, midi::SysEx7> || std::is_same_v<P, midi::UniversalSysEx7>)
        return 0xF0;
    else
        return 0xFF;
}

// The kinds in the order they are offered each event; the first that accepts it wins.
template <class... Kinds> struct TrialOrder {
    // Appends the event and returns the bytes it used, or 0 when no kind accepts the window;
    // lead receives the first byte of the event's encoding.
    static std::size_t offer(std::span<const std::uint8_t> window, DeltaTime delta,
                             EventTable& events, std::uint8_t& lead) {
        std::size_t used = 0;
        (void)(((used = tryKind<Kinds>(window, delta, events, lead)) != 0) || ...);
        return used;
    }

    template <class P>
    static std::size_t tryKind(std::span<const std::uint8_t> window, DeltaTime delta,
                               EventTable& events, std::uint8_t& lead) {
        auto decoded = decodeStream<P>(window);
        if (!decoded)
            return 0;
        lead = leadByteOf(decoded->event);
        events.emplace_back(delta, std::in_place_type<P>, std::move(decoded->event));
        return decoded->bufferLength;
    }
};

using EventKinds =
    TrialOrder<midi::NoteOff, midi::NoteOn, midi::RPN, midi::NRPN, midi::CC, midi::Pressure,
               midi::PitchBend, midi::NotePressure, midi::ProgramChange, KeySignature, SMPTEOffset,
               midi::SysEx7, midi::UniversalSysEx7, Text, TimeSignature, Tempo, SequencerSpecific,
               SequenceNumber, ChannelPrefix, PortPrefix, XMFPatchTypePrefix, UnrecognizedMeta>;

} // namespace

std::size_t offerToKinds(std::span<const std::uint8_t> window, DeltaTime delta, EventTable& events,
                         std::uint8_t& lead) {
    return EventKinds::offer(window, delta, events, lead);
}

} // namespace carvo::smf
