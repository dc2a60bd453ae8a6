#!/usr/bin/env python3
"""Reads lcdump's -csv -exact output of a random measurement file back with
Python's csv module, as an analysis script would, and checks every value
against the bits in the file: floats as binary32, JD as binary64, NaN by its
sign.

usage: csv_roundtrip.py LCDUMP
"""
import csv
import math
import os
import random
import struct
import subprocess
import sys
import tempfile

FIELDS = ["JD", "obsID", "flux1", "err1", "sky", "errs", "chisq1", "nuse", "effective_pix"]


def random_record(rng):
    """Random bits for every field, so every exponent, NaN and infinity turn up."""
    raw = rng.getrandbits(64).to_bytes(8, "little")
    for _ in range(8):
        raw += rng.getrandbits(32).to_bytes(4, "little")
    return raw


def same(text, raw, fmt):
    wrote = struct.unpack(fmt, raw)[0]
    read = float(text)
    if math.isnan(wrote):
        return math.isnan(read) and math.copysign(1, read) == math.copysign(1, wrote)
    return struct.pack(fmt, read) == raw


def main():
    lcdump = sys.argv[1]
    rng = random.Random(4711)
    records = [random_record(rng) for _ in range(20000)]
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "lc.bin")
        with open(path, "wb") as f:
            f.write(struct.pack("<i", len(records)) + b"".join(records))
        out = subprocess.run([lcdump, "-in", path, "-csv", "-exact"],
                             capture_output=True, check=True).stdout.decode("ascii")

    rows = list(csv.reader(out.splitlines()))
    assert rows[0] == FIELDS, rows[0]
    assert len(rows) == len(records) + 1, len(rows)
    bad = 0
    for n, (row, raw) in enumerate(zip(rows[1:], records)):
        checks = [same(row[0], raw[0:8], "<d"), int(row[1]) == struct.unpack("<i", raw[8:12])[0],
                  int(row[7]) == struct.unpack("<i", raw[32:36])[0]]
        for column in (2, 3, 4, 5, 6, 8):
            at = 12 + 4 * (column - 2)
            checks.append(same(row[column], raw[at:at + 4], "<f"))
        if not all(checks):
            bad += 1
            print(f"record {n}: {row} does not read back to {raw.hex()}")
    print(f"{len(records) - bad} passed, {bad} failed")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
