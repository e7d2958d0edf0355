#!/usr/bin/env bash
# Builds the portable folder for the device's drive from a build tree: vetu-config and
# crashreport-dialog with the Qt libraries, the Qt plugins they need (platforms xcb and
# offscreen, the compose input context for dead keys, CUPS print support, image readers) and every other
# shared library they need except the host's own (packaging/portable/system-libraries.txt),
# copied under their sonames with $ORIGIN-relative run paths; qt.conf, the starter
# vetu-config.sh, the HTML help and the licence notices of what is bundled.
# Copy the folder's content onto the drive beside the device files and start it with
#     sh /media/$USER/VETU/vetu-config.sh
# Usage: scripts/make-portable.sh <build dir> <out dir>   (the out dir is replaced)
# Needs patchelf, readelf, ldd and dpkg (for the licence notices).
set -euo pipefail
if [ $# -ne 2 ]; then
    echo "usage: $0 <build dir> <out dir>" >&2
    exit 2
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$source_dir/packaging/portable/portable-common.sh"
build=$(cd "$1" && pwd)
out=$2

program=$build/app/vetu-config
companion=$build/app/crashreport-dialog
for tool in patchelf readelf ldd dpkg-query; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -f "$program" ] || { echo "$0: $program is not built" >&2; exit 1; }

qt_core=$(portable_resolved "$program" | awk '$1 == "libQt6Core.so.6" { print $2 }')
[ -n "$qt_core" ] || { echo "$0: vetu-config does not link Qt 6" >&2; exit 1; }
qt_plugins=$(dirname "$(readlink -f "$qt_core")")/qt6/plugins
plugins=(
    platforms/libqxcb.so
    platforms/libqoffscreen.so
    platforminputcontexts/libcomposeplatforminputcontextplugin.so
    printsupport/libcupsprintersupport.so
)
# The image readers that Qt loads at start-up, where this machine's Qt has them.
for plugin in imageformats/libqgif.so imageformats/libqico.so imageformats/libqjpeg.so; do
    [ -f "$qt_plugins/$plugin" ] && plugins+=("$plugin")
done

rm -rf "$out"
mkdir -p "$out/lib" "$out/plugins" "$out/licenses"
out=$(cd "$out" && pwd -P)

cp "$program" "$out/vetu-config"
[ -f "$companion" ] && cp "$companion" "$out/crashreport-dialog"
for plugin in "${plugins[@]}"; do
    mkdir -p "$out/plugins/$(dirname "$plugin")"
    cp "$qt_plugins/$plugin" "$out/plugins/$plugin"
done

# The libraries: walk the direct dependencies from the programs and plugins, stopping at
# the host's own; each is copied once, under the soname that its users ask for. Where a
# soname lies on this machine comes from ldd of the original programs and plugins.
system=$(portable_system_regex)
originals=("$program")
[ -f "$companion" ] && originals+=("$companion")
for plugin in "${plugins[@]}"; do originals+=("$qt_plugins/$plugin"); done
declare -A location=()
while read -r soname path; do
    [ "$path" = not-found ] && continue
    [ -n "${location[$soname]:-}" ] || location[$soname]=$(readlink -f "$path")
done < <(for file in "${originals[@]}"; do portable_resolved "$file"; done)
declare -A bundled=()
queue=("${originals[@]}")
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for soname in $(portable_needed "$file"); do
        [[ $soname =~ $system ]] && continue
        [ -n "${bundled[$soname]:-}" ] && continue
        if [ -z "${location[$soname]:-}" ]; then
            echo "$0: $(basename "$file") needs $soname, which is not installed" >&2
            exit 1
        fi
        bundled[$soname]=${location[$soname]}
        cp "${bundled[$soname]}" "$out/lib/$soname"
        queue+=("${bundled[$soname]}")
    done
done

# Run paths relative to each file, so that a copy of the folder anywhere finds its own.
chmod u+w "$out/lib"/* "$out"/plugins/*/*
for file in "$out/vetu-config" "$out/crashreport-dialog"; do
    [ -f "$file" ] && patchelf --set-rpath '$ORIGIN/lib' "$file"
done
for file in "$out"/lib/*; do patchelf --set-rpath '$ORIGIN' "$file"; done
for file in "$out"/plugins/*/*; do patchelf --set-rpath '$ORIGIN/../../lib' "$file"; done

cp "$source_dir/packaging/portable/qt.conf" "$out/qt.conf"
cp "$source_dir/packaging/portable/vetu-config.sh" "$out/vetu-config.sh"
cp "$source_dir"/help/*.html "$out/"

# Licence notices: the Debian copyright file of every package that a bundled file comes from,
# the licence texts they refer to, and a list of which file comes from which package.
{
    echo "Libraries and plugins in this folder, with the Debian package and version they come from."
    echo "Each package's licence notice is licenses/<package>.copyright; the licence texts that"
    echo "they name are in licenses/common-licenses/. Qt is used under the LGPL version 3."
    echo
} >"$out/licenses/README"
# The package of every bundled file, from one dpkg query (merged /usr lists many libraries
# under /lib, so both spellings are asked).
declare -A source_of=()
for soname in "${!bundled[@]}"; do source_of[lib/$soname]=${bundled[$soname]}; done
for plugin in "${plugins[@]}"; do source_of[plugins/$plugin]=$qt_plugins/$plugin; done
mapfile -t queries < <(for path in "${source_of[@]}"; do printf '%s\n%s\n' "$path" "${path#/usr}"; done | sort -u)
declare -A package_of=()
while IFS= read -r line; do
    path=${line#*: }
    package=${line%%: *}
    package=${package%%:*}
    package_of[$path]=$package
    package_of[/usr$path]=$package
done < <(dpkg-query -S "${queries[@]}" 2>/dev/null || true)
packages=()
for file in $(printf '%s\n' "${!source_of[@]}" | sort); do
    package=${package_of[${source_of[$file]}]:-unknown}
    packages+=("$package")
    echo "$file  $package" >>"$out/licenses/README"
done
for package in $(printf '%s\n' "${packages[@]}" | grep -v '^$' | sort -u); do
    version=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || true)
    sed -i "s/  $package\$/  $package $version/" "$out/licenses/README"
    copyright=/usr/share/doc/$package/copyright
    [ -f "$copyright" ] && cp "$copyright" "$out/licenses/$package.copyright"
done
mkdir -p "$out/licenses/common-licenses"
for license in LGPL-2.1 LGPL-3 GPL-2 GPL-3 Apache-2.0 MPL-2.0; do
    [ -f "/usr/share/common-licenses/$license" ] && cp "/usr/share/common-licenses/$license" "$out/licenses/common-licenses/"
done

bash "$source_dir/packaging/portable/check-libraries.sh" "$out"
echo "portable folder: $out ($(du -sh "$out" | cut -f1))"
