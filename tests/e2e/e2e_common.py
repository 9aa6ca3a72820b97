"""Shared pieces of the end-to-end runs: releases, discs, the launcher and its screenshots."""
import os
import re
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import png_file  # noqa: E402
WINDOWS = os.name == "nt"
LAUNCHER = "QMLauncher.exe" if WINDOWS else "qm-launcher"


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def make_release(out, bin_dir, *extra):
    subprocess.run([sys.executable, os.path.join(ROOT, "fixtures", "make_release.py"), out,
                    "--bin", bin_dir, *extra], check=True, stdout=subprocess.DEVNULL)
    return out


def make_discs(out, demo=False):
    if not os.path.exists(os.path.join(out, "good.iso")):
        os.makedirs(out, exist_ok=True)
        args = [sys.executable, os.path.join(ROOT, "fixtures", "make_discs.py"), out]
        if demo:
            args.append("--demo")
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return out


# Nobody listens there: a run that is not about updates never reaches out to the release host.
NO_HOST = "http://127.0.0.1:9/repos/Kettlewise/ZO_Duzoru/releases/latest"


def run_launcher(release, args, env_extra, timeout, log_path, program=LAUNCHER):
    """Runs the release's launcher, or another program of the release such as a test build."""
    env = dict(os.environ)
    env.update(env_extra)
    if "--update-url" not in args:
        args = [*args, "--update-url", NO_HOST]
    with open(log_path, "wb") as log:
        p = subprocess.run([os.path.join(release, program), "--release", release, *args],
                           env=env, stdout=log, stderr=subprocess.STDOUT, timeout=timeout)
    return p.returncode


def read_text(path):
    """The file's text, or "" when there is none: a missing log fails the checks that read it."""
    if not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def log_messages(log):
    """The run log's lines without their "[stamp] " prefix."""
    return [line.split("] ", 1)[1] if line.startswith("[") and "] " in line else line
            for line in log.splitlines()]


def match_in_order(messages, table):
    """Walks the table of (description, regular expression) over the messages in order; each row
    must match a later line than the row before. Returns the rows not found, and the match
    objects of those found, by description."""
    missing, found, at = [], {}, 0
    for description, pattern in table:
        rx = re.compile(pattern)
        for i in range(at, len(messages)):
            m = rx.search(messages[i])
            if m:
                found[description], at = m, i + 1
                break
        else:
            missing.append(description)
    return missing, found


def read_png(path):
    """The decoded picture (scripts/png_file.py), or None when the file is missing or no PNG
    file that reader takes."""
    try:
        return png_file.read(path)
    except (OSError, png_file.PngError):
        return None


def still_background(user_dir):
    """Turns the background's motion off in a new user folder: two screenshots of the same screen
    are then the same picture, so that a check that two pictures differ means something."""
    os.makedirs(user_dir, exist_ok=True)
    with open(os.path.join(user_dir, "launcher.ini"), "w", encoding="utf-8") as f:
        f.write("motion = 0\n")


# A drawn launcher window has thousands of colours (the gradient, the glow, anti-aliased text); a
# blank, black or half-drawn capture has a handful.
MIN_COLOURS = 500


def check_pictures(c, shots_dir, names, size=None, differ=()):
    """Each named screenshot decodes, has the size of the others (or the size given) and many
    colours; each pair in differ shows different pixels. Returns the decoded pictures by name."""
    pictures, sizes = {}, set()
    for name in names:
        pic = read_png(os.path.join(shots_dir, name + ".png"))
        if not c.expect(pic is not None, "%s.png is missing or no readable PNG" % name):
            continue
        pictures[name] = pic
        sizes.add((pic.width, pic.height))
        colours = pic.distinct_colours()
        c.expect(colours >= MIN_COLOURS, "%s.png has only %d colours" % (name, colours))
    if size is not None:
        c.expect(sizes <= {size}, "screenshot sizes %s, wanted %s" % (sorted(sizes), size))
    else:
        c.expect(len(sizes) <= 1, "screenshot sizes differ: %s" % sorted(sizes))
    for a, b in differ:
        if a in pictures and b in pictures:
            c.expect(pictures[a].pixels != pictures[b].pixels,
                     "%s.png and %s.png show the same picture" % (a, b))
    return pictures


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


class Checks:
    """Collects failures so that one run reports everything it found."""

    def __init__(self, name):
        self.name = name
        self.failures = []

    def expect(self, ok, text):
        if not ok:
            self.failures.append(text)
        return ok

    def finish(self):
        for f in self.failures:
            print("FAIL %s: %s" % (self.name, f))
        print("%s: %s" % (self.name, "passed" if not self.failures else "failed"))
        return 0 if not self.failures else 1


class Host:
    """fixtures/release_host.py on 127.0.0.1 for the length of a with-block."""

    def __init__(self, *options):
        self.options = options

    def __enter__(self):
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "fixtures", "release_host.py"), "--port", "0",
             *self.options], stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline().strip()
        if not line.startswith("listening on "):
            self.proc.kill()
            raise RuntimeError("the release host did not start: %r" % line)
        self.base = "http://127.0.0.1:%s" % line.split()[-1]
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=10)
