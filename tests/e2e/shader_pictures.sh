#!/bin/bash
# The scenes whose view holds still at start-up, isoview and spinblend, drawn
# once through the fixed-function path and once with --shader: the two
# pictures show the same map from the same place. Only animated tiles may
# differ, as the two runs are screenshot at different moments.
# Usage: shader_pictures.sh BIN_FOLDER
set -u
source "$(dirname "$0")/e2e_lib.sh"
bin=$1
start_display
cd "$bin" || fail "no folder $bin"

# Screenshot of PROGRAM [OPTION] once its first frames are drawn, into $3.
picture_of() {
    local program=$1 option=$2 shot=$3 title window pid
    case $program in
        spinblend) title='TilvoGL: Q,A,W,S,E,D=rotate, T=timing method, ESC=exit' ;;
        isoview) title='TilvoGL: Unfinished example, iso style viewpoint, V=spin on/off, ESC=exit' ;;
    esac
    "./$program" $option 2>"$E2E_WORK/stderr" &
    pid=$!
    E2E_PIDS+=($pid)
    window=$(wait_program_window "$title" "$pid") ||
        fail "$program $option: no window; stderr: $(cat "$E2E_WORK/stderr")"
    for _ in $(seq 30); do
        sleep 0.5
        screenshot "$window" "$shot"
        [ "$(colour_count "$shot")" -gt 200 ] && break
    done
    sleep 0.5
    screenshot "$window" "$shot"
    expect_picture "$shot"
    send_keys "$window" Escape
    wait_exit "$pid" 10
    [ "$EXIT_STATUS" = 0 ] || fail "ESC ended $program $option with status $EXIT_STATUS"
}

for program in isoview spinblend; do
    picture_of "$program" "" "$E2E_WORK/$program-fixed.png"
    picture_of "$program" --shader "$E2E_WORK/$program-shader.png"
    areas=$(percent_areas_changed "$E2E_WORK/$program-fixed.png" "$E2E_WORK/$program-shader.png")
    pixels=$(compare -metric AE -fuzz 4% "$E2E_WORK/$program-fixed.png" "$E2E_WORK/$program-shader.png" null: 2>&1 |
             cut -d' ' -f1)
    percent=$((pixels * 100 / (640 * 480)))
    echo "$program: --shader against the fixed-function path: $areas % of areas, $percent % of pixels differ"
    [ "$areas" -le 2 ] || fail "$program --shader shows another picture ($areas % of areas differ)"
    [ "$percent" -le 5 ] || fail "$program --shader differs in $percent % of the pixels"
done
