#!/usr/bin/python3
"""The web page in a real browser: Debian's Chromium, headless, driven by
Selenium. The behaviour the desktop builds are tested for (the four warnings
and their order, every candidate found, exact comparison, focus, 继续查询,
退  出), at a desktop and at a phone viewport, on the page as built (the
default roster, opened from disk) and on a page packed with the roster
protected at a test cost (served by a local web server); the layout against
the form's table; and that the page requests nothing but itself.

page_test.py desktop|phone|portable|page runs one suite (portable: the
desktop's with the page's portable build forced, as a browser without
WebAssembly SIMD runs it); the environment names
the files: VARNHOLT_PAGE (the built page), VARNHOLT_PACK (varnholt-pack),
ROSTER_PATH (the roster the page was built with, UTF-8 with tabs), WORK (a
scratch folder)."""
import functools
import http.server
import json
import os
import subprocess
import sys
import threading
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

PAGE = os.environ["VARNHOLT_PAGE"]
WORK = os.environ["WORK"]
WARNING = "警告"
# The form's table: left, top, width, height in twips; face, points, bold.
LAYOUT = {
    "Label3": (600, 360, 7695, 615, "方正小标宋简体", 15, True),
    "Label5": (3240, 840, 2175, 375, "方正小标宋简体", 15.75, False),
    "Label1": (1680, 1440, 1335, 375, "宋体", 12, False),
    "Text1": (2880, 1440, 4335, 375, "宋体", 12, False),
    "Label2": (1680, 1920, 1335, 375, "宋体", 12, False),
    "Text2": (2880, 1920, 4335, 375, "宋体", 12, False),
    "Label6": (1680, 2400, 1335, 375, "宋体", 12, False),
    "Text3": (2880, 2400, 4335, 375, "宋体", 12, False),
    "Command1": (3480, 2760, 1695, 495, "宋体", 14.25, False),
    "Label7": (1680, 2880, 1335, 375, "宋体", 12, False),
    "Text4": (2880, 2880, 4335, 375, "宋体", 12, False),
    "Command2": (2280, 3480, 1695, 495, "宋体", 14.25, False),
    "Command3": (4320, 3480, 1695, 495, "宋体", 14.25, False),
    "Label8": (6480, 3840, 2415, 375, "宋体", 15.75, True),
}
ALL = list(LAYOUT)
INPUT_STATE = ["Label3", "Label5", "Label1", "Text1", "Label2", "Text2", "Command1", "Label8"]
RESULT_STATE = [name for name in ALL if name != "Command1"]


# Texts cross to the page as UTF-16 code units: WebDriver's JSON takes no
# unpaired surrogate.
UNITS = ("const text = units => { let s = '';"
         " for (let i = 0; i < units.length; i += 8192) s += String.fromCharCode(...units.slice(i, i + 8192));"
         " return s; };")


def units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


def roster():
    """Records of the roster file: ticket, identity, name, score, remark."""
    with open(os.environ["ROSTER_PATH"], encoding="utf-8") as f:
        lines = f.read().split("\n")[1:]
    return [line.split("\t") for line in lines if line]


def shown(record):
    """What Text4 shows: the score without its spaces, one space, the remark."""
    return record[3].strip(" ") + " " + record[4]


@functools.cache
def protected_page():
    """The roster packed into a copy of the page, protected at a test cost."""
    os.makedirs(WORK, exist_ok=True)
    out = os.path.join(WORK, "protected.html")
    subprocess.run([os.environ["VARNHOLT_PACK"], os.environ["ROSTER_PATH"], "--web", "--program", PAGE,
                    "--cost", "1,8", "-o", out], check=True, stdout=subprocess.DEVNULL)
    return out


@functools.cache
def server():
    """A static web server for the scratch folder, on a free local port."""
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=WORK)
    handler.log_message = lambda *args: None
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return "http://127.0.0.1:%d/" % httpd.server_address[1]


