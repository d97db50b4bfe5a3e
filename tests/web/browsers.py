"""The three browser engines the page is tested in, each behind Selenium's
WebDriver interface, so that one set of scenarios drives them all:
  chromium  Debian's Chromium, headless, through chromedriver;
  webkit    WebKitGTK's MiniBrowser in automation mode through WebKitWebDriver,
            on a private Xvfb display (it has no headless mode);
  firefox   Firefox ESR, headless, through its own remote protocol,
            Marionette (Debian has no geckodriver): a small client below
            translates Selenium's commands.
start(engine, phone) gives a driver at a desktop viewport (1280 x 800), or
at a phone's: Chromium emulates one (390 x 844, touch); WebKit's window is
that small; Firefox's window cannot be, so there it is as narrow as it goes
with a coarse (touch) main pointer."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.remote.command import Command
from selenium.webdriver.remote.remote_connection import RemoteConnection

ENGINES = ("chromium", "webkit", "firefox")
DESKTOP = (1280, 800)
PHONE = (390, 844)


def start(engine, phone=False, pixel_ratio=3.0, page_load="normal"):
    """A browser; page_load "none" makes get() return as soon as the page
    starts to arrive, for a test that acts on a page still loading."""
    driver = {"chromium": chromium, "webkit": webkit, "firefox": firefox}[engine](phone, pixel_ratio, page_load)
    driver.engine = engine
    driver.set_script_timeout(600)
    return driver


def viewport(driver, width, height):
    """The viewport's size in CSS pixels, as near as the engine allows: in
    Chromium an emulated device's; elsewhere the window's (with its frame)."""
    if driver.engine == "chromium":
        mobile = driver.execute_script("return matchMedia('(pointer: coarse)').matches")
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 0, "mobile": mobile})
    else:
        driver.set_window_size(width, height)


def version(engine):
    if engine == "webkit":
        return "WebKitGTK " + subprocess.run(["dpkg-query", "-W", "-f=${Version}", "webkit2gtk-driver"],
                                             capture_output=True, text=True).stdout
    binary = {"chromium": "/usr/bin/chromium", "firefox": "/usr/bin/firefox-esr"}[engine]
    return subprocess.run([binary, "--version"], capture_output=True, text=True).stdout.strip()


def chromium(phone, pixel_ratio, page_load):
    options = webdriver.ChromeOptions()
    options.page_load_strategy = page_load
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=%d,%d" % DESKTOP, "--lang=zh-CN"):
        options.add_argument(argument)
    if phone:
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": {
            "width": PHONE[0], "height": PHONE[1], "pixelRatio": pixel_ratio, "touch": True, "mobile": True}})
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Xvfb:
    """A private X display for the process, started once, gone at exit."""
    display = None

    @classmethod
    def ensure(cls):
        if cls.display is None:
            number = 90 + os.getpid() % 500
            while os.path.exists("/tmp/.X11-unix/X%d" % number) or os.path.exists("/tmp/.X%d-lock" % number):
                number += 1
            cls.process = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1920x1080x24", "-nolisten",
                                            "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists("/tmp/.X11-unix/X%d" % number):
                    break
                time.sleep(0.05)
            cls.display = ":%d" % number
            import atexit
            atexit.register(cls.process.terminate)
        return cls.display


def webkit(phone, pixel_ratio, page_load):
    os.environ["DISPLAY"] = Xvfb.ensure()
    options = webdriver.WebKitGTKOptions()
    options.set_capability("pageLoadStrategy", page_load)
    options.binary_location = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
    options.add_argument("--automation")
    driver = webdriver.WebKitGTK(options=options)
    driver.set_window_size(*(PHONE if phone else DESKTOP))
    return driver


# ---- Firefox through Marionette -----------------------------------------------

# Selenium's commands and the Marionette commands that do the same.
MARIONETTE = {
    Command.NEW_SESSION: "WebDriver:NewSession",
    Command.GET: "WebDriver:Navigate",
    Command.GO_BACK: "WebDriver:Back",
    Command.GO_FORWARD: "WebDriver:Forward",
    Command.REFRESH: "WebDriver:Refresh",
    Command.GET_CURRENT_URL: "WebDriver:GetCurrentURL",
    Command.GET_TITLE: "WebDriver:GetTitle",
    Command.SET_TIMEOUTS: "WebDriver:SetTimeouts",
    Command.W3C_EXECUTE_SCRIPT: "WebDriver:ExecuteScript",
    Command.W3C_EXECUTE_SCRIPT_ASYNC: "WebDriver:ExecuteAsyncScript",
    Command.FIND_ELEMENT: "WebDriver:FindElement",
    Command.FIND_ELEMENTS: "WebDriver:FindElements",
    Command.FIND_CHILD_ELEMENT: "WebDriver:FindElement",
    Command.FIND_CHILD_ELEMENTS: "WebDriver:FindElements",
    Command.W3C_GET_ACTIVE_ELEMENT: "WebDriver:GetActiveElement",
    Command.CLICK_ELEMENT: "WebDriver:ElementClick",
    Command.SEND_KEYS_TO_ELEMENT: "WebDriver:ElementSendKeys",
    Command.CLEAR_ELEMENT: "WebDriver:ElementClear",
    Command.GET_ELEMENT_PROPERTY: "WebDriver:GetElementProperty",
    Command.GET_ELEMENT_ATTRIBUTE: "WebDriver:GetElementAttribute",
    Command.GET_ELEMENT_TEXT: "WebDriver:GetElementText",
    Command.GET_ELEMENT_TAG_NAME: "WebDriver:GetElementTagName",
    Command.GET_ELEMENT_RECT: "WebDriver:GetElementRect",
    Command.IS_ELEMENT_ENABLED: "WebDriver:IsElementEnabled",
    Command.GET_ELEMENT_ARIA_ROLE: "WebDriver:GetComputedRole",
    Command.GET_ELEMENT_ARIA_LABEL: "WebDriver:GetComputedLabel",
    Command.W3C_ACTIONS: "WebDriver:PerformActions",
    Command.W3C_CLEAR_ACTIONS: "WebDriver:ReleaseActions",
    Command.SCREENSHOT: "WebDriver:TakeScreenshot",
    Command.SET_WINDOW_RECT: "WebDriver:SetWindowRect",
    Command.GET_WINDOW_RECT: "WebDriver:GetWindowRect",
    Command.QUIT: "WebDriver:DeleteSession",
}


class Marionette(RemoteConnection):
    """Selenium's command executor, speaking Marionette over its socket:
    messages are LENGTH:JSON, a command [0, id, name, parameters], its answer
    [1, id, error, result]."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port))
        self.buffer = b""
        self.last = 0
        self.receive()  # the hello

    def receive(self):
        while b":" not in self.buffer:
            self.buffer += self.socket.recv(65536)
        length, _, rest = self.buffer.partition(b":")
        while len(rest) < int(length):
            rest += self.socket.recv(max(65536, int(length) - len(rest)))
        message, self.buffer = rest[:int(length)], rest[int(length):]
        return json.loads(message)

    def execute(self, command, params):
        if command not in MARIONETTE:
            raise NotImplementedError("no Marionette command for Selenium's " + command)
        params = {k: v for k, v in (params or {}).items() if k != "sessionId"}
        if command in (Command.FIND_CHILD_ELEMENT, Command.FIND_CHILD_ELEMENTS):
            params["element"] = params.pop("id")
        if command == Command.NEW_SESSION:
            params = {"capabilities": params["capabilities"]}
        self.last += 1
        data = json.dumps([0, self.last, MARIONETTE[command], params]).encode()
        self.socket.sendall(b"%d:%s" % (len(data), data))
        while True:
            _, number, error, result = self.receive()
            if number == self.last:
                break
        if error:
            return {"status": error["error"], "message": error.get("message", ""), "value": error}
        if isinstance(result, dict) and list(result) == ["value"]:
            result = result["value"]
        return {"status": 0, "value": result}

    def close(self):
        self.socket.close()


