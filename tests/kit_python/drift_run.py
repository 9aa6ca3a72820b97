#!/usr/bin/env python3
"""Holds the kit's stand-in interpreter (kit_python/, the Windows lane's kit\\python\\python.exe)
against the release's own build script, so that the two cannot drift apart.

    drift_run.py BIN_DIR WORK_DIR

Both run on the same fixture discs in the same cases, each with its own build and game folders:
the script under this Python, the stand-in as BIN_DIR/qm-kitpy. In check mode their verdict lines
("OK ..." and "ERROR ...") and exit codes must be the same. In build mode so must be their exit
codes, their ERROR and RESULT lines (the folders' names aside), and the order of their protocol
lines by keyword and step, a run of PERCENT lines counting as one. A completed build must leave the
same game folder: the boot program, disc.iso and built_from.ini alike, the game program there and
runnable, and one log per step in build/logs. The files stay in WORK_DIR for inspection.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "scripts"))

from e2e_common import Checks, fresh_dir, make_discs  # noqa: E402
import assemble_release  # noqa: E402

PROTOCOL = ("PROGRESS", "PERCENT", "SKIP", "DONE", "ERROR", "RESULT")
STEPS = ["verify", "extract", "configure", "tools", "recompile", "packs", "compile", "stage"]


def extra_discs(discs):
    """Damaged and odd images beside the fixture set: each ends in a different reason."""
    with open(os.path.join(discs, "good.iso"), "rb") as f:
        good = f.read()
    cases = {
        "cut-short.iso": good[:20 * 2048],
        "empty.iso": b"",
        "no-track.cue": b'FILE "gone.bin" BINARY\n  TRACK 01 MODE2/2352\n',
        "audio.cue": b'FILE "good.bin" BINARY\n  TRACK 01 AUDIO\n',
        "no-file.cue": b"REM nothing here\n",
    }
    for name, data in cases.items():
        with open(os.path.join(discs, name), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(discs, "a-folder.iso"), exist_ok=True)
    return ["good.iso", "good.cue", "european.iso", "other.iso", "modified.iso",
            "not-an-image.bin", "missing.iso", *cases, "a-folder.iso"]


class Runner:
    def __init__(self, name, command, script, work):
        self.name, self.command, self.script = name, command, script
        self.build = os.path.join(work, name, "build")
        self.game = os.path.join(work, name, "game")

    def run(self, args, env_extra=None):
        env = dict(os.environ, QM_BUILD_PACE="0")
        env.pop("QM_BUILD_FAIL_STEP", None)
        env.update(env_extra or {})
        p = subprocess.run([*self.command, "-I", "-X", "utf8", self.script, *args], env=env,
                           cwd=os.path.dirname(os.path.dirname(self.script)),
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        text = p.stdout.decode("utf-8", "replace")
        for folder, name in ((self.game, "GAME"), (self.build, "BUILD")):
            text = text.replace(folder, name)
        return p.returncode, text.splitlines()

    def build_args(self, disc):
        return ["--disc", disc, "--out", self.build, "--game", self.game]


def verdicts(lines):
    return [l for l in lines if l.startswith("OK") or l.startswith("ERROR") or
            l.startswith("RESULT")]


def protocol(lines):
    seq = []
    for line in lines:
        words = line.split()
        if not words or words[0] not in PROTOCOL:
            continue
        key = " ".join(words[:1] if words[0] == "RESULT" else words[:2])
        if not seq or seq[-1] != key:
            seq.append(key)
    return seq


def compare(c, what, a, b, words=True):
    """words false: the verdicts quote the system's own error texts, which differ."""
    (code_a, lines_a), (code_b, lines_b) = a, b
    c.expect(code_a == code_b, "%s: exit codes %s (script) and %s (stand-in)" % (what, code_a,
                                                                                  code_b))
    c.expect(not words or verdicts(lines_a) == verdicts(lines_b),
             "%s: verdicts\n  script:   %s\n  stand-in: %s" % (what, verdicts(lines_a),
                                                             verdicts(lines_b)))
    c.expect(protocol(lines_a) == protocol(lines_b),
             "%s: protocol\n  script:   %s\n  stand-in: %s" % (what, protocol(lines_a),
                                                             protocol(lines_b)))


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def compare_games(c, what, py, kp):
    for name in ("SQMU_404.20", "disc.iso", "built_from.ini"):
        a, b = read(os.path.join(py.game, name)), read(os.path.join(kp.game, name))
        c.expect(a is not None and a == b, "%s: game/%s differs or is missing" % (what, name))
    program = os.path.join(kp.game, "qm")
    c.expect(os.access(program, os.X_OK), "%s: the stand-in's game/qm cannot be run" % what)
    for runner in (py, kp):
        logs = sorted(os.listdir(os.path.join(runner.build, "logs")))
        c.expect(all(step + ".log" in logs for step in STEPS),
                 "%s: %s left the logs %s" % (what, runner.name, logs))


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    names = extra_discs(discs)
    release = os.path.join(work, "release")
    assemble_release.copy_source(release, "0.6.1", "1" * 40, bin_dir, windows=False)
    script = os.path.join(release, "source", "tools", "qm_build.py")
    py = Runner("script", [sys.executable], script, work)
    kp = Runner("stand-in", [os.path.join(bin_dir, "qm-kitpy")], script, work)
    c = Checks("kit stand-in drift")

    for name in names:
        args = ["--check", "--disc", os.path.join(discs, name)]
        compare(c, "check " + name, py.run(args), kp.run(args))
    for args in (["--check"], ["--check", "--disc", "x", "--out", "y"], ["--disc", "x"],
                 ["--bogus"]):
        compare(c, "arguments %s" % args, py.run(args), kp.run(args))

    # The same command again and again: a fresh build, one that skips everything, and after a
    # failure at packs a run that continues from there.
    for disc in ("good.iso", "good.cue"):
        for r in (py, kp):
            shutil.rmtree(os.path.dirname(r.build), ignore_errors=True)
        cases = [("fresh build", {}), ("second run", {}),
                 ("failing at packs", {"QM_BUILD_FAIL_STEP": "packs"}),
                 ("continued", {}), ("without RESULT", {"QM_BUILD_NO_RESULT": "1"})]
        for what, env in cases:
            if what == "failing at packs":
                for r in (py, kp):
                    shutil.rmtree(os.path.join(r.build, "packs"), ignore_errors=True)
            what = "%s, %s" % (disc, what)
            compare(c, what, py.run(py.build_args(os.path.join(discs, disc)), env),
                    kp.run(kp.build_args(os.path.join(discs, disc)), env))
        compare_games(c, disc, py, kp)
    # disc.iso cannot take its name (a folder holds it): the link to the image that was made for it
    # must not be written into, or the user's own image is emptied. Each gets a copy of the image.
    with open(os.path.join(discs, "good.iso"), "rb") as f:
        image = f.read()
    results = []
    for r in (py, kp):
        shutil.rmtree(os.path.dirname(r.build), ignore_errors=True)
        os.makedirs(os.path.join(r.game, "disc.iso", "in the way"))
        copy = os.path.join(os.path.dirname(r.build), "own.iso")
        with open(copy, "wb") as f:
            f.write(image)
        results.append(r.run(r.build_args(copy)))
        c.expect(read(copy) == image, "%s emptied or changed the user's image" % r.name)
    compare(c, "disc.iso in the way", *results, words=False)
    missing = os.path.join(discs, "missing.iso")
    compare(c, "build from a missing disc", py.run(py.build_args(missing)),
            kp.run(kp.build_args(missing)))
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
