#!/usr/bin/env python3
"""lcdump -svg checked by real readers: every picture of a table of inputs
parses as XML (xmllint) and renders (rsvg-convert); a picture of five known
points, rendered, is dark where its own axes say each point lies and white
between them; a run in another directory gives the same bytes; a bad input
gets its message and no picture.

usage: svg_check.py LCDUMP
"""
import math
import os
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngread import png_pixels  # noqa: E402

LCDUMP = os.path.abspath(sys.argv[1])
failures = []


def check(ok, what):
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def write(path, rows, count=None):
    with open(path, "wb") as out:
        out.write(struct.pack("<i", len(rows) if count is None else count))
        for jd, flux, err in rows:
            out.write(struct.pack("<di5fif", jd, 0, flux, err, 100.0, 1.0, 1.0, 3, 9.0))


def where_marks(name, path, points, copies, error=0.01, panel=0, spots=None, first_alone=False, extra=()):
    """Records at points, copies of each, checked dark where panel's
    labels put spots (the points, by default), white between neighbours,
    and where the error reaches past a few pixels, its bar drawn above."""
    write(path, [(jd + 1e-6 * i, flux, error) for k, (jd, flux) in enumerate(points)
                 for i in range(1 if first_alone and k == 0 else copies)])
    text = svg_of(["-in", path, "-svg", *extra]).stdout.decode()
    svg, png = path + ".svg", path + ".png"
    with open(svg, "w") as out:
        out.write(text)
    subprocess.run(["rsvg-convert", svg, "-o", png], check=True)
    with open(png, "rb") as image:
        width, height, size, rows = png_pixels(image.read())
    jd0 = float(re.search(r"JD \u2212 (\d+) \(d\)", text).group(1)) if panel == 0 else 0
    # The panel's labels: x ones just under its frame, y ones left of it.
    frame = re.findall(r'<rect class="frame" x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)"', text)
    left, top, panel_width, panel_height = map(float, frame[panel])
    labels_x = [(float(x), float(v)) for x, y, v in re.findall(r'<text class="x" x="([\d.]+)" y="([\d.]+)">'
                                                                r'(-?[\d.]+)</text>', text)
                if abs(float(y) - (top + panel_height + 18)) < 0.01]
    labels_y = [(float(y) - 4, float(v)) for x, y, v in re.findall(r'<text class="y" x="([\d.]+)" y="([\d.]+)">'
                                                                    r'(-?[\d.]+)</text>', text)
                if top <= float(y) - 4 <= top + panel_height]

    def line_through(pairs):
        (p0, v0), (p1, v1) = pairs[0], pairs[-1]
        return lambda v: p0 + (v - v0) * (p1 - p0) / (v1 - v0)
    x_of, y_of = line_through(labels_x), line_through(labels_y)

    def dark(x, y):
        best = 255
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                pixel = rows[int(y) + dy][size * (int(x) + dx):size * (int(x) + dx) + size]
                best = min(best, sum(pixel[:3]) // 3 if size == 3 or pixel[3] > 0 else 255)
        return best < 128
    check(len(labels_x) >= 2 and len(labels_y) >= 2 and (width, height) == (760, 620 if extra else 900),
          f"{name}: {len(labels_x)} x labels, {len(labels_y)} y labels, {width}x{height}")
    spots = points if spots is None else spots(text)
    for jd, flux in spots:
        x, y = x_of(jd - jd0), y_of(flux)
        check(dark(x, y), f"{name}: dark at ({x:.1f}, {y:.1f}) for {jd}, flux {flux}")
        if y_of(flux) - y_of(flux + error) > 8:
            row = rows[int(y_of(flux + error / 2))]
            bar = min(sum(row[size * (int(x) + dx):size * (int(x) + dx) + 3]) for dx in (-2, -1, 0, 1, 2))
            check(bar < 3 * 240, f"{name}: its error bar drawn above it")
    for (jd_a, flux_a), (jd_b, flux_b) in zip(spots, spots[1:]):
        x, y = x_of((jd_a + jd_b) / 2 - jd0), y_of((flux_a + flux_b) / 2)
        check(not dark(x, y), f"{name}: white at ({x:.1f}, {y:.1f}), between two")


def svg_of(args, cwd=None):
    return subprocess.run([LCDUMP] + args, capture_output=True, cwd=cwd)


with tempfile.TemporaryDirectory() as directory:
    def at(name):
        return os.path.join(directory, name)

    tree = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    sample = os.path.join(tree, "examples", "sample.lc")
    # Each case's input, and the switches after -svg.
    cases = {"the sample": (sample, [])}
    write(at("empty.lc"), [])
    cases["no records"] = (at("empty.lc"), [])
    write(at("one.lc"), [(2459000.5, 10.0, 1.0)])
    cases["one record"] = (at("one.lc"), [])
    write(at("bad.lc"), [(2459000.5 + i / 7, 10 + math.sin(i), 0.1) for i in range(40)]
          + [(math.nan, 1.0, 1.0), (2459001.0, math.inf, 1.0), (2459001.5, 3.0, -math.inf)])
    cases["NaN and infinities"] = (at("bad.lc"), [])
    # A control character and a byte that is no UTF-8 (0xFF, as Python
    # spells it in a file name).
    odd = at("a&b<c>\"d'\x01\udcff.lc")
    write(odd, [(2459000.5 + i, float(i % 3), 0.5) for i in range(10)])
    cases["a name needing escapes"] = (odd, [])
    many = 200000
    write(at("many.lc"), [(2459000.5 + 400 * i / many, 100 + 5 * math.sin(i * 0.37), 1.0) for i in range(many)])
    cases["200,000 records"] = (at("many.lc"), [])
    # Folded at a period given: one the sample's search finds, one so
    # short that the cycles overflow a double, one far longer than the
    # light curve, and with one record and none.
    for name, path in (("the sample", sample), ("NaN and infinities", at("bad.lc")), ("one record", at("one.lc")),
                       ("no records", at("empty.lc"))):
        for period in ("0.5667", "5e-324", "1e300"):
            cases[f"{name}, -fold {period}"] = (path, ["-fold", period])
    # A million records, folded; without -fold the search takes its time.
    million = 1000000
    with open(at("million.lc"), "wb") as out:
        out.write(struct.pack("<i", million))
        record = struct.Struct("<di5fif")
        out.write(b"".join(record.pack(2459000.5 + 1000 * i / million, 0, 100 + 5 * math.sin(i * 0.001), 0.2,
                                       100.0, 1.0, 1.0, 3, 9.0) for i in range(million)))
    cases["1,000,000 records, -fold 0.7"] = (at("million.lc"), ["-fold", "0.7"])
    for name, (path, extra) in cases.items():
        done = svg_of(["-in", path, "-svg", *extra])
        check(done.returncode == 0 and done.stderr == b"" and done.stdout.startswith(b"<?xml"),
              f"{name}: status {done.returncode}, {done.stderr!r}")
        svg = at("picture.svg")
        with open(svg, "wb") as out:
            out.write(done.stdout)
        parsed = subprocess.run(["xmllint", "--noout", svg], capture_output=True)
        check(parsed.returncode == 0, f"{name}: xmllint {parsed.stderr.decode(errors='replace')}")
        rendered = subprocess.run(["rsvg-convert", svg, "-o", at("picture.png")], capture_output=True)
        check(rendered.returncode == 0 and os.path.getsize(at("picture.png")) > 0,
              f"{name}: rsvg-convert {rendered.stderr.decode(errors='replace')}")
        check(len(done.stdout) < 1 << 20, f"{name}: {len(done.stdout)} bytes, under 1 MiB")
        # Folded at a period given: two panels, no periodogram, the period
        # named as given.
        frames = done.stdout.count(b'<rect class="frame"')
        check(frames == (2 if extra else 3) and (not extra or b'height="620"' in done.stdout),
              f"{name}: {frames} panels")
        check(not extra or f"folded at {float(extra[1])!r} d".encode() in done.stdout, f"{name}: the period named")
        check(re.search(rb"nan|inf", done.stdout.replace(b"not finite", b"")) is None,
              f"{name}: every coordinate a number")
    title = svg_of(["-in", at("bad.lc"), "-svg"]).stdout.decode()
    # The title is styled as one, and the period's label ends at the
    # panel's right edge rather than running off the picture.
    check('<text class="title" x="90.0" y="28.0">' in title and re.search(r'<text class="y" x="730.0" y="342.0">'
                                                                           r'folded at ', title) is not None,
          "the title and the period's label, styled")
    check("43 records, 3 left out as not finite" in title, "NaN and infinities: the title counts them")
    check("a&amp;b&lt;c&gt;&quot;d&#39;\ufffd\ufffd.lc" in svg_of(["-in", odd, "-svg"]).stdout.decode(),
          "a name needing escapes: escaped, control and stray bytes as U+FFFD")

    # The periodogram is drawn: its panel, the third frame, holds dark
    # pixels of the curve for the sample (3,475 frequencies, a line per
    # pixel column) and for a short star (a line through each), none for
    # one record, which has no grid.
    for name, path, drawn in (("the sample", sample, True), ("43 records", at("bad.lc"), True),
                              ("one record", at("one.lc"), False)):
        text = svg_of(["-in", path, "-svg"]).stdout.decode()
        with open(at("p.svg"), "w") as out:
            out.write(text)
        subprocess.run(["rsvg-convert", at("p.svg"), "-o", at("p.png")], check=True)
        with open(at("p.png"), "rb") as image:
            width, height, size, rows = png_pixels(image.read())
        frames = re.findall(r'<rect class="frame" x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)"',
                            text)
        left, top, w, h = map(float, frames[2])
        curve = sum(1 for y in range(int(top) + 2, int(top + h) - 2) for x in range(int(left) + 2, int(left + w) - 2)
                    if sum(rows[y][size * x:size * x + 3]) < 3 * 128 and rows[y][size * x + 2] > rows[y][size * x])
        check(len(frames) == 3 and (curve > 100) == drawn, f"{name}: {curve} dark pixels in the periodogram's panel")
    check("no period" in svg_of(["-in", at("one.lc"), "-svg"]).stdout.decode(), "one record: no period, said so")

    # The README's first picture is the sample as lcdump draws it now, run
    # as make plot runs it, from the top of the tree.
    with open(os.path.join(tree, "doc", "sample.svg"), "rb") as shown:
        check(shown.read() == svg_of(["-in", "examples/sample.lc", "-svg"], cwd=tree).stdout,
              "doc/sample.svg is what lcdump draws now (make plot draws it again)")

    # The same bytes from another directory.
    for place in ("one", "two"):
        os.mkdir(at(place))
        write(os.path.join(directory, place, "star.lc"), [(2459000.5 + i * 0.31, 5 + math.sin(i), 0.2)
                                                          for i in range(300)])
    first, second = (svg_of(["-in", "star.lc", "-svg"], cwd=at(place)).stdout for place in ("one", "two"))
    check(first == second and len(first) > 0, "the same input in two directories gives the same bytes")

    check(svg_of(["-in", "star.lc", "-svg", "-period"], cwd=at("one")).stdout == first,
          "-period with -svg changes nothing: the search runs anyway")

    # -list writes NAME.svg.
    with open(at("list.txt"), "w") as out:
        out.write(os.path.join(directory, "one", "star.lc") + "\n")
    listed = svg_of(["-list", at("list.txt"), "-svg"])
    alone = svg_of(["-in", os.path.join(directory, "one", "star.lc"), "-svg"]).stdout
    with open(os.path.join(directory, "one", "star.svg"), "rb") as made:
        check(listed.returncode == 0 and made.read() == alone, "-list writes star.svg, as -in writes it")

    # A bad input: its line and no picture.
    write(at("short.lc"), [(2459000.5, 1.0, 1.0)], count=3)
    short = svg_of(["-in", at("short.lc"), "-svg"])
    check(short.returncode == 8 and short.stdout == b"" and short.stderr.count(b"\n") == 1,
          f"a short file: status {short.returncode}, {short.stderr!r}, no picture")

    # Five known points, far apart: each is dark where the first panel's
    # tick labels put it, and the middle between two is white; once as
    # five records, and once as 1,000 records at each, which are drawn a
    # mark per occupied cell.
    points = [(2459000.5, 10.0), (2459001.5, 14.0), (2459002.5, 11.0), (2459003.5, 16.0), (2459004.5, 12.0)]
    for copies in (1, 1000):
        where_marks(f"five points, {copies} records each", at(f"five{copies}.lc"), points, copies, error=0.4)
    where_marks("five points, the first one record and the others 1,200", at("lone.lc"), points, 1200, error=0.4,
                first_alone=True)
    # The fold: four records a cycle at phases 0, 1/4, 1/2 and 3/4 of a
    # 0.7-day sinusoid, drawn at those phases of the period the picture
    # names, and one cycle on.
    cycle = [(2459000.5 + 0.7 * (c + q / 4), 10 + 3 * math.sin(2 * math.pi * q / 4)) for c in range(30) for q in range(4)]

    def folded_spots(text):
        period = float(re.search(r"folded at ([\d.e+-]+) d", text).group(1))
        spots = []
        for jd, flux in cycle[:4]:
            phase = (jd - cycle[0][0]) / period % 1
            spots += [(phase, flux), (phase + 1, flux)]
        return sorted(spots)
    where_marks("the fold", at("fold.lc"), cycle, 1, panel=1, spots=folded_spots)
    # Folded at the period given, whose phases are known without a search.
    where_marks("-fold 0.7", at("fold.lc"), cycle, 1, panel=1, extra=("-fold", "0.7"),
                spots=lambda text: sorted((q / 4 + turn, flux) for q, (jd, flux) in enumerate(cycle[:4])
                                          for turn in (0, 1)))

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