def browser(phone, pixel_ratio=3.0, portable=False):
    """Headless Chromium at a desktop viewport, or a phone's (390 x 844);
    portable: as a browser without WebAssembly SIMD, which the page detects
    with WebAssembly.validate."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,800",
                     "--lang=zh-CN"):
        options.add_argument(argument)
    if phone:
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": 390, "height": 844, "pixelRatio": pixel_ratio, "touch": True, "mobile": True}})
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(600)
    if portable:
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                               {"source": "WebAssembly.validate = () => false;"})
    return driver


class Window:
    """The page as a user meets it: typing, clicking, reading, and each
    warning caught, recorded and closed with its button."""

    def __init__(self, driver, url):
        self.driver = driver
        self.url = url
        driver.get_log("performance")  # what earlier pages requested
        driver.get(url)
        self.wait_idle()

    def element(self, name):
        return self.driver.find_element(By.ID, name)

    def wait_idle(self):
        # A warning open, or the form shown and no handler running, or the end.
        WebDriverWait(self.driver, 120, poll_frequency=0.02).until(lambda d: d.execute_script(
            "return typeof Toolkit == 'object' && (Toolkit.ended || Toolkit.dialog && Toolkit.dialog.open"
            " || Toolkit.form && Toolkit.form.style.visibility == '' && !Toolkit.running)"))

    def type(self, box, text):
        element = self.element(box)
        element.click()
        element.send_keys(Keys.END + text)

    def paste(self, box, text):
        """What a paste does: the box's text replaced, and an input event."""
        self.element(box).click()
        self.driver.execute_script(
            UNITS + "arguments[0].value = text(arguments[1]);"
            "arguments[0].dispatchEvent(new InputEvent('input', {inputType: 'insertFromPaste', bubbles: true}))",
            self.element(box), units(text))

    def holds(self, box, text):
        return self.driver.execute_script(UNITS + "return arguments[0].value === text(arguments[1])",
                                          self.element(box), units(text))

    def dialog(self):
        return self.driver.execute_script("return Toolkit.dialog && Toolkit.dialog.open")

    def close_warnings(self, while_open=None, screenshot=None):
        messages = []
        self.wait_idle()
        while self.dialog():
            box = self.element("message")
            messages.append((self.element("message-title").text, self.element("message-prompt").text))
            self.last = {"role": box.aria_role, "name": box.accessible_name,
                         "buttons": [b.text for b in box.find_elements(By.TAG_NAME, "button")],
                         "description": self.driver.execute_script(
                             "return document.getElementById(arguments[0].getAttribute('aria-describedby')).textContent",
                             box)}
            if screenshot:
                self.driver.save_screenshot(screenshot)
            if while_open:  # a click into Text2 and keys, aimed past the warning
                ActionChains(self.driver).move_to_element(self.element("Text2")).click().send_keys(while_open).perform()
            self.element("message-ok").click()
            self.wait_idle()
        return messages

    def click(self, name, while_open=None, screenshot=None):
        """A click at the control; the warnings shown meanwhile, in order."""
        ActionChains(self.driver).move_to_element(self.element(name)).click().perform()
        return self.close_warnings(while_open, screenshot)

    def press(self, key):
        ActionChains(self.driver).send_keys(key).perform()
        return self.close_warnings()

    def text(self, box):
        return self.element(box).get_property("value")

    def visible(self):
        return [name for name in ALL if self.element(name).is_displayed()]

    def focus(self):
        return self.driver.switch_to.active_element.get_attribute("id")

    def query(self, ticket, identity):
        if ticket:
            self.type("Text1", ticket)
        if identity:
            self.type("Text2", identity)
        return self.click("Command1")


