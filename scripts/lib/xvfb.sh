# The one way our scripts and tests start a virtual X server. Source it, then
#   start_xvfb [WIDTHxHEIGHTxDEPTH]      (default 1024x768x24)
# starts a private Xvfb on a display number it picks itself, waits until a
# client really gets through, exports DISPLAY and sets XVFB_PID; the caller
# stops it (kill "$XVFB_PID") when done. Fails with the server's log when it
# does not come up. scripts/with-xvfb runs one command this way.

start_xvfb() {
    local screen=${1:-1024x768x24} log i
    XVFB_LOG=$(mktemp "${TMPDIR:-/tmp}/xvfb.XXXXXX")
    log=$XVFB_LOG
    command -v Xvfb >/dev/null || { echo "start_xvfb: Xvfb is not installed" >&2; return 1; }
    command -v xdotool >/dev/null || { echo "start_xvfb: xdotool is not installed" >&2; return 1; }
    # -displayfd: the server writes the display number it chose once it
    # listens, so parallel runs never pick the same one.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$log.display" 2>"$log" &
    XVFB_PID=$!
    for i in $(seq 200); do
        [ -s "$log.display" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    if [ ! -s "$log.display" ]; then
        echo "start_xvfb: Xvfb did not start: $(cat "$log")" >&2
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$log.display")"
    rm -f "$log.display"
    # Proceed only once a client really gets through.
    for i in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    echo "start_xvfb: display $DISPLAY does not answer: $(cat "$log")" >&2
    return 1
}
