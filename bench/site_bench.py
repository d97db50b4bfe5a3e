#!/usr/bin/python3
"""site_bench.py PAGE PACK WORK: a site's figures (varnholt-pack --site), in
one run, printed as rows of tools/bench.sh's table:
  packing 1,000,000 invented candidates, plain and protected at the test
    cost 1,8: time, rate per core, peak memory, and the site's size;
  the first load of the page from nginx (bytes, first contentful paint) for
    339 and for 1,000,000 candidates, in headless Chromium, cache disabled;
  the bytes one lookup transfers beyond the page; the bytes of a visit,
    first and again after a new packing, the files served as they are and
    as their twins, beside the single page's;
  wrk against nginx: bucket files at random (as random tickets fetch them)
    beside one bucket-sized static file, in the same run.
SITE_SEALED_RECORDS=N packs N candidates protected instead of 1,000,000 (the
protected million takes about an hour and a half on two cores).
The rosters are generated here (tools/make_roster.py) and never kept.
Figures only: nothing here fails on a missed target."""
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import sys

if len(sys.argv) != 4:
    sys.exit(__doc__)
PAGE, PACK, WORK = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
os.environ.update(VARNHOLT_PAGE=PAGE, WORK=WORK)
os.environ.setdefault("ROSTER_PATH", "roster/roster.tsv")
sys.path[:0] = [os.path.join(HERE, "..", "tests", "web"), os.path.join(HERE, "..", "tools")]
import page_test  # noqa: E402
import static_server  # noqa: E402

MILLION = 1000000
SEALED = int(os.environ.get("SITE_SEALED_RECORDS", MILLION))
RUNS = 9
CORES = os.cpu_count()


def row(what, figure, target="—", met=""):
    print("  " + what.ljust(36) + figure.rjust(12) + "   " + target.ljust(18) + met)


def yes(ok):
    return "yes" if ok else "NO"


def roster(records):
    path = os.path.join(WORK, "roster-%d.tsv" % records)
    if not os.path.exists(path):
        subprocess.run([sys.executable, "tools/make_roster.py", "--records", str(records), path], check=True)
    return path


def pack(roster_path, folder, *options):
    """Packs a site: wall seconds, CPU seconds and peak KiB; the packer's report."""
    shutil.rmtree(folder, ignore_errors=True)
    timing = os.path.join(WORK, "time")
    done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", timing, PACK, roster_path, "--site", folder,
                           "--program", PAGE, *options], check=True, capture_output=True, text=True)
    wall, user, system, peak = open(timing).read().split()[-4:]
    return float(wall), float(user) + float(system), int(peak), done.stdout


def size(folder, twin=""):
    """The bytes of a site's files, or of their twins of that suffix."""
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(folder) for f in files
               if (f.endswith(twin) if twin else not f.endswith((".gz", ".br"))))


def bucket_files(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, files in os.walk(folder)
                  for f in files if f.endswith(".bin"))


def first_load(driver, url):
    """Bytes of the page's HTML as transferred (visit_bytes counts its
    program's files too) and its first contentful paint, the cache off."""
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
    driver.get(url)
    return page_test.WebDriverWait(driver, 60, poll_frequency=0.01).until(lambda d: d.execute_script("""
        const p = performance.getEntriesByName('first-contentful-paint'),
              n = performance.getEntriesByType('navigation')[0];
        return p.length && [n.transferSize, p[0].startTime]"""))


def visit_bytes(driver, url):
    """Bytes a visit to the page transfers, the page and what it loads, the
    cache on, and the encodings the server sent them in ("identity" for none)."""
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": False})
    page_test.Window(driver, url)
    transferred = driver.execute_script("""
        return [...performance.getEntriesByType('navigation'), ...performance.getEntriesByType('resource')]
            .reduce((sum, e) => sum + e.transferSize, 0)""")
    encodings = set()
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.responseReceived":
            headers = {k.lower(): v for k, v in message["params"]["response"]["headers"].items()}
            encodings.add(headers.get("content-encoding", "identity"))
    return transferred, "+".join(sorted(encodings))


