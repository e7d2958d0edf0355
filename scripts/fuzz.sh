#!/usr/bin/env bash
# Builds every libFuzzer target with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# into build-fuzz/ (or $FUZZ_BUILD_DIR) and runs each one for $FUZZ_SECONDS (default 30) seconds.
#
# Which targets: every executable of the fuzz tree whose name starts with "fuzz_" or ends in
# "_fuzz" (the project's two naming habits); a new target joins by its name alone.
# Optional tighter limits: <folder>/<target>.flags (libFuzzer flags on one line).
# Its corpus: <folder of the target's CMakeLists.txt>/corpus/<target>/, committed with the
# target, for example settings/fuzz/corpus/settings_ini_document_fuzz/. A target without one
# fails the run. The run only reads the committed corpus; what it finds goes to
# <build dir>/fuzz-work/<target>/, and a crashing input to <build dir>/fuzz-work/<target>-crash-*.
#
#   scripts/fuzz.sh                 build and run every target
#   scripts/fuzz.sh --list          build, then print each target with its corpus folder
#   scripts/fuzz.sh --merge         build, run each target for $FUZZ_SECONDS and merge what it
#                                   found into its committed corpus (minimised; for developers)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-30}
MODE=${1:-run}

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVETU_FUZZ=ON -DVETU_SANITIZE=ON >/dev/null

# Ninja's list of build outputs holds each linked executable as "<path>: CXX_EXECUTABLE_LINKER...".
mapfile -t targets < <(ninja -C "$BUILD_DIR" -t targets all \
    | sed -n 's/^\([^:]*\): C[X]*_EXECUTABLE_LINKER.*/\1/p' \
    | grep -E '(^|/)(fuzz_[^/]*|[^/]*_fuzz)$' | sort)
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz: no fuzz targets found in $BUILD_DIR" >&2
    exit 1
fi
ninja -C "$BUILD_DIR" "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
work="$BUILD_DIR/fuzz-work"
mkdir -p "$work"
failed=()
for target in "${targets[@]}"; do
    name=$(basename "$target")
    # The build tree mirrors the source tree, so the target's folder names its source folder.
    corpus="$(dirname "$target")/corpus/$name"
    if [ "$MODE" = "--list" ]; then
        echo "$name  $corpus"
        continue
    fi
    if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus")" ]; then
        echo "fuzz: $name has no committed corpus in $corpus/" >&2
        if [ "$MODE" != "--merge" ]; then
            failed+=("$name (no corpus)")
            continue
        fi
        mkdir -p "$corpus"
    fi
    # A target may set tighter limits (time per input, memory) in <target>.flags beside its
    # CMakeLists.txt; libFuzzer takes the last value of a flag, so these win over the defaults.
    extra=()
    if [ -f "$(dirname "$target")/$name.flags" ]; then
        read -r -a extra < "$(dirname "$target")/$name.flags"
    fi
    rm -rf "${work:?}/$name"
    mkdir -p "$work/$name"
    echo "== fuzz $name for ${SECONDS_EACH}s on $corpus"
    start=$(date +%s)
    if ! "$BUILD_DIR/$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 "${extra[@]}" \
        -print_final_stats=1 -artifact_prefix="$work/$name-" "$work/$name" "$corpus" \
        >"$work/$name.log" 2>&1; then
        tail -n 60 "$work/$name.log"
        failed+=("$name")
        continue
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/$name.log" | tail -n 2 || true
    echo "   $name: $(( $(date +%s) - start ))s, no failure"
    if [ "$MODE" = "--merge" ]; then
        "$BUILD_DIR/$target" -merge=1 "$corpus" "$work/$name" >"$work/$name.merge.log" 2>&1
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: FAILED: ${failed[*]} (logs and crashing inputs in $work/)" >&2
    exit 1
fi
