#!/usr/bin/env python3
"""Checks lcdump -stats -fits against the CSV table of the same run, read by
astropy: every value bit for bit (NaN as NaN, its sign kept), the column
types and units, the least nuse masked where a file has no records, and both
checksums; fitsverify, where given, must find nothing to report. The files
hold no records, NaN, random bits and names long enough for the rows to
cross blocks.

usage: summary_fits_check.py LCDUMP [FITSVERIFY]
"""
import csv
import io
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import warnings

import numpy as np
from astropy.io import fits
from astropy.table import Table

LCDUMP = sys.argv[1]
FITSVERIFY = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
COUNTS = {"records", "nonfinite"}
UNITS = {"jd_min", "jd_max", "period"}


def records(rng, n, kind):
    def f32(x):
        return struct.unpack("<f", struct.pack("<f", x))[0]
    out = b""
    for i in range(n):
        if kind == "bits":
            out += rng.getrandbits(320).to_bytes(40, "little")
            continue
        floats = [f32(rng.lognormvariate(7, 1.5)) for _ in range(6)]
        if kind == "nan" and i % 3 == 0:
            floats[i % 6] = float("nan")
        out += struct.pack("<di5fif", 2459000.5 + 30 * rng.random(), i, *floats[:5], rng.randint(1, 40), floats[5])
    return struct.pack("<i", n) + out


def bits(x):
    """A figure's bits, every NaN's payload made one, its sign kept."""
    return ("nan", math.copysign(1, x)) if math.isnan(x) else struct.pack(">d", x)


def run(args, list_text):
    return subprocess.run([LCDUMP] + args, input=list_text, capture_output=True, check=True).stdout


def check(args, list_text, rows):
    text = run(args, list_text).decode("ascii")
    data = run(args + ["-fits"], list_text)
    with tempfile.NamedTemporaryFile(suffix=".fits") as out:
        out.write(data)
        out.flush()
        if FITSVERIFY:
            report = subprocess.run([FITSVERIFY, "-q", out.name], capture_output=True, text=True).stdout
            assert report.startswith("verification OK"), report
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # a checksum that does not match warns
            with fits.open(out.name, checksum=True) as hdus:
                assert len(hdus) == 2 and hdus[1].name == "SUMMARY"
                assert hdus[1].header["HISTORY"][0].startswith("lcdump ")
                history = "".join(hdus[1].header["HISTORY"])
            table = Table.read(out.name, hdu=1, mask_invalid=False)
    wanted = list(csv.DictReader(io.StringIO(text)))
    assert len(table) == len(wanted) == rows, (len(table), len(wanted))
    assert table.colnames == text.splitlines()[0].split(","), table.colnames
    widest = max([1] + [len(row["file"]) for row in wanted])
    for name in table.colnames:
        column = table[name]
        kind = ("S", widest) if name == "file" else ("i", 4) if name in COUNTS else ("i", 8) if name == "nuse_min" \
            else ("f", 8)
        assert (column.dtype.kind, column.dtype.itemsize) == kind, (name, column.dtype)
        assert str(column.unit or "") == ("d" if name in UNITS else ""), (name, column.unit)
        for i, row in enumerate(wanted):
            value, csv_value = column[i], row[name]
            if name == "file":
                assert value == csv_value, (value, csv_value)
            elif name == "nuse_min" and csv_value == "nan":
                assert np.ma.is_masked(value), (row["file"], value)
            elif column.dtype.kind == "i":
                assert not np.ma.is_masked(value) and int(value) == int(csv_value), (row["file"], name, value)
            else:
                assert bits(float(value)) == bits(float(csv_value)), (row["file"], name, value, csv_value)
    return history


def main():
    rng = random.Random(20240611)
    with tempfile.TemporaryDirectory() as work:
        names = []
        def write(name, content):
            path = os.path.join(work, name)
            with open(path, "wb") as f:
                f.write(content)
            names.append(path.encode())
        write("empty.lc", records(rng, 0, "plain"))
        write("a blank at the end ", records(rng, 1, "plain"))
        write("odd \x1b[2J, \"name\".lc", records(rng, 7, "nan"))
        write("l" * 150 + ".lc", records(rng, 40, "plain"))
        # Names of every length, so that blocks end inside names and values,
        # not only in the padding.
        for n in range(24):
            write("star%02d%s.lc" % (n, "x" * rng.randint(0, 150)),
                  records(rng, rng.randint(1, 60), ["plain", "nan", "bits"][n % 3]))
        listed = b"".join(name + b"\n" for name in names)
        for period in ([], ["-period"]):
            history = check(["-list", "-", "-stats"] + period, listed, len(names))
            assert history.endswith(" from %d files" % len(names)), history
        history = check(["-in", names[3].decode(), "-stats", "-period"], b"", 1)
        assert history.endswith(" from " + "l" * 150 + ".lc"), history
        check(["-list", "-", "-stats"], b"", 0)
    print("summary FITS tables: every value as the CSV has it")


if __name__ == "__main__":
    main()
