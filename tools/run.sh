#!/bin/sh
# run.sh PROGRAM: starts the program on this desktop.
set -eu
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "make run: no desktop to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Run it from a desktop session, or on a virtual display: xvfb-run -a $1" >&2
    exit 1
fi
exec "$1"
