#!/bin/bash
# fmapview under a private X server, driven by one table of actions and the
# effect each must have on the picture (the map area above the info line)
# and the title. Animations are paused first, so a picture that should not
# change must stay identical.
# Usage: viewer_e2e.sh BIN_FOLDER
set -u
source "$(dirname "$0")/../e2e/e2e_lib.sh"
bin=$(cd "$1" && pwd) || fail "no folder $1"
start_display
cd "$E2E_WORK" || fail "no scratch folder"
cp "$bin/TEST2A.FMP" "$bin/VORLA.FMP" . || fail "no demo maps in $bin"
cp TEST2A.FMP M.FMP

"$bin/fmapview" M.FMP >stdout.txt 2>stderr.txt &
pid=$!
E2E_PIDS+=($pid)
window=$(wait_window '^fmapview: M\.FMP' 20) || fail "no fmapview window; stderr: $(cat stderr.txt)"
xdotool mousemove --window "$window" 400 300

shot_count=0
shoot() {
    shot_count=$((shot_count + 1))
    SHOT=shot-$shot_count.png
    import -window "$window" "$SHOT" || fail "no screenshot"
}
# Pictures compare by their map area: 800 x 600 less the 20-pixel info line.
same_picture() { [ "$(pixel_difference "$1[800x580+0+0]" "$2[800x580+0+0]")" = 0 ]; }
# Red pixels of the info line in the last screenshot.
red_in_band() {
    convert "$SHOT[800x20+0+580]" -fuzz 20% -fill black +opaque 'rgb(255,64,51)' \
        -fill white -opaque 'rgb(255,64,51)' -format '%[fx:round(mean * w * h)]' info:
}
# Waits up to 3 s for a picture that differs from (or equals) $2.
wait_picture() {
    local want=$1 other=$2 i
    for i in $(seq 15); do
        shoot
        if same_picture "$SHOT" "$other"; then [ "$want" = equal ] && return 0
        else [ "$want" = differs ] && return 0; fi
        sleep 0.2
    done
    return 1
}
title() { xdotool getwindowname "$window"; }

act() {
    local kind=$1
    shift
    case $kind in
    key) send_keys "$window" "$@" ;;
    keys) xdotool windowfocus --sync "$window" 2>/dev/null; xdotool key --delay 20 --repeat "$1" "$2" ;;
    wheel) xdotool mousemove --window "$window" "$2" "$3" click "$([ "$1" = up ] && echo 4 || echo 5)"
           xdotool mousemove --window "$window" 400 300 ;;
    drag) xdotool mousemove --window "$window" "$1" "$2" mousedown 1 sleep 0.1 \
              mousemove --window "$window" "$(( ($1 + $3) / 2 ))" "$(( ($2 + $4) / 2 ))" sleep 0.1 \
              mousemove --window "$window" "$3" "$4" sleep 0.1 mouseup 1 sleep 0.1 \
              mousemove --window "$window" 400 300 ;;
    rename) cp "$1" M.tmp && mv M.tmp M.FMP ;;
    rewrite) cat "$1" >M.FMP ;;
    cut) head -c "$1" TEST2A.FMP >M.FMP ;;
    *) fail "unknown action $kind" ;;
    esac
}

# Start: paused, then reloaded by hand, so animations stand at their first
# frames whenever the demo map is loaded again.
for i in $(seq 60); do
    shoot
    [ "$(colour_count "$SHOT")" -gt 200 ] && break
    sleep 0.25
done
send_keys "$window" space r
# The start picture: the same in two screenshots in a row.
sleep 0.5
shoot
for i in $(seq 20); do
    last=$SHOT
    sleep 0.25
    shoot
    same_picture "$SHOT" "$last" && break
done
start=$SHOT
expect_picture "$start"
before=$start # the picture before the last action
previous=$start
last_expect=start
[ "$(red_in_band)" -lt 5 ] || fail "a red line shows at the start"

