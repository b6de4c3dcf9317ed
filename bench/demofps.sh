#!/usr/bin/env bash
# Frame rate of GLUT programs, counted from outside. Run inside an X server
# (scripts/bench starts it with xvfb-run):
#   demofps.sh BIN_DIR SHIM SECONDS PROGRAM...
# Each program starts in BIN_DIR (which holds the maps) with the swap
# counter SHIM preloaded. A "Go fullscreen?" question, if asked, is answered
# n; after a 2 s warm-up the counter is marked, SECONDS later ESC ends the
# program. Prints "PROGRAM FPS" per program (FPS "failed" when it could not
# be measured).
set -uo pipefail
bin=$1 shim=$2 seconds=$3
shift 3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Window id of the first window whose name matches, or nothing.
findWindow() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
sendKey() { xdotool windowfocus --sync "$1" 2>/dev/null; xdotool key --clearmodifiers "$2"; }

for program in "$@"; do
  (cd "$bin" && FPS_SHIM_OUT="$out/$program" LD_PRELOAD="$shim" exec "./$program") &
  pid=$!
  main=""
  for _ in $(seq 100); do # up to 10 s to come up
    question=$(findWindow '^TilvoGL$')
    [[ -n "$question" ]] && sendKey "$question" n
    main=$(findWindow '^TilvoGL:')
    [[ -n "$main" ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z "$main" ]]; then
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    echo "$program failed"
    continue
  fi
  sleep 2
  kill -USR1 "$pid"
  sleep "$seconds"
  sendKey "$main" Escape
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"; wait "$pid" 2>/dev/null
    echo "$program failed"
    continue
  fi
  wait "$pid" 2>/dev/null
  # swaps TOTAL counted N seconds S
  read -r _ _ _ counted _ elapsed <"$out/$program" || { echo "$program failed"; continue; }
  awk -v p="$program" -v n="$counted" -v s="$elapsed" \
    'BEGIN { if (s > 0) printf "%s %.1f\n", p, n / s; else print p " failed" }'
done
