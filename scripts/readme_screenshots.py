#!/usr/bin/env python3
"""Copies four of the self-test's screenshots into docs/screenshots for the README, compressed.

    env -u DISPLAY scripts/demo.sh          # runs the full self-test headless
    python3 scripts/readme_screenshots.py dist/selftest-run/release/selftest docs/screenshots

The launcher writes its screenshots uncompressed (stored deflate blocks, about 2.5 MB each);
here they are re-encoded with zlib at its best level and the "up" row filter, which keeps
the committed pictures small without changing a pixel.
"""
import os
import sys

import png_file

PICKS = {
    "01-welcome.png": "welcome.png",
    "06-build-6-packs.png": "preparing.png",
    "09-built.png": "ready.png",
    "14-settings-fr.png": "settings-fr.png",
}


def main():
    src, dst = sys.argv[1], sys.argv[2]
    os.makedirs(dst, exist_ok=True)
    for name, target in PICKS.items():
        picture = png_file.read(os.path.join(src, name))
        with open(os.path.join(dst, target), "wb") as f:
            # "up": the background's vertical gradient compresses far better
            f.write(png_file.encode(picture, up_filter=True))
        print("%s -> %s (%d bytes)" % (name, target, os.path.getsize(os.path.join(dst, target))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
