// The trial order: each event is offered to the event kinds in one fixed order, and the first kind
// that accepts it wins. Adding a kind is one line in the table.

#include "smf/trial_order.h"

#include "smf/event_decoders.h"

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace carvo::smf {

namespace {

using T = MIDIFileEventType;

// Channel voice kinds first (parameter number runs before the control change that starts them),
// then meta and system exclusive kinds; unrecognized meta events take whatever meta event is left.
constexpr std::array trialOrder{
    T::noteOff,
    T::noteOn,
    T::rpn,
    T::nrpn,
    T::cc,
    T::pressure,
    T::pitchBend,
    T::notePressure,
    T::programChange,
    T::keySignature,
    T::smpteOffset,
    T::sysEx7,
    T::universalSysEx7,
    T::text,
    T::timeSignature,
    T::tempo,
    T::sequencerSpecific,
    T::sequenceNumber,
    T::channelPrefix,
    T::portPrefix,
    T::xmfPatchTypePrefix,
    T::unrecognizedMeta,
};
static_assert(trialOrder.size() == std::variant_size_v<Payload>, "every kind is offered once");

// The first bytes each kind's decoder lets through: a channel voice kind its status nibble, a
// parameter number run a control change status, system exclusive F0, a meta event FF.
template <class P> constexpr bool acceptsFirstByte(std::uint8_t first) {
    if constexpr (midi::ChannelVoiceKind<P>)
        return first >> 4u == midi::ChannelVoice<P>::nibble;
    else if constexpr (std::is_same_v<P, midi::RPN> || std::is_same_v<P, midi::NRPN>)
        return first >> 4u == midi::ChannelVoice<midi::CC>::nibble;
    else if constexpr (std::is_same_v<P, midi::SysEx7> || std::is_same_v<P, midi::UniversalSysEx7>)
        return first == 0xF0;
    else
        return first == 0xFF;
}

constexpr bool acceptsFirstByte(MIDIFileEventType kind, std::uint8_t first) {
    return [&]<std::size_t... kinds>(std::index_sequence<kinds...>) {
        bool accepts = false;
        (void)((static_cast<std::size_t>(kind) == kinds &&
                (accepts = acceptsFirstByte<std::variant_alternative_t<kinds, Payload>>(first),
                 true)) ||
               ...);
        return accepts;
    }
    (std::make_index_sequence<std::variant_size_v<Payload>>{});
}

// For each first byte, the kinds of the trial order that accept it, in trial order.
struct Candidates {
    std::array<MIDIFileEventType, trialOrder.size()> kinds{};
    std::size_t count = 0;
};

constexpr std::array<Candidates, 256> candidatesByFirstByte = [] {
    std::array<Candidates, 256> table{};
    for (std::size_t first = 0; first < table.size(); ++first)
        for (const MIDIFileEventType kind : trialOrder)
            if (acceptsFirstByte(kind, static_cast<std::uint8_t>(first)))
                table[first].kinds[table[first].count++] = kind;
    return table;
}();

template <class Kinds>
std::optional<midi::Decoded<Payload>> firstAccepting(const Kinds& kinds,
                                                     std::span<const std::uint8_t> window) {
    for (const MIDIFileEventType kind : kinds)
        if (auto decoded = detail::offerTo(kind, window))
            return std::move(decoded).value();
    return std::nullopt;
}

} // namespace

std::optional<midi::Decoded<Payload>> offerToKinds(std::span<const std::uint8_t> window) {
    const Candidates& candidates = candidatesByFirstByte[window[0]];
    return firstAccepting(std::span(candidates.kinds.data(), candidates.count), window);
}

std::optional<midi::Decoded<Payload>> offerToEveryKind(std::span<const std::uint8_t> window) {
    return firstAccepting(trialOrder, window);
}

} // namespace carvo::smf
