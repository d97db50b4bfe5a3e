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
