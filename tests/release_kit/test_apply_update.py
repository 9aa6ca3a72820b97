"""Tests of the update installer apply_update.py and of the packaging that feeds it.

Run from the repository root:
    python3 -m unittest discover -s tests/release_kit -t tests/release_kit

The installer runs as the launcher runs it: a child of this interpreter with -I -X utf8, working
folder the release, the archive and its checksum in <release>/update. Each test builds a small
release 0.6.1 in a temporary folder and publishes 0.7.0 from it with fixtures/publish_070.py;
hostile archives are that archive with entries added. "Unchanged" means the whole release tree,
outside update/, hashes (content, kind and permission bits) exactly as before.

Sections: helpers | packaging | a good install | checksum | refused archives | another system's
          release | rollback | files left for the next start
"""
import contextlib
import hashlib
import importlib.util
import io
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import unittest.mock
import warnings
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(REPO, "release_kit", "source", "tools", "apply_update.py")
TOP = "ZO_Duzoru-0.7.0/"
JOURNAL = "install_journal.json"
ASSET = "ZO_Duzoru-0.7.0-kettlewise-linux-x86_64.zip"
WINDOWS_ASSET = "ZO_Duzoru-0.7.0-kettlewise.zip"


def load_module(path, name):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


apply_update = load_module(SCRIPT, "apply_update")
publish_070 = load_module(os.path.join(REPO, "fixtures", "publish_070.py"), "publish_070")
package_release = publish_070.package_release


# --- helpers --------------------------------------------------------------------------------------

