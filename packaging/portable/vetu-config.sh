#!/bin/sh
# Starts the vetu-config of this folder on this folder as the device folder:
#     sh /media/$USER/VETU/vetu-config.sh [device folder | --choose-device]
# The device's drive is FAT, which desktops mount so that only .exe files may be executed,
# and which holds no symbolic links: the program is run by the system's dynamic loader (which
# needs no execute permission on it), with the libraries that lie here under their sonames.
here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P) || exit 1
loader=/lib64/ld-linux-x86-64.so.2
[ -e "$loader" ] || loader=/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2
if [ ! -e "$loader" ]; then
    echo "vetu-config.sh: no 64-bit x86 dynamic loader on this computer" >&2
    exit 1
fi
# Run through the loader, the program sees the loader as its executable, so neither its own
# folder nor qt.conf can lead Qt to the plugins: name them here, in a variable of the program's
# own that other Qt programs it starts do not read.
VETU_PLUGIN_PATH="$here/plugins"
export VETU_PLUGIN_PATH
if [ $# -eq 0 ]; then
    set -- "$here"
fi
exec "$loader" --library-path "$here/lib" --argv0 "$here/vetu-config" "$here/vetu-config" "$@"
