#!/usr/bin/env bash
# Checks the Debian package: its control data (dependencies from the shared libraries), its
# files where they belong (unpacked with dpkg -x into a scratch root), the desktop entry, and
# that it installs into and is removed from a scratch dpkg database without leaving files.
# Usage: check-package.sh <package> <scratch dir>
set -euo pipefail
deb=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

info=$(dpkg-deb --info "$deb")
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = vetu-config ] || fail "package name is '$(field Package)'"
[ "$(field Architecture)" = amd64 ] || fail "architecture is '$(field Architecture)'"
depends=$(field Depends)
echo "Depends: $depends"
# dpkg-shlibdeps writes versioned dependencies on the library packages.
listed=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 xdg-utils; do
    grep -Fqx "$package" <<<"$listed" || fail "Depends lacks $package"
done
grep -Eq 'libqt6core6[^,]* \(>= ' <<<"$depends" || fail "the Qt dependency carries no version"
grep -q 'Description: configuration program of the Vetu signal counter' <<<"$info" || fail "no description"

root=$scratch/root
dpkg -x "$deb" "$root"
expect_file()
{
    local path=$1 mode=${2:-}
    if [ ! -f "$root/$path" ]; then
        fail "$path is missing"
    elif [ "$mode" = x ] && [ ! -x "$root/$path" ]; then
        fail "$path is not executable"
    fi
}
expect_file usr/bin/vetu-config x
expect_file usr/libexec/vetu/crashreport-dialog x
expect_file usr/lib/vetu/libCRLeaks.so
for language in de en fr es; do expect_file "usr/share/vetu/help/Vetu_$language.html"; done
expect_file usr/share/applications/vetu-config.desktop
expect_file usr/share/icons/hicolor/scalable/apps/vetu-config.svg
for size in 16 24 32 48 64 128 256; do
    expect_file "usr/share/icons/hicolor/${size}x$size/apps/vetu-config.png"
    if [ -f "$root/usr/share/icons/hicolor/${size}x$size/apps/vetu-config.png" ]; then
        # The PNG header holds the width and height at bytes 16..23.
        dims=$(od -An -tx1 -j16 -N8 "$root/usr/share/icons/hicolor/${size}x$size/apps/vetu-config.png" | tr -d ' \n')
        [ "$dims" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "the ${size}x$size icon's PNG header says $dims"
    fi
done
expect_file usr/share/man/man1/vetu-config.1.gz
gzip -t "$root/usr/share/man/man1/vetu-config.1.gz" || fail "the manual page is no gzip file"
zcat "$root/usr/share/man/man1/vetu-config.1.gz" | grep -q -- 'choose-device' || fail "the manual page lacks --choose-device"
expect_file usr/share/doc/vetu-config/copyright
# Nothing outside /usr, and no build tree in a run path.
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: $outside"
# vetu-config finds its private leak catcher in /usr/lib/vetu/ and nowhere else.
runpath_of() { LC_ALL=C readelf -d "$1" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p'; }
if [ -f "$root/usr/lib/vetu/libCRLeaks.so" ]; then
    [ "$(runpath_of "$root/usr/bin/vetu-config")" = '$ORIGIN/../lib/vetu' ] \
        || fail "vetu-config's run path is not \$ORIGIN/../lib/vetu: $(runpath_of "$root/usr/bin/vetu-config")"
elif [ -n "$(runpath_of "$root/usr/bin/vetu-config")" ]; then
    fail "usr/bin/vetu-config keeps a run path: $(runpath_of "$root/usr/bin/vetu-config")"
fi
for program in usr/libexec/vetu/crashreport-dialog usr/lib/vetu/libCRLeaks.so; do
    [ -f "$root/$program" ] || continue
    [ -z "$(runpath_of "$root/$program")" ] || fail "$program keeps a run path: $(runpath_of "$root/$program")"
done

# The menu entry: valid, with our icon, starting the program with the device chooser.
entry=$root/usr/share/applications/vetu-config.desktop
if [ -f "$entry" ]; then
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
    grep -qx 'Exec=vetu-config --choose-device' "$entry" || fail "the entry does not start vetu-config --choose-device"
    grep -qx 'Icon=vetu-config' "$entry" || fail "the entry's icon is not vetu-config"
fi

# Install and remove with dpkg in a scratch database: everything it put there goes again.
admin=$scratch/dpkg
target=$scratch/installed
mkdir -p "$admin/updates" "$admin/info" "$target"
: >"$admin/status"
# The maintainer scripts do nothing; they run without a chroot into the scratch root.
dpkg_scratch() { dpkg --admindir="$admin" --instdir="$target" --force-depends --force-not-root --force-script-chrootless --no-triggers "$@"; }
dpkg_scratch -i "$deb" >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log" >&2; fail "dpkg -i failed"; }
[ -x "$target/usr/bin/vetu-config" ] || fail "dpkg -i did not install usr/bin/vetu-config"
dpkg_scratch -r vetu-config >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log" >&2; fail "dpkg -r failed"; }
left=$(find "$target" -type f)
[ -z "$left" ] || fail "files left after removal: $left"

if [ $failures -ne 0 ]; then
    echo "$failures checks of the package failed" >&2
    exit 1
fi
echo "the package holds its files where they belong, installs and removes cleanly"
