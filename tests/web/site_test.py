#!/usr/bin/python3
"""A site (varnholt-pack --site) served by Debian's nginx, started here on
127.0.0.1, in headless Chromium: the page's behaviour scenarios over HTTP,
and faults, each of which must give the could-not-complete warning, never
an answer, and then the right answer once repaired: a bucket removed,
truncated, damaged or replaced by another packing's, the server stopped
mid-session; the page opened from disk; the packing itself.

site_test.py behaviour|faults; the environment as for page_test.py, and
SOURCE_DIR (for tools/)."""
import base64
import functools
import gzip
import json
import os
import shutil
import struct
import subprocess
import sys
import unittest
import urllib.request

import brotli
from page_test import (ELSEWHERE, INPUT_STATE, WARNING, WORK, Behaviour, By, WebDriverWait, Window, browser, roster,
                       served, shown)

sys.path.insert(0, os.path.join(os.environ["SOURCE_DIR"], "tools"))
import static_server  # noqa: E402

PAGE, PACK = os.environ["VARNHOLT_PAGE"], os.environ["VARNHOLT_PACK"]
COULD_NOT = "查询未能完成，请稍后再试。"
FROM_DISK = "本页面须从网址打开：请在浏览器中输入考试机构公布的网址，再查询。"


def pack(roster_path, folder, *options):
    return subprocess.run([PACK, roster_path, "--site", folder, "--program", PAGE, *options],
                          check=True, capture_output=True, text=True)


def buckets(folder):
    """The bucket files of a site's packings (not their twins): {path relative to the folder: bytes}."""
    return {os.path.join(d, name): open(os.path.join(folder, d, name), "rb").read()
            for d in os.listdir(folder) if os.path.isdir(os.path.join(folder, d))
            for name in os.listdir(os.path.join(folder, d)) if name.endswith(".bin")}


def bucket_of(folder, ticket):
    """The bucket that holds the ticket: tickets are in the clear, UTF-16LE."""
    key = bytes([len(ticket)]) + ticket.encode("utf-16-le")
    return next(path for path, data in buckets(folder).items() if key in data)


def program(folder):
    """The names of the site's program files, which its page names: the WebAssembly and its script."""
    with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
        page = f.read()
    return [page.split('id="program" data-src="')[1].split('"')[0], page.split('<script src="')[1].split('"')[0]]


@functools.cache
def default_site():
    """The default roster, protected at the test cost, served by nginx."""
    folder = os.path.join(WORK, "site")
    shutil.rmtree(folder, ignore_errors=True)
    pack(os.environ["ROSTER_PATH"], folder, "--cost", "1,8")
    return folder, static_server.Nginx(folder, os.path.join(WORK, "nginx-site"), twins=True)


class SiteFromAServer(Behaviour):
    def url(self):
        return default_site()[1].url + "index.html"

    def elsewhere(self):
        return served("elsewhere.html", ELSEWHERE)

    def test_nothing_but_the_page_is_requested(self):
        """Overrides the single page's: the page and the ticket's bucket,
        from the page's own origin only; the server sees no identity number."""
        w, r = self.window, self.records
        folder, server = default_site()
        self.assertEqual(w.query(r[2][0], r[2][1]), [])
        requested = [json.loads(entry["message"])["message"]["params"]["request"]["url"]
                     for entry in self.driver.get_log("performance")
                     if json.loads(entry["message"])["message"]["method"] == "Network.requestWillBeSent"]
        allowed = {self.driver.current_url, server.url + bucket_of(folder, r[2][0])}
        allowed |= {server.url + name for name in program(folder)}
        self.assertEqual({url for url in requested if not url.startswith("data:")} - allowed, set())
        self.assertEqual([entry["message"] for entry in self.driver.get_log("browser") if entry["level"] != "INFO"],
                         [])
        for path in server.requested():
            self.assertRegex(path, r"^/(index\.html|varnholt-[0-9a-f]{16}\.(wasm|js)|[0-9a-f]{16}/[0-9]+\.bin)$")
            self.assertFalse(any(record[1] in path for record in self.records))
        # Its own origin, and nothing else, not even the same server by another name.
        fetch = "fetch(arguments[0]).then(() => arguments[1]('fetched'), () => arguments[1]('refused'))"
        self.assertEqual(self.driver.execute_async_script(fetch, server.url + "index.html"), "fetched")
        self.assertEqual(self.driver.execute_async_script(fetch, server.url.replace("127.0.0.1", "localhost")),
                         "refused")


