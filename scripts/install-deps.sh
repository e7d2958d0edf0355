#!/usr/bin/env bash
# Installs every build and test dependency from Debian 12's packages.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev
    zlib1g-dev libminizip-dev libjpeg62-turbo-dev
    libdw-dev libelf-dev libcapstone-dev libcurl4-openssl-dev
    binutils elfutils poppler-utils unzip zip xvfb xauth xdotool x11-apps pngcheck
    clang libclang-rt-14-dev
    libssl-dev openssl python3-aiosmtpd dnsmasq-base
    dpkg-dev desktop-file-utils patchelf mtools dosfstools libxcb1-dev libxcb-damage0-dev
    valgrind heaptrack
    python3-pyftpdlib tinyproxy curl
)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
