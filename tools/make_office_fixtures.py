#!/usr/bin/env python3
"""Writes the fixtures that hold the reader to what LibreOffice shows, into
FOLDER (tests/data/office, committed; CI reads them and needs no LibreOffice):

  numfmt-oracle.tsv  value, format code and the text LibreOffice shows for it,
                     one triple a line: a workbook of every pair is generated
                     here (python3-openpyxl) and LibreOffice renders it with
                     its own "as shown" CSV export
  numfmt-oracle.ods  that workbook as LibreOffice saves it as .ods: the same
                     numbers under LibreOffice's own number styles
  roster.xlsx, roster.ods
                     an invented roster in two sheets (第一考场, 第二考场) as an
                     office formats it (zero-padded tickets as numbers, scores
                     with decimals and 分, an average by formula, a remark with
                     a line break), saved by LibreOffice as .xlsx and as .ods
  roster-1.csv, roster-2.csv
                     each sheet as LibreOffice shows it (the same export)

Needs LibreOffice (`tools/install-deps.sh fixtures`). Usage: make_office_fixtures.py FOLDER
"""
import csv, glob, os, shutil, subprocess, sys, tempfile

import openpyxl

# The export LibreOffice documents for CSV: comma, quote, UTF-8, from row 1,
# cells as shown (token 9), every sheet to its own file (token 12).
AS_SHOWN = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1"

NUMBERS = [0, 1, 78.5, 87, 119.5 / 3, 85.956, 2.675, 1.005, 0.125, -0.125, 10001, 1234567.891, -1234.5, 0.256,
           0.00001, 123456789012345, 99.995, 0.045, -5, 59.95, 100, 3.14159265358979, 1e15, 1e-7, -0.001]
NUMBER_CODES = ["General", "0", "0.0", "0.00", "0.000", "#,##0", "#,##0.00", '0.00"分"', '0"分"', "0.0\\分",
                "0000000000", "000000", "0%", "0.00%", "@", "0.00;-0.00", "0.00;[Red]-0.00", "0.00;(0.00)",
                '0.0;-0.0;"零"', '[>=60]"及格";"不及格"', '[>=60]0.0;[Red][<60]"不及格"0.0', "0.00E+00",
                "##0.0E+0", "#.00", "0.0#", "#,##0,", '"共"0"人"', "0.00_ ", '#,##0.00 ;(#,##0.00)',
                'General"分"', "[Blue]0.0", "0.0?", "000-0000"]
DATES = [61, 45000, 45000.75, 45366.5208333333, 36526.999999, 44927.0000115741]
DATE_CODES = ["yyyy-mm-dd", 'yyyy"年"m"月"d"日"', "yyyy/m/d", "h:mm", "h:mm:ss", "yyyy-mm-dd hh:mm:ss", "mm:ss",
              "[h]:mm:ss", "d-mmm-yy", "mmmm d, yyyy", "h:mm AM/PM", "dddd", "yy.m.d", "hh:mm:ss.00",
              'm"月"d"日"']


def soffice(convert_to, source, outdir):
    subprocess.run(["soffice", "--headless", "--norestore", "--convert-to", convert_to, "--outdir", outdir, source],
                   check=True, stdout=subprocess.DEVNULL, env=dict(os.environ, LANG="C.UTF-8"))


def oracle(folder, work):
    pairs = [(v, c) for c in NUMBER_CODES for v in NUMBERS] + [(v, c) for c in DATE_CODES for v in DATES]
    book = openpyxl.Workbook()
    sheet = book.active
    for r, (value, code) in enumerate(pairs, start=1):
        sheet.cell(r, 1, repr(float(value)))
        sheet.cell(r, 2, code)
        sheet.cell(r, 3, value).number_format = code
    source = os.path.join(work, "oracle.xlsx")
    book.save(source)
    soffice(AS_SHOWN, source, work)
    saved = os.path.join(work, "saved")
    soffice("ods", source, saved)
    shutil.copy(os.path.join(saved, "oracle.ods"), os.path.join(folder, "numfmt-oracle.ods"))
    with open(glob.glob(os.path.join(work, "oracle*.csv"))[0], encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    with open(os.path.join(folder, "numfmt-oracle.tsv"), "w", encoding="utf-8", newline="\n") as out:
        out.write("# value\tformat code\tshown by LibreOffice " + subprocess.run(
            ["soffice", "--version"], capture_output=True, text=True).stdout.split()[1] + "\n")
        for value, code, shown in rows:
            out.write(f"{value}\t{code}\t{shown}\n")


ROOMS = [("第一考场", 1), ("第二考场", 2)]


def identity(birth, sequence):
    """An invented identity number with its check character (ISO 7064 MOD 11-2)."""
    body = f"110105{birth}{sequence:03d}"
    weights = [7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2]
    return body + "10X98765432"[sum(int(d) * w for d, w in zip(body, weights)) % 11]


def roster(folder, work):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for title, room in ROOMS:
        sheet = book.create_sheet(title)
        sheet.append(["准考证号", "身份证号", "姓名", "笔试", "面试", "成绩", "备注"])
        for i in range(1, 6):
            r = i + 1
            sheet.cell(r, 1, room * 10000 + i).number_format = "0000000000"
            sheet.cell(r, 2, identity(f"19900{room}{i:02d}", room * 10 + i))
            sheet.cell(r, 3, ["赵一", "钱二", "孙三", "李四", "周五"][i - 1] + ("甲" if room == 2 else ""))
            sheet.cell(r, 4, 60 + room * 3.25 + i * 4.125).number_format = '0.00"分"'
            sheet.cell(r, 5, 70 + i * 2.675).number_format = "0.00"
            sheet.cell(r, 6, f"=AVERAGE(D{r}:E{r})").number_format = "0.0"
            sheet.cell(r, 7, "复核\n加5分" if i == 2 else ("缺考" if i == 4 else None))
    source = os.path.join(work, "roster-source.xlsx")
    book.save(source)
    saved = os.path.join(work, "saved")
    for ext in ("xlsx", "ods"):
        soffice(ext, source, saved)
        shutil.copy(os.path.join(saved, "roster-source." + ext), os.path.join(folder, "roster." + ext))
    soffice(AS_SHOWN, os.path.join(folder, "roster.ods"), work)
    for title, room in ROOMS:
        shutil.copy(os.path.join(work, f"roster-{title}.csv"), os.path.join(folder, f"roster-{room}.csv"))


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        oracle(folder, work)
        roster(folder, work)


if __name__ == "__main__":
    main()
