# Sourced by the Wine scripts: wine_for BITS sets WINE, the loader of that
# architecture, called directly (Debian's wine wrapper takes the 32-bit loader
# whenever it is installed, even where it cannot run), WINE_BUILD, the build
# folder of that architecture, and, unless set, the WINEPREFIX there. Every
# Windows run is an English Windows, whatever the machine's locale: the
# program must bring its own Chinese texts.
wine_for() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    case "$1" in
    32) WINE=/usr/lib/wine/wine WINE_BUILD=$root/build/windows ;;
    64) WINE=/usr/lib/wine/wine64 WINE_BUILD=$root/build/windows64 ;;
    *) echo "wine_for: 32 or 64, not $1" >&2; return 2 ;;
    esac
    export WINE WINE_BUILD WINELOADER=$WINE
    export WINEPREFIX=${WINEPREFIX:-$WINE_BUILD/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
    export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
}
