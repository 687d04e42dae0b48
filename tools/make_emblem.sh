#!/bin/sh
# Draws resources/tw_emblem.png: a 1024 x 1024 RGBA emblem, a blue rounded square carrying the
# letters "TW" in off-white. Every shape is given by fixed coordinates, and the PNG is written
# without time stamps, so running this again gives the same bytes.
#
#     tools/make_emblem.sh [output.png]        (default: resources/tw_emblem.png)
#
# Needs ImageMagick's convert (Debian package imagemagick).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/../resources/tw_emblem.png"}

# Debian's ImageMagick lives in /usr/bin; prefer it over anything else called convert.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

"$convert" -size 1024x1024 xc:none \
    -fill '#0094D8' -draw 'roundrectangle 32,32 991,991 176,176' \
    -fill '#F5F5F5' \
    -draw 'polygon 146,332 426,332 426,418 146,418' \
    -draw 'polygon 243,332 329,332 329,692 243,692' \
    -draw 'polygon 448,332 536.37,332 621.52,692 533.15,692' \
    -draw 'polygon 618.3,332 706.67,332 621.52,692 533.15,692' \
    -draw 'polygon 619.33,332 707.7,332 792.85,692 704.48,692' \
    -draw 'polygon 789.63,332 878,332 792.85,692 704.48,692' \
    -strip \
    -define png:exclude-chunks=date,time \
    +set date:create +set date:modify \
    -interlace none -depth 8 \
    "PNG32:$out"
