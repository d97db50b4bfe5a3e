#!/usr/bin/env python3
"""The office's step end to end: generated rosters in every format Excel
writes, workbooks and an OpenDocument spreadsheet among them, are packed into a program file, which then
finds every candidate; the packer's report shows no identity number whole.

pack_e2e.py WORKDIR TEMPLATE PROGRAM [RUN...] -- PACK...
  TEMPLATE  a test program that carries a roster area (form_tests)
  PROGRAM   the program itself (varnholt), for the search for personal data
  RUN       the command that runs a program of the build (wine-run.sh), if any
  PACK      the command that runs varnholt-pack
"""
import csv, hashlib, os, shutil, subprocess, sys

MARKER = b"\x7fVARNHOLT-ROSTER"
VERSION = 2
HEADER = 92
COST = 36  # offset of opsLimit, then memLimitKiB, in the area
FORMATS = {"tsv": "txt", "unicode-text": "txt", "csv-utf8": "csv", "csv-gb18030": "csv", "xlsx": "xlsx",
           "xlsx-inline": "xlsx", "ods": "ods", "spreadsheetml": "xls"}  # Excel 2003 XML, named as web systems do
HERE = os.path.dirname(os.path.abspath(__file__))


def run(command, **kwargs):
    print("+", " ".join(command), flush=True)
    subprocess.run(command, check=True, **kwargs)


def varint(data, at):
    value = shift = 0
    while True:
        b = data[at]
        at += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return value, at


def area_offset(data):
    """Where the roster area starts: the marker that a header of this version
    follows (a test program holds the marker as a constant too)."""
    at = data.index(MARKER)
    while int.from_bytes(data[at + 16:at + 20], "little") != VERSION:
        at = data.index(MARKER, at + 1)
    return at


def sealed_records(data):
    """Ticket, offset and size of every sealed record of a packed file, in
    the area's order; and the bytes its checksum covers."""
    area = area_offset(data)
    count = int.from_bytes(data[area + 28:area + 32], "little")
    at, records, covered = area + HEADER, [], data[area + 16:area + HEADER - 32]
    for _ in range(count):
        start = at
        units, at = varint(data, at)
        ticket = data[at:at + 2 * units].decode("utf-16-le")
        size, at = varint(data, at + 2 * units)
        covered += data[start:at]
        records.append((ticket, at, size))
        at += size
    return records, covered


def set_cost(data, field, value):
    """The header's opsLimit (0) or memLimitKiB (1) set, the checksum made to match."""
    area = area_offset(data)
    data[area + COST + 4 * field:area + COST + 4 * field + 4] = value.to_bytes(4, "little")
    data[area + HEADER - 32:area + HEADER] = hashlib.sha256(sealed_records(data)[1]).digest()


def save(name, data):
    open(name, "wb").write(data)
    os.chmod(name, 0o755)


