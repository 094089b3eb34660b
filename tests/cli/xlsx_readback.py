#!/usr/bin/python3
"""kestrino-cli's xlsx lists, read back by a real reader of the format (openpyxl).

  xlsx_readback.py CLI [RUNNER...]

Runs CLI (through RUNNER, such as Wine's, when given) as a user would, in a
fresh folder, and checks: the one sheet "IMEI", the header in bold and
frozen, every cell's value against IMEIs worked out here, every IMEI and
IMEISV cell a string, the creation time (fixed, or SOURCE_DATE_EPOCH), equal
bytes from equal runs, and nothing left beside the list or in the temporary
folder.
"""
import datetime
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl

cli = sys.argv[1]
runner = sys.argv[2:]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def imei(body):
    text = "%014d" % body
    total = 0
    for i, c in enumerate(text):
        d = int(c)
        if i % 2 == 1:
            d = d * 2 - 9 if d * 2 > 9 else d * 2
        total += d
    return text + str((10 - total % 10) % 10)


def run(folder, args, env=None):
    return subprocess.run(runner + [cli] + args, cwd=folder, env=env, capture_output=True, timeout=600)


def expected_rows(starts, stride, devices, svn):
    rows = []
    for k in range(devices):
        bodies = [s + k * stride for s in starts]
        row = [imei(b) for b in bodies]
        if svn is not None:
            row += ["%014d%s" % (b, svn) for b in bodies]
        rows.append(tuple(row))
    return rows


def header(columns, svn):
    names = ["IMEI"] if columns == 1 else ["IMEI%d" % (c + 1) for c in range(columns)]
    if svn is not None:
        names += [n.replace("IMEI", "IMEISV") for n in names]
    return tuple(names)


cases = [
    # name, arguments after "list FIRST QUANTITY", starts, stride, devices, svn
    ("pairs with IMEISV 07", ["35851102000002", "5", "--per-device", "2", "--svn", "07"],
     [35851102000002, 35851102000003], 2, 5, "07"),
    ("three further columns, leading zeros",
     ["01326300000000", "3", "--column", "00000000000000", "--column", "35851102999997", "--column", "99999999999997"],
     [1326300000000, 0, 35851102999997, 99999999999997], 1, 3, None),
    ("one IMEI a row", ["35851102000002", "4"], [35851102000002], 1, 4, None),
    ("no devices", ["35851102000002", "0", "--per-device", "4", "--svn", "98"],
     [35851102000002 + i for i in range(4)], 4, 0, "98"),
    ("70,000 pairs", ["35851102000000", "70000", "--per-device", "2"], [35851102000000, 35851102000001], 2, 70000, None),
]

def wine_staging_files():
    """Staging files of kestrino-cli.exe in the Wine prefix's temporary folders."""
    if not runner:
        return set()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    prefix = os.environ.get("WINEPREFIX", os.path.join(root, ".cache", "wine"))
    return set(glob.glob(os.path.join(prefix, "drive_c", "users", "*", "**", "~kx*.tmp"), recursive=True))


wine_before = wine_staging_files()
scratch = tempfile.mkdtemp(prefix="kestrino-xlsx-")
temp = os.path.join(scratch, "tmp")
os.mkdir(temp)
env = dict(os.environ)
env.pop("SOURCE_DATE_EPOCH", None)
if not runner:
    env["TMPDIR"] = temp  # Wine keeps folders of its own there
