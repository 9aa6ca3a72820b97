"""Shared pieces of the end-to-end runs: releases, discs, the launcher and its screenshots."""
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINDOWS = os.name == "nt"
LAUNCHER = "QMLauncher.exe" if WINDOWS else "qm-launcher"


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def make_release(out, bin_dir, *extra):
    subprocess.run([sys.executable, os.path.join(ROOT, "fixtures", "make_release.py"), out,
                    "--bin", bin_dir, *extra], check=True, stdout=subprocess.DEVNULL)
    return out


def make_discs(out, demo=False):
    if not os.path.exists(os.path.join(out, "good.iso")):
        os.makedirs(out, exist_ok=True)
        args = [sys.executable, os.path.join(ROOT, "fixtures", "make_discs.py"), out]
        if demo:
            args.append("--demo")
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return out


# Nobody listens there: a run that is not about updates never reaches out to the release host.
NO_HOST = "http://127.0.0.1:9/repos/Kettlewise/ZO_Duzoru/releases/latest"


def run_launcher(release, args, env_extra, timeout, log_path):
    env = dict(os.environ)
    env.update(env_extra)
    if "--update-url" not in args:
        args = [*args, "--update-url", NO_HOST]
    with open(log_path, "wb") as log:
        p = subprocess.run([os.path.join(release, LAUNCHER), "--release", release, *args],
                           env=env, stdout=log, stderr=subprocess.STDOUT, timeout=timeout)
    return p.returncode


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


class Checks:
    """Collects failures so that one run reports everything it found."""

    def __init__(self, name):
        self.name = name
        self.failures = []

    def expect(self, ok, text):
        if not ok:
            self.failures.append(text)
        return ok

    def finish(self):
        for f in self.failures:
            print("FAIL %s: %s" % (self.name, f))
        print("%s: %s" % (self.name, "passed" if not self.failures else "failed"))
        return 0 if not self.failures else 1


class Host:
    """fixtures/release_host.py on 127.0.0.1 for the length of a with-block."""

    def __init__(self, *options):
        self.options = options

    def __enter__(self):
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "fixtures", "release_host.py"), "--port", "0",
             *self.options], stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline().strip()
        if not line.startswith("listening on "):
            self.proc.kill()
            raise RuntimeError("the release host did not start: %r" % line)
        self.base = "http://127.0.0.1:%s" % line.split()[-1]
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=10)
