#!/usr/bin/python3
"""The web page in a real browser engine (tests/web/browsers.py: Chromium,
WebKit or Firefox), driven through WebDriver. The behaviour the desktop
builds are tested for (the four warnings and their order, every candidate
found, exact comparison, focus and keys, 继续查询, 退  出), at a desktop and
at a phone viewport, on the page as built (the default roster, opened from
disk) and on a page packed with the roster protected at a test cost (served
by a local web server); a page shown again (Back) and boxes changed without
an input event; the layout against the form's table, every width from
320 px, touch-sized controls; axe-core in every state; and that the page
requests nothing but itself. One browser per viewport serves the whole run.

page_test.py ENGINE runs every suite in that engine; the environment names
the files: VARNHOLT_PAGE (the built page), VARNHOLT_PACK (varnholt-pack),
ROSTER_PATH (the roster the page was built with, UTF-8 with tabs), AXE
(axe-core's axe.min.js), WORK (a scratch folder)."""
import atexit
import functools
import gzip
import http.server
import json
import os
import shutil
import subprocess
import sys
import threading
import time
import unittest

import brotli
from selenium.common.exceptions import TimeoutException, WebDriverException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

import browsers

ENGINE = os.environ.get("VARNHOLT_ENGINE", "chromium")
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


REQUESTED = []  # the paths the server was asked for


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def log_request(self, *args):
        REQUESTED.append(self.path)

    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")  # every load asks the server
        super().end_headers()


HOLD = 2.0  # seconds the holding server keeps back what follows the form


class HoldingHandler(Handler):
    """A page as a slow network brings it: its head and form at once, the
    rest (the roster and the program) HOLD seconds later."""

    def do_GET(self):
        path = self.translate_path(self.path)
        if not path.endswith(".html") or not os.path.isfile(path):
            return super().do_GET()
        with open(path, "rb") as f:
            body = f.read()
        at = max(body.find(b'<script type="application/octet-stream" id="roster">'), 0)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:at])
        self.wfile.flush()
        time.sleep(HOLD if at else 0)
        self.wfile.write(body[at:])


@functools.cache
def server(handler=Handler):
    """A static web server for the scratch folder, on a free local port."""
    os.makedirs(WORK, exist_ok=True)
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(handler, directory=WORK))
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return "http://127.0.0.1:%d/" % httpd.server_address[1]


def held(url):
    """The URL of a served file, from the server that holds back its program."""
    return server(HoldingHandler) + url.rsplit("/", 1)[1]


def served(path, text=None):
    """A file of the scratch folder (a copy of PATH, or TEXT) and its URL."""
    os.makedirs(WORK, exist_ok=True)
    name = os.path.basename(path)
    if text is not None:
        with open(os.path.join(WORK, name), "w", encoding="utf-8") as f:
            f.write(text)
    elif os.path.abspath(path) != os.path.join(os.path.abspath(WORK), name):
        shutil.copyfile(path, os.path.join(WORK, name))
    return server() + name


def browser(phone, pixel_ratio=3.0, engine=None, page_load="normal"):
    """A browser of the engine under test at a desktop viewport, or a phone's."""
    return browsers.start(engine or ENGINE, phone, pixel_ratio, page_load)


@functools.cache
def session(phone):
    """The browser the run's tests share at that viewport."""
    driver = browser(phone)
    atexit.register(driver.quit)
    return driver


def file_url(path):
    return "file://" + os.path.abspath(path)


