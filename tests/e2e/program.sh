#!/bin/bash
# One demo program run from the bin folder under a private X server: the
# picture shows the map, the program reacts (or, for isoview, does not) as
# its scene says, and ESC ends it with status 0. With --shader the program
# draws through the shader renderer on a core context, where Mesa reports
# on standard error every call the context refuses (a fixed-function one,
# say), and the test fails on any.
# Usage: program.sh BIN_FOLDER PROGRAM [--shader]
set -u
source "$(dirname "$0")/e2e_lib.sh"
bin=$1
program=$2
option=${3:-}
[ -z "$option" ] || [ "$option" = --shader ] || fail "unknown option $option"
[ -n "$option" ] && export MESA_DEBUG=1
case $program in
    shipdemo) title='TilvoGL: Vorlane, i,j,k,l = move ship, ESC=exit' ;;
    spinlit) title='TilvoGL: Q,A,W,S,E,D=rotate, V=spin on/off, T=timing method, ESC=exit' ;;
    spinblend) title='TilvoGL: Q,A,W,S,E,D=rotate, T=timing method, ESC=exit' ;;
    isoview) title='TilvoGL: Unfinished example, iso style viewpoint, V=spin on/off, ESC=exit' ;;
    *) fail "unknown program $program" ;;
esac
start_display

cd "$bin" || fail "no folder $bin"
"./$program" $option 2>"$E2E_WORK/stderr" &
pid=$!
E2E_PIDS+=($pid)
window=$(wait_program_window "$title" "$pid") ||
    fail "no window titled '$title'; stderr: $(cat "$E2E_WORK/stderr")"
size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$size" = "640x480" ] || fail "window is $size, expected 640x480"
shots=$E2E_WORK/$program
# The first frame can take seconds on a busy machine (spinlit compiles its
# list first): wait for a picture rather than a fixed time.
for _ in $(seq 30); do
    sleep 0.5
    screenshot "$window" "$shots-1.png"
    [ "$(colour_count "$shots-1.png")" -gt 200 ] && break
done
expect_picture "$shots-1.png"

# Pixels of the ship's red fins, as a bounding box WxH+X+Y.
red_box() {
    convert "$1" -fx '(r > 0.6 && g < 0.25 && b < 0.25) ? 1 : 0' -format '%@' info:
}

# Share of pixels, in percent, that differ between two screenshots.
percent_changed() {
    echo $(( $(pixel_difference "$1" "$2") * 100 / (640 * 480) ))
}

case $program in
shipdemo)
    # Holding l moves the ship to the right of the picture.
    before=$(red_box "$shots-1.png")
    xdotool windowfocus --sync "$window"
    xdotool keydown l
    sleep 1
    xdotool keyup l
    sleep 0.3
    screenshot "$window" "$shots-2.png"
    after=$(red_box "$shots-2.png")
    echo "ship fins before $before, after holding l $after"
    x0=${before#*+}; x0=${x0%%+*}
    x1=${after#*+}; x1=${x1%%+*}
    [ "$x1" -gt $((x0 + 20)) ] || fail "the ship did not move right: $before -> $after"
    ;;
spinlit)
    # Spinning by itself; still after v, with animations frozen in the list.
    sleep 1
    screenshot "$window" "$shots-2.png"
    moving=$(percent_changed "$shots-1.png" "$shots-2.png")
    send_keys "$window" v
    sleep 0.5
    screenshot "$window" "$shots-3.png"
    sleep 1.5
    screenshot "$window" "$shots-4.png"
    still=$(pixel_difference "$shots-3.png" "$shots-4.png")
    echo "spinning: $moving % changed in 1 s; spin off: $still pixels changed in 1.5 s"
    [ "$moving" -ge 5 ] || fail "the map does not spin ($moving % changed)"
    # Consecutive frames use the two halves of the depth range, whose
    # rounding can settle a pixel of two coplanar caps either way.
    [ "$still" -le 150 ] || fail "the picture changes with the spin off ($still pixels)"
    ;;
spinblend)
    # Only animated cells change without keys; a turn changes much more.
    sleep 1.5
    screenshot "$window" "$shots-2.png"
    idle=$(percent_areas_changed "$shots-1.png" "$shots-2.png")
    send_keys "$window" w w w
    sleep 0.5
    screenshot "$window" "$shots-3.png"
    turned=$(percent_areas_changed "$shots-2.png" "$shots-3.png")
    echo "without keys: $idle % of areas changed in 1.5 s; after w w w: $turned %"
    [ "$idle" -le 2 ] || fail "the picture changes by itself ($idle % of areas)"
    [ "$turned" -ge 20 ] || fail "w did not turn the sheet ($turned % of areas)"
    ;;
isoview)
    # The view stays fixed, also after the keys the title mentions.
    send_keys "$window" v q e t V
    sleep 1.5
    screenshot "$window" "$shots-2.png"
    fixed=$(percent_areas_changed "$shots-1.png" "$shots-2.png")
    echo "after 1.5 s and keys v q e t V: $fixed % of areas changed"
    [ "$fixed" -le 2 ] || fail "the view moved ($fixed % of areas changed)"
    ;;
esac

send_keys "$window" Escape
wait_exit "$pid" 10
[ "$EXIT_STATUS" = 0 ] || fail "ESC ended $program with status $EXIT_STATUS"
[ ! -s "$E2E_WORK/stderr" ] || fail "$program wrote to stderr: $(cat "$E2E_WORK/stderr")"
echo "$program $option: picture, keys and ESC as expected"
