#!/usr/bin/env python3
"""The bundled survey through lcdump -list - -stats -period: the ten
variables rank first by flux1_chi2dof, and every variable with at least 100
records comes out within 0.1% of the generator's period (a contact binary,
with two minima an orbit, at half of it).

usage: survey_check.py LCDUMP MAKE_SURVEY
"""
import csv
import io
import os
import subprocess
import sys
import tempfile

LCDUMP, MAKE_SURVEY = sys.argv[1], sys.argv[2]

with tempfile.TemporaryDirectory() as directory:
    told = subprocess.run([MAKE_SURVEY, directory], capture_output=True, text=True, check=True).stdout
    names = "".join(os.path.join(directory, name) + "\n" for name in sorted(os.listdir(directory)))
    done = subprocess.run([LCDUMP, "-list", "-", "-stats", "-period"], input=names, capture_output=True, text=True)
if done.returncode != 0 or done.stderr:
    sys.exit(f"lcdump: {done.returncode} {done.stderr}")
# "star0071.lc  pulsating, RR Lyrae-like    period  0.7387 d  ..."
truth = {}
for line in told.splitlines():
    if " period " in line:
        period = line.split(" period ")[1].split()[0]
        # The period is given to four decimals: half the last one is its error.
        truth[line.split()[0]] = (float(period), 0.5 * 10 ** -len(period.split(".")[1]), "binary" in line)
rows = {os.path.basename(r["file"]): r for r in csv.DictReader(io.StringIO(done.stdout))}
failures = []
ranked = sorted(rows, key=lambda name: -float(rows[name]["flux1_chi2dof"]))
if set(ranked[:len(truth)]) != set(truth):
    failures.append(f"the first {len(truth)} by flux1_chi2dof are {ranked[:len(truth)]}")
checked = 0
for name, (period, error, binary) in sorted(truth.items()):
    row = rows[name]
    found = float(row["period"]) * (2 if binary else 1)
    if int(row["records"]) < 100:
        continue
    checked += 1
    off = abs(found - period) / period
    print(f"{name}: {row['records']} records, period {row['period']} d, the generator's {period} d, "
          f"off by {100 * off:.3f}%")
    if off > 0.001 + error / period:
        failures.append(f"{name}: period {found} is not within 0.1% of {period}")
if checked < 7:
    failures.append(f"only {checked} variables have 100 records")
if failures:
    sys.exit("\n".join(failures))
print(f"the {len(truth)} variables rank first; {checked} periods within 0.1%")
