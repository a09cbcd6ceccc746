#pragma once
// Bar tables: when each bar of a score begins and how many beats it has. Pure C++, no Qt.
//
// Both builders return values; nothing here is shared or cached, because a jump reads its
// tempo description afresh every time.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "smf/midi_file.h"

namespace carvo {

// A rehearsal mark of the score ("C", "Tempo di valse"): a Marker event of the file, or a Cue
// Point event in a file without markers, in the bar whose span holds the event's tick.
struct Mark {
    std::int64_t barIndex = 1; // 1 is the score's first bar
    std::string name;          // UTF-8, as the file has it

    bool operator==(const Mark&) const = default;
};

// Indexed by bar index: index 1 is the score's first bar, index 0 a placeholder standing for no
// bar (start 0.0, 0 beats). Both lists always have the same length. Empty lists mean "no tempo
// description", and every bar is then out of range.
struct BarTables {
    // Seconds from the start of bar 1, in the 32-bit precision QLab and remote clients see.
    std::vector<float> barStartTimes;
    // Beats in each bar: the numerator in force where the bar begins.
    std::vector<std::int64_t> barBeatCounts;
    // In the order of their ticks (file order at one tick); none for a fixed tempo.
    std::vector<Mark> marks{};

    bool operator==(const BarTables&) const = default;
};

// One diagnostic line, without its line feed.
using LineWriter = std::function<void(std::string_view line)>;

// Standard output, through the process's one line writer (base/lines.h).
LineWriter standardOutput();

// A walk that would produce more bars than this stops there. Real scores have a few thousand bars
// at most; the limit keeps a tiny hostile file (1 tick per bar, huge deltas) from allocating
// gigabytes.
inline constexpr std::size_t maxBarCount = 100'000;

// The bar tables of a decoded MIDI file: its tempo and time-signature changes walked bar by bar.
// Writes nothing.
BarTables tempoMapOf(const smf::MIDIFile& file);

// The same tables from a file's bytes, decoded without keeping its events: every event is still
// checked, and the bytes MIDIFile::decode refuses are refused by throwing the same DecodeError.
BarTables tempoMapOfBytes(std::span<const std::uint8_t> bytes);

// Reads and decodes a MIDI file; on failure writes "Failed to read MIDI file: " and the error's
// plain text through writeLine and gives nothing.
std::optional<smf::MIDIFile> readMIDIFile(const std::filesystem::path& file,
                                          const LineWriter& writeLine);

// The bar tables of the MIDI file at `file`, read without keeping its events (as
// tempoMapOfBytes). Refuses exactly the files readMIDIFile refuses, with the same failure line,
// and then gives nothing.
std::optional<BarTables> readTempoMap(const std::filesystem::path& file,
                                      const LineWriter& writeLine);

// The bar tables of the MIDI file at `file`, as readTempoMap reads them. Never fails: a file that
// cannot be read or decoded gives empty tables after the failure line; a good one writes "Loaded
// MIDI file" first.
BarTables loadTempoMap(const std::filesystem::path& file,
                       const LineWriter& writeLine = standardOutput());

// Bars 1 to 1000 of a piece at one tempo (beats per minute) and one time signature, the
// denominator given as a note value (4 for quarter notes). A bar duration that is not a finite
// number above zero gives empty tables, so no bar of such a piece can be jumped to.
BarTables makeFixedTempoMap(std::int64_t numerator, std::int64_t denominator, float tempo);

} // namespace carvo
