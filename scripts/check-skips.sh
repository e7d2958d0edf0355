#!/usr/bin/env bash
# Fails when CTest skipped a test that the allowed list does not name.
#   scripts/check-skips.sh <ctest JUnit file> <allowed list>
# The JUnit file is the one of `ctest --output-junit`; a test counts as skipped when CTest did
# not run it to a verdict (status "notrun": a GoogleTest skip, a missing program) or it is
# disabled (status "disabled": a DISABLED_ test).
# The allowed list holds one skip a line: the CTest name (shell wildcards allowed), then the
# reason. Empty lines and lines starting with '#' are ignored; an entry without a reason is
# refused, so that every allowed skip says why.
set -euo pipefail
junit=${1:?usage: check-skips.sh <ctest JUnit file> <allowed list>}
allowed=${2:?usage: check-skips.sh <ctest JUnit file> <allowed list>}
if [ ! -s "$junit" ]; then
    echo "check-skips: no JUnit report at $junit (did the tests run?)" >&2
    exit 1
fi

patterns=()
bad=0
while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in '' | '#'*) continue ;; esac
    read -r pattern reason <<<"$line"
    if [ -z "${reason:-}" ]; then
        echo "check-skips: $allowed: '$pattern' gives no reason" >&2
        bad=1
    fi
    patterns+=("$pattern")
done <"$allowed"

unescape() { sed -e 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&apos;/'"'"'/g; s/&amp;/\&/g'; }

# One <testcase ...> start tag a line; take the names of those not run to a verdict.
mapfile -t skipped < <(tr '\n' ' ' <"$junit" | grep -o '<testcase [^>]*>' \
    | grep -E 'status="(notrun|disabled)"' | sed -n 's/.* name="\([^"]*\)".*/\1/p' | unescape)
total=$(tr '\n' ' ' <"$junit" | grep -o '<testcase ' | wc -l)

unexpected=()
for name in "${skipped[@]}"; do
    ok=0
    for pattern in "${patterns[@]}"; do
        # shellcheck disable=SC2053 # the pattern is a wildcard on purpose
        if [[ $name == $pattern ]]; then
            ok=1
            break
        fi
    done
    if [ $ok -eq 1 ]; then
        echo "check-skips: allowed skip: $name"
    else
        unexpected+=("$name")
    fi
done
echo "check-skips: $total tests, ${#skipped[@]} skipped, ${#unexpected[@]} of them not allowed ($junit)"
for name in "${unexpected[@]}"; do
    echo "check-skips: NOT ALLOWED: $name skipped (list it with its reason in $allowed, or make it run)" >&2
done
if [ ${#unexpected[@]} -gt 0 ] || [ $bad -ne 0 ]; then
    exit 1
fi
