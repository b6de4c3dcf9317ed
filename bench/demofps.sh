#!/usr/bin/env bash
# Frame rate and frame times of GLUT programs, measured from outside. Run
# inside an X server (scripts/bench starts it with scripts/with-xvfb):
#   demofps.sh SHIM SECONDS < RUNS
# Each line of RUNS is one run:
#   LABEL FOLDER SETTING PROGRAM [ARGUMENT...]
# PROGRAM (a path) starts in FOLDER (which holds its map) with the frame
# meter SHIM preloaded; SETTING is an environment variable for the meter
# (FPS_SHIM_FLOOR=1, FPS_SHIM_DEFAULT_HEAP=1, FPS_SHIM_ALL_FACES=1) or "-" for none. A "Go
# fullscreen?" question, if asked, is answered n; after a 2 s warm-up the
# meter is marked, SECONDS later ESC ends the program. Prints per run
#   LABEL FPS MEDIAN_MS P95_MS BINDS_PER_FRAME FACES_PER_FRAME
# or "LABEL failed" when it could not be measured.
set -uo pipefail
shim=$1 seconds=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Window id of the first window whose name matches, or nothing.
findWindow() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
sendKey() { xdotool windowfocus --sync "$1" 2>/dev/null; xdotool key --clearmodifiers "$2"; }

while read -r label folder setting program arguments; do
  [[ -z "$label" || "$label" == \#* ]] && continue
  settings=()
  [[ "$setting" != "-" ]] && settings=("$setting")
  # shellcheck disable=SC2086 # the arguments are words
  (cd "$folder" && exec env "${settings[@]}" FPS_SHIM_OUT="$out/${label//\//_}" LD_PRELOAD="$shim" \
     "$program" $arguments) </dev/null &
  pid=$!
  main=""
  for _ in $(seq 300); do # up to 30 s to come up
    question=$(findWindow '^TilvoGL$')
    [[ -n "$question" ]] && sendKey "$question" n
    main=$(findWindow '^TilvoGL:')
    [[ -n "$main" ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z "$main" ]]; then
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    echo "$label failed"
    continue
  fi
  sleep 2
  kill -USR1 "$pid"
  sleep "$seconds"
  sendKey "$main" Escape
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done # a slow frame ends first
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"; wait "$pid" 2>/dev/null
    echo "$label failed"
    continue
  fi
  wait "$pid" 2>/dev/null
  # frames N seconds S median_ms M p95_ms P binds_per_frame B faces_per_frame F
  read -r _ frames _ elapsed _ median _ p95 _ binds _ faces <"$out/${label//\//_}" || { echo "$label failed"; continue; }
  awk -v l="$label" -v n="$frames" -v s="$elapsed" -v m="$median" -v p="$p95" -v b="$binds" -v f="$faces" \
    'BEGIN { if (s > 0) printf "%s %.1f %s %s %s %s\n", l, n / s, m, p, b, f; else print l " failed" }'
done
