#!/usr/bin/env python3
"""Writes the workbooks the reader's tests read, into FOLDER:

  roster.tsv, roster.xlsx, roster-inline.xlsx   one invented roster as text and
      as an office's workbooks (tools/make_roster.py: shared strings with
      python3-xlsxwriter, inline strings with python3-openpyxl)
  identity-number.xlsx   an identity number stored as a number (row 3)
  two-sheets.xlsx        notes on the first sheet, the roster on "名单", a
                         remark with a CR (_x000D_ in the workbook)
  bomb.xlsx              a worksheet that unpacks to 100 MiB
  rooms.xlsx             one sheet for each exam room behind an instructions
                         sheet: 第一考场 with a hidden row and footers, 第二考场
                         hidden, its header over two rows with line breaks and
                         blanks inside names, a hidden column, 第三考场 with
                         three scores
  shown.xlsx             tickets and scores in number formats (python3-openpyxl)
  unshown.xlsx           the same with scores that cannot be shown: a formula
                         never calculated, #N/A, a format the reader does not know
  office.xlsx            ISO 8601 date cells, the system's long date and time,
                         a remark merged over two rows, a total row, and a very
                         hidden sheet with the header (python3-openpyxl)
  table.xlsx             a table whose totals row reads as no total
  merges.xlsx            merges that join the header with a record and span a
                         score and a remark
  merged.ods             a remark merged over two rows, written by hand

Usage: make_workbooks.py FOLDER
"""
import os, subprocess, sys, zipfile

import xlsxwriter

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
make_roster = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "make_roster.py")
for fmt, name in (("tsv", "roster.tsv"), ("xlsx", "roster.xlsx"), ("xlsx-inline", "roster-inline.xlsx")):
    subprocess.run([sys.executable, make_roster, "--records", "200", "--format", fmt, os.path.join(folder, name)],
                   check=True)

HEADER = ["zhun", "shen", "xing", "chengji", "beizhu"]
RECORDS = [["10731020101", "11010519491231002X", "张三", "68.9", "复核\r\n加5分"],  # the CR written as _x000D_
           ["10731020102", 511702198802188913, "李四", "0", "缺考"],
           [10731020103, "510104199001011003", "王五", 59, ""]]


def write(path, sheets):
    book = xlsxwriter.Workbook(path)
    for title, rows in sheets:
        sheet = book.add_worksheet(title)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                sheet.write(r, c, value)
    book.close()


write(os.path.join(folder, "identity-number.xlsx"), [("Sheet1", [HEADER] + RECORDS)])
write(os.path.join(folder, "two-sheets.xlsx"),
      [("说明", [["本表为笔试成绩，请勿外传"]]), ("名单", [HEADER] + RECORDS[:1] + RECORDS[2:])])

import openpyxl

SHOWN = [(10001, 78.5, "0.00"), (10002, 87, '0.00"分"'), (10003, 85.956, "0.0")]
UNSHOWN = [(10004, "=AVERAGE(1,2)", "0.0"), (10005, "#N/A", "0.0"), (10006, 60, "[DBNum1]0")]
for name, rows in (("shown.xlsx", SHOWN), ("unshown.xlsx", UNSHOWN)):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.append(HEADER)
    for row, (ticket, score, code) in enumerate(rows, start=2):
        sheet.append([ticket, RECORDS[0][1][:14] + f"{ticket % 1000:03d}X", "张三", score, ""])
        sheet.cell(row, 1).number_format = "0000000000"
        sheet.cell(row, 4).number_format = code
    book.save(os.path.join(folder, name))

with zipfile.ZipFile(os.path.join(folder, "bomb.xlsx"), "w", zipfile.ZIP_DEFLATED) as bomb:
    with zipfile.ZipFile(os.path.join(folder, "two-sheets.xlsx")) as model:
        for item in model.infolist():
            data = model.read(item)
            if item.filename == "xl/worksheets/sheet1.xml":
                data = data.replace(b"<sheetData>", b"<sheetData>" + b" " * (100 << 20))
            bomb.writestr(item.filename, data)

# One sheet for each exam room: the header in another shape on each.
book = xlsxwriter.Workbook(os.path.join(folder, "rooms.xlsx"))
book.add_worksheet("说明").write(0, 0, "各考场名单见后表")
first = book.add_worksheet("第一考场")
for r, row in enumerate([["准考\n证号", "身 份 证 号", "姓\u3000名", "成绩", "备注"],
                         ["10731020201", "11010519491231002X", "赵一", "71", ""],
                         ["10731020202", "511702198802188913", "钱二", "0", "缺考\n补考"],
                         [], ["制表人：王老师"], ["合计", "2人"]]):
    first.write_row(r, 0, row)
