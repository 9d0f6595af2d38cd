# Sourced: one X display and one wineserver for a whole run, stopped when the script exits.

start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in 77 78 79 80 81; do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    LINEPROBE_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

# A persistent wineserver saves every Wine process its start-up.
start_wineserver() {
    "$WINESERVER" -p >/dev/null 2>&1 || true
}

stop_session() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [ -n "${LINEPROBE_XVFB_PID:-}" ]; then
        kill "$LINEPROBE_XVFB_PID" 2>/dev/null || true
        wait "$LINEPROBE_XVFB_PID" 2>/dev/null || true
    fi
}
