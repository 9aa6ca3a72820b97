"""Installs a downloaded release archive in place, over the release folder it belongs to.

    python -I -X utf8 apply_update.py --zip Z --sha256 S --version V --install R

The launcher runs this with the release's own Python, in the release folder R, and follows its
output, one line at a time (each flushed at once):

    step verify | step extract | step install     the step that begins
    progress N M                                  N of M (bytes, then files) done in that step
    error TEXT                                    what went wrong; the script then exits with 1
    done V                                        the release is now version V; exit code 0

Archive layout: every entry lies under one top folder "ZO_Duzoru-<V>/", whose contents are the
release folder's contents (launcher, kit/, source/, CHANGELOG.md ...). Anything outside that
folder refuses the whole archive. A release archive never holds build/, game/, update/, selftest/
or user/: those belong to this machine and are never written here. It must hold this system's
launcher program (QMLauncher.exe on Windows, qm-launcher elsewhere): the other system's release
would leave the old launcher in place, which would then offer the same update again.

The order of work, and why:
  1. verify: the archive's SHA-256 must equal the one in S ("HASH  NAME", the usual form).
  2. every entry's name, type and size is judged before anything is written: absolute paths,
     drive letters, UNC paths, ".." anywhere, links, device names, names Windows cannot hold,
     and archives that unpack to too much (in total, or per entry against its compressed size)
     refuse the whole archive, and so does an archive without this system's launcher.
  3. extract: everything is unpacked into R/update/staging, so a damaged archive costs nothing.
  4. install: under a journal written before the first step (R/update/install_journal.json,
     see Swap), file by file, the old file keeps a ".qm-old" name and the new one is renamed into
     its place (a running program, the launcher or this Python, can be renamed on every system).
     A link in the old release is moved aside like a file and never written through, so nothing
     outside the release folder is touched. If anything fails, every step is undone in reverse
     order: the release folder is the old release again, byte for byte. Files of the old release
     that the new one lacks stay. An install killed part-way is finished (every file was in
     place) or undone (otherwise) by the next run, before anything else, or by
         python -I -X utf8 apply_update.py --recover --install R
     which the launcher runs at its start while the journal exists.
  5. the ".qm-old" files are deleted; what cannot be (a running .exe on Windows) is listed in
     R/update/old_files.txt, one full path per line, for the next launcher start to delete.

Test switches: QM_UPDATE_FAIL_AT=<n> makes the install step fail after n files were swapped;
QM_UPDATE_PAUSE_AT=<n> makes it print "note paused after n files" there and wait forever (for a
test that kills it at that point).
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import stat
import sys
import time
import zipfile

REPO_NAME = "ZO_Duzoru"
CHUNK = 1 << 20
MAX_ENTRIES = 100_000
MAX_TOTAL_BYTES = 4 << 30          # the whole release, unpacked
MAX_RATIO = 200                     # unpacked / compressed, for entries above RATIO_FLOOR
RATIO_FLOOR = 1 << 20
SPACE_MARGIN = 64 << 20
# What belongs to this machine, not to a release: the build, the built game, the update's own
# folder, the self-test's output, the fallback user folder and the user's files in it.
MACHINE_NAMES = {"build", "game", "update", "selftest", "user", "logs", "crashes", "launcher.ini",
                 "video.ini"}
DEVICE_NAMES = ({"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}
                | {"COM%s" % c for c in "123456789\u00b9\u00b2\u00b3"}
                | {"LPT%s" % c for c in "123456789\u00b9\u00b2\u00b3"})
VERSION_RE = re.compile(r"^[A-Za-z0-9._+-]{1,63}$")
OLD_SUFFIX = ".qm-old"
JOURNAL = "install_journal.json"
LAUNCHER = "QMLauncher.exe" if os.name == "nt" else "qm-launcher"


class Refused(Exception):
    """A failure whose text is the message the user sees."""


# --- output ---------------------------------------------------------------------------------------

def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def one_line(text):
    """Text safe to print as part of one protocol line: no line breaks or control characters."""
    return "".join(c if c.isprintable() else "?" for c in str(text))


# --- checksum -------------------------------------------------------------------------------------

def read_expected_hash(sha_path, zip_path):
    try:
        with open(sha_path, "rb") as f:
            text = f.read(1 << 16).decode("utf-8")
    except (OSError, UnicodeDecodeError) as e:
        raise Refused("cannot read the checksum file: %s" % e)
    for line in text.splitlines():
        parts = line.strip().split(None, 1)
        if not parts:
            continue
        digest = parts[0].lower()
        if not re.fullmatch(r"[0-9a-f]{64}", digest):
            raise Refused("the checksum file holds no SHA-256")
        if len(parts) == 2:
            named = parts[1].strip().lstrip("*")
            if named and named != os.path.basename(zip_path):
                raise Refused("the checksum file is for another archive: %s" % named)
        return digest
    raise Refused("the checksum file is empty")


def verify(zip_path, sha_path):
    say("step verify")
    expected = read_expected_hash(sha_path, zip_path)
    total = os.path.getsize(zip_path)
    h = hashlib.sha256()
    done = 0
    with open(zip_path, "rb") as f:
        while True:
            block = f.read(CHUNK)
            if not block:
                break
            h.update(block)
            done += len(block)
            say("progress %d %d" % (done, total))
    if h.hexdigest() != expected:
        raise Refused("checksum mismatch")


# --- archive checks -------------------------------------------------------------------------------

def segment_problem(seg):
    if seg == "":
        return "empty path segment"
    if seg in (".", ".."):
        return "'%s' segment" % seg
    if seg[-1] in ". ":
        return "name ends in a dot or a blank"
    if OLD_SUFFIX in seg.lower():
        return "name reserved for replaced files"
    if seg.split(".")[0].rstrip(" ").upper() in DEVICE_NAMES:
        return "reserved device name"
    return None


# Characters that some systems or tools read as a path separator, or that show as one.
LOOKALIKE_SEPARATORS = set("\u2215\u2044\u29f8\uff0f\uff3c\ufe68\u29f5\u2216")


def name_problem(name, top):
    """Why an entry name may not be unpacked, or None."""
    if any(ord(c) < 32 or ord(c) == 127 for c in name):
        return "control character in name"
    if LOOKALIKE_SEPARATORS & set(name):
        return "look-alike path separator"
    if name.startswith(("/", "\\")):
        return "absolute or UNC path"
    if re.match(r"^[A-Za-z]:", name):
        return "drive letter"
    if "\\" in name:
        return "backslash in name"
    bad = set('<>:"|?*') & set(name)
    if bad:
        return "character %s not allowed in file names" % "".join(sorted(bad))
    segs = name.split("/")
    if segs[-1] == "":  # a folder entry ends with a slash
        segs = segs[:-1]
    for seg in segs:
        problem = segment_problem(seg)
        if problem:
            return problem
    if segs[0] != top:
        return "outside the %s folder" % top
    if len(segs) > 1 and segs[1].lower() in MACHINE_NAMES:
        return "%s is not part of a release" % segs[1]
    return None


def entry_kind(info):
    """"dir", "file", or the reason the entry's type is refused."""
    mode = info.external_attr >> 16
    kind = stat.S_IFMT(mode)
    if kind == stat.S_IFLNK:
        return "symbolic link"
    if info.is_dir():
        return "dir" if kind in (0, stat.S_IFDIR) else "special file"
    if kind not in (0, stat.S_IFREG):
        return "special file"
    return "file"


