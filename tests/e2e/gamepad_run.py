#!/usr/bin/env python3
"""The launcher played on a virtual gamepad: the test build qm-launcher-pad, whose self-test
presses the pad's buttons in the real window (tests/pad/pad_script.cpp).

    gamepad_run.py BIN_DIR WORK_DIR

From the Ready screen of an accepted disc: the right shoulder button to Settings, the D-pad and A
to another size and then the borderless window, B back to Play, What's new opened with A and
closed with B. Passes when the program exits with 0, its log has no FAIL line and says each
stage's state in order, video.ini holds the borderless window at the size chosen, and each
stage's screenshot decodes at the window's size and differs from the one before.
"""
import os
import re
import shutil
import sys

from e2e_common import (Checks, check_pictures, fresh_dir, log_messages, make_discs, make_release,
                        match_in_order, read_text, run_launcher, still_background)

PROGRAM = "qm-launcher-pad"
SHOTS = ["g1-play", "g2-settings", "g3-size", "g4-borderless", "g5-back", "g6-whats-new",
         "g7-closed"]
SIZE = r"(\d+) x (\d+)"

LOG = [
    ("disc accepted", r"^disc check: ok$"),
    ("gamepad connected", r"^gamepad connected$"),
    ("on Play", r"^stage play: tab 0, video\.ini (\w+) %s$" % SIZE),
    ("on Settings", r"^stage settings: tab 1, "),
    ("size list reached", r"^focus on ##resolution$"),
    ("size chosen", r"^stage size: tab 1, video\.ini windowed %s$" % SIZE),
    ("borderless chosen", r"^stage borderless: tab 1, video\.ini borderless %s$" % SIZE),
    ("back on Play", r"^stage back: tab 0, video\.ini borderless "),
    ("What's new open", r"^stage whats-new: tab 0, .*, what's new open$"),
    ("What's new closed", r"^stage closed: tab 0, video\.ini borderless %s$" % SIZE),
    ("done", r"^gamepad done$"),
]


def read_ini(path):
    values = {}
    for line in read_text(path).splitlines():
        if "=" in line and not line.lstrip().startswith("#"):
            key, value = line.split("=", 1)
            values[key.strip()] = value.strip()
    return values


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    release = make_release(os.path.join(work, "release"), bin_dir)
    shutil.copy2(os.path.join(bin_dir, PROGRAM), os.path.join(release, PROGRAM))
    user = os.path.join(work, "user")
    still_background(user)
    shots = os.path.join(work, "shots")
    code = run_launcher(release, ["--selftest", os.path.join(discs, "good.iso"), "--shots", shots,
                                  "--ui-scale", "1"],
                        {"ZOLT_USER_DIR": user}, 240, os.path.join(work, "launcher-output.txt"),
                        program=PROGRAM)

    c = Checks("gamepad")
    c.expect(code == 0, "exit code %s" % code)
    messages = log_messages(read_text(os.path.join(shots, "selftest.log")))
    for line in messages:
        c.expect(not line.startswith("FAIL"), line)
    missing, found = match_in_order(messages, LOG)
    c.expect(not missing, "log lines not found in order: %s" % missing)
    if "size chosen" in found and "on Play" in found and "borderless chosen" in found:
        # No size yet is the game's default size.
        before = found["on Play"].group(2, 3)
        before = ("640", "448") if before == ("0", "0") else before
        chosen = found["size chosen"].group(1, 2)
        c.expect(chosen != before, "the D-pad and A left the size at %s x %s" % chosen)
        c.expect(found["borderless chosen"].group(1, 2) == chosen,
                 "the window mode changed the size")
        ini = read_ini(os.path.join(user, "video.ini"))
        c.expect((ini.get("mode"), ini.get("size")) == ("borderless", "x".join(chosen)),
                 "video.ini holds %s" % ini)
    check_pictures(c, shots, SHOTS, size=(1120, 760), differ=list(zip(SHOTS, SHOTS[1:])))
    print("screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