class Behaviour(unittest.TestCase):
    """The scenarios of the desktop builds, on one page at one viewport."""
    phone = False
    portable = False

    @classmethod
    def setUpClass(cls):
        cls.driver = browser(cls.phone, portable=cls.portable)
        cls.records = roster()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()

    def setUp(self):
        self.window = Window(self.driver, self.url())
        self.assertEqual(self.driver.execute_script("return Toolkit.simd"), not self.portable)  # the build meant

    def expect_input_state(self, text1, text2):
        w = self.window
        self.assertEqual((w.text("Text1"), w.text("Text2"), w.text("Text3"), w.text("Text4")), (text1, text2, "", ""))
        self.assertEqual(w.visible(), INPUT_STATE)

    def expect_result(self, record):
        w = self.window
        self.assertEqual((w.text("Text3"), w.text("Text4")), (record[2], shown(record)))
        self.assertEqual(w.visible(), RESULT_STATE)
        self.assertFalse(w.element("Text3").is_enabled() or w.element("Text4").is_enabled())

    def test_the_four_warnings_in_their_order(self):
        w, r = self.window, self.records
        self.assertEqual(w.query("", ""), [(WARNING, "请输入准考证号")])
        self.assertEqual(w.last["buttons"], ["确定"])
        self.assertEqual((w.last["role"], w.last["name"], w.last["description"]),
                         ("alertdialog", WARNING, "请输入准考证号"))
        self.assertEqual(w.focus(), "Command1")  # back where it was
        self.assertEqual(w.query("", r[0][1]), [(WARNING, "请输入准考证号")])
        self.expect_input_state("", r[0][1])
        w.paste("Text2", "")
        self.assertEqual(w.query(r[4][0], ""), [(WARNING, "请输入身份证号")])
        # Input aimed at the form while the warning is open reaches nothing.
        self.assertEqual(w.click("Command1", while_open="510104"), [(WARNING, "请输入身份证号")])
        self.expect_input_state(r[4][0], "")
        w.paste("Text1", "10731000000")
        self.assertEqual(w.query("", r[0][1]), [(WARNING, "无此考生")])
        w.paste("Text1", r[9][0])
        w.paste("Text2", r[10][1])
        self.assertEqual(w.click("Command1"), [(WARNING, "准考证号与身份证号不一致")])
        self.expect_input_state(r[9][0], r[10][1])

    def test_comparison_is_exact(self):
        w, r = self.window, self.records
        for ticket, identity, warning in ((" " + r[6][0], r[6][1], "无此考生"),
                                          (r[6][0] + " ", r[6][1], "无此考生"),
                                          ("   ", r[6][1], "无此考生"),
                                          (r[6][0], r[6][1] + " ", "准考证号与身份证号不一致"),
                                          (r[6][0], "  ", "准考证号与身份证号不一致")):
            w.paste("Text1", ticket)
            w.paste("Text2", identity)
            self.assertEqual(w.click("Command1"), [(WARNING, warning)], (ticket, identity))
            self.assertEqual((w.text("Text1"), w.text("Text2")), (ticket, identity))
        x = next(record for record in r if record[1].endswith("X"))
        w.paste("Text1", x[0])
        w.paste("Text2", "")
        self.assertEqual(w.query("", x[1][:-1] + "x"), [(WARNING, "准考证号与身份证号不一致")])
        w.paste("Text2", x[1])  # typed as given it opens
        self.assertEqual(w.click("Command1"), [])
        self.expect_result(x)

    def test_focus_tab_order_and_command2(self):
        w, r = self.window, self.records
        self.assertEqual(w.focus(), "Text1")
        cycle = [w.focus()] + [(w.press(Keys.TAB), w.focus())[1] for _ in range(3)]
        self.assertEqual(cycle, ["Text1", "Text2", "Command1", "Text1"])
        w.type("Text1", r[1][0])
        w.type("Text2", r[1][1])
        self.assertEqual(w.press(Keys.ENTER) + w.press(Keys.ESCAPE), [])  # start nothing
        w.press(Keys.TAB)
        self.assertEqual(w.focus(), "Command1")
        self.assertEqual(w.press(Keys.ENTER), [])
        self.assertEqual(w.visible(), INPUT_STATE)
        self.assertEqual(w.click("Command1"), [])
        self.expect_result(r[1])
        self.assertEqual(w.focus(), "Text1")  # 确  定 hid itself: the focus moved on in tab order
        cycle = [w.focus()] + [(w.press(Keys.TAB), w.focus())[1] for _ in range(4)]
        self.assertEqual(cycle, ["Text1", "Text2", "Command2", "Command3", "Text1"])
        w.type("Text1", "123")  # editing the inputs changes nothing shown
        self.expect_result(r[1])
        self.assertEqual(w.click("Command2"), [])
        self.assertEqual(w.focus(), "Text1")
        self.expect_input_state("", "")
        self.assertEqual(w.click("Command1"), [(WARNING, "请输入准考证号")])

    def test_every_candidate_finds_their_result(self):
        failures = self.driver.execute_async_script("""
            const [records, done] = arguments;
            const set = (id, value) => {
                const box = document.getElementById(id);
                box.value = value;
                box.dispatchEvent(new InputEvent('input', {bubbles: true}));
            };
            const idle = () => new Promise(resolve => {
                const poll = () => Toolkit.running && !Toolkit.dialog.open ? setTimeout(poll, 0) : resolve();
                poll();
            });
            (async () => {
                const failures = [];
                for (const [row, ticket, identity, name, score] of records) {
                    set('Text1', ticket);
                    set('Text2', identity);
                    document.getElementById('Command1').click();
                    await idle();
                    if (Toolkit.dialog.open) {
                        failures.push(row + ': ' + document.getElementById('message-prompt').textContent);
                        document.getElementById('message-ok').click();
                        await idle();
                        continue;
                    }
                    const got = [Text3.value, Text4.value];
                    if (got[0] !== name || got[1] !== score)
                        failures.push(row + ': ' + got.join(' / '));
                    document.getElementById('Command2').click();
                    await idle();
                }
                done(failures);
            })();""", [[i + 1, r[0], r[1], r[2], shown(r)] for i, r in enumerate(self.records)])
        self.assertEqual(failures, [])

    def test_command3_ends_the_program_and_the_link_starts_it_again(self):
        w, r = self.window, self.records
        self.assertEqual(w.query(r[0][0], r[0][1]), [])
        w.click("Command3")
        ended = self.driver.find_element(By.ID, "ended")
        self.assertEqual(ended.text, "程序已结束。重新运行")
        self.assertEqual(self.driver.find_elements(By.ID, "Form1"), [])
        ended.find_element(By.TAG_NAME, "a").click()
        w.wait_idle()
        self.assertEqual(w.visible(), INPUT_STATE)
        self.assertEqual(w.focus(), "Text1")

    def test_nothing_but_the_page_is_requested(self):
        w, r = self.window, self.records
        self.assertEqual(w.query(r[2][0], r[2][1]), [])
        requested = [json.loads(entry["message"])["message"]["params"]["request"]["url"]
                     for entry in self.driver.get_log("performance")
                     if json.loads(entry["message"])["message"]["method"] == "Network.requestWillBeSent"]
        self.assertEqual([url for url in requested if not url.startswith("data:")], [self.driver.current_url])
        problems = [entry["message"] for entry in self.driver.get_log("browser") if entry["level"] != "INFO"]
        self.assertEqual(problems, [])
        # The page's policy forbids every connection, even to the page itself.
        self.assertEqual(self.driver.execute_async_script(
            "fetch(location.href).then(() => arguments[0]('fetched'), () => arguments[0]('refused'))"), "refused")


