"""Tests of the release's build script qm_build.py and of the disc images it is tested with.

Run from the repository root:  python3 -m unittest discover -s tests/release_kit -v

The script runs as the launcher runs it: a child process of this interpreter with -I -X utf8,
working folder <release>/source, standard input empty, output and errors in one pipe. Each build
test gets a temporary release folder (source/ copied from release_kit, a stand-in game program
source/demo/qm, release.ini). The disc images are generated once per run.

Sections: helpers | fixtures | check mode | builds | continuing a build | building again after a
change.
"""

import hashlib
import importlib.util
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import zlib

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KIT_SOURCE = os.path.join(REPO, "release_kit", "source")
DISC_MODULE = os.path.join(KIT_SOURCE, "tools", "qm_disc.py")
GENERATOR = os.path.join(REPO, "fixtures", "make_discs.py")
STEPS = ["verify", "extract", "configure", "tools", "recompile", "packs", "compile", "stage"]
COMMIT = "0123456789abcdef0123456789abcdef01234567"
PROGRAM = "qm.exe" if os.name == "nt" else "qm"


def load_module(path, name):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


discs = load_module(GENERATOR, "make_discs")
qm_disc = load_module(DISC_MODULE, "qm_disc")
FIXTURES = None  # folder of the generated images, set by setUpModule


def setUpModule():
    global FIXTURES
    FIXTURES = tempfile.mkdtemp(prefix="qm-discs-")
    subprocess.run([sys.executable, GENERATOR, FIXTURES, "--demo"], check=True,
                   stdout=subprocess.DEVNULL)


def tearDownModule():
    shutil.rmtree(FIXTURES, ignore_errors=True)


def fixture(name):
    return os.path.join(FIXTURES, name)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# --- helpers -------------------------------------------------------------------------------------


def launcher_done_seconds(line):
    """The launcher's reading of a DONE line: the number right after the first blank of the rest
    (the text after the step word, one leading blank removed); None where it would find none."""
    words = line.split(None, 2)
    rest = line.split(None, 1)[1][len(words[1]):] if len(words) > 1 else ""
    rest = rest[1:] if rest.startswith(" ") else rest
    if " " not in rest:
        return None
    tail = rest[rest.index(" ") + 1 :].lstrip()
    number = ""
    for ch in tail:
        if not (ch.isdigit() or ch in ".+-eE"):
            break
        number += ch
    try:
        return float(number)
    except ValueError:
        return None


def launcher_ini_value(path, key):
    """The launcher's reading of release.ini and built_from.ini: the first line defining key."""
    with open(path, encoding="utf-8", newline="") as f:
        for line in f.read().split("\n"):
            line = line[:-1] if line.endswith("\r") else line
            if "=" in line and not line.startswith("#"):
                name, value = line.split("=", 1)
                if name.rstrip(" \t") == key:
                    return value.lstrip(" \t")
    return ""


def protocol(lines):
    """(keyword, step) of every progress-protocol line, in order."""
    keys = ("PROGRESS", "PERCENT", "DONE", "SKIP", "ERROR", "RESULT")
    out = []
    for line in lines:
        words = line.split()
        if words and words[0] in keys:
            out.append((words[0], words[1] if len(words) > 1 else ""))
    return out


def image_files(image):
    img = qm_disc.Image(image)
    try:
        return sorted(rel for rel, _, _ in qm_disc.walk_files(img, qm_disc.read_volume(img)[2]))
    finally:
        img.close()


def truncate(*parts):
    with open(os.path.join(*parts), "r+b") as f:
        f.truncate(100)


def files_under(folder):
    """Every file below folder, relative with "/"."""
    return sorted(os.path.relpath(os.path.join(here, name), folder).replace(os.sep, "/")
                  for here, _, names in os.walk(folder) for name in names)


def all_but(*steps):
    return tuple(s for s in STEPS if s not in steps)


def script_env(**extra):
    env = {k: v for k, v in os.environ.items() if not k.startswith("QM_BUILD_")}
    env.setdefault("QM_BUILD_PACE", "0")
    env.update({k: str(v) for k, v in extra.items()})
    return env


