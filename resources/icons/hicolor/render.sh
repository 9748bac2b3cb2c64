#!/usr/bin/env bash
# Renders the PNG icons the desktop picks from by size, from the two SVGs beside this folder.
# The PNGs are committed: building the package needs no SVG renderer. Needs rsvg-convert
# (librsvg2-bin) and optipng when present. Run again after changing an SVG.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$here/${size}x${size}/apps" "$here/${size}x${size}/mimetypes"
    rsvg-convert -w "$size" -h "$size" -o "$here/${size}x${size}/apps/vesk.png" "$here/../vesk.svg"
    rsvg-convert -w "$size" -h "$size" -o "$here/${size}x${size}/mimetypes/application-x-vesk.png" \
        "$here/../application-x-vesk.svg"
done
if command -v optipng > /dev/null; then
    find "$here" -name '*.png' -exec optipng -quiet -o7 {} +
fi
