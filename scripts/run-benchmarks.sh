#!/usr/bin/env bash
# Runs every benchmark of a build tree. --smoke: each once, on its smallest sizes only, printing
# nothing but the errors a benchmark reports, and failing on them.
# The libraries' log stays off unless SPDLOG_LEVEL says otherwise: log lines would be timed too.
# Debian's benchmark library is built without NDEBUG and warns so at the start of every program, of
# its own bookkeeping, not of the code measured: that line is left out.
set -euo pipefail
smoke=0
if [ "${1:-}" = "--smoke" ]; then smoke=1; shift; fi
build="${1:?usage: run-benchmarks.sh [--smoke] BUILD_DIR}"
export SPDLOG_LEVEL="${SPDLOG_LEVEL:-off}"
debug_notice='***WARNING*** Library was built as DEBUG. Timings may be affected.'
failed=0
for program in "$build"/bench/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    if [ $smoke -eq 1 ]; then
        # The JSON report holds what the console one prints, without the header, and says which
        # benchmark stopped with an error, which the program's exit code does not.
        report="$(COREIO_BENCH_SMOKE=1 "$program" --benchmark_min_time=0 --benchmark_format=json)"
        errors="$(awk -F'"' '/"name":/ { name = $4 } /"error_message":/ { print "  " name ": " $4 }' <<<"$report")"
        if [ -n "$errors" ]; then
            echo "$errors" >&2
            failed=1
        fi
    else
        "$program" 2>&1 | { grep -v -x -F -e "$debug_notice" || true; }
    fi
done
# The batch runner needs the Python module and the tool.
if [ -d "$build/tools/python/coreio" ]; then
    echo "== batch_benchmark.py"
    batch=(/usr/bin/python3 "$(dirname "$0")/../bench/python/batch_benchmark.py" "$build/tools/coreio-align/coreio-align")
    if [ $smoke -eq 1 ]; then
        PYTHONPATH="$build/tools/python" "${batch[@]}" --smoke >/dev/null || failed=1
    else
        PYTHONPATH="$build/tools/python" "${batch[@]}"
    fi
fi
exit $failed
