// Arbitrary bytes through the MIDI file reader, and every file that decodes through the tempo map.

#include "engine/tempo_map.h"
#include "smf/midi_file.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
