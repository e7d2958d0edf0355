#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the program on a fresh copy of the
# sample device folder (the sample in the repository itself never changes).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
DEVICE=$(mktemp -d /tmp/vetu-device.XXXXXX)
cp -a sample/device/. "$DEVICE/"
echo "Sample device folder: $DEVICE"
exec "${BUILD_DIR:-build}/app/vetu-config" "$DEVICE"
