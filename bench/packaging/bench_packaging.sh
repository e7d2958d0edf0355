#!/usr/bin/env bash
# The sizes of the portable folder and of the Debian package, and the start to the first paint
# of the main window from the portable folder (sh vetu-config.sh, its own Qt) against the
# program installed into a scratch prefix (cmake --install, the system's Qt), alternately in
# one run on its own Xvfb.
# Usage: bench_packaging.sh [rounds]   (run from the build tree: build/bench/packaging/)
set -euo pipefail
rounds=${1:-15}
here=$(cd "$(dirname "$0")" && pwd)
build=@PROJECT_BINARY_DIR@
source_dir=@PROJECT_SOURCE_DIR@
work=$(mktemp -d /tmp/vetu-bench-packaging.XXXXXX)
trap 'kill $xvfb 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

bash "$source_dir/scripts/make-portable.sh" "$build" "$work/VETU" >/dev/null
cp "$source_dir"/sample/device/* "$work/VETU/"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
mkdir -p "$work/device"
cp "$source_dir"/sample/device/* "$work/device/"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(find "$work/cpack" -maxdepth 1 -name '*.deb' | head -n1)

bytes() { du -sb "$1" | cut -f1; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
folder=$(($(bytes "$work/VETU") - $(cat "$work"/VETU/{Vetu-Configuration.txt,Configuration.ini} | wc -c)))
echo "sizes:"
echo "  portable folder        $(mib "$folder") ($folder bytes; $(find "$work/VETU" -type f | wc -l) files)"
echo "    of it lib/           $(mib "$(bytes "$work/VETU/lib")")"
echo "    of it plugins/       $(mib "$(bytes "$work/VETU/plugins")")"
echo "    vetu-config          $(mib "$(bytes "$work/VETU/vetu-config")")"
echo "  Debian package         $(mib "$(bytes "$deb")") ($(bytes "$deb") bytes)"
echo "  installed files        $(mib "$(bytes "$work/prefix")")"

fifo=$work/display
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
read -r -t 20 display <"$fifo"
export DISPLAY=":$display"
unset QT_QPA_PLATFORM QT_PLUGIN_PATH LD_LIBRARY_PATH
export HOME=$work XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$here/first-paint-watch" "$rounds" installed "$work/prefix/bin/vetu-config" "$work/device" -- \
    portable sh "$work/VETU/vetu-config.sh"
