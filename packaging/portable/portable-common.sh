# Helpers shared by scripts/make-portable.sh and packaging/portable/check-libraries.sh.
# shellcheck shell=bash

PORTABLE_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The regular expression of the sonames that stay the host's (system-libraries.txt).
portable_system_regex()
{
    local patterns
    patterns=$(grep -v -e '^#' -e '^[[:space:]]*$' "$PORTABLE_SOURCE_DIR/system-libraries.txt" | paste -sd '|')
    printf '^(%s)$' "$patterns"
}

# The sonames that an ELF file names as direct dependencies (DT_NEEDED).
portable_needed()
{
    LC_ALL=C readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'
}

# "soname path" for each library as the loader resolves it for the file, with an empty
# LD_LIBRARY_PATH; "soname not-found" when it does not resolve.
portable_resolved()
{
    env -u LD_LIBRARY_PATH LC_ALL=C ldd "$1" 2>/dev/null | awk '
        $2 == "=>" && $3 == "not" { print $1, "not-found"; next }
        $2 == "=>" && $3 ~ /^\// { print $1, $3 }'
}

# The programs and plugins of a portable folder: the files that the loader or Qt load first,
# from which every library is reached.
portable_entry_files()
{
    local folder=$1 file
    for file in "$folder"/vetu-config "$folder"/crashreport-dialog "$folder"/plugins/*/*; do
        [ -f "$file" ] && printf '%s\n' "$file"
    done
    return 0
}

# Every ELF file of a portable folder: the programs, libraries and plugins.
portable_elf_files()
{
    local folder=$1 file
    for file in "$folder"/vetu-config "$folder"/crashreport-dialog "$folder"/lib/* "$folder"/plugins/*/*; do
        [ -f "$file" ] && head -c 4 "$file" | grep -q 'ELF' && printf '%s\n' "$file"
    done
    return 0
}
