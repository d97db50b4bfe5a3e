#!/bin/bash
# screenshots.sh PROGRAM OUTDIR: renders the window of the Linux program on a
# virtual X display and saves the input state, a result state with a remark,
# and a warning box as PNG files in OUTDIR. Types and clicks with xdotool.
set -euo pipefail
program=$(realpath "$1")
out=$2
roster=$(dirname "$0")/../roster/roster.tsv
mkdir -p "$out"

export DISPLAY=:$((90 + RANDOM % 100))
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1

"$program" 2>/dev/null &
app=$!
trap 'kill $app $xvfb 2>/dev/null' EXIT
window=$(xdotool search --sync --name '^Varnholt$' | head -1)
sleep 1

# The first candidate with a remark of points added.
read -r ticket identity < <(awk -F'\t' '$5 ~ /加5分/ {print $1, $2; exit}' "$roster")

click() {  # click CONTROL-CENTRE-X CONTROL-CENTRE-Y (pixels in the client area)
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.4
}
click 336 108   # Text1
xdotool type --delay 30 "$ticket"
click 336 140   # Text2
xdotool type --delay 30 "$identity"
import -window "$window" "$out/linux-input.png"

click 288 200   # 确  定
import -window "$window" "$out/linux-result.png"

click 208 248   # 继续查询
click 288 200   # 确  定 with empty boxes: a warning
# The box is a window of its own: take the screen where the form stands.
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/linux-warning.png"
