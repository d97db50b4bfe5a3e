#!/usr/bin/env python3
"""page.py TEMPLATE SCRIPT WASM ICON OUTPUT: the page template, one
self-contained HTML file: the program's script (Emscripten's output) inline,
its WebAssembly and the icon in base64, and a Content-Security-Policy that
allows exactly these inline scripts and styles (by their SHA-256) and no
connection at all. The roster element stays as the template has it: the
build and varnholt-pack fill it (office/write/page.h); it is data, never run."""
import base64
import hashlib
import re
import sys


def main(template, script, wasm, icon, output):
    page = open(template, encoding="utf-8").read()
    js = open(script, encoding="utf-8").read()
    if re.search(r"</script", js, re.IGNORECASE):
        sys.exit(f"{script}: error: the script holds </script and cannot be inlined")
    for name, value in (("@WASM@", base64.b64encode(open(wasm, "rb").read()).decode()),
                        ("@ICON@", base64.b64encode(open(icon, "rb").read()).decode()),
                        ("@SCRIPT@", js)):
        if page.count(name) != 1:
            sys.exit(f"{template}: error: {name} must appear once")
        page = page.replace(name, value)

    def hashes(pattern):
        return " ".join("'sha256-%s'" % base64.b64encode(hashlib.sha256(body.encode()).digest()).decode()
                        for body in re.findall(pattern, page, re.DOTALL))

    policy = ("default-src 'none'; "
              f"script-src {hashes(r'<script>(.*?)</script>')} 'wasm-unsafe-eval'; "
              f"style-src {hashes(r'<style>(.*?)</style>')}; "
              "img-src data:; base-uri 'none'; form-action 'none'")
    page = page.replace("@POLICY@", policy)
    with open(output, "w", encoding="utf-8", newline="\n") as out:
        out.write(page)


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
