#!/usr/bin/python3
"""argon2_web.py PAGE PACK WORK NATIVE NATIVE_PASS [ENGINE...]: the page's
Argon2id beside the public WebAssembly builds of it (libsodium.js and
hash-wasm, the pinned development packages of tests/web/), in one browser
session per engine, interleaved round by round: a protected lookup at the
packer's default cost (the derivation and the little else a lookup does)
and one pass over the same memory alone, each beside the peers' derivation
at that cost, each peer warmed first by one untimed pass, as the page is
once idle; the native program's figures (seconds, 0 for none) printed
for reference. The same password, salt and cost give every implementation
the same key; the yardsticks' keys are compared with each other. Figures
only: nothing here fails on a missed target."""
import os
import re
import shutil
import statistics
import subprocess
import sys

if len(sys.argv) < 6:
    sys.exit(__doc__)
PAGE, PACK, WORK = sys.argv[1:4]
NATIVE, NATIVE_PASS = float(sys.argv[4]), float(sys.argv[5])
ENGINES = sys.argv[6:] or ["chromium", "webkit", "firefox"]
os.environ.update(VARNHOLT_PAGE=PAGE, WORK=WORK)
os.environ.setdefault("ROSTER_PATH", "roster/roster.tsv")
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "web"))
import page_test  # noqa: E402  (the browser and the window, as the tests drive them)
sys.path.insert(0, HERE)
from web_bench import lookup, lookup_seconds  # noqa: E402

ROUNDS = 7
MODULES = os.path.join(HERE, "..", "tests", "web", "node_modules")
SCRIPTS = ["libsodium-sumo/dist/modules-sumo/libsodium-sumo.js",
           "libsodium-wrappers-sumo/dist/modules-sumo/libsodium-wrappers.js",
           "hash-wasm/dist/argon2.umd.min.js"]

YARDSTICK = """<!DOCTYPE html><meta charset="utf-8"><title>Argon2id yardsticks</title>
%s
<script>
// Each peer's derivation at PASSES over MIB, its milliseconds and key.
const password = new TextEncoder().encode('110101199003077777'), salt = new Uint8Array(16).fill(7);
const hex = bytes => Array.from(bytes, b => b.toString(16).padStart(2, '0')).join('');
async function run_libsodium(passes, mib) {
  await sodium.ready;
  const start = performance.now();
  const key = sodium.crypto_pwhash(32, password, salt, passes, mib << 20, sodium.crypto_pwhash_ALG_ARGON2ID13);
  return [performance.now() - start, hex(key)];
}
async function run_hashwasm(passes, mib) {
  const start = performance.now();
  const key = await hashwasm.argon2id({password, salt, iterations: passes, parallelism: 1,
                                       memorySize: mib << 10, hashLength: 32, outputType: 'hex'});
  return [performance.now() - start, key];
}
</script>"""


def pack(output):
    """The protected page at the packer's default cost, and that cost: passes, MiB."""
    report = subprocess.run([PACK, os.environ["ROSTER_PATH"], "--web", "--program", PAGE, "-o", output], check=True,
                            capture_output=True, text=True).stdout
    cost = re.search(r"Argon2id, (\d+) pass(?:es)?, (\d+) MiB", report)
    return output, int(cost.group(1)), int(cost.group(2))


def yardstick_page():
    for script in SCRIPTS:
        shutil.copy(os.path.join(MODULES, script), WORK)
    path = os.path.join(WORK, "yardstick.html")
    with open(path, "w", encoding="utf-8") as f:
        f.write(YARDSTICK % "\n".join('<script src="%s"></script>' % os.path.basename(s) for s in SCRIPTS))
    return "file://" + path


def measure(engine, protected, yardstick, passes, mib):
    """ROUNDS rounds of: the page (a lookup, one pass alone), then each peer
    at the default cost and at one pass. Milliseconds, by name."""
    figures = {}
    record = page_test.roster()[0]
    driver = page_test.browser(False, engine=engine)
    try:
        for _ in range(ROUNDS):
            lookup_seconds(driver, protected, record, 0)
            figures.setdefault("page", []).append(lookup(driver, record) * 1000)
            figures.setdefault("page, one pass", []).append(driver.execute_script("""
                const start = performance.now();
                Module.ccall('tk_prepare', null, [], []);
                return performance.now() - start;"""))
            driver.get(yardstick)
            keys = set()
            for peer in ("libsodium", "hashwasm"):
                # Warmed as the page is once idle (tk_prepare): the memory
                # grown and the code compiled before the first timed call.
                driver.execute_async_script("run_%s(1, %d).then(arguments[0], arguments[0])" % (peer, mib))
                for n, name in ((passes, peer), (1, peer + ", one pass")):
                    ms, key = driver.execute_async_script(
                        "run_%s(%d, %d).then(arguments[0], e => arguments[0]([-1, String(e)]))" % (peer, n, mib))
                    figures.setdefault(name, []).append(ms)
                    if n == passes:
                        keys.add(key)
            if len(keys) != 1:
                sys.exit("argon2_web.py: the yardsticks disagree: %s" % sorted(keys))
    finally:
        driver.quit()
    return {name: statistics.median(times) for name, times in figures.items()}


def main():
    os.makedirs(WORK, exist_ok=True)
    protected, passes, mib = pack(os.path.join(WORK, "argon2-page.html"))
    yardstick = yardstick_page()
    print("Argon2id in WebAssembly, %d passes over %d MiB and one pass (medians of %d interleaved rounds)"
          % (passes, mib, ROUNDS))
    print("  %-10s %12s %12s %12s %10s   %12s %12s %12s %10s" % (
        "engine", "page lookup", "libsodium.js", "hash-wasm", "page/best",
        "page 1 pass", "libsodium.js", "hash-wasm", "page/best"))
    for engine in ENGINES:
        sys.stderr.write("Argon2id in %s: %d rounds ...\n" % (engine, ROUNDS))
        f = measure(engine, "file://" + protected, yardstick, passes, mib)
        best = min(f["libsodium"], f["hashwasm"])
        best1 = min(f["libsodium, one pass"], f["hashwasm, one pass"])
        print("  %-10s %9.0f ms %9.0f ms %9.0f ms %8.2f ×   %9.1f ms %9.1f ms %9.1f ms %8.2f ×" % (
            engine, f["page"], f["libsodium"], f["hashwasm"], f["page"] / best,
            f["page, one pass"], f["libsodium, one pass"], f["hashwasm, one pass"], f["page, one pass"] / best1))
        sys.stdout.flush()
    if NATIVE > 0:
        print("  %-10s %9.0f ms %38s %9.1f ms   (the native program, for reference)" % (
            "native", NATIVE * 1000, "", NATIVE_PASS * 1000))


if __name__ == "__main__":
    main()
