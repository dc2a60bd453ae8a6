#!/usr/bin/env python3
"""lcdump -list -report DIR checked in real readers: headless Chromium opens
the page from file:// and every link and image in it is a file in DIR; the
page reads whole with script off; its table is summary.csv, which is what
-stats -period writes, ranked by flux1_chi2dof; each picture is what -svg
writes; the diagram, rendered by rsvg-convert, is dark where each star's
figures and the diagram's own decade labels put it; the failed stars are
listed with the lines lcdump said of them; the rules of -list on existing
files hold for the page's own files.

usage: report_check.py LCDUMP
"""
import csv
import html.parser
import io
import math
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngread import png_pixels  # noqa: E402

LCDUMP = os.path.abspath(sys.argv[1])
CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars"]
failures = []


def check(ok, what):
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def write_star(path, n, base, amplitude, seed):
    rng = random.Random(seed)
    with open(path, "wb") as out:
        out.write(struct.pack("<i", n))
        for i in range(n):
            jd = 2459000.5 + 60 * i / n + rng.random() * 0.1
            flux = base + amplitude * math.sin(2 * math.pi * jd / (0.3 + seed % 7)) + rng.gauss(0, 0.01 * base)
            out.write(struct.pack("<di5fif", jd, i, flux, 0.01 * base, 100.0, 1.0, 1.0, 3, 9.0))


def run(args, cwd=None):
    return subprocess.run([LCDUMP] + args, capture_output=True, cwd=cwd)


class Page(html.parser.HTMLParser):
    """The links, images, table rows, diagram points and failures of a page."""

    def __init__(self):
        super().__init__()
        self.links, self.rows, self.points, self.failed, self.scripts = [], [], [], [], 0
        self.text, self.cell, self.in_list, self.point = [], None, False, None
        self.svg_texts, self.in_text = [], None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name in ("href", "src"):
            if name in attrs:
                self.links.append(attrs[name])
        if tag == "tr":
            self.rows.append([])
        elif tag in ("td", "th"):
            self.cell = []
        elif tag == "circle":
            self.point = [self.links[-1], float(attrs["cx"]), float(attrs["cy"]), []]
        elif tag == "ul":
            self.in_list = True
        elif tag == "li" and self.in_list:
            self.failed.append([])
        elif tag == "script":
            self.scripts += 1
        elif tag == "text":
            self.in_text = []

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.rows[-1].append("".join(self.cell))
            self.cell = None
        elif tag == "circle":
            self.points.append((self.point[0], self.point[1], self.point[2], "".join(self.point[3])))
            self.point = None
        elif tag == "ul":
            self.in_list = False
        elif tag == "text":
            self.svg_texts.append("".join(self.in_text))
            self.in_text = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)
        if self.point is not None:
            self.point[3].append(data)
        if self.in_list and self.failed:
            self.failed[-1].append(data)
        if self.in_text is not None:
            self.in_text.append(data)


def dom_of(index, chromium=True):
    """The page as Chromium has it once loaded, its script run; or as the
    file itself holds it, which is what a reader without script sees."""
    if chromium:
        done = subprocess.run(CHROMIUM + ["--dump-dom", "file://" + index], capture_output=True, timeout=120)
        status, text = done.returncode, done.stdout.decode()
    else:
        with open(index) as source:
            status, text = 0, source.read()
    page = Page()
    page.feed(text)
    return status, page


