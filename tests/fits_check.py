#!/usr/bin/env python3
"""Reads lcdump's -fits output with a reader of its own and checks it against
the input: the header cards, each column's name and type, every value's bits,
the block padding and both checksums; then runs fitsverify, where given, on
the same files. Last, every input that fails as text fails the same way with
-fits, and writes nothing.

usage: fits_check.py LCDUMP SAMPLE [FITSVERIFY]
"""
import os
import random
import struct
import subprocess
import sys
import tempfile

BLOCK = 2880
COLUMNS = [("JD", "1D", "d"), ("obsID", "1J", "i"), ("flux1", "1E", "f"), ("err1", "1E", "f"),
           ("sky", "1E", "f"), ("errs", "1E", "f"), ("chisq1", "1E", "f"), ("nuse", "1J", "i"),
           ("effective_pix", "1E", "f")]
RECORD = "".join(code for _, _, code in COLUMNS)  # 40 bytes, no padding


def header(data, at):
    """The cards of the header at byte at, as a dict, and where its data starts."""
    cards = {}
    while True:
        block = data[at:at + BLOCK]
        assert len(block) == BLOCK, "header ends before END"
        at += BLOCK
        for i in range(0, BLOCK, 80):
            card = block[i:i + 80].decode("ascii")
            key = card[:8].rstrip()
            if key == "END":
                return cards, at
            if key == "HISTORY":
                cards["HISTORY"] = cards.get("HISTORY", "") + card[8:].rstrip()
            if card[8:10] == "= ":
                value = card[10:]
                if value.lstrip().startswith("'"):
                    cards[key] = value.split("'")[1].rstrip()
                else:
                    cards[key] = value.split("/")[0].strip()


