#!/bin/bash
# spinlit and isoview on 50 x 50 columns of 63 cubes (635 000 faces): the
# fixed-function paths refuse the map in one line, as a frame would take
# seconds; with --shader both draw it. Columns of 1023 cubes are refused on
# every path.
# Usage: tall_columns.sh BIN_FOLDER
set -u
source "$(dirname "$0")/e2e_lib.sh"
bin=$(cd "$1" && pwd) || fail "no folder $1"
start_display
folder=$E2E_WORK/tall
mkdir -p "$folder"
"$bin/tall_columns_map" "$folder/TEST2A.FMP" || fail "cannot write the map"
cd "$folder" || fail "no folder $folder"

for program in spinlit isoview; do
    case $program in
        spinlit) title='TilvoGL: Q,A,W,S,E,D=rotate, V=spin on/off, T=timing method, ESC=exit' ;;
        isoview) title='TilvoGL: Unfinished example, iso style viewpoint, V=spin on/off, ESC=exit' ;;
    esac

    "$bin/$program" 2>"$E2E_WORK/$program.err" &
    pid=$!
    E2E_PIDS+=($pid)
    question=$(wait_window '^TilvoGL$' 1) && send_keys "$question" n
    wait_exit "$pid" 15
    [ "$EXIT_STATUS" = 1 ] || fail "$program ended with status $EXIT_STATUS on 635 000 faces"
    grep -q "^$program: cannot draw map \"TEST2A.FMP\": its 50 x 50 window has 635000 block faces, more than the limit" \
        "$E2E_WORK/$program.err" || fail "$program wrote '$(cat "$E2E_WORK/$program.err")'"
    echo "$program: $(cat "$E2E_WORK/$program.err")"

    MESA_DEBUG=1 "$bin/$program" --shader 2>"$E2E_WORK/$program-shader.err" &
    pid=$!
    E2E_PIDS+=($pid)
    window=$(wait_program_window "$title" "$pid") ||
        fail "$program --shader: no window; stderr: $(cat "$E2E_WORK/$program-shader.err")"
    shot=$E2E_WORK/$program-tall.png
    for _ in $(seq 40); do
        sleep 0.5
        screenshot "$window" "$shot"
        [ "$(colour_count "$shot")" -gt 200 ] && break
    done
    expect_picture "$shot"
    send_keys "$window" Escape
    wait_exit "$pid" 20
    [ "$EXIT_STATUS" = 0 ] || fail "ESC ended $program --shader with status $EXIT_STATUS"
    [ ! -s "$E2E_WORK/$program-shader.err" ] ||
        fail "$program --shader wrote to stderr: $(cat "$E2E_WORK/$program-shader.err")"
    echo "$program --shader: draws the 635 000 faces"
done

# Columns of 1023 cubes: 10 million faces, refused on the shader path as
# well.
"$bin/tall_columns_map" "$folder/TEST2A.FMP" 1023 || fail "cannot write the towering map"
for program in spinlit isoview; do
    "$bin/$program" --shader 2>"$E2E_WORK/$program-towering.err" &
    pid=$!
    E2E_PIDS+=($pid)
    question=$(wait_window '^TilvoGL$' 1) && send_keys "$question" n
    wait_exit "$pid" 15
    [ "$EXIT_STATUS" = 1 ] || fail "$program --shader ended with status $EXIT_STATUS on columns of 1023 cubes"
    grep -q "^$program: cannot draw map \"TEST2A.FMP\": its 50 x 50 window has 10235000 block faces, more than the limit of 3000000" \
        "$E2E_WORK/$program-towering.err" || fail "$program --shader wrote '$(cat "$E2E_WORK/$program-towering.err")'"
    echo "$program --shader: $(cat "$E2E_WORK/$program-towering.err")"
done
