# Shared helpers of the end-to-end scripts: a private X server, waiting for
# windows, keys, screenshots and picture comparisons.

E2E_WORK=$(mktemp -d)
E2E_PIDS=()

# Screenshots are kept in $E2E_KEEP when it names a folder.
e2e_cleanup() {
    local pid
    if [ -n "${E2E_KEEP:-}" ]; then
        mkdir -p "$E2E_KEEP" && cp "$E2E_WORK"/*.png "$E2E_KEEP"/ 2>/dev/null
    fi
    for pid in "${E2E_PIDS[@]}"; do
        kill "$pid" 2>/dev/null
    done
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$E2E_WORK" "${XVFB_LOG:-}"
}
trap e2e_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xvfb.sh"

# Starts a private X server (start_xvfb) and points DISPLAY at it.
start_display() {
    start_xvfb 1024x768x24 || fail "no virtual X server"
}

# Prints the id of the first window whose name matches the regular
# expression, waiting up to $2 seconds (default 15); prints nothing on timeout.
wait_window() {
    local pattern=$1 limit=${2:-15} id i
    for i in $(seq $((limit * 10))); do
        id=$(xdotool search --name "$pattern" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Sends keys to a window after giving it the input focus.
send_keys() {
    local id=$1
    shift
    xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
    xdotool key --delay 50 "$@"
}

# Waits for a program window with the given title; answers the fullscreen
# question with n first when the program asks it. Prints the window id.
wait_program_window() {
    local title=$1 pid=$2 i id question
    for i in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || return 1
        question=$(xdotool search --name '^TilvoGL$' 2>/dev/null | head -n 1)
        if [ -n "$question" ]; then
            send_keys "$question" n
            sleep 0.3
        fi
        id=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

screenshot() {
    import -window "$1" "$2" || fail "no screenshot of window $1"
}

# Number of distinct colours in a picture.
colour_count() {
    identify -format '%k' "$1"
}

# Number of pixels that differ between two pictures of the same size.
pixel_difference() {
    compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

# A picture of the map is neither blank nor one colour.
expect_picture() {
    local colours
    colours=$(colour_count "$1")
    [ "$colours" -gt 200 ] || fail "$1 shows only $colours colours"
}

# Share, in percent, of the 32 x 24 areas of the picture whose mean colour
# moved by more than 8 %: animated tiles barely move area means, a turn of
# the view moves most of them.
percent_areas_changed() {
    convert "$1" -scale 32x24! "$E2E_WORK/coarse-a.png"
    convert "$2" -scale 32x24! "$E2E_WORK/coarse-b.png"
    local changed
    changed=$(compare -metric AE -fuzz 8% "$E2E_WORK/coarse-a.png" "$E2E_WORK/coarse-b.png" null: 2>&1 | cut -d' ' -f1)
    echo $((changed * 100 / (32 * 24)))
}

# Waits up to $2 seconds for a child process to end and leaves its exit
# status in EXIT_STATUS ("timeout" if it did not end). Not for use in $( ).
wait_exit() {
    local pid=$1 limit=${2:-10} i
    EXIT_STATUS=timeout
    for i in $(seq $((limit * 10))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            EXIT_STATUS=$?
            return 0
        fi
        sleep 0.1
    done
}
