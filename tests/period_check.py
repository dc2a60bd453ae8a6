#!/usr/bin/env python3
"""Checks lcdump's period search against astropy's LombScargle, one table of
light curves: every power of -periodogram against the exact method='slow' on
the same grid (within 1e-9), the refined period, its power and Baluev's
false-alarm probability of -stats -period, and flux1_wmean and flux1_chi2dof
against sums taken exactly by math.fsum.

astropy is given the times less the earliest: the periodogram does not depend
on where time starts, but astropy's own figures lose digits on raw Julian
dates (its two exact methods differ by 6e-10 on the sample, and its
false-alarm probability by 4e-6), and lcdump starts time at the earliest too.

usage: period_check.py LCDUMP SAMPLE
"""
import csv
import io
import math
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np
from astropy.timeseries import LombScargle

LCDUMP, SAMPLE = sys.argv[1], sys.argv[2]
NAN, INF = float("nan"), float("inf")
# Above this many points astropy's exact method takes too long for the whole
# grid; it is asked at every STRIDE-th frequency and around the peak.
WHOLE_GRID = 1000
STRIDE = 61
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def write(path, t, y, dy):
    with open(path, "wb") as out:
        out.write(struct.pack("<i", len(t)))
        for i in range(len(t)):
            out.write(struct.pack("<di5fif", t[i], i, y[i], dy[i], 100.0, 1.0, 1.0, 3, 9.0))


def read(path):
    data = open(path, "rb").read()
    n = struct.unpack("<i", data[:4])[0]
    rows = [struct.unpack("<di5fif", data[4 + 40 * i:44 + 40 * i]) for i in range(n)]
    return (np.array([r[0] for r in rows]), np.array([r[2] for r in rows], dtype=np.float64),
            np.array([r[3] for r in rows], dtype=np.float64))


def run(*args):
    done = subprocess.run([LCDUMP, *args], capture_output=True)
    check(done.returncode == 0 and done.stderr == b"", f"lcdump {' '.join(args)}: {done.returncode} {done.stderr!r}")
    return done.stdout.decode()


def curves(rng):
    """name → (t, y, dy): the sample, sinusoids of many sizes, awkward errors,
    equal times, one record."""
    yield "sample", read(SAMPLE)
    for n in (3, 4, 7, 30, 100, 300, 1000, 3000, 10000):
        t = 2459000.5 + np.sort(rng.uniform(0, 20 + n / 20, n))
        period = rng.uniform(0.2, 5)
        y = 1000 + 50 * np.sin(2 * np.pi * t / period + 1) + rng.normal(0, 10, n)
        dy = rng.uniform(5, 15, n)
        yield f"sinusoid of {n}", (t, y, dy)
    t = 2459000.5 + np.sort(rng.uniform(0, 30, 200))
    y = 500 + 20 * np.sin(2 * np.pi * t / 1.7) + rng.normal(0, 5, 200)
    dy = rng.uniform(3, 7, 200)
    for i, bad in enumerate((NAN, INF, -INF, 0.0, -4.0, -0.0) * 3):
        dy[7 * i + 3] = bad
    y[5], t[11] = NAN, INF
    yield "bad errors, a NaN flux and an infinite JD", (t, y, dy)
    yield "every JD equal", (np.full(20, 2459000.5), rng.normal(100, 5, 20), np.full(20, 5.0))
    yield "one record", (np.array([2459000.5]), np.array([100.0]), np.array([5.0]))
    yield "constant flux", (2459000.5 + np.arange(30.0), np.full(30, 7.0), np.full(30, 1.0))


def usable(t, y, dy):
    y32 = y.astype(np.float32).astype(np.float64)
    dy32 = dy.astype(np.float32).astype(np.float64)
    keep = np.isfinite(t) & np.isfinite(y32) & np.isfinite(dy32) & (dy32 > 0)
    return t[keep], y32[keep], dy32[keep]


def weighted(y, dy):
    """flux1_wmean and flux1_chi2dof over the double products, summed exactly."""
    keep = [(f, e) for f, e in zip(y, dy) if math.isfinite(f) and math.isfinite(e) and e > 0]
    w = [1 / (e * e) for f, e in keep]
    mean = math.fsum(wi * f for wi, (f, e) in zip(w, keep)) / math.fsum(w) if keep else NAN
    chi2 = math.fsum(((f - mean) / e) ** 2 for f, e in keep) / (len(keep) - 1) if len(keep) > 1 else NAN
    return mean, chi2


