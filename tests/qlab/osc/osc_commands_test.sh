#!/usr/bin/env bash
# Go, chase and stop over OSC, end to end:
#   osc_commands_test.sh CARVO WORK_DIR PORT OSC_PORT
# A headless carvo with a simulated QLab, listening on the port of its "oscCommandPort" setting,
# takes liblo's oscsend on 127.0.0.1 as QLab's Network cues send: the go jumps with the bar typed
# into QLab's dialog, the chase is followed (a remote client hears the jump), stop panics the
# catalogue. A second carvo on the same OSC port says so once and runs on.
set -u
carvo=$1 work=$2 port=$3 osc=$4
command -v oscsend > /dev/null || { echo "oscsend (liblo-tools) is not installed: skipped"; exit 77; }
# shellcheck source=../../support/command_test_lib.sh
. "$(dirname "$0")/../../support/command_test_lib.sh"

rm -rf "$work" && mkdir -p "$work/settings/Carvo"
midi=$work/tempo.mid
write_tempo_midi "$midi"
cat > "$work/workspace.json" <<JSON
{ "running": true, "workspaces": [ { "name": "Show", "selected": ["G1"], "dialogAnswers": ["17"],
  "cues": [ { "uniqueID": "C", "number": "Carvo", "name": "Carvo", "type": "Script" },
    { "uniqueID": "G1", "number": "1", "name": "Overture", "type": "Group",
      "children": [ { "uniqueID": "M1", "type": "MIDI File", "notes": "9", "fileTarget": "$midi" } ] },
    { "uniqueID": "G2", "number": "2", "name": "Waltz", "type": "Group",
      "children": [ { "uniqueID": "N2", "type": "Memo", "notes": "1, 120, 4, 4" },
        { "uniqueID": "A2", "type": "Audio" } ] } ] } ] }
JSON
printf '[General]\noscCommandPort=%s\n' "$osc" > "$work/settings/Carvo/Carvo.conf"

send() { oscsend 127.0.0.1 "$osc" "$@" || fail "oscsend $* exited with $?"; }

"$carvo" --headless --port "$port" --settings-dir "$work/settings" \
    --qlab-workspace "$work/workspace.json" --script-log "$work/scripts.log" > "$work/out.txt" 2>&1 &
app=$! second='' client=''
trap 'kill $app $second $client 2>/dev/null' EXIT
wait_for_line "$work/out.txt" "✅ Server is ready on 127.0.0.1:$port" || fail "carvo never became ready"
grep -qxF "📡 OSC commands on port $osc (UDP and TCP) from this machine only" "$work/out.txt" ||
    fail "carvo does not listen on the port of its setting"

# A remote client hears every jump and keeps the catalogue that stop panics.
exec 3<> "/dev/tcp/127.0.0.1/$port" || fail "no remote connection"
cat <&3 > "$work/client.txt" &
client=$!
printf 'REQUEST CUES' >&3
wait_for_text "$work/client.txt" 'GROUP_CUES: ' || fail "no catalogue"

send /carvo/go
wait_for_text "$work/client.txt" 'QLAB_SELECTED: G1' || fail "/carvo/go did not jump"
grep -qF "set barTime to 16.0" "$work/scripts.log" || fail "bar 17 of a score from bar 9 is not at 16.0 s"

send /carvo/go i 17
wait_for_line "$work/out.txt" \
    "❌ /carvo/go with a bar needs Carvo's OSC connection to QLab; send /carvo/go alone" ||
    fail "/carvo/go 17 did not reach the selected-bar jump"

send /carvo/chase s G2
wait_for_text "$work/client.txt" 'QLAB_SELECTED: G2' || fail "/carvo/chase G2 was not followed"
send /carvo/chase
wait_for_line "$work/out.txt" "❌ No cue ID passed from AppleScript" ||
    fail "/carvo/chase without an ID wrote no missing-cue-ID line"

send /carvo/stop
for _ in $(seq 100); do
    [ "$(grep -c 'panic myCue' "$work/scripts.log")" -ge 2 ] && break
    sleep 0.1
done
[ "$(grep -c 'panic myCue' "$work/scripts.log")" -eq 2 ] || fail "/carvo/stop did not panic G1 and G2"

# The port taken: one line, and the second carvo serves its clients all the same.
"$carvo" --headless --port $((port + 1)) --osc-port "$osc" --settings-dir "$work/settings" \
    --qlab-workspace "$work/workspace.json" > "$work/second.txt" 2>&1 &
second=$!
wait_for_line "$work/second.txt" "✅ Server is ready on 127.0.0.1:$((port + 1))" ||
    fail "the second carvo did not start"
[ "$(grep -c "^❌ Cannot receive OSC commands on port $osc: " "$work/second.txt")" -eq 1 ] ||
    fail "expected one line about the OSC port in use"
kill -0 "$second" 2> /dev/null || fail "the second carvo ended"
kill "$second"; wait "$second" 2> /dev/null

"$carvo" --headless --osc-port x > "$work/bad.txt" 2>&1
[ $? -eq 2 ] || fail "--osc-port x did not exit with 2"

exec 3>&-
kill "$app"; wait "$app" 2> /dev/null
[ $failures -eq 0 ] && echo "all OSC command checks passed"
exit $failures
