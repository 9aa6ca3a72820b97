#!/usr/bin/env python3
"""The judged self-test of the Windows launcher under Wine, on a Windows release whose kit runs
the build script through the kit's stand-in interpreter.

    judged_run.py BIN_DIR WORK_DIR

The same run as the Linux lane's judged self-test (tests/e2e/selftest_run.py): the wrong disc,
the stop at compile and the resumed build, the play test and the crash test. It passes when the
launcher exits with 0, selftest.log has no FAIL line and its lines match the Linux run's table in
order, every screenshot decodes at the window's size (1120 x 760 at scale 1) with a drawn picture,
the build's step screenshots differ from each other, and the compile worker of the stopped build
was ended with it: build\\logs\\workers.log holds the start of every worker, and the end of all
but that one. The run's files stay in WORK_DIR for inspection.
"""
import importlib.util
import os
import sys

from wine_common import ROOT, Checks, fresh_dir, run_wine, windows_release, wpath
from e2e_common import NO_HOST, make_discs, read_text, still_background

# The Linux run's tables, loaded under a name of their own.
_spec = importlib.util.spec_from_file_location(
    "linux_selftest", os.path.join(ROOT, "tests", "e2e", "selftest_run.py"))
linux = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(linux)


def linux_path(windows_path):
    """The Linux file behind a path on Wine's drive Z:."""
    if windows_path[:2].upper() != "Z:":
        return windows_path
    return windows_path[2:].replace("\\", "/")


def check_workers(c, release):
    lines = read_text(os.path.join(release, "build", "logs", "workers.log")).split()
    started = [t for word, t in zip(lines[::2], lines[1::2]) if word == "started"]
    ended = [t for word, t in zip(lines[::2], lines[1::2]) if word == "ended"]
    c.expect(len(started) >= 2, "workers.log names %d workers started" % len(started))
    c.expect(set(ended) <= set(started), "workers.log ends workers it never started")
    left = [t for t in started if t not in ended]
    # The stopped build's workers end with it; if one had outlived the stop, its end would be here.
    c.expect(left and all(t.split("-")[0] == left[0].split("-")[0] for t in left),
             "the workers that did not end normally are not those of one stopped build: %s" % left)


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    release = windows_release(os.path.join(work, "release"), bin_dir)
    shots, user = os.path.join(work, "shots"), os.path.join(work, "user")
    still_background(user)
    env = {"ZOLT_USER_DIR": wpath(user), "QM_BUILD_PACE": "0.05",
           "ZOLT_CAPTURE_WINDOW_DIR": wpath(os.path.join(work, "captures"))}
    with open(os.path.join(work, "launcher-output.txt"), "wb") as out:
        code = run_wine([os.path.join(release, "QMLauncher.exe"), "--release", wpath(release),
                         "--selftest", wpath(os.path.join(discs, "good.iso")),
                         "--shots", wpath(shots), "--wrong", wpath(os.path.join(discs, "other.iso")),
                         "--cancel", "--crash-seconds", "3", "--play-seconds", "5",
                         "--ui-scale", "1", "--update-url", NO_HOST], env, 900, out).returncode

    c = Checks("wine judged self-test")
    c.expect(code == 0, "exit code %s" % code)
    linux.check_run(c, shots, linux.JUDGED_LOG, linux.JUDGED_SHOTS, (1120, 760), linux_path)
    check_workers(c, release)
    print("screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
