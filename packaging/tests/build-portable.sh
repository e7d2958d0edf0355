#!/usr/bin/env bash
# Makes the portable folder of a build tree in <scratch>/VETU and adds the sample device's
# files, as the device's drive holds them beside the program.
# Usage: build-portable.sh <source dir> <build dir> <scratch dir>
set -euo pipefail
source_dir=$1
build=$2
scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
bash "$source_dir/scripts/make-portable.sh" "$build" "$scratch/VETU"
cp "$source_dir"/sample/device/* "$scratch/VETU/"