class Twins(unittest.TestCase):
    def test_the_server_sends_each_file_as_its_twin(self):
        """Served as the guide sets nginx up, every file of the site arrives
        as its brotli twin where the browser takes brotli, else as its gzip
        twin, and either holds the file's bytes."""
        folder, server = default_site()
        for name in ["index.html"] + program(folder):
            with open(os.path.join(folder, name), "rb") as f:
                original = f.read()
            for accepted, encoding, decompress in (("gzip, deflate, br", "br", brotli.decompress),
                                                   ("gzip", "gzip", gzip.decompress)):
                request = urllib.request.Request(server.url + name, headers={"Accept-Encoding": accepted})
                with urllib.request.urlopen(request) as response:
                    self.assertEqual(response.headers["Content-Encoding"], encoding, name)
                    self.assertEqual(decompress(response.read()), original, name)


class Faults(unittest.TestCase):
    """A site of 5,000 candidates in several buckets, each fault met with
    the browser's cache emptied (it keeps a fetched bucket for good)."""

    @classmethod
    def setUpClass(cls):
        cls.folder, other = os.path.join(WORK, "faults"), os.path.join(WORK, "other")
        roster_path = os.path.join(WORK, "roster-5000.tsv")
        os.makedirs(WORK, exist_ok=True)
        subprocess.run([sys.executable, os.path.join(os.environ["SOURCE_DIR"], "tools", "make_roster.py"),
                        roster_path, "--records", "5000"], check=True)
        for folder in (cls.folder, other):
            shutil.rmtree(folder, ignore_errors=True)
            pack(roster_path, folder, "--cost", "1,1")  # the cost does not matter here
        cls.others = buckets(other)
        with open(roster_path, encoding="utf-8") as f:
            cls.records = [line.split("\t") for line in f.read().split("\n")[1:] if line]
        cls.server = static_server.Nginx(cls.folder, os.path.join(WORK, "nginx-faults"))
        cls.driver = browser(False)
        cls.next = 0

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.stop()

    def fresh(self):
        """A candidate no test has looked up, and the file of its bucket, not in the browser's cache."""
        self.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
        record = self.records[Faults.next * 397 % len(self.records)]
        Faults.next += 1
        return record, os.path.join(self.folder, bucket_of(self.folder, record[0]))

    def expect_fault_then_answer(self, break_it, repair, window=None):
        record, path = self.fresh()
        original = open(path, "rb").read()
        window = window or Window(self.driver, self.server.url + "index.html")
        break_it(path, original)
        self.assertEqual(window.query(record[0], record[1]), [(WARNING, COULD_NOT)])
        self.assertEqual(window.visible(), INPUT_STATE)  # the page stays usable, the input kept
        self.assertEqual((window.text("Text1"), window.text("Text2")), (record[0], record[1]))
        self.assertEqual(window.click("Command1"), [(WARNING, COULD_NOT)])  # still broken: still no answer
        repair(path, original)
        self.assertEqual(window.click("Command1"), [])  # a retry, once the file is there
        self.assertEqual((window.text("Text3"), window.text("Text4")), (record[2], shown(record)))

    def restore(self, path, original):
        with open(path, "wb") as f:
            f.write(original)

    def test_a_removed_bucket(self):
        self.expect_fault_then_answer(lambda path, _: os.remove(path), self.restore)

    def test_a_truncated_bucket(self):
        self.expect_fault_then_answer(lambda path, data: self.restore(path, data[:len(data) // 2]), self.restore)

    def test_a_damaged_bucket(self):
        # One byte of one sealed record: a bucket is checked whole.
        self.expect_fault_then_answer(
            lambda path, data: self.restore(path, data[:-20] + bytes([data[-20] ^ 1]) + data[-19:]), self.restore)

    def test_a_bucket_of_another_packing(self):
        def replace(path, _):
            self.restore(path, self.others[next(p for p in self.others if p.endswith("/" + os.path.basename(path)))])
        self.expect_fault_then_answer(replace, self.restore)

    def test_an_error_page_in_place_of_a_bucket(self):
        self.expect_fault_then_answer(lambda path, _: self.restore(path, b"<html>Service unavailable</html>"),
                                      self.restore)

    def test_the_server_stopped_mid_session(self):
        window = Window(self.driver, self.server.url + "index.html")
        record, _ = self.fresh()
        self.assertEqual(window.query(record[0], record[1]), [])
        window.click("Command2")
        self.expect_fault_then_answer(lambda *_: self.server.stop(), lambda *_: self.server.start(), window)

    def test_a_changed_program_file_is_never_run(self):
        record = self.records[1]
        for name in program(self.folder):
            path = os.path.join(self.folder, name)
            original = open(path, "rb").read()
            try:
                self.restore(path, original[:-100] + bytes([original[-100] ^ 1]) + original[-99:])
                self.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
                self.driver.get(self.server.url + "index.html")
                ended = WebDriverWait(self.driver, 30).until(lambda d: d.find_elements(By.ID, "ended"))
                self.assertEqual(ended[0].text.replace("\n", ""), "程序已结束。重新运行", name)
            finally:
                self.restore(path, original)
            self.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
            self.assertEqual(Window(self.driver, self.server.url + "index.html").query(record[0], record[1]), [], name)

    def test_a_site_page_opened_from_disk_says_so(self):
        self.driver.get("file://" + os.path.join(self.folder, "index.html"))
        ended = WebDriverWait(self.driver, 30).until(lambda d: d.find_elements(By.ID, "ended"))
        self.assertEqual(ended[0].text, FROM_DISK)
        self.assertEqual(self.driver.find_elements(By.ID, "Form1"), [])

    def test_the_packing(self):
        files = buckets(self.folder)
        folders = {os.path.dirname(path) for path in files}
        self.assertEqual(len(folders), 1)
        sizes = [len(data) for data in files.values()]
        self.assertGreater(len(files), 5)
        self.assertLessEqual(max(sizes), 65536)
        self.assertLess(max(sizes) / min(sizes), 1.5)  # of similar size
        record_sizes = set()
        for path, data in files.items():
            version, capacity, _, count, flags = struct.unpack_from("<5I", data, 16)
            self.assertEqual((version, capacity, flags), (3, len(data), 1), path)
            self.assertEqual(data[44:52].hex(), os.path.dirname(path), path)  # the folder names the packing
            record_sizes.add((len(data) - 92) / count)
        self.assertEqual(len(record_sizes), 1)  # one size across the whole roster: tickets of one length here
        # A new packing into the same folder: a new bucket folder beside the
        # old one, which pages already open still use; the page names the new one.
        again = os.path.join(WORK, "again")
        shutil.rmtree(again, ignore_errors=True)
        shutil.copytree(self.folder, again)
        pack(os.path.join(WORK, "roster-5000.tsv"), again, "--no-protect")
        new = {os.path.dirname(path) for path in buckets(again)} - folders
        self.assertEqual(len(new), 1)
        # The same program file, which a browser that came before keeps.
        self.assertEqual(program(again), program(self.folder))
        self.assertEqual(len([name for name in os.listdir(again) if name.endswith((".wasm", ".js"))]), 2)
        with open(os.path.join(again, "index.html"), encoding="utf-8") as f:
            page = f.read()
        index = base64.b64decode(page.split('id="roster">')[1].split("<")[0])
        self.assertEqual((struct.unpack_from("<I", index, 32)[0], index[44:52].hex()), (2, new.pop()))
        self.assertIn("connect-src 'self';", page)

    def test_a_roster_too_large_for_a_page_names_site(self):
        big = os.path.join(WORK, "roster-40000.tsv")
        subprocess.run([sys.executable, os.path.join(os.environ["SOURCE_DIR"], "tools", "make_roster.py"),
                        big, "--records", "40000"], check=True)
        done = subprocess.run([PACK, big, "--web", "--program", PAGE, "--no-protect", "-o",
                               os.path.join(WORK, "big.html")], capture_output=True, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertIn("These 40000 records need", done.stderr)
        self.assertIn("--site DIR", done.stderr)
        self.assertFalse(os.path.exists(os.path.join(WORK, "big.html")))


if __name__ == "__main__":
    suites = {"behaviour": [SiteFromAServer, Twins], "faults": [Faults]}
    loader = unittest.TestLoader()
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in suites[sys.argv[1]])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if "behaviour" in sys.argv[1:] and default_site.cache_info().currsize:
        default_site()[1].stop()
    sys.exit(0 if result.wasSuccessful() else 1)