with tempfile.TemporaryDirectory() as top:
    os.chdir(top)
    os.mkdir("survey")
    os.mkdir(os.path.join("survey", "deep"))
    names = []
    for k in range(12):
        name = os.path.join("survey", f"star{k:02d}.lc")
        # Every third star varies far beyond its errors.
        write_star(name, 40 + 10 * k, 100.0 * 3 ** (k % 5), 30.0 * 3 ** (k % 5) if k % 3 == 0 else 0, k)
        names.append(name)
    odd = os.path.join("survey", "deep", "a b&c#?\u00e9.lc")
    write_star(odd, 80, 5000, 2000, 99)
    names.append(odd)
    # Two records give no period, one no chi2dof either: ranked last, and
    # left out of the diagram.
    for n in (2, 1):
        names.append(os.path.join("survey", f"short{n}.lc"))
        write_star(names[-1], n, 50, 0, n)
    with open(os.path.join("survey", "bad.lc"), "wb") as out:
        out.write(b"JD flux\n")
    names.append(os.path.join("survey", "bad.lc"))
    with open("list.txt", "w") as out:
        out.write("\n".join(names) + "\n")

    made = run(["-list", "list.txt", "-report", "page"])
    said = made.stderr.decode().splitlines()
    check(made.returncode == 8 and made.stdout == b"" and len(said) == 2
          and said[0].startswith("Error: survey/bad.lc: ") and said[1] == "lcdump: 1 of 16 files not converted",
          f"the run: status {made.returncode}, {said}")
    stats = run(["-list", "list.txt", "-stats", "-period"]).stdout
    with open(os.path.join("page", "summary.csv"), "rb") as table:
        check(table.read() == stats, "summary.csv is what -stats -period writes")
    for name in names[:-1]:
        picture = os.path.join("page", os.path.basename(name)[:-3] + ".svg")
        with open(picture, "rb") as svg:
            check(svg.read() == run(["-in", name, "-svg"]).stdout, f"{picture} is what -svg writes")

    index = os.path.realpath(os.path.join("page", "index.html"))
    for script in (True, False):
        status, page = dom_of(index, script)
        how = "in Chromium" if script else "as the file holds it, without script"
        check(status == 0 and len(page.rows) == 16, f"the page {how}: {len(page.rows)} rows")
        inside = [os.path.realpath(os.path.join("page", urllib.parse.unquote(link.split("#")[0])))
                  for link in page.links if not link.startswith("#")]
        check(len(inside) == 15 + 14 + 1 and all(os.path.isfile(path) and path.startswith(os.path.realpath("page"))
                                                for path in inside),
              f"{how}: each of {len(inside)} links is a file in DIR")
        rows = list(csv.reader(io.StringIO(stats.decode())))
        ranked = [rows[0]] + sorted(rows[1:], key=lambda r: -float(r[8]) if r[8] != "nan" else math.inf)
        check([row[1:] for row in page.rows] == ranked, f"{how}: the table is summary.csv, most variable first")
        check([row[0] for row in page.rows[1:]] == [str(k) for k in range(1, 16)], f"{how}: ranked 1 to 15")
        check(len(page.failed) == 1 and "survey/bad.lc" in "".join(page.failed[0])
              and said[0] in "".join(page.failed[0]), f"{how}: the failed star, with its message")
        check(len(page.points) == 14 and all(name.endswith(".svg") for name, x, y, title in page.points),
              f"{how}: a point for each star, linked to its picture")
        # Each point's title names its star and its figures, as summary.csv
        # has them, and links to that star's picture.
        by_picture = {urllib.parse.quote(os.path.basename(row[0])[:-3] + ".svg"): row for row in rows[1:]}
        check(all(title.startswith(by_picture[link][0] + ":") and f"flux1_median {by_picture[link][5]}," in title
                  and f"flux1_chi2dof {by_picture[link][8]}," in title and f"period {by_picture[link][13]} d" in title
                  for link, x, y, title in page.points), f"{how}: each point's title, its star's figures")
        check("flux1_median" in page.svg_texts and "flux1_chi2dof" in page.svg_texts, f"{how}: the axes named")
    check(page.scripts == 1, "one script, for sorting")
    # The script sorts by a column, the greatest first and nan last, as a
    # click on its header does; Chromium runs it for #sort=NAME.
    for column in ("period", "file", "nonfinite"):
        done = subprocess.run(CHROMIUM + ["--dump-dom", "file://" + index + "#sort=" + column], capture_output=True,
                              timeout=120)
        sorted_page = Page()
        sorted_page.feed(done.stdout.decode())
        at = sorted_page.rows[0].index(column)
        got = [row[at] for row in sorted_page.rows[1:]]
        key = (lambda v: v) if column == "file" else (lambda v: -math.inf if v == "nan" else float(v))
        want = sorted((row[at] for row in page.rows[1:]), key=key, reverse=True)
        check(got == want, f"sorted by {column} in Chromium: {got[:3]}...")

    # The diagram's points where the figures say, by the diagram's own
    # decade labels, in rsvg-convert's rendering of it.
    with open(index) as source:
        text = source.read()
    diagram = text[text.index("<svg"):text.index("</svg>") + 6]
    with open("diagram.svg", "w") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n' + diagram)
    check(subprocess.run(["xmllint", "--noout", "diagram.svg"]).returncode == 0, "the diagram parses as XML")
    subprocess.run(["rsvg-convert", "diagram.svg", "-o", "diagram.png"], check=True)
    with open("diagram.png", "rb") as image:
        width, height, size, pixels = png_pixels(image.read())
    labels_x = [(float(x), int(k)) for x, k in re.findall(r'<text class="x" x="([\d.]+)" y="[\d.]+">10<tspan '
                                                            r'dy="-6" font-size="10">(-?\d+)</tspan>', diagram)]
    labels_y = [(float(y) - 4, int(k)) for y, k in re.findall(r'<text class="y" x="[\d.]+" y="([\d.]+)">10<tspan '
                                                                r'dy="-6" font-size="10">(-?\d+)</tspan>', diagram)]

    def through(pairs):
        (p0, v0), (p1, v1) = pairs[0], pairs[-1]
        return lambda v: p0 + (math.log10(v) - v0) * (p1 - p0) / (v1 - v0)
    x_of, y_of = through(labels_x), through(labels_y)
    check("1 star is left out of it" in text, "the star without chi2dof: said to be left out")
    for row in rows[1:-1]:
        x, y = x_of(float(row[5])), y_of(float(row[8]))
        dark = min(sum(pixels[int(y) + dy][size * (int(x) + dx):size * (int(x) + dx) + 3])
                   for dx in (-1, 0, 1) for dy in (-1, 0, 1))
        check(dark < 3 * 128, f"the diagram: {row[0]} dark at ({x:.1f}, {y:.1f})")

    # Chromium's screenshot of the page shows the diagram's points.
    subprocess.run(CHROMIUM + ["--screenshot=" + os.path.join(top, "shot.png"), "--window-size=1000,900",
                               "file://" + index], capture_output=True, timeout=120)
    with open("shot.png", "rb") as image:
        width, height, size, shot = png_pixels(image.read())
    dots = sum(1 for line in shot for i in range(0, len(line), size) if tuple(line[i:i + 3]) == (17, 51, 85))
    check(dots > 14 * 15, f"Chromium's screenshot: {dots} pixels of the points' colour")

    # The page's own files as -list treats its outputs: not replaced
    # unless -force, never a file the run reads; DIR made, or refused.
    again = run(["-list", "list.txt", "-report", "page"])
    check(again.returncode == 8 and again.stderr == b"Error: page/summary.csv exists; not replaced "
                                                     b"(-force replaces it)\n", f"again: {again.stderr!r}")
    forced = run(["-list", "list.txt", "-report", "page", "-force"])
    check(forced.returncode == 8 and forced.stderr.decode().splitlines() == said, "again with -force: as the first")
    with open(os.path.join("page", "index.html")) as source:
        check(source.read() == text, "again with -force: the same page")
    with open("list.txt", "a") as out:
        out.write("page/index.html\n")
    reads = run(["-list", "list.txt", "-report", "page", "-force"])
    check(reads.returncode == 8 and reads.stderr == b"Error: page/index.html would replace a file this run reads\n",
          f"an input as the page: {reads.stderr!r}")
    open("plain", "w").close()
    for directory, message in (("plain", b"Error: plain: not a directory\n"),
                               ("no/such", b"Error: can't make directory no/such: No such file or directory\n")):
        refused = run(["-list", "list.txt", "-report", directory])
        check(refused.returncode == 8 and refused.stderr == message, f"-report {directory}: {refused.stderr!r}")

    # -mirror keeps each star's directories under DIR, and the links follow,
    # DIR given with a separator at its end as well.
    mirrored = run(["-list", "list.txt", "-report", "mirror/", "-mirror"])
    status, page = dom_of(os.path.realpath(os.path.join("mirror", "index.html")))
    inside = [os.path.join("mirror", urllib.parse.unquote(link)) for link in page.links if not link.startswith("#")]
    check(mirrored.returncode == 8 and os.path.isfile(os.path.join("mirror", "survey", "deep", "a b&c#?\u00e9.svg"))
          and all(os.path.isfile(path) for path in inside), f"-mirror: {len(inside)} links, each a file")

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
