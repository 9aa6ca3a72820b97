"""Tests of the Linux desktop entry and the icon: the icon files drawn by scripts/make_icons.py,
the entry the release carries and the one install-desktop-entry.sh writes, both checked by
desktop-file-validate and both started as a desktop would start them, from a release folder whose
path has a space, quotes and a dollar sign in it.

Run from the repository root:
    python3 -m unittest discover -s tests/release_kit -t tests/release_kit

Sections: icon files | desktop entries
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ICON_DIR = os.path.join(REPO, "res", "icon")
LINUX = os.path.join(REPO, "release_kit", "linux")


# --- icon files -------------------------------------------------------------------------------


sys.path.insert(0, os.path.join(REPO, "scripts"))
import png_file  # noqa: E402


def read_png(path):
    """(width, height, rows of RGBA bytes) of an 8-bit RGBA PNG file."""
    picture = png_file.read(path)
    assert picture.colour == png_file.RGBA, path
    return picture.width, picture.height, picture.rows()


class IconFiles(unittest.TestCase):
    def test_each_size_is_drawn_with_corners_clear_and_the_bars_bright(self):
        for size in (256, 128, 64, 32):
            with self.subTest(size=size):
                width, height, rows = read_png(os.path.join(ICON_DIR, "qm-launcher-%d.png" % size))
                self.assertEqual((width, height), (size, size))
                pixel = lambda x, y: rows[y][x * 4:x * 4 + 4]
                self.assertEqual(pixel(0, 0)[3], 0, "the rounded corner is transparent")
                self.assertEqual(pixel(size // 2, size // 2)[3], 255)
                colours = {pixel(x, y) for y in range(size) for x in range(size)}
                self.assertGreater(len(colours), size, "not a flat or blank picture")
                brightest = max(p[2] for p in colours if p[3] == 255)
                darkest = min(p[2] for p in colours if p[3] == 255)
                self.assertGreater(brightest - darkest, 100, "the bars stand out")

    def test_windows_icon_holds_the_four_pictures(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "launcher.ico")
            subprocess.run(["python3", os.path.join(REPO, "scripts", "make_icons.py"), "ico", out],
                           check=True)
            with open(out, "rb") as f:
                data = f.read()
        self.assertEqual(struct.unpack("<HHH", data[:6]), (0, 1, 4))
        for n, size in enumerate((256, 128, 64, 32)):
            side, _, _, _, _, bits, length, offset = struct.unpack("<BBBBHHII", data[6 + 16 * n:22 + 16 * n])
            self.assertEqual((side or 256, bits), (size, 32))
            with open(os.path.join(ICON_DIR, "qm-launcher-%d.png" % size), "rb") as f:
                self.assertEqual(data[offset:offset + length], f.read())


# --- desktop entries ----------------------------------------------------------------------------


def entry_values(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                values[key] = value
    return values


def unescape_string(value):
    out, chars = "", iter(value)
    for c in chars:
        out += {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}[next(chars)] if c == "\\" else c
    return out


def exec_arguments(value, entry_path):
    """The program and arguments of an Exec value, as a desktop starts them."""
    args, current, quoted, started, chars = [], "", False, False, iter(unescape_string(value))
    for c in chars:
        if quoted and c == "\\":
            current += next(chars)
        elif c == '"':
            quoted, started = not quoted, True
        elif c == " " and not quoted:
            if started or current:
                args.append(current)
            current, started = "", False
        else:
            current += c
    if started or current:
        args.append(current)
    return [entry_path if a == "%k" else a for a in args]


@unittest.skipUnless(shutil.which("desktop-file-validate"), "desktop-file-utils is not installed")
class DesktopEntries(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)
        self.release = os.path.join(self.tmp, 'Games/QM "new" $HOME `x` \\ release')
        os.makedirs(self.release)
        for name in ("qm-launcher.desktop", "install-desktop-entry.sh"):
            shutil.copy2(os.path.join(LINUX, name), self.release)
        # A stand-in launcher that says where it ran.
        self.ran = os.path.join(self.tmp, "ran")
        launcher = os.path.join(self.release, "qm-launcher")
        with open(launcher, "w") as f:
            f.write('#!/bin/sh\npwd -P > "%s"\n' % self.ran)
        os.chmod(launcher, 0o755)

    def validate(self, path):
        done = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True)
        self.assertEqual((done.returncode, done.stdout + done.stderr), (0, ""))

    def start(self, entry_path, cwd):
        """Where the launcher ran when started from cwd, as a desktop starts it (in Path if set)."""
        values = entry_values(entry_path)
        args = exec_arguments(values["Exec"], entry_path)
        cwd = unescape_string(values.get("Path", cwd))
        subprocess.run(args, cwd=cwd, check=True, timeout=20)
        with open(self.ran) as f:
            return f.read().rstrip("\n")

    def test_the_release_carries_an_entry_that_starts_the_launcher_from_its_folder(self):
        entry = os.path.join(self.release, "qm-launcher.desktop")
        self.validate(entry)
        self.assertEqual(self.start(entry, self.tmp), os.path.realpath(self.release))

    def test_install_writes_an_entry_with_the_release_s_real_path(self):
        data = os.path.join(self.tmp, "data")
        env = dict(os.environ, HOME=os.path.join(self.tmp, "home"), XDG_DATA_HOME=data)
        script = os.path.join(self.release, "install-desktop-entry.sh")
        subprocess.run([script], env=env, check=True, capture_output=True, cwd=self.tmp, timeout=20)
        installed = os.path.join(data, "applications", "qm-launcher.desktop")
        self.validate(installed)
        values = entry_values(installed)
        real = os.path.realpath(self.release)
        self.assertEqual(unescape_string(values["Icon"]), os.path.join(real, "qm-launcher.png"))
        self.assertEqual(unescape_string(values["Path"]), real)
        self.assertEqual(self.start(installed, self.tmp), real)
        self.assertEqual(values["Name"], "QM Launcher")


if __name__ == "__main__":
    unittest.main()
