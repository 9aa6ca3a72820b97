#!/usr/bin/env python3
"""Closing the window in the middle of the self-test ends the launcher with exit code 1.

    selftest_close_run.py BIN_DIR WORK_DIR

The close request is SIGTERM, which SDL turns into the same quit event as the window's close
button. It is sent once the script has taken its first screenshot, so a launcher that fails
before that (a window that never opened, a self-test that never started) does not pass.
"""
import os
import signal
import subprocess
import sys
import time

from e2e_common import (LAUNCHER, NO_HOST, Checks, fresh_dir, log_messages, make_discs,
                        make_release, read_text)


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    release = make_release(os.path.join(work, "release"), bin_dir)
    shots = os.path.join(work, "shots")
    env = dict(os.environ, ZOLT_USER_DIR=os.path.join(work, "user"))
    p = subprocess.Popen([os.path.join(release, LAUNCHER), "--release", release, "--selftest",
                          os.path.join(discs, "good.iso"), "--shots", shots,
                          "--update-url", NO_HOST], env=env)
    log = os.path.join(shots, "selftest.log")
    deadline = time.time() + 60
    while time.time() < deadline and p.poll() is None and \
            "screenshot 01-welcome" not in log_messages(read_text(log)):
        time.sleep(0.1)
    c = Checks("self-test closed early")
    c.expect(p.poll() is None, "the launcher ended by itself before the close")
    p.send_signal(signal.SIGTERM)
    code = p.wait(timeout=60)
    messages = log_messages(read_text(log))
    c.expect("screenshot 01-welcome" in messages, "the script never reached its first screenshot")
    c.expect("selftest done" not in messages, "the script ran to its end despite the close")
    c.expect(code == 1, "exit code %s, wanted 1" % code)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
