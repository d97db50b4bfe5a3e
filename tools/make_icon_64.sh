#!/bin/bash
# Draws the program icon of tools/make_icon.sh at 64x64 for the desktop's
# icon theme: the same "Bren" / "moor" in red on yellow, every size and
# offset doubled, so that menus and launchers need not blow up the 32 px
# picture. Writes packaging/varnholt-64.png.
#
# Needs ImageMagick (convert).
# Usage: tools/make_icon_64.sh
set -euo pipefail
cd "$(dirname "$0")/.."

convert -size 64x64 xc:'#FFFF00' \
    +antialias -font DejaVu-Sans-Condensed-Bold -pointsize 24 -fill '#FF0000' \
    -gravity north -annotate +0+4 'Bren' \
    -gravity south -annotate +0+4 'moor' \
    -strip -define png:exclude-chunks=date,time \
    packaging/varnholt-64.png