class Window:
    """The page as a user meets it: typing, clicking, reading, and each
    warning caught, recorded and closed with its button."""

    def __init__(self, driver, url):
        self.driver = driver
        self.url = url
        if driver.engine == "chromium":  # what earlier pages requested and said
            driver.get_log("performance")
            driver.get_log("browser")
        REQUESTED.clear()
        driver.get(url)
        self.wait_idle()

    def element(self, name):
        return self.driver.find_element(By.ID, name)

    def wait_idle(self):
        # A warning open, or the form shown and no handler running, or the end
        # (a page that reloads meanwhile is asked again).
        WebDriverWait(self.driver, 120, poll_frequency=0.02, ignored_exceptions=[WebDriverException]).until(
            lambda d: d.execute_script(
            "return typeof Toolkit == 'object' && (Toolkit.ended || Toolkit.dialog && Toolkit.dialog.open"
            " || Toolkit.form && Toolkit.form.style.visibility == '' && !Toolkit.running && !(window.Early && Early.pending))"))

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
            if while_open:  # a click where Text2 is and keys, aimed past the warning
                rect = self.driver.execute_script(  # WebKit's driver gives no covered element's place
                    "const r = document.getElementById('Text2').getBoundingClientRect();"
                    " return {x: r.x, y: r.y, width: r.width, height: r.height}")
                chain = ActionChains(self.driver)
                chain.w3c_actions.pointer_action.move_to_location(int(rect["x"] + rect["width"] / 2),
                                                                 int(rect["y"] + rect["height"] / 2))
                chain.click().send_keys(while_open).perform()
            self.element("message-ok").click()
            self.wait_idle()
        return messages

    def click(self, name, while_open=None, screenshot=None):
        """A click at the control; the warnings shown meanwhile, in order."""
        ActionChains(self.driver).move_to_element(self.element(name)).click().perform()
        return self.close_warnings(while_open, screenshot)

    def press(self, key):
        return self.keys(key) or self.close_warnings()

    def keys(self, *keys):
        """Keys to the focused element, as typed; a warning they open stays open."""
        chain = ActionChains(self.driver)
        for key in keys:
            if isinstance(key, tuple):  # a chord: (modifier, key)
                chain.key_down(key[0]).send_keys(key[1]).key_up(key[0])
            else:
                chain.send_keys(key)
        chain.perform()
        self.wait_idle()

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

    @classmethod
    def setUpClass(cls):
        cls.driver = session(cls.phone)
        cls.records = roster()

    def setUp(self):
        self.window = Window(self.driver, self.url())

    def expect_input_state(self, text1, text2):
        w = self.window
        self.assertEqual((w.text("Text1"), w.text("Text2"), w.text("Text3"), w.text("Text4")), (text1, text2, "", ""))
        self.assertEqual(w.visible(), INPUT_STATE)

    def expect_result(self, record):
        w = self.window
        self.assertEqual((w.text("Text3"), w.text("Text4")), (record[2], shown(record)))
        self.assertEqual(w.visible(), RESULT_STATE)
        # Read-only, out of the tab order, readable, and read out.
        self.assertTrue(w.element("Text3").get_property("readOnly") and w.element("Text4").get_property("readOnly"))
        self.assertEqual(w.element("status").get_property("textContent"), "姓    名：%s；成    绩：%s" % (record[2], shown(record)))

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
        self.assertEqual(w.press(Keys.SPACE), [])  # Space clicks the focused button
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

    def test_the_warning_keeps_and_gives_back_the_keyboard(self):
        w = self.window
        w.keys(Keys.TAB, Keys.TAB)
        self.assertEqual(w.focus(), "Command1")
        for close in (Keys.ESCAPE, Keys.ENTER, Keys.SPACE):
            w.keys(Keys.SPACE)  # 确  定 with both boxes empty: the warning
            self.assertTrue(w.dialog(), close)
            self.assertEqual(w.focus(), "message-ok")
            w.keys(Keys.TAB, (Keys.SHIFT, Keys.TAB), Keys.TAB)  # never onto the dialog itself
            self.assertEqual(w.focus(), "message-ok")
            w.keys(close)
            self.assertFalse(w.dialog(), close)
            self.assertEqual(w.focus(), "Command1", close)  # back where it was, and Space works again

    def test_what_the_boxes_show_is_what_is_looked_up(self):
        w, r = self.window, self.records
        self.assertEqual(w.query(r[4][0], ""), [(WARNING, "请输入身份证号")])
        # Emptied without an input event, as autofill, form restoration and
        # WebDriver's clear can do.
        self.driver.execute_script("arguments[0].value = ''", w.element("Text1"))
        self.assertEqual(w.query("", r[4][1]), [(WARNING, "请输入准考证号")])
        self.driver.execute_script("arguments[0].value = arguments[1]", w.element("Text1"), r[4][0])
        self.assertEqual(w.click("Command1"), [])
        self.expect_result(r[4])
        # Leaving the page and coming back (the back-forward cache where the
        # engine keeps the page): the input state, nothing of the result.
        self.driver.get(self.elsewhere())
        self.driver.back()
        w.wait_idle()
        self.expect_input_state("", "")
        self.assertEqual(w.element("status").get_property("textContent"), "")
        self.assertEqual(w.query(r[4][0], ""), [(WARNING, "请输入身份证号")])
        self.assertEqual(w.query("", r[4][1]), [])
        self.expect_result(r[4])

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
        self.assertEqual(ended.text.replace("\n", ""), "程序已结束。重新运行")
        self.assertEqual(self.driver.find_elements(By.ID, "Form1"), [])
        ended.find_element(By.TAG_NAME, "a").click()
        w.wait_idle()
        self.assertEqual(w.visible(), INPUT_STATE)
        self.assertEqual(w.focus(), "Text1")

    def test_nothing_but_the_page_is_requested(self):
        w, r = self.window, self.records
        self.assertEqual(w.query(r[2][0], r[2][1]), [])
        # What the page loaded, as it counts it itself, and what the server saw.
        self.assertEqual(self.driver.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name).filter(n => !n.startsWith('data:'))"),
            [])
        if self.url().startswith("http:"):
            self.assertEqual(REQUESTED, ["/" + self.url().rsplit("/", 1)[1]])
        if self.driver.engine == "chromium":  # every request, as DevTools saw it, and the console
            requested = [json.loads(entry["message"])["message"]["params"]["request"]["url"]
                         for entry in self.driver.get_log("performance")
                         if json.loads(entry["message"])["message"]["method"] == "Network.requestWillBeSent"]
            self.assertEqual([url for url in requested if not url.startswith("data:")], [self.driver.current_url])
            problems = [entry["message"] for entry in self.driver.get_log("browser") if entry["level"] != "INFO"]
            self.assertEqual(problems, [])
        # The page's policy forbids every connection: to a server, and from a
        # server to the page itself (Firefox lets a page on disk read files).
        REQUESTED.clear()
        for url in [server() + "probe"] + ([self.url()] if self.url().startswith("http:") else []):
            self.assertEqual(self.driver.execute_async_script(
                "fetch(arguments[0]).then(() => arguments[1]('fetched'), () => arguments[1]('refused'))", url),
                "refused", url)
        self.assertEqual(REQUESTED, [])


