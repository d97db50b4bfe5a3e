#!/usr/bin/env python3
"""Writes the roster Gnumeric saves as .xls, .xlsx and .ods into
tests/data/gnumeric/ (Debian's gnumeric: ssconvert; the tests read the
committed files). Gnumeric is a writer independent of Excel and LibreOffice:
the same sheet in each of its formats must read to the same records.

  roster.xls, roster.xlsx, roster.ods   tickets padded by a number format,
      scores shown by 0.00 and 0.0"分", one computed by AVERAGE and one by
      TEXT (a string result), a remark that is a date shown as 2025年6月2日,
      a remark merged over the last two records; every formula calculated by
      ssconvert --recalc; a second sheet, 核对, with no header: a boolean
      typed (TRUE) and one computed (=1>2), a hidden row and a hidden column

Usage: make_gnumeric.py [FOLDER]   (default: tests/data/gnumeric)
"""
import datetime, os, subprocess, sys, tempfile

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "data", "gnumeric"))
os.makedirs(folder, exist_ok=True)

with tempfile.TemporaryDirectory() as work:
    source = os.path.join(work, "source.xlsx")
    book = xlsxwriter.Workbook(source)
    sheet = book.add_worksheet("成绩")
    sheet.write_row(0, 0, ["准考证号", "身份证号", "姓名", "成绩", "备注"])
    ticket = book.add_format({"num_format": "0000000000"})
    two = book.add_format({"num_format": "0.00"})
    fen = book.add_format({"num_format": '0.0"分"'})
    date = book.add_format({"num_format": 'yyyy"年"m"月"d"日"'})
    rows = [(10001, "11010519491231002X", "张三", 78.5, two, ""),
            (10002, "511702198802188913", "李四", 87, fen, ""),
            (10003, "510104199001011003", "王五", "=AVERAGE(80,91)", two, datetime.date(2025, 6, 2)),
            (10004, "510104199001011011", "赵六", '=TEXT(80+7,"0")', None, "缺考"),
            (10005, "510104199001011020", "钱七", 0, None, None)]
    for r, (number, identity, name, score, shown, remark) in enumerate(rows, start=1):
        sheet.write_number(r, 0, number, ticket)
        sheet.write_string(r, 1, identity)
        sheet.write_string(r, 2, name)
        if isinstance(score, str):
            sheet.write_formula(r, 3, score, shown)
        else:
            sheet.write_number(r, 3, score, shown)
        if isinstance(remark, datetime.date):
            sheet.write_datetime(r, 4, remark, date)
        elif remark is not None:
            sheet.write_string(r, 4, remark)
    sheet.merge_range(4, 4, 5, 4, "缺考")
    checks = book.add_worksheet("核对")
    checks.write_row(0, 0, ["已核对", True])
    checks.write_formula(0, 2, "=1>2")
    checks.write_string(0, 3, "隐藏列")
    checks.write_string(1, 0, "隐藏行")
    checks.write_string(2, 0, "末行")
    checks.set_row(1, None, None, {"hidden": True})
    checks.set_column(3, 3, None, None, {"hidden": True})
    book.close()
    for exporter, name in (("Gnumeric_Excel:excel_biff8", "roster.xls"), ("Gnumeric_Excel:xlsx2", "roster.xlsx"),
                           ("Gnumeric_OpenCalc:openoffice", "roster.ods")):
        subprocess.run(["ssconvert", "--recalc", "-T", exporter, source, os.path.join(folder, name)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(os.path.join(folder, name))