first.set_row(2, None, None, {"hidden": True})
second = book.add_worksheet("第二考场")
second.merge_range(0, 0, 1, 0, "准考证号")
second.merge_range(0, 1, 1, 1, "身份证号")
second.merge_range(0, 2, 1, 2, "姓名")
second.merge_range(0, 3, 0, 4, "成绩")
second.write_row(1, 3, ["笔试", "总成绩"])
second.merge_range(0, 5, 1, 5, "备注")
second.write_row(2, 0, ["10731020301", "510104199001011003", "孙三", "80", "155", ""])
second.set_column(4, 4, None, None, {"hidden": True})
second.hide()
third = book.add_worksheet("第三考场")
third.write_row(0, 0, ["准考证号", "身份证号", "姓名", "笔试成绩", "面试成绩", "总成绩", "备注"])
third.write_row(1, 0, ["10731020401", "510104199001011011", "李四", "60", "70", "130", ""])
book.close()

# What Chinese Excel and newer writers save: dates as ISO 8601 cells, the
# system's long date and time, a remark merged over two absentees, a total
# row, and last year's candidates on a very hidden sheet.
import datetime
book = openpyxl.Workbook(iso_dates=True)
sheet = book.active
sheet.title = "成绩"
sheet.append(HEADER)
for ticket, name, score, remark, code in [
        (501, "赵一", 71, datetime.date(2025, 6, 2), 'yyyy"年"m"月"d"日"'),
        (502, "钱二", 65, datetime.datetime(2025, 6, 1), "[$-F800]dddd, mmmm dd, yyyy"),
        (503, "孙三", 0, "缺考", None), (504, "李四", 0, None, None),
        (505, "周五", 80, datetime.time(9, 30), "[$-x-systime]h:mm:ss AM/PM")]:
    sheet.append([f"10731020{ticket}", RECORDS[0][1][:14] + f"{ticket}X", name, score, remark])
    sheet.cell(sheet.max_row, 4).number_format = "0.0"
    if code:
        sheet.cell(sheet.max_row, 5).number_format = code
sheet.merge_cells("E4:E5")
sheet.append(["汇总", None, "5人", 216])
old = book.create_sheet("2024备份")
old.append(HEADER)
old.append(["10731019501", RECORDS[0][1], "吴六", "77", ""])
old.sheet_state = "veryHidden"
book.save(os.path.join(folder, "office.xlsx"))

# A table (Insert > Table) with a totals row of four cells.
from openpyxl.worksheet.table import Table
book = openpyxl.Workbook()
sheet = book.active
sheet.append(HEADER)
sheet.append(["10731020701", RECORDS[0][1], "冯八", "75", ""])
sheet.append(["10731020702", "511702198802188913", "陈九", "75", ""])
sheet.append(["人数", None, "2", 150, "平均75"])
sheet.add_table(Table(displayName="成绩表", ref="A1:E4", totalsRowCount=1))
book.save(os.path.join(folder, "table.xlsx"))

# Merges the reader refuses: the header's 备注 over the first record's, and
# one cell over a record's score and remark.
book = xlsxwriter.Workbook(os.path.join(folder, "merges.xlsx"))
sheet = book.add_worksheet("成绩")
sheet.write_row(0, 0, HEADER[:4])
sheet.merge_range(0, 4, 1, 4, "beizhu")
sheet.write_row(1, 0, RECORDS[0][:4])
sheet.write_row(2, 0, ["10731020102", "511702198802188913", "李四"])
sheet.merge_range(2, 3, 2, 4, "0")
book.close()

# The same merge over two absentees in an OpenDocument spreadsheet.
CELLS = "".join(f"<table:table-cell office:value-type=\"string\"><text:p>{v}</text:p></table:table-cell>"
                for v in HEADER)
ROWS = ["<table:table-row>" + CELLS + "</table:table-row>"]
for k, (ticket, identity) in enumerate([("10731020601", RECORDS[0][1]), ("10731020602", "511702198802188913")]):
    cells = "".join(f"<table:table-cell office:value-type=\"string\"><text:p>{v}</text:p></table:table-cell>"
                    for v in (ticket, identity, "郑七", "0"))
    cells += ('<table:table-cell table:number-rows-spanned="2" office:value-type="string"><text:p>缺考</text:p>'
              "</table:table-cell>" if k == 0 else "<table:covered-table-cell/>")
    ROWS.append("<table:table-row>" + cells + "</table:table-row>")
with zipfile.ZipFile(os.path.join(folder, "merged.ods"), "w") as ods:
    ods.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
    ods.writestr("content.xml", '<?xml version="1.0" encoding="UTF-8"?><office:document-content '
                 'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                 'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
                 'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
                 '<office:body><office:spreadsheet><table:table table:name="成绩">' + "".join(ROWS) +
                 "</table:table></office:spreadsheet></office:body></office:document-content>")
