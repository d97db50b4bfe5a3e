#!/bin/bash
# screenshots.sh NAME OUTDIR PROGRAM [ARGS...]: renders the program's window on
# a virtual X display and saves NAME-input.png (the input state with both
# numbers typed), NAME-result.png (a result with a remark) and NAME-warning.png
# (the warning for an empty ticket number) in OUTDIR. Types and clicks with
# xdotool, as a user would. SCALE=2 for a window drawn at 192 dpi.
set -euo pipefail
name=$1 out=$2
shift 2
roster=$(cd "$(dirname "$0")/.." && pwd)/roster/roster.tsv
mkdir -p "$out"

export DISPLAY=:$((90 + RANDOM % 100))
scale=${SCALE:-1}
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
"$@" >/dev/null 2>&1 &
app=$!
trap 'kill $app $xvfb 2>/dev/null; wait 2>/dev/null' EXIT

window=$(xdotool search --sync --name '^Varnholt$' | head -1)
sleep 2
eval "$(xdotool getwindowgeometry --shell "$window")"
# The client area is 575 x 284 pixels at 96 dpi; whatever frame the toolkit
# draws around it is as wide on the left, right and bottom.
side=$(((WIDTH - 575 * scale) / 2))
top=$((HEIGHT - 284 * scale - side))

click() {  # click X Y: pixels at 96 dpi in the client area
    xdotool mousemove $((X + side + $1 * scale)) $((Y + top + $2 * scale)) click 1
    sleep 0.5
}
shot() {
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$name-$1.png"
}

# The first candidate with a remark of points added.
read -r ticket identity < <(awk -F'\t' '$5 ~ /加5分/ {print $1, $2; exit}' "$roster")

click 336 108   # Text1
xdotool type --delay 30 "$ticket"
click 336 140   # Text2
xdotool type --delay 30 "$identity"
shot input
click 288 200   # 确  定
shot result
click 208 248   # 继续查询
click 288 200   # 确  定 with empty boxes
shot warning