class Release:
    """A release folder as the launcher sees it, in a temporary folder."""

    def __init__(self, root, program=True, release_ini=None, copy_of=None):
        self.root = root
        self.source = os.path.join(root, "source")
        self.build_dir = os.path.join(root, "build")
        self.game = os.path.join(root, "game")
        if copy_of:
            shutil.rmtree(root)
            shutil.copytree(copy_of.root, root)
            return
        shutil.copytree(KIT_SOURCE, self.source,
                        ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))
        os.makedirs(self.build_dir)
        with open(os.path.join(self.source, "release.ini"), "w") as f:
            f.write(release_ini or "version = 0.6.1\ncommit = %s\n" % COMMIT)
        if program:
            self.add_program()

    def add_program(self, text="#!/bin/sh\nexit 0\n"):
        path = os.path.join(self.source, "demo", PROGRAM)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, 0o755)

    def edit_tool(self, name, old, new):
        """Replaces the one place old appears in a tool file of this release."""
        path = os.path.join(self.source, "tools", name)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        assert text.count(old) == 1, "%s: %r appears %d times" % (name, old, text.count(old))
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new))

    def append_to_tool(self, name, text):
        with open(os.path.join(self.source, "tools", name), "a", encoding="utf-8") as f:
            f.write(text)

    def command(self, *args):
        return [sys.executable, "-I", "-X", "utf8",
                os.path.join(self.source, "tools", "qm_build.py")] + list(args)

    def build_args(self, disc):
        return ["--disc", disc, "--out", self.build_dir, "--game", self.game]

    def run(self, *args, **env):
        proc = subprocess.run(self.command(*args), cwd=self.source, env=script_env(**env),
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=180)
        return proc.returncode, proc.stdout.decode("utf-8").splitlines()

    def build(self, disc, **env):
        return self.run(*self.build_args(disc), **env)

    def stamps(self):
        folder = os.path.join(self.build_dir, "stamps")
        return sorted(n[:-5] for n in os.listdir(folder) if n.endswith(".json")) \
            if os.path.isdir(folder) else []


class ReleaseCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="qm-release-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def release(self, **kw):
        root = tempfile.mkdtemp(dir=self.tmp)
        return Release(root, **kw)

    def assertNoTrace(self, lines):
        self.assertFalse([l for l in lines if "Traceback" in l], "\n".join(lines[-30:]))

    def assertCompleted(self, code, lines):
        self.assertEqual(code, 0, "\n".join(lines[-30:]))
        self.assertTrue(lines[-1].startswith("RESULT ok"), lines[-1])
        self.assertNoTrace(lines)

    def assertStepsInOrder(self, lines, skipped=()):
        """Every step in step order: SKIP for the skipped ones, PROGRESS ... DONE for the others."""
        events = [(k, s) for k, s in protocol(lines) if k != "PERCENT"]
        want = []
        for s in STEPS:
            want += [("SKIP", s)] if s in skipped else [("PROGRESS", s), ("DONE", s)]
        self.assertEqual(events, want + [("RESULT", "ok")])


# --- fixtures ------------------------------------------------------------------------------------


def iso_tree_files(tree, prefix=""):
    for name, value in sorted(tree.items()):
        if isinstance(value, dict):
            yield from iso_tree_files(value, prefix + name + "/")
        else:
            yield prefix + name, value


def raw_user_data(raw, offset):
    return b"".join(raw[i + offset : i + offset + 2048] for i in range(0, len(raw), 2352))


