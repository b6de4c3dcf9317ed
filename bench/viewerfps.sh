#!/usr/bin/env bash
# Frame rate of fmapview at 1280 x 720 for the demo maps at several zooms
# and a 2048 x 2048 map fitted, at about 1 and 4 px/cell and in 3D, counted
# by the preloaded swap counter. fmapview draws through the shader renderer
# (the GL offers 3.3); rows with --fixed-function are the baseline of the
# row after them, which shows the baseline and its ratio to it. Run inside
# an X server of at least 1280 x 800 (scripts/bench starts one):
#   viewerfps.sh BIN_DIR SHIM SECONDS
# Prints one markdown table row per view (target: at least 60 fps, or for
# TEST2A.FMP's all-layer view at least the fixed-function path's rate, for
# the 2048 x 2048 map in 3D at least 20 fps). The 3D views are measured with
# the visible-face rule (fmapview's default) and drawing every face (the
# meter's FPS_SHIM_ALL_FACES), their rows naming the block faces drawn a frame.
set -uo pipefail
bin=$1 shim=$2 seconds=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$bin/bench_viewermap" "$out/LARGE.FMP" || { echo "| viewer: cannot write the large map | failed | - | - | - | - |"; exit 0; }
cp "$bin/TEST2A.FMP" "$bin/VORLA.FMP" "$out/"

# map, what, keys sent before measuring, options, target, meter setting
views=(
  "TEST2A.FMP|fitted|"
  "TEST2A.FMP|zoomed in 4 steps|plus plus plus plus"
  "TEST2A.FMP|closest zoom|$(printf 'plus %.0s' $(seq 20))"
  "TEST2A.FMP|all layers, second graphics|a g|--fixed-function"
  "TEST2A.FMP|all layers, second graphics|a g||baseline"
  "TEST2A.FMP|3D blocks|b"
  "TEST2A.FMP|3D blocks, layer 1|1 b|--fixed-function"
  "TEST2A.FMP|3D blocks, layer 1|1 b"
  "TEST2A.FMP|3D blocks, layer 1, every face|1 b|--fixed-function||FPS_SHIM_ALL_FACES=1"
  "TEST2A.FMP|3D blocks, layer 1, every face|1 b|||FPS_SHIM_ALL_FACES=1"
  "VORLA.FMP|fitted|"
  "VORLA.FMP|closest zoom|$(printf 'plus %.0s' $(seq 20))"
  "LARGE.FMP|2048 x 2048, all layers|a"
  "LARGE.FMP|2048 x 2048 at the overview's edge|$(printf 'plus %.0s' $(seq 4))"
)
# The 2048 x 2048 views of the targets, each drawn by the shader renderer
# (fmapview's default on this GL) right after the fixed-function baseline.
for view in "2048 x 2048 fitted|" \
            "2048 x 2048, first zoom drawing cells (about 1 px/cell)|$(printf 'plus %.0s' $(seq 5))" \
            "2048 x 2048 at about 4 px/cell|$(printf 'plus %.0s' $(seq 11))" \
            "2048 x 2048, 3D blocks|b"; do
  views+=("LARGE.FMP|$view|--fixed-function" "LARGE.FMP|$view|")
done
views[-1]="${views[-1]}|20"
views+=("LARGE.FMP|2048 x 2048, 3D blocks, every face|b|--fixed-function||FPS_SHIM_ALL_FACES=1"
        "LARGE.FMP|2048 x 2048, 3D blocks, every face|b||20|FPS_SHIM_ALL_FACES=1")
baselineFps=""
for view in "${views[@]}"; do
  # target "baseline": at least the fixed-function row before; else 60 fps
  IFS='|' read -r map what keys options target setting <<<"$view"
  [[ -n "$options" ]] && what="$what, $options"
  # The last run's window must be gone before this one's is looked for.
  for _ in $(seq 300); do
    [[ -z "$(xdotool search --name '^fmapview: ' 2>/dev/null)" ]] && break
    sleep 0.1
  done
  settings=()
  [[ -n "$setting" ]] && settings=("$setting")
  (cd "$out" && exec env "${settings[@]}" FPS_SHIM_OUT="$out/count" LD_PRELOAD="$shim" "$bin/fmapview" $options "$map") \
    >/dev/null 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 300); do
    window=$(xdotool search --name "^fmapview: $map" 2>/dev/null | head -n 1)
    [[ -n "$window" ]] && break
    sleep 0.1
  done
  if [[ -z "$window" ]]; then
    kill "$pid" 2>/dev/null
    echo "| viewer: fmapview $map, $what | failed | - | - | >= 60 fps | - |"
    baselineFps=""
    continue
  fi
  xdotool windowsize --sync "$window" 1280 720
  xdotool windowfocus --sync "$window" 2>/dev/null
  [[ -n "$keys" ]] && xdotool key --delay 30 $keys
  # Warm-up: until the title shows a frame rate (a large map takes a while
  # to load), then two seconds more.
  for _ in $(seq 600); do
    xdotool getwindowname "$window" 2>/dev/null | grep -q ' [1-9][0-9]* fps$' && break
    sleep 0.1
  done
  sleep 2
  kill -USR1 "$pid"
  sleep "$seconds"
  title=$(xdotool getwindowname "$window")
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key Escape
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  zoom=$(sed -n 's/.*zoom \([0-9.]*\) px\/cell.*/, \1 px\/cell/p' <<<"$title")
  read -r _ counted _ elapsed _ _ _ _ _ _ _ faces <"$out/count" 2>/dev/null || counted=""
  [[ -n "${faces:-}" && "${faces:-0}" != 0 ]] && zoom="$zoom, $faces faces a frame"
  # The fixed-function rows are the baseline: the target is the default's.
  row=$(awk -v what="viewer: fmapview $map, $what$zoom, 1280 x 720" -v n="${counted:-0}" -v s="${elapsed:-0}" \
    -v isBaseline="${options:+1}" -v baseline="$baselineFps" -v against="${target:-}" \
    'BEGIN { least = against ~ /^[0-9]+$/ ? against + 0 : 60
             goal = isBaseline ? "-" : against == "baseline" ? ">= the fixed-function row" : ">= " least " fps"
             if (s <= 0) { printf "| %s | failed | - | - | %s | - |\n", what, goal; exit }
             fps = n / s
             shown = baseline != "" && !isBaseline ? sprintf("fixed-function: %.1f fps | %.2f", baseline, fps / baseline) \
                                                  : "- | -"
             met = isBaseline ? "-" : against == "baseline" ? (baseline != "" && fps >= baseline ? "yes" : "**no**") \
                                    : (fps >= least ? "yes" : "**no**")
             printf "| %s | %.1f fps | %s | %s | %s |\n", what, fps, shown, goal, met }')
  echo "$row"
  # A fixed-function row's rate, for the row after it.
  baselineFps=""
  [[ -n "$options" && -n "$counted" ]] && baselineFps=$(awk -v n="$counted" -v s="${elapsed:-0}" 'BEGIN { if (s > 0) printf "%.3f", n / s }')
  rm -f "$out/count"
done
