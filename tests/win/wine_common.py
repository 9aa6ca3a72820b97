"""Shared by the Wine lane's scripts: running Windows programs under Wine, Windows paths for
Linux files, the stand-in release host, and Windows releases made from the cross-compiled build.

Wine shows the Linux root as drive Z:, so every path handed to a Windows program is written as
Z: followed by the Linux path with backslashes. The lane's environment (scripts/test_windows.sh)
names the prefix (WINEPREFIX) and silences Wine's own messages (WINEDEBUG).
"""
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.join(ROOT, "fixtures"))

from e2e_common import Checks, Host, fresh_dir, png_size  # noqa: E402,F401

WINE = shutil.which("wine") or "wine"


def wpath(path):
    """The Windows name of a Linux path, on Wine's drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_wine(args, env_extra=None, timeout=300, stdout=None):
    env = dict(os.environ)
    env.update(env_extra or {})
    return subprocess.run([WINE, *args], env=env, stdout=stdout, stderr=subprocess.STDOUT,
                          timeout=timeout)


def windows_release(out, bin_dir, without=()):
    """A Windows release folder, as scripts/assemble_release.py --windows makes it, with the kit's
    stand-in interpreter (qm-kitpy.exe) as kit\\python\\python.exe, minus the pieces named in
    without ("python", "script", "release.ini")."""
    import assemble_release
    fresh_dir(out)
    assemble_release.copy_source(out, "0.6.1", "1" * 40, bin_dir, windows=True)
    assemble_release.copy_program(os.path.join(bin_dir, "QMLauncher.exe"),
                                  os.path.join(out, "QMLauncher.exe"))
    assemble_release.make_windows_kit(out, "")
    shutil.copy2(os.path.join(assemble_release.KIT_SOURCE, "CHANGELOG.md"),
                 os.path.join(out, "CHANGELOG.md"))
    os.makedirs(os.path.join(out, "build"), exist_ok=True)
    if "python" not in without:
        python = os.path.join(out, "kit", "python")
        os.makedirs(python, exist_ok=True)
        shutil.copy2(os.path.join(bin_dir, "qm-kitpy.exe"), os.path.join(python, "python.exe"))
        with open(os.path.join(out, "kit", "kit_manifest.json"), "w", encoding="utf-8") as f:
            f.write('{"python": "stand-in", "kind": "qm-kitpy", "pip": false}\n')
    if "script" in without:
        os.remove(os.path.join(out, "source", "tools", "qm_build.py"))
    if "release.ini" in without:
        os.remove(os.path.join(out, "source", "release.ini"))
    return out
