// Arbitrary bytes through the MIDI file reader, and every file that decodes through the tempo map;
// the same bytes as one track body through both ways of matching events to their kinds.

#include "engine/tempo_map.h"
#include "smf/midi_file.h"
#include "smf/track_decoder.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {
void sameAsTrialOrder(std::span<const std::uint8_t> body) {
    using carvo::smf::TrackDecoding;
    const auto shortcut = carvo::smf::decodeTrack(body, TrackDecoding::shortcut);
    const auto reference = carvo::smf::decodeTrack(body, TrackDecoding::trialOrderOnly);
    if (bool(shortcut) != bool(reference) || (shortcut ? !(shortcut->events == reference->events)
                                                       : shortcut.error() != reference.error()))
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As a track body, and past a file's header and first chunk header, the status-byte shortcut
    // must decide exactly as the trial order does.
    constexpr std::size_t firstTrackBody = 14 + 8;
    sameAsTrialOrder(std::span<const std::uint8_t>(data, size));
    if (size > firstTrackBody)
        sameAsTrialOrder(
            std::span<const std::uint8_t>(data + firstTrackBody, size - firstTrackBody));

    try {
        const auto file = carvo::smf::MIDIFile::decode(std::span<const std::uint8_t>(data, size));
        std::size_t described = 0;
        for (const auto& track : file.tracks())
            for (const auto& event : track.get().events)
                described += carvo::smf::describe(event).size() + event.rawBytes().size();
        const carvo::BarTables tables = carvo::tempoMapOf(file);
        if (tables.barStartTimes.size() != tables.barBeatCounts.size())
            __builtin_trap();
        (void)described;
    } catch (const carvo::smf::DecodeError& error) {
        // Decoding bytes only ever refuses them as malformed, always with a reason.
        if (error.kind() != carvo::smf::DecodeError::Case::malformed || error.message().empty())
            __builtin_trap();
    }
    return 0;
}
