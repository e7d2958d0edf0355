#!/usr/bin/env bash
# Builds a second tree with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# (or $SANITIZE_BUILD_DIR) and runs every test there. Tests registered with RAISES_FAULTS run
# with ASan's own fault handlers off; tests registered with NO_SANITIZER are not in this tree.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${SANITIZE_BUILD_DIR:-build-asan}
BUILD_DIR="$BUILD_DIR" bash scripts/build.sh -DVETU_SANITIZE=ON -DVETU_WERROR=ON
suppressions="$PWD/.ci/lsan.supp"
cd "$BUILD_DIR"
# No strict_string_checks: it reports libxkbcommon's bounded strndup of an unterminated buffer
# (inside Qt's xcb start-up) as an overflow.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$suppressions:print_suppressions=0}
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --output-junit ctest-junit.xml
