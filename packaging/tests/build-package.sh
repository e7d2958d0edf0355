#!/usr/bin/env bash
# Makes the Debian package of a build tree with CPack into <scratch>/vetu-config.deb.
# Usage: build-package.sh <build dir> <scratch dir>
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log" >&2; exit 1; }
deb=$(find "$scratch/cpack" -maxdepth 1 -name '*.deb' | head -n1)
[ -n "$deb" ] || { echo "cpack made no package" >&2; cat "$scratch/cpack.log" >&2; exit 1; }
mv "$deb" "$scratch/vetu-config.deb"
rm -rf "$scratch/cpack"
echo "package: $(du -h "$scratch/vetu-config.deb" | cut -f1)"
