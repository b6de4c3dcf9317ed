#!/bin/bash
# fmapview's two renderers: where the context offers OpenGL 3.3 (Mesa's
# does) the shader renderer draws, with --fixed-function the fixed-function
# path; both show the same picture, flat and in 3D, and the info lines
# differ, as each names its renderer.
# Usage: renderers_e2e.sh BIN_FOLDER
set -u
source "$(dirname "$0")/../e2e/e2e_lib.sh"
bin=$(cd "$1" && pwd) || fail "no folder $1"
start_display
cd "$E2E_WORK" || fail "no scratch folder"
cp "$bin/TEST2A.FMP" M.FMP || fail "no demo map in $bin"

# Screenshots of the flat view zoomed in twice and of the 3D view, with the
# animations paused, into $1-flat.png and $1-blocks.png.
pictures() {
    local name=$1 window pid
    shift
    "$bin/fmapview" "$@" M.FMP 2>"$name.err" &
    pid=$!
    E2E_PIDS+=($pid)
    window=$(wait_window '^fmapview: M\.FMP' 20) || fail "no fmapview window $*; stderr: $(cat "$name.err")"
    send_keys "$window" space plus plus
    sleep 2
    screenshot "$window" "$name-flat.png"
    send_keys "$window" b
    sleep 3
    screenshot "$window" "$name-blocks.png"
    send_keys "$window" Escape
    wait_exit "$pid" 10
    [ "$EXIT_STATUS" = 0 ] || fail "Esc ended fmapview $* with status $EXIT_STATUS"
    [ ! -s "$name.err" ] || fail "fmapview $* wrote to stderr: $(cat "$name.err")"
}

pictures shader
pictures fixed --fixed-function
for view in flat blocks; do
    areas=$(percent_areas_changed "shader-$view.png[800x580+0+0]" "fixed-$view.png[800x580+0+0]")
    pixels=$(compare -metric AE -fuzz 4% "shader-$view.png[800x580+0+0]" "fixed-$view.png[800x580+0+0]" null: 2>&1 |
             cut -d' ' -f1)
    percent=$((pixels * 100 / (800 * 580)))
    echo "$view view: $areas % of areas, $percent % of pixels differ between the renderers"
    [ "$areas" -le 2 ] || fail "the $view view differs between the renderers ($areas % of areas)"
    [ "$percent" -le 5 ] || fail "the $view view differs between the renderers ($percent % of pixels)"
done
band=$(pixel_difference "shader-flat.png[800x20+0+580]" "fixed-flat.png[800x20+0+580]")
[ "$band" -gt 0 ] || fail "the info lines do not name different renderers"
echo "fmapview: the same pictures from both renderers, each named in the info line"
