#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test. CTest's JUnit report goes
# to <build dir>/ctest-junit.xml (scripts/check-skips.sh reads it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh -DVETU_WERROR=ON
cd "${BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --output-junit ctest-junit.xml
