#!/bin/bash
# windows-suites.sh test|screenshots: runs the Windows tests, or renders the
# Windows pictures into docs/, under the Wine this machine can run. The
# shipped program is 32-bit, but some machines run 64-bit user code only, and
# there the 32-bit Wine cannot start: whether it can is found by running its
# loader. The 64-bit build of the same sources runs under wine64 everywhere.
# Says in one line which suites ran and why one did not; fails if one that
# ran failed.
set -uo pipefail
cd "$(dirname "$0")/.."

if probe=$(/usr/lib/wine/wine --version 2>&1); then
    i386=""
else  # the shell's message ends with the reason: "Exec format error"
    i386="this machine cannot run i386 code (/usr/lib/wine/wine: ${probe##*: })"
fi

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

outcome() { [ "$1" -eq 0 ] && echo passed || echo FAILED; }

case "${1:-}" in
on-display)
    on_display "$2" "$3"
    ;;
test)
    if [ -z "$i386" ]; then
        suite 32 windows
        status32=$?
        suite 64 windows64
        status64=$?
        echo "Windows suites: 32-bit $(outcome $status32), 64-bit $(outcome $status64)"
    else
        # The shipped program's own checks need no Wine; the folder of the
        # other tests would try to list them under Wine.
        ctest --test-dir build/windows/tests/static --output-on-failure --no-tests=error
        status32=$?
        suite 64 windows64
        status64=$?
        echo "Windows suites: 64-bit $(outcome $status64), static checks of the 32-bit Varnholt.exe" \
             "$(outcome $status32); 32-bit under Wine skipped: $i386"
    fi
    [ "$status32" -eq 0 ] && [ "$status64" -eq 0 ]
    ;;
screenshots)
    if [ -z "$i386" ]; then
        bits=32 build=build/windows
        echo "Windows pictures: from the 32-bit Varnholt.exe"
    else
        bits=64 build=build/windows64
        echo "Windows pictures: from the 64-bit build, since $i386"
    fi
    tools/wine-prefix.sh $bits && tools/wine-prefix.sh $bits 192 &&
        tools/screenshots.sh windows docs tools/wine-run.sh $build/Varnholt.exe &&
        WINEPREFIX=$PWD/$build/wineprefix-192 SCALE=2 \
            tools/screenshots.sh windows-192dpi docs tools/wine-run.sh $build/Varnholt.exe
    ;;
*)
    echo "usage: windows-suites.sh test|screenshots" >&2
    exit 2
    ;;
esac
