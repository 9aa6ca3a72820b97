#!/usr/bin/env bash
# The sanitizer lanes, run by scripts/test.sh after the ordinary lanes:
#
#   1. AddressSanitizer and UndefinedBehaviorSanitizer (preset asan, build/asan): every unit,
#      integration and end-to-end test of the launcher's code, as ctest runs them in the ci lane
#      (the release kit's Python tests, which run no code of ours, and the two kill loops of
#      tests/hardening, which start a program a thousand times and prove nothing about memory
#      that the other tests do not, are left to that lane; so are the self-test runs
#      e2e.selftest, e2e.selftest_error_demo and e2e.selftest_hung_game, whose screenshots of
#      the build's 1.6-second steps the much slower frames under ASan miss).
#   2. ThreadSanitizer (preset tsan, build/tsan): the tests whose code runs on several threads:
#      the process reader, the update check's worker and the download worker.
#   3. The fuzz targets for a short, fixed time each (scripts/fuzz.sh).
#
# Any report of a sanitizer fails its test. LeakSanitizer ignores only what two system pieces
# keep until exit (tests/hardening/lsan.supp: D-Bus, SDL's dialog thread). Each lane's time is
# printed at the end.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$QM_ROOT/tests/hardening/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

# SDL opens the X11, GL and D-Bus libraries with dlopen and closes them at its end, and Mesa does
# the same with its driver: what they still held would then look leaked, from a library nobody
# can name any more. Loaded first, they stay until the process ends, their memory stays reachable
# and no suppression is needed for it. (ASan then need not come first in the library list.)
gl_libs="libX11.so.6 libX11-xcb.so.1 libxcb.so.1 libXext.so.6 libXcursor.so.1 libXi.so.6"
gl_libs+=" libXrandr.so.2 libXfixes.so.3 libXss.so.1 libxkbcommon.so.0 libdbus-1.so.3"
gl_libs+=" libGLX.so.0 libGLX_mesa.so.0 libGL.so.1 libEGL.so.1 libEGL_mesa.so.0 libglapi.so.0"
gl_libs+=" $(ls /usr/lib/x86_64-linux-gnu/dri/swrast_dri.so 2>/dev/null || true)"

times=()
lane_start() { lane_t0=$(date +%s); }
lane_end() { times+=("$1: $(($(date +%s) - lane_t0)) s"); }

lane_start
build_preset asan
asan="detect_leaks=1:halt_on_error=1:verify_asan_link_order=0"
ASAN_OPTIONS="$asan" LD_PRELOAD="$gl_libs" \
    with_display ctest --test-dir build/asan -j 2 --output-on-failure \
    -E '^(ui|release_kit)\.|^hardening\.(CrashSafeSettings|BuildTree)\.|^e2e\.selftest(_error_demo|_hung_game)?$'
# The interface tests that open the file dialog (Enter on the welcome screen's default button
# does too), with whole allocation stacks for the one SDL
# suppression to match; the others with quick ones, as whole stacks for each of Mesa's many
# allocations slow the screenshot tests past their time limit.
dialog_tests='^ui\..*(Dialog|ChangeDisc|MovedImage|DefaultButton)'
ASAN_OPTIONS="$asan:fast_unwind_on_malloc=0" LD_PRELOAD="$gl_libs" \
    with_display ctest --test-dir build/asan -j 2 --output-on-failure -R "$dialog_tests"
ASAN_OPTIONS="$asan" LD_PRELOAD="$gl_libs" \
    with_display ctest --test-dir build/asan -j 2 --output-on-failure -R '^ui\.' -E "$dialog_tests"

lane_end "asan+ubsan (build and every test)"

# ThreadSanitizer: only the threaded tests and what they start.
lane_start
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target test_plat test_update
tsan_tests='^plat\..*(LineSplitting|CapturedOutput|CapturedTree|ProcessState|ExitCodes|ChildStart)'
tsan_tests+='|^update\.(UpdateCheck|Http|Install|HostileHost|InstallRecovery)'
ctest --test-dir build/tsan -j 2 --output-on-failure -R "$tsan_tests"
lane_end "tsan (process reader, update check, download)"

lane_start
bash scripts/fuzz.sh
lane_end "fuzz (every target, ${QM_FUZZ_SECONDS:-12} s each)"

for t in "${times[@]}"; do log "lane time: $t"; done
