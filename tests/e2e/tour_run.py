#!/usr/bin/env python3
"""The screenshot tour (--screens) against the stand-in release host offering 0.7.0.

    tour_run.py BIN_DIR WORK_DIR

Passes when the launcher exits with 0, s1 to s6 decode at the window's size with a drawn picture
(s6, with the What's new window, unlike s1), and the run log
says the update check found the newer release (state 3) before "screens done".
"""
import os
import sys

from e2e_common import (ROOT, Checks, Host, check_pictures, fresh_dir, make_release, run_launcher,
                        still_background)

sys.path.insert(0, os.path.join(ROOT, "fixtures"))
import publish_070  # noqa: E402

SHOTS = ["s1-play", "s2-settings", "s3-maintenance", "s4-play-fr", "s5-maintenance-fr",
         "s6-whats-new"]
LATEST = "/repos/Kettlewise/ZO_Duzoru/releases/latest"


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    fresh_dir(work)
    release = make_release(os.path.join(work, "release"), bin_dir)
    host_dir = os.path.join(work, "host")
    publish_070.publish(release, host_dir)
    shots = os.path.join(work, "shots")
    still_background(os.path.join(work, "user"))
    with Host("--releases", host_dir) as host:
        code = run_launcher(release, [
            "--selftest", os.path.join(release, "CHANGELOG.md"), "--screens", "--shots", shots,
            "--ui-scale", "1", "--update-url", host.base + LATEST],
            {"ZOLT_USER_DIR": os.path.join(work, "user")}, 300,
            os.path.join(work, "launcher-output.txt"))
    c = Checks("tour")
    c.expect(code == 0, "exit code %s" % code)
    log_path = os.path.join(shots, "selftest.log")
    log = open(log_path, encoding="utf-8").read() if os.path.exists(log_path) else ""
    c.expect("] update check: state 3, 0.7.0 " in log, "the update check did not find 0.7.0")
    c.expect(log.rstrip().endswith("] screens done"), "the log does not end with 'screens done'")
    check_pictures(c, shots, SHOTS, size=(1120, 760), differ=[("s1-play", "s6-whats-new")])
    print("screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
