#!/usr/bin/env bash
# The Windows lane: cross-compiles the mingw preset (QMLauncher.exe, qm.exe, the tests) and runs
# under Wine, on a virtual X server when there is no display. No Windows Python can be had here: the
# test releases' kit\python\python.exe is the kit's stand-in interpreter (kit_python/, qm-kitpy.exe),
# which runs the release's build script as the script itself does.
#   1. the unit tests (tests/win/units_run.py): the platform layer's Windows backend against real
#      children, files and the stand-in release host, and the platform-independent tests;
#   2. the text mode (tests/win/textmode_run.py): --version, --report and --self-check on a
#      complete Windows release and on incomplete ones;
#   3. the screenshot tour (tests/win/screens_run.py) against the release host offering 0.7.0,
#      with and without the kit's interpreter;
#   4. the judged self-test (tests/win/judged_run.py): the disc check, the build with its stop and
#      resume, the play test and the crash test.
# Their files stay in build/mingw/wine. The Wine prefix lives in the dependency cache and is made
# once; so are the mingw builds of SDL3 and GoogleTest (scripts/setup.sh --windows).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$QM_ROOT/scripts/deps.env"
cd "$QM_ROOT"

export WINEPREFIX="$QM_CACHE/wine-prefix"
export WINEDEBUG=-all
# No prompts for Wine's .NET and HTML engines, which nothing here uses.
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ "${1:-}" = "--under-display" ]; then
    work="$QM_ROOT/build/mingw/wine"
    bin="$QM_ROOT/build/mingw/bin"
    mkdir -p "$work"
    # One server for the whole lane instead of one per program; it is ours and ends with the lane.
    wineserver -p
    trap 'wineserver -k 2>/dev/null || true' EXIT
    status=0
    for step in units textmode screens judged; do
        log "wine: $step"
        python3 "tests/win/${step}_run.py" "$bin" "$work/$step" || status=1
    done
    exit "$status"
fi

started=$SECONDS
bash scripts/setup.sh --windows
if command -v ccache >/dev/null 2>&1; then
    # The compiler's cache lives beside the other dependencies, outside the work tree.
    export CCACHE_DIR="$QM_CACHE/ccache"
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
log "building the mingw preset"
build_preset mingw
# The prefix counts as made only once its stamp is there: a creation cut short leaves a folder
# that later runs would otherwise take for a good prefix. wineboot returns while wineserver and
# the programs it started are still writing the registry and still talk to the display, so the
# wait for wineserver runs under the same display; without it, a virtual display that goes away
# first breaks their X connection and the creation fails.
if [ ! -f "$WINEPREFIX/.qm-ready" ]; then
    log "making the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    if ! with_display sh -c 'wineboot --init && wineserver -w'; then
        rm -rf "$WINEPREFIX"
        echo "test_windows.sh: the Wine prefix could not be made" >&2
        exit 1
    fi
    touch "$WINEPREFIX/.qm-ready"
fi
with_display bash "$QM_ROOT/scripts/test_windows.sh" --under-display
log "Windows lane passed in $((SECONDS - started)) s"
