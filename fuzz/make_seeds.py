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
# A workbook with number formats (python3-openpyxl: padded tickets, scores in
# 0.00"分", a date, a formula without a saved result, an ISO date cell in the
# system's long date, a remark merged over two rows), its parts stored; and a
# small .ods, stored, with number styles, repeated and covered cells, blanks
# and a line break in a cell.
import datetime
import openpyxl

book = openpyxl.Workbook(iso_dates=True)
sheet = book.active
sheet.append(["准考证号", "身份证号", "姓名", "成绩", "备注"])
for r, (score, code) in enumerate([(87.5, '0.00"分"'), (45000, "yyyy-mm-dd"), ("=1+1", "0.0")], start=2):
    sheet.append([10000 + r, rows[r][1], rows[r][2], score, None])
    sheet.cell(r, 1).number_format = "0000000000"
    sheet.cell(r, 4).number_format = code
sheet.cell(2, 5).value = datetime.date(2025, 6, 2)
sheet.cell(2, 5).number_format = "[$-F800]dddd, mmmm dd, yyyy"
sheet.cell(3, 5).value = "缺考"
sheet.merge_cells("E3:E4")
made = io.BytesIO()
book.save(made)
stored = io.BytesIO()
with zipfile.ZipFile(made) as book, zipfile.ZipFile(stored, "w", zipfile.ZIP_STORED) as out:
    for item in book.infolist():
        if item.filename.startswith(("xl/workbook", "xl/_rels", "xl/worksheets", "xl/styles")):
            out.writestr(zipfile.ZipInfo(item.filename, (2026, 1, 1, 0, 0, 0)), book.read(item))
roster_seeds["xlsx-formats-0"] = b"\0" + stored.getvalue()
CONTENT = """<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"><office:automatic-styles>
<number:number-style style:name="N1"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1"/><number:text>分</number:text></number:number-style>
<number:number-style style:name="N2"><number:number number:decimal-places="0" number:min-integer-digits="10"/></number:number-style>
<number:date-style style:name="N3"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/></number:date-style>
<style:style style:name="ce1" style:family="table-cell" style:data-style-name="N1"/>
<style:style style:name="ce2" style:family="table-cell" style:data-style-name="N2"/>
<style:style style:name="ce3" style:family="table-cell" style:data-style-name="N3"/>
</office:automatic-styles><office:body><office:spreadsheet><table:table table:name="说明"><table:table-row>
<table:table-cell office:value-type="string"><text:p>本表</text:p></table:table-cell></table:table-row></table:table>
<table:table table:name="第一考场"><table:table-column table:number-columns-repeated="6"/>
<table:table-row><table:table-cell office:value-type="string"><text:p>准考<text:line-break/>证号</text:p></table:table-cell>
<table:table-cell office:value-type="string"><text:p>身份证号</text:p></table:table-cell>
<table:table-cell office:value-type="string"><text:p>姓<text:s/>名</text:p></table:table-cell>
<table:table-cell office:value-type="string"><text:p>成绩</text:p></table:table-cell>
<table:table-cell office:value-type="string"><text:p>备注</text:p></table:table-cell></table:table-row>
<table:table-row table:number-rows-repeated="2"><table:table-cell table:number-columns-repeated="5"/></table:table-row>
<table:table-row><table:table-cell table:style-name="ce2" office:value-type="float" office:value="10001"><text:p>0000010001</text:p></table:table-cell>
<table:table-cell office:value-type="string"><text:p>11010519491231002X</text:p></table:table-cell>
<table:table-cell table:number-columns-spanned="2" office:value-type="string"><text:p>张三</text:p></table:table-cell><table:covered-table-cell/>
<table:table-cell table:style-name="ce1" office:value-type="float" office:value="87.5"><text:p>87.50分</text:p></table:table-cell>
<table:table-cell table:style-name="ce3" office:value-type="date" office:date-value="2026-06-01"><text:p>2026-06</text:p></table:table-cell>
</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>"""
stored = io.BytesIO()
with zipfile.ZipFile(stored, "w", zipfile.ZIP_STORED) as out:
    out.writestr(zipfile.ZipInfo("mimetype", (2026, 1, 1, 0, 0, 0)), "application/vnd.oasis.opendocument.spreadsheet")
    out.writestr(zipfile.ZipInfo("content.xml", (2026, 1, 1, 0, 0, 0)), CONTENT)
roster_seeds["ods-0"] = b"\0" + stored.getvalue()
# .xls written by LibreOffice (tests/make_xls.py) and Gnumeric (tests/make_gnumeric.py):
# number formats, FORMULA records with number, STRING and boolean results,
# BOOLERR, hidden rows and columns (ROW, COLINFO).
for name in ("number-score", "formula-score", "gnumeric/roster"):
    roster_seeds["xls-" + name.replace("/", "-")] = b"\0" + (root.parent / "tests" / "data" / f"{name}.xls").read_bytes()
# Excel 2003 XML and a web system's HTML export, both named .xls (tests/data).
for name, seed in (("roster-2003", "spreadsheetml-0"), ("roster-web", "html-0")):
    roster_seeds[seed] = b"\0" + (root.parent / "tests" / "data" / f"{name}.xls").read_bytes()
out = root / "corpus-roster"
out.mkdir(exist_ok=True)
for name, data in roster_seeds.items():
    (out / name).write_bytes(data)
print(f"{len(roster_seeds)} seeds in {out}", file=sys.stderr)
