// Decoding speed of the MIDI file reader: a jump decodes its file afresh every time.

#include "bench_files.h"
#include "engine/tempo_map.h"
#include "smf/midi_file.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace {

using carvo::bench::Bytes;
using carvo::bench::denseFile;
using carvo::bench::tempoMapFile;
using carvo::bench::typicalFile;

void decodeBenchmark(benchmark::State& state, const Bytes& bytes) {
    std::size_t events = 0;
    const auto counted = carvo::smf::MIDIFile::decode(bytes);
    for (const auto& track : counted.tracks())
        events += track.get().events.size();
    for (auto _ : state) {
        auto file = carvo::smf::MIDIFile::decode(bytes);
        benchmark::DoNotOptimize(file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
    state.counters["events"] = benchmark::Counter(static_cast<double>(events),
                                                  benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void DenseTenMegabytes(benchmark::State& state) {
    static const Bytes bytes = denseFile(10 * 1000 * 1000);
    decodeBenchmark(state, bytes);
}
BENCHMARK(DenseTenMegabytes)->Unit(benchmark::kMillisecond);

void TypicalHundredKilobytes(benchmark::State& state) {
    static const Bytes bytes = typicalFile(112 * 1000);
    decodeBenchmark(state, bytes);
}
BENCHMARK(TypicalHundredKilobytes)->Unit(benchmark::kMicrosecond);

// The tempo map of a file on disk, as a jump builds it: read, decoded, walked. The file is
// written once and removed when the program ends.
class TempoMapFileOnDisk {
public:
    TempoMapFileOnDisk()
        : m_path(std::filesystem::temp_directory_path() /
                 ("carvo-bench-tempo-map-" + std::to_string(::getpid()) + ".mid")),
          m_size(write(m_path, tempoMapFile(13'700'000))) {}
    ~TempoMapFileOnDisk() {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    TempoMapFileOnDisk(const TempoMapFileOnDisk&) = delete;
    TempoMapFileOnDisk& operator=(const TempoMapFileOnDisk&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::size_t size() const { return m_size; }

private:
    static std::size_t write(const std::filesystem::path& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return bytes.size();
    }

    std::filesystem::path m_path;
    std::size_t m_size;
};

const TempoMapFileOnDisk& tempoMapFileOnDisk() {
    static const TempoMapFileOnDisk file;
    return file;
}

template <class Build> void tempoMapBenchmark(benchmark::State& state, Build&& build) {
    const TempoMapFileOnDisk& file = tempoMapFileOnDisk();
    std::size_t events = 0;
    const auto counted = carvo::smf::MIDIFile::read(file.path());
    for (const auto& track : counted.tracks())
        events += track.get().events.size();
    std::size_t bars = 0;
    for (auto _ : state) {
        const carvo::BarTables tables = build(file.path());
        bars = tables.barStartTimes.size() - 1;
        benchmark::DoNotOptimize(tables);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
    state.counters["events"] = benchmark::Counter(static_cast<double>(events),
                                                  benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bars"] = static_cast<double>(bars);
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void ignoreLine(std::string_view) {}

// Through a MIDIFile and its event tables, as the tempo map was built before it read events one
// at a time.
void TempoMapThroughEventTables(benchmark::State& state) {
    tempoMapBenchmark(state, [](const std::filesystem::path& path) {
        return carvo::tempoMapOf(*carvo::readMIDIFile(path, ignoreLine));
    });
}
BENCHMARK(TempoMapThroughEventTables)->Unit(benchmark::kMillisecond);

// Checking every event without keeping any, as loadTempoMap and carvo-bars do.
void TempoMapWithoutEventTables(benchmark::State& state) {
    tempoMapBenchmark(state, [](const std::filesystem::path& path) {
        return *carvo::readTempoMap(path, ignoreLine);
    });
}
BENCHMARK(TempoMapWithoutEventTables)->Unit(benchmark::kMillisecond);

} // namespace
