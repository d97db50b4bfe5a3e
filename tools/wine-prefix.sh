#!/bin/bash
# wine-prefix.sh: makes the Wine prefix the Windows tests run in, once. Where
# the Windows fonts are missing, their Song-style substitute is named, as
# the Linux build does.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/windows/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/.varnholt-ready" ] && exit 0
echo "Creating the Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
replace() {  # replace FACE BY: draw FACE with the installed face BY
    LANG=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$1" /d "$2" /f >/dev/null 2>&1
}
replace 宋体 "Noto Serif CJK SC"
replace 方正小标宋简体 "Noto Serif CJK SC"
# Message boxes and captions use the system faces, which need Chinese glyphs too.
for face in "MS Shell Dlg" "MS Shell Dlg 2" Tahoma "Microsoft Sans Serif"; do
    replace "$face" "Noto Sans CJK SC"
done
# Wine draws its own frames: no window manager is needed, and none is waited for.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.varnholt-ready"
