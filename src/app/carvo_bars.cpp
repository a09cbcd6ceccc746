// carvo-bars: prints where each bar of a piece begins, from its MIDI file or from one fixed
// tempo, so an operator can check a tempo description before a show. Standard output carries the
// table only; failures go to standard error.

#include "base/lines.h"
#include "base/numbers.h"
#include "engine/tempo_map.h"
#include "smf/midi_file.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

constexpr std::string_view usageText =
    "usage: carvo-bars FILE.mid [--first-bar N] [--events]\n"
    "       carvo-bars --fixed TEMPO NUMERATOR DENOMINATOR [--first-bar N]\n"
    "\n"
    "Prints one line per bar: bar number, start in seconds, beats (tab-separated).\n"
    "  --first-bar N  the number of the score's first bar (default 1)\n"
    "  --fixed        one tempo in beats per minute and one time signature, e.g. 120 3 4\n"
    "  --events       print each track's events instead: track, absolute tick, event\n";

struct Options {
    std::optional<std::string> file;
    bool fixed = false;
    float tempo = 0.0f;
    std::int64_t numerator = 0;
    std::int64_t denominator = 0;
    std::int64_t firstBar = 1;
    bool events = false;
};

int usageError(std::string_view problem) {
    carvo::writeText(carvo::Stream::error,
                     std::string("carvo-bars: ").append(problem).append("\n\n"));
    carvo::writeText(carvo::Stream::error, usageText);
    return exitUsage;
}

// Returns the problem with the arguments, or nothing when they are good.
std::optional<std::string> parse(const std::vector<std::string_view>& args, Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto remaining = args.size() - i - 1;
        if (arg == "--first-bar") {
            const auto value = remaining >= 1 ? carvo::parseStrictInt64(args[i + 1]) : std::nullopt;
            if (!value) {
                return "--first-bar needs a whole number";
            }
            options.firstBar = *value;
            i += 1;
        } else if (arg == "--fixed") {
            if (remaining < 3) {
                return "--fixed needs TEMPO NUMERATOR DENOMINATOR";
            }
            const auto tempo = carvo::parseStrictFloat(args[i + 1]);
            const auto numerator = carvo::parseStrictInt64(args[i + 2]);
            const auto denominator = carvo::parseStrictInt64(args[i + 3]);
            if (!tempo || !numerator || !denominator) {
                return "--fixed needs a number and two whole numbers";
            }
            options.fixed = true;
            options.tempo = *tempo;
            options.numerator = *numerator;
            options.denominator = *denominator;
            i += 3;
        } else if (arg == "--events") {
            options.events = true;
        } else if (arg.starts_with("-") && arg.size() > 1) {
            return "unknown option " + std::string(arg);
        } else if (options.file) {
            return "only one MIDI file at a time";
        } else {
            options.file = std::string(arg);
        }
    }
    if (options.fixed == options.file.has_value()) {
        return "give either a MIDI file or --fixed";
    }
    if (options.events && options.fixed) {
        return "--events needs a MIDI file";
    }
    return std::nullopt;
}

int printBars(const carvo::BarTables& tables, std::int64_t firstBar) {
    const auto barCount = static_cast<std::int64_t>(tables.barStartTimes.size()) - 1;
    // bar = index + first bar − 1 must stay a signed 64-bit number up to the last bar.
    if (barCount > 0 && firstBar > std::numeric_limits<std::int64_t>::max() - (barCount - 1)) {
        return usageError("--first-bar is too large for " + std::to_string(barCount) + " bars");
    }
    std::string table;
    for (std::int64_t index = 1; index <= barCount; ++index) {
        const auto entry = static_cast<std::size_t>(index);
        table.append(std::to_string(firstBar + (index - 1)))
            .append("\t")
            .append(carvo::shortestDecimal(tables.barStartTimes[entry]))
            .append("\t")
            .append(std::to_string(tables.barBeatCounts[entry]))
            .append("\n");
    }
    carvo::writeText(carvo::Stream::output, table);
    return 0;
}

int printEvents(const carvo::smf::MIDIFile& file) {
    std::string listing;
    std::size_t trackNumber = 0;
    for (const carvo::smf::Track& track : file.tracks()) {
        ++trackNumber;
        std::uint64_t tick = 0; // the sum of 32-bit deltas cannot wrap 64 bits in any real file
        for (const auto& event : track.events) {
            tick += event.delta.tickCount();
            listing.append(std::to_string(trackNumber))
                .append("\t")
                .append(std::to_string(tick))
                .append("\t")
                .append(event.eventDescription())
                .append("\n");
        }
    }
    carvo::writeText(carvo::Stream::output, listing);
    return 0;
}

void writeLineToStderr(std::string_view line) {
    carvo::writeText(carvo::Stream::error, std::string(line).append("\n"));
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        carvo::writeText(carvo::Stream::output, usageText);
        return 0;
    }
    Options options;
    if (const auto problem = parse(args, options)) {
        return usageError(*problem);
    }

    if (options.fixed) {
        const auto tables =
            carvo::makeFixedTempoMap(options.numerator, options.denominator, options.tempo);
        if (tables.barStartTimes.empty()) {
            return usageError("this tempo and time signature give bars of no finite length");
        }
        return printBars(tables, options.firstBar);
    }

    if (options.events) {
        const auto file = carvo::readMIDIFile(*options.file, writeLineToStderr);
        return file ? printEvents(*file) : exitFailure;
    }
    // The bar table needs no event table: the file is checked event by event as it is read.
    const auto tables = carvo::readTempoMap(*options.file, writeLineToStderr);
    return tables ? printBars(*tables, options.firstBar) : exitFailure;
}
