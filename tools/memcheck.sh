#!/bin/bash
# memcheck.sh PROGRAM: runs the Linux program under Valgrind's memcheck on a
# virtual X display: start, a query answered, 继续查询, then the window's close
# control. Fails on any memory error or definite leak; the toolkit's known
# one-time allocations are suppressed in tools/memcheck.supp.
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
cc -O2 -o "$work/xclose" "$here/xclose.c" -lX11

export DISPLAY=:$((200 + RANDOM % 100))
# No session bus here: keep libdbus from forking one of its own.
export DBUS_SESSION_BUS_ADDRESS=disabled:
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1

valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --error-exitcode=9 --num-callers=30 --suppressions="$here/memcheck.supp" --gen-suppressions=all \
    --log-file="$work/memcheck.log" "$program" &
app=$!

window=$(xdotool search --sync --name '^Varnholt$' | head -1)
sleep 3
read -r ticket identity < <(awk -F'\t' 'NR == 2 {print $1, $2}' "$here/../roster/roster.tsv")
step() { xdotool mousemove "$1" "$2" click 1; sleep 2; }  # a click at screen pixels X Y
eval "$(xdotool getwindowgeometry --shell "$window")"
step $((X + 336)) $((Y + 108)); xdotool type --delay 50 "$ticket"
step $((X + 336)) $((Y + 140)); xdotool type --delay 50 "$identity"
step $((X + 288)) $((Y + 200))   # 确  定: the result
step $((X + 208)) $((Y + 248))   # 继续查询
"$work/xclose" "$window"

status=0
wait $app || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" "$work/memcheck.log" || true
if [ $status -ne 0 ]; then
    echo "memcheck: the program ended with status $status; the log:" >&2
    cat "$work/memcheck.log" >&2
    exit 1
fi
echo "memcheck: clean"
