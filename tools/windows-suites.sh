#!/bin/bash
# windows-suites.sh test|screenshots: runs the Windows tests, or renders the
# Windows pictures into docs/, under Wine on a virtual display: the shipped
# 32-bit build under the 32-bit Wine, natively where the kernel runs i386
# code, else under qemu-i386 emulation (tools/wine-env.sh), and the 64-bit
# build of the same sources under wine64. Says in one line how each suite
# ran and how long it took, its Wine prefixes included; fails if one failed.
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env.sh
how32="natively"
[ "$WINE_I386" = qemu ] && how32="under qemu-i386 emulation"
say_how32() { [ "$WINE_I386" = native ] || echo "The 32-bit Wine runs under qemu-i386 emulation: $WINE_I386_WHY"; }

on_xvfb() { xvfb-run -a -s "-screen 0 1920x1080x24" "$@"; }

suite() {  # suite BITS PRESET: its prefixes at 96, 144 and 192 dpi, then every test
    tools/wine-prefix.sh "$1" && tools/wine-prefix.sh "$1" 144 && tools/wine-prefix.sh "$1" 192 &&
        on_xvfb "$0" on-display "$@"
}

# Wine starts its services (desktop, devices, RPC) with the first program of
# a prefix and ends them seconds after the last. Started once per prefix by a
# run whose output no test waits for, and kept by a persistent server, they
# let each test start in under a second rather than five.
on_display() {  # on_display BITS PRESET, on the virtual display
    local build=build/windows
    [ "$1" = 64 ] && build=build/windows64
    prefixes="$PWD/$build/wineprefix $PWD/$build/wineprefix-144 $PWD/$build/wineprefix-192"
    trap 'for p in $prefixes; do WINEPREFIX=$p wineserver -k; done' EXIT
    for p in $prefixes; do
        WINEPREFIX=$p wineserver -p
        WINEPREFIX=$p tools/wine-run.sh "$build/tests/roster_tests.exe" --gtest_list_tests >/dev/null 2>&1 </dev/null
    done
    ctest --preset "$2"  # one at a time: the clipboard is shared
}

# The office's window reading a roster with problems, sealing and done, as its
# tests drive it: from the 64-bit build (the same sources), whose tests run
# quickly under wine64, into docs/windows-office-*.png.
office_screenshots() {
    local shots=build/windows64/office-shots
    rm -rf "$shots" && mkdir -p "$shots" && tools/wine-prefix.sh 64 &&
        OFFICE_SCREENSHOTS="Z:${PWD//\//\\}\\${shots//\//\\}" \
            on_xvfb tools/wine-run.sh build/windows64/tests/office_window_tests.exe >/dev/null || return
    for shot in "$shots"/office-*.png; do
        cp "$shot" "docs/windows-$(basename "$shot")"
    done
}

outcome() { [ "$1" -eq 0 ] && echo passed || echo FAILED; }

case "${1:-}" in
on-display)
    on_display "$2" "$3"
    ;;
test)
    say_how32
    start=$SECONDS
    suite 32 windows
    status32=$? time32=$((SECONDS - start))
    suite 64 windows64
    status64=$? time64=$((SECONDS - start - time32))
    echo "Windows suites: 32-bit $how32 $(outcome $status32) in $time32 s, 64-bit $(outcome $status64) in $time64 s"
    [ "$status32" -eq 0 ] && [ "$status64" -eq 0 ]
    ;;
screenshots)
    say_how32
    echo "Windows pictures: from the 32-bit Varnholt.exe, $how32"
    build=build/windows
    tools/wine-prefix.sh 32 && tools/wine-prefix.sh 32 192 &&
        tools/screenshots.sh windows docs tools/wine-run.sh $build/Varnholt.exe &&
        WINEPREFIX=$PWD/$build/wineprefix-192 SCALE=2 \
            tools/screenshots.sh windows-192dpi docs tools/wine-run.sh $build/Varnholt.exe &&
        office_screenshots
    ;;
*)
    echo "usage: windows-suites.sh test|screenshots" >&2
    exit 2
    ;;
esac
