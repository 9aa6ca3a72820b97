#!/usr/bin/env python3
"""The Windows launcher's text mode under Wine: --version on standard output and through
--report, and the release self-check of incomplete Windows releases.

    textmode_run.py BIN_DIR WORK_DIR

A complete Windows release made here has the kit's stand-in interpreter as its Python, which runs
the build script's disc check; without it the self-check names the kit (or, before it, the build
script) as missing. Every report is compared line by line, backslashes included.
"""
import os
import re
import subprocess
import sys

from wine_common import WINE, Checks, fresh_dir, run_wine, windows_release, wpath

VERSION = "version 0.6.1"
NOT_ISO = "disc check: This file is not a PS2 disc image. / notes.txt is not an ISO9660 disc image"
WHATS_NEW = "whats_new N bytes for 0.6.1"


def commit_line(bin_dir):
    with open(os.path.join(os.path.dirname(bin_dir), "generated", "commit.txt")) as f:
        return "commit " + f.read().strip()


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    c = Checks("text mode")
    launcher = os.path.join(bin_dir, "QMLauncher.exe")
    head = [VERSION, commit_line(bin_dir)]

    # A GUI-subsystem program's standard output reaches the console Wine was started from.
    p = subprocess.run([WINE, launcher, "--version"], capture_output=True, timeout=120)
    c.expect(p.returncode == 0, "--version: exit code %s" % p.returncode)
    c.expect(p.stdout.decode("utf-8", "replace").splitlines() == head,
             "--version printed %r" % p.stdout)
    report = os.path.join(work, "レポート.txt")
    p = run_wine([launcher, "--version", "--report", wpath(report)], timeout=120,
                 stdout=subprocess.DEVNULL)
    c.expect(p.returncode == 0, "--report: exit code %s" % p.returncode)
    data = open(report, "rb").read() if os.path.exists(report) else b""
    c.expect(data == ("\n".join(head) + "\n").encode(), "--report wrote %r" % data)

    notes = os.path.join(work, "notes.txt")
    with open(notes, "w") as f:
        f.write("not a disc image\n")

    def case(name, without, tail, want_code=1):
        release = windows_release(os.path.join(work, name), bin_dir, without)
        out = os.path.join(work, name + ".txt")
        p = run_wine([os.path.join(release, "QMLauncher.exe"), "--self-check", wpath(notes),
                      "--release", wpath(release), "--report", wpath(out)],
                     {"ZOLT_USER_DIR": wpath(os.path.join(work, name + "-user"))}, 300,
                     subprocess.DEVNULL)
        c.expect(p.returncode == want_code,
                 "%s: exit code %s, wanted %s" % (name, p.returncode, want_code))
        lines = open(out, encoding="utf-8").read().split("\n") if os.path.exists(out) else []
        want = head + ["release " + wpath(release)] + tail + [""]
        # The What's new text's length belongs to the changelog reader's tests; here it only
        # has to be there. A wanted line ending in "..." gives the start of the line.
        ok = len(lines) == len(want) and all(
            got == w or (w == WHATS_NEW and re.fullmatch(r"whats_new [1-9]\d* bytes for 0\.6\.1", got))
            or (w.endswith("...") and got.startswith(w[:-3]))
            for got, w in zip(lines, want))
        c.expect(ok, "%s: report\n  %s\nwanted\n  %s" % (name, "\n  ".join(lines), "\n  ".join(want)))

    case("complete", [], ["source version 0.6.1", WHATS_NEW, NOT_ISO + "...", "self-check OK"], 0)
    case("no-python", ["python"], ["source version 0.6.1", "FAIL missing kit\\",
                           WHATS_NEW, "self-check FAILED"])
    case("no-script", ["script"], ["source version 0.6.1", "FAIL missing source\\tools\\qm_build.py",
                                   WHATS_NEW, "self-check FAILED"])
    case("no-release-ini", ["release.ini", "python"], [
        "source version (no release.ini)", "FAIL missing kit\\", WHATS_NEW,
        "FAIL source\\release.ini says , the launcher 0.6.1", "self-check FAILED"])
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
