#!/usr/bin/env bash
# Builds the launcher and its benchmarks optimised (build/bench, RelWithDebInfo like the release)
# and runs them under the display (a virtual X server with Mesa's software OpenGL when there is
# none), printing one table of ratios. Every figure is the median of several runs, each divided by
# a reference measured in the same run (bench/run_bench.py says which).
#
#   scripts/bench.sh            the full run, about ten minutes
#   scripts/bench.sh --quick    one short run of every part (a few seconds of measuring), to show
#                               that the benchmarks still run; its figures mean nothing
#
# QM_BENCH_BUILD=<dir> uses an existing build folder instead (it must have been configured with
# QM_BENCH=ON, the default), e.g. build/ci in CI.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

bash scripts/setup.sh >/dev/null
build="${QM_BENCH_BUILD:-$QM_ROOT/build/bench}"
if [ -z "${QM_BENCH_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target bench_programs
with_display python3 bench/run_bench.py "$build/bin" "$build/bench-work" "$@"
