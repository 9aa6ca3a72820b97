#!/usr/bin/env python3
"""The text mode changes nothing: --version and --self-check leave the release and the user folder
exactly as they found them, and start no program but the self-check's one disc check.

    textmode_untouched_run.py BIN_DIR WORK_DIR

The release is left as a killed installer leaves it (its journal, staging folder and half-swapped
files), with a list of old files to delete, and the user folder holds the settings' temporary
files. The kit's interpreter is a script that logs its arguments before it runs the real Python,
so every program the launcher starts with it is on record. After the text-mode runs, a window
start on the same release (without a display: the release is opened before the window fails)
must still finish or undo the install and clear the leftovers.
"""
import os
import stat
import subprocess
import sys

from e2e_common import LAUNCHER, ROOT, Checks, fresh_dir, make_discs, make_release

sys.path.insert(0, os.path.join(ROOT, "fixtures"))
import publish_070  # noqa: E402


def logging_python(path, log):
    with open(path, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\nexec /usr/bin/python3 "$@"\n' % log)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


def cut_install_short(release, work):
    """Runs the release's installer on a published 0.7.0 and kills it in the middle of its swap."""
    archive = publish_070.publish(release, os.path.join(work, "host"))
    update = os.path.join(release, "update")
    os.makedirs(update)
    zip_path = os.path.join(update, os.path.basename(archive))
    for suffix in ("", ".sha256"):
        with open(archive + suffix, "rb") as src, open(zip_path + suffix, "wb") as dst:
            dst.write(src.read())
    proc = subprocess.Popen(
        [sys.executable, "-I", "-X", "utf8", os.path.join(release, "source", "tools",
                                                          "apply_update.py"),
         "--zip", zip_path, "--sha256", zip_path + ".sha256", "--version", "0.7.0",
         "--install", release],
        cwd=release, env=dict(os.environ, QM_UPDATE_PAUSE_AT="2"), stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    paused = False
    for line in proc.stdout:
        if line.startswith(b"note paused"):
            paused = True
            break
    proc.kill()
    proc.wait()
    proc.stdout.close()
    return paused


def put(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def snapshot(root):
    """Every entry below root: its kind and its bytes (a link: where it points)."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path):
                found[rel] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                found[rel] = ("folder", None)
            else:
                with open(path, "rb") as f:
                    found[rel] = ("file", f.read())
    return found


def differences(before, after):
    return sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    c = Checks("text mode changes nothing")
    discs = make_discs(os.path.join(work, "discs"))
    notes = os.path.join(work, "notes.txt")
    put(notes, "not a disc image\n")
    log = os.path.join(work, "kit-runs.log")
    python = os.path.join(work, "kit-python")
    logging_python(python, log)
    release = make_release(os.path.join(work, "release"), bin_dir, "--python", python)
    if not c.expect(cut_install_short(release, work), "the installer never paused"):
        return c.finish()
    journal = os.path.join(release, "update", "install_journal.json")
    c.expect(os.path.exists(journal), "the killed installer left no journal")
    stale = os.path.join(release, "stale.qm-old")
    put(stale, "left by an earlier update\n")
    put(os.path.join(release, "update", "old_files.txt"), stale + "\n")
    user = os.path.join(work, "user")
    for name, text in (("launcher.ini", "update_check = 0\n"), ("launcher.ini.tmp", "disc = /x"),
                       ("video.ini", "size = 1280x960\n"), ("video.ini.tmp", "size = 64")):
        put(os.path.join(user, name), text)
    before = {"release": snapshot(release), "user": snapshot(user)}
    env = dict(os.environ, ZOLT_USER_DIR=user)
    launcher = os.path.join(bin_dir, LAUNCHER)

    runs = (["--version"], ["--self-check", notes], ["--self-check", os.path.join(discs, "good.iso")],
            ["--version", "--self-check", notes])
    checks = 0
    for args in runs:
        p = subprocess.run([launcher, *args, "--release", release], env=env, capture_output=True,
                           timeout=300)
        c.expect(p.stdout.startswith(b"version 0.6.1\n"), "%s printed %r" % (args, p.stdout))
        for where in ("release", "user"):
            changed = differences(before[where], snapshot(release if where == "release" else user))
            c.expect(not changed, "%s changed the %s folder: %s" % (args, where, changed))
        checks += "--self-check" in args
        started = open(log).read().splitlines() if os.path.exists(log) else []
        c.expect(len(started) == checks and all(" --check --disc " in s for s in started),
                 "after %s the kit's Python ran %s" % (args, started))

    # Window mode opens the same release and tidies it up before its window fails to open.
    env = {k: v for k, v in env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY",
                                                    "SDL_VIDEO_DRIVER")}
    subprocess.run([launcher, "--release", release], env=env, capture_output=True, timeout=300)
    started = open(log).read().splitlines() if os.path.exists(log) else []
    c.expect(any(" --recover " in s for s in started[checks:]),
             "window mode did not run the recovery: %s" % started[checks:])
    for gone in (journal, stale, os.path.join(release, "update", "old_files.txt"),
                 os.path.join(user, "launcher.ini.tmp"), os.path.join(user, "video.ini.tmp")):
        c.expect(not os.path.exists(gone), "window mode left %s" % gone)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
