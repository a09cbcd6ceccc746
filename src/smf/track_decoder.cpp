// The track loop's table form and its failures.

#include "smf/track_decoder.h"

#include "bytes/hex.h"

namespace carvo::smf {

namespace detail {

DecodeError endedEarly() {
    return DecodeError::malformed(std::string(endOfFileEarly));
}

DecodeError malformedDelta() {
    return DecodeError::malformed(
        "Delta time variable length value could not be read and may be malformed.");
}

DecodeError unexpectedData(std::span<const std::uint8_t> body, std::size_t offset) {
    const std::size_t count = std::min<std::size_t>(8, body.size() - offset);
    return DecodeError::malformed(
        "Unexpected data encountered before end of track at track data byte offset " +
        bytes::hexNumber(offset) + " (" + bytes::hexBytes(body.subspan(offset, count), "0x") +
        " ...).");
}

} // namespace detail

namespace {
constexpr std::size_t reservedEventLimit = std::size_t{1} << 22;
}

Result<Track> decodeTrack(std::span<const std::uint8_t> body, TrackDecoding decoding) {
    Track track;
    // The shortest event (one delta byte and one running-status data byte) takes two bytes, so
    // this is the most a body can hold; only untouched address space is wasted. Beyond a few
    // million events the table grows as it fills instead, so no body reserves gigabytes.
    track.events.reserve(std::min(body.size() / 2, reservedEventLimit));
    auto visited = visitTrack(
        body,
        [&events = track.events]<class P>(DeltaTime delta, P&& payload) {
            events.emplace_back(delta, std::in_place_type<std::decay_t<P>>,
                                std::forward<P>(payload));
        },
        decoding);
    if (!visited)
        return bytes::fail(visited.error());
    return track;
}

} // namespace carvo::smf
