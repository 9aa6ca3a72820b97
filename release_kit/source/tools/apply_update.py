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
or user/: those belong to this machine and are never written here.

The order of work, and why:
  1. verify: the archive's SHA-256 must equal the one in S ("HASH  NAME", the usual form).
  2. every entry's name, type and size is judged before anything is written: absolute paths,
     drive letters, UNC paths, ".." anywhere, links, device names, names Windows cannot hold,
     and archives that unpack to too much (in total, or per entry against its compressed size)
     refuse the whole archive.
  3. extract: everything is unpacked into R/update/staging, so a damaged archive costs nothing.
  4. install: file by file, the old file is renamed to a ".qm-old" name and the new one renamed
     into its place (a running program, the launcher or this Python, can be renamed on every
     system). A link in the old release is moved aside like a file and never written through,
     so nothing outside the release folder is touched. If anything fails, every step is undone
     in reverse order: the release folder is the old release again, byte for byte. Files of the
     old release that the new one lacks stay.
  5. the ".qm-old" files are deleted; what cannot be (a running .exe on Windows) is listed in
     R/update/old_files.txt, one full path per line, for the next launcher start to delete.

Test switch: QM_UPDATE_FAIL_AT=<n> makes the install step fail after n files were swapped.
"""
import argparse
import hashlib
import os
import re
import shutil
import stat
import sys
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


def name_problem(name, top):
    """Why an entry name may not be unpacked, or None."""
    if any(ord(c) < 32 or ord(c) == 127 for c in name):
        return "control character in name"
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
        shown = one_line(name)
        problem = name_problem(name, top)
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
    return plan


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


class Swap:
    """Moves the staged release into place and remembers how to undo every step."""

    def __init__(self, release, staging, fail_at):
        self.release, self.staging, self.fail_at = release, staging, fail_at
        self.journal = []  # ("aside", target, old) | ("placed", target) | ("mkdir", target)
        self.swapped = 0

    def move_aside(self, target):
        old = aside_name(target)
        os.rename(target, old)
        self.journal.append(("aside", target, old))

    def folder(self, target):
        if os.path.isdir(target) and not os.path.islink(target):
            return
        if os.path.lexists(target):
            self.move_aside(target)
        os.mkdir(target)
        self.journal.append(("mkdir", target))

    def check_injected_failure(self):
        if self.fail_at is not None and self.swapped == self.fail_at:
            raise Refused("install failed: stopped on purpose after %d files" % self.swapped)

    def run(self, plan):
        say("step install")
        files = [rel for rel, info in plan if info]
        folders = sorted({"/".join(rel.split("/")[:i]) for rel, _ in plan
                          for i in range(1, rel.count("/") + 1)}
                         | {rel for rel, info in plan if info is None},
                         key=lambda r: (r.count("/"), r))
        for rel in folders:
            self.folder(os.path.join(self.release, *rel.split("/")))
        for rel in files:
            self.check_injected_failure()
            target = os.path.join(self.release, *rel.split("/"))
            if os.path.lexists(target):
                self.move_aside(target)
            os.rename(os.path.join(self.staging, *rel.split("/")), target)
            self.journal.append(("placed", target))
            self.swapped += 1
            say("progress %d %d" % (self.swapped, len(files)))
        self.check_injected_failure()

    def undo(self):
        """Puts the old release back; returns the steps that could not be undone."""
        failed = []
        for step in reversed(self.journal):
            try:
                if step[0] == "aside":
                    os.rename(step[2], step[1])
                elif step[0] == "placed":
                    os.remove(step[1])
                else:
                    os.rmdir(step[1])
            except OSError as e:
                failed.append("%s: %s" % (one_line(step[1]), one_line(e.strerror or e)))
        self.journal = []
        return failed

    def old_files(self):
        return [step[2] for step in self.journal if step[0] == "aside"]


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
        try:
            try:
                extract(zf, plan, staging)
            except (zipfile.BadZipFile, zipfile.LargeZipFile, EOFError) as e:
                raise Refused("archive damaged: %s" % one_line(e))
            fail_at = os.environ.get("QM_UPDATE_FAIL_AT")
            swap = Swap(release, staging, int(fail_at) if fail_at else None)
            try:
                swap.run(plan)
            except (Refused, OSError) as e:
                failed = swap.undo()
                text = str(e) if isinstance(e, Refused) else "install failed: %s" % e
                if failed:
                    text += "; the old release could not be fully restored: " + ", ".join(failed)
                raise Refused(text)
            delete_old_files(swap.old_files(), os.path.join(update_dir, "old_files.txt"))
        finally:
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


def main(argv=None):
    ap = argparse.ArgumentParser(description="Installs a release archive in place.")
    ap.add_argument("--zip", required=True)
    ap.add_argument("--sha256", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--install", required=True)
    args = ap.parse_args(argv)
    try:
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
