#!/usr/bin/env python3
"""The launcher's icon files.

  make_icons.py draw --tool build/ci/bin/qm-icon   redraws res/icon/qm-launcher-<size>.png with
                                                   the launcher's own drawing code
  make_icons.py ico OUT.ico                        packs those PNGs into a Windows icon (the
                                                   Windows build does this itself)

The tool writes its PNGs uncompressed; they are stored compressed, pixel for pixel the same.
"""
import argparse
import pathlib
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
ICON_DIR = ROOT / "res" / "icon"
SIZES = (256, 128, 64, 32)
SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunks(data):
    if not data.startswith(SIGNATURE):
        raise ValueError("not a PNG file")
    at = len(SIGNATURE)
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind = data[at + 4:at + 8]
        yield kind, data[at + 8:at + 8 + length]
        at += 12 + length


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def recompress(data):
    header, rows = b"", b""
    for kind, body in chunks(data):
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            rows += body
    return (SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(zlib.decompress(rows), 9))
            + chunk(b"IEND", b""))


def icon_path(size):
    return ICON_DIR / f"qm-launcher-{size}.png"


def draw(tool):
    ICON_DIR.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([str(tool), tmp, *map(str, SIZES)], check=True)
        for size in SIZES:
            drawn = pathlib.Path(tmp) / f"qm-launcher-{size}.png"
            icon_path(size).write_bytes(recompress(drawn.read_bytes()))


def ico(out):
    # An icon directory whose images are PNG files, as Windows reads them since Vista; a width or
    # height of 256 is written as 0.
    images = [icon_path(size).read_bytes() for size in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = 0 if size >= 256 else size
        data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    pathlib.Path(out).write_bytes(data + b"".join(images))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    d = sub.add_parser("draw")
    d.add_argument("--tool", required=True)
    i = sub.add_parser("ico")
    i.add_argument("out")
    args = parser.parse_args()
    if args.command == "draw":
        draw(args.tool)
    else:
        ico(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