def inside(path, folder):
    return os.path.commonpath([path, folder]) == folder


def user_folders_inside(release):
    """The user folder named by ZOLT_USER_DIR, in both its written and resolved forms, when it
    lies inside the release folder; a release inside the user folder protects nothing more."""
    user = os.environ.get("ZOLT_USER_DIR")
    if not user:
        return []
    roots = {os.path.abspath(release), os.path.realpath(release)}
    forms = {os.path.abspath(user), os.path.realpath(user)}
    return [f for f in forms if any(f != r and inside(f, r) for r in roots)]


def plan_archive(zf, version, release):
    """Judges every entry before anything is written; returns [(relative path, info or None)]."""
    top = "%s-%s" % (REPO_NAME, version)
    infos = zf.infolist()
    if len(infos) > MAX_ENTRIES:
        raise Refused("archive refused: more than %d entries" % MAX_ENTRIES)
    protected = user_folders_inside(release)
    plan, seen, total = [], {}, 0
    for info in infos:
        name = info.filename
        shown = one_line(info.orig_filename)
        # zipfile cuts a name at its first NUL; the name as stored is judged whole.
        problem = name_problem(info.orig_filename, top)
        kind = entry_kind(info)
        if problem is None and kind not in ("dir", "file"):
            problem = kind
        if problem is None and info.flag_bits & 0x1:
            problem = "encrypted entry"
        if problem is None and info.compress_type not in (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED):
            problem = "unsupported compression"
        if problem is None and kind == "file" and info.file_size > RATIO_FLOOR \
                and info.file_size > MAX_RATIO * max(info.compress_size, 1):
            problem = "compression ratio too high"
        if problem:
            raise Refused("archive refused: %s: %s" % (shown, problem))
        rel = name.rstrip("/").split("/")[1:]
        if not rel:
            continue  # the top folder itself
        key = "/".join(rel).casefold()
        if key in seen:
            raise Refused("archive refused: %s: duplicate entry" % shown)
        seen[key] = kind
        # The install replaces links instead of writing through them, so the path as written is
        # where the file lands; its resolved form is compared too, in case the user folder is
        # named through a link.
        target = os.path.join(release, *rel)
        if any(inside(t, p) for t in (os.path.abspath(target), os.path.realpath(target))
               for p in protected):
            raise Refused("archive refused: %s: inside the user folder" % shown)
        total += info.file_size if kind == "file" else 0
        if total > MAX_TOTAL_BYTES:
            raise Refused("archive refused: more than %d bytes unpacked" % MAX_TOTAL_BYTES)
        plan.append(("/".join(rel), info if kind == "file" else None))
    for rel, _ in plan:  # a file may not also be another entry's folder
        parts = rel.split("/")
        for i in range(1, len(parts)):
            if seen.get("/".join(parts[:i]).casefold()) == "file":
                raise Refused("archive refused: %s: its folder is also a file" % one_line(rel))
    if not any(info for _, info in plan):
        raise Refused("archive refused: no files for version %s" % version)
    if not any(info and same_name(rel, LAUNCHER) for rel, info in plan):
        raise Refused("archive refused: it holds no %s, so it is not a release for this system"
                      % LAUNCHER)
    return plan


