#!/bin/bash
# Each program started in a folder without its map names the program, the
# map and the reason in one line on standard error and ends with status 1
# before it draws anything.
# Usage: missing_map.sh BIN_FOLDER
set -u
source "$(dirname "$0")/e2e_lib.sh"
bin=$(cd "$1" && pwd) || fail "no folder $1"
start_display
empty=$E2E_WORK/empty
mkdir -p "$empty"
cd "$empty" || fail "no scratch folder"

for program in shipdemo spinlit spinblend isoview; do
    case $program in
        shipdemo) map=VORLA.FMP ;;
        *) map=TEST2A.FMP ;;
    esac
    "$bin/$program" 2>"$E2E_WORK/$program.err" &
    pid=$!
    E2E_PIDS+=($pid)
    # The fullscreen question, if this server offers game mode.
    question=$(wait_window '^TilvoGL$' 1) && send_keys "$question" n
    wait_exit "$pid" 15
    [ "$EXIT_STATUS" = 1 ] || fail "$program without its map ended with status $EXIT_STATUS"
    expected="$program: cannot load map \"$map\": file could not be opened (error 3): No such file or directory"
    [ "$(cat "$E2E_WORK/$program.err")" = "$expected" ] ||
        fail "$program wrote '$(cat "$E2E_WORK/$program.err")', expected '$expected'"
    [ "$(wc -l <"$E2E_WORK/$program.err")" -eq 1 ] || fail "$program wrote more than one line"
    echo "$program: $(cat "$E2E_WORK/$program.err")"
done
