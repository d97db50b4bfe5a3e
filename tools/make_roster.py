#!/usr/bin/env python3
"""Writes the synthetic 339-candidate roster (roster/roster.tsv), or an
invented roster of another size in one of the formats offices save.

Every person in it is invented. The generator draws from its own seeded
xorshift generator, so the output is the same byte for byte on every
machine and every Python 3 version. The counts and rules the roster keeps
are checked by the data-model test over the roster compiled into the program.

Usage: make_roster.py [--records N] [--format FORMAT] OUTPUT

  --records N   candidates (default 339: the committed roster). Another
                number gives unique 11-digit tickets, unique valid identity
                numbers, and a few remarks holding a comma or quotes.
  --format F    tsv           UTF-8, tabs, LF, our column names (default)
                unicode-text  Excel's "Unicode text": UTF-16LE with BOM, tabs, CRLF
                csv-utf8      Excel's "CSV UTF-8": UTF-8 with BOM, commas, CRLF
                csv-gb18030   Excel's "CSV" on Chinese Windows: GB18030, commas, CRLF
                xlsx          a workbook as an office keeps it (python3-xlsxwriter:
                              shared strings): a title row, the header below it
                              in another order with variant names and blanks,
                              an extra column, tickets stored as numbers, names
                              in rich text, remarks as formula results
                xlsx-inline   the same layout written by python3-openpyxl
                              (inline strings), with some tickets and identity
                              numbers in full-width digits and a lower-case x
                ods           the xlsx layout as an OpenDocument spreadsheet
              The Excel formats carry the Chinese column names and quote a
              field as Excel does. Every format reads to the same records.
"""
import argparse
import datetime

ROWS = 339
SEED = 0x5EED_2009_0339


