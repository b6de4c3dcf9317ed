#!/bin/bash
# Tiled's Map > Show in fmapview: Tiled (drawing offscreen) opens a map file
# through the extension, a small extension of the test's own runs the action
# once the map is current, as a click on the menu would, and fmapview's window
# shows that file on the test's X server.
# Usage: tiled_viewer_e2e.sh BIN_FOLDER EXTENSION_FOLDER
set -u
source "$(dirname "$0")/../e2e/e2e_lib.sh"
bin=$(cd "$1" && pwd) || fail "no folder $1"
extension=$2
command -v tiled >/dev/null || fail "Tiled is not installed; scripts/setup installs it"
start_display
home=$E2E_WORK/home
mkdir -p "$home/run" && chmod 700 "$home/run"
env -u XDG_CONFIG_HOME HOME="$home" "$extension/enable" >/dev/null || fail "the extension's enable command failed"
cat >"$home/.config/tiled/extensions/show-when-current.js" <<'SCRIPT'
tiled.activeAssetChanged.connect(function (asset) {
    if (asset !== null && asset.isTileMap)
        tiled.trigger("TilvoglShowInFmapview");
});
SCRIPT
map="$E2E_WORK/Shown 'map'.fmp"
cp "$bin/VORLA.FMP" "$map" || fail "no demo map in $bin"
env -u XDG_CACHE_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen \
    tiled "$map" >"$E2E_WORK/tiled.log" 2>&1 &
E2E_PIDS+=($!)
window=$(wait_window "^fmapview: .*Shown 'map'\\.fmp" 30) || fail "no fmapview window; Tiled said: $(cat "$E2E_WORK/tiled.log")"
viewer=$(xdotool getwindowpid "$window" 2>/dev/null) && E2E_PIDS+=($viewer)
# The window opens before its first frame is drawn.
for _ in $(seq 50); do
    screenshot "$window" "$E2E_WORK/viewer.png"
    [ "$(colour_count "$E2E_WORK/viewer.png")" -gt 200 ] && break
    sleep 0.2
done
expect_picture "$E2E_WORK/viewer.png"
echo "Show in fmapview opened \"$(xdotool getwindowname "$window")\""
