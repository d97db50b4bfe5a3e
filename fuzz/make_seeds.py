#!/usr/bin/env python3
"""Writes the query fuzzer's seed corpus (fuzz/corpus/) from the roster: real
ticket and identity pairs, and the hostile texts the query must survive; and
the roster fuzzer's (fuzz/corpus-roster/): a small roster in each format."""
import io
import pathlib
import subprocess
import sys
import tempfile
import zipfile

root = pathlib.Path(__file__).resolve().parent
rows = [line.split("\t") for line in
        (root.parent / "roster" / "roster.tsv").read_text(encoding="utf-8").splitlines()[1:]]


def seed(flags, ticket, identity):
    data = bytes([flags]) + ticket.encode("utf-16-le", "surrogatepass") + b"\xff\xff" \
        + identity.encode("utf-16-le", "surrogatepass")
    return data


seeds = {
    "empty": seed(0, "", ""),
    "ticket-only": seed(0, rows[0][0], ""),
    "identity-only": seed(0, "", rows[0][1]),
    "spaces": seed(0, "   ", "  "),
    "tab": seed(0, "\t" + rows[1][0], rows[1][1]),
    "fullwidth": seed(0, "".join(chr(ord(c) + 0xFEE0) for c in rows[2][0]), rows[2][1]),
    "rtl-mark": seed(0, "\u200f" + rows[3][0], rows[3][1]),
    "nul": seed(0, rows[4][0] + "\0", rows[4][1]),
    "lone-surrogate": seed(0, rows[5][0], rows[5][1] + "\ud800"),
    "long": seed(0x0E, rows[6][0], rows[6][1]),
    "swapped": seed(1, rows[7][0], rows[8][1]),
}
for k in (0, 99, 200, len(rows) - 1):
    seeds[f"row-{k + 1}"] = seed(1, rows[k][0], rows[k][1])
upper_x = next(r for r in rows if r[1].endswith("X"))
seeds["lower-x"] = seed(0, upper_x[0], upper_x[1][:-1] + "x")
seeds["upper-x"] = seed(1, upper_x[0], upper_x[1])
remark = next(r for r in rows if r[4])
seeds["remark"] = seed(1, remark[0], remark[1])

out = root / "corpus"
out.mkdir(exist_ok=True)
for name, data in seeds.items():
    (out / name).write_bytes(data)
print(f"{len(seeds)} seeds in {out}", file=sys.stderr)

# Roster seeds: one byte (the encoding to read as: 0 detect, 3 GB18030), then the file.
roster_seeds = {
    "office-layout": b"\0" + "2026年笔试成绩,,,,,,\r\n 备注 ,姓名,身份证号码,考场,准考证,成绩,\r\n"
                              "缺考,张三,11010519491231002x,3,=\"１０７３１０２０１０１\",0,\r\n".encode(),
    "quoted": b"\0" + "zhun,shen,xing,chengji,beizhu\r\n10731020101,11010519491231002X,"
                      "张三,\"1,2\",\"a\"\"b\nc\"\r\n".encode(),
}
with tempfile.TemporaryDirectory() as tmp:
    made = pathlib.Path(tmp) / "roster"
    for fmt, flag in (("tsv", 0), ("unicode-text", 0), ("csv-utf8", 0), ("csv-gb18030", 0), ("csv-gb18030", 3),
                      ("xlsx", 0), ("xlsx-inline", 0)):
        subprocess.run([sys.executable, str(root.parent / "tools" / "make_roster.py"),
                        "--records", "6", "--format", fmt, str(made)], check=True)
        data = made.read_bytes()
        if fmt.startswith("xlsx"):  # the parts the reader reads, stored: mutations reach the XML
            stored = io.BytesIO()
            with zipfile.ZipFile(made) as book, zipfile.ZipFile(stored, "w", zipfile.ZIP_STORED) as out:
                for item in book.infolist():
                    if item.filename.startswith(("xl/workbook", "xl/_rels", "xl/sharedStrings", "xl/worksheets")):
                        out.writestr(item.filename, book.read(item))
            data = stored.getvalue()
        roster_seeds[f"{fmt}-{flag}"] = bytes([flag]) + data
for name in ("number-score",):  # .xls written by LibreOffice (tests/make_xls.py)
    roster_seeds[f"xls-{name}"] = b"\0" + (root.parent / "tests" / "data" / f"{name}.xls").read_bytes()
out = root / "corpus-roster"
out.mkdir(exist_ok=True)
for name, data in roster_seeds.items():
    (out / name).write_bytes(data)
print(f"{len(roster_seeds)} seeds in {out}", file=sys.stderr)
