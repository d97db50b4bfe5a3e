#!/bin/bash
# Draws the program icon: "Bren" / "moor" in red on a yellow ground.
# Writes frame/varnholt.png (32x32, the Linux window icon), frame/varnholt.ico
# (the Windows resource icon, a 256-colour palette BMP inside) and
# packaging/varnholt-64.png (the same design at 64x64 for the desktop's icon
# theme, so that menus need not blow up the 32 px picture).
#
# Needs ImageMagick (convert) and icoutils (icotool).
# Usage: tools/make_icon.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# draw SIZE OUTPUT: the design at SIZE pixels. +antialias keeps the glyphs
# crisp and the image down to exactly two colours; 12 px condensed bold at
# 32 px is the largest size where "moor" still fits the width. -strip and the
# excluded date/time chunks make the output byte-identical from run to run.
draw() {
    local scale=$(($1 / 32))
    convert -size "$1x$1" xc:'#FFFF00' \
        +antialias -font DejaVu-Sans-Condensed-Bold -pointsize $((12 * scale)) -fill '#FF0000' \
        -gravity north -annotate +0+$((2 * scale)) 'Bren' \
        -gravity south -annotate +0+$((2 * scale)) 'moor' \
        -strip -define png:exclude-chunks=date,time \
        "$2"
}

draw 32 frame/varnholt.png
draw 64 packaging/varnholt-64.png

# ImageMagick would store a two-colour image as a 1-bit ICO; icotool with
# -b 8 writes the uncompressed 8-bit BMP form (256-entry palette) that
# windres and Windows take as a 256-colour icon.
icotool -c -b 8 -o frame/varnholt.ico frame/varnholt.png

icotool -l frame/varnholt.ico