ELSEWHERE = "<!DOCTYPE html><title>elsewhere</title><p>elsewhere</p>"


class DefaultPageFromDisk(Behaviour):
    def url(self):
        return file_url(PAGE)

    def elsewhere(self):
        served("elsewhere.html", ELSEWHERE)
        return file_url(os.path.join(WORK, "elsewhere.html"))


class ProtectedPageFromAServer(Behaviour):
    def url(self):
        return served(protected_page())

    def elsewhere(self):
        return served("elsewhere.html", ELSEWHERE)

    def test_a_protected_lookup_shows_that_it_works(self):
        w, r = self.window, self.records
        w.type("Text1", r[5][0])
        w.type("Text2", r[5][1])
        # What the button and the live region went through, seen as it happened.
        self.driver.execute_script("""
            const button = document.getElementById('Command1'), status = document.getElementById('status');
            window.seen = [];
            new MutationObserver(() => seen.push([button.classList.contains('working'),
                                                  button.getAttribute('aria-busy'), status.textContent,
                                                  getComputedStyle(button, '::after').content != 'none',
                                                  getComputedStyle(button, '::after').animationName]))
                .observe(document.getElementById('Form1'), {subtree: true, attributes: true, childList: true,
                                                            characterData: true});""")
        self.assertEqual(w.click("Command1"), [])
        self.expect_result(r[5])
        seen = self.driver.execute_script("return seen")
        # The mark stands still: a turning one takes a core from the derivation in WebKit.
        self.assertIn([True, "true", "请稍候…", True, "none"], seen)
        self.assertFalse(self.driver.execute_script("return seen[seen.length - 1][0]"))  # no longer at work


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


class DefaultPageHeldBack(Behaviour):
    """The scenarios on a page whose program arrives after its form."""

    def url(self):
        return held(served(PAGE))

    def elsewhere(self):
        return served("elsewhere.html", ELSEWHERE)


