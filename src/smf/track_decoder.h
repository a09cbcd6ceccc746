#pragma once
// Decoding of one "MTrk" chunk body, without exceptions.

#include "bytes/expected.h"
#include "smf/chunk.h"
#include "smf/event_decoders.h"

#include <cstdint>
#include <span>
#include <string>

namespace carvo::smf {

// How events are matched to their kinds. Both give the same result for every body: the shortcut
// takes the common channel messages by their status byte and offers everything else to the kinds
// of the trial order that accept its first byte; trialOrderOnly offers every event to every kind
// of the trial order, for checking the shortcut.
enum class TrackDecoding { shortcut, trialOrderOnly };

// The events of one track body, or the track-level failure message ("Encountered end of file
// early.", the delta time message, or the unexpected-data message).
bytes::Expected<Track, std::string> decodeTrack(std::span<const std::uint8_t> body,
                                                TrackDecoding decoding = TrackDecoding::shortcut);

} // namespace carvo::smf
