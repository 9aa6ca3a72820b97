#!/usr/bin/env python3
"""Packs release folders into the archives that the launcher's update downloads.

    package_release.py RELEASE_DIR [RELEASE_DIR...] OUT_DIR --version V

A version is published as two archives, one a system, since each launcher downloads its own
system's archive and its installer refuses any other:
    the Windows release (QMLauncher.exe)   ZO_Duzoru-V-kettlewise.zip
    the Linux release (qm-launcher)        ZO_Duzoru-V-kettlewise-linux-x86_64.zip
so a publication names both release folders, for example dist/release and dist/release-windows.
Which system a folder is for is read from the launcher program it holds. Each archive gets its
checksum file beside it, the archive's name followed by ".sha256" ("HASH  NAME", one line).
Every entry lies under the top folder "ZO_Duzoru-V/", which holds the release folder's contents:
the layout apply_update.py expects.

Left out: what belongs to one machine rather than to the release (build/, game/, update/,
selftest/ and the fallback user folder user/ at the top, user settings, logs and crash reports),
Python caches and files that an update replaced (".qm-old"). Links are stored as the files they
point to: an archive with links is refused by the installer. The entries are sorted and carry
their permission bits, so the launcher and the kit's programs stay executable.
"""
import argparse
import hashlib
import importlib.util
import os
import stat
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INSTALLER = os.path.join(ROOT, "release_kit", "source", "tools", "apply_update.py")
TOP_LEVEL_EXCLUDED = {"build", "game", "update", "selftest", "user", "logs", "crashes",
                      "launcher.ini", "video.ini"}


# system: (its launcher program, the end of its archive's name)
SYSTEMS = {
    "windows": ("QMLauncher.exe", "-kettlewise.zip"),
    "linux": ("qm-launcher", "-kettlewise-linux-x86_64.zip"),
}


def asset_name(version, system):
    return "ZO_Duzoru-%s%s" % (version, SYSTEMS[system][1])


def system_of(release):
    """The system whose launcher program the release folder holds."""
    found = [name for name, (program, _) in sorted(SYSTEMS.items())
             if os.path.isfile(os.path.join(release, program))]
    if len(found) != 1:
        raise SystemExit("package_release.py: %s holds %s" % (
            release, "the launchers of %s" % " and ".join(found) if found
            else "no launcher program (%s)" % " or ".join(p for p, _ in SYSTEMS.values())))
    return found[0]


def load_installer():
    spec = importlib.util.spec_from_file_location("apply_update", INSTALLER)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def excluded(rel_parts, is_dir):
    name = rel_parts[-1]
    if len(rel_parts) == 1 and name.lower() in TOP_LEVEL_EXCLUDED:
        return True
    if ".qm-old" in name or name.endswith(".tmp"):
        return True
    return name == "__pycache__" if is_dir else name.endswith((".pyc", ".pyo"))


def walk(release):
    """(relative parts, full path, is folder) of everything to pack, sorted, links followed."""
    found, seen = [], set()

    def visit(folder, parts):
        real = os.path.realpath(folder)
        if real in seen:
            return  # a link back up the tree
        seen.add(real)
        for name in sorted(os.listdir(folder)):
            full = os.path.join(folder, name)
            rel = parts + [name]
            is_dir = os.path.isdir(full)
            if excluded(rel, is_dir) or not (is_dir or os.path.isfile(full)):
                continue
            found.append((rel, full, is_dir))
            if is_dir:
                visit(full, rel)

    visit(release, [])
    return found


def zip_info(name, full, is_dir):
    st = os.stat(full)
    stamp = time.localtime(max(st.st_mtime, 315532800 + 86400))  # zip dates start in 1980
    info = zipfile.ZipInfo(name, date_time=stamp[:6])
    info.create_system = 3  # Unix: the high 16 bits hold the mode
    kind = stat.S_IFDIR if is_dir else stat.S_IFREG
    info.external_attr = (kind | (st.st_mode & 0o755)) << 16
    if is_dir:
        info.external_attr |= 0x10  # the DOS folder flag
    else:
        info.compress_type = zipfile.ZIP_DEFLATED
    return info


def package(release, out_dir, version):
    """Writes the archive of the release's system and its checksum file; returns the archive's
    path."""
    installer = load_installer()
    if not installer.VERSION_RE.match(version):
        raise SystemExit("package_release.py: bad version %r" % version)
    top = "ZO_Duzoru-%s" % version
    os.makedirs(out_dir, exist_ok=True)
    archive = os.path.join(out_dir, asset_name(version, system_of(release)))
    tmp = archive + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as zf:
        zf.writestr(zip_info(top + "/", release, True), b"")
        for rel, full, is_dir in walk(release):
            name = "/".join([top] + rel) + ("/" if is_dir else "")
            problem = installer.name_problem(name, top)
            if problem:
                raise SystemExit("package_release.py: %s: %s" % (name, problem))
            info = zip_info(name, full, is_dir)
            if is_dir:
                zf.writestr(info, b"")
            else:
                big = os.path.getsize(full) >= 1 << 31
                with open(full, "rb") as src, zf.open(info, "w", force_zip64=big) as dst:
                    while True:
                        block = src.read(1 << 20)
                        if not block:
                            break
                        dst.write(block)
    os.replace(tmp, archive)
    write_checksum(archive)
    return archive


def write_checksum(archive):
    h = hashlib.sha256()
    with open(archive, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    with open(archive + ".sha256", "w", encoding="utf-8", newline="\n") as f:
        f.write("%s  %s\n" % (h.hexdigest(), os.path.basename(archive)))


def main(argv=None):
    ap = argparse.ArgumentParser(description="Packs release folders for the update.")
    ap.add_argument("release", nargs="+")
    ap.add_argument("out")
    ap.add_argument("--version", required=True)
    a = ap.parse_args(argv)
    for release in a.release:
        if not os.path.isdir(release):
            print("package_release.py: no folder %s" % release, file=sys.stderr)
            return 1
    systems = [system_of(release) for release in a.release]
    if len(set(systems)) != len(systems):
        print("package_release.py: two release folders for one system", file=sys.stderr)
        return 1
    for release in a.release:
        archive = package(os.path.abspath(release), a.out, a.version)
        print(archive)
        print(archive + ".sha256")
    missing = sorted(set(SYSTEMS) - set(systems))
    if missing:
        print("note: no archive for %s; its launchers will find none" % " and ".join(missing))
    return 0


if __name__ == "__main__":
    sys.exit(main())
