#!/usr/bin/env python3
"""Writes the Excel 97-2003 workbooks (.xls) the tests read, into tests/data/,
by LibreOffice (`make fixtures-xls`; CI reads the committed files and needs no
LibreOffice). Each is written as .xlsx first (python3-xlsxwriter), then
converted by `soffice --headless --convert-to xls`:

  roster-1000.xls    the 1,000-record roster of tools/make_roster.py, every
                     cell text: packs to the same program as its text twin
  number-score.xls   a notes sheet, then the roster with its scores as numbers
                     on sheet 名单, in the General format
  formula-score.xls  the scores as text but one computed by a formula whose
                     saved result is the 0 xlsxwriter wrote (LibreOffice
                     does not calculate it when converting)
  libreoffice/roster.xls  Gnumeric's roster.xlsx (tests/make_gnumeric.py,
                     tests/data/gnumeric/) as LibreOffice saves it: its own
                     format codes (0.0\\分), the formulas' saved results, the
                     date and the merge, the second sheet's booleans (as
                     formulas, =TRUE()) and hidden row and column; reads as
                     the .xlsx twin does

LibreOffice writes the same bytes for the same .xlsx on every run.

Usage: make_xls.py [FOLDER]   (default: tests/data)
"""
import csv, os, shutil, subprocess, sys, tempfile

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "data"))


def convert(source, outdir, profile):
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + profile,
                    "--convert-to", "xls", "--outdir", outdir, source], check=True, stdout=subprocess.DEVNULL)


def workbook(path, sheets):
    book = xlsxwriter.Workbook(path)
    for title, rows in sheets:
        sheet = book.add_worksheet(title)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, str) and value.startswith("="):
                    sheet.write_formula(r, c, value)
                elif isinstance(value, str):
                    sheet.write_string(r, c, value)
                else:
                    sheet.write_number(r, c, value)
    book.close()


with tempfile.TemporaryDirectory() as work:
    tsv = os.path.join(work, "roster.tsv")
    subprocess.run([sys.executable, os.path.join(HERE, "..", "tools", "make_roster.py"), "--records", "1000", tsv],
                   check=True)
    rows = list(csv.reader(open(tsv, encoding="utf-8", newline=""), delimiter="\t"))  # Excel's quoting
    workbook(os.path.join(work, "roster-1000.xlsx"), [("成绩", rows)])
    workbook(os.path.join(work, "number-score.xlsx"),
             [("说明", [["本表为笔试成绩"]]),
              ("名单", [["准考证号", "身份证号", "姓名", "成绩", "备注"],
                        ["10731020101", "11010519491231002X", "张三", 78.5, ""],
                        ["10731020102", "511702198802188913", "李四", 87, "缺考"]])])
    workbook(os.path.join(work, "formula-score.xlsx"),
             [("名单", [["准考证号", "身份证号", "姓名", "成绩", "备注"],
                        ["10731020101", "11010519491231002X", "张三", "78.5", ""],
                        ["10731020102", "511702198802188913", "李四", '=TEXT(80+7,"0")', ""]])])
    for name in ("roster-1000", "number-score", "formula-score"):
        convert(os.path.join(work, name + ".xlsx"), work, work + "/profile")
        shutil.copy(os.path.join(work, name + ".xls"), os.path.join(folder, name + ".xls"))
        print(os.path.join(folder, name + ".xls"))
    twin = os.path.join(work, "gnumeric")
    os.makedirs(twin)
    shutil.copy(os.path.join(HERE, "data", "gnumeric", "roster.xlsx"), twin)
    convert(os.path.join(twin, "roster.xlsx"), twin, work + "/profile")
    os.makedirs(os.path.join(folder, "libreoffice"), exist_ok=True)
    shutil.copy(os.path.join(twin, "roster.xls"), os.path.join(folder, "libreoffice", "roster.xls"))
    print(os.path.join(folder, "libreoffice", "roster.xls"))