class DefaultPageFromDisk(Behaviour):
    def url(self):
        return "file://" + os.path.abspath(PAGE)


class ProtectedPageFromAServer(Behaviour):
    def url(self):
        return server() + os.path.basename(protected_page())


    def test_no_copy_of_the_identity_number_stays_in_the_programs_memory(self):
        # The protected roster holds no identity number: after 继续查询, and
        # after 退  出, the WebAssembly memory holds none of those typed, in
        # UTF-16 or in UTF-8, whole or its first 17 characters.
        w, r = self.window, self.records
        scan = """
            const memory = new Uint8Array(wasmMemory.buffer);
            const found = [];
            for (const text of arguments[0])
                for (const bytes of [new TextEncoder().encode(text),
                                     new Uint8Array(Uint16Array.from(text, c => c.charCodeAt(0)).buffer)]) {
                    for (let at = memory.indexOf(bytes[0]); at >= 0; at = memory.indexOf(bytes[0], at + 1))
                        if (bytes.every((b, i) => memory[at + i] === b)) {
                            found.push(text + ' at ' + at);
                            break;
                        }
                }
            return found;"""
        typed = [r[5][1], r[6][1]]
        self.assertEqual(w.query(r[5][0], r[5][1]), [])
        self.assertEqual(w.click("Command2"), [])
        self.assertEqual(w.query(r[5][0], r[6][1]), [(WARNING, "准考证号与身份证号不一致")])
        w.paste("Text1", r[6][0])
        self.assertEqual(w.click("Command1"), [])
        self.assertEqual(w.click("Command2"), [])
        needles = typed + [t[:17] for t in typed]
        self.assertEqual(self.driver.execute_script(scan, needles), [])
        self.assertEqual(w.query(r[7][0], r[7][1]), [])
        w.click("Command3")
        self.assertEqual(self.driver.execute_script(scan, needles + [r[7][1], r[7][1][:17]]), [])


