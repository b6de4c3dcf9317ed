#!/bin/bash
# Tiled's window with the extension, on a private X server: Tiled opens a
# map file, and a small extension of the test's own acts once the map is
# current, as the map maker would from the menus:
#   show     Map > Show in fmapview: fmapview's window shows the file;
#   save     a layer LYR5 added, File > Save: the map file gains it;
#   refused  eight layers added, File > Save: Tiled's error dialog, the
#            file as it was, fmapconvert's line on Tiled's output.
# Usage: tiled_gui_e2e.sh BIN_FOLDER EXTENSION_FOLDER
set -u
source "$(dirname "$0")/../e2e/e2e_lib.sh"
bin=$(cd "$1" && pwd) || fail "no folder $1"
extension=$2
command -v tiled >/dev/null || fail "Tiled is not installed; scripts/setup installs it"
start_display

# Runs Tiled on a copy of VORLA.FMP in a HOME of its own with the extension
# enabled and the scenario's script; sets MAP, LOG and TILED (its pid).
start_tiled() { # NAME SCRIPT
    local home=$E2E_WORK/$1
    mkdir -p "$home/run" && chmod 700 "$home/run"
    env -u XDG_CONFIG_HOME HOME="$home" "$extension/enable" >/dev/null || fail "the extension's enable command failed"
    cat >"$home/.config/tiled/extensions/scenario.js" <<SCRIPT
var acted = false;
tiled.activeAssetChanged.connect(function (map) {
    if (acted || map === null || !map.isTileMap)
        return;
    acted = true;
    function addLayer(name) {
        var layer = new TileLayer(name);
        layer.width = map.width;
        layer.height = map.height;
        map.addLayer(layer);
    }
    $2
});
SCRIPT
    MAP="$home/Map 'one'.fmp"
    LOG=$home/tiled.log
    cp "$bin/VORLA.FMP" "$MAP" || fail "no demo map in $bin"
    env -u XDG_CACHE_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb \
        tiled "$MAP" >"$LOG" 2>&1 &
    TILED=$!
    E2E_PIDS+=($TILED)
}

start_tiled show 'tiled.trigger("TilvoglShowInFmapview");'
window=$(wait_window "^fmapview: .*Map 'one'\\.fmp" 30) || fail "no fmapview window; Tiled said: $(cat "$LOG")"
viewer=$(xdotool getwindowpid "$window" 2>/dev/null) && E2E_PIDS+=($viewer)
# The window opens before its first frame is drawn.
for _ in $(seq 50); do
    screenshot "$window" "$E2E_WORK/viewer.png"
    [ "$(colour_count "$E2E_WORK/viewer.png")" -gt 200 ] && break
    sleep 0.2
done
expect_picture "$E2E_WORK/viewer.png"
echo "show: \"$(xdotool getwindowname "$window")\""
kill "$TILED"

start_tiled save 'addLayer("LYR5"); tiled.trigger("Save");'
for _ in $(seq 100); do
    "$bin/fmapinfo" "$MAP" | grep -q '^  5      LYR5  yes' && break
    sleep 0.2
done
"$bin/fmapinfo" "$MAP" | grep -q '^  5      LYR5  yes' || fail "the saved map file has no layer 5; Tiled said: $(cat "$LOG")"
leftover=$(find "$(dirname "$MAP")/.cache/tilvogl/tiled" -type f ! -name '*-tiles.png')
[ -z "$leftover" ] || fail "the save left $leftover"
echo "save: the map file has the new layer 5"
kill "$TILED"

start_tiled refused 'for (var i = 0; i < 8; ++i) addLayer("more " + i); tiled.trigger("Save");'
wait_window '^Error Saving File' 30 >/dev/null || fail "no error dialog; Tiled said: $(cat "$LOG")"
cmp -s "$MAP" "$bin/VORLA.FMP" || fail "the refused save changed the map file"
grep -qF "fmapconvert: $MAP: the map has 10 tile layers; a map file holds at most 8" "$LOG" ||
    fail "Tiled's output lacks fmapconvert's line: $(cat "$LOG")"
echo "refused: Tiled's error dialog, the map file as it was"
