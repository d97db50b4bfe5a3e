#!/usr/bin/env python3
"""page.py TEMPLATE SCRIPT WASM ICON FORM_HTML OUTPUT: the page template, one
self-contained HTML file: the form's style and markup as FORM_HTML (the native
build's form_html) prints them from the form's layout table, ahead of
everything else in the body so that the form is drawn before the program has
arrived; the program's script (Emscripten's output) inline, its WebAssembly
and the icon in base64. The roster element and the
Content-Security-Policy stay as the template has them: the build and
varnholt-pack fill the element and write the policy, with the SHA-256 of the
inline scripts and styles (office/write/page.h); the element is data, never run."""
import base64
import re
import subprocess
import sys


def main(template, script, wasm, icon, form_html, output):
    page = open(template, encoding="utf-8").read()
    js = open(script, encoding="utf-8").read()
    if re.search(r"</script", js, re.IGNORECASE):
        sys.exit(f"{script}: error: the script holds </script and cannot be inlined")
    for name, value in (("@WASM@", base64.b64encode(open(wasm, "rb").read()).decode()),
                        ("@ICON@", base64.b64encode(open(icon, "rb").read()).decode()),
                        ("@FORM_STYLE@", subprocess.run([form_html, "style"], check=True, capture_output=True,
                                                        text=True, encoding="utf-8").stdout),
                        ("@FORM@", subprocess.run([form_html, "markup"], check=True, capture_output=True,
                                                  text=True, encoding="utf-8").stdout),
                        ("@SCRIPT@", js)):
        if page.count(name) != 1:
            sys.exit(f"{template}: error: {name} must appear once")
        page = page.replace(name, value)
    with open(output, "w", encoding="utf-8", newline="\n") as out:
        out.write(page)


if __name__ == "__main__":
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    main(*sys.argv[1:])
