#!/usr/bin/env python3
"""The screenshot tour (--screens) of the Windows launcher under Wine, against the stand-in
release host offering 0.7.0.

    screens_run.py BIN_DIR WORK_DIR

Passes when the launcher exits with 0, the six pictures decode with one size, which is the
window's at scale 1 (1120 x 760 on the lane's 1920 x 1080 screen), with a drawn picture, and the
run log shows that the update check found the newer release (state 3) before "screens done".

The release's kit has the stand-in interpreter and the user folder names an accepted disc, so the
tour draws the real tabs: s1 (Play), s2
(Settings) and s3 (Maintenance) differ from each other and from the screen of a release whose kit
has no interpreter, which a second tour draws: there s1 to s3 are all the missing-files screen.
The background stands still in both, so that equal screens are equal pictures. The runs' files
stay in WORK_DIR for inspection.
"""
import os
import sys

from wine_common import Checks, Host, fresh_dir, run_wine, windows_release, wpath
from e2e_common import check_pictures, make_discs, still_background

import publish_070  # noqa: E402  (found through wine_common's search path)

SHOTS = ["s1-play", "s2-settings", "s3-maintenance", "s4-play-fr", "s5-maintenance-fr",
         "s6-whats-new"]
LATEST = "/repos/Kettlewise/ZO_Duzoru/releases/latest"


def tour(c, name, bin_dir, work, disc, without=()):
    """Runs the tour on a release of its own whose user folder has accepted disc; returns the
    decoded pictures by name."""
    release = windows_release(os.path.join(work, name), bin_dir, without)
    host_dir = os.path.join(work, name + "-host")
    publish_070.publish(release, host_dir)
    shots, user = os.path.join(work, name + "-shots"), os.path.join(work, name + "-user")
    still_background(user)
    with open(os.path.join(user, "launcher.ini"), "a", encoding="utf-8") as f:
        f.write("disc = %s\n" % wpath(disc))
    with Host("--releases", host_dir) as host:
        with open(os.path.join(work, name + "-output.txt"), "wb") as out:
            code = run_wine([os.path.join(release, "QMLauncher.exe"), "--release", wpath(release),
                             "--selftest", wpath(os.path.join(release, "CHANGELOG.md")),
                             "--screens", "--shots", wpath(shots), "--ui-scale", "1",
                             "--update-url", host.base + LATEST],
                            {"ZOLT_USER_DIR": wpath(user)}, 300, out).returncode
    c.expect(code == 0, "%s: exit code %s" % (name, code))
    log_path = os.path.join(shots, "selftest.log")
    log = open(log_path, encoding="utf-8").read() if os.path.exists(log_path) else ""
    c.expect("] update check: state 3, 0.7.0 " in log,
             "%s: the update check did not find 0.7.0" % name)
    c.expect(log.rstrip().endswith("] screens done"),
             "%s: the log does not end with 'screens done'" % name)
    print("%s: screenshots and log in %s" % (name, shots))
    return check_pictures(c, shots, SHOTS, size=(1120, 760))


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    c = Checks("screens")
    disc = os.path.join(make_discs(os.path.join(work, "discs")), "good.iso")
    shots = tour(c, "release", bin_dir, work, disc)
    missing = tour(c, "no-python", bin_dir, work, disc, ["python"])
    tabs = SHOTS[:3]
    for i, a in enumerate(tabs):
        for b in tabs[i + 1:]:
            if a in shots and b in shots:
                c.expect(shots[a].pixels != shots[b].pixels, "%s and %s are the same picture" % (a, b))
    if "s1-play" in missing:
        blank = missing["s1-play"].pixels
        c.expect(all(missing[n].pixels == blank for n in SHOTS[:3] if n in missing),
                 "without the interpreter the tour shows more than the missing-files screen")
        for n in tabs:
            c.expect(n not in shots or shots[n].pixels != blank,
                     "%s is the missing-files screen" % n)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
