// The track loop's table form and its one failure message that needs formatting.

#include "smf/track_decoder.h"

#include <cstdio>

namespace carvo::smf {

namespace detail {

namespace {
std::string hexOffset(std::size_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zX", offset);
    return text;
}
} // namespace

std::string unexpectedData(std::span<const std::uint8_t> body, std::size_t offset) {
    std::string shown;
    const std::size_t count = std::min<std::size_t>(8, body.size() - offset);
    char part[8];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "0x%02X" : " 0x%02X", body[offset + i]);
        shown += part;
    }
    return "Unexpected data encountered before end of track at track data byte offset " +
           hexOffset(offset) + " (" + shown + " ...).";
}

} // namespace detail

namespace {
constexpr std::size_t reservedEventLimit = std::size_t{1} << 22;
}

bytes::Expected<Track, std::string> decodeTrack(std::span<const std::uint8_t> body,
                                                TrackDecoding decoding) {
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
