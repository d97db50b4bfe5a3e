#!/bin/bash
# wine-prefix.sh BITS [DPI]: makes a Wine prefix for the Windows tests of the
# 32- or 64-bit build, once: build/windows/wineprefix or
# build/windows64/wineprefix, with -DPI for a screen of DPI dots per inch.
# Where the Windows fonts are missing, Song-style substitutes are named, as
# the Linux build does.
set -euo pipefail
bits=$1 dpi=${2:-96}
source "$(dirname "$0")/wine-env.sh"
wine_for "$bits"
export WINEPREFIX=$WINE_BUILD/wineprefix${2:+-$2}
[ -f "$WINEPREFIX/.varnholt-ready" ] && exit 0
echo "Creating the Wine prefix $WINEPREFIX ($dpi dpi)"
mkdir -p "$WINEPREFIX"
trap 'echo "wine-prefix.sh: making $WINEPREFIX failed at line $LINENO (Wine said: $(tail -3 "$WINEPREFIX/wineboot.log" 2>/dev/null))" >&2' ERR
# A 64-bit prefix where i386 code cannot run says it failed to start the
# 32-bit rundll32; that part is not needed. A first boot that fails while
# another prefix's server is still going down is tried once more.
boot() { WINEARCH=win$bits "$WINE" wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1; }
boot || { wineserver -k 2>/dev/null; sleep 2; boot; }

reg() { "$WINE" reg add "$@" /f >/dev/null 2>&1; }
replace() {  # replace FACE BY: draw FACE with the installed face BY
    reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$1" /d "$2"
}
replace 宋体 "Noto Serif CJK SC"
replace 方正小标宋简体 "Noto Serif CJK SC"
# The office window's faces: a sans-serif one, and a fixed-pitch one for its report.
replace "Microsoft YaHei" "Noto Sans CJK SC"
replace NSimSun "Noto Sans Mono CJK SC"
# Message boxes and captions use the system faces, which need Chinese glyphs too.
for face in "MS Shell Dlg" "MS Shell Dlg 2" Tahoma "Microsoft Sans Serif"; do
    replace "$face" "Noto Sans CJK SC"
done
# Wine draws its own frames: no window manager is needed, and none is waited for.
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi"
wineserver -w
touch "$WINEPREFIX/.varnholt-ready"
