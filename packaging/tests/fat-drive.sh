#!/usr/bin/env bash
# The portable folder on the device's FAT drive: copied onto a FAT image, it must come back
# unchanged (names FAT can hold, no symbolic links) and start from there without any execute
# permission, as a desktop mounts such a drive (vfat with showexec: only .exe, .com and .bat
# files are executable).
# Where the kernel can mount the image (loop device and vfat), the test starts the program on
# the mounted image; elsewhere (containers without vfat) it reads the image back with mtools
# and takes every execute permission away, which is what showexec leaves of the folder.
# Usage: fat-drive.sh <portable folder holding the device files> <scratch dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
folder=$(cd "$1" && pwd -P)
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd -P)

if find "$folder" -type l | grep -q .; then
    echo "the folder holds symbolic links, which FAT cannot store:" >&2
    find "$folder" -type l >&2
    exit 1
fi

size_kb=$(du -sk "$folder" | cut -f1)
image=$scratch/drive.img
# Room for the files, their clusters and the tables.
mkfs.vfat -F 32 -n VETU -C "$image" $((size_kb * 5 / 4 + 65536)) >/dev/null
mcopy -s -Q -i "$image" "$folder"/* ::/

drive=$scratch/VETU
mkdir -p "$drive"
mounted=0
if mount -t vfat -o loop,showexec,uid="$(id -u)",gid="$(id -g)" "$image" "$drive" 2>/dev/null; then
    mounted=1
    trap 'umount "$drive" 2>/dev/null || true' EXIT
    echo "drive: the image mounted as vfat with showexec"
else
    echo "drive: vfat cannot be mounted here; the image read back with mtools, without execute permissions"
    mcopy -s -Q -n -i "$image" '::/*' "$drive/"
    find "$drive" -type f -exec chmod a-x {} +
fi

# What went onto the drive is what came back: the same names and the same bytes.
if ! diff <(cd "$folder" && find . -type f | sort) <(cd "$drive" && find . -type f | sort); then
    echo "the folder's names did not survive the FAT drive" >&2
    exit 1
fi
(cd "$folder" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$scratch/before.sum"
(cd "$drive" && sha256sum --quiet -c "$scratch/before.sum")
if find "$drive" -type f -perm /111 | grep -q .; then
    echo "files on the drive are executable, unlike on a desktop's FAT mount" >&2
    exit 1
fi

status=0
bash "$here/start-portable.sh" "$drive" || status=$?
if [ $mounted -eq 1 ]; then
    umount "$drive"
    trap - EXIT
fi
exit $status