class ProgramHeldBack(unittest.TestCase):
    """A page whose program arrives HOLD seconds after its form, in a
    browser that lets the test act while it loads: the form is drawn from
    the page's markup, it takes typing, the first click is answered once the
    program has started, and a program that fails is a message, never an answer."""

    @classmethod
    def setUpClass(cls):
        cls.driver = browser(False, page_load="none")
        cls.addClassCleanup(cls.driver.quit)
        cls.records = roster()
        # Each page is opened from one of the same server, loaded whole: a
        # navigation from the browser's first page (data:,), or from a page
        # still loading, was seen never to start.
        cls.driver.get(held(served("elsewhere.html", ELSEWHERE)))
        WebDriverWait(cls.driver, 30, ignored_exceptions=[WebDriverException]).until(
            lambda d: d.execute_script("return location.pathname == '/elsewhere.html'"
                                       " && document.readyState == 'complete'"))

    def open(self, url):
        # Navigated by the page itself: Firefox's get() waits for the load
        # whatever the session's strategy. The page left behind is marked, so
        # that its form is not taken for the new one's.
        window = Window.__new__(Window)
        window.driver, window.url = self.driver, url
        self.driver.execute_script("document.documentElement.dataset.left = 1; location.href = arguments[0]", url)
        try:
            WebDriverWait(self.driver, 30, poll_frequency=0.02, ignored_exceptions=[WebDriverException]).until(
                lambda d: d.execute_script("return !document.documentElement.dataset.left"
                                           " && !!document.getElementById('Form1')"))
        except TimeoutException:
            self.fail("no form from %s within 30 s: the browser is at %s" % (url, self.driver.current_url))
        self.assertTrue(self.loading(), "the program came with the form")
        return window

    def loading(self):
        return self.driver.execute_script("return typeof Toolkit == 'undefined'")

    def click_early(self, window, times):
        for _ in range(times):
            window.element("Command1").click()
        self.assertEqual(self.driver.execute_script(
            "return [document.getElementById('Command1').classList.contains('working'),"
            " document.documentElement.classList.contains('busy')]"), [True, True])
        self.assertTrue(self.loading(), "the program came before the test clicked")

    def test_the_form_takes_typing_and_an_early_click_is_answered_once(self):
        r = self.records[3]
        w = self.open(held(served(PAGE)))
        self.assertEqual(w.visible(), INPUT_STATE)
        names = "return [...document.querySelectorAll('#Form1 > input')].map(e => [e.id, e.getAttribute('aria-labelledby'), e.getAttribute('aria-label')])"
        before = self.driver.execute_script(names)
        w.type("Text1", r[0])
        self.assertTrue(w.holds("Text1", r[0]))
        self.click_early(w, 2)
        self.assertEqual(w.close_warnings(), [(WARNING, "请输入身份证号")])  # one answer to two clicks
        self.assertFalse(w.element("Command1").get_attribute("class"))
        self.assertEqual((w.text("Text1"), w.text("Text2"), w.visible()), (r[0], "", INPUT_STATE))
        self.assertEqual(before, self.driver.execute_script(names), "the boxes are named as the program names them")
        # Both boxes typed before the program: the result, once it has started.
        w = self.open(held(served(PAGE)))
        w.type("Text1", r[0])
        w.type("Text2", r[1])
        self.click_early(w, 1)
        w.wait_idle()
        self.assertEqual((w.text("Text3"), w.text("Text4"), w.visible()), (r[2], shown(r), RESULT_STATE))
        self.assertFalse(w.dialog())

    def test_a_program_that_fails_to_start_answers_nothing(self):
        r = self.records[3]
        with open(PAGE, encoding="utf-8") as f:
            page = f.read()
        at = page.index('id="program">') + len('id="program">') + 400
        for name, text in (("damaged-program.html", page[:at] + ("B" if page[at] != "B" else "C") + page[at + 1:]),
                           ("cut-program.html", page[:at])):
            w = self.open(held(served(name, text)))
            w.type("Text1", r[0])
            w.type("Text2", r[1])
            self.click_early(w, 1)
            ended = WebDriverWait(self.driver, 30, poll_frequency=0.05).until(
                lambda d: d.find_elements(By.ID, "ended"))
            self.assertEqual(ended[0].text.replace("\n", ""), "程序已结束。重新运行", name)
            self.assertEqual(self.driver.find_elements(By.ID, "Form1"), [], name)
            self.assertFalse(self.driver.execute_script("return !!document.querySelector('dialog[open]')"), name)


class DefaultPageFromDiskOnAPhone(DefaultPageFromDisk):
    phone = True


class ProtectedPageFromAServerOnAPhone(ProtectedPageFromAServer):
    phone = True


def box(driver, name):
    return driver.execute_script("""
        const e = document.getElementById(arguments[0]), r = e.getBoundingClientRect(),
              f = document.getElementById('Form1').getBoundingClientRect(), s = getComputedStyle(e);
        return {left: r.left - f.left, top: r.top - f.top, width: r.width, height: r.height,
                family: s.fontFamily, size: parseFloat(s.fontSize), weight: s.fontWeight, color: s.color,
                formWidth: f.width, formHeight: f.height, viewport: document.documentElement.clientWidth};""", name)


