#pragma once
// Decoders of single events in file form, one per event kind, without exceptions.

#include "bytes/expected.h"
#include "midi/rejection.h"
#include "smf/midi_file_event.h"

#include <cstdint>
#include <span>

namespace carvo::smf {

// Per-kind decoders of the file form of an event (without its delta time). decodeStream decodes
// from the start of a longer byte list and reports the bytes used; decode takes an exact list.
template <class P> midi::DecodeResult<P> decodeStream(std::span<const std::uint8_t> bytes);
template <class P> midi::DecodeResult<P> decode(std::span<const std::uint8_t> bytes);

// Every payload type has both decoders.
#define CARVO_EVENT_KIND(P)                                                                        \
    template <> midi::DecodeResult<P> decodeStream<P>(std::span<const std::uint8_t> bytes);        \
    template <> midi::DecodeResult<P> decode<P>(std::span<const std::uint8_t> bytes);
CARVO_EVENT_KIND(midi::NoteOff)
CARVO_EVENT_KIND(midi::NoteOn)
CARVO_EVENT_KIND(midi::NotePressure)
CARVO_EVENT_KIND(midi::CC)
CARVO_EVENT_KIND(midi::ProgramChange)
CARVO_EVENT_KIND(midi::Pressure)
CARVO_EVENT_KIND(midi::PitchBend)
CARVO_EVENT_KIND(midi::RPN)
CARVO_EVENT_KIND(midi::NRPN)
CARVO_EVENT_KIND(midi::SysEx7)
CARVO_EVENT_KIND(midi::UniversalSysEx7)
CARVO_EVENT_KIND(SequenceNumber)
CARVO_EVENT_KIND(Text)
CARVO_EVENT_KIND(ChannelPrefix)
CARVO_EVENT_KIND(PortPrefix)
CARVO_EVENT_KIND(Tempo)
CARVO_EVENT_KIND(SMPTEOffset)
CARVO_EVENT_KIND(TimeSignature)
CARVO_EVENT_KIND(KeySignature)
CARVO_EVENT_KIND(XMFPatchTypePrefix)
CARVO_EVENT_KIND(SequencerSpecific)
CARVO_EVENT_KIND(UnrecognizedMeta)
#undef CARVO_EVENT_KIND

// A variable-length quantity from the start of bytes (at most 4 bytes, at most 0x0FFFFFFF).
struct VariableLength {
    std::uint32_t value = 0;
    std::size_t byteCount = 0;
};
// Inline: the track loop reads one for every event.
inline bytes::Expected<VariableLength, midi::Rejection>
readVariableLength(std::span<const std::uint8_t> bytes) {
    // At most four 7-bit groups, most significant first, so the value never exceeds 0x0FFFFFFF.
    std::uint32_t value = 0;
    const std::size_t limit = bytes.size() < 4 ? bytes.size() : 4;
    for (std::size_t i = 0; i < limit; ++i) {
        value = (value << 7) | (bytes[i] & 0x7Fu);
        if ((bytes[i] & 0x80) == 0)
            return VariableLength{value, i + 1};
    }
    return bytes::fail(midi::reject(midi::RejectReason::variableLength));
}

} // namespace carvo::smf