def same_name(a, b):
    """Whether two release-relative names name one file on this system."""
    return a.casefold() == b.casefold() if os.name == "nt" else a == b


# --- extraction -----------------------------------------------------------------------------------

def extract(zf, plan, staging):
    say("step extract")
    total = sum(info.file_size for _, info in plan if info)
    free = shutil.disk_usage(os.path.dirname(staging)).free
    if free < total + SPACE_MARGIN:
        raise Refused("not enough free disk space: %d MB needed" % ((total + SPACE_MARGIN) >> 20))
    done = 0
    for rel, info in plan:
        path = os.path.join(staging, *rel.split("/"))
        if info is None:
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        written = 0
        with zf.open(info) as src, open(path, "wb") as dst:
            while True:
                block = src.read(CHUNK)
                if not block:
                    break
                written += len(block)
                if written > info.file_size:
                    raise Refused("archive damaged: %s is longer than declared" % one_line(rel))
                dst.write(block)
                done += len(block)
                say("progress %d %d" % (done, total))
        mode = (info.external_attr >> 16) & 0o755
        if mode:
            os.chmod(path, mode | 0o600)


# --- swap and rollback ----------------------------------------------------------------------------

def aside_name(path):
    candidate, n = path + OLD_SUFFIX, 1
    while os.path.lexists(candidate):
        n += 1
        candidate = "%s%s-%d" % (path, OLD_SUFFIX, n)
    return candidate