try:
    for name, args, starts, stride, devices, svn in cases:
        folder = os.path.join(scratch, "case")
        os.mkdir(folder)
        done = run(folder, ["list"] + args + ["-o", "list.xlsx"], env)
        check(done.returncode == 0 and done.stdout == b"" and done.stderr == b"",
              "%s: exit %d, %r %r" % (name, done.returncode, done.stdout, done.stderr))
        check(sorted(os.listdir(folder)) == ["list.xlsx"], "%s: the folder holds %s" % (name, os.listdir(folder)))
        path = os.path.join(folder, "list.xlsx")
        first = open(path, "rb").read()

        book = openpyxl.load_workbook(path, read_only=devices > 1000)
        check(book.sheetnames == ["IMEI"], "%s: sheets %s" % (name, book.sheetnames))
        check(book.properties.created == datetime.datetime(2000, 1, 1), "%s: created %s" % (name, book.properties.created))
        sheet = book["IMEI"]
        rows = list(sheet.iter_rows())
        values = [tuple(cell.value for cell in row) for row in rows]
        check(values[:1] == [header(len(starts), svn)], "%s: header %s" % (name, values[:1]))
        want = expected_rows(starts, stride, devices, svn)
        got = values[1:]
        check(got == want, "%s: %d rows, first difference at %s" % (
            name, len(got), next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))))
        check(all(cell.data_type == "s" and isinstance(cell.value, str) for row in rows for cell in row),
              "%s: a cell that is not a string" % name)
        if devices <= 1000:
            check(all(cell.font.b for cell in rows[0]), "%s: the header is not bold" % name)
            check(sheet.freeze_panes == "A2", "%s: frozen at %s" % (name, sheet.freeze_panes))
            widths = {}
            for dimension in sheet.column_dimensions.values():
                for c in range(dimension.min, dimension.max + 1):
                    widths[c] = dimension.width
            wide = [widths.get(c + 1, 0) >= (17 if header(len(starts), svn)[c].startswith("IMEISV") else 16)
                    for c in range(len(rows[0]))]
            check(all(wide), "%s: column widths %s" % (name, widths))
        book.close()

        again = run(folder, ["list"] + args + ["-o", "list.xlsx"], env)
        check(again.returncode == 0 and open(path, "rb").read() == first, "%s: a second run gave other bytes" % name)
        shutil.rmtree(folder)

    # The exact bytes of a small workbook, the same natively and from kestrino-cli.exe (with Debian 12's
    # libxlsxwriter 1.1.4 and zlib 1.2.13; another version of either may compress otherwise).
    folder = os.path.join(scratch, "exact")
    os.mkdir(folder)
    run(folder, ["list", "35851102000002", "3", "--per-device", "2", "-o", "pairs.xlsx"], env)
    digest = hashlib.sha256(open(os.path.join(folder, "pairs.xlsx"), "rb").read()).hexdigest()
    check(digest == "31e4c97ed6bb8e938173ce7261b9492479af87ef84a8f5efa5603d64fa5a2249", "exact bytes: SHA-256 %s" % digest)

    # The creation time from SOURCE_DATE_EPOCH; a value that is not one is refused and the old file stays.
    folder = os.path.join(scratch, "epoch")
    os.mkdir(folder)
    path = os.path.join(folder, "list.xlsx")
    done = run(folder, ["list", "35851102000002", "2", "-o", "list.xlsx"], dict(env, SOURCE_DATE_EPOCH="1700000000"))
    check(done.returncode == 0, "SOURCE_DATE_EPOCH: exit %d %r" % (done.returncode, done.stderr))
    created = openpyxl.load_workbook(path).properties.created
    check(created == datetime.datetime(2023, 11, 14, 22, 13, 20), "SOURCE_DATE_EPOCH: created %s" % created)
    before = open(path, "rb").read()
    for bad in ["yesterday", "0", "-5", "99999999999999999999"]:
        done = run(folder, ["list", "35851102000002", "3", "-o", "list.xlsx"], dict(env, SOURCE_DATE_EPOCH=bad))
        message = ("kestrino-cli: '%s' is not a valid SOURCE_DATE_EPOCH: it must be seconds since 1970, "
                   "1 to 32535215999." % bad).encode()
        check(done.returncode == 1 and done.stderr.rstrip(b"\r\n") == message, "SOURCE_DATE_EPOCH=%s: exit %d %r" % (
            bad, done.returncode, done.stderr))
        check(open(path, "rb").read() == before and os.listdir(folder) == ["list.xlsx"], "SOURCE_DATE_EPOCH=%s: the file" % bad)

    # The staging file has no name natively; under Wine it is removed.
    check(os.listdir(temp) == [], "left in the temporary folder: %s" % os.listdir(temp))
    check(wine_staging_files() == wine_before, "left in Wine's temporary folder: %s" % (wine_staging_files() - wine_before))
finally:
    shutil.rmtree(scratch)

print("xlsx read back: %d cases, %s" % (len(cases), "%d failures" % len(failures) if failures else "all as expected"))
sys.exit(1 if failures else 0)
