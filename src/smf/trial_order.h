#pragma once
// The order in which the track decoder offers an event to the event kinds.

#include "smf/delta_time.h"
#include "smf/event_table.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace carvo::smf {

// Offers window to each event kind in turn; the first that accepts it is appended to events with
// delta. Returns the bytes the event used, or 0 when every kind refuses the window; lead receives
// the first byte of the event's encoding.
std::size_t offerToKinds(std::span<const std::uint8_t> window, DeltaTime delta, EventTable& events,
                         std::uint8_t& lead);

} // namespace carvo::smf
