#!/usr/bin/env python3
"""Assembles a runnable release folder from the built programs and the release kit.

    assemble_release.py --bin BUILD/bin --out dist/release --commit-file F --version 0.6.1 [--clean]
                        [--windows [--windows-python DIR]]

The layout is the one a user unzips: the launcher and its job helper, the Python kit, the
release's sources with the build script, the changelog and an empty build folder; on Linux also
the desktop entry, its icon and install-desktop-entry.sh. The game is
not part of a release: the build script makes it from the user's disc. --clean also empties the
build and game folders, for a run that has to start from nothing.

--windows assembles the Windows release from a cross-compiled build (it is implied when this
script runs on Windows): QMLauncher.exe and the demo game qm.exe, no job helper (job objects
do its work), and the kit's interpreter at kit\python\python.exe. That interpreter is a Windows
Python whose files --windows-python names (an unpacked embeddable distribution); without it the
kit stays empty and the launcher reports the kit as missing, which is all a machine without a
Windows Python can offer.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT_SOURCE = os.path.join(ROOT, "release_kit")
WINDOWS = os.name == "nt"


def copy_program(src, dst):
    tmp = dst + ".tmp"
    shutil.copy2(src, tmp)
    os.replace(tmp, dst)  # a running launcher keeps its old inode; never write into it


def make_windows_kit(out, python_dir):
    kit = os.path.join(out, "kit")
    os.makedirs(kit, exist_ok=True)
    if not python_dir:
        print("no Windows Python given: kit\\python\\python.exe is left out")
        return
    if not os.path.isfile(os.path.join(python_dir, "python.exe")):
        sys.exit("%s holds no python.exe" % python_dir)
    target = os.path.join(kit, "python")
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(python_dir, target)
    with open(os.path.join(kit, "kit_manifest.json"), "w", encoding="utf-8") as f:
        json.dump({"python": "windows", "kind": "embeddable", "pip": False}, f, indent=2)
        f.write("\n")


def make_kit(out, python):
    kit = os.path.join(out, "kit")
    interpreter = os.path.join(kit, "python", "bin", "python3")
    if not os.path.exists(interpreter):
        shutil.rmtree(os.path.join(kit, "python"), ignore_errors=True)
        subprocess.run([python, "-m", "venv", "--without-pip", os.path.join(kit, "python")],
                       check=True)
    version = subprocess.run([interpreter, "-c", "import sys; print(sys.version.split()[0])"],
                             check=True, capture_output=True, text=True).stdout.strip()
    with open(os.path.join(kit, "kit_manifest.json"), "w", encoding="utf-8") as f:
        json.dump({"python": version, "kind": "venv", "pip": False}, f, indent=2)
        f.write("\n")


def copy_source(out, version, commit, bin_dir, windows=WINDOWS):
    source = os.path.join(out, "source")
    shutil.copytree(os.path.join(KIT_SOURCE, "source"), source, dirs_exist_ok=True,
                    ignore=shutil.ignore_patterns("__pycache__"))
    with open(os.path.join(source, "release.ini"), "w", encoding="utf-8", newline="\n") as f:
        f.write("[release]\nversion = %s\ncommit = %s\n" % (version, commit))
    demo = os.path.join(source, "demo")
    os.makedirs(demo, exist_ok=True)
    game = "qm.exe" if windows else "qm"
    built = os.path.join(bin_dir, game)
    target = os.path.join(demo, game)
    if os.path.exists(built):
        copy_program(built, target)
    elif not os.path.exists(target):
        # No demo game was built: a program that starts and ends cleanly stands in.
        with open(target, "w", encoding="utf-8") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(target, 0o755)


def copy_desktop_entry(out):
    # The desktop entry starts the launcher from the folder it sits in; install-desktop-entry.sh
    # writes one with the folder's real path into the user's applications folder.
    linux = os.path.join(ROOT, "release_kit", "linux")
    shutil.copy2(os.path.join(linux, "qm-launcher.desktop"), os.path.join(out, "qm-launcher.desktop"))
    copy_program(os.path.join(linux, "install-desktop-entry.sh"),
                 os.path.join(out, "install-desktop-entry.sh"))
    shutil.copy2(os.path.join(ROOT, "res", "icon", "qm-launcher-256.png"),
                 os.path.join(out, "qm-launcher.png"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--commit-file", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--python", default="/usr/bin/python3")
    ap.add_argument("--clean", action="store_true")
    ap.add_argument("--windows", action="store_true", default=WINDOWS)
    ap.add_argument("--windows-python", default="")
    a = ap.parse_args()

    with open(a.commit_file, encoding="utf-8") as f:
        commit = f.read().strip()
    out = os.path.abspath(a.out)
    os.makedirs(out, exist_ok=True)
    if a.clean:
        for sub in ("build", "game", "update", "selftest"):
            shutil.rmtree(os.path.join(out, sub), ignore_errors=True)

    exe = "QMLauncher.exe" if a.windows else "qm-launcher"
    copy_program(os.path.join(a.bin, exe), os.path.join(out, exe))
    job = os.path.join(a.bin, "qm-job")
    if os.path.exists(job) and not a.windows:
        copy_program(job, os.path.join(out, "qm-job"))
    if a.windows:
        make_windows_kit(out, a.windows_python)
    else:
        make_kit(out, a.python)
        copy_desktop_entry(out)
    copy_source(out, a.version, commit, a.bin, a.windows)
    shutil.copy2(os.path.join(KIT_SOURCE, "CHANGELOG.md"), os.path.join(out, "CHANGELOG.md"))
    os.makedirs(os.path.join(out, "build"), exist_ok=True)
    print("release assembled in %s" % out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
