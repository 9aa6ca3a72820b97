#!/usr/bin/env bash
# Builds everything, assembles the demo release in dist/release with a generated disc image, and
# opens the launcher on it. Without a display it runs the full scripted self-test on the demo
# release under a virtual X server instead, and says where its screenshots and log are.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

bash scripts/setup.sh
build_preset linux
cmake --build --preset linux --target release

release="$QM_ROOT/dist/release"
discs="$QM_ROOT/dist/discs"
python3 fixtures/make_discs.py "$discs" --demo >/dev/null
log "demo release: $release"
log "demo disc image (choose it in the launcher): $discs/demo.iso"

if has_display; then
    exec "$release/qm-launcher"
fi

# No display: the judged self-test drives every screen on a fresh copy of the demo release, so
# that a build left in dist/release by an earlier run does not turn the build test into skips. It
# checks a wrong disc, stops the build at compile and continues it, plays and makes the game
# crash; any of these failing fails the run. Its update check asks a local port where nobody
# listens: the demo needs no network.
work="$QM_ROOT/dist/selftest-run"
rm -rf "$work"
mkdir -p "$work"
cp -a "$release" "$work/release"
rm -rf "$work/release/build" "$work/release/game" "$work/release/selftest"
mkdir -p "$work/release/build"
shots="$work/release/selftest"
log "no display: running the judged self-test under a virtual X server (a few minutes)"
set +e
ZOLT_USER_DIR="$work/user" ZOLT_CAPTURE_WINDOW_DIR="$work/captures" QM_BUILD_PACE=0.1 \
    xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" \
    "$work/release/qm-launcher" --release "$work/release" --selftest "$discs/demo.iso" \
    --wrong "$discs/other.iso" --cancel --crash-seconds 3 --play-seconds 8 \
    --update-url "http://127.0.0.1:9/repos/Kettlewise/ZO_Duzoru/releases/latest"
code=$?
set -e

# The verdict: the exit code, and a log that reached its end without a FAIL line. A run that
# left no log never ran its script, whatever its exit code says.
run_log="$shots/selftest.log"
why=""
if [ ! -s "$run_log" ]; then
    why="no selftest.log was written"
elif grep -q '] FAIL' "$run_log"; then
    why="$(grep '] FAIL' "$run_log")"
elif ! grep -q '] selftest done$' "$run_log"; then
    why="the script did not reach its end; the log ends with:
$(tail -n 5 "$run_log")"
elif [ "$code" != 0 ]; then
    why="a step failed; the log ends with:
$(tail -n 8 "$run_log")"
fi
[ -n "$why" ] && [ "$code" = 0 ] && code=1
[ -n "$why" ] && printf '%s\n' "$why"
if [ -z "$why" ]; then log "self-test: PASSED"; else log "self-test: FAILED"; fi
log "exit code: $code"
log "screenshots and log: $shots"
exit "$code"
