#include "engine/tempo_map.h"

#include "base/lines.h"

#include "smf/visit_events.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

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

struct TickedMark {
    Tick tick = 0;
    std::string name;
};

struct Changes {
    std::vector<std::pair<Tick, Change>> byTick; // ascending, one entry a tick
    Tick lastTick = 0;                           // the greatest tick of any counted event
    std::vector<TickedMark> marks;               // ascending, file order at one tick
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

// Gathers the changes from each track's events in file order. The same collector serves a decoded
// file's event tables and a decoding that keeps no table, so both give the same changes.
class ChangeCollector {
public:
    void beginTrack() { m_tick = 0; }

    template <class P> void operator()(smf::DeltaTime delta, const P& payload) {
        if (!delta.isTicks()) {
            return; // a note-value delta is not a position in the file; nothing passes
        }
        m_tick = advancedBy(m_tick, delta.tickCount());
        if constexpr (std::is_same_v<P, smf::Tempo>) {
            // A file's tempos are always clamped into range; one built in memory may not be,
            // and a tempo of zero would make every later time infinite.
            if (std::isfinite(payload.bpm) && payload.bpm > 0.0) {
                m_found.push_back({m_tick, Change{payload.bpm, std::nullopt}});
            }
        } else if constexpr (std::is_same_v<P, smf::Text>) {
            // Markers name the places of the score; cue points serve only a file without them.
            using Type = smf::Text::EventType;
            if (payload.textType == Type::marker && !payload.text.empty()) {
                m_markers.push_back({m_tick, payload.text.str()});
            } else if (payload.textType == Type::cuePoint && !payload.text.empty()) {
                m_cuePoints.push_back({m_tick, payload.text.str()});
            }
        } else if constexpr (std::is_same_v<P, smf::TimeSignature>) {
            const unsigned exponent = payload.denominator;
            if (exponent < firstUnusableExponent) {
                m_found.push_back(
                    {m_tick,
                     Change{std::nullopt, Meter{payload.numerator, std::int64_t{1} << exponent}}});
            }
        }
        m_lastTick = std::max(m_lastTick, m_tick);
    }

    // The changes by tick. At one tick a later change replaces an earlier one of its kind, later
    // in its track or in a later track; a tempo and a time signature there stand side by side.
    Changes changes() && {
        // Each track's changes come in tick order; only a file of several tracks with changes
        // needs sorting, and a stable sort keeps the file order at each tick.
        const auto byTickOnly = [](const auto& a, const auto& b) { return a.first < b.first; };
        if (!std::is_sorted(m_found.begin(), m_found.end(), byTickOnly)) {
            std::stable_sort(m_found.begin(), m_found.end(), byTickOnly);
        }
        Changes changes;
        changes.lastTick = m_lastTick;
        changes.marks = std::move(m_markers.empty() ? m_cuePoints : m_markers);
        std::stable_sort(changes.marks.begin(), changes.marks.end(),
                         [](const auto& a, const auto& b) { return a.tick < b.tick; });
        changes.byTick.reserve(m_found.size());
        for (const auto& [tick, change] : m_found) {
            if (changes.byTick.empty() || changes.byTick.back().first != tick) {
                changes.byTick.emplace_back(tick, change);
                continue;
            }
            Change& atTick = changes.byTick.back().second;
            if (change.tempo) {
                atTick.tempo = change.tempo;
            }
            if (change.meter) {
                atTick.meter = change.meter;
            }
        }
        return changes;
    }

private:
    std::vector<std::pair<Tick, Change>> m_found; // in file order, one change each
    std::vector<TickedMark> m_markers;
    std::vector<TickedMark> m_cuePoints;
    Tick m_tick = 0;
    Tick m_lastTick = 0;
};

std::int64_t ticksPerQuarterOf(smf::TimeBase timeBase) {
    return timeBase.isMusical() ? std::int64_t{timeBase.ticksPerQuarterNote()}
                                : timecodeTicksPerQuarter;
}

// Each mark goes to the bar whose span holds its tick: from the tick where the bar begins up to,
// not including, the next bar's. The last bar ends at endTick; a mark past it (a walk cut short
// by the bar limit) has no bar and is left out.
void placeMarks(BarTables& tables, const std::vector<TickedMark>& marks,
                const std::vector<Tick>& barTicks, Tick endTick) {
    for (const TickedMark& mark : marks) {
        if (mark.tick >= endTick) {
            break;
        }
        const auto after = std::upper_bound(barTicks.begin(), barTicks.end(), mark.tick);
        tables.marks.push_back({static_cast<std::int64_t>(after - barTicks.begin()), mark.name});
    }
}

BarTables walk(const Changes& changes, std::int64_t ticksPerQuarter) {
    double tempo = defaultTempo;
    Meter meter = defaultMeter;
    if (!changes.byTick.empty() && changes.byTick.front().first == 0) {
        tempo = changes.byTick.front().second.tempo.value_or(defaultTempo);
        meter = changes.byTick.front().second.meter.value_or(defaultMeter);
    }
    std::int64_t ticksPerBar = ticksPerBarOf(ticksPerQuarter, meter);

    // The placeholder, then bar 1.
    BarTables tables{{0.0f, 0.0f}, {0, meter.numerator}};
    const auto barCount = [&tables] { return tables.barStartTimes.size() - 1; };
    // Where each bar begins, from bar 1, and where the last one ends: the marks' bars.
    std::vector<Tick> barTicks{0};
    if (ticksPerBar <= 0) {
        // No bar line could ever be placed after bar 1, which runs on without end.
        placeMarks(tables, changes.marks, barTicks, std::numeric_limits<Tick>::max());
        return tables;
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
            // A signature without length: the bars so far are all there is, the last of them
            // running on without end.
            placeMarks(tables, changes.marks, barTicks, std::numeric_limits<Tick>::max());
            return tables;
        }
        if (reachesBarLine) {
            tables.barStartTimes.push_back(roundedToMillisecond(elapsed));
            tables.barBeatCounts.push_back(meter.numerator);
            barTicks.push_back(nextBarLine);
            nextBarLine += ticksPerBar;
        }
        tempo = tempoAfter;
        position = newPosition;
    } while (position <= changes.lastTick && barCount() < maxBarCount);
    placeMarks(tables, changes.marks, barTicks, nextBarLine);
    return tables;
}

} // namespace

