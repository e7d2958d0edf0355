#!/usr/bin/env bash
# Renders the committed PNG sizes of the icon from vetu-config.svg (needs rsvg-convert,
# package librsvg2-bin). Run it after changing the SVG and commit the PNG files.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" vetu-config.svg -o "vetu-config-$size.png"
done
