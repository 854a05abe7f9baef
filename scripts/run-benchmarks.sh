#!/usr/bin/env bash
# Runs every benchmark of a build tree. --smoke: each once, on its smallest sizes only.
set -euo pipefail
smoke=0
if [ "${1:-}" = "--smoke" ]; then smoke=1; shift; fi
build="${1:?usage: run-benchmarks.sh [--smoke] BUILD_DIR}"
for program in "$build"/bench/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    if [ $smoke -eq 1 ]; then
        COREIO_BENCH_SMOKE=1 "$program" --benchmark_min_time=0 >/dev/null
    else
        "$program"
    fi
done
