#!/bin/bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a Windows program under the Wine of
# its architecture (read from its PE header), in that build's own prefix,
# quietly, with Unix line ends on what it prints. The exit status is the
# program's.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
# The machine field follows the "PE\0\0" signature, whose offset is at 0x3c.
pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')
case "$machine" in
014c) wine_for 32 || exit ;;
8664) wine_for 64 || exit ;;
*) echo "wine-run.sh: $1 is not an i386 or x86-64 Windows program" >&2; exit 2 ;;
esac
"$WINE" "$@" 2> >(tr -d '\r' >&2) | tr -d '\r'
exit "${PIPESTATUS[0]}"