LineWriter standardOutput() {
    return [](std::string_view line) { carvo::writeLine(line); };
}

BarTables tempoMapOf(const smf::MIDIFile& file) {
    ChangeCollector collector;
    for (const smf::Track& track : file.tracks()) {
        collector.beginTrack();
        for (const auto& event : track.events) {
            std::visit([&](const auto& payload) { collector(event.delta, payload); }, event.event);
        }
    }
    return walk(std::move(collector).changes(), ticksPerQuarterOf(file.timeBase()));
}

BarTables tempoMapOfBytes(std::span<const std::uint8_t> bytes) {
    ChangeCollector collector;
    const auto header = smf::decodeEvents(bytes, collector);
    return walk(std::move(collector).changes(), ticksPerQuarterOf(header.timeBase));
}

namespace {
// What read gives, or nothing after "Failed to read MIDI file: " and the reason.
template <class Read>
auto readOrSayWhyNot(const LineWriter& writeLine, Read&& read)
    -> std::optional<std::decay_t<decltype(read().value())>> {
    constexpr std::string_view prefix = "Failed to read MIDI file: ";
    const auto fail = [&](std::string_view reason) {
        writeLine(std::string(prefix).append(reason));
        return std::nullopt;
    };
    try {
        auto result = read();
        if (!result) {
            return fail(result.error().plainText());
        }
        return std::move(result).value();
    } catch (const std::bad_alloc& error) {
        // The reader reports every problem of the file as its result; running out of memory for a
        // huge file is not one of them, but it is still a file that could not be read.
        return fail(error.what());
    }
}
} // namespace

std::optional<smf::MIDIFile> readMIDIFile(const std::filesystem::path& file,
                                          const LineWriter& writeLine) {
    return readOrSayWhyNot(writeLine, [&] { return smf::MIDIFile::tryRead(file); });
}

std::optional<BarTables> readTempoMap(const std::filesystem::path& file,
                                      const LineWriter& writeLine) {
    return readOrSayWhyNot(writeLine, [&]() -> smf::Result<BarTables> {
        ChangeCollector collector;
        const auto header = smf::tryReadEvents(file, collector);
        if (!header) {
            return bytes::fail(header.error());
        }
        return walk(std::move(collector).changes(), ticksPerQuarterOf(header->timeBase));
    });
}

BarTables loadTempoMap(const std::filesystem::path& file, const LineWriter& writeLine) {
    auto tables = readTempoMap(file, writeLine);
    if (!tables) {
        return {};
    }
    writeLine("Loaded MIDI file");
    return std::move(*tables);
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
