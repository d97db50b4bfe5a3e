#!/bin/bash
# bench.sh BUILD: the benchmarks of the program, printed as one table.
#   start-up to first paint and resident memory, beside bench/bare_window (the same fourteen-control window in plain Qt),
#     on a private Xvfb display without a window manager (medians of 15 runs), and the office's window beside them;
#   one 确  定 click, timed in the process (bench/click_bench, medians of 15);
#   packing an office's roster (time, peak memory), start-up of a program
#     packed with 5,000 records, and a click when the roster is protected;
#   packing 339 and 5,000 protected records in the office's window beside
#     varnholt-pack (records per second; bench/office_pack_bench);
#   what one guess at an identity number costs a guesser who holds a
#     protected file, and so a whole search (bench/guess_cost);
#   the size of both programs and the DLLs the Windows one imports;
#   the web page in headless Chromium: first paint beside a plain HTML page,
#     a protected lookup beside the native one, its size (bench/web_bench.py);
#   the page's Argon2id beside libsodium.js and hash-wasm in each engine
#     (bench/argon2_web.py);
#   a site of 1,000,000 candidates: packing, first load, one lookup's bytes,
#     nginx serving its buckets beside one file (bench/site_bench.py).
# Figures only: nothing here fails on a missed target.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/linux}
runs=15
program=$build/varnholt
bare=$build/bench/bare_window
exe=build/windows/Varnholt.exe
page=build/web/varnholt.html
office=$build/varnholt-office
for file in "$program" "$bare" "$office" "$build/bench/startup_probe" "$build/bench/click_bench" "$build/bench/guess_cost" \
    "$build/bench/office_pack_bench"; do
    [ -x "$file" ] || { echo "bench.sh: $file is missing; build the target bench_programs" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"  # the site benchmark's nginx workers (nobody) read below it
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Qt wants a private runtime folder.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# ---- Packing: an office's roster into the program ---------------------------------
# Time and peak memory of varnholt-pack, plain for 339 and 5,000 records and
# protected at its default cost for 339; the 5,000-record program is started
# below beside the default one.
pack=$build/varnholt-pack
python3 tools/make_roster.py --records 5000 "$work/roster-5000.tsv"
measure() {  # measure NAME ARGS...: seconds and peak KiB of one packing
    local name=$1
    shift
    /usr/bin/time -f "$name %e %M" -o "$work/time" "$pack" "$@" >/dev/null 2>&1
    cat "$work/time" >>"$work/packing"
}
echo "Packing: 339 and 5,000 records plain, 339 protected at the default cost ..." >&2
measure plain339 roster/roster.tsv --no-protect -o "$work/packed-339"
measure plain5000 "$work/roster-5000.tsv" --no-protect -o "$work/packed-5000"
measure sealed339 roster/roster.tsv -o "$work/sealed-339"

# The same protected packing in the office's window and on the command line,
# one after the other, at a lower cost than the default so that 5,000 records
# fit one run: the window's making (click to done) against the whole command.
echo "Packing in the office's window beside varnholt-pack: 339 and 5,000 protected records ..." >&2
for n in 339 5000; do
    roster=$work/roster-5000.tsv
    [ $n = 339 ] && roster=roster/roster.tsv
    start=$(date +%s.%N)
    "$pack" "$roster" --cost 2,16 --program "$program" -o "$work/cli-$n" >/dev/null 2>&1
    cli=$(echo "$(date +%s.%N) - $start" | bc)
    window=$(QT_QPA_PLATFORM=offscreen "$build/bench/office_pack_bench" "$program" "$roster" "$work/window-$n" 2 16)
    echo "$n $cli $window" >>"$work/office"
done

# ---- Start-up and memory, on a display of our own -----------------------------
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x800x24 -br -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
echo "Start-up and memory: $runs runs of each program on Xvfb :$display ..." >&2
DISPLAY=:$display "$build/bench/startup_probe" $runs "$program" "$bare" "$work/packed-5000" "$office" >"$work/startup"
kill "$xvfb" && wait "$xvfb" 2>/dev/null || true
xvfb=""

# ---- One click ------------------------------------------------------------------
echo "One 确  定 click: 5 cases, 15 repetitions each ..." >&2
if ! "$build/bench/click_bench" --benchmark_format=csv >"$work/click" 2>"$work/click.log"; then
    cat "$work/click.log" >&2
    exit 1
fi

# The same click in a copy of click_bench carrying the default roster
# protected at the default cost: the key derivation is most of it.
"$pack" roster/roster.tsv --program "$build/bench/click_bench" -o "$work/click_bench_sealed" >"$work/sealedpack" 2>&1
# The cost it chose ("Argon2id, 8 passes, 64 MiB"), for the web page's lookup beside it.
cost=$(sed -En 's/.*Argon2id, ([0-9]+) pass(es)?, ([0-9]+) MiB.*/\1,\3/p' "$work/sealedpack")
"$work/click_bench_sealed" --benchmark_format=csv --benchmark_filter='^valid/row1/' \
    --benchmark_repetitions=5 >"$work/sealedclick" 2>>"$work/click.log"

# ---- A guess at an identity number ---------------------------------------------
echo "Guess cost: Argon2id at 64, 128 and 256 MiB ..." >&2
"$build/bench/guess_cost" >"$work/guess"

# ---- Sizes ----------------------------------------------------------------------
strip -o "$work/varnholt" "$program"
{
    echo "linux $(stat -c %s "$program") $(stat -c %s "$work/varnholt")"
    if [ -f "$exe" ]; then
        i686-w64-mingw32-strip -o "$work/Varnholt.exe" "$exe"
        echo "windows $(stat -c %s "$work/Varnholt.exe") $(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {printf "%s ", $3}')"
    fi
} >"$work/sizes"

# ---- The table ------------------------------------------------------------------
awk -v runs=$runs '
# Padding by characters, not bytes: the units are UTF-8.
function width(text) { gsub(/[\200-\277]/, "", text); return length(text) }
function left(text, n) { return text sprintf("%" (n - width(text) > 0 ? n - width(text) : 0) "s", "") }
function right(text, n) { return sprintf("%" (n - width(text) > 0 ? n - width(text) : 0) "s", "") text }
function row(what, figure, target, met) {
    print "  " left(what, 36) right(figure, 12) "   " left(target, 18) met
}
function yes(ok) { return ok ? "yes" : "NO" }
function us(median) { return median >= 1000 ? sprintf("%.2f ms", median / 1000) : sprintf("%.1f µs", median) }
FILENAME ~ /startup$/ { ms[FNR] = $3; kib[FNR] = $5 }
FILENAME ~ /packing$/ { secs[$1] = $2; peak[$1] = $3 }
FILENAME ~ /office$/ { clirate[$1] = $1 / $2; windowrate[$1] = $1 / $3 }
FILENAME ~ /sealedclick$/ && /_median"/ { split($0, f, ","); sealedclick = f[3] }
FILENAME ~ /\/click$/ && /_median"/ {
    split($0, f, ","); name = f[1]; gsub(/"|\/(min_time|iterations|repeats).*/, "", name); click[name] = f[3]
}
FILENAME ~ /guess$/ { fixed[$1] = $2; pass[$1] = $3; passes[$1] = $4; cores = $5 }
FILENAME ~ /sizes$/ && $1 == "linux" { linux = $2; stripped = $3 }
FILENAME ~ /sizes$/ && $1 == "windows" { windows = $2; dlls = ""; ndlls = NF - 2; sys = 1
    for (i = 3; i <= NF; i++) {
        dlls = dlls (i > 3 ? " " : "") $i
        if (toupper($i) !~ /^(KERNEL32|USER32|GDI32|COMCTL32|MSVCRT|ADVAPI32)\.DLL$/) sys = 0
    }
}
END {
    print left("Varnholt benchmarks", 38) right("figure", 12) "   " left("target", 18) "met"
    print "Start-up, exec to first paint (Xvfb; medians of " runs " runs each)"
    row("varnholt", sprintf("%.1f ms", ms[1]))
    row("the window in plain Qt", sprintf("%.1f ms", ms[2]))
    row("ratio", sprintf("%.2f ×", ms[1] / ms[2]), "≤ 1.15 ×", yes(ms[1] / ms[2] <= 1.15))
    print "Resident memory (VmRSS) 300 ms after first paint (medians)"
    row("varnholt", sprintf("%.1f MiB", kib[1] / 1024))
    row("the window in plain Qt", sprintf("%.1f MiB", kib[2] / 1024))
    d = (kib[1] - kib[2]) / 1024
    row("difference", sprintf("%+.1f MiB", d), "≤ 3 MiB", yes(d <= 3))
    row("varnholt-office (the office window)", sprintf("%.1f ms", ms[4]), "—")
    row("  resident memory", sprintf("%.1f MiB", kib[4] / 1024), "—")
    print "One 确  定 click (Command1_Click, offscreen; medians of 15 repetitions)"
    row("valid pair, row 1 (no box)", us(click["valid/row1"]), "< 50 µs", yes(click["valid/row1"] < 50))
    row("valid pair, row 339 (no box)", us(click["valid/row339"]), "< 50 µs", yes(click["valid/row339"] < 50))
    row("unknown ticket, with its box", us(click["warning/unknownTicket"]), "—")
    row("mismatching identity, with its box", us(click["warning/mismatchingIdentity"]), "—")
    long = click["warning/millionCharacterTicket"]
    row("1,000,000-char. ticket, with box", us(long), "< 20 ms", yes(long < 20000))
    print "Packing an office roster (varnholt-pack; one run each)"
    row("339 records, plain", sprintf("%.2f s", secs["plain339"]), "—")
    row("  peak memory", sprintf("%.1f MiB", peak["plain339"] / 1024), "—")
    row("5,000 records, plain", sprintf("%.2f s", secs["plain5000"]), "—")
    row("  peak memory", sprintf("%.1f MiB", peak["plain5000"] / 1024), "—")
    # Sealing runs one derivation per core: at best cores ÷ (passes × a
    # pass) records a second, what a guesser holding the memory reaches.
    guess = passes[64] * pass[64]
    rate = 339 / secs["sealed339"]; best = cores / guess
    row("339 records, protected", sprintf("%.1f s", secs["sealed339"]), "—")
    row(sprintf("  records/s, of %d cores × guess rate", cores), sprintf("%.1f, %.0f %%", rate, 100 * rate / best),
        "≥ 90 %", yes(rate >= 0.9 * best))
    row("  peak memory", sprintf("%.1f MiB", peak["sealed339"] / 1024), "—")
    row("start-up, 5,000 records packed", sprintf("%.1f ms", ms[3]), "—")
    row("  resident memory", sprintf("%.1f MiB", kib[3] / 1024), "—")
    row("valid click, protected roster", us(sealedclick), "—")
    print "Packing protected (2 passes, 16 MiB): the office window beside varnholt-pack"
    for (n = 339; n <= 5000; n = n == 339 ? 5000 : 5001) {
        row(sprintf("%d records: varnholt-pack, records/s", n), sprintf("%.1f", clirate[n]), "—")
        r = windowrate[n] / clirate[n]
        row("  the window, records/s and ratio", sprintf("%.1f, %.2f ×", windowrate[n], r), "≥ 0.95 ×", yes(r >= 0.95))
    }
    print "One guess at an identity number (Argon2id; fastest of 3)"
    p = passes[64]
    row("default cost: passes over 64 MiB", p " passes", "≥ 3 passes")
    row("  one pass, memory held", sprintf("%.1f ms", pass[64] * 1000), "—")
    row("  a click pays (memory taken anew)", sprintf("%.0f ms", (fixed[64] + guess) * 1000), "—")
    row("  a guesser pays (memory held)", sprintf("%.0f ms", guess * 1000), "—")
    # Region known, born in one of 16 years: 16 × 365 × 1,000 numbers, half
    # of them once the sex is known; a birth date known: 1,000, or 500. The
    # worst case tries them all; a guesser expects to find it after half.
    print "  guesses to find one number: worst case / expected (half)"
    row("  5.84 M numbers, 1 core", sprintf("%.1f / %.1f d", 5840000 * guess / 86400, 2920000 * guess / 86400), "—")
    row("    the same, 16 cores", sprintf("%.1f / %.1f h", 5840000 * guess / 3600 / 16, 2920000 * guess / 3600 / 16), "—")
    row("    sex known too (2.92 M), 16 cores", sprintf("%.1f / %.1f h", 2920000 * guess / 3600 / 16, 1460000 * guess / 3600 / 16), "—")
    row("  birth date known (1,000), 1 core", sprintf("%.0f / %.0f s", 1000 * guess, 500 * guess), "—")
    row("    and the sex (500), 16 cores", sprintf("%.1f / %.1f s", 500 * guess / 16, 250 * guess / 16), "—")
    for (m = 128; m <= 256; m *= 2)
        row(sprintf("%d MiB: --cost auto passes, a guess", m), sprintf("%d, %.0f ms", passes[m], passes[m] * pass[m] * 1000), "—")
    print "Sizes"
    row("build/linux/varnholt", sprintf("%.0f KiB", linux / 1024), "—")
    row("  the same, stripped", sprintf("%.0f KiB", stripped / 1024), "—")
    if (windows) {
        row("build/windows/Varnholt.exe, stripped", sprintf("%.0f KiB", windows / 1024), "—")
        row("  DLLs it imports", ndlls " DLLs", "system DLLs only", yes(sys))
        print "    " dlls
    } else
        print "  build/windows/Varnholt.exe: not built (make windows)"
}' "$work/startup" "$work/click" "$work/packing" "$work/office" "$work/sealedclick" "$work/guess" "$work/sizes"

# ---- The web page ---------------------------------------------------------------
if [ -f "$page" ]; then
    native=$(awk -F, '/_median"/ { print $3 / 1e6 }' "$work/sealedclick")
    pass=$(awk '$1 == 64 { print $3 }' "$work/guess")
    /usr/bin/python3 bench/web_bench.py "$page" "$pack" "$work/web" "${native:-0}" "${pass:-0}" "${cost:-default}"
    /usr/bin/python3 bench/argon2_web.py "$page" "$pack" "$work/argon2" "${native:-0}" "${pass:-0}"
    /usr/bin/python3 bench/site_bench.py "$page" "$pack" "$work/site"
else
    echo "  $page: not built (make web)"
fi
