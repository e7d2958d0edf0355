#!/usr/bin/env bash
# Checks a portable folder with ldd (empty LD_LIBRARY_PATH): for vetu-config, the crash
# dialog program and each Qt plugin, every library it loads resolves inside the folder,
# except the host's own (system-libraries.txt) and what only those need; nothing is left
# unresolved.
# Usage: check-libraries.sh <portable folder>
set -euo pipefail
source "$(dirname "$0")/portable-common.sh"
folder=$(cd "$1" && pwd -P)
system=$(portable_system_regex)
failures=0
checked=0
declare -A needed=()
declare -A real=()
while IFS= read -r entry; do
    checked=$((checked + 1))
    name=${entry#"$folder"/}
    # Where the loader puts each soname when it loads this entry.
    declare -A at=()
    while read -r soname path; do
        at[$soname]=$path
        if [ "$path" = not-found ]; then
            echo "$name: $soname is not found" >&2
            failures=$((failures + 1))
        fi
    done < <(portable_resolved "$entry")
    # Walk from the entry through the libraries it needs, up to the host's own.
    declare -A seen=()
    queue=("$entry")
    while [ ${#queue[@]} -gt 0 ]; do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        [ -n "${needed[$file]+set}" ] || needed[$file]=$(portable_needed "$file" | paste -sd ' ')
        for soname in ${needed[$file]}; do
            [[ $soname =~ $system ]] && continue
            [ -n "${seen[$soname]:-}" ] && continue
            seen[$soname]=1
            path=${at[$soname]:-not-found}
            [ "$path" = not-found ] && continue
            [ -n "${real[$path]:-}" ] || real[$path]=$(readlink -f "$path")
            path=${real[$path]}
            if [[ $path != "$folder"/* ]]; then
                echo "$name: $soname resolves outside the folder: $path" >&2
                failures=$((failures + 1))
                continue
            fi
            queue+=("$path")
        done
    done
    unset seen at
done < <(portable_entry_files "$folder")
if [ "$checked" -lt 3 ]; then
    echo "no programs or plugins in $folder" >&2
    exit 1
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures libraries of $folder do not resolve inside it" >&2
    exit 1
fi
echo "every library of the $checked programs and plugins resolves inside $folder or is the host's own"
