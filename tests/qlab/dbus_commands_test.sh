#!/usr/bin/env bash
# The scripting commands over D-Bus, end to end: run under dbus-run-session with
#   dbus_commands_test.sh CARVO CARVO_CTL WORK_DIR PORT
# A headless carvo with a simulated QLab takes "carvo-ctl run" and jumps; Chase with an empty
# dictionary writes the missing-cue-ID line; without a session bus carvo runs on.
set -u
carvo=$1 ctl=$2 work=$3 port=$4
# shellcheck source=../support/command_test_lib.sh
. "$(dirname "$0")/../support/command_test_lib.sh"

rm -rf "$work" && mkdir -p "$work"
midi=$work/tempo.mid
write_tempo_midi "$midi"
cat > "$work/workspace.json" <<JSON
{ "running": true, "workspaces": [ { "name": "Show", "selected": ["G1"], "dialogAnswers": ["17"],
  "cues": [ { "uniqueID": "G1", "number": "1", "name": "Overture", "type": "Group",
    "children": [ { "uniqueID": "M1", "type": "MIDI File", "notes": "9", "fileTarget": "$midi" } ] } ] } ] }
JSON

"$carvo" --headless --port "$port" --settings-dir "$work/settings" \
    --qlab-workspace "$work/workspace.json" --script-log "$work/scripts.log" > "$work/out.txt" 2>&1 &
app=$!
trap 'kill $app 2>/dev/null' EXIT

gdbus wait --session --timeout 30 io.carvo.Carvo || fail "io.carvo.Carvo never appeared"

answer=$("$ctl" run) || fail "carvo-ctl run exited with $?"
[ "$answer" = "Carvo!" ] || fail "carvo-ctl run printed '$answer'"
# The reply comes after the jump: bar 17 typed into QLab's dialog, cue G1 loaded and started.
grep -qxF "G1" "$work/out.txt" || fail "the jump wrote no cue ID line"
grep -qF "load myCue time barTime" "$work/scripts.log" || fail "no load script reached QLab"
grep -qF "set barTime to 16.0" "$work/scripts.log" || fail "bar 17 of a score from bar 9 is not at 16.0 s"

gdbus call --session --dest io.carvo.Carvo --object-path /Carvo \
    --method io.carvo.Carvo.Chase '{}' > /dev/null || fail "Chase({}) failed"
wait_for_line "$work/out.txt" "❌ No cue ID passed from AppleScript" ||
    fail "Chase({}) wrote no missing-cue-ID line"

"$ctl" chase G1 || fail "carvo-ctl chase exited with $?"

kill "$app" && wait "$app"
"$ctl" run 2> "$work/ctl-err.txt" && fail "carvo-ctl run succeeded without carvo"
grep -q "^carvo-ctl: " "$work/ctl-err.txt" || fail "carvo-ctl gave no clear error"
"$ctl" 2> /dev/null
[ $? -eq 2 ] || fail "carvo-ctl without a command did not exit with 2"

# Without a session bus: one diagnostic line, and the server still comes up.
env -u DBUS_SESSION_BUS_ADDRESS DISPLAY= "$carvo" --headless --port "$port" \
    --settings-dir "$work/settings" --qlab-workspace "$work/workspace.json" > "$work/nobus.txt" 2>&1 &
app=$!
wait_for_line "$work/nobus.txt" "✅ Server is ready on 127.0.0.1:$port" || fail "no server without a bus"
kill -0 "$app" 2> /dev/null || fail "carvo ended without a session bus"
[ "$(grep -c "D-Bus" "$work/nobus.txt")" -eq 1 ] || fail "expected one D-Bus diagnostic line"
kill "$app"; wait "$app"

[ $failures -eq 0 ] && echo "all D-Bus command checks passed"
exit $failures
