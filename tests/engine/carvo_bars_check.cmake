# Runs carvo-bars as an operator would and checks its output and exit status.
# cmake -DBARS=<carvo-bars> -DDEMO=<demo/overture.mid> -DNOT_MIDI=<any non-MIDI file>
#       -DWORK=<scratch folder> -P carvo_bars_check.cmake

set(failures 0)
macro(fail text)
    message(SEND_ERROR "${text}")
    math(EXPR failures "${failures} + 1")
endmacro()

# run(<name> args...): sets <name>_out, <name>_err, <name>_status.
function(run name)
    execute_process(COMMAND ${BARS} ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err
                    RESULT_VARIABLE status)
    set(${name}_out "${out}" PARENT_SCOPE)
    set(${name}_err "${err}" PARENT_SCOPE)
    set(${name}_status "${status}" PARENT_SCOPE)
endfunction()

macro(expect_status name expected)
    if(NOT "${${name}_status}" STREQUAL "${expected}")
        fail("${name}: exit status ${${name}_status}, expected ${expected}\n${${name}_err}")
    endif()
endmacro()

macro(expect_line name line)
    string(FIND "\n${${name}_out}" "\n${line}\n" at)
    if(at EQUAL -1)
        fail("${name}: no line '${line}' in\n${${name}_out}")
    endif()
endmacro()

macro(expect_line_count name count)
    string(REGEX MATCHALL "\n" feeds "${${name}_out}")
    list(LENGTH feeds lines)
    if(NOT lines EQUAL ${count})
        fail("${name}: ${lines} lines, expected ${count}")
    endif()
endmacro()

# The demo score with its first bar numbered 9 (see demo/overture.abc):
# 8 bars of 4/4 at 120 (2.0 s), 8 of 3/4 at 120 (1.5 s), 8 of 4/4 at 90 (quarter 666666 µs,
# 2.666664 s), 4 of 6/8 (1.999998 s), 4 of 4/4 at 144 (quarter 416666 µs, 1.666664 s); the
# music ends on the line after the 32nd bar, so the table runs on to the 34th: bars 9 to 42.
run(demo ${DEMO} --first-bar 9)
expect_status(demo 0)
expect_line(demo "9\t0.0\t4")
expect_line(demo "10\t2.0\t4")
expect_line(demo "17\t16.0\t3")             # 8 × 2.0
expect_line(demo "25\t28.0\t4")             # 16.0 + 8 × 1.5
expect_line(demo "33\t49.333\t6")           # 28.0 + 8 × 2.666664 = 49.333312
expect_line(demo "37\t57.333\t4")           # 49.333312 + 4 × 1.999998 = 57.33330
expect_line(demo "41\t64.0\t4")             # 57.3333 + 4 × 1.666664 = 63.99996
expect_line(demo "42\t65.667\t4")
expect_line_count(demo 34)
if(demo_out MATCHES "Loaded")
    fail("demo: standard output holds more than the table")
endif()

run(plain ${DEMO})
expect_line(plain "1\t0.0\t4")
expect_line(plain "34\t65.667\t4")

# 6/8 at 90: (60 ÷ 90) × 6 × (4 ÷ 8) = 2.0 s a bar, 1000 bars, no rounding.
run(fixed --fixed 90 6 8 --first-bar -2)
expect_status(fixed 0)
expect_line(fixed "-2\t0.0\t6")
expect_line(fixed "-1\t2.0\t6")
expect_line(fixed "997\t1998.0\t6")
expect_line_count(fixed 1000)
run(third --fixed 180 4 4)
expect_line(third "2\t1.3333334\t4") # 4/3 s kept at full 32-bit precision

run(events ${DEMO} --events)
expect_status(events 0)
string(REGEX MATCH "(^|\n)1\t0\t[^\n]+" first_event "${events_out}")
if(NOT first_event)
    fail("events: no event of track 1 at tick 0")
endif()
expect_line_count(events 279) # 7 + 183 + 89 events; End of Track is not an event
string(REGEX MATCH "\n3\t55680\t[^\n]+\n$" last_event "${events_out}")
if(NOT last_event)
    fail("events: the last event is not track 3's note at tick 55680")
endif()

run(missing ${WORK}/no-such-file.mid)
expect_status(missing 1)
if(NOT missing_err MATCHES "^Failed to read MIDI file: .+")
    fail("missing: standard error '${missing_err}'")
endif()
if(NOT missing_out STREQUAL "")
    fail("missing: printed a table")
endif()

run(not_midi ${NOT_MIDI})
expect_status(not_midi 1)
if(NOT not_midi_err STREQUAL
   "Failed to read MIDI file: malformed(\"Header is not correct. File may not be a MIDI file.\")\n")
    fail("not_midi: standard error '${not_midi_err}'")
endif()

foreach(bad IN ITEMS "" "--first-bar" "--first-bar;x" "--first-bar;1.5" "--fixed;120;4"
                     "--fixed;fast;4;4" "--fixed;0;4;4" "--fixed;120;4;0" "--fixed;120;4;4;--events"
                     "--bogus" "${DEMO};${DEMO}" "${DEMO};--fixed;120;4;4"
                     "${DEMO};--first-bar;9223372036854775807")
    run(bad ${bad})
    expect_status(bad 2)
    if(NOT bad_err MATCHES "usage: carvo-bars")
        fail("'${bad}': no usage message")
    endif()
endforeach()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} check(s) failed")
endif()
