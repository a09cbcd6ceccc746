#pragma once
// The time before an event: a tick count, or a note value relative to the time base.

#include "smf/time_base.h"

#include <cstdint>
#include <optional>
#include <string>

namespace carvo::smf {

// Packed to an alignment of 1, so the value fits in the spare bytes at the end of an event's
// payload: that keeps every event of a track 8 bytes smaller. Members are only read and written by
// value, never by reference.
class [[gnu::packed]] DeltaTime {
public:
    enum class Case : std::uint8_t {
        ticks,
        none,
        noteWhole,
        noteHalf,
        noteQuarter,
        note8th,
        note16th,
        note32nd,
        note64th,
        note128th,
        note256th,
    };

    constexpr DeltaTime() = default;
    // A note-value case (or none); Case::ticks gives zero ticks.
    constexpr explicit DeltaTime(Case kind) : m_kind(kind) {}
    static constexpr DeltaTime ticks(std::uint32_t count) {
        DeltaTime delta(Case::ticks);
        delta.m_ticks = count;
        return delta;
    }

    constexpr Case kind() const { return m_kind; }
    constexpr bool isTicks() const { return m_kind == Case::ticks; }
    // The stored count of the ticks case; 0 for the other cases.
    constexpr std::uint32_t tickCount() const { return m_ticks; }

    // Ticks for a musical time base; no value for a timecode time base, where a note value
    // has no defined length.
    std::optional<std::uint32_t> ticksValue(TimeBase timeBase) const;

    std::string description() const;      // "ticks:480", "quarter note", ...
    std::string debugDescription() const; // "DeltaTime(" + description + ")"

    friend constexpr bool operator==(const DeltaTime&, const DeltaTime&) = default;

private:
    std::uint32_t m_ticks = 0;
    Case m_kind = Case::none;
};

} // namespace carvo::smf
