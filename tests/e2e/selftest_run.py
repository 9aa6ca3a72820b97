#!/usr/bin/env python3
"""The full scripted self-test on a fresh release, under the display this process has.

    selftest_run.py BIN_DIR WORK_DIR

Passes when the launcher exits with 0, selftest.log has no FAIL line, every expected screenshot
exists with the window's size (all screenshots of a run share it), and there is one 06-build-*
picture for each of the eight build steps. The run's files stay in WORK_DIR for inspection.
"""
import glob
import os
import sys

from e2e_common import Checks, fresh_dir, make_discs, make_release, png_size, run_launcher

STEPS = ["verify", "extract", "configure", "tools", "recompile", "packs", "compile", "stage"]
EXPECTED = ["01-welcome", "02-welcome-fr", "03-wrong-disc", "04-build-error", "05-ready",
            "07-build-compile-half", "08-stopped", "09-built", "10-settings",
            "11-settings-saved", "12-maintenance", "13-play-fr", "14-settings-fr",
            "15-after-play", "16-crash"]


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    release = make_release(os.path.join(work, "release"), bin_dir)
    shots = os.path.join(work, "shots")
    env = {"ZOLT_USER_DIR": os.path.join(work, "user"), "QM_BUILD_PACE": "0.05",
           "ZOLT_CAPTURE_WINDOW_DIR": os.path.join(work, "captures")}
    code = run_launcher(release, [
        "--selftest", os.path.join(discs, "good.iso"), "--shots", shots,
        "--wrong", os.path.join(discs, "other.iso"), "--error-demo", "--cancel",
        "--crash-seconds", "3", "--play-seconds", "5"], env, 900,
        os.path.join(work, "launcher-output.txt"))

    c = Checks("selftest")
    c.expect(code == 0, "exit code %s" % code)
    log_path = os.path.join(shots, "selftest.log")
    log = open(log_path, encoding="utf-8").read() if os.path.exists(log_path) else ""
    c.expect("selftest done" in log, "the log does not reach 'selftest done'")
    for line in log.splitlines():
        c.expect("] FAIL" not in line, "log: " + line)
    sizes = set()
    for name in EXPECTED:
        size = png_size(os.path.join(shots, name + ".png"))
        if c.expect(size is not None, "missing or unreadable %s.png" % name):
            sizes.add(size)
    for i, step in enumerate(STEPS, 1):
        path = os.path.join(shots, "06-build-%d-%s.png" % (i, step))
        size = png_size(path) if os.path.exists(path) else None
        if c.expect(size is not None, "missing %s" % os.path.basename(path)):
            sizes.add(size)
    c.expect(len(sizes) == 1, "screenshot sizes differ: %s" % sorted(sizes))
    print("screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