def remove_any(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    else:
        os.remove(path)


def write_journal(path, doc):
    """Replaces the journal whole: a reader finds the old one or the new one, never half."""
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(doc, f)
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)


class Swap:
    """Moves the staged release into place, step by step, under a journal.

    The journal (update/install_journal.json) is written whole before the first step and names
    every step in advance: each folder to create (and the old entry moved aside for it) and each
    file with its staged copy and the ".qm-old" name its old version keeps. Every step is one
    rename, so what the steps did can be read back from the disk: a file is in place exactly when
    its staged copy is gone. An install that dies part-way (a crash, a kill, a power cut) is thus
    finished when every file was in place, and undone otherwise, by recover() at the start of the
    next run or at the launcher's next start. Outside Windows an existing file stays at its path
    the whole time (its old version is kept by a hard link and the new one renamed over it); on
    Windows, where a running program cannot be replaced, it is renamed aside first.
    """

    def __init__(self, release, staging, journal, fail_at=None, pause_at=None):
        self.release, self.staging, self.journal = release, staging, journal
        self.fail_at, self.pause_at = fail_at, pause_at
        self.folders, self.files = [], []  # [target, aside or None], [target, staged, aside]
        self.swapped = 0

    def prepare(self, plan):
        taken = set()

        def aside_for(path):
            candidate = aside_name(path)
            n = 1
            while candidate in taken:
                n += 1
                candidate = "%s%s-%d" % (path, OLD_SUFFIX, n)
            taken.add(candidate)
            return candidate

        folders = sorted({"/".join(rel.split("/")[:i]) for rel, _ in plan
                          for i in range(1, rel.count("/") + 1)}
                         | {rel for rel, info in plan if info is None},
                         key=lambda r: (r.count("/"), r))
        # Below a folder made anew nothing exists yet, even where the old path (through a link
        # that is moved aside) leads to something.
        fresh = set()

        def parent(rel):
            return rel.rsplit("/", 1)[0] if "/" in rel else ""

        for rel in folders:
            target = os.path.join(self.release, *rel.split("/"))
            if parent(rel) not in fresh and os.path.isdir(target) and not os.path.islink(target):
                continue
            fresh.add(rel)
            old = parent(rel) not in fresh and os.path.lexists(target)
            self.folders.append([target, aside_for(target) if old else None])
        for rel, info in plan:
            if info is None:
                continue
            target = os.path.join(self.release, *rel.split("/"))
            staged = os.path.join(self.staging, *rel.split("/"))
            old = parent(rel) not in fresh and os.path.lexists(target)
            self.files.append([target, staged, aside_for(target) if old else None])
        write_journal(self.journal, {"phase": "swap", "folders": self.folders,
                                     "files": self.files})

    def check_test_switches(self):
        if self.pause_at is not None and self.swapped == self.pause_at:
            say("note paused after %d files" % self.swapped)
            while True:
                time.sleep(60)
        if self.fail_at is not None and self.swapped == self.fail_at:
            raise Refused("install failed: stopped on purpose after %d files" % self.swapped)

    def run(self):
        say("step install")
        for target, aside in self.folders:
            if aside is not None and not os.path.lexists(aside):
                os.rename(target, aside)
            os.mkdir(target)
        for target, staged, aside in self.files:
            self.check_test_switches()
            if aside is not None:
                keep_link = os.name != "nt" and not (os.path.isdir(target)
                                                     and not os.path.islink(target))
                if keep_link:
                    os.link(target, aside, follow_symlinks=False)
                else:
                    os.rename(target, aside)
            os.replace(staged, target)
            self.swapped += 1
            say("progress %d %d" % (self.swapped, len(self.files)))
        self.check_test_switches()

    def old_files(self):
        return [aside for _, _, aside in self.files if aside] + \
               [aside for _, aside in self.folders if aside]


