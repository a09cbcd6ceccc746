#pragma once
// The order in which the track decoder offers an event to the event kinds.

#include "midi/rejection.h"
#include "smf/midi_file_event.h"

#include <cstdint>
#include <optional>
#include <span>

namespace carvo::smf {

// The event at the start of window from the first kind in the trial order that accepts it, with
// the bytes it used; nothing when every kind refuses the window. The first byte of an accepted
// event's encoding is always window[0], since every kind checks that byte. The window is offered
// only to the kinds that accept its first byte: the rest would refuse it anyway.
std::optional<midi::Decoded<Payload>> offerToKinds(std::span<const std::uint8_t> window);

// As offerToKinds, offering the window to every kind in turn; for checking the first-byte choice.
std::optional<midi::Decoded<Payload>> offerToEveryKind(std::span<const std::uint8_t> window);

} // namespace carvo::smf