def main():
    split = sys.argv.index("--")
    workdir, template, program, *runner = sys.argv[1:split]
    pack = sys.argv[split + 1:]
    absolute = lambda args: [os.path.abspath(a) if os.path.exists(a) else a for a in args]
    template, program = os.path.abspath(template), os.path.abspath(program)
    runner, pack = absolute(runner), absolute(pack)
    os.makedirs(workdir, exist_ok=True)
    os.chdir(workdir)
    exe = os.path.splitext(template)[1]

    default = os.path.join(HERE, "..", "roster", "roster.tsv")

    def test(packed, roster="roster-tsv.txt", which="Packed.everyCandidate*", **env):
        command = runner + [os.path.abspath(packed), "--gtest_filter=" + which]
        print("+", " ".join(command), flush=True)
        result = subprocess.run(command, env=dict(os.environ, VARNHOLT_PACKED_ROSTER=roster, **env),
                                capture_output=True, text=True)
        print(result.stdout, result.stderr, flush=True)
        assert result.returncode == 0 and "[  PASSED  ] 1 test." in result.stdout, f"{packed} failed"
        assert "SKIPPED" not in result.stdout, f"{packed}: {which} skipped"

    # One roster, 1,000 records, in each format: the same program from all.
    outputs = {}
    for fmt, ext in FORMATS.items():
        roster = f"roster-{fmt}.{ext}"
        run([sys.executable, os.path.join(HERE, "..", "tools", "make_roster.py"), "--records", "1000",
             "--format", fmt, roster])
        outputs[fmt] = f"packed-{fmt}{exe}"
        run(pack + [roster, "--no-protect", "--program", template, "-o", outputs[fmt]])
    # The same roster as a semicolon-separated CSV, and as an Excel 97-2003
    # workbook LibreOffice wrote (tests/make_xls.py), every cell text.
    rows = list(csv.reader(open("roster-tsv.txt", encoding="utf-8", newline=""), delimiter="\t"))
    with open("roster-semicolons.csv", "w", encoding="utf-8-sig", newline="") as out:
        csv.writer(out, delimiter=";", lineterminator="\r\n").writerows(rows)
    shutil.copy(os.path.join(HERE, "data", "roster-1000.xls"), "roster-xls.xls")
    for fmt, roster in (("semicolons", "roster-semicolons.csv"), ("xls", "roster-xls.xls")):
        outputs[fmt] = f"packed-{fmt}{exe}"
        run(pack + [roster, "--no-protect", "--program", template, "-o", outputs[fmt]])
    digests = {fmt: hashlib.sha256(open(path, "rb").read()).hexdigest() for fmt, path in outputs.items()}
    assert len(set(digests.values())) == 1, f"the formats give different programs: {digests}"
    original, packed = open(template, "rb").read(), open(outputs["tsv"], "rb").read()
    at = area_offset(packed)
    assert len(original) == len(packed) and original[:at] == packed[:at], "bytes before the area changed"
    test(outputs["tsv"])

    # The report names the row of an identity number that fails its check,
    # with the number's first six characters only: neither its birth date nor
    # its last four characters, nor the check character it should have, nor
    # any candidate's name appear in what the packer says.
    lines = open("roster-tsv.txt", encoding="utf-8").read().splitlines()
    fields = lines[5].split("\t")
    wrong = fields[1][:-1] + ("1" if fields[1][-1] != "1" else "2")
    lines[5] = "\t".join([fields[0], wrong] + fields[2:])
    open("wrong-check.txt", "w", encoding="utf-8").write("\n".join(lines) + "\n")
    result = subprocess.run(pack + ["wrong-check.txt", "--no-protect", "--program", template, "-o", "wrong" + exe],
                            capture_output=True, text=True)
    said = result.stdout + result.stderr
    print(said)
    assert result.returncode == 0, "a wrong check character was refused"
    assert f"row 6: the identity number {wrong[:6]}…… fails its check (ISO 7064 MOD 11-2)\n" in said, \
        "no masked warning on row 6"
    said = "\n".join(line for line in said.splitlines() if "SHA-256" not in line)  # hex digits are no leak
    for part in (wrong[6:14], wrong[-4:], "should be"):
        assert part not in said, f"{part!r} in the report"
    names = [line.split("\t")[2] for line in lines[1:]]
    assert not [name for name in names if name in said], "a candidate's name in the report"

    # --help is an answer, not an error.
    result = subprocess.run(pack + ["--help"], capture_output=True, text=True)
    assert result.returncode == 0 and result.stdout.startswith("usage: varnholt-pack"), "--help failed"

    # An output folder that cannot be written is found before the report and any sealing.
    result = subprocess.run(pack + ["roster-tsv.txt", "--cost", "1,1", "--program", template,
                                    "-o", os.path.join("missing-folder", "out" + exe)], capture_output=True, text=True)
    print(result.stdout, result.stderr)
    assert result.returncode == 1 and "cannot write the program file" in result.stderr and not result.stdout


    # A cost that is negative, overflows, is zero, too large or not two
    # numbers is refused, naming the option; nothing is written.
    if os.path.exists("refused" + exe):  # left by an earlier run
        os.remove("refused" + exe)
    for cost in ("-1,8", "99999999999,8", "0,8", "1,0", "257,8", "1,513", "1,4096", "8", "8,64,1", "8,6x4", ""):
        result = subprocess.run(pack + [default, "--cost", cost, "--program", template, "-o", "refused" + exe],
                                capture_output=True, text=True)
        assert result.returncode == 1 and f"--cost {cost}:" in result.stderr, f"--cost {cost!r}: {result.stderr}"
        assert not os.path.exists("refused" + exe), f"--cost {cost!r} wrote a file"

    # The default cost is one constant: two packings, one while every core
    # is busy, state the same cost, at least 3 passes over 64 MiB; --cost
    # auto never goes below it. Below it, the report says first by how much
    # a guess is cheaper.
    few = "roster-few.txt"
    open(few, "w", encoding="utf-8").write("\n".join(lines[:4]) + "\n")
    def packed_cost(name, *options):
        subprocess.run(pack + [few, "--program", template, "-o", name, *options], check=True,
                       capture_output=True)
        data = open(name, "rb").read()
        at = area_offset(data) + COST
        return int.from_bytes(data[at:at + 4], "little"), int.from_bytes(data[at + 4:at + 8], "little")
    quiet = packed_cost("default-1" + exe)
    busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(os.cpu_count() * 2)]
    try:
        loaded = packed_cost("default-2" + exe)
    finally:
        for process in busy:
            process.kill()
    assert quiet == loaded and quiet[0] >= 3 and quiet[1] >= 64 * 1024, f"default costs {quiet} and {loaded}"
    auto = packed_cost("auto" + exe, "--cost", "auto")
    assert auto[0] >= quiet[0] and auto[1] == quiet[1], f"--cost auto gave {auto}, the default is {quiet}"
    result = subprocess.run(pack + [few, "--cost", "1,1", "--program", template, "-o", "weaker" + exe],
                            capture_output=True, text=True, check=True)
    factor = quiet[0] * quiet[1] // 1024
    assert result.stdout.startswith(f"WEAKER THAN THE DEFAULT: at --cost 1,1 a guess at an identity number is "
                                    f"{factor} times cheaper"), result.stdout

    # The default roster protected, at a test cost: sorted by ticket, every
    # sealed record of one size. One record damaged in the file, and one
    # replaced by the same row's record of another packing of the same roster.
    run(pack + [default, "--cost", "1,1", "--program", template, "-o", "sealed" + exe])
    run(pack + [default, "--cost", "1,1", "--program", template, "-o", "sealed-again" + exe])
    data = bytearray(open("sealed" + exe, "rb").read())
    other = open("sealed-again" + exe, "rb").read()
    records, other_records = sealed_records(data)[0], sealed_records(other)[0]
    tickets = [ticket for ticket, _, _ in records]
    assert tickets == sorted(tickets) and len(tickets) == 339, "the protected roster is not in ticket order"
    assert {size for _, _, size in records + other_records} == {records[0][2]}, "sealed records differ in size"
    (damaged, start, size), (moved, at, _) = records[1], records[4]
    data[start + size // 2] ^= 0x01
    data[at:at + size] = other[other_records[4][1]:other_records[4][1] + size]
    save("damaged" + exe, data)
    test("damaged" + exe, default, VARNHOLT_DAMAGED_TICKETS=f"{damaged},{moved}")

    # A header whose cost is out of bounds, checksum and all in order: run-time
    # error 321 before the window shows, promptly, never a hang.
    for field, value in ((0, 0), (0, 0xFFFFFFFF), (1, 7), (1, 0xFFFFFFFF)):
        data = bytearray(open("sealed" + exe, "rb").read())
        set_cost(data, field, value)
        save("bad-cost" + exe, data)
        test("bad-cost" + exe, default, "Packed.anAreaWhoseCost*", VARNHOLT_DAMAGED_AREA="1")

    # The program itself, protected: no personal datum of the roster in it.
    run(pack + [default, "--cost", "1,1", "--program", program, "-o", "protected-program" + exe])
    run(pack + [default, "--cost", "1,1", "--program", program, "-o", "again" + exe])
    data = open("protected-program" + exe, "rb").read()
    assert data != open("again" + exe, "rb").read(), "two sealings gave the same bytes"
    leaks = []
    for line in open(default, encoding="utf-8").read().splitlines()[1:]:
        ticket, identity, name, score, remark = line.split("\t")
        for text in (identity, name, score, remark):
            for encoding in ("utf-16-le", "utf-8", "gb18030"):
                needle = text.encode(encoding)
                # Four bytes or fewer match random bytes too often to mean anything.
                if len(needle) > 4 and needle in data:
                    leaks.append(f"{text!r} ({encoding})")
    assert not leaks, "personal data in the protected program: " + ", ".join(leaks[:10])
    print("packed, found and searched: all well")


main()