# The one finding of axe-core accepted: the window's own heading colours (red
# on the window's grey) where the page draws the window as it is, at a
# desktop size. The column layout draws that heading readably dark.
ACCEPTED_AT_DESKTOP_SIZE = {("color-contrast", "#Label5")}

AXE_RUN = """axe.run(document, {resultTypes: ['violations']}).then(r => arguments[0](
    r.violations.map(v => [v.id, v.impact, v.nodes.map(n => n.target.join(' '))])))"""

# Each width in a frame of that width: the page with nothing of it outside
# the frame, in the input state, with a warning open, with a result, ended.
WIDTHS_SCRIPT = """
    const [src, widths, ticket, identity, done] = arguments, frame = document.getElementById('frame'),
          problems = [];
    (async () => {
        for (const width of widths) {
            frame.style.width = width + 'px';
            await new Promise(resolve => { frame.onload = resolve; frame.src = src + '?' + width; });
            const page = frame.contentWindow, d = frame.contentDocument;
            const settle = () => new Promise(resolve => {
                // The program starts after the frame's load, once the form is drawn.
                const poll = () => page.Toolkit.ended || page.Toolkit.dialog && page.Toolkit.dialog.open
                    || page.Toolkit.form && page.Toolkit.form.style.visibility == '' && !page.Toolkit.running
                    ? requestAnimationFrame(() => resolve()) : setTimeout(poll, 10);
                poll();
            });
            const check = state => {
                const viewport = d.documentElement.clientWidth;
                if (d.documentElement.scrollWidth > viewport)
                    problems.push(width + ' px, ' + state + ': the page is ' + d.documentElement.scrollWidth + ' px wide');
                // The window clips its controls; the column holds them.
                for (const e of d.querySelectorAll('#Form1, .narrow #Form1 > :not(#status), dialog[open], #ended')) {
                    const r = e.getBoundingClientRect();
                    if (r.width && (r.left < -0.5 || r.right > viewport + 0.5))
                        problems.push(width + ' px, ' + state + ': ' + e.id + ' from ' + r.left + ' to ' + r.right);
                }
            };
            const click = async id => { d.getElementById(id).click(); await settle(); };
            await settle();
            check('input');
            await click('Command1');
            check('warning');
            await click('message-ok');
            d.getElementById('Text1').value = ticket;
            d.getElementById('Text2').value = identity;
            await click('Command1');
            check('result');
            await click('Command3');
            check('ended');
        }
        done(problems);
    })();"""