def ones_sum(chunk):
    total = sum(struct.unpack(">%dI" % (len(chunk) // 4), chunk))
    while total >> 32:
        total = (total & 0xFFFFFFFF) + (total >> 32)
    return total


def check_fits(fits, raw, source):
    count = struct.unpack_from("<i", raw)[0]
    primary, at = header(fits, 0)
    assert (primary["SIMPLE"], primary["BITPIX"], primary["NAXIS"], primary["EXTEND"]) == ("T", "8", "0", "T")
    assert ones_sum(fits[:at]) == 0xFFFFFFFF and primary["DATASUM"] == "0", "primary checksum"
    table, data_at = header(fits, at)
    expected = {"XTENSION": "BINTABLE", "BITPIX": "8", "NAXIS": "2", "NAXIS1": "40", "NAXIS2": str(count),
                "PCOUNT": "0", "GCOUNT": "1", "TFIELDS": "9"}
    for n, (name, form, _) in enumerate(COLUMNS, 1):
        expected["TTYPE%d" % n], expected["TFORM%d" % n] = name, form
    assert {k: table.get(k) for k in expected} == expected, table
    assert table["EXTNAME"] and table["CREATOR"].startswith("lcdump ") and table["TUNIT1"] == "d"
    # The source's name, bytes other than printable ASCII as \xHH; a name
    # too long for the header block cut, and ... in its place.
    name = "".join(chr(b) if 0x20 <= b <= 0x7E else "\\x%02x" % b for b in source)
    whole, history = table["CREATOR"] + " from " + name, table["HISTORY"]
    assert history == whole or (history.endswith("...") and whole.startswith(history[:-3])), history
    size = 40 * count
    padded = -(-size // BLOCK) * BLOCK
    assert len(fits) == data_at + padded, "file size"
    data = fits[data_at:]
    assert data[size:] == bytes(padded - size), "data padding"
    # Bits, not values: big-endian on one side, little-endian on the other.
    rows = struct.iter_unpack(">" + RECORD.replace("d", "Q").replace("f", "I"), data[:size])
    wanted = struct.iter_unpack("<" + RECORD.replace("d", "Q").replace("f", "I"), raw[4:4 + size])
    assert all(a == b for a, b in zip(rows, wanted)), "row bits"
    assert table["DATASUM"] == str(ones_sum(data)), "DATASUM"
    assert ones_sum(fits[at:]) == 0xFFFFFFFF, "table checksum"


def run(lcdump, args):
    return subprocess.run([lcdump] + args, capture_output=True)


def main():
    lcdump, sample = os.path.abspath(sys.argv[1]), sys.argv[2]
    fitsverify = sys.argv[3] if len(sys.argv) > 3 else None
    rng = random.Random(2880)
    d = lambda bits: struct.pack("<Q", bits)
    f = lambda *bits: struct.pack("<%dI" % len(bits), *bits)
    specials = [
        # NaN payloads of both signs, signed zeros, infinities, subnormals, INT_MIN
        d(0x7FF4000000000001) + struct.pack("<i", -2**31) + f(0x7FA00001, 0xFFC00123, 0x80000000, 0, 0x00000001)
        + struct.pack("<i", 2**31 - 1) + f(0x807FFFFF),
        d(0xFFF800000000BEEF) + struct.pack("<i", 0) + f(0x7F800000, 0xFF800000, 0x7F7FFFFF, 0x00800000, 0xFF800001)
        + struct.pack("<i", -1) + f(0x7FFFFFFF),
        d(0x8000000000000000) + bytes(32), d(0x0000000000000001) + bytes(32), d(0xFFF0000000000000) + bytes(32),
    ]
    files = {
        "sample": open(sample, "rb").read(),
        "zero count": struct.pack("<i", 0),
        "special values": struct.pack("<i", len(specials)) + b"".join(specials) + b"trailing bytes",
        "100000 random records": struct.pack("<i", 100000) + rng.randbytes(40 * 100000),
    }
    broken = {
        "ends early": files["sample"][:1000],
        "negative count": struct.pack("<i", -3) + bytes(40),
        "no count": b"\x01\x00",
    }
    if not fitsverify:
        print("fitsverify not installed: only this script's own reader checks the files")
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, raw in files.items():
            source = b"\xc3\xa9" * 100 + b".lc" if name == "special values" else b"in.lc"
            path = os.path.join(tmp.encode(), source)
            open(path, "wb").write(raw)
            r = run(lcdump, ["-in", path, "-fits"])
            try:
                assert r.returncode == 0 and r.stderr == b"", r.stderr
                check_fits(r.stdout, raw, source)
                if fitsverify:
                    open(os.path.join(tmp, "out.fits"), "wb").write(r.stdout)
                    v = subprocess.run([fitsverify, os.path.join(tmp, "out.fits")], capture_output=True, text=True)
                    assert "found 0 warning(s) and 0 error(s)" in v.stdout, v.stdout[-2000:]
                print("ok  %s" % name)
            except AssertionError as e:
                failures += 1
                print("FAIL %s: %s" % (name, e))
        # Failing input: the text dump's message and status, and nothing at all on stdout.
        cases = [(name, ["-in", "x.lc"], raw) for name, raw in broken.items()]
        cases += [("missing file", ["-in", "nosuch.lc"], None), ("with -csv", ["-in", "x.lc", "-csv"], b"")]
        for name, args, raw in cases:
            if raw is not None:
                open(os.path.join(tmp, "x.lc"), "wb").write(raw)
            text = subprocess.run([lcdump] + args, capture_output=True, cwd=tmp)
            fits = subprocess.run([lcdump] + args + ["-fits"], capture_output=True, cwd=tmp)
            want_err = text.stderr if name != "with -csv" else b"Error: -fits and -csv can't be combined\n"
            if fits.returncode == 8 and fits.stdout == b"" and fits.stderr == want_err and want_err.count(b"\n") == 1:
                print("ok  fails cleanly: %s" % name)
            else:
                failures += 1
                print("FAIL %s: status %d, %d bytes out, %r" % (name, fits.returncode, len(fits.stdout), fits.stderr))
        with open("/dev/full", "wb") as full:
            r = subprocess.run([lcdump, "-in", sample, "-fits"], stdout=full, stderr=subprocess.PIPE)
        if r.returncode != 8 or not r.stderr.startswith(b"Error: can't write output: "):
            failures += 1
            print("FAIL /dev/full: status %d, %r" % (r.returncode, r.stderr))
    print("%d passed, %d failed" % (len(files) + len(cases) + 1 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
