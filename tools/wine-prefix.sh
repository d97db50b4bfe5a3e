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
for face in 宋体 方正小标宋简体; do
    LANG=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Noto Serif CJK SC" /f >/dev/null 2>&1
done
# Wine draws its own frames: no window manager is needed, and none is waited for.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.varnholt-ready"
