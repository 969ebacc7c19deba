#!/usr/bin/python3
"""Reads result files of spreadsheet rows back through a real spreadsheet engine.

usage: spreadsheet_readback.py WORKDIR FILE.csv EXPECTED.tsv [FILE.csv EXPECTED.tsv ...]

Each CSV file (GBK, as the program writes it) is converted by LibreOffice Calc,
headless, with its CSV import told code page 936, into .xlsx; the cells are then
read back from the workbook and compared with the expected cells, one row per
line of EXPECTED.tsv (UTF-8), cells separated by tabs:

  s:TEXT  a text cell reading TEXT
  i:N     a number cell equal to N
  f:X     a number cell that is the same single as X
  d:X     a number cell equal to X in the 15 significant digits spreadsheets keep
  t:TEXT  a date-time cell showing TEXT (yyyy-mm-dd HH:MM:SS), or a text cell TEXT
  e:      an empty cell

Prints the conversion time and one line per difference; exit status 1 on any.
Only the standard library reads the workbook (openpyxl cannot hold a year past 9999).
"""
import os
import re
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
import zipfile

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
CSV_IMPORT = "CSV:44,34,61"  # comma, double quote, MS code page 936


def convert(workdir, files):
    profile = "file://" + os.path.join(os.path.abspath(workdir), "lo-profile")
    start = time.monotonic()
    subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--norestore",
                    "--convert-to", "xlsx", "--infilter=" + CSV_IMPORT, "--outdir", workdir]
                   + files, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def column(ref):
    n = 0
    for ch in re.match(r"[A-Z]+", ref).group(0):
        n = n * 26 + ord(ch) - 64
    return n - 1


def read_rows(xlsx):
    """The cells of the first sheet: (kind, value) with kind 's', 'n' or 'e'."""
    with zipfile.ZipFile(xlsx) as z:
        strings = []
        if "xl/sharedStrings.xml" in z.namelist():
            for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", NS):
                strings.append("".join(t.text or "" for t in si.iter("{%s}t" % NS["m"])))
        sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    rows = []
    for row in sheet.find("m:sheetData", NS).findall("m:row", NS):
        cells = {}
        for c in row.findall("m:c", NS):
            v = c.find("m:v", NS)
            kind = c.get("t", "n")
            if v is None:
                cells[column(c.get("r"))] = ("e", None)
            elif kind == "s":
                cells[column(c.get("r"))] = ("s", strings[int(v.text)])
            elif kind in ("str", "inlineStr"):
                cells[column(c.get("r"))] = ("s", v.text or "")
            else:
                cells[column(c.get("r"))] = ("n", float(v.text))
        width = max(cells) + 1 if cells else 0
        rows.append([cells.get(k, ("e", None)) for k in range(width)])
    return rows


def civil(days):
    """Proleptic Gregorian (year, month, day) of a day count from 1970-01-01."""
    days += 719468
    era = (days if days >= 0 else days - 146096) // 146097
    doe = days - era * 146097
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    d = doy - (153 * mp + 2) // 5 + 1
    m = mp + 3 if mp < 10 else mp - 9
    return yoe + era * 400 + (m <= 2), m, d


def date_text(serial):
    """A spreadsheet date serial (days from 1899-12-30) as yyyy-mm-dd HH:MM:SS."""
    seconds = round(serial * 86400)
    y, m, d = civil(seconds // 86400 - 25569)
    s = seconds % 86400
    return "%d-%02d-%02d %02d:%02d:%02d" % (y, m, d, s // 3600, s // 60 % 60, s % 60)


def single(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def differs(expected, cell):
    """None when the cell reads back as expected, else what it holds."""
    kind, want = expected.split(":", 1)
    have_kind, have = cell
    ok = False
    if kind == "e":
        ok = have_kind == "e" or (have_kind == "s" and have == "")
    elif kind == "s":
        ok = have_kind == "s" and have == want
    elif kind == "t":
        ok = (have_kind == "s" and have == want) or (have_kind == "n" and date_text(have) == want)
    elif have_kind == "n":
        if kind == "i":
            ok = have == int(want)
        elif kind == "f":
            ok = single(have) == single(float(want))
        elif kind == "d":
            ok = have == float("%.15g" % float(want))
    return None if ok else "%s %r" % (have_kind, have)


def main(argv):
    workdir, pairs = argv[1], list(zip(argv[2::2], argv[3::2]))
    seconds = convert(workdir, [csv for csv, _ in pairs])
    print("converted %d file(s) in %.1f s" % (len(pairs), seconds))
    failures = 0
    for csv, tsv in pairs:
        xlsx = os.path.join(workdir, os.path.splitext(os.path.basename(csv))[0] + ".xlsx")
        rows = read_rows(xlsx)
        with open(tsv, encoding="utf-8") as f:
            expected = [line.rstrip("\n").split("\t") for line in f if line.strip()]
        print("%s: %d rows read back, %d expected" % (os.path.basename(csv), len(rows), len(expected)))
        if len(rows) != len(expected):
            failures += 1
        for r, (want, have) in enumerate(zip(expected, rows)):
            if any(kind != "e" for kind, _ in have[len(want):]):
                failures += 1
                print("row %d: %d cells read back, %d expected" % (r + 1, len(have), len(want)))
            have = have + [("e", None)] * (len(want) - len(have))
            for c, cell in enumerate(want):
                problem = differs(cell, have[c])
                if problem:
                    failures += 1
                    print("row %d column %d: expected %s, read %s" % (r + 1, c + 1, cell, problem))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
