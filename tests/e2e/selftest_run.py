#!/usr/bin/env python3
"""The scripted self-test on a fresh release, under the display this process has.

    selftest_run.py BIN_DIR WORK_DIR [judged|error-demo|hung-game]

judged (the default) is the full self-test with every judged part: the wrong disc, the stop at
compile and the resumed build, the play test and the crash test. It passes when the launcher
exits with 0, selftest.log has no FAIL line and its lines match the table below in order, and
every screenshot decodes at the window's size with a drawn picture in it.

error-demo adds --error-demo, whose failed build is shown (04-build-error) but not judged.

hung-game runs a game that ignores close requests: the play test must end it after its grace
time, and the run must exit with 1.

The run's files stay in WORK_DIR for inspection.
"""
import os
import sys

from e2e_common import (Checks, check_pictures, fresh_dir, log_messages, make_discs, make_release,
                        match_in_order, read_text, run_launcher, still_background)

STEPS = ["verify", "extract", "configure", "tools", "recompile", "packs", "compile", "stage"]
STEP_SHOTS = ["06-build-%d-%s" % (i, step) for i, step in enumerate(STEPS, 1)]
JUDGED_SHOTS = ["01-welcome", "02-welcome-fr", "03-wrong-disc", "05-ready", *STEP_SHOTS,
                "07-build-compile-half", "08-stopped", "09-built", "10-settings",
                "11-settings-saved", "12-maintenance", "13-play-fr", "14-settings-fr",
                "15-after-play", "16-crash"]
NUMBER = r"[0-9]+(\.[0-9]+)?"

# What the judged run's log must say, in this order.
JUDGED_LOG = [
    ("first screenshot", r"^screenshot 01-welcome$"),
    ("French screenshot", r"^screenshot 02-welcome-fr$"),
    ("wrong disc screenshot", r"^screenshot 03-wrong-disc$"),
    ("disc accepted", r"^disc check: ok$"),
    ("ready screenshot", r"^screenshot 05-ready$"),
    ("build started", r"^build started$"),
    *[("step %s photographed" % s, r"^step %s$" % s) for s in STEPS[:7]],
    ("stop at compile", r"^stop at compile ([0-9]+) %$"),
    ("build resumed", r"^build resumed$"),
    *[("%s skipped after the resume" % s, r"^  %s skipped$" % s) for s in STEPS[:6]],
    ("compile ran again", r"^  compile %s s$" % NUMBER),
    ("stage ran", r"^  stage %s s$" % NUMBER),
    ("build ready", r"^build ended after %s s: ready$" % NUMBER),
    ("built screenshot", r"^screenshot 09-built$"),
    ("settings saved screenshot", r"^screenshot 11-settings-saved$"),
    ("French settings screenshot", r"^screenshot 14-settings-fr$"),
    ("game started", r"^game started \(pid [1-9][0-9]*\)$"),
    ("close asked", r"^asking the game to close$"),
    ("game closed cleanly", r"^game exited, code 0, crash report: none$"),
    ("after-play screenshot", r"^screenshot 15-after-play$"),
    ("crash game started", r"^game started to crash \(pid [1-9][0-9]*\)$"),
    ("game crashed", r"^game exited, code (-?[1-9][0-9]*), crash report: (?!none$)(.+)$"),
    ("crash screenshot", r"^screenshot 16-crash$"),
    ("done", r"^selftest done$"),
]

ERROR_DEMO_LOG = [
    ("first screenshot", r"^screenshot 01-welcome$"),
    ("vanishing disc accepted", r"^disc check: ok$"),
    ("failure screenshot", r"^screenshot 04-build-error$"),
    ("real disc accepted", r"^disc check: ok$"),
    ("ready screenshot", r"^screenshot 05-ready$"),
    ("build ready", r"^build ended after %s s: ready$" % NUMBER),
    ("done", r"^selftest done$"),
]

HUNG_LOG = [
    ("build ready", r"^build ended after %s s: ready$" % NUMBER),
    ("game started", r"^game started \(pid [1-9][0-9]*\)$"),
    ("close asked", r"^asking the game to close$"),
    ("game ended by force", r"^the game did not close: ending it$"),
    ("non-zero exit", r"^game exited, code (-?[1-9][0-9]*), crash report: none$"),
    ("done", r"^selftest done$"),
]

MODES = {
    # mode: (options, extra environment, wanted exit code, log table, screenshots)
    "judged": (["--wrong", "{other}", "--cancel", "--crash-seconds", "3", "--play-seconds", "5"],
               {}, 0, JUDGED_LOG, JUDGED_SHOTS),
    "error-demo": (["--error-demo", "--play-seconds", "2"], {}, 0, ERROR_DEMO_LOG,
                   ["01-welcome", "04-build-error", "05-ready", "09-built"]),
    "hung-game": (["--play-seconds", "2"], {"ZOLT_TEST_IGNORE_CLOSE": "1"}, 1, HUNG_LOG,
                  ["01-welcome", "15-after-play"]),
}


def check_run(c, shots, table, shots_wanted, size=None, local_path=lambda path: path):
    """The checks of a run's log and screenshots; local_path turns a path the launcher logged into
    one this process can open."""
    log = read_text(os.path.join(shots, "selftest.log"))
    c.expect(log != "", "no selftest.log")
    messages = log_messages(log)
    for line in messages:
        c.expect(not line.startswith("FAIL"), "log: " + line)
    missing, found = match_in_order(messages, table)
    for description in missing:
        c.expect(False, "the log lacks, in its place: " + description)
    if "stop at compile" in found:
        percent = int(found["stop at compile"].group(1))
        c.expect(40 <= percent <= 100, "stopped at compile %d %%" % percent)
    if "game crashed" in found:
        report = local_path(found["game crashed"].group(2))
        c.expect(os.path.isfile(report), "the crash report %s does not exist" % report)

    differ = [("01-welcome", "02-welcome-fr")]
    differ += [(a, b) for i, a in enumerate(STEP_SHOTS) for b in STEP_SHOTS[i + 1:]]
    differ += [("04-build-error", "05-ready")]
    check_pictures(c, shots, shots_wanted, size,
                   differ=[d for d in differ if set(d) <= set(shots_wanted)])


def main():
    bin_dir, work = sys.argv[1], os.path.abspath(sys.argv[2])
    mode = sys.argv[3] if len(sys.argv) > 3 else "judged"
    options, env_extra, wanted_code, table, shots_wanted = MODES[mode]
    fresh_dir(work)
    discs = make_discs(os.path.join(work, "discs"))
    release = make_release(os.path.join(work, "release"), bin_dir)
    shots = os.path.join(work, "shots")
    still_background(os.path.join(work, "user"))
    env = {"ZOLT_USER_DIR": os.path.join(work, "user"), "QM_BUILD_PACE": "0.05",
           "ZOLT_CAPTURE_WINDOW_DIR": os.path.join(work, "captures"), **env_extra}
    options = [o.format(other=os.path.join(discs, "other.iso")) for o in options]
    code = run_launcher(release, ["--selftest", os.path.join(discs, "good.iso"), "--shots", shots,
                                  *options], env, 900, os.path.join(work, "launcher-output.txt"))

    c = Checks("selftest " + mode)
    c.expect(code == wanted_code, "exit code %s, wanted %s" % (code, wanted_code))
    check_run(c, shots, table, shots_wanted)
    print("screenshots and log: %s" % shots)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
