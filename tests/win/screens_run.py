#!/usr/bin/env python3
"""The screenshot tour (--screens) of the Windows launcher under Wine, against the stand-in
release host offering 0.7.0.

    screens_run.py BIN_DIR WORK_DIR

Passes when the launcher exits with 0, the six pictures exist with one size, which is the
window's at scale 1 (1120 x 760 on the lane's 1920 x 1080 screen), and the run log shows that the
update check found the newer release (state 3) before "screens done". The run's files stay in
WORK_DIR for inspection.
"""
import os
import sys

from wine_common import Checks, Host, fresh_dir, png_size, run_wine, windows_release, wpath

import publish_070  # noqa: E402  (found through wine_common's search path)

SHOTS = ["s1-play", "s2-settings", "s3-maintenance", "s4-play-fr", "s5-maintenance-fr",
         "s6-whats-new"]
LATEST = "/repos/Kettlewise/ZO_Duzoru/releases/latest"


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    release = windows_release(os.path.join(work, "release"), bin_dir)
    host_dir = os.path.join(work, "host")
    publish_070.publish(release, host_dir)
    shots = os.path.join(work, "shots")
    c = Checks("screens")
    with Host("--releases", host_dir) as host:
        with open(os.path.join(work, "launcher-output.txt"), "wb") as out:
            code = run_wine([os.path.join(release, "QMLauncher.exe"), "--release", wpath(release),
                             "--selftest", wpath(os.path.join(release, "CHANGELOG.md")),
                             "--screens", "--shots", wpath(shots), "--ui-scale", "1",
                             "--update-url", host.base + LATEST],
                            {"ZOLT_USER_DIR": wpath(os.path.join(work, "user"))}, 300,
                            out).returncode
    c.expect(code == 0, "exit code %s" % code)
    log_path = os.path.join(shots, "selftest.log")
    log = open(log_path, encoding="utf-8").read() if os.path.exists(log_path) else ""
    c.expect("] update check: state 3, 0.7.0 " in log, "the update check did not find 0.7.0")
    c.expect(log.rstrip().endswith("] screens done"), "the log does not end with 'screens done'")
    for name in SHOTS:
        size = png_size(os.path.join(shots, name + ".png"))
        c.expect(size == (1120, 760), "%s.png: size %s" % (name, size))
    print("screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
