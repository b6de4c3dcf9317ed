#!/bin/bash
# The fullscreen question on its own: it shows its text and buttons; y and
# Enter answer yes, n and Escape answer no, and so do clicks on the buttons;
# the box is gone once answered.
# Usage: question.sh BIN_FOLDER
set -u
source "$(dirname "$0")/e2e_lib.sh"
bin=$1
start_display

ask() {  # ask OUTPUT_FILE: starts the probe in the background
    "$bin/question_probe" >"$1" 2>"$E2E_WORK/probe.err" &
    E2E_PIDS+=($!)
    PROBE_PID=$!
    QUESTION=$(wait_window '^TilvoGL$') || fail "no question window"
    sleep 0.5
}

expect_answer() {  # expect_answer OUTPUT_FILE ANSWER HOW
    local i
    for i in $(seq 50); do
        [ -s "$1" ] && break
        sleep 0.1
    done
    [ "$(cat "$1")" = "$2" ] || fail "$3 answered '$(cat "$1")', expected $2"
    # The probe waits 2 s after answering; by then the box must be gone.
    [ -z "$(xdotool search --name '^TilvoGL$' 2>/dev/null)" ] || fail "$3 left the box open"
    wait_exit "$PROBE_PID" 10
    [ "$EXIT_STATUS" = 0 ] || fail "$3: probe ended with $EXIT_STATUS"
}

ask "$E2E_WORK/answer-y"
screenshot "$QUESTION" "$E2E_WORK/question.png"
[ "$(colour_count "$E2E_WORK/question.png")" -gt 2 ] || fail "question box is blank"
size=$(identify -format '%wx%h' "$E2E_WORK/question.png")
[ "$size" = "280x110" ] || fail "question box is $size"
send_keys "$QUESTION" y
expect_answer "$E2E_WORK/answer-y" yes "key y"

ask "$E2E_WORK/answer-n"
send_keys "$QUESTION" n
expect_answer "$E2E_WORK/answer-n" no "key n"

ask "$E2E_WORK/answer-enter"
send_keys "$QUESTION" Return
expect_answer "$E2E_WORK/answer-enter" yes "Enter"

ask "$E2E_WORK/answer-escape"
send_keys "$QUESTION" Escape
expect_answer "$E2E_WORK/answer-escape" no "Escape"

# Clicks: Yes at (90, 75), No at (190, 75) inside the box.
ask "$E2E_WORK/answer-click-no"
xdotool mousemove --window "$QUESTION" 190 75 click 1
expect_answer "$E2E_WORK/answer-click-no" no "a click on No"

ask "$E2E_WORK/answer-click-yes"
xdotool mousemove --window "$QUESTION" 90 75 click 1
expect_answer "$E2E_WORK/answer-click-yes" yes "a click on Yes"

echo "question box: all answers right"
