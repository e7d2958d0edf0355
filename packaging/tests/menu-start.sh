#!/usr/bin/env bash
# The menu entry's start of the installed program (unpacked from the package): the program
# first asks for the device folder; a folder typed into the chooser becomes the device folder
# and the main window opens on it; cancelling the chooser ends the program with exit code 0.
# Usage: menu-start.sh <package> <sample device folder> <scratch dir>
set -euo pipefail
source "$(dirname "$0")/x11-helpers.sh"
deb=$1
sample=$2
scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch/home"
scratch=$(cd "$scratch" && pwd -P)
dpkg -x "$deb" "$scratch/root"
device=$scratch/VETU
mkdir -p "$device"
cp "$sample"/* "$device/"
exec_line=$(sed -n 's/^Exec=//p' "$scratch/root/usr/share/applications/vetu-config.desktop")
read -r -a command <<<"$exec_line"
command[0]=$scratch/root/usr/bin/${command[0]}

start_xvfb
run_program()
{
    env -u QT_QPA_PLATFORM HOME="$scratch/home" XDG_STATE_HOME="$scratch/home/state" "${command[@]}" \
        >>"$scratch/program.log" 2>&1 &
    pid=$!
    STARTED_PIDS+=("$pid")
}
chooser='^Choose the folder of the Vetu device$'

# Cancel: the program ends without a window of its own.
run_program
window=$(wait_for_window "$chooser" 60) || { cat "$scratch/program.log" >&2; exit 1; }
xdotool windowfocus --sync "$window" key --clearmodifiers Escape
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
    echo "the program goes on after the chooser was cancelled" >&2
    exit 1
fi
wait "$pid" && status=0 || status=$?
[ "$status" -eq 0 ] || { echo "cancelling ended the program with exit code $status" >&2; cat "$scratch/program.log" >&2; exit 1; }

# Choose: the typed folder becomes the device folder.
run_program
window=$(wait_for_window "$chooser" 60) || { cat "$scratch/program.log" >&2; exit 1; }
xdotool windowfocus --sync "$window" type --delay 20 "$device"
sleep 0.3
# A completion list opened by the typing takes the first Return.
for _ in 1 2 3; do
    xdotool search --onlyvisible --name "$chooser" >/dev/null 2>&1 || break
    xdotool key --clearmodifiers Return
    sleep 0.5
done
wait_for_window '^Application Software for Vetu$' 60 >/dev/null || { cat "$scratch/program.log" >&2; exit 1; }
kill -0 "$pid" || { echo "the program has ended" >&2; exit 1; }
echo "the menu entry's start asked for the device folder and opened $device"
