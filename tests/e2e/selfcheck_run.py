#!/usr/bin/env python3
"""The release self-check of the text mode on a complete release and on each failing one.

    selfcheck_run.py BIN_DIR WORK_DIR

Every case compares the report line by line with the lines it must have.
"""
import os
import subprocess
import sys

from e2e_common import Checks, LAUNCHER, WINDOWS, fresh_dir, make_discs, make_release

SEP = "\\" if WINDOWS else "/"
NOT_ISO = "disc check: This file is not a PS2 disc image. / notes.txt is not an ISO9660 disc image"


def report(release, check_file, user, cwd=None, release_arg=None):
    env = dict(os.environ, ZOLT_USER_DIR=user)
    p = subprocess.run([os.path.join(release, LAUNCHER), "--self-check", check_file,
                        "--release", release_arg or release], env=env, capture_output=True,
                       timeout=300, cwd=cwd)
    return p.returncode, p.stdout.decode("utf-8", "replace").splitlines()


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    notes = os.path.join(work, "notes.txt")
    with open(notes, "w") as f:
        f.write("not a disc image\n")
    c = Checks("self-check")

    def case(name, without, check_file, want_code, want_tail):
        release = make_release(os.path.join(work, name), bin_dir,
                               *sum((["--without", w] for w in without), []))
        code, lines = report(release, check_file, os.path.join(work, name + "-user"))
        c.expect(code == want_code, "%s: exit code %s, wanted %s" % (name, code, want_code))
        c.expect(len(lines) >= 2 and lines[0] == "version 0.6.1" and
                 lines[1].startswith("commit "), "%s: version lines %s" % (name, lines[:2]))
        body = lines[2:]
        want = ["release " + release] + want_tail
        # The disc check's detail names the file and may add what it found; compare its start.
        ok = len(body) == len(want) and all(
            got == w or (w.endswith("...") and got.startswith(w[:-3])) for got, w in zip(body, want))
        c.expect(ok, "%s: report\n  %s\nwanted\n  %s" % (name, "\n  ".join(body), "\n  ".join(want)))

    case("complete", [], notes, 0, [
        "source version 0.6.1", "whats_new 40 bytes for 0.6.1", NOT_ISO + "...", "self-check OK"])
    case("no-release-ini", ["release.ini"], notes, 1, [
        "source version (no release.ini)", "whats_new 40 bytes for 0.6.1",
        "FAIL source%srelease.ini says , the launcher 0.6.1" % SEP, NOT_ISO + "...",
        "self-check FAILED"])
    case("no-script", ["script"], notes, 1, [
        "source version 0.6.1", "FAIL missing source%stools%sqm_build.py" % (SEP, SEP),
        "whats_new 40 bytes for 0.6.1", "self-check FAILED"])
    case("accepts-the-file", [], os.path.join(discs, "good.iso"), 1, [
        "source version 0.6.1", "whats_new 40 bytes for 0.6.1", "disc check: accepted / ",
        "FAIL expected qm_build's \"not an ISO9660 disc image\"", "self-check FAILED"])
    # The words must be the script's own, not those of the file's name or folder that it quotes.
    quoted = os.path.join(work, "not an ISO9660 disc image")
    os.makedirs(quoted, exist_ok=True)
    case("quotes-the-words", [], os.path.join(quoted, "gone.txt"), 1, [
        "source version 0.6.1", "whats_new 40 bytes for 0.6.1",
        "disc check: This file is no longer there. / the disc image %s%sgone.txt does not exist"
        % (quoted, SEP), "FAIL expected qm_build's \"not an ISO9660 disc image\"",
        "self-check FAILED"])
    # A release named relative to the working folder is reported as given, and its build
    # script still runs (it works in another folder, so it must be handed full paths).
    code, lines = report(os.path.join(work, "complete"), "notes.txt", os.path.join(work, "u"),
                         cwd=work, release_arg="complete")
    c.expect(code == 0 and lines[2:3] == ["release complete"] and
             lines[-1] == "self-check OK", "relative release: %s %s" % (code, lines))
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
