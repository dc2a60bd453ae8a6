"""The pixels of a PNG as rsvg-convert and Chromium write them, for the
picture tests to look at."""
import struct
import zlib


def png_pixels(data):
    """Width, height, bytes a pixel and rows of a non-interlaced 8-bit RGB
    or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, chunks, width, height, size = 8, b"", 0, 0, 4
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            size = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            chunks += body
        at += 12 + length
    raw, stride, rows = zlib.decompress(chunks), size * width, []
    previous = bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - size] if i >= size else 0
            up = previous[i]
            corner = previous[i - size] if i >= size else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(line)
        previous = line
    return width, height, size, rows
