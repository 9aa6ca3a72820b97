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

import png_file

ROOT = pathlib.Path(__file__).resolve().parent.parent
ICON_DIR = ROOT / "res" / "icon"
SIZES = (256, 128, 64, 32)


def recompress(data):
    return png_file.encode(png_file.decode(data))


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
