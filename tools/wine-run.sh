#!/bin/bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a Windows program under Wine, in the
# build's own prefix, quietly, with Unix line ends on what it prints. The
# exit status is the program's.
set -uo pipefail
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8  # a Simplified Chinese Windows (locale 2052)
wine "$@" 2> >(tr -d '\r' >&2) | tr -d '\r'
exit "${PIPESTATUS[0]}"