# expect: changes | same (as before the action) | back (as before the
# previous action) | start (as at the start) | broken (the same picture and
# a reason in red); then a title pattern (_ for a space) or -, then the
# action. Rows run in order; each starts from the one before.
steps=$(cat <<'TABLE'
same    layer_0,_zoom_9\.06  key x T A Z 8 9 c
changes -                    keys 60 period
changes layer_1              key 1
back    layer_0              key 0
start   -                    key r
changes -                    key h
back    -                    key h
changes layer_1              key 1
start   layer_0              key 0
same    layer_0              key 5
changes all_layers           key a
start   layer_0              key a
changes second_graphics      key g
start   layer_0,_zoom        key g
same    zoom_9\.06           key Left Up Right Down
same    zoom_9\.06           drag 300 300 500 400
same    zoom_9\.06           key minus
changes zoom_11\.33          key plus
changes zoom_11\.33          key Up
changes zoom_11\.33          key Down
changes zoom_11\.33          drag 300 300 500 400
start   zoom_9\.06           key f
changes zoom_11\.33          wheel up 200 150
changes zoom_14\.16          wheel up 600 450
changes zoom_11\.33          wheel down 600 450
start   zoom_9\.06           key f
changes 3D_blocks            key b
changes 3D_blocks            drag 400 300 480 260
changes 3D_blocks            wheel up 400 300
changes 3D_blocks            key Left
start   zoom_9\.06           key b
changes -                    rename VORLA.FMP
start   -                    rewrite TEST2A.FMP
broken  -                    cut 5000
start   -                    rewrite TEST2A.FMP
broken  -                    cut 30000
start   -                    rename TEST2A.FMP
TABLE
)

while read -r expect pattern action; do
    [ -z "$expect" ] && continue
    what="'$action' (expect $expect, title $pattern)"
    act $action
    case $expect in
    changes) wait_picture differs "$previous" || fail "$what: the picture did not change" ;;
    same) sleep 0.5; shoot; same_picture "$SHOT" "$previous" || fail "$what: the picture changed" ;;
    back) wait_picture equal "$before" || fail "$what: the picture did not come back" ;;
    start) wait_picture equal "$start" || fail "$what: not the starting picture" ;;
    broken) for i in $(seq 15); do shoot; [ "$(red_in_band)" -gt 100 ] && break; sleep 0.2; done
            [ "$(red_in_band)" -gt 100 ] || fail "$what: no reason in red"
            same_picture "$SHOT" "$previous" || fail "$what: the last good map is not on screen" ;;
    esac
    if [ "$pattern" != - ]; then
        title | grep -q "${pattern//_/ }" || fail "$what: title '$(title)' lacks '$pattern'"
    fi
    if [ "$expect" != broken ] && [ "$last_expect" = broken ]; then
        # A good file clears the reason (the picture may have been right already).
        for i in $(seq 15); do [ "$(red_in_band)" -lt 5 ] && break; sleep 0.2; shoot; done
        [ "$(red_in_band)" -lt 5 ] || fail "$what: a red line shows"
    fi
    echo "ok ($SECONDS s): $what"
    before=$previous
    previous=$SHOT
    last_expect=$expect
done <<<"$steps"

# p saves the window as M-1.png, then M-2.png, and prints each path.
send_keys "$window" p
sleep 0.5
send_keys "$window" p
for i in $(seq 30); do [ -s M-2.png ] && break; sleep 0.1; done
shoot
for saved in M-1.png M-2.png; do
    [ -s "$saved" ] || fail "p wrote no $saved"
    same_picture "$saved" "$SHOT" || fail "$saved differs from the window"
done
[ "$(cat stdout.txt)" = "$(printf 'M-1.png\nM-2.png')" ] || fail "p printed '$(cat stdout.txt)'"
echo "ok: p saved M-1.png and M-2.png, equal to the window"

send_keys "$window" Escape
wait_exit "$pid" 10
[ "$EXIT_STATUS" = 0 ] || fail "Esc ended fmapview with status $EXIT_STATUS"
[ ! -s stderr.txt ] || fail "fmapview wrote to stderr: $(cat stderr.txt)"

# Start-up failures: one line and status 1.
"$bin/fmapview" missing.FMP 2>err.txt
status=$?
[ "$status" = 1 ] && [ "$(cat err.txt)" = 'fmapview: cannot load map "missing.FMP": file could not be opened' ] ||
    fail "a missing map gave status $status and '$(cat err.txt)'"
DISPLAY= "$bin/fmapview" M.FMP 2>err.txt
status=$?
[ "$status" = 1 ] && [ "$(wc -l <err.txt)" = 1 ] && grep -q '^fmapview: no display' err.txt ||
    fail "no display gave status $status and '$(cat err.txt)'"
echo "fmapview: every action as expected"