def close(a, b, tolerance):
    return (math.isnan(a) and math.isnan(b)) or abs(a - b) <= tolerance * max(1.0, abs(b))


def check_curve(name, t, y, dy, directory):
    path = os.path.join(directory, "star.lc")
    write(path, t, y, dy)
    row = next(csv.DictReader(io.StringIO(run("-in", path, "-stats", "-period"))))
    y32 = y.astype(np.float32).astype(np.float64)
    dy32 = dy.astype(np.float32).astype(np.float64)
    mean, chi2 = weighted(y32, dy32)
    for column, want in (("flux1_wmean", mean), ("flux1_chi2dof", chi2)):
        got = float(row[column])
        check(close(got, want, 1e-15) if math.isfinite(want) else math.isnan(got), f"{name}: {column} {got} != {want}")
    rows = list(csv.reader(io.StringIO(run("-in", path, "-periodogram"))))
    check(rows[0] == ["frequency", "power"], f"{name}: periodogram header {rows[0]}")
    frequency = np.array([float(r[0]) for r in rows[1:]])
    power = np.array([float(r[1]) for r in rows[1:]])
    t, y, dy = usable(t, y, dy)
    found = [float(row[c]) for c in ("period", "power", "fap")]
    if len(t) < 3 or t.max() == t.min():
        check(len(frequency) == 0 and all(math.isnan(v) for v in found), f"{name}: {len(frequency)} frequencies, {found}")
        return
    shifted = LombScargle(t - t.min(), y, dy)
    grid = shifted.autofrequency(samples_per_peak=5, nyquist_factor=5)
    check(len(grid) == len(frequency) and np.array_equal(grid, LombScargle(t, y, dy).autofrequency(
        samples_per_peak=5, nyquist_factor=5)), f"{name}: {len(frequency)} frequencies, astropy's grid has {len(grid)}")
    check(np.array_equal(frequency, grid), f"{name}: frequencies differ from astropy's")
    if np.ptp(y) == 0:
        check(all(math.isnan(v) for v in power) and all(math.isnan(v) for v in found), f"{name}: {found}")
        return
    best = int(np.nanargmax(power))
    asked = np.arange(len(grid)) if len(t) <= WHOLE_GRID else np.unique(np.concatenate(
        [np.arange(0, len(grid), STRIDE), np.arange(max(0, best - 200), min(len(grid), best + 201))]))
    exact = shifted.power(grid[asked], method="slow")
    worst = float(np.max(np.abs(power[asked] - exact)))
    check(worst <= 1e-9, f"{name}: a power differs from astropy's exact one by {worst:.3g}")
    if len(t) == 3:
        # Three parameters fit three points at every frequency: the power is
        # one throughout, and where its greatest rounding lies means nothing.
        check(abs(found[1] - 1) <= 1e-9 and np.all(np.abs(exact - 1) <= 1e-9), f"{name}: power {found[1]}")
        return
    astropy_best = int(asked[np.argmax(exact)])
    peak = 1 / found[0]
    check(abs(peak - grid[astropy_best]) <= grid[1] - grid[0],
          f"{name}: peak {peak} is more than a step from astropy's best {grid[astropy_best]}")
    at_peak = float(shifted.power(np.array([peak]), method="slow")[0])
    check(at_peak >= exact.max() - 1e-12 and abs(at_peak - found[1]) <= 1e-9,
          f"{name}: power {found[1]} at the peak, astropy's {at_peak}, its best grid point {exact.max()}")
    fap = float(shifted.false_alarm_probability(found[1], method="baluev", samples_per_peak=5, nyquist_factor=5))
    # Three points fit exactly, with no degree of freedom left: NaN for both.
    check(close(found[2], fap, 1e-9) if not fap < 1e-300 else found[2] < 1e-290,
          f"{name}: fap {found[2]}, astropy's {fap}")
    print(f"{name}: {len(t)} points, {len(grid)} frequencies, worst power difference {worst:.2g}, "
          f"period {found[0]:.7g}, fap {found[2]:.3g} (astropy {fap:.3g})")


def main():
    rng = np.random.default_rng(20261208)
    with tempfile.TemporaryDirectory() as directory:
        for name, (t, y, dy) in curves(rng):
            check_curve(name, t, y, dy, directory)
    if failures:
        sys.exit(f"{len(failures)} checks failed")
    print("every period, power and weighted figure agrees with astropy and math.fsum")


main()
