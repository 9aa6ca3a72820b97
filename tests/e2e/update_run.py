#!/usr/bin/env python3
"""An update end to end: the launcher 0.6.1 with --update-now downloads 0.7.0 from the stand-in
release host, the release's installer puts it in place, and the launcher restarts itself.

    update_run.py BIN_DIR WORK_DIR

The published 0.7.0 carries the same launcher program (as qm-launcher.real) behind a small
start script, so that the restarted launcher runs the screenshot tour instead of updating again
(a real 0.7.0 launcher would not find itself outdated). Passes when the first launcher exits
with 0, the release says 0.7.0, the restarted launcher reads that release from the same folder
and finds the built game older than its source (the rebuild notice's rule), and nothing of the
update is left behind.
"""
import os
import shutil
import stat
import subprocess
import sys
import time

from e2e_common import LAUNCHER, ROOT, Checks, Host, fresh_dir, make_release

sys.path.insert(0, os.path.join(ROOT, "fixtures"))
import publish_070  # noqa: E402

OLD_COMMIT = "1" * 40
NEW_COMMIT = publish_070.NEW_COMMIT


def fake_built_game(release, bin_dir, user):
    game = os.path.join(release, "game")
    os.makedirs(game, exist_ok=True)
    shutil.copy2(os.path.join(bin_dir, "qm"), os.path.join(game, "qm"))
    for name, text in (("SQMU_404.20", "elf"), ("disc.iso", "iso"),
                       ("built_from.ini", "commit = %s\n" % OLD_COMMIT)):
        with open(os.path.join(game, name), "w") as f:
            f.write(text)
    os.makedirs(user, exist_ok=True)
    with open(os.path.join(user, "launcher.ini"), "w") as f:
        f.write("disc = /discs/good.iso\nbuilt = 1\nupdate_check = 1\n")


def start_script(path, shots, update_url):
    with open(path, "w") as f:
        f.write('#!/bin/sh\nhere="$(cd "$(dirname "$0")" && pwd)"\n'
                'exec "$here/qm-launcher.real" --release "$here" --selftest "$here/CHANGELOG.md" '
                '--screens --shots "%s" --ui-scale 1 --update-url "%s"\n' % (shots, update_url))
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    fresh_dir(work)
    release = make_release(os.path.join(work, "release"), bin_dir, "--commit", OLD_COMMIT)
    user = os.path.join(work, "user")
    fake_built_game(release, bin_dir, user)
    shots = os.path.join(work, "after-restart")
    script = os.path.join(work, "start-0.7.0.sh")
    host_dir = os.path.join(work, "host")
    os.makedirs(host_dir)

    c = Checks("update")
    env = dict(os.environ, ZOLT_USER_DIR=user)
    log = os.path.join(shots, "selftest.log")
    with Host("--releases", host_dir) as host:
        latest = host.base + "/repos/Kettlewise/ZO_Duzoru/releases/latest"
        start_script(script, shots, latest)
        publish_070.publish(release, host_dir, replace=[
            ("qm-launcher", script), ("qm-launcher.real", os.path.join(bin_dir, LAUNCHER))])
        with open(os.path.join(work, "launcher-output.txt"), "wb") as out:
            p = subprocess.run([
                os.path.join(release, LAUNCHER), "--release", release, "--update-now",
                "--update-url", latest,
                "--download-prefix", host.base + "/Kettlewise/ZO_Duzoru/releases/download/"],
                env=env, stdout=out, stderr=subprocess.STDOUT, timeout=300)
        c.expect(p.returncode == 0, "the first launcher's exit code %s" % p.returncode)
        deadline = time.time() + 120
        while time.time() < deadline and not (
                os.path.exists(log) and "screens done" in open(log).read()):
            time.sleep(0.2)
    text = open(log).read() if os.path.exists(log) else ""
    c.expect("screens done" in text, "the restarted launcher did not run to its end")
    c.expect("release %s," % release in text, "the restarted launcher used another folder")
    c.expect("source %s, built from %s" % (NEW_COMMIT, OLD_COMMIT) in text,
             "the restarted launcher does not see a rebuild due")
    ini = open(os.path.join(release, "source", "release.ini")).read()
    c.expect("version = 0.7.0" in ini, "release.ini is not 0.7.0")
    c.expect(not os.path.exists(os.path.join(release, "update", "old_files.txt")),
             "update/old_files.txt was not cleaned")
    leftovers = [n for n in os.listdir(release) if n.endswith(".qm-old")]
    c.expect(not leftovers, "left behind: %s" % leftovers)
    print("restarted launcher's screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
