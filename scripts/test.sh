#!/usr/bin/env bash
# Runs every test: the unit and integration tests, the window tests under a virtual X server,
# and the release kit's own tests. Warnings are errors here.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

bash scripts/setup.sh
build_preset ci
with_display ctest --preset ci -j 2
# The benchmarks once, briefly, in the same build: they must still run; their figures mean nothing
# on a shared machine and nothing here judges them.
QM_BENCH_BUILD="$QM_ROOT/build/ci" bash scripts/bench.sh --quick

# The Windows lane: the cross-compiled launcher and its tests under Wine (QM_SKIP_WINDOWS=1 leaves
# it out on a machine that cannot install Wine). Its failure fails the run.
if [ "${QM_SKIP_WINDOWS:-0}" != 1 ]; then
    bash scripts/test_windows.sh
fi
bash scripts/test_sanitizers.sh
