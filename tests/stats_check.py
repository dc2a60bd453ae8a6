#!/usr/bin/env python3
"""Checks every figure of lcdump -list - -stats against numpy's, bit for bit:
medians as numpy.median takes them, of the finite values widened to float64
(the middle value, or the mean of the two), the MAD by the same over their
distances from the median. The files hold NaN and
infinities, odd and even counts, one record, none, random bits, and
signed zeros; pandas
must then read the table with float64 figures, and names that hold control
bytes or bytes that are no UTF-8 as messages write them.

usage: stats_check.py LCDUMP
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

import numpy as np
import pandas as pd

FLOATS = ["flux1", "err1", "sky", "errs", "chisq1", "effective_pix"]
MEDIANS = ["flux1", "err1", "sky", "chisq1"]
NAN, INF = float("nan"), float("inf")
# The file column of the names that messages would escape.
SHOWN = {"\"\x1b[2J\udcff\u009b\x7f\".lc": "\"\\x1b[2J\\xff\\xc2\\x9b\\x7f\".lc"}


def write(path, records):
    """records: dicts of JD, nuse and the float fields, packed as the file has them."""
    with open(path, "wb") as out:
        out.write(struct.pack("<i", len(records)))
        for r in records:
            out.write(struct.pack("<di5fif", r["JD"], 1, *(r[f] for f in FLOATS[:5]), r["nuse"], r["effective_pix"]))


def plain(rng, n):
    """Spread over decades, so that a distance from the median needs more bits
    than a float has."""
    return [dict({f: rng.lognormvariate(7, 1.5) for f in FLOATS}, JD=2459000.5 + rng.random(), nuse=rng.randint(1, 40))
            for _ in range(n)]


def from_bits(rng, n):
    """Every exponent, subnormals, NaN and infinity turn up."""
    def f32():
        return struct.unpack("<f", struct.pack("<I", rng.getrandbits(32)))[0]
    return [dict({f: f32() for f in FLOATS}, JD=struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0],
                 nuse=rng.randint(-2**31, 2**31 - 1)) for _ in range(n)]


def expected(records):
    """The row as numpy computes it, float fields read back as binary32."""
    stored = [dict(r, **{f: struct.unpack("<f", struct.pack("<f", r[f]))[0] for f in FLOATS}) for r in records]

    def finite(field):
        return np.array([r[field] for r in stored if math.isfinite(r[field])], dtype=np.float64)

    row = [len(stored), sum(any(not math.isfinite(r[f]) for f in FLOATS + ["JD"]) for r in stored)]
    jd = finite("JD")
    row += [jd.min(), jd.max()] if jd.size else [NAN, NAN]
    def median(values):
        """numpy.median, but for the sign of a zero: it takes the mean of the
        middle value alone, which makes -0 into 0."""
        if not values.size:
            return NAN
        ordered, half = np.sort(values), values.size // 2
        return ordered[half] if values.size % 2 else (ordered[half - 1] + ordered[half]) / 2

    for field in MEDIANS:
        values = finite(field)
        middle = median(values)
        assert math.isnan(middle) or middle == np.median(values)
        row.append(middle)
        if field == "flux1":
            row.append(median(np.abs(values - middle)))
    row.append(min(r["nuse"] for r in stored) if stored else NAN)
    return row


def same(text, value):
    got = float(text)
    if math.isnan(value):
        return math.isnan(got)
    return struct.pack("<d", got) == struct.pack("<d", float(value))


def main():
    lcdump = os.path.abspath(sys.argv[1])
    rng = random.Random(20261207)
    specials = plain(rng, 9)
    for r, (field, value) in zip(specials, [("flux1", NAN), ("err1", INF), ("JD", NAN), ("sky", -INF),
                                            ("chisq1", NAN), ("errs", INF), ("effective_pix", NAN)]):
        r[field] = value
    cases = {
        "odd.lc": plain(rng, 101),
        "even.lc": plain(rng, 100),
        "one.lc": plain(rng, 1),
        "none.lc": [],
        "special, \"quoted\".lc": specials,
        # ESC, a byte that is no UTF-8 (as os.fsdecode gives it), a C1 control
        # (CSI) and DEL: written as messages write names, then quoted for the
        # double quotes, without a comma.
        "\"\x1b[2J\udcff\u009b\x7f\".lc": plain(rng, 3),
        "no finite flux.lc": [dict(r, flux1=NAN) for r in plain(rng, 4)],
        "bits.lc": from_bits(rng, 10000),
        # A median, a MAD and a JD range of signed zeros: -0 stays -0.
        "signed zeros.lc": [dict(r, JD=-0.0, **{f: -0.0 for f in FLOATS}) for r in plain(rng, 3)],
    }
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for name, records in cases.items():
            write(os.path.join(work, name), records)
        names = b"".join(os.fsencode(name) + b"\n" for name in cases)
        run = subprocess.run([lcdump, "-list", "-", "-stats"], cwd=work, input=names, capture_output=True)
        if run.returncode != 0 or run.stderr:
            print("status %d, stderr %r" % (run.returncode, run.stderr))
            return 1
        shown = [SHOWN.get(name, name) for name in cases]
        rows = list(csv.reader(io.StringIO(run.stdout.decode())))
        if [row[0] for row in rows[1:]] != shown:
            print("rows for %r" % [row[0] for row in rows[1:]])
            return 1
        # The weighted figures are checked against math.fsum by period_check.py.
        numpy_columns = [i for i, c in enumerate(rows[0]) if i > 0 and c not in ("flux1_wmean", "flux1_chi2dof")]
        for row, (name, records) in zip(rows[1:], cases.items()):
            for column, got, want in zip([rows[0][i] for i in numpy_columns], [row[i] for i in numpy_columns],
                                         expected(records)):
                if not same(got, want):
                    print("%s: %s is %s, numpy %r" % (name, column, got, want))
                    failures += 1
        table = pd.read_csv(io.BytesIO(run.stdout))
        figures = [c for c in table.columns if c not in ("file", "records", "nonfinite")]
        if len(table) != len(cases) or any(table[c].dtype != np.float64 for c in figures):
            print("pandas read %d rows, types %s" % (len(table), dict(table.dtypes)))
            failures += 1
        if list(table["file"]) != shown:
            print("pandas read the names %r" % list(table["file"]))
            failures += 1
    print("%d files, %d figures differ from numpy's" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