class Firefox(webdriver.Remote):
    def __init__(self, phone, page_load):
        self.profile = tempfile.mkdtemp(prefix="varnholt-firefox-")
        port = free_port()
        prefs = {
            "marionette.port": port,
            "intl.accept_languages": "zh-CN",
            "browser.shell.checkDefaultBrowser": False,
            "browser.startup.homepage_override.mstone": "ignore",
            "browser.aboutwelcome.enabled": False,
            "datareporting.policy.dataSubmissionEnabled": False,
            "toolkit.telemetry.reportingpolicy.firstRun": False,
            "app.update.disabledForTesting": True,
            "browser.sessionstore.resume_from_crash": False,
            "network.captive-portal-service.enabled": False,
            "network.connectivity-service.enabled": False,
            "extensions.getAddons.cache.enabled": False,
            "browser.safebrowsing.update.enabled": False,
            # A touch screen's main pointer: coarse, no hover.
            **({"ui.primaryPointerCapabilities": 1, "ui.allPointerCapabilities": 1} if phone else {}),
        }
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in prefs.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        size = PHONE if phone else DESKTOP
        self.process = subprocess.Popen(
            ["/usr/bin/firefox-esr", "--headless", "--marionette", "--no-remote", "--profile", self.profile,
             "--width", str(size[0]), "--height", str(size[1])],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, MOZ_CRASHREPORTER_DISABLE="1"))
        for _ in range(600):
            try:
                connection = Marionette(port)
                break
            except OSError:
                time.sleep(0.1)
        else:
            raise RuntimeError("Firefox did not open its Marionette port")
        options = webdriver.FirefoxOptions()
        options.set_capability("pageLoadStrategy", page_load)
        super().__init__(command_executor=connection, options=options)
        self.set_window_size(*size)

    def quit(self):
        try:
            super().quit()
        finally:
            self.process.terminate()
            self.process.wait()
            shutil.rmtree(self.profile, ignore_errors=True)


def firefox(phone, pixel_ratio, page_load):
    return Firefox(phone, page_load)