class Page(unittest.TestCase):
    """What the page is, read back from it: layout at every width, touch
    sizes, fonts, names, inputs, what axe-core finds."""

    def test_the_packed_page_lies_beside_its_twins(self):
        page = protected_page()
        with open(page, "rb") as f, gzip.open(page + ".gz") as gz, open(page + ".br", "rb") as br:
            original = f.read()
            self.assertEqual(gz.read(), original)
            self.assertEqual(brotli.decompress(br.read()), original)

    def test_desktop_layout_is_the_forms_table_centred(self):
        driver = session(False)
        window = Window(driver, file_url(PAGE))
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

    def test_phone_layout_is_one_column_in_the_same_order_and_touch_sized(self):
        driver = session(True)
        window = Window(driver, file_url(PAGE))
        # Where the engine can be told the main pointer is a finger, a
        # tablet's width (wider than the window) has the column too.
        coarse = driver.execute_script("return matchMedia('(pointer: coarse)').matches")
        self.assertEqual(coarse, driver.engine != "webkit")
        for width, height in [browsers.PHONE] + ([(820, 1180)] if coarse else []):
            browsers.viewport(driver, width, height)
            window = Window(driver, file_url(PAGE))
            for state in ("input", "warning", "result"):
                if state == "warning":
                    window.element("Command1").click()
                    window.wait_idle()
                    self.assertGreaterEqual(window.element("message-ok").rect["height"], 44)
                    window.element("message-ok").click()
                    window.wait_idle()
                    continue
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
                        self.assertGreaterEqual(b["width"], min(b["viewport"], 640) - 40, (width, name))
                        self.assertGreaterEqual(b["height"], 44, (width, name))
                self.assertEqual(driver.execute_script("return document.documentElement.scrollWidth"),
                                 box(driver, "Text1")["viewport"])  # nothing wider than the screen
        browsers.viewport(driver, *browsers.PHONE)

    def test_no_width_from_320_px_scrolls_sideways(self):
        driver = session(False)
        page = served(PAGE)
        driver.get(served("frame.html", "<!DOCTYPE html><title>frame</title><style>body { margin: 0 }"
                          " iframe { border: 0; display: block; height: 600px }</style><iframe id=frame></iframe>"))
        r = roster()[0]
        widths = [320, 340, 360, 375, 390, 414, 450, 480, 540, 574, 575, 600, 768, 1024]
        self.assertEqual(driver.execute_async_script(WIDTHS_SCRIPT, page, widths, r[0], r[1]), [])

    def test_inputs_are_exact_and_named_by_their_labels(self):
        driver = session(False)
        window = Window(driver, file_url(PAGE))
        self.assertEqual(window.element("Command1").accessible_name, "确 定")  # names collapse blanks
        r = roster()[0]
        window.query(r[0], r[1])  # all four boxes shown
        for name, label in (("Text1", "准考证号"), ("Text2", "身份证号"), ("Text3", "姓名"), ("Text4", "成绩")):
            e = window.element(name)
            self.assertEqual(e.accessible_name.replace(" ", "").replace("：", ""), label)
            self.assertEqual([e.get_dom_attribute(a) for a in ("autocomplete", "autocorrect", "autocapitalize",
                                                           "spellcheck", "type")],
                             ["off", "off", "none", "false", "text"], name)
        for name, caption in (("Command2", "继续查询"), ("Command3", "退 出")):
            self.assertEqual(window.element(name).accessible_name, caption)
        window.click("Command2")
        # Hostile and very long text is kept whole and compared code unit by code unit
        # (half a million: WebKit's boxes hold at most 524,288 code units).
        for text in ("\ud800" + r[0], "\u200f" + r[0], "１０７３１０５０４１９", r[0] + "\0" + "9", "1" * 500000):
            window.paste("Text1", text)
            window.paste("Text2", r[1])
            self.assertEqual(window.click("Command1"), [(WARNING, "无此考生")])
            self.assertTrue(window.holds("Text1", text))

    def test_a_damaged_roster_is_reported_and_ends_the_program(self):
        with open(PAGE, encoding="utf-8") as f:
            page = f.read()
        start = page.index('id="roster">') + len('id="roster">') + 200  # inside the first records
        damaged = served("damaged.html", page[:start] + ("B" if page[start] != "B" else "C") + page[start + 1:])
        driver = session(False)
        window = Window(driver, damaged)
        self.assertEqual(window.close_warnings(), [("Peldrun", "实时错误 '321':\n\n文件格式无效：程序文件中的名单已损坏")])
        self.assertEqual(driver.find_element(By.ID, "ended").text.replace("\n", ""), "程序已结束。重新运行")

    def test_axe_core_finds_nothing_serious_in_any_state(self):
        with open(os.environ["AXE"], encoding="utf-8") as f:
            source = f.read()
        r = roster()[0]
        found = []
        for phone in (False, True):
            driver = session(phone)
            window = Window(driver, file_url(PAGE))
            narrow = driver.execute_script("return document.documentElement.classList.contains('narrow')")
            accepted = set() if narrow else ACCEPTED_AT_DESKTOP_SIZE

            def check(state):
                if not driver.execute_script("return typeof axe == 'object'"):
                    driver.execute_script(source)
                for rule, impact, targets in driver.execute_async_script(AXE_RUN):
                    targets = [t for t in targets if (rule, t) not in accepted]
                    if impact in ("critical", "serious") and targets:
                        found.append((phone and "phone" or "desktop", state, rule, impact, targets))

            window.type("Text1", r[0])
            check("input")
            window.paste("Text1", "")
            driver.execute_script("document.getElementById('Command1').click()")
            window.wait_idle()
            check("warning")
            window.element("message-ok").click()
            window.query(r[0], r[1])
            check("result")
            window.click("Command3")
            check("ended")
        self.assertEqual(found, [])


class Timed(unittest.TextTestResult):
    """Each test's seconds after its verdict: where a run's time goes."""

    def startTest(self, test):
        self.started = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        self.stream.writeln("    %.1f s" % (time.monotonic() - self.started))


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in browsers.ENGINES:
        sys.exit(__doc__)
    ENGINE = sys.argv[1]
    print(browsers.version(ENGINE))
    classes = [DefaultPageFromDisk, ProtectedPageFromAServer, DefaultPageHeldBack, ProgramHeldBack, Page,
               DefaultPageFromDiskOnAPhone, ProtectedPageFromAServerOnAPhone]
    loader = unittest.TestLoader()
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in classes)
    result = unittest.TextTestRunner(verbosity=2, resultclass=Timed).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
