#!/usr/bin/env bash
# carvo-bars as an operator runs it, timed as a whole process on the tempo map benchmark's file
# (about 13.7 MB, 3.7 million events): five runs under /usr/bin/time -v, then the median wall
# time, the throughput it gives and the median peak resident memory.
#   bench/smf/carvo_bars_process.sh [BUILD_FOLDER]   (default build/release)
# /usr/bin/time reports wall time in hundredths of a second only, so each run is also timed here
# in nanoseconds around it; its own start-up is in that time.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."

build=${1:-build/release}
bars=$build/src/app/carvo-bars
writer=$build/bench/smf/carvo-smf-bench-file
runs=5
for program in "$bars" "$writer"; do
    [ -x "$program" ] || { echo "carvo_bars_process: $program is not built" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "carvo_bars_process: needs /usr/bin/time (package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/score.mid
"$writer" "$file"
bytes=$(stat -c %s "$file")
"$bars" "$file" >/dev/null # the file in the page cache, as after any earlier jump

for run in $(seq "$runs"); do
    start=$(date +%s%N)
    /usr/bin/time -v "$bars" "$file" >/dev/null 2>"$work/time.$run"
    end=$(date +%s%N)
    echo $((end - start)) >>"$work/nanoseconds"
    sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.$run" >>"$work/kilobytes"
done

median() { sort -n "$1" | sed -n "$(((runs + 1) / 2))p"; }
nanoseconds=$(median "$work/nanoseconds")
kilobytes=$(median "$work/kilobytes")
awk -v ns="$nanoseconds" -v kb="$kilobytes" -v bytes="$bytes" -v runs="$runs" 'BEGIN {
    printf "carvo-bars on %.1f MB, median of %d runs: %.1f ms wall, %.0f MB/s, %.1f MiB peak resident\n",
           bytes / 1e6, runs, ns / 1e6, bytes / (ns / 1e9) / 1e6, kb / 1024
}'
