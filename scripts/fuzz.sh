#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang, AddressSanitizer and UndefinedBehaviorSanitizer) in
# build/fuzz and runs each one from its seed corpus in fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh               every target for a short, fixed time (CI): QM_FUZZ_SECONDS, 12 s
#   scripts/fuzz.sh --long        every target for at least 10 000 000 executions (QM_FUZZ_RUNS)
#   scripts/fuzz.sh --long NAME.. only the named targets (e.g. settings_fuzz)
#
# Inputs are at most QM_FUZZ_MAX_LEN bytes (1024: many lines of any of these formats).
# Two targets run at a time (QM_FUZZ_JOBS). New inputs that libFuzzer finds go to
# build/fuzz/corpus/<target>/, never into the seeds; an input that crashes a target is kept as
# build/fuzz/artifacts/<target>-crash-<hash> and the script exits 1. Each target's figures
# (executions, seconds, executions per second) are written to build/fuzz/results.txt, or
# results-long.txt for --long.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

long=0
only=()
for arg in "$@"; do
    case "$arg" in
    --long) long=1 ;;
    -*) echo "fuzz.sh: unknown option $arg" >&2; exit 2 ;;
    *) only+=("$arg") ;;
    esac
done

out="$QM_ROOT/build/fuzz"
CC=clang-14 CXX=clang++-14 cmake -S fuzz -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null
cmake --build "$out"

seconds="${QM_FUZZ_SECONDS:-12}"
runs="${QM_FUZZ_RUNS:-10000000}"
jobs="${QM_FUZZ_JOBS:-2}"
max_len="${QM_FUZZ_MAX_LEN:-1024}"
suffix="$([ "$long" = 1 ] && echo -long || true)"
mkdir -p "$out/artifacts" "$out/logs$suffix"
results="$out/results$suffix.txt"
: >"$results"

targets=()
if [ "${#only[@]}" -gt 0 ]; then
    targets=("${only[@]}")
else
    for t in "$out"/bin/*_fuzz; do targets+=("$(basename "$t")"); done
fi

# One target: its own corpus copy, its seeds read-only. The figures come from libFuzzer's closing
# "Done N runs in S second(s)" line.
run_one() {
    local name="$1" seeds="fuzz/corpus/${1%_fuzz}"
    local work="$out/corpus/$name" log="$out/logs$suffix/$name.log"
    mkdir -p "$work"
    local limit=(-max_total_time="$seconds")
    [ "$long" = 1 ] && limit=(-runs="$runs")
    local start end code=0
    start=$(date +%s)
    "$out/bin/$name" "${limit[@]}" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 \
        -artifact_prefix="$out/artifacts/$name-" "$work" "$seeds" >"$log" 2>&1 || code=$?
    end=$(date +%s)
    local done_runs
    done_runs=$(sed -n 's/^Done \([0-9]*\) runs in .*/\1/p' "$log" | tail -n 1)
    local spent=$((end - start))
    [ "$spent" -gt 0 ] || spent=1
    printf '%-24s %12s runs %6s s %10s exec/s  %s\n' "$name" "${done_runs:-?}" "$spent" \
        "$(( ${done_runs:-0} / spent ))" "$([ "$code" = 0 ] && echo ok || echo "FAILED ($code)")" \
        >>"$results"
    return "$code"
}

each="$seconds s"
[ "$long" = 1 ] && each="$runs runs"
log "fuzzing ${#targets[@]} targets, $each each"
failed=0
running=0
for name in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
    run_one "$name" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done

sort "$results" -o "$results"
cat "$results"
if [ "$failed" != 0 ]; then
    log "a fuzz target failed: see build/fuzz/logs$suffix and build/fuzz/artifacts"
    exit 1
fi
log "fuzzing: every target ran clean"
