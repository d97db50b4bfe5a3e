# Sourced by the Wine scripts: wine_for BITS sets WINE, the command that runs
# the loader of that architecture (called directly: Debian's wine wrapper
# takes the 32-bit loader whenever it is installed, even where it cannot run),
# WINE_BUILD, the build folder of that architecture, and, unless set, the
# WINEPREFIX there. Every Windows run is an English Windows, whatever the
# machine's locale: the program must bring its own Chinese texts.
#
# The 32-bit loader runs natively where the kernel runs i386 code, else under
# qemu-i386-static with tools/wine-on-qemu.c preloaded (built on first use
# with gcc -m32 into build/windows). WINE_I386=native or qemu chooses; unset,
# running the loader decides. WINE_I386_WHY says why, unless it runs natively
# of itself.
QEMU_I386=/usr/bin/qemu-i386-static

if [ -z "${WINE_I386:-}" ]; then
    if probe=$(/usr/lib/wine/wine --version 2>&1); then
        WINE_I386=native
    else  # the shell's message ends with the reason: "Exec format error"
        WINE_I386=qemu
        WINE_I386_WHY="this machine cannot run i386 code (/usr/lib/wine/wine: ${probe##*: })"
    fi
elif [ -z "${WINE_I386_WHY:-}" ]; then
    WINE_I386_WHY="chosen by WINE_I386=$WINE_I386"
fi
export WINE_I386 WINE_I386_WHY

wine_for() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    case "$1" in
    32) WINELOADER=/usr/lib/wine/wine WINE_BUILD=$root/build/windows ;;
    64) WINELOADER=/usr/lib/wine/wine64 WINE_BUILD=$root/build/windows64 ;;
    *) echo "wine_for: 32 or 64, not $1" >&2; return 2 ;;
    esac
    WINE=$WINELOADER
    if [ "$1" = 32 ]; then
        case "$WINE_I386" in
        native) ;;
        qemu) WINE=wine_on_qemu
              wine_on_qemu_library "$root" || return ;;
        *) echo "wine_for: WINE_I386 is native or qemu, not $WINE_I386" >&2; return 2 ;;
        esac
    fi
    export WINE WINE_BUILD WINELOADER
    export WINEPREFIX=${WINEPREFIX:-$WINE_BUILD/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
    export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
}

# Builds the preloaded library when it is missing or older than its source;
# a new file is moved into place whole, so a parallel run never loads half.
wine_on_qemu_library() {
    WINE_ON_QEMU=$WINE_BUILD/wine-on-qemu.so
    export WINE_ON_QEMU
    [ "$WINE_ON_QEMU" -nt "$1/tools/wine-on-qemu.c" ] && return
    mkdir -p "$WINE_BUILD"
    if [ ! -x "$QEMU_I386" ] ||
        ! gcc -m32 -shared -fPIC -O2 -Wall -Wextra -DQEMU="\"$QEMU_I386\"" \
            -o "$WINE_ON_QEMU.$$" "$1/tools/wine-on-qemu.c"; then
        echo "The 32-bit Wine needs $QEMU_I386 and gcc -m32 here: tools/install-deps.sh i386-emulation" >&2
        return 1
    fi
    mv "$WINE_ON_QEMU.$$" "$WINE_ON_QEMU"
}

wine_on_qemu() {  # the 32-bit loader under qemu, which runs every program Wine starts the same way
    LD_PRELOAD=$WINE_ON_QEMU "$QEMU_I386" "$WINELOADER" "$@"
}
