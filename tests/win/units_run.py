#!/usr/bin/env python3
"""Runs the Windows test programs of a mingw build under Wine.

    units_run.py BIN_DIR WORK_DIR

test_win (the platform layer's Windows backend) gets the stand-in release host in QM_TEST_HOST;
the other folders' programs run without the cases that tests/win/wine_skips.txt lists. Each
program's output stays in WORK_DIR. Ends with the line "units: N passed, M failed" counting the
test cases of all programs.
"""
import glob
import os
import re
import subprocess
import sys

from wine_common import Host, fresh_dir, run_wine

HERE = os.path.dirname(os.path.abspath(__file__))


def skips():
    table = {}
    with open(os.path.join(HERE, "wine_skips.txt"), encoding="utf-8") as f:
        for line in f:
            parts = line.split(None, 2)
            if len(parts) >= 2 and not line.startswith("#"):
                table.setdefault(parts[0], []).append(parts[1])
    return table


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    fresh_dir(work)
    skipped = skips()
    programs = sorted(glob.glob(os.path.join(bin_dir, "test_*.exe")))
    if not any(p.endswith("test_win.exe") for p in programs):
        print("FAIL no test_win.exe in %s" % bin_dir)
        return 1
    passed, failed, bad = 0, 0, []
    with Host() as host:
        for program in programs:
            name = os.path.basename(program)[:-4]
            args = [program, "--gtest_color=no"]
            if "*" in skipped.get(name, []):
                print("%s: left out (tests/win/wine_skips.txt)" % name)
                continue
            if skipped.get(name):
                args.append("--gtest_filter=-" + ":".join(skipped[name]))
            out = os.path.join(work, name + ".txt")
            with open(out, "wb") as log:
                try:
                    code = run_wine(args, {"QM_TEST_HOST": host.base}, 600, log).returncode
                except subprocess.TimeoutExpired:
                    code = "timed out"
            with open(out, encoding="utf-8", errors="replace") as f:
                text = f.read()
            summary = [l for l in text.splitlines() if l.startswith(("[  PASSED  ]", "[  FAILED  ]",
                                                                     "[  SKIPPED ]"))]
            print("%s: exit %s; %s" % (name, code, "; ".join(summary[:3])))
            counts = {k: int(n) for k, n in re.findall(r"^\[  (PASSED|FAILED)  \] (\d+) tests?",
                                                       text, re.M)}
            passed += counts.get("PASSED", 0)
            failed += counts.get("FAILED", 0)
            if code != 0 or "PASSED" not in counts:
                bad.append(name)
                print(text[-4000:])
    if bad:
        print("FAIL %s" % ", ".join(bad))
    print("units: %d passed, %d failed" % (passed, failed + (1 if bad and not failed else 0)))
    return 0 if not bad else 1


if __name__ == "__main__":
    sys.exit(main())