class FixtureTests(unittest.TestCase):
    def test_generator_writes_the_same_bytes_every_run(self):
        again = tempfile.mkdtemp(prefix="qm-discs-again-")
        self.addCleanup(shutil.rmtree, again, True)
        subprocess.run([sys.executable, GENERATOR, again, "--demo"], check=True,
                       stdout=subprocess.DEVNULL)
        self.assertEqual(sorted(os.listdir(again)), sorted(os.listdir(FIXTURES)))
        for name in os.listdir(again):
            self.assertEqual(read(os.path.join(again, name)), read(fixture(name)), name)

    def test_known_good_table_holds_the_usa_images_and_nothing_else(self):
        good = hashlib.sha1(read(fixture("good.iso"))).hexdigest()
        self.assertIn(good, qm_disc.KNOWN_GOOD)
        self.assertIn(hashlib.sha1(read(fixture("demo.iso"))).hexdigest(), qm_disc.KNOWN_GOOD)
        user = raw_user_data(read(fixture("good.bin")), 24)
        self.assertEqual(hashlib.sha1(user).hexdigest(), good)
        for name in ("european.iso", "other.iso", "modified.iso"):
            self.assertNotIn(hashlib.sha1(read(fixture(name))).hexdigest(), qm_disc.KNOWN_GOOD)

    def test_modified_disc_differs_from_the_usa_disc_in_one_byte(self):
        good, modified = read(fixture("good.iso")), read(fixture("modified.iso"))
        self.assertEqual(len(good), len(modified))
        self.assertEqual(sum(a != b for a, b in zip(good, modified)), 1)

    def test_volume_descriptors_and_path_tables_agree(self):
        for name in ("good.iso", "european.iso", "other.iso", "demo.iso"):
            data = read(fixture(name))
            pvd = data[16 * 2048 : 17 * 2048]
            self.assertEqual(pvd[:7], b"\x01CD001\x01", name)
            self.assertEqual(data[17 * 2048 : 17 * 2048 + 6], b"\xffCD001", name)
            sectors = struct.unpack_from("<I", pvd, 80)[0]
            self.assertEqual(sectors, struct.unpack_from(">I", pvd, 84)[0])
            self.assertEqual(sectors * 2048, len(data), name)
            l_at = struct.unpack_from("<I", pvd, 140)[0] * 2048
            m_at = struct.unpack_from(">I", pvd, 148)[0] * 2048
            root_lba = struct.unpack_from("<I", pvd, 156 + 2)[0]
            # the first path table entry is the root, pointing at the root's extent
            self.assertEqual(struct.unpack_from("<I", data, l_at + 2)[0], root_lba, name)
            self.assertEqual(struct.unpack_from(">I", data, m_at + 2)[0], root_lba, name)

    def test_script_reads_back_every_file_the_generator_wrote(self):
        tree = discs.game_tree(discs.USA_SEED, discs.USA_SERIAL, "NTSC", 0)
        img = qm_disc.Image(fixture("good.cue"))
        self.addCleanup(img.close)
        _, _, root = qm_disc.read_volume(img)
        found = {rel: qm_disc.read_file(img, lba, size)
                 for rel, lba, size in qm_disc.walk_files(img, root)}
        self.assertEqual(found, dict(iso_tree_files(tree)))


# --- check mode ----------------------------------------------------------------------------------


class CheckModeTests(ReleaseCase):
    def setUp(self):
        super().setUp()
        self.rel = self.release()
        disc_dir = os.path.join(self.tmp, "discs")
        os.makedirs(disc_dir)
        good = read(fixture("good.iso"))
        with open(os.path.join(disc_dir, "mode1.bin"), "wb") as f:
            f.write(discs.iso_to_raw(good, 1))
        with open(os.path.join(disc_dir, "mode1.cue"), "w") as f:
            f.write(discs.cue_text("mode1.bin", 1))
        with open(os.path.join(disc_dir, "orphan.cue"), "w") as f:
            f.write(discs.cue_text("gone.bin", 2))
        with open(os.path.join(disc_dir, "cut-short.iso"), "wb") as f:
            f.write(good[: 100 * 2048])
        shutil.copyfile(fixture("good.iso"), os.path.join(disc_dir, "Quillmère (USA).iso"))
        with open(os.path.join(disc_dir, "noise.iso"), "wb") as f:
            f.write(bytes(range(256)) * 400)
        self.disc_dir = disc_dir

    def check(self, path):
        return self.rel.run("--check", "--disc", path)

    def test_verdicts(self):
        d = self.disc_dir
        cases = [
            # image, exit code, words the verdict line must contain
            (fixture("good.iso"), 0, ["OK", "SQMU_404.20"]),
            (fixture("good.cue"), 0, ["OK"]),
            (fixture("good.bin"), 0, ["OK"]),
            (os.path.join(d, "Quillmère (USA).iso"), 0, ["OK"]),
            (os.path.join(d, "mode1.cue"), 0, ["OK"]),
            (fixture("demo.iso"), 0, ["OK"]),
            (fixture("european.iso"), 1, ["European", "SQME_502.13"]),
            (fixture("other.iso"), 1, ["boots", "SLUS_209.46"]),
            (fixture("modified.iso"), 1, ["SHA-1"]),
            (os.path.join(d, "cut-short.iso"), 1, ["SHA-1"]),
            (fixture("not-an-image.bin"), 1, ["not an ISO9660 disc image"]),
            (os.path.join(d, "noise.iso"), 1, ["not an ISO9660 disc image"]),
            (os.path.join(d, "missing.iso"), 1, ["does not exist"]),
            (os.path.join(d, "orphan.cue"), 1, ["does not exist", "gone.bin"]),
        ]
        for path, want_code, words in cases:
            with self.subTest(image=os.path.basename(path)):
                code, lines = self.check(path)
                self.assertEqual(code, want_code, lines)
                verdicts = [l for l in lines if not l.startswith("INFO ")]
                self.assertEqual(len(verdicts), 1, lines)
                verdict = verdicts[0]
                if want_code == 0:
                    self.assertTrue(verdict.startswith("OK"), verdict)
                else:
                    self.assertTrue(verdict.startswith("ERROR verify "), verdict)
                for word in words:
                    self.assertIn(word, verdict)

    def test_european_reason_is_not_taken_for_another_game(self):
        # the launcher picks its message by the first keyword found: European before boots
        _, lines = self.check(fixture("european.iso"))
        self.assertNotIn("boots", lines[-1])

    def test_bad_arguments_exit_2_without_a_trace(self):
        for args in ([], ["--check"], ["--check", "--disc", "x", "--out", "y"],
                     ["--disc", "x", "--out", "y"], ["--bogus"]):
            with self.subTest(args=args):
                code, lines = self.rel.run(*args)
                self.assertEqual(code, 2, lines)
                self.assertNoTrace(lines)
                self.assertTrue(lines, "a usage message is expected")