def same_file(a, b):
    """Two names of one file: renaming one onto the other would do nothing at all."""
    sa, sb = os.lstat(a), os.lstat(b)
    return (sa.st_dev, sa.st_ino) == (sb.st_dev, sb.st_ino)


def all_in_place(doc):
    return all(not os.path.lexists(staged) for _, staged, _ in doc["files"])


def roll_back(doc):
    """Puts the old release back; each step may run again after a crash of this very step.
    Returns the steps that could not be undone."""
    failed = []

    def attempt(what, fn):
        try:
            fn()
        except OSError as e:
            failed.append("%s: %s" % (one_line(what), one_line(e.strerror or e)))

    for target, staged, aside in reversed(doc["files"]):
        if aside is not None and os.path.lexists(aside):
            def restore(target=target, aside=aside):
                if os.path.isdir(aside) and not os.path.islink(aside):
                    if os.path.lexists(target):
                        remove_any(target)
                    os.rename(aside, target)
                elif os.path.lexists(target) and same_file(aside, target):
                    os.remove(aside)  # killed between the link and the new file's rename
                else:
                    if os.path.isdir(target) and not os.path.islink(target):
                        os.rmdir(target)
                    os.replace(aside, target)
            attempt(target, restore)
        elif aside is None and not os.path.lexists(staged) and os.path.lexists(target):
            attempt(target, lambda target=target: os.remove(target))
    for target, aside in reversed(doc["folders"]):
        def undo_folder(target=target, aside=aside):
            if os.path.isdir(target) and not os.path.islink(target) and \
                    (aside is None or os.path.lexists(aside)):
                os.rmdir(target)
            if aside is not None and os.path.lexists(aside):
                os.rename(aside, target)
        attempt(target, undo_folder)
    return failed


def finish_journal(update_dir, journal, staging):
    os.remove(journal)
    shutil.rmtree(staging, ignore_errors=True)


def recover(release):
    """Finishes or undoes an install that a crash cut short; None when there was none."""
    update_dir = os.path.join(release, "update")
    journal = os.path.join(update_dir, JOURNAL)
    staging = os.path.join(update_dir, "staging")
    if os.path.lexists(journal + ".tmp"):
        os.remove(journal + ".tmp")  # the swap never began
    if not os.path.exists(journal):
        return None
    with open(journal, encoding="utf-8") as f:
        doc = json.load(f)
    if doc.get("phase") != "rollback" and all_in_place(doc):
        old = [aside for _, _, aside in doc["files"] if aside] + \
              [aside for _, aside in doc["folders"] if aside]
        delete_old_files([p for p in old if os.path.lexists(p)],
                         os.path.join(update_dir, "old_files.txt"))
        finish_journal(update_dir, journal, staging)
        return "completed"
    if doc.get("phase") != "rollback":
        doc["phase"] = "rollback"
        write_journal(journal, doc)
    failed = roll_back(doc)
    if failed:
        raise Refused("an interrupted install could not be undone: " + ", ".join(failed))
    finish_journal(update_dir, journal, staging)
    return "rolled back"


