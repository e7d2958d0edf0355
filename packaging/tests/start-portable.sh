#!/usr/bin/env bash
# Starts a portable folder's vetu-config the way its users do (sh <folder>/vetu-config.sh)
# on Xvfb and checks that its main window opens on that folder as its device folder and that
# every Qt library and plugin it loaded comes from the folder.
# With "direct", the program file is started itself instead, as from a copy on a drive that
# keeps execute permissions: its run path and qt.conf must then lead to the folder's Qt.
# Usage: start-portable.sh <portable folder holding the device files> [direct]
set -euo pipefail
source "$(dirname "$0")/x11-helpers.sh"
folder=$(cd "$1" && pwd -P)
mode=${2:-starter}
[ -f "$folder/Vetu-Configuration.txt" ] || { echo "$folder holds no device file" >&2; exit 1; }

if [ "$mode" = direct ]; then
    command=("$folder/vetu-config")
else
    command=(sh "$folder/vetu-config.sh")
fi

start_xvfb
# A home of its own for this run, removed with everything the program left in it.
run_home=$(mktemp -d)
trap 'stop_started_processes; rm -rf "$run_home"' EXIT
mkdir -p "$run_home/home" "$run_home/state"
# Nothing of the build or the host's Qt set-up may help the folder find its libraries.
env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH -u QT_QPA_PLATFORM -u QT_QPA_PLATFORM_PLUGIN_PATH \
    HOME="$run_home/home" XDG_STATE_HOME="$run_home/state" \
    "${command[@]}" >"${TMPDIR:-/tmp}/vetu-portable-$$.log" 2>&1 &
pid=$!
STARTED_PIDS+=("$pid")

# The main window appears only when the device file was found in the device folder; a wrong
# device folder ends in the message about the missing file instead.
window=$(wait_for_window '^Application Software for Vetu$' 60) || { cat "${TMPDIR:-/tmp}/vetu-portable-$$.log" >&2; exit 1; }
name=$(xdotool getwindowname "$window")
echo "window: $name"
kill -0 "$pid" || { echo "the program has ended" >&2; exit 1; }
# The starter execs the loader, so the process is the program itself, run by the loader with
# the folder as the program's argument; started directly, the program takes its own folder.
arguments=$(tr '\0' '\n' <"/proc/$pid/cmdline")
echo "process: $(tr '\n' ' ' <<<"$arguments")"
if [ "$mode" = direct ]; then
    [ "$(readlink -f "/proc/$pid/exe")" = "$folder/vetu-config" ] || { echo "the process is not $folder/vetu-config" >&2; exit 1; }
elif [ "$(tail -n1 <<<"$arguments")" != "$folder" ] || ! grep -qx "$folder/vetu-config" <<<"$arguments"; then
    echo "the program does not run on $folder" >&2
    exit 1
fi
check_qt_mappings "$pid" "$folder"
# The crash dialogs' companion waits beside the program from its start: it must come from the
# folder too (started by the loader where the drive gives no execute permission) and run on the
# folder's Qt.
companion=""
for _ in $(seq 1 100); do
    companion=$(pgrep -P "$pid" -f "$folder/crashreport-dialog" | head -n1 || true)
    [ -n "$companion" ] && break
    sleep 0.1
done
[ -n "$companion" ] || { echo "no crashreport-dialog of $folder waits beside the program" >&2; cat "${TMPDIR:-/tmp}/vetu-portable-$$.log" >&2; exit 1; }
echo "companion: $(tr '\0' ' ' <"/proc/$companion/cmdline")"
check_qt_mappings "$companion" "$folder"
rm -f "${TMPDIR:-/tmp}/vetu-portable-$$.log"
echo "vetu-config from $folder runs on it with its own Qt"
