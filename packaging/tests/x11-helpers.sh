# Helpers for the packaging tests that run a program on a real X server.
# shellcheck shell=bash

# Starts Xvfb on a free display and exports DISPLAY; the server ends with the calling shell.
start_xvfb()
{
    local fifo display
    fifo=$(mktemp -u /tmp/vetu-xvfb.XXXXXX)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
    XVFB_PID=$!
    read -r -t 20 display <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"
    trap 'stop_started_processes' EXIT
}

STARTED_PIDS=()
stop_started_processes()
{
    local pid
    for pid in "${STARTED_PIDS[@]}" ${XVFB_PID:-}; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${STARTED_PIDS[@]}" ${XVFB_PID:-}; do
        wait "$pid" 2>/dev/null || true
    done
}

# Waits until a visible window whose name matches the pattern exists; prints its id.
wait_for_window()
{
    local pattern=$1 seconds=${2:-30} found i
    for ((i = 0; i < seconds * 10; i++)); do
        found=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n1 || true)
        if [ -n "$found" ]; then
            printf '%s\n' "$found"
            return 0
        fi
        sleep 0.1
    done
    echo "no window named '$pattern' appeared within ${seconds}s; visible windows:" >&2
    xdotool search --onlyvisible --name '.' getwindowname %@ >&2 2>/dev/null || true
    return 1
}

# Checks that every Qt library and plugin the process has mapped lies inside the folder, and
# that Qt's core library and its xcb platform plugin are among them.
check_qt_mappings()
{
    local pid=$1 folder=$2 maps outside
    maps=$(awk '$6 ~ /^\// { print $6 }' "/proc/$pid/maps" | sort -u)
    outside=$(grep -E '/libQt6[^/]*\.so|/plugins/|/qt6/' <<<"$maps" | grep -v "^$folder/" || true)
    if [ -n "$outside" ]; then
        echo "Qt libraries or plugins loaded from outside $folder:" >&2
        printf '  %s\n' $outside >&2
        return 1
    fi
    for expected in "$folder/lib/libQt6Core.so.6" "$folder/plugins/platforms/libqxcb.so"; do
        if ! grep -qx "$expected" <<<"$maps"; then
            echo "$expected is not loaded" >&2
            return 1
        fi
    done
}