class DefaultPageFromDiskOnAPhone(DefaultPageFromDisk):
    phone = True


class ProtectedPageFromAServerOnAPhone(ProtectedPageFromAServer):
    phone = True


class DefaultPageFromDiskPortable(DefaultPageFromDisk):
    portable = True


class ProtectedPageFromAServerPortable(ProtectedPageFromAServer):
    portable = True


def box(driver, name):
    return driver.execute_script("""
        const e = document.getElementById(arguments[0]), r = e.getBoundingClientRect(),
              f = document.getElementById('Form1').getBoundingClientRect(), s = getComputedStyle(e);
        return {left: r.left - f.left, top: r.top - f.top, width: r.width, height: r.height,
                family: s.fontFamily, size: parseFloat(s.fontSize), weight: s.fontWeight, color: s.color,
                formWidth: f.width, formHeight: f.height, viewport: document.documentElement.clientWidth};""", name)


class Page(unittest.TestCase):
    """What the page is, read back from it: layout, fonts, names, inputs."""

    def test_desktop_layout_is_the_forms_table_centred(self):
        driver = browser(False)
        try:
            window = Window(driver, "file://" + os.path.abspath(PAGE))
            self.assertEqual(driver.title, "Varnholt")
            r = roster()[0]
            measured = {name: box(driver, name) for name in INPUT_STATE}
            window.query(r[0], r[1])  # the result state shows the others
            measured.update({name: box(driver, name) for name in RESULT_STATE if name not in measured})
            for name, (left, top, width, height, face, points, bold) in LAYOUT.items():
                b = measured[name]
                self.assertEqual([round(b[k] * 15) for k in ("left", "top", "width", "height")],
                                 [left, top, width, height], name)
                self.assertEqual(b["family"].split(",")[0].strip('"'), face, name)
                self.assertAlmostEqual(b["size"], points * 96 / 72, places=2, msg=name)
                self.assertEqual(b["weight"], "700" if bold else "400", name)
            self.assertEqual((round(b["formWidth"] * 15), round(b["formHeight"] * 15)), (8625, 4260))
            frame = driver.find_element(By.ID, "Form1").rect
            self.assertAlmostEqual(frame["x"] * 2 + frame["width"], b["viewport"], delta=1)  # centred
            self.assertEqual(box(driver, "Label5")["color"], "rgb(255, 0, 0)")
            self.assertNotEqual(box(driver, "Label1")["color"], "rgb(255, 0, 0)")
        finally:
            driver.quit()

    def test_phone_layout_is_one_column_in_the_same_order(self):
        driver = browser(True)
        try:
            window = Window(driver, "file://" + os.path.abspath(PAGE))
            for state in ("input", "result"):
                if state == "result":
                    r = roster()[0]
                    window.query(r[0], r[1])
                shown = [name for name in ALL if window.element(name).is_displayed()]
                boxes = [box(driver, name) for name in shown]
                self.assertEqual([b["top"] for b in boxes], sorted(b["top"] for b in boxes), state)
                for name, b in zip(shown, boxes):
                    self.assertGreaterEqual(b["size"], 16, name)
                    self.assertLessEqual(b["left"] + b["width"], b["viewport"], name)
                    if not name.startswith("Label"):  # boxes and buttons the full width, easy to touch
                        self.assertGreaterEqual(b["width"], b["viewport"] - 40, name)
                        self.assertGreaterEqual(b["height"], 44, name)
            self.assertEqual(driver.execute_script("return document.documentElement.scrollWidth"),
                             box(driver, "Text1")["viewport"])  # nothing wider than the screen
        finally:
            driver.quit()

    def test_inputs_are_exact_and_named_by_their_labels(self):
        driver = browser(False)
        try:
            window = Window(driver, "file://" + os.path.abspath(PAGE))
            self.assertEqual(window.element("Command1").accessible_name, "确 定")  # names collapse blanks
            r = roster()[0]
            window.query(r[0], r[1])  # all four boxes shown
            for name, label in (("Text1", "准考证号"), ("Text2", "身份证号"), ("Text3", "姓名"), ("Text4", "成绩")):
                e = window.element(name)
                self.assertEqual(e.accessible_name.replace(" ", "").replace("：", ""), label)
                self.assertEqual([e.get_dom_attribute(a) for a in ("autocomplete", "autocorrect", "autocapitalize",
                                                               "spellcheck", "type")],
                                 ["off", "off", "off", "false", "text"], name)
            for name, caption in (("Command2", "继续查询"), ("Command3", "退 出")):
                self.assertEqual(window.element(name).accessible_name, caption)
            window.click("Command2")
            # Hostile and very long text is kept whole and compared code unit by code unit.
            for text in ("\ud800" + r[0], "\u200f" + r[0], "１０７３１０５０４１９", r[0] + "\0" + "9", "1" * 1000000):
                window.paste("Text1", text)
                window.paste("Text2", r[1])
                self.assertEqual(window.click("Command1"), [(WARNING, "无此考生")])
                self.assertTrue(window.holds("Text1", text))
        finally:
            driver.quit()

    def test_a_damaged_roster_is_reported_and_ends_the_program(self):
        with open(PAGE, encoding="utf-8") as f:
            page = f.read()
        start = page.index('id="roster">') + len('id="roster">') + 200  # inside the first records
        damaged = os.path.join(WORK, "damaged.html")
        os.makedirs(WORK, exist_ok=True)
        with open(damaged, "w", encoding="utf-8") as f:
            f.write(page[:start] + ("B" if page[start] != "B" else "C") + page[start + 1:])
        driver = browser(False)
        try:
            window = Window(driver, "file://" + damaged)
            self.assertEqual(window.close_warnings(), [("Peldrun", "实时错误 '321':\n\n文件格式无效：程序文件中的名单已损坏")])
            self.assertEqual(driver.find_element(By.ID, "ended").text, "程序已结束。重新运行")
        finally:
            driver.quit()


if __name__ == "__main__":
    suites = {"desktop": [DefaultPageFromDisk, ProtectedPageFromAServer],
              "phone": [DefaultPageFromDiskOnAPhone, ProtectedPageFromAServerOnAPhone],
              "portable": [DefaultPageFromDiskPortable, ProtectedPageFromAServerPortable],
              "page": [Page]}
    loader = unittest.TestLoader()
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in suites[sys.argv[1]])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
