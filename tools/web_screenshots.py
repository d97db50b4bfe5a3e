#!/usr/bin/python3
"""web_screenshots.py PAGE OUTDIR: the web page in headless Chromium, as the
desktop pictures show the window: web-input.png (both numbers typed),
web-result.png (a result with a remark) and web-warning.png (the warning for
an empty ticket number) at a desktop viewport, and web-phone-*.png the same
on a phone (390 x 844 CSS pixels, drawn at twice that). Types and clicks
through Selenium, as a user would."""
import os
import sys

PAGE, OUT = sys.argv[1:3]
os.environ.update(VARNHOLT_PAGE=PAGE, WORK=OUT)
os.environ.setdefault("ROSTER_PATH", os.path.join(os.path.dirname(__file__), "..", "roster", "roster.tsv"))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
import page_test  # noqa: E402

# The first candidate with a remark of points added, as on the desktop pictures.
ticket, identity = next(r for r in page_test.roster() if "加5分" in r[4])[:2]

for name, phone in (("web", False), ("web-phone", True)):
    driver = page_test.browser(phone, pixel_ratio=2)
    try:
        if not phone:  # a viewport a little larger than the window
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": 640, "height": 340, "deviceScaleFactor": 1, "mobile": False})
        window = page_test.Window(driver, "file://" + os.path.abspath(PAGE))
        window.type("Text1", ticket)
        window.type("Text2", identity)
        driver.save_screenshot(os.path.join(OUT, name + "-input.png"))
        window.click("Command1")
        driver.save_screenshot(os.path.join(OUT, name + "-result.png"))
        window.click("Command2")
        window.click("Command1", screenshot=os.path.join(OUT, name + "-warning.png"))
    finally:
        driver.quit()
