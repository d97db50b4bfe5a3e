#!/bin/bash
# Draws the program icon: "Bren" / "moor" in red on a yellow ground, 32x32.
# Writes frame/varnholt.png (window icon on Linux) and frame/varnholt.ico
# (Windows resource icon, 256-colour palette BMP inside).
#
# Needs ImageMagick (convert) and icoutils (icotool).
# Usage: tools/make_icon.sh
set -euo pipefail
cd "$(dirname "$0")/.."

png=frame/varnholt.png
ico=frame/varnholt.ico

# +antialias keeps the glyphs crisp and the image down to exactly two
# colours; 12 px condensed bold is the largest size where "moor" still fits
# the 32 px width. -strip and the excluded date/time chunks make the output
# byte-identical from run to run.
convert -size 32x32 xc:'#FFFF00' \
    +antialias -font DejaVu-Sans-Condensed-Bold -pointsize 12 -fill '#FF0000' \
    -gravity north -annotate +0+2 'Bren' \
    -gravity south -annotate +0+2 'moor' \
    -strip -define png:exclude-chunks=date,time \
    "$png"

# ImageMagick would store a two-colour image as a 1-bit ICO; icotool with
# -b 8 writes the uncompressed 8-bit BMP form (256-entry palette) that
# windres and Windows take as a 256-colour icon.
icotool -c -b 8 -o "$ico" "$png"

icotool -l "$ico"
