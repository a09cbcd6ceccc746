// Arbitrary bytes through the MIDI file reader, and every file that decodes through the tempo map;
// the same bytes as one track body through both ways of matching events to their kinds and
// through the visiting decoder; the tempo map from the event tables and from the decoding that
// keeps none, refusals included.

#include "engine/tempo_map.h"
#include "smf/midi_file.h"
#include "smf/track_decoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace {
void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

void sameAsTrialOrder(std::span<const std::uint8_t> body) {
    using carvo::smf::TrackDecoding;
    const auto shortcut = carvo::smf::decodeTrack(body, TrackDecoding::shortcut);
    const auto reference = carvo::smf::decodeTrack(body, TrackDecoding::trialOrderOnly);
    require(bool(shortcut) == bool(reference));
    require(shortcut ? shortcut->events == reference->events
                     : shortcut.error() == reference.error());

    // The visitor sees exactly the table's events, or fails with the same message.
    std::size_t seen = 0;
    bool same = true;
    const auto visited =
        carvo::smf::visitTrack(body, [&]<class P>(carvo::smf::DeltaTime delta, P&& payload) {
            same = same && shortcut && seen < shortcut->events.size() &&
                   shortcut->events[seen] == carvo::smf::wrap(std::forward<P>(payload), delta);
            ++seen;
        });
    require(bool(visited) == bool(shortcut));
    require(visited ? same && *visited == seen && seen == shortcut->events.size()
                    : visited.error() == shortcut.error());
}

// The tables, or the refusal's message.
struct TempoMapOutcome {
    std::optional<carvo::BarTables> tables;
    std::string refusal;
};

template <class Build> TempoMapOutcome outcomeOf(Build&& build) {
    try {
        return {build(), {}};
    } catch (const carvo::smf::DecodeError& error) {
        // Decoding bytes only ever refuses them as malformed, always with a reason.
        require(error.kind() == carvo::smf::DecodeError::Case::malformed &&
                !error.message().empty());
        return {std::nullopt, error.message()};
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // As a track body, and past a file's header and first chunk header, the status-byte shortcut
    // must decide exactly as the trial order does.
    constexpr std::size_t firstTrackBody = 14 + 8;
    sameAsTrialOrder(bytes);
    if (size > firstTrackBody)
        sameAsTrialOrder(bytes.subspan(firstTrackBody));

    const TempoMapOutcome fromTables = outcomeOf([&] {
        const auto file = carvo::smf::MIDIFile::decode(bytes);
        std::size_t described = 0;
        for (const auto& track : file.tracks())
            for (const auto& event : track.get().events)
                described += carvo::smf::describe(event).size() + event.rawBytes().size();
        (void)described;
        return carvo::tempoMapOf(file);
    });
    const TempoMapOutcome withoutTables = outcomeOf([&] { return carvo::tempoMapOfBytes(bytes); });
    require(fromTables.refusal == withoutTables.refusal);
    require(fromTables.tables == withoutTables.tables);
    if (fromTables.tables)
        require(fromTables.tables->barStartTimes.size() == fromTables.tables->barBeatCounts.size());
    return 0;
}
