# Shared by the end-to-end command scripts (sourced): failures counted, bounded waits on files,
# and the MIDI file their simulated workspaces point at.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# write_tempo_midi FILE: 480 ticks per quarter, 120 beats per minute in 4/4 (2.0 s a bar), one
# note in bar 32.
write_tempo_midi() {
    printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\31' > "$1"
    printf '\0\377\121\3\7\241\40\0\377\130\4\4\2\30\10\203\330\100\220\74\144\0\377\57\0' >> "$1"
}

# Waits (bounded, 10 s) until FILE holds the whole LINE; wait_for_text: the TEXT anywhere.
wait_for_line() {
    for _ in $(seq 100); do
        grep -qxF -- "$2" "$1" && return 0
        sleep 0.1
    done
    return 1
}
wait_for_text() {
    for _ in $(seq 100); do
        grep -qF -- "$2" "$1" && return 0
        sleep 0.1
    done
    return 1
}