# --- builds --------------------------------------------------------------------------------------


def elf_text(elf):
    shoff = struct.unpack_from("<I", elf, 32)[0]
    shnum, shstrndx = struct.unpack_from("<HH", elf, 48)
    heads = [struct.unpack_from("<10I", elf, shoff + 40 * i) for i in range(shnum)]
    names = heads[shstrndx][4]
    for h in heads:
        if elf[names + h[0] : names + h[0] + 6] == b".text\0":
            return elf[h[4] : h[4] + h[5]]
    raise AssertionError("no .text")


def png_pixels(png):
    """(width, height, RGBA bytes) of a PNG written with filter 0 on every row."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(png):
        length, kind = struct.unpack_from(">I4s", png, pos)
        body = png[pos + 8 : pos + 8 + length]
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == struct.unpack_from(">I", png,
                                                                          pos + 8 + length)[0]
        if kind == b"IHDR":
            width, height = struct.unpack_from(">II", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4 + 1
    assert all(raw[y * stride] == 0 for y in range(height))
    return width, height, b"".join(raw[y * stride + 1 : (y + 1) * stride] for y in range(height))


class BuildTests(ReleaseCase):
    def test_full_build_then_everything_is_skipped(self):
        rel = self.release(release_ini=(
            "# commit = 1111111111111111111111111111111111111111\n"
            "  commit = 2222222222222222222222222222222222222222\n"
            "version = 0.6.1\ncommit = %s\ncommit = 3333333333333333333333333333333333333333\n"
            % COMMIT))
        code, lines = rel.build(fixture("good.iso"))
        self.assertCompleted(code, lines)
        self.assertStepsInOrder(lines)
        for line in lines:
            if line.startswith("PERCENT "):
                self.assertTrue(0 <= int(line.split()[2]) <= 100, line)
            if line.startswith("DONE "):
                self.assertIsNotNone(launcher_done_seconds(line), line)

        game = rel.game
        self.assertEqual(read(os.path.join(game, PROGRAM)),
                         read(os.path.join(rel.source, "demo", PROGRAM)))
        self.assertTrue(os.access(os.path.join(game, PROGRAM), os.X_OK))
        tree = discs.game_tree(discs.USA_SEED, discs.USA_SERIAL, "NTSC", 0)
        self.assertEqual(read(os.path.join(game, "SQMU_404.20")), tree["SQMU_404.20"])
        self.assertTrue(os.path.samefile(os.path.join(game, "disc.iso"), fixture("good.iso")))
        self.assertEqual(launcher_ini_value(os.path.join(game, "built_from.ini"), "commit"),
                         COMMIT)
        for step in STEPS:
            self.assertGreater(os.path.getsize(os.path.join(rel.build_dir, "logs", step + ".log")),
                               0, step)

        for rel_path, data in iso_tree_files(tree):
            self.assertEqual(read(os.path.join(rel.build_dir, "extract", *rel_path.split("/"))),
                             data, rel_path)
        textures = [(p, d) for p, d in iso_tree_files(tree) if p.endswith(".TEX")]
        self.assertTrue(textures)
        for rel_path, data in textures:
            png = os.path.join(rel.build_dir, "packs", *rel_path[:-4].split("/")) + ".png"
            width, height, rgba = png_pixels(read(png))
            self.assertEqual((width, height), struct.unpack_from("<HH", data, 4))
            self.assertEqual(rgba, data[16:], rel_path)
        # recompiled, reassembled by the workers and linked: the code must come back unchanged
        self.assertEqual(read(os.path.join(rel.build_dir, "compile", "qm_code.bin")),
                         elf_text(tree["SQMU_404.20"]))

        before = {n: read(os.path.join(game, n)) for n in os.listdir(game)}
        code, lines = rel.build(fixture("good.iso"))
        self.assertCompleted(code, lines)
        self.assertStepsInOrder(lines, skipped=STEPS)
        self.assertEqual({n: read(os.path.join(game, n)) for n in os.listdir(game)}, before)

    def test_cue_build_writes_the_user_data_as_disc_iso(self):
        rel = self.release()
        code, lines = rel.build(fixture("good.cue"))
        self.assertCompleted(code, lines)
        disc_iso = os.path.join(rel.game, "disc.iso")
        self.assertFalse(os.path.samefile(disc_iso, fixture("good.bin")))
        self.assertEqual(read(disc_iso), read(fixture("good.iso")))

    def test_refusals_before_any_work(self):
        cases = [
            # image, environment, words of the reason
            ("missing.iso", {}, ["does not exist"]),
            ("european.iso", {}, ["European"]),
            ("good.iso", {"QM_BUILD_NEED_FREE": 10 ** 18}, ["free space"]),
        ]
        for name, env, words in cases:
            with self.subTest(image=name, env=env):
                rel = self.release()
                code, lines = rel.build(fixture(name), **env)
                self.assertEqual(code, 1, lines)
                self.assertNoTrace(lines)
                errors = [l for l in lines if l.startswith("ERROR ")]
                self.assertEqual(len(errors), 1, lines)
                self.assertTrue(errors[0].startswith("ERROR verify "), errors[0])
                for word in words:
                    self.assertIn(word, errors[0])
                self.assertFalse([l for l in lines if l.startswith(("RESULT", "DONE"))])
                self.assertEqual(rel.stamps(), [])
                log = read(os.path.join(rel.build_dir, "logs", "verify.log")).decode()
                self.assertIn(errors[0][len("ERROR verify "):], log)

    def test_missing_game_program_fails_stage(self):
        rel = self.release(program=False)
        code, lines = rel.build(fixture("good.iso"))
        self.assertEqual(code, 1)
        self.assertTrue(lines[-1].startswith("ERROR stage "), lines[-1])
        self.assertIn(os.path.join("demo", PROGRAM), lines[-1])
        rel.add_program()
        code, lines = rel.build(fixture("good.iso"))
        self.assertCompleted(code, lines)
        self.assertStepsInOrder(lines, skipped=STEPS[:-1])

    def test_flood_and_missing_result(self):
        rel = self.release()
        code, lines = rel.build(fixture("good.iso"), QM_BUILD_FLOOD=3000, QM_BUILD_NO_RESULT=1)
        self.assertEqual(code, 0)
        self.assertNoTrace(lines)
        self.assertGreaterEqual(len([l for l in lines if "flood line" in l]), 3000)
        self.assertFalse([l for l in lines if l.startswith("RESULT")])
        self.assertEqual([s for k, s in protocol(lines) if k == "DONE"], STEPS)


# --- continuing a build --------------------------------------------------------------------------


class ResumeTests(ReleaseCase):
    def assertResumes(self, rel, finished_before):
        """A rerun skips exactly the steps an earlier run finished and completes the build."""
        code, lines = rel.build(fixture("good.iso"))
        self.assertCompleted(code, lines)
        events = protocol(lines)
        skipped = [s for k, s in events if k == "SKIP"]
        self.assertEqual(skipped, [s for s in STEPS if s in finished_before])
        self.assertEqual([s for k, s in events if k == "PROGRESS"],
                         [s for s in STEPS if s not in finished_before])
        self.assertEqual(rel.stamps(), sorted(STEPS))

    def test_after_a_failure(self):
        for step in ("verify", "packs", "stage"):
            with self.subTest(step=step):
                rel = self.release()
                code, lines = rel.build(fixture("good.iso"), QM_BUILD_FAIL_STEP=step)
                self.assertEqual(code, 1)
                self.assertTrue(lines[-1].startswith("ERROR %s " % step), lines[-1])
                self.assertNoTrace(lines)
                done = [s for k, s in protocol(lines) if k == "DONE"]
                self.assertEqual(done, STEPS[: STEPS.index(step)])
                self.assertEqual(rel.stamps(), sorted(done))
                self.assertResumes(rel, done)

    def test_after_the_whole_process_group_is_killed(self):
        cases = [
            # what runs at the kill, a step an earlier run failed at, environment, kill trigger
            ("a hanging step", None, {"QM_BUILD_HANG": "tools"}, lambda l: l == "PROGRESS tools"),
            ("extract half done", None, {"QM_BUILD_PACE": "0.05"},
             lambda l: l.startswith("PERCENT extract ") and int(l.split()[2]) >= 30),
            ("compile workers running in a continued build", "compile", {"QM_BUILD_PACE": "0.05"},
             lambda l: l.startswith("PERCENT compile ") and int(l.split()[2]) >= 30),
        ]
        for label, failed_before, env, trigger in cases:
            with self.subTest(label):
                rel = self.release()
                if failed_before:
                    code, _ = rel.build(fixture("good.iso"), QM_BUILD_FAIL_STEP=failed_before)
                    self.assertEqual(code, 1)
                lines = self.run_until_killed(rel, env, trigger)
                events = protocol(lines)
                finished = [s for k, s in events if k in ("DONE", "SKIP")]
                for line in lines:
                    if line.startswith("DONE "):
                        self.assertIsNotNone(launcher_done_seconds(line), line)
                self.assertFalse([l for l in lines if l.startswith(("ERROR", "RESULT"))])
                self.assertEqual(rel.stamps(), sorted(finished))
                self.assertResumes(rel, finished)

    def test_a_stopped_rebuild_keeps_what_the_update_did_not_touch(self):
        # After an update, packs and stage keep the stamps of the earlier build while tools,
        # recompile and compile run again; a stop in between must not cost them those stamps.
        rel = self.release()
        self.assertCompleted(*rel.build(fixture("good.iso")))
        rel.append_to_tool("qm_r5900.py", "\n# a comment, no code\n")
        lines = self.run_until_killed(rel, {"QM_BUILD_HANG": "recompile"},
                                      lambda l: l == "PROGRESS recompile")
        self.assertEqual([e for e in protocol(lines) if e[0] != "PERCENT"],
                         [("SKIP", "verify"), ("SKIP", "extract"), ("SKIP", "configure"),
                          ("PROGRESS", "tools"), ("DONE", "tools"), ("PROGRESS", "recompile")])
        code, lines = rel.build(fixture("good.iso"))
        self.assertCompleted(code, lines)
        self.assertStepsInOrder(lines, skipped=all_but("recompile", "compile"))

    def run_until_killed(self, rel, env, trigger):
        proc = subprocess.Popen(rel.command(*rel.build_args(fixture("good.iso"))),
                                cwd=rel.source, env=script_env(**env), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                start_new_session=True)
        group = os.getpgid(proc.pid)
        watchdog = threading.Timer(90, os.killpg, (group, signal.SIGKILL))
        watchdog.start()
        lines = []
        try:
            for raw in proc.stdout:
                lines.append(raw.decode("utf-8").rstrip("\n"))
                if trigger(lines[-1]):
                    break
            self.assertTrue(lines and trigger(lines[-1]), "\n".join(lines[-20:]))
            os.killpg(group, signal.SIGKILL)
        finally:
            watchdog.cancel()
            proc.stdout.close()
            proc.wait()
        self.assertEqual(proc.returncode, -signal.SIGKILL)
        return lines


# --- building again after a change ---------------------------------------------------------------


class RebuildTests(ReleaseCase):
    def assertGameMatches(self, rel, image):
        """The game folder and the extracted files belong to image and to the release's source."""
        self.assertEqual(read(os.path.join(rel.game, "disc.iso")), read(image))
        self.assertEqual(read(os.path.join(rel.game, PROGRAM)),
                         read(os.path.join(rel.source, "demo", PROGRAM)))
        built_from, release_ini = (os.path.join(rel.game, "built_from.ini"),
                                   os.path.join(rel.source, "release.ini"))
        for key in ("commit", "version"):
            self.assertEqual(launcher_ini_value(built_from, key),
                             launcher_ini_value(release_ini, key), key)
        self.assertEqual(files_under(os.path.join(rel.build_dir, "extract")), image_files(image))
        self.assertEqual(rel.stamps(), sorted(STEPS))

    def test_only_what_changed_runs_again(self):
        disc = os.path.join(self.tmp, "disc.iso")
        shutil.copyfile(fixture("good.iso"), disc)
        base = self.release()
        self.assertCompleted(*base.build(disc))
        note = "\n# a comment, no code\n"

        def comment_in(name, line):
            return lambda r: r.edit_tool(name, line, line + "    # a comment, no code\n")

        def edit_build(old, new):  # a change in what a step writes, and so in its outputs
            return lambda r: r.edit_tool("qm_build.py", old, new)

        def new_release_ini(r):
            with open(os.path.join(r.source, "release.ini"), "w") as f:
                f.write("version = 0.7.0\ncommit = fedcba9876543210fedcba9876543210fedcba98\n")

        def same_disc_elsewhere(r):
            path = os.path.join(r.root, "same disc.iso")
            shutil.copyfile(disc, path)
            return path

        cases = [
            # what changes (and returns another image to build from), steps that must run again
            ("qm_disc.py", lambda r: r.append_to_tool("qm_disc.py", note),
             ("verify", "extract", "stage")),
            ("qm_r5900.py", lambda r: r.append_to_tool("qm_r5900.py", note),
             ("tools", "recompile", "compile")),
            ("apply_update.py, no build tool", lambda r: r.append_to_tool("apply_update.py", note),
             ()),
            ("qm_build.py outside any step", lambda r: r.append_to_tool("qm_build.py", note), ()),
            ("qm_build.py in the packs step",
             comment_in("qm_build.py", "def step_packs(b, pace, log):\n"), ("packs",)),
            ("qm_build.py in the compile workers",
             comment_in("qm_build.py", "def run_worker(job_path):\n"), ("compile",)),
            ("qm_build.py in a helper of most steps",
             comment_in("qm_build.py", "def fresh_dir(path):\n"),
             ("extract", "tools", "recompile", "packs", "compile")),
            ("verify's output", edit_build('"user_bytes")})', '"user_bytes", "label")})'),
             ("verify", "configure")),
            ("configure's output", edit_build('config = {"boot"', 'config = {"edition": 2, "boot"'),
             ("configure", "recompile", "packs", "compile", "stage")),
            ("tools' output", edit_build('"r5900_ops.json"), ops)',
                                         '"r5900_ops.json"), dict(ops, edition=2))'),
             ("tools", "recompile", "compile")),
            ("the release's commit and version", new_release_ini, ()),
            ("the game program", lambda r: r.add_program("#!/bin/sh\nexit 3\n"), ("stage",)),
            ("another disc", lambda r: fixture("demo.iso"), all_but("tools")),
            ("the disc's modification time", lambda r: os.utime(disc, (1e9, 1e9)), ("verify",)),
            ("the same disc at another path", same_disc_elsewhere, ("verify",)),
            ("an extracted file damaged",
             lambda r: truncate(r.build_dir, "extract", "DATA", "MAP00.DAT"), ("extract",)),
            ("a texture deleted",
             lambda r: os.remove(os.path.join(r.build_dir, "packs", "TEX", "UI", "UI00.png")),
             ("packs",)),
            ("an object damaged", lambda r: truncate(r.build_dir, "obj", "unit_003.o"),
             ("compile",)),
            ("disc.iso deleted", lambda r: os.remove(os.path.join(r.game, "disc.iso")),
             ("stage",)),
            ("the tools stamp deleted",
             lambda r: os.remove(os.path.join(r.build_dir, "stamps", "tools.json")), ("tools",)),
            ("built_from.ini deleted", lambda r: os.remove(os.path.join(r.game, "built_from.ini")),
             ()),
        ]
        disc_times = os.stat(disc)
        for label, change, rerun in cases:
            with self.subTest(label):
                rel = Release(tempfile.mkdtemp(dir=self.tmp), copy_of=base)
                try:
                    image = change(rel) or disc
                    code, lines = rel.build(image)
                finally:
                    os.utime(disc, ns=(disc_times.st_atime_ns, disc_times.st_mtime_ns))
                self.assertCompleted(code, lines)
                self.assertStepsInOrder(lines, skipped=all_but(*rerun))
                self.assertGameMatches(rel, image)


if __name__ == "__main__":
    unittest.main()
