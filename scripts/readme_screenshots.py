#!/usr/bin/env python3
"""Copies four of the self-test's screenshots into docs/screenshots for the README, compressed.

    env -u DISPLAY scripts/demo.sh          # runs the full self-test headless
    python3 scripts/readme_screenshots.py dist/selftest-run/release/selftest docs/screenshots

The launcher writes its screenshots uncompressed (stored deflate blocks, about 2.5 MB each);
here they are re-encoded with zlib at its best level and the "up" row filter, which keeps
the committed pictures small without changing a pixel.
"""
import os
import struct
import sys
import zlib

PICKS = {
    "01-welcome.png": "welcome.png",
    "06-build-6-packs.png": "preparing.png",
    "09-built.png": "ready.png",
    "14-settings-fr.png": "settings-fr.png",
}


def read_png(path):
    data = open(path, "rb").read()
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            ihdr = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", ihdr[:10])
    if depth != 8 or colour not in (2, 6):
        raise ValueError("%s: not an 8-bit RGB(A) image" % path)
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels + 1
    rows = [raw[r * stride + 1:(r + 1) * stride] for r in range(height)]
    if any(raw[r * stride] != 0 for r in range(height)):
        raise ValueError("%s: expected unfiltered rows" % path)
    return width, height, colour, rows


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(
        ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def write_png(path, width, height, colour, rows):
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        out.append(2)  # "up": the background's vertical gradient compresses far better
        out += bytes((a - b) & 0xFF for a, b in zip(row, prev))
        prev = row
    ihdr = struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                chunk(b"IDAT", zlib.compress(bytes(out), 9)) + chunk(b"IEND", b""))


def main():
    src, dst = sys.argv[1], sys.argv[2]
    os.makedirs(dst, exist_ok=True)
    for name, target in PICKS.items():
        w, h, colour, rows = read_png(os.path.join(src, name))
        write_png(os.path.join(dst, target), w, h, colour, rows)
        print("%s -> %s (%d bytes)" % (name, target, os.path.getsize(os.path.join(dst, target))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
