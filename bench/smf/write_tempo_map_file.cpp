// Writes the tempo map benchmark's MIDI file, for timing carvo-bars as a whole process:
// carvo-smf-bench-file FILE [BYTES] (default 13700000 bytes).

#include "bench_files.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: carvo-smf-bench-file FILE [BYTES]\n", stderr);
        return 2;
    }
    std::size_t target = 13'700'000;
    if (argc == 3) {
        const std::string_view text(argv[2]);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), target);
        if (error != std::errc{} || end != text.data() + text.size()) {
            std::fputs("carvo-smf-bench-file: BYTES must be a whole number\n", stderr);
            return 2;
        }
    }
    const auto bytes = carvo::bench::tempoMapFile(target);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