def write(path, text, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def make_release(root):
    """A small release 0.6.1 with a user folder and a built game beside it."""
    write(os.path.join(root, "qm-launcher"), "#!/bin/sh\necho old launcher\n", 0o755)
    write(os.path.join(root, "source", "release.ini"),
          "[release]\nversion = 0.6.1\ncommit = %s\n" % ("1" * 40))
    write(os.path.join(root, "source", "tools", "qm_build.py"), "# build script 0.6.1\n")
    shutil.copy2(SCRIPT, os.path.join(root, "source", "tools", "apply_update.py"))
    write(os.path.join(root, "source", "assets", "deep", "table.txt"), "table 0.6.1\n")
    write(os.path.join(root, "CHANGELOG.md"), "# Changelog\n\n## [0.6.1] - 2026-11-28\n- Old.\n")
    write(os.path.join(root, "kit", "kit_manifest.json"), "{}\n")
    write(os.path.join(root, "user", "launcher.ini"), "disc = /discs/mine.iso\n")
    write(os.path.join(root, "game", "qm"), "built game\n", 0o755)
    write(os.path.join(root, "build", "logs", "verify.log"), "log\n")


def tree(root, skip_top=("update",)):
    """{relative path: (kind, permission bits, sha256)} of everything below root."""
    found = {}
    for folder, dirs, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        if rel_folder == ".":
            dirs[:] = [d for d in dirs if d not in skip_top]
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.normpath(os.path.join(rel_folder, name))
            st = os.lstat(path)
            digest = ""
            if stat.S_ISREG(st.st_mode):
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            found[rel] = (stat.S_IFMT(st.st_mode), stat.S_IMODE(st.st_mode), digest)
    return found


def add_entries(archive, entries):
    """Appends (ZipInfo or name, bytes) entries and writes the checksum file again."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # duplicate names are the point of some tests
        with zipfile.ZipFile(archive, "a") as zf:
            for info, data in entries:
                zf.writestr(info, data)
    package_release.write_checksum(archive)


class ReleaseCase(unittest.TestCase):
    """A release 0.6.1 in a temporary folder and the archive of 0.7.0 made from it."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="qm-apply-")
        self.release = os.path.join(self.tmp, "release")
        make_release(self.release)
        self.archive = publish_070.publish(self.release, os.path.join(self.tmp, "host"))
        self.before = tree(self.release)

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def place_download(self):
        """Puts the archive and its checksum where the launcher downloads them."""
        update = os.path.join(self.release, "update")
        os.makedirs(update, exist_ok=True)
        zip_path = os.path.join(update, ASSET)
        shutil.copy2(self.archive, zip_path)
        shutil.copy2(self.archive + ".sha256", zip_path + ".sha256")
        return zip_path

    def run_installer(self, version="0.7.0", fail_at=None, checksum_text=None):
        zip_path = self.place_download()
        if checksum_text is not None:
            write(zip_path + ".sha256", checksum_text)
        env = dict(os.environ)
        env.pop("QM_UPDATE_FAIL_AT", None)
        if fail_at is not None:
            env["QM_UPDATE_FAIL_AT"] = str(fail_at)
        proc = subprocess.run(
            [sys.executable, "-I", "-X", "utf8", SCRIPT, "--zip", zip_path, "--sha256",
             zip_path + ".sha256", "--version", version, "--install", self.release],
            cwd=self.release, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, timeout=120)
        return proc.returncode, proc.stdout.decode("utf-8").splitlines()

    def assert_failed_unchanged(self, rc, lines, error_start):
        self.assertEqual(1, rc, lines)
        errors = [line for line in lines if line.startswith("error ")]
        self.assertEqual(1, len(errors), lines)
        self.assertTrue(errors[0].startswith("error " + error_start), errors[0])
        self.assertFalse(any(line.startswith("done") for line in lines), lines)
        self.assertEqual(self.before, tree(self.release))
        self.assertFalse(os.path.exists(os.path.join(self.release, "update", "staging")))

    def old_leftovers(self):
        return [p for p in tree(self.release, skip_top=()) if ".qm-old" in p]


# --- packaging ------------------------------------------------------------------------------------

class PackagingTests(unittest.TestCase):

    def test_archive_holds_the_release_under_one_top_folder(self):
        with tempfile.TemporaryDirectory() as tmp:
            release = os.path.join(tmp, "release")
            make_release(release)
            write(os.path.join(release, "update", "old.zip"), "x")
            write(os.path.join(release, "selftest", "shot.png"), "x")
            write(os.path.join(release, "source", "tools", "__pycache__", "a.pyc"), "x")
            write(os.path.join(release, "source", "x.qm-old"), "x")
            write(os.path.join(tmp, "outside.txt"), "linked content\n")
            os.symlink(os.path.join(tmp, "outside.txt"), os.path.join(release, "linked.txt"))
            archive = package_release.package(release, os.path.join(tmp, "out"), "0.7.0")

            self.assertEqual(ASSET, os.path.basename(archive))
            with zipfile.ZipFile(archive) as zf:
                names = zf.namelist()
                self.assertTrue(all(n.startswith(TOP) for n in names), names)
                for gone in ("build/", "game/", "update/", "selftest/", "user/", "__pycache__",
                             ".qm-old"):
                    self.assertFalse(any(gone in n for n in names), (gone, names))
                self.assertEqual(b"linked content\n", zf.read(TOP + "linked.txt"))
                mode = zf.getinfo(TOP + "qm-launcher").external_attr >> 16
                self.assertEqual(0o755, stat.S_IMODE(mode))
                self.assertIsNone(zf.testzip())
            with open(archive, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            with open(archive + ".sha256", encoding="utf-8") as f:
                self.assertEqual("%s  %s\n" % (digest, ASSET), f.read())


    def test_a_publication_offers_each_system_its_own_release(self):
        with tempfile.TemporaryDirectory() as tmp:
            release = os.path.join(tmp, "release")
            make_release(release)
            write(os.path.join(release, "qm-job"), "job helper\n", 0o755)
            write(os.path.join(release, "kit", "python", "bin", "python3"), "python\n", 0o755)
            host = os.path.join(tmp, "host")
            returned = publish_070.publish(release, host)
            folder = os.path.join(host, "v0.7.0")
            self.assertEqual(os.path.join(folder, ASSET), returned)
            self.assertEqual(sorted([ASSET, ASSET + ".sha256", WINDOWS_ASSET,
                                     WINDOWS_ASSET + ".sha256"]), sorted(os.listdir(folder)))
            shapes = [  # archive, what it must hold, what it must not
                (ASSET, ["qm-launcher", "qm-job", "kit/python/bin/python3"],
                 ["QMLauncher.exe", "kit/python/python.exe"]),
                (WINDOWS_ASSET, ["QMLauncher.exe", "kit/python/python.exe", "source/demo/qm.exe",
                                 "kit/kit_manifest.json"],
                 ["qm-launcher", "qm-job", "kit/python/bin/python3"]),
            ]
            for name, present, absent in shapes:
                with self.subTest(name), zipfile.ZipFile(os.path.join(folder, name)) as zf:
                    names = set(zf.namelist())
                    for rel in present + ["NEW_IN_0.7.0.txt", "source/tools/apply_update.py"]:
                        self.assertIn(TOP + rel, names)
                    for rel in absent:
                        self.assertNotIn(TOP + rel, names)
                    self.assertIn(b"version = 0.7.0", zf.read(TOP + "source/release.ini"))
                    with open(os.path.join(folder, name + ".sha256"), encoding="utf-8") as f:
                        self.assertEqual(name, f.read().split()[1])
            with zipfile.ZipFile(returned) as zf:
                self.assertEqual(read_bytes(os.path.join(release, "qm-launcher")),
                                 zf.read(TOP + "qm-launcher"))

    def test_a_folder_is_packed_only_when_its_system_is_plain(self):
        for label, programs, error in (("no launcher", [], "no launcher program"),
                                       ("both launchers", ["qm-launcher", "QMLauncher.exe"],
                                        "the launchers of linux and windows")):
            with self.subTest(label), tempfile.TemporaryDirectory() as tmp:
                write(os.path.join(tmp, "release", "CHANGELOG.md"), "# Changelog\n")
                for program in programs:
                    write(os.path.join(tmp, "release", program), "program\n")
                with self.assertRaises(SystemExit) as cm:
                    package_release.package(os.path.join(tmp, "release"),
                                            os.path.join(tmp, "out"), "0.7.0")
                self.assertIn(error, str(cm.exception))
                self.assertFalse(os.path.exists(os.path.join(tmp, "out", ASSET)))


# --- a good install -------------------------------------------------------------------------------

class GoodInstallTests(ReleaseCase):

    def test_install_replaces_the_release_and_keeps_what_is_not_its_own(self):
        rc, lines = self.run_installer()
        self.assertEqual(0, rc, lines)
        self.assertEqual("done 0.7.0", lines[-1])
        steps = [line for line in lines if line.startswith("step ")]
        self.assertEqual(["step verify", "step extract", "step install"], steps)
        for line in lines:
            self.assertRegex(line, r"^(step \w+|progress \d+ \d+|done 0\.7\.0)$")

        after = tree(self.release)
        with open(os.path.join(self.release, "source", "release.ini"), encoding="utf-8") as f:
            self.assertIn("version = 0.7.0", f.read())
        self.assertIn("NEW_IN_0.7.0.txt", after)
        for kept in ("user/launcher.ini", "game/qm", "build/logs/verify.log"):
            self.assertEqual(self.before[kept], after[kept], kept)
        self.assertEqual(0o755, after["qm-launcher"][1])
        self.assertEqual([], self.old_leftovers())
        self.assertFalse(os.path.exists(os.path.join(self.release, "update")))

    def test_links_in_the_old_release_are_replaced_and_never_written_through(self):
        outside_dir = os.path.join(self.tmp, "outside-assets")
        outside_file = os.path.join(self.tmp, "outside-launcher")
        write(os.path.join(outside_dir, "deep", "table.txt"), "outside\n")
        write(outside_file, "outside launcher\n")
        shutil.rmtree(os.path.join(self.release, "source", "assets"))
        os.symlink(outside_dir, os.path.join(self.release, "source", "assets"))
        os.remove(os.path.join(self.release, "qm-launcher"))
        os.symlink(outside_file, os.path.join(self.release, "qm-launcher"))
        outside_before = (tree(outside_dir), read_bytes(outside_file))

        rc, lines = self.run_installer()
        self.assertEqual(0, rc, lines)
        self.assertEqual(outside_before, (tree(outside_dir), read_bytes(outside_file)))
        after = tree(self.release)
        self.assertEqual(stat.S_IFDIR, after[os.path.join("source", "assets")][0])
        self.assertEqual(self.before[os.path.join("source", "assets", "deep", "table.txt")],
                         after[os.path.join("source", "assets", "deep", "table.txt")])
        self.assertEqual(stat.S_IFREG, after["qm-launcher"][0])
        self.assertEqual([], self.old_leftovers())

    def test_an_archive_of_another_version_is_refused(self):
        rc, lines = self.run_installer(version="0.7.1")
        self.assert_failed_unchanged(rc, lines, "archive refused")


# --- checksum -------------------------------------------------------------------------------------

class ChecksumTests(ReleaseCase):

    def test_a_checksum_that_does_not_fit_refuses_the_archive(self):
        good = read_bytes(self.archive + ".sha256").decode("utf-8")
        cases = [
            ("another hash", "0" * 64 + "  " + ASSET + "\n", "checksum mismatch"),
            ("another archive", good.replace(ASSET, "other.zip"), "the checksum file is for"),
            ("empty", "", "the checksum file is empty"),
            ("no hash", "not a hash\n", "the checksum file holds no SHA-256"),
        ]
        for label, text, error in cases:
            with self.subTest(label):
                rc, lines = self.run_installer(checksum_text=text)
                self.assert_failed_unchanged(rc, lines, error)

    def test_a_damaged_archive_is_found_before_anything_is_replaced(self):
        """The checksum fits (it was made from the damaged file): unpacking finds the damage."""
        with zipfile.ZipFile(self.archive) as zf:
            info = zf.getinfo(TOP + "CHANGELOG.md")
        with open(self.archive, "r+b") as f:
            f.seek(info.header_offset + 26)
            name_len, extra_len = struct.unpack("<HH", f.read(4))
            middle = info.header_offset + 30 + name_len + extra_len + info.compress_size // 2
            f.seek(middle)
            byte = f.read(1)[0]
            f.seek(middle)
            f.write(bytes([byte ^ 0xFF]))
        package_release.write_checksum(self.archive)
        rc, lines = self.run_installer()
        self.assert_failed_unchanged(rc, lines, "archive damaged")


# --- refused archives -----------------------------------------------------------------------------

def link_entry(name, target):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = (stat.S_IFLNK | 0o777) << 16
    return info, target.encode()


class RefusedArchiveTests(ReleaseCase):

    HOSTILE = [  # label, entry name, the refusal's reason
        ("parent first", "../evil.txt", "'..' segment"),
        ("parent inside", TOP + "source/../../evil.txt", "'..' segment"),
        ("parent last", TOP + "source/..", "'..' segment"),
        ("absolute", "/tmp/evil.txt", "absolute or UNC path"),
        ("drive letter", "C:/evil.txt", "drive letter"),
        ("drive relative", "C:evil.txt", "drive letter"),
        ("UNC", "\\\\server\\share\\evil.txt", "absolute or UNC path"),
        ("UNC slashes", "//server/share/evil.txt", "absolute or UNC path"),
        ("backslash parent", TOP + "a\\..\\..\\evil.txt", "backslash"),
        ("device", TOP + "CON", "reserved device name"),
        ("device with extension", TOP + "source/aux.txt", "reserved device name"),
        ("device numbered", TOP + "lpt1", "reserved device name"),
        ("trailing dot", TOP + "evil.", "ends in a dot or a blank"),
        ("trailing blank", TOP + "evil ", "ends in a dot or a blank"),
        ("colon stream", TOP + "qm-launcher:stream", "not allowed in file names"),
        ("line break", TOP + "evil\ndone 0.7.0", "control character"),
        ("outside the top folder", "ZO_Duzoru-0.6.9/evil.txt", "outside the ZO_Duzoru-0.7.0"),
        ("machine folder", TOP + "game/qm", "not part of a release"),
        ("user folder", TOP + "user/launcher.ini", "not part of a release"),
        ("user settings", TOP + "video.ini", "not part of a release"),
        ("replaced-file name", TOP + "source/release.ini.qm-old", "reserved for replaced files"),
        ("device with two extensions", TOP + "nul.tar.gz", "reserved device name"),
        ("device with a blank", TOP + "source/COM1 .log", "reserved device name"),
        ("console device", TOP + "CONIN$", "reserved device name"),
        ("device with a superscript", TOP + "LPT\u00b9", "reserved device name"),
        ("device ending in a dot", TOP + "con.", "ends in a dot or a blank"),
        ("trailing dots and blanks", TOP + "source/evil. .", "ends in a dot or a blank"),
        ("dots only", TOP + "...", "ends in a dot or a blank"),
        ("dot segment", TOP + "./evil.txt", "'.' segment"),
        ("double slash inside", TOP + "source//evil.txt", "empty path segment"),
        ("fraction slash", TOP + "..\u2215..\u2215evil.txt", "look-alike path separator"),
        ("fullwidth solidus", TOP + "..\uff0fevil.txt", "look-alike path separator"),
        ("fullwidth backslash", TOP + "..\uff3cevil.txt", "look-alike path separator"),
        ("tab", TOP + "evil\t.txt", "control character"),
        ("DEL", TOP + "evil\x7f.txt", "control character"),
        ("duplicate", TOP + "CHANGELOG.md", "duplicate entry"),
        ("duplicate by case", TOP + "changelog.md", "duplicate entry"),
        ("file as folder", TOP + "CHANGELOG.md/inner.txt", "its folder is also a file"),
    ]

    def test_each_hostile_entry_refuses_the_whole_archive_before_anything_is_written(self):
        pristine = read_bytes(self.archive)
        for label, name, reason in self.HOSTILE:
            with self.subTest(label):
                with open(self.archive, "wb") as f:
                    f.write(pristine)
                add_entries(self.archive, [(zipfile.ZipInfo(name), b"hostile\n")])
                rc, lines = self.run_installer()
                self.assert_failed_unchanged(rc, lines, "archive refused")
                self.assertIn(reason, lines[-1])
                self.assertFalse(os.path.lexists(os.path.join(self.tmp, "evil.txt")))
                self.assertFalse(os.path.lexists("/tmp/evil.txt"))

    # The names of CPython's zipfile tests of hostile archives (test_extract_hackers_arcnames),
    # both as they are and below the release's top folder.
    CPYTHON_NAMES = [
        "../foo/bar", "foo/../bar", "foo/../../bar", "foo/bar/..", "./../foo/bar", "/foo/bar",
        "/foo/../bar", "/foo/../../bar", "//foo/bar", "..\\foo\\bar", "..\\/foo\\/bar",
        "foo/\\..\\/bar", "foo\\/../\\bar", "C:foo/bar", "C:/foo/bar", "C://foo/bar",
        "C:\\foo\\bar", "//conky/mountpoint/foo/bar", "\\\\conky\\mountpoint\\foo\\bar",
        "///conky/mountpoint/foo/bar", "\\\\\\conky\\mountpoint\\foo\\bar",
        "//conky//mountpoint/foo/bar", "\\\\conky\\\\mountpoint\\foo\\bar",
        "//?/C:/foo/bar", "\\\\?\\C:\\foo\\bar", "//?/C:/../foo/bar",
        "\\\\?\\C:\\..\\foo\\bar", "C:/../C:/foo/bar", "a:b\\c<d>e|f\"g?h*i",
        "../../foo../../ba..r", "/../../foo../../ba..r", "foo/..\\bar",
    ]

    def test_every_hostile_name_of_cpythons_tests_is_refused(self):
        pristine = read_bytes(self.archive)
        outside = outside_snapshot(self.tmp, self.release)
        for raw in self.CPYTHON_NAMES:
            for name in (raw, TOP + raw):
                with self.subTest(name=name):
                    with open(self.archive, "wb") as f:
                        f.write(pristine)
                    add_entries(self.archive, [(zipfile.ZipInfo(name), b"hostile\n")])
                    rc, lines = self.run_installer()
                    self.assert_failed_unchanged(rc, lines, "archive refused")
                    self.assertEqual(outside, outside_snapshot(self.tmp, self.release))
                    self.assertFalse(os.path.lexists("/foo"))

    def test_a_name_cut_short_by_a_nul_byte_is_refused(self):
        """zipfile shows "evil" for a name stored as "evil<NUL>.txt"; the stored name counts."""
        add_entries(self.archive, [(zipfile.ZipInfo(TOP + "evilXtxt"), b"hostile\n")])
        data = read_bytes(self.archive).replace(b"evilXtxt", b"evil\x00txt")
        with open(self.archive, "wb") as f:
            f.write(data)
        package_release.write_checksum(self.archive)
        rc, lines = self.run_installer()
        self.assert_failed_unchanged(rc, lines, "archive refused")
        self.assertIn("control character", lines[-1])
        self.assertFalse(os.path.lexists(os.path.join(self.release, "evil")))

    def test_a_link_entry_is_refused(self):
        add_entries(self.archive, [link_entry(TOP + "source/link", "../../../etc/passwd")])
        rc, lines = self.run_installer()
        self.assert_failed_unchanged(rc, lines, "archive refused")
        self.assertIn("symbolic link", lines[-1])

    def test_a_zip_bomb_is_refused_by_its_compression_ratio(self):
        info = zipfile.ZipInfo(TOP + "zeros.bin")
        info.compress_type = zipfile.ZIP_DEFLATED
        add_entries(self.archive, [(info, bytes(20 << 20))])
        rc, lines = self.run_installer()
        self.assert_failed_unchanged(rc, lines, "archive refused")
        self.assertIn("compression ratio", lines[-1])

    def test_an_archive_declaring_more_than_the_cap_is_refused(self):
        add_entries(self.archive, [(zipfile.ZipInfo(TOP + "big%d.bin" % i), b"x") for i in (1, 2)])
        declare_sizes(self.archive, {TOP + "big1.bin", TOP + "big2.bin"}, 0xF0000000)
        package_release.write_checksum(self.archive)
        rc, lines = self.run_installer()
        self.assert_failed_unchanged(rc, lines, "archive refused")
        self.assertIn("bytes unpacked", lines[-1])

    def test_a_user_folder_inside_the_release_is_never_written(self):
        user = os.path.join(self.release, "profile")
        write(os.path.join(user, "launcher.ini"), "mine\n")
        self.before = tree(self.release)
        add_entries(self.archive, [(zipfile.ZipInfo(TOP + "profile/launcher.ini"), b"theirs\n")])
        os.environ["ZOLT_USER_DIR"] = user
        try:
            rc, lines = self.run_installer()
        finally:
            del os.environ["ZOLT_USER_DIR"]
        self.assert_failed_unchanged(rc, lines, "archive refused")

    def test_a_release_inside_the_user_folder_still_installs(self):
        os.environ["ZOLT_USER_DIR"] = self.tmp
        try:
            rc, lines = self.run_installer()
        finally:
            del os.environ["ZOLT_USER_DIR"]
        self.assertEqual(0, rc, lines)


def outside_snapshot(tmp, release):
    """Everything under the test's folder except the release itself."""
    found = set()
    for folder, dirs, files in os.walk(tmp):
        if os.path.abspath(folder) == os.path.abspath(release):
            dirs[:] = []
            continue
        for name in dirs + files:
            found.add(os.path.join(folder, name))
    return found


def declare_sizes(archive, names, size):
    """Rewrites the central directory's sizes of these entries (stored ones: both sizes)."""
    data = bytearray(read_bytes(archive))
    at = data.find(b"PK\x01\x02")
    while at >= 0:
        name_len = struct.unpack_from("<H", data, at + 28)[0]
        name = bytes(data[at + 46:at + 46 + name_len]).decode("utf-8")
        if name in names:
            struct.pack_into("<II", data, at + 20, size, size)
        at = data.find(b"PK\x01\x02", at + 4)
    with open(archive, "wb") as f:
        f.write(data)


# --- another system's release ---------------------------------------------------------------------

def copy_without(archive, out, left_out, added=()):
    """The archive's entries but those named in left_out, then the added (name, bytes) entries."""
    with zipfile.ZipFile(archive) as src, zipfile.ZipFile(out, "w") as dst:
        for info in src.infolist():
            if info.filename not in left_out:
                dst.writestr(info, src.read(info))
        for name, data in added:
            dst.writestr(zipfile.ZipInfo(name), data)


class AnotherSystemsReleaseTests(ReleaseCase):
    """An archive without this system's launcher program would leave the old launcher in place,
    which would offer the same update again and again: it is refused before anything is
    unpacked."""

    def offer(self, make):
        """Makes self.archive, under this system's name with a checksum of its own, by make."""
        offered = os.path.join(self.tmp, "offered", ASSET)
        os.makedirs(os.path.dirname(offered), exist_ok=True)
        make(offered)
        package_release.write_checksum(offered)
        self.archive = offered

    def assert_refused_before_unpacking(self, rc, lines, launcher):
        self.assert_failed_unchanged(rc, lines, "archive refused")
        self.assertIn("holds no %s" % launcher, lines[-1])
        self.assertNotIn("step extract", lines)
        self.assertEqual(sorted([ASSET, ASSET + ".sha256"]),
                         sorted(os.listdir(os.path.join(self.release, "update"))))

    def test_an_archive_without_this_systems_launcher_is_refused(self):
        linux = self.archive
        windows = os.path.join(os.path.dirname(linux), WINDOWS_ASSET)
        cases = [
            ("the Windows release", lambda out: shutil.copyfile(windows, out)),
            ("no launcher", lambda out: copy_without(linux, out, {TOP + "qm-launcher"})),
            ("a folder of the launcher's name",
             lambda out: copy_without(linux, out, {TOP + "qm-launcher"},
                                      [(TOP + "qm-launcher/", b""),
                                       (TOP + "qm-launcher/x", b"x\n")])),
            ("the launcher in a subfolder",
             lambda out: copy_without(linux, out, {TOP + "qm-launcher"},
                                      [(TOP + "bin/qm-launcher", b"#!/bin/sh\n")])),
            ("the launcher's name in other letters", lambda out: copy_without(linux, out, {TOP + "qm-launcher"},
                                                      [(TOP + "QM-Launcher", b"#!/bin/sh\n")])),
        ]
        for label, make in cases:
            with self.subTest(label):
                self.offer(make)
                rc, lines = self.run_installer()
                self.assert_refused_before_unpacking(rc, lines, "qm-launcher")

    def test_on_windows_the_linux_release_is_refused(self):
        zip_path = self.place_download()
        out = io.StringIO()
        with unittest.mock.patch.object(apply_update, "LAUNCHER", "QMLauncher.exe"), \
                contextlib.redirect_stdout(out):
            rc = apply_update.main(["--zip", zip_path, "--sha256", zip_path + ".sha256",
                                    "--version", "0.7.0", "--install", self.release])
        self.assert_refused_before_unpacking(rc, out.getvalue().splitlines(), "QMLauncher.exe")


# --- rollback -------------------------------------------------------------------------------------

class RollbackTests(ReleaseCase):

    def test_a_failure_part_way_puts_the_old_release_back_byte_for_byte(self):
        with zipfile.ZipFile(self.archive) as zf:
            files = sum(1 for i in zf.infolist() if not i.is_dir())
        for fail_at in (0, 1, 3, files):
            with self.subTest(fail_at=fail_at):
                rc, lines = self.run_installer(fail_at=fail_at)
                self.assert_failed_unchanged(rc, lines, "install failed")
                self.assertEqual([], self.old_leftovers())
                self.assertIn("step install", lines)

    def test_after_a_failure_the_same_archive_installs(self):
        rc, lines = self.run_installer(fail_at=2)
        self.assertEqual(1, rc, lines)
        rc, lines = self.run_installer()
        self.assertEqual(0, rc, lines)
        self.assertEqual("done 0.7.0", lines[-1])


# --- killed installs and cut archives -------------------------------------------------------------

class KilledInstallTests(ReleaseCase):
    """SIGKILL at random moments, then the launcher's start-up recovery (--recover): the release is
    exactly the old one or exactly the new one, and a new attempt installs."""

    KILLS = 200

    def installer_command(self, zip_path):
        return [sys.executable, "-I", "-X", "utf8", SCRIPT, "--zip", zip_path, "--sha256",
                zip_path + ".sha256", "--version", "0.7.0", "--install", self.release]

    def recover(self):
        proc = subprocess.run([sys.executable, "-I", "-X", "utf8", SCRIPT, "--recover",
                               "--install", self.release], cwd=self.release,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(0, proc.returncode, proc.stdout)
        return proc.stdout.decode()

    def test_a_killed_install_is_finished_or_undone(self):
        import random
        import time
        pristine = os.path.join(self.tmp, "pristine")
        shutil.copytree(self.release, pristine, symlinks=True)
        rc, lines = self.run_installer()
        self.assertEqual(0, rc, lines)
        new = tree(self.release)
        old = self.before
        rng = random.Random(5309)
        outcomes = {"old": 0, "new": 0}
        for i in range(self.KILLS):
            shutil.rmtree(self.release)
            shutil.copytree(pristine, self.release, symlinks=True)
            zip_path = self.place_download()
            proc = subprocess.Popen(self.installer_command(zip_path), cwd=self.release,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT)
            # Half the moments anywhere in the run, half inside the swap itself.
            if i % 2:
                for line in proc.stdout:
                    if line.startswith(b"step install"):
                        break
                time.sleep(rng.uniform(0, 0.01))
            else:
                time.sleep(rng.uniform(0, 0.35))
            proc.kill()
            proc.wait()
            proc.stdout.close()
            if i % 20 == 0:
                self.recover()  # as the launcher's start-up runs it
            else:
                with contextlib.redirect_stdout(io.StringIO()):
                    apply_update.recover(self.release)
            found = tree(self.release)
            self.assertIn(found, (old, new), "kill %d left a mixed release" % i)
            outcomes["old" if found == old else "new"] += 1
            self.assertFalse(os.path.exists(os.path.join(self.release, "update", JOURNAL)))
            self.assertEqual([], self.old_leftovers())
            if i % 20 == 0:  # a new attempt after the recovery installs
                rc, lines = self.run_installer()
                self.assertEqual(0, rc, lines)
                self.assertEqual(new, tree(self.release))
        print("\n[ figures ] %d installer kills: %d left the old release, %d the new one, "
              "none mixed" % (self.KILLS, outcomes["old"], outcomes["new"]))
        self.assertGreater(outcomes["old"], 0)
        self.assertGreater(outcomes["new"], 0)

    def test_the_next_run_recovers_by_itself(self):
        zip_path = self.place_download()
        env = dict(os.environ, QM_UPDATE_PAUSE_AT="3")
        proc = subprocess.Popen(self.installer_command(zip_path), cwd=self.release, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)
        for line in proc.stdout:
            if line.startswith(b"note paused"):
                break
        proc.kill()
        proc.wait()
        proc.stdout.close()
        self.assertNotEqual(self.before, tree(self.release))  # mixed until recovered
        rc, lines = self.run_installer()
        self.assertEqual(0, rc, lines)
        self.assertIn("note an interrupted install was rolled back", lines)
        self.assertEqual([], self.old_leftovers())

    def test_a_cut_archive_is_refused_and_changes_nothing(self):
        import random
        whole = read_bytes(self.archive)
        rng = random.Random(1234)
        for length in sorted(rng.sample(range(len(whole)), 30)):
            for matching_sum in (True, False):
                with self.subTest(length=length, matching_sum=matching_sum):
                    with open(self.archive, "wb") as f:
                        f.write(whole[:length])
                    if matching_sum:
                        package_release.write_checksum(self.archive)
                    rc, lines = self.run_installer()
                    self.assert_failed_unchanged(
                        rc, lines, "archive" if matching_sum else "checksum mismatch")
                    with open(self.archive, "wb") as f:
                        f.write(whole)
                    package_release.write_checksum(self.archive)


# --- files left for the next start ----------------------------------------------------------------

class OldFilesTests(ReleaseCase):

    def test_replaced_files_that_cannot_be_deleted_are_listed_in_full(self):
        """A running program cannot be deleted on Windows: deleting the old launcher fails."""
        update = os.path.join(self.release, "update")
        earlier = os.path.join(self.release, "earlier.qm-old")
        write(os.path.join(update, "old_files.txt"), earlier + "\n")
        zip_path = self.place_download()
        real_remove = apply_update.remove_any

        def in_use(path):
            if os.path.basename(path).startswith("qm-launcher"):
                raise PermissionError(13, "in use", path)
            real_remove(path)

        out = io.StringIO()
        with unittest.mock.patch.object(apply_update, "remove_any", in_use), \
                contextlib.redirect_stdout(out):
            rc = apply_update.main(["--zip", zip_path, "--sha256", zip_path + ".sha256",
                                    "--version", "0.7.0", "--install", self.release])
        self.assertEqual(0, rc, out.getvalue())
        kept = os.path.join(self.release, "qm-launcher.qm-old")
        with open(os.path.join(update, "old_files.txt"), encoding="utf-8") as f:
            self.assertEqual(earlier + "\n" + kept + "\n", f.read())
        self.assertTrue(os.path.isfile(kept))
        self.assertEqual(["qm-launcher.qm-old"], self.old_leftovers())
        self.assertEqual(["old_files.txt"], os.listdir(update))


if __name__ == "__main__":
    unittest.main()
