#!/bin/sh
# x11_session.sh openbox|none COMMAND [ARG...]: runs COMMAND as a Qt client of
# a fresh Xvfb screen of 1280 × 1024, under openbox (ready before COMMAND
# starts) or without a window manager.
set -eu
wm=$1
shift
work=$(mktemp -d)
xvfb=""
manager=""
trap 'kill $manager $xvfb 2>/dev/null; rm -rf "$work"' EXIT

# Xvfb picks a free display itself: safe beside other X servers and tests.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
until grep -q . "$work/display"; do
    kill -0 $xvfb 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.05
done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
export DBUS_SESSION_BUS_ADDRESS=disabled:  # no session bus to look for

if [ "$wm" = openbox ]; then
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    manager=$!
    # Ready once it has announced itself on the root window.
    tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        tries=$((tries + 1))
        [ $tries -lt 200 ] || { echo "openbox did not start:" >&2; cat "$work/openbox.log" >&2; exit 1; }
        sleep 0.05
    done
fi
"$@"
