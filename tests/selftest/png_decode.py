"""Independent PNG reader for the writer's tests: Python's zlib checks every CRC-32, inflates the
image data (which checks the Adler-32) and the rows are unfiltered here.

Usage: png_decode.py IN.png OUT.raw -- writes the pixels, rows top to bottom, 3 or 4 bytes each,
and prints "width height colour_type".
"""
import struct
import sys
import zlib


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def chunks(data):
    at = 8
    while at < len(data):
        if at + 12 > len(data):
            fail("truncated chunk at %d" % at)
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            fail("bad CRC in %r" % kind)
        yield kind, body
        at += 12 + length
    if at != len(data):
        fail("trailing bytes")


def unfilter(raw, width, height, bpp):
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = row[i - bpp] if i >= bpp else 0
            up, corner = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                row[i] = (row[i] + pred) & 255
            elif kind != 0:
                fail("unknown filter %d" % kind)
        rows.append(bytes(row))
        prev = row
    return b"".join(rows)


def main():
    data = open(sys.argv[1], "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("bad signature")
    found = list(chunks(data))
    kinds = [k for k, _ in found]
    if kinds[0] != b"IHDR" or kinds[-1] != b"IEND" or b"IDAT" not in kinds:
        fail("bad chunk order %r" % kinds)
    width, height, depth, colour, comp, filt, inter = struct.unpack(">IIBBBBB", found[0][1])
    if depth != 8 or colour not in (2, 6) or comp or filt or inter:
        fail("unsupported header")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(body for kind, body in found if kind == b"IDAT"))
    if len(raw) != height * (width * bpp + 1):
        fail("image data of %d bytes" % len(raw))
    open(sys.argv[2], "wb").write(unfilter(raw, width, height, bpp))
    print(width, height, colour)


if __name__ == "__main__":
    main()