class Rng:
    """xorshift64*: small, portable and fully determined by the seed."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        x = self.state
        x ^= x >> 12
        x ^= (x << 25) & 0xFFFFFFFFFFFFFFFF
        x ^= x >> 27
        self.state = x
        return (x * 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF

    def below(self, n):
        return (self.next() >> 11) % n

    def between(self, lo, hi):
        return lo + self.below(hi - lo + 1)

    def choice(self, seq):
        return seq[self.below(len(seq))]

    def shuffle(self, items):
        for i in range(len(items) - 1, 0, -1):
            j = self.below(i + 1)
            items[i], items[j] = items[j], items[i]


rng = Rng(SEED)

# --- Ticket numbers: shared code, group code, room, seat -------------------

SHARED_CODE = "10731"
# Group codes (positions offered) and their sizes, 9 to 86 rows, 339 in all.
GROUPS = {
    "02": 86, "03": 9, "05": 12, "06": 25, "08": 40, "09": 18, "11": 30,
    "12": 22, "14": 15, "15": 10, "17": 27, "18": 14, "21": 19, "23": 12,
}
# Rows seated in each of the 12 rooms, in seating order (groups by code).
ROOM_SIZES = [30, 29, 27, 28, 30, 26, 28, 29, 30, 28, 27, 27]


def seat_groups():
    """Seats the groups room by room in code order; returns code -> [(room, seat)]."""
    assert sum(GROUPS.values()) == ROWS and sum(ROOM_SIZES) == ROWS
    places = []
    for room, size in enumerate(ROOM_SIZES, start=1):
        seats = list(range(1, 31))
        rng.shuffle(seats)
        places += [(room, seat) for seat in sorted(seats[:size])]
    seated, start = {}, 0
    for code in sorted(GROUPS):
        seated[code] = places[start:start + GROUPS[code]]
        start += GROUPS[code]
    return seated


# --- Identity numbers -----------------------------------------------------

REGIONS = [  # six-digit region codes: province, prefecture, county
    "510104", "510107", "510122", "510411", "510502", "510703", "510802",
    "510902", "511011", "511102", "511302", "511502", "511602", "511702",
    "511802", "511902", "513022", "513101", "513221", "513401",
]
WEIGHTS = [7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2]
CHECK = "10X98765432"


def check_char(first17):
    return CHECK[sum(int(d) * w for d, w in zip(first17, WEIGHTS)) % 11]


def random_first17():
    """Region, a real birth date (aged 20 to 35 on the examination day), sequence."""
    born = datetime.date(1975, 1, 1) + datetime.timedelta(days=rng.below(5479))
    return (rng.choice(REGIONS) + born.strftime("%Y%m%d")
            + "%03d" % rng.between(1, 999))


def identity_numbers():
    want = {"X": 34, "digit": ROWS - 34}
    got, seen = [], set()
    while len(got) < ROWS:
        first = random_first17()
        check = check_char(first)
        kind = "X" if check == "X" else "digit"
        if want[kind] == 0 or first in seen:
            continue
        seen.add(first)
        want[kind] -= 1
        got.append(first + check)
    rng.shuffle(got)
    # Two numbers carry a wrong check digit, as rosters typed by hand do.
    wrong = [i for i, n in enumerate(got) if n[-1] != "X"][:2]
    for i in wrong:
        right = got[i][-1]
        got[i] = got[i][:-1] + str((int(right) + 3 + rng.below(7)) % 10)
    return got


# --- Names ----------------------------------------------------------------

SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤"
GIVEN = "建国华明伟芳娟敏静丽强磊军洋勇艳杰涛超秀英霞平刚桂兰玉梅红林斌波宇浩凯鹏辉俊峰晨阳婷雪慧琳丹佳欣颖晓燕萍春志军海东文亮宏飞云霖凤瑶思雨嘉怡锐鑫蕾倩丰彬瑜涵睿"


def names():
    made, seen = [], set()

    def fresh(length):
        while True:
            name = rng.choice(SURNAMES) + "".join(
                rng.choice(GIVEN) for _ in range(length - 1))
            if name not in seen and len(set(name[1:])) == length - 1:
                seen.add(name)
                return name

    made += [fresh(2) for _ in range(57)]
    made += [fresh(3) for _ in range(279)]
    shared = fresh(3)
    made += [shared] * 3
    rng.shuffle(made)
    return made


# --- Scores and remarks ---------------------------------------------------

BONUS = [("进藏兵加5分", 6), ("安置到乡镇志愿兵加5分", 6),
         ("市委表彰优秀共产党员加5分", 1), ("省政府表彰先进个人加5分", 1),
         ("个人二等功加5分", 1), ("市政府表彰先进个人加5分", 1)]
ZERO_REMARKS = [("缺考", 11), ("不服从考场纪律管理", 1)]


def scores():
    """327 nonzero scores in tenths (34 whole, 293 with a decimal), 21.1 to 95.4."""
    whole = set()
    while len(whole) < 34:
        whole.add(rng.between(22, 95) * 10)
    tenths = [211, 954] + [v for v in sorted(whole)]
    while len(tenths) < 327:
        v = rng.between(250, 900) if rng.below(4) else rng.between(212, 953)
        if v % 10:
            tenths.append(v)
    return tenths


def score_text(tenths, lead):
    if tenths == 0:
        return " " * lead + "0" + "   "
    if tenths % 10 == 0:
        return " " * lead + str(tenths // 10) + "  "
    return " " * lead + "%d.%d" % divmod(tenths, 10) + "    "


def build():
    seated = seat_groups()
    ids = identity_numbers()
    people = names()

    # Candidates of each group: nonzero scores, with zero rows spread over groups.
    nonzero = scores()
    rng.shuffle(nonzero)
    zero_groups = ["02", "02", "02", "06", "08", "08", "11", "12", "17", "17", "21", "23"]
    members = {code: [] for code in GROUPS}
    remarks = [r for r, n in ZERO_REMARKS for _ in range(n)]
    rng.shuffle(remarks)
    for code, remark in zip(zero_groups, remarks):
        members[code].append([0, remark])
    pool = iter(nonzero)
    for code, size in GROUPS.items():
        while len(members[code]) < size:
            members[code].append([next(pool), ""])

    # Bonus remarks go to candidates with a nonzero score.
    bonus = [r for r, n in BONUS for _ in range(n)]
    scored = [m for code in GROUPS for m in members[code] if m[0]]
    rng.shuffle(scored)
    for member, remark in zip(scored, bonus):
        member[1] = remark

    # Score forms: leading spaces by number of rows of each form.
    decimal = [1] * 210 + [2] * 74 + [3] * 9
    whole = [1] * 21 + [2] * 13
    zero = [1] * 9 + [2] * 3
    for leads in (decimal, whole, zero):
        rng.shuffle(leads)

    # Roster order: groups in an office's own order, scores descending within.
    order = sorted(GROUPS)
    while order == sorted(GROUPS):
        rng.shuffle(order)
    rows = []
    for code in order:
        group = sorted(members[code], key=lambda m: -m[0])
        places = list(seated[code])
        rng.shuffle(places)
        for (tenths, remark), (room, seat) in zip(group, places):
            leads = zero if tenths == 0 else whole if tenths % 10 == 0 else decimal
            rows.append([
                SHARED_CODE + code + "%02d%02d" % (room, seat),
                ids[len(rows)], people[len(rows)],
                score_text(tenths, leads.pop()), remark,
            ])
    return rows


# --- Rosters of another size -----------------------------------------------

EXTRA_REMARKS = ["缺考", "进藏兵加5分", "复核后,加5分", '"优秀"志愿者加5分']


def build_sized(count):
    """Invented candidates: ticket by group, room and seat; valid, unique identity numbers."""
    rows, seen = [], set()
    for i in range(count):
        ticket = SHARED_CODE + "%02d%02d%02d" % (1 + i // 2970, 1 + i // 30 % 99, 1 + i % 30)
        first = random_first17()
        while first in seen:
            first = random_first17()
        seen.add(first)
        name = rng.choice(SURNAMES) + "".join(rng.choice(GIVEN) for _ in range(rng.between(1, 2)))
        remark = rng.choice(EXTRA_REMARKS) if rng.below(10) == 0 else ""
        tenths = 0 if remark == "缺考" else rng.between(211, 954)
        rows.append([ticket, first + check_char(first), name,
                     score_text(tenths, rng.between(1, 2)), remark])
    return rows


FORMATS = {  # separator, line end, encoding, Chinese header
    "tsv": ("\t", "\n", "utf-8", False),
    "unicode-text": ("\t", "\r\n", "utf-16-le", True),
    "csv-utf8": (",", "\r\n", "utf-8-sig", True),
    "csv-gb18030": (",", "\r\n", "gb18030", True),
}


def excel_field(text, separator):
    if any(c in text for c in (separator, '"', "\n", "\r")):
        return '"' + text.replace('"', '""') + '"'
    return text


# The workbook's columns: (header, field index or None for the room), in
# an office's order and spelling.
WORKBOOK_COLUMNS = [("姓名", 2), (" 准考证号 ", 0), ("身份证号码\u3000", 1), ("考场", None), ("成绩", 3),
                    ("备注", 4)]
FULL_WIDTH = str.maketrans("0123456789X", "０１２３４５６７８９Ｘ")


def write_xlsx(path, rows):
    """Shared strings, as Excel writes them (python3-xlsxwriter)."""
    import xlsxwriter
    book = xlsxwriter.Workbook(path)
    sheet = book.add_worksheet("成绩")
    bold = book.add_format({"bold": True})
    sheet.merge_range(0, 0, 0, len(WORKBOOK_COLUMNS) - 1, "2026年笔试成绩", bold)
    for c, (header, _) in enumerate(WORKBOOK_COLUMNS):
        sheet.write_string(1, c, header)
    for r, row in enumerate(rows, start=2):
        for c, (_, field) in enumerate(WORKBOOK_COLUMNS):
            if field is None:
                sheet.write_number(r, c, 1 + r // 30)
            elif field == 0:
                sheet.write_number(r, c, int(row[0]))
            elif field == 2 and len(row[2]) > 1 and r % 3 == 0:
                sheet.write_rich_string(r, c, bold, row[2][0], row[2][1:])
            elif field == 4 and row[4] and r % 2 == 0:
                sheet.write_formula(r, c, '="%s"' % row[4].replace('"', '""'), None, row[4])
            elif row[field]:
                sheet.write_string(r, c, row[field])
    book.close()


def write_xlsx_inline(path, rows):
    """Inline strings (python3-openpyxl), keys partly in full-width digits."""
    import openpyxl
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "成绩"
    sheet.append(["2026年笔试成绩"])
    sheet.merge_cells(start_row=1, start_column=1, end_row=1, end_column=len(WORKBOOK_COLUMNS))
    sheet.append([header for header, _ in WORKBOOK_COLUMNS])
    for r, row in enumerate(rows):
        ticket, identity = row[0], row[1]
        if r % 7 == 3:
            ticket = ticket.translate(FULL_WIDTH)
        if r % 5 == 1:
            identity = identity.translate(FULL_WIDTH)
        if identity.endswith("X") and r % 2:
            identity = identity[:-1] + "x"
        values = {0: ticket, 1: identity, 2: row[2], 3: row[3], 4: row[4] or None, None: 1 + r // 30}
        sheet.append([values[field] for _, field in WORKBOOK_COLUMNS])
    book.save(path)


def write_ods(path, rows):
    """OpenDocument as LibreOffice writes it: the title over merged cells,
    tickets as numbers, runs of blanks as <text:s/>, empty cells repeated."""
    import re, zipfile
    from xml.sax.saxutils import escape

    def blanks(n, edge):  # one blank between words is itself, every other one a <text:s/>
        spaces = lambda k: "" if k == 0 else "<text:s/>" if k == 1 else '<text:s text:c="%d"/>' % k
        return spaces(n) if edge else " " + spaces(n - 1)

    def paragraph(text):
        lines = []
        for line in text.replace("\r\n", "\n").split("\n"):
            line = escape(line)
            line = re.sub(" +", lambda m: blanks(len(m.group(0)), m.start() == 0 or m.end() == len(line)), line)
            lines.append(line)
        return "<text:p>" + "<text:line-break/>".join(lines) + "</text:p>"

    def string(text):
        return '<table:table-cell office:value-type="string">%s</table:table-cell>' % paragraph(text)

    def number(value):
        return '<table:table-cell office:value-type="float" office:value="%s"><text:p>%s</text:p></table:table-cell>' \
            % (value, value)

    width = len(WORKBOOK_COLUMNS)
    body = ['<table:table table:name="成绩"><table:table-column table:number-columns-repeated="%d"/>' % width,
            '<table:table-row><table:table-cell table:number-columns-spanned="%d" office:value-type="string">'
            '<text:p>2026年笔试成绩</text:p></table:table-cell><table:covered-table-cell '
            'table:number-columns-repeated="%d"/></table:table-row>' % (width, width - 1),
            "<table:table-row>" + "".join(string(header) for header, _ in WORKBOOK_COLUMNS) + "</table:table-row>"]
    for r, row in enumerate(rows):
        cells = []
        for _, field in WORKBOOK_COLUMNS:
            if field is None:
                cells.append(number(1 + r // 30))
            elif field == 0:
                cells.append(number(int(row[0])))
            elif row[field]:
                cells.append(string(row[field]))
            else:
                cells.append("<table:table-cell/>")
        body.append("<table:table-row>" + "".join(cells) + "</table:table-row>")
    body.append('<table:table-row table:number-rows-repeated="1048000"><table:table-cell '
                'table:number-columns-repeated="%d"/></table:table-row></table:table>' % width)
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.3">'
               "<office:body><office:spreadsheet>" + "".join(body) +
               "</office:spreadsheet></office:body></office:document-content>")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as book:
        book.writestr(zipfile.ZipInfo("mimetype", (2026, 1, 1, 0, 0, 0)), "application/vnd.oasis.opendocument.spreadsheet",
                      compress_type=zipfile.ZIP_STORED)
        book.writestr(zipfile.ZipInfo("content.xml", (2026, 1, 1, 0, 0, 0)), content, compress_type=zipfile.ZIP_DEFLATED)


def write_spreadsheetml(path, rows):
    """Excel 2003 XML as Excel writes it: the title merged across, tickets as
    numbers, line breaks as character references, empty cells left out."""
    from xml.sax.saxutils import escape

    def text(value):
        return escape(value).replace("\r", "&#13;").replace("\n", "&#10;")

    def cell(value, kind="String", index=None):
        at = ' ss:Index="%d"' % index if index else ""
        return '<Cell%s><Data ss:Type="%s">%s</Data></Cell>' % (at, kind, text(str(value)))

    width = len(WORKBOOK_COLUMNS)
    body = ['<Row><Cell ss:MergeAcross="%d"><Data ss:Type="String">2026年笔试成绩</Data></Cell></Row>' % (width - 1),
            "<Row>" + "".join(cell(header) for header, _ in WORKBOOK_COLUMNS) + "</Row>"]
    for r, row in enumerate(rows):
        cells, skipped = [], False
        for k, (_, field) in enumerate(WORKBOOK_COLUMNS, start=1):
            if field is None:
                cells.append(cell(1 + r // 30, "Number", k if skipped else None))
            elif field == 0:
                cells.append(cell(int(row[0]), "Number", k if skipped else None))
            elif row[field]:
                cells.append(cell(row[field], "String", k if skipped else None))
            else:
                skipped = True
                continue
            skipped = False
        body.append("<Row>" + "".join(cells) + "</Row>")
    with open(path, "w", encoding="utf-8", newline="") as out:
        out.write('<?xml version="1.0"?>\r\n<?mso-application progid="Excel.Sheet"?>\r\n'
                  '<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" '
                  'xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">'
                  '<Worksheet ss:Name="成绩"><Table>' + "\r\n".join(body) + "</Table></Worksheet></Workbook>\r\n")


WORKBOOKS = {"xlsx": write_xlsx, "xlsx-inline": write_xlsx_inline, "ods": write_ods,
             "spreadsheetml": write_spreadsheetml}


def main():
    parser = argparse.ArgumentParser(description="Writes an invented roster.")
    parser.add_argument("output")
    parser.add_argument("--records", type=int, default=ROWS)
    parser.add_argument("--format", choices=list(FORMATS) + list(WORKBOOKS), default="tsv")
    args = parser.parse_args()
    # A program holds at most 32,766; a site (varnholt-pack --site) millions.
    if not 1 <= args.records <= 10000000:
        parser.error("--records must be 1 to 10000000")
    rows = build() if args.records == ROWS else build_sized(args.records)
    if args.format in WORKBOOKS:
        WORKBOOKS[args.format](args.output, rows)
        return
    separator, end, encoding, chinese = FORMATS[args.format]
    header = ["准考证号", "身份证号", "姓名", "成绩", "备注"] if chinese else ["zhun", "shen", "xing", "chengji", "beizhu"]
    text = "".join(separator.join(excel_field(f, separator) for f in r) + end for r in [header] + rows)
    data = text.encode(encoding)
    if encoding == "utf-16-le":
        data = b"\xff\xfe" + data
    with open(args.output, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
