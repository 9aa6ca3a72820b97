"""Independent PNG reader for the writer's tests: Python's zlib checks every CRC-32, inflates the
image data (which checks the Adler-32) and the rows are unfiltered by scripts/png_file.py.

Usage: png_decode.py IN.png OUT.raw -- writes the pixels, rows top to bottom, 3 or 4 bytes each,
and prints "width height colour_type".
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "scripts"))
import png_file  # noqa: E402


def main():
    try:
        picture = png_file.read(sys.argv[1])
    except png_file.PngError as e:
        sys.stderr.write("%s\n" % e)
        sys.exit(1)
    with open(sys.argv[2], "wb") as f:
        f.write(picture.pixels)
    print(picture.width, picture.height, picture.colour)


if __name__ == "__main__":
    main()
