"""PNG files for the project's scripts and tests: a reader that checks every CRC and undoes all
five row filters, and a writer with zlib.

The launcher writes its own PNG files in C++ (src/selftest/png.cpp); this is the independent
reader that the writer's tests and the end-to-end runs decode them with, and the encoder that the
scripts re-encode pictures with. Only what those files are is supported: 8 bits per channel, RGB
or RGBA, not interlaced.
"""
import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
RGB, RGBA = 2, 6


class PngError(ValueError):
    """The data is no PNG file this reader takes."""


class Picture:
    """A decoded picture: width, height, PNG colour type and pixels, rows top to bottom."""

    def __init__(self, width, height, colour, pixels):
        self.width, self.height, self.colour, self.pixels = width, height, colour, pixels
        self.channels = 3 if colour == RGB else 4

    def rows(self):
        stride = self.width * self.channels
        return [self.pixels[y * stride:(y + 1) * stride] for y in range(self.height)]

    def distinct_colours(self):
        n, px = self.channels, self.pixels
        return len({px[i:i + 3] for i in range(0, len(px), n)})


def chunks(data):
    """Yields (kind, body) of every chunk, each CRC checked."""
    if not data.startswith(SIGNATURE):
        raise PngError("bad signature")
    at = len(SIGNATURE)
    while at < len(data):
        if at + 12 > len(data):
            raise PngError("truncated chunk at %d" % at)
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        tail = data[at + 8 + length:at + 12 + length]
        if len(body) != length or len(tail) != 4:
            raise PngError("truncated chunk %r" % kind)
        if zlib.crc32(kind + body) != struct.unpack(">I", tail)[0]:
            raise PngError("bad CRC in %r" % kind)
        yield kind, body
        at += 12 + length


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(
        ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def unfilter(raw, width, height, bpp):
    """The pixels of inflated image data whose rows may use any of the five filters."""
    stride = width * bpp
    if all(raw[y * (stride + 1)] == 0 for y in range(height)):
        # Unfiltered rows, as the launcher writes them: no arithmetic, which keeps big screenshots
        # fast to read.
        return b"".join(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)] for y in range(height))
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
                raise PngError("unknown filter %d" % kind)
        rows.append(bytes(row))
        prev = row
    return b"".join(rows)


def decode(data):
    found = list(chunks(data))
    kinds = [k for k, _ in found]
    if not kinds or kinds[0] != b"IHDR" or kinds[-1] != b"IEND" or b"IDAT" not in kinds:
        raise PngError("bad chunk order %r" % kinds)
    width, height, depth, colour, comp, filt, inter = struct.unpack(">IIBBBBB", found[0][1])
    if depth != 8 or colour not in (RGB, RGBA) or comp or filt or inter:
        raise PngError("unsupported header")
    bpp = 3 if colour == RGB else 4
    try:
        raw = zlib.decompress(b"".join(body for kind, body in found if kind == b"IDAT"))
    except zlib.error as e:
        raise PngError("image data: %s" % e)
    if len(raw) != height * (width * bpp + 1):
        raise PngError("image data of %d bytes" % len(raw))
    return Picture(width, height, colour, unfilter(raw, width, height, bpp))


def read(path):
    with open(path, "rb") as f:
        return decode(f.read())


def encode(picture, level=9, up_filter=False):
    """The picture as a PNG file; the "up" filter suits vertical gradients."""
    out, prev = bytearray(), bytes(picture.width * picture.channels)
    for row in picture.rows():
        if up_filter:
            out.append(2)
            out += bytes((a - b) & 0xFF for a, b in zip(row, prev))
            prev = row
        else:
            out.append(0)
            out += row
    header = struct.pack(">IIBBBBB", picture.width, picture.height, 8, picture.colour, 0, 0, 0)
    return (SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(out), level))
            + chunk(b"IEND", b""))
