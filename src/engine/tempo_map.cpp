#include "engine/tempo_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <map>
#include <string>
#include <variant>

namespace carvo {

namespace {

using Tick = std::int64_t;

// A time signature with its denominator as a note value (4 = quarter), not the file's exponent.
struct Meter {
    std::int64_t numerator = 4;
    std::int64_t denominator = 4;
};

// What changes at one tick; a tempo and a time signature at the same tick live side by side.
struct Change {
    std::optional<double> tempo; // beats per minute
    std::optional<Meter> meter;
};

struct Changes {
    std::map<Tick, Change> byTick; // a std::map keeps the ticks sorted for the walk
    Tick lastTick = 0;             // the greatest tick of any counted event
};

constexpr std::int64_t timecodeTicksPerQuarter = 480;
constexpr double defaultTempo = 120.0;
constexpr Meter defaultMeter{4, 4};
// 2^63 does not fit a signed 64-bit note value; such a signature is ignored.
constexpr unsigned firstUnusableExponent = 63;

// Integer division truncated toward zero: 480 ticks per quarter give 1920 for 4/4, 840 for 7/16.
// Inputs come from 16-bit and 8-bit file fields, so the product cannot overflow.
std::int64_t ticksPerBarOf(std::int64_t ticksPerQuarter, Meter meter) {
    return ticksPerQuarter * meter.numerator * 4 / meter.denominator;
}

// Absolute ticks never wrap: a track long enough to pass the signed 64-bit range stays at its end.
Tick advancedBy(Tick tick, std::uint32_t delta) {
    constexpr Tick last = std::numeric_limits<Tick>::max();
    return tick > last - static_cast<Tick>(delta) ? last : tick + static_cast<Tick>(delta);
}

// Halves away from zero, all in 32-bit floating point, as QLab is told.
float roundedToMillisecond(float seconds) {
    return std::round(seconds * 1000.0f) / 1000.0f;
}

Changes collectChanges(const smf::MIDIFile& file) {
    Changes changes;
    for (const smf::Track& track : file.tracks()) {
        Tick tick = 0;
        for (const auto& event : track.events) {
            if (!event.delta.isTicks()) {
                continue; // a note-value delta is not a position in the file; nothing passes
            }
            tick = advancedBy(tick, event.delta.tickCount());
            if (const auto* tempo = std::get_if<smf::Tempo>(&event.event)) {
                // A file's tempos are always clamped into range; one built in memory may not be,
                // and a tempo of zero would make every later time infinite.
                if (std::isfinite(tempo->bpm) && tempo->bpm > 0.0) {
                    changes.byTick[tick].tempo = tempo->bpm;
                }
            } else if (const auto* signature = std::get_if<smf::TimeSignature>(&event.event)) {
                const unsigned exponent = signature->denominator;
                if (exponent < firstUnusableExponent) {
                    changes.byTick[tick].meter =
                        Meter{signature->numerator, std::int64_t{1} << exponent};
                }
            }
            changes.lastTick = std::max(changes.lastTick, tick);
        }
    }
    return changes;
}

BarTables walk(const Changes& changes, std::int64_t ticksPerQuarter) {
    double tempo = defaultTempo;
    Meter meter = defaultMeter;
    if (const auto atStart = changes.byTick.find(0); atStart != changes.byTick.end()) {
        tempo = atStart->second.tempo.value_or(defaultTempo);
        meter = atStart->second.meter.value_or(defaultMeter);
    }
    std::int64_t ticksPerBar = ticksPerBarOf(ticksPerQuarter, meter);

    // The placeholder, then bar 1.
    BarTables tables{{0.0f, 0.0f}, {0, meter.numerator}};
    const auto barCount = [&tables] { return tables.barStartTimes.size() - 1; };
    if (ticksPerBar <= 0) {
        return tables; // no bar line could ever be placed after bar 1
    }

    auto nextChange = changes.byTick.begin();
    const auto end = changes.byTick.end();
    Tick position = 0;
    Tick nextBarLine = ticksPerBar;
    float elapsed = 0.0f;
    do {
        const bool reachesChange = nextChange != end && nextChange->first <= nextBarLine;
        const bool reachesBarLine = nextChange == end || nextBarLine <= nextChange->first;
        const Tick newPosition = reachesChange ? nextChange->first : nextBarLine;
        const Tick span = newPosition - position;

        double tempoAfter = tempo;
        if (reachesChange) {
            tempoAfter = nextChange->second.tempo.value_or(tempo);
            if (nextChange->second.meter) {
                meter = *nextChange->second.meter;
                ticksPerBar = ticksPerBarOf(ticksPerQuarter, meter);
            }
            ++nextChange;
        }

        // The span runs at the tempo in force before the new position; 64-bit, then 32-bit.
        elapsed += static_cast<float>(60.0 / tempo / static_cast<double>(ticksPerQuarter) *
                                      static_cast<double>(span));

        if (ticksPerBar <= 0) {
            break; // a signature without length: the bars so far are all there is
        }
        if (reachesBarLine) {
            tables.barStartTimes.push_back(roundedToMillisecond(elapsed));
            tables.barBeatCounts.push_back(meter.numerator);
            nextBarLine += ticksPerBar;
        }
        tempo = tempoAfter;
        position = newPosition;
    } while (position <= changes.lastTick && barCount() < maxBarCount);
    return tables;
}

} // namespace

void writeLineToStdout(std::string_view line) {
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line).push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

BarTables tempoMapOf(const smf::MIDIFile& file) {
    const auto& timeBase = file.timeBase();
    const std::int64_t ticksPerQuarter = timeBase.isMusical()
                                             ? std::int64_t{timeBase.ticksPerQuarterNote()}
                                             : timecodeTicksPerQuarter;
    return walk(collectChanges(file), ticksPerQuarter);
}

std::optional<smf::MIDIFile> readMIDIFile(const std::filesystem::path& file,
                                          const LineWriter& writeLine) {
    constexpr std::string_view prefix = "Failed to read MIDI file: ";
    const auto fail = [&](std::string_view reason) {
        writeLine(std::string(prefix).append(reason));
        return std::nullopt;
    };
    try {
        return smf::MIDIFile::read(file);
    } catch (const smf::DecodeError& error) {
        return fail(error.plainText());
    } catch (const smf::FileReadError& error) {
        return fail(error.what());
    } catch (const std::exception& error) {
        // Out of memory for a huge file, say: still a file that could not be read.
        return fail(error.what());
    }
}

BarTables loadTempoMap(const std::filesystem::path& file, const LineWriter& writeLine) {
    const auto midiFile = readMIDIFile(file, writeLine);
    if (!midiFile) {
        return {};
    }
    writeLine("Loaded MIDI file");
    return tempoMapOf(*midiFile);
}

BarTables makeFixedTempoMap(std::int64_t numerator, std::int64_t denominator, float tempo) {
    // Refused before dividing: a memo cue's notes are typed by hand.
    if (!(tempo > 0.0f) || numerator <= 0 || denominator <= 0) {
        return {};
    }
    const float barDuration =
        (60.0f / tempo) * static_cast<float>(numerator) * (4.0f / static_cast<float>(denominator));
    if (!std::isfinite(barDuration) || !(barDuration > 0.0f)) {
        return {};
    }
    constexpr int fixedBarCount = 1000;
    BarTables tables;
    tables.barStartTimes.reserve(fixedBarCount + 1);
    tables.barBeatCounts.reserve(fixedBarCount + 1);
    tables.barStartTimes.push_back(0.0f);
    tables.barBeatCounts.push_back(0);
    for (int i = 0; i < fixedBarCount; ++i) {
        tables.barStartTimes.push_back(barDuration * static_cast<float>(i));
        tables.barBeatCounts.push_back(numerator);
    }
    return tables;
}

} // namespace carvo