def lookup_bytes(driver, url, record):
    """Bytes one lookup transfers: the bucket's transfer size (headers included)."""
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
    window = page_test.Window(driver, url)
    found = window.query(record[0], record[1]) == [] and window.text("Text3") == record[2]
    sizes = driver.execute_script(
        "return performance.getEntriesByType('resource').map(e => [e.name, e.transferSize])")
    return found, sum(transfer for name, transfer in sizes if name.endswith(".bin")), len(sizes)


def wrk(url, paths, name):
    script = os.path.join(WORK, name + ".lua")
    with open(script, "w") as f:
        f.write("paths = {%s}\n" % ",".join('"%s"' % p for p in paths))
        f.write("request = function() return wrk.format(\"GET\", paths[math.random(#paths)]) end\n")
    out = subprocess.run(["wrk", "-t2", "-c64", "-d10s", "-s", script, url], check=True, capture_output=True,
                         text=True).stdout
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    if errors:
        sys.exit("wrk: %s non-2xx answers for %s" % (errors.group(1), name))
    return float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))


def main():
    os.makedirs(WORK, exist_ok=True)
    os.chmod(WORK, 0o755)  # nginx's workers run as nobody
    sites = os.path.join(WORK, "sites")
    os.makedirs(sites, exist_ok=True)
    sys.stderr.write("Site: generating 1,000,000 invented candidates ...\n")
    million = roster(MILLION)

    sys.stderr.write("Site: packing 1,000,000 plain ...\n")
    plain = pack(million, os.path.join(sites, "plain"), "--no-protect")
    sealed_roster = million if SEALED == MILLION else roster(SEALED)
    sys.stderr.write("Site: packing %d protected at 1,8 ...\n" % SEALED)
    sealed = pack(sealed_roster, os.path.join(sites, "sealed"), "--cost", "1,8")
    small = pack(os.environ["ROSTER_PATH"], os.path.join(sites, "small"), "--cost", "1,8")

    print("A site for 1,000,000 candidates (varnholt-pack --site; %d cores)" % CORES)
    for what, (wall, cpu, peak, _), records in (("plain", plain, MILLION), ("protected, cost 1,8", sealed, SEALED)):
        row("%s %s, time" % ("{:,}".format(records), what), "%.1f s" % wall)
        row("  CPU time, peak memory", "%.0f s, %.0f MiB" % (cpu, peak / 1024))
        row("  rate per core (records per CPU s)", "{:,.0f} /s".format(records / cpu))
    # The million's site the page loads from: the protected one when it holds the million.
    big = "sealed" if SEALED == MILLION else "plain"
    files = bucket_files(os.path.join(sites, big))
    sealed_files = bucket_files(os.path.join(sites, "sealed"))
    sizes = [os.path.getsize(os.path.join(sites, "sealed", f)) for f in sealed_files]
    row("protected site: size", "%.1f MiB" % (size(os.path.join(sites, "sealed")) / 2**20))
    row("  its gzip / brotli twins", "%.1f / %.1f MiB" % tuple(
        size(os.path.join(sites, "sealed"), twin) / 2**20 for twin in (".gz", ".br")))
    row("  buckets, smallest to largest", "%d, %.0f–%.0f KiB" % (len(sealed_files), min(sizes) / 1024, max(sizes) / 1024),
        "≤ 64 KiB", yes(max(sizes) <= 65536))
    plain_sizes = [os.path.getsize(os.path.join(sites, "plain", f)) for f in bucket_files(os.path.join(sites, "plain"))]
    row("plain site: size", "%.1f MiB" % (size(os.path.join(sites, "plain")) / 2**20))
    row("  its gzip / brotli twins", "%.1f / %.1f MiB" % tuple(
        size(os.path.join(sites, "plain"), twin) / 2**20 for twin in (".gz", ".br")))
    row("  buckets, smallest to largest", "%d, %.0f–%.0f KiB" % (
        len(plain_sizes), min(plain_sizes) / 1024, max(plain_sizes) / 1024), "≤ 64 KiB", yes(max(plain_sizes) <= 65536))

    server = static_server.Nginx(sites, os.path.join(WORK, "nginx"), workers=CORES, access_log=False)
    twins = static_server.Nginx(sites, os.path.join(WORK, "nginx-twins"), access_log=False, twins=True)
    driver = page_test.browser(False)
    try:
        sys.stderr.write("Site: first load and a lookup in Chromium, %d runs ...\n" % RUNS)
        # Taken in turn, so that neither pays alone for the browser's first loads.
        loads = {"small": [], big: []}
        for _ in range(RUNS):
            for name in loads:
                loads[name].append(first_load(driver, server.url + name + "/index.html"))
        print("First load of the page from nginx, 339 protected / 1,000,000 %s (medians of %d)" % (
            "protected" if big == "sealed" else "plain", RUNS))
        b = [statistics.median(x[0] for x in loads[n]) for n in ("small", big)]
        p = [statistics.median(x[1] for x in loads[n]) for n in ("small", big)]
        row("its HTML, bytes transferred", "%.0f / %.0f KiB" % (b[0] / 1024, b[1] / 1024), "same ±10 %",
            yes(abs(b[1] / b[0] - 1) <= 0.1))
        row("first contentful paint", "%.0f / %.0f ms" % tuple(p), "same ±10 %", yes(abs(p[1] / p[0] - 1) <= 0.1))
        # A candidate who comes back after the office has packed again: the
        # site's program is a file the browser kept; the single page is
        # downloaded whole again.
        # The same through a server that sends the twins, on an origin, and so
        # a cache, of its own: Chromium asks for brotli, and gets it, as it
        # would over HTTPS.
        single = os.path.join(sites, "single", "index.html")
        os.makedirs(os.path.dirname(single), exist_ok=True)
        subprocess.run([PACK, os.environ["ROSTER_PATH"], "--web", "-o", single, "--program", PAGE, "--cost", "1,8"],
                       check=True, capture_output=True)
        driver.execute_cdp_cmd("Network.clearBrowserCache", {})
        page = [visit_bytes(driver, s.url + "single/index.html") for s in (server, twins)]
        first = [visit_bytes(driver, s.url + "small/index.html") for s in (server, twins)]
        subprocess.run([PACK, os.environ["ROSTER_PATH"], "--site", os.path.join(sites, "small"), "--program", PAGE,
                        "--cost", "1,8"], check=True, capture_output=True)
        second = [visit_bytes(driver, s.url + "small/index.html") for s in (server, twins)]
        print("Bytes on the wire, 339 protected candidates, from nginx: the files as they are / their twins, "
              "as sent (%s; the single page's gzip twin on disk %.0f KiB)" % (
                  page[1][1], os.path.getsize(single + ".gz") / 1024))
        row("the single page, any visit", "%.0f / %.0f KiB" % (page[0][0] / 1024, page[1][0] / 1024))
        row("the site's page: first visit", "%.0f / %.0f KiB" % (first[0][0] / 1024, first[1][0] / 1024))
        row("  again after a new packing", "%.1f / %.1f KiB" % (second[0][0] / 1024, second[1][0] / 1024),
            "≤ 10 % of first", yes(second[0][0] <= first[0][0] / 10 and second[1][0] <= first[1][0] / 10))
        with open(million, encoding="utf-8") as f:
            next(f)
            lines = f.readlines()
        picked = [lines[random.randrange(len(lines))].rstrip("\n").split("\t") for _ in range(5)]
        results = [lookup_bytes(driver, server.url + big + "/index.html", record) for record in picked]
        most = max(r[1] for r in results)
        row("one lookup: bytes beyond the page", "%.1f KiB" % (most / 1024), "≤ 64 KiB",
            yes(all(r[0] for r in results) and most <= 65536))
    finally:
        driver.quit()
        twins.stop()

    sys.stderr.write("Site: wrk, 10 s each ...\n")
    random_buckets = wrk(server.url, ["/%s/%s" % (big, f) for f in files], "buckets")
    shutil.copy(os.path.join(sites, big, files[0]), os.path.join(sites, "one.bin"))
    one_file = wrk(server.url, ["/one.bin"], "one")
    server.stop()
    print("Results day: nginx on this machine, wrk -t2 -c64 (10 s each)")
    row("%d buckets at random" % len(files), "{:,.0f} /s".format(random_buckets))
    row("one static file of a bucket's size", "{:,.0f} /s".format(one_file))
    row("ratio", "%.2f" % (random_buckets / one_file), "≥ 0.8", yes(random_buckets / one_file >= 0.8))
    shutil.rmtree(sites, ignore_errors=True)


if __name__ == "__main__":
    main()
