#!/usr/bin/env bash
# Renders resources/windows/app_icon.svg into resources/windows/app_icon.ico: 16, 32 and 48 px
# images at 32 bits per pixel and a 256 px image stored as PNG. Needs librsvg2-bin, imagemagick
# and icoutils. The .ico is committed; run this only after changing the drawing.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)/resources/windows"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for size in 16 32 48 256; do
    rsvg-convert --width "$size" --height "$size" "$here/app_icon.svg" --output "$work/raw$size.png"
    # Fixed colour type (RGBA, 8 bits) and no time stamps, so the same drawing gives the same bytes.
    convert "$work/raw$size.png" -define png:color-type=6 -define png:bit-depth=8 \
        -define png:exclude-chunks=date,time,tIME +set date:create +set date:modify \
        "PNG32:$work/icon$size.png"
done

icotool --create --output "$here/app_icon.ico" \
    "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" --raw="$work/icon256.png"
icotool --list "$here/app_icon.ico"