def delete_old_files(old, list_path):
    """Deletes the replaced files; lists those that cannot go yet (a running program)."""
    kept = []
    for path in old:
        try:
            remove_any(path)
        except OSError:
            if os.path.lexists(path):
                kept.append(path)
    if not kept:
        return
    lines = []
    try:
        with open(list_path, encoding="utf-8") as f:
            lines = [line.rstrip("\r\n") for line in f if line.strip()]
    except OSError:
        pass
    lines += [p for p in kept if p not in lines]
    try:
        with open(list_path + ".tmp", "w", encoding="utf-8", newline="\n") as f:
            f.write("".join(line + "\n" for line in lines))
        os.replace(list_path + ".tmp", list_path)
    except OSError as e:
        say("note old_files.txt could not be written: %s" % one_line(e))


# --- main -----------------------------------------------------------------------------------------

def install(args):
    release = args.install
    if not VERSION_RE.match(args.version):
        raise Refused("bad version: %s" % one_line(args.version))
    if not os.path.isdir(release):
        raise Refused("no release folder at %s" % one_line(release))
    update_dir = os.path.join(release, "update")
    real_release = os.path.realpath(release)
    if not inside(os.path.realpath(update_dir), real_release):
        raise Refused("the update folder leads outside the release folder")
    recovered = recover(release)
    if recovered:
        say("note an interrupted install was %s" % recovered)
    verify(args.zip, args.sha256)
    try:
        zf = zipfile.ZipFile(args.zip)
    except (OSError, zipfile.BadZipFile) as e:
        raise Refused("archive damaged: %s" % one_line(e))
    with zf:
        plan = plan_archive(zf, args.version, release)
        staging = os.path.join(update_dir, "staging")
        if os.path.lexists(staging):
            remove_any(staging)
        os.makedirs(staging)
        journal = os.path.join(update_dir, JOURNAL)
        try:
            try:
                extract(zf, plan, staging)
            except (zipfile.BadZipFile, zipfile.LargeZipFile, EOFError) as e:
                raise Refused("archive damaged: %s" % one_line(e))
            swap = Swap(release, staging, journal, test_number("QM_UPDATE_FAIL_AT"),
                        test_number("QM_UPDATE_PAUSE_AT"))
            try:
                swap.prepare(plan)
                swap.run()
            except (Refused, OSError) as e:
                text = str(e) if isinstance(e, Refused) else "install failed: %s" % e
                if os.path.exists(journal):
                    try:
                        # Undone even when every file was already in place: this run failed.
                        write_journal(journal, {"phase": "rollback", "folders": swap.folders,
                                                "files": swap.files})
                        recover(release)
                    except Refused as undo:
                        text += "; " + str(undo)
                raise Refused(text)
            delete_old_files(swap.old_files(), os.path.join(update_dir, "old_files.txt"))
            os.remove(journal)
        finally:
            if not os.path.exists(journal):
                shutil.rmtree(staging, ignore_errors=True)
    for path in (args.zip, args.sha256):
        if inside(os.path.realpath(path), os.path.realpath(update_dir)):
            try:
                os.remove(path)
            except OSError:
                pass
    try:
        os.rmdir(update_dir)  # only when empty: old_files.txt keeps it for the next start
    except OSError:
        pass


def test_number(name):
    text = os.environ.get(name)
    return int(text) if text else None


def main(argv=None):
    ap = argparse.ArgumentParser(description="Installs a release archive in place.")
    ap.add_argument("--zip")
    ap.add_argument("--sha256")
    ap.add_argument("--version")
    ap.add_argument("--install", required=True)
    ap.add_argument("--recover", action="store_true",
                    help="only finish or undo an install that was cut short")
    args = ap.parse_args(argv)
    if not args.recover and not (args.zip and args.sha256 and args.version):
        ap.error("--zip, --sha256 and --version are required")
    try:
        if args.recover:
            say("note an interrupted install was %s" % (recover(args.install) or "not found"))
            return 0
        install(args)
    except Refused as e:
        say("error " + one_line(e))
        return 1
    except (OSError, ValueError) as e:
        say("error " + one_line(e))
        return 1
    say("done " + args.version)
    return 0


if __name__ == "__main__":
    sys.exit(main())
