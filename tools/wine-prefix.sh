#!/bin/bash
# wine-prefix.sh [DPI]: makes a Wine prefix for the Windows tests, once:
# build/windows/wineprefix, or build/windows/wineprefix-DPI for a screen of
# DPI dots per inch. Where the Windows fonts are missing, Song-style
# substitutes are named, as the Linux build does.
set -euo pipefail
dpi=${1:-96}
build=$(cd "$(dirname "$0")/.." && pwd)/build/windows
export WINEPREFIX=$build/wineprefix${1:+-$1}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/.varnholt-ready" ] && exit 0
echo "Creating the Wine prefix $WINEPREFIX ($dpi dpi)"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1

reg() { LANG=C.UTF-8 wine reg add "$@" /f >/dev/null 2>&1; }
replace() {  # replace FACE BY: draw FACE with the installed face BY
    reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$1" /d "$2"
}
replace 宋体 "Noto Serif CJK SC"
replace 方正小标宋简体 "Noto Serif CJK SC"
# Message boxes and captions use the system faces, which need Chinese glyphs too.
for face in "MS Shell Dlg" "MS Shell Dlg 2" Tahoma "Microsoft Sans Serif"; do
    replace "$face" "Noto Sans CJK SC"
done
# Wine draws its own frames: no window manager is needed, and none is waited for.
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi"
wineserver -w
touch "$WINEPREFIX/.varnholt-ready"
