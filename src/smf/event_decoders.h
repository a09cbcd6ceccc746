#pragma once
// Decoders of single events in file form, one per event kind, without exceptions.

#include "bytes/expected.h"
#include "midi/rejection.h"
#include "smf/decode_error.h"
#include "smf/midi_file_event.h"

#include <cstdint>
#include <span>
#include <utility>
#include <variant>

namespace carvo::smf {

// The decoders of the file form of an event (without its delta time), for the event kind `kind`.
// decodeStream decodes from the start of a longer byte list and reports the bytes used; decode
// takes an exact list. kind must be one of the cases of MIDIFileEventType. A refusal is
// `malformed`, with the kind's reason as its message.
Result<midi::Decoded<Payload>> decodeStream(MIDIFileEventType kind,
                                            std::span<const std::uint8_t> bytes);
Result<midi::Decoded<Payload>> decode(MIDIFileEventType kind, std::span<const std::uint8_t> bytes);

namespace detail {
// decodeStream for the trial order, which offers every event to several kinds and drops nearly
// all their refusals: the reason stays a code, and becomes a message only when it leaves here.
midi::DecodeResult<Payload> offerTo(MIDIFileEventType kind, std::span<const std::uint8_t> bytes);

template <class P> Result<midi::Decoded<P>> payloadAs(Result<midi::Decoded<Payload>>&& decoded) {
    if (!decoded)
        return bytes::fail(decoded.error());
    return midi::Decoded<P>{std::get<P>(std::move(decoded->event)), decoded->bufferLength};
}
} // namespace detail

// The same decoders by payload type, e.g. decode<midi::NoteOn>(bytes).
template <class P> Result<midi::Decoded<P>> decodeStream(std::span<const std::uint8_t> bytes) {
    return detail::payloadAs<P>(decodeStream(eventTypeOf<P>(), bytes));
}
template <class P> Result<midi::Decoded<P>> decode(std::span<const std::uint8_t> bytes) {
    return detail::payloadAs<P>(decode(eventTypeOf<P>(), bytes));
}

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
