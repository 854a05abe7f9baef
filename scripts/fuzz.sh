#!/usr/bin/env bash
# Builds the libFuzzer target of the Exodus loader with clang and runs it for SECONDS (default 60)
# on a copy of its stored inputs in tests/data/fuzz/<target>/, so that the stored corpus does not
# grow. Exits non-zero if it crashed, leaked, hung, broke a sanitizer check or a builder's promise;
# the input that did it is kept in the build tree, to be saved as tests/data/fuzz/<target>/crash-*.
# --seeds instead rewrites the seed inputs made from the CDL files in tests/data.
# Environment: BUILD_DIR (default build/fuzz), FUZZ_CC and FUZZ_CXX (default clang-16, clang++-16).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/fuzz}"
targets=(fuzz_exodus_loader)

usage() {
    echo "usage: $0 [SECONDS] | --seeds" >&2
    exit 2
}

seeds=0
seconds=60
case "${1:-}" in
    --seeds) seeds=1 ;;
    "") ;;
    *[!0-9]*) usage ;;
    *) seconds=$((10#$1)) ;;
esac
[ "$seconds" -gt 0 ] || usage  # libFuzzer takes 0 for no limit

"$root/scripts/install-deps.sh"
cc="${FUZZ_CC:-clang-16}"
cxx="${FUZZ_CXX:-clang++-16}"
command -v "$cxx" >/dev/null || { echo "$0: $cxx not found; the fuzzers need clang 15 or later" >&2; exit 1; }

CC="$cc" CXX="$cxx" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCOREIO_BUILD_FUZZERS=ON -DCOREIO_BUILD_TESTS=OFF -DCOREIO_BUILD_BENCHMARKS=OFF -DCOREIO_BUILD_TOOLS=OFF \
    >/dev/null

if [ $seeds -eq 1 ]; then
    corpus="$root/tests/data/fuzz"
    # Files from outside the project's writer: independent of it, in both classic formats.
    ncgen -k 1 -o "$corpus/fuzz_exodus_loader/seed-independent-cdf1.exo" "$root/tests/data/exodus_independent.cdl"
    ncgen -k 5 -o "$corpus/fuzz_exodus_loader/seed-independent-cdf5.exo" "$root/tests/data/exodus_independent.cdl"
    ncgen -k 1 -o "$corpus/fuzz_exodus_loader/seed-short-variable.exo" "$root/tests/data/exodus_short_variable.cdl"
    # Coordinates in one array, no file_size attribute, an element variable.
    ncgen -k 1 -o "$corpus/fuzz_exodus_loader/seed-one-coordinate-array.exo" \
        "$root/tests/data/exodus_one_coordinate_array.cdl"
    echo "seeds written to $corpus"
    exit 0
fi

cmake --build "$build" --target "${targets[@]}" -j "$(nproc)"

export SPDLOG_LEVEL=off  # the loaders' warnings about odd files would drown the fuzzer's output
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
for symbolizer in llvm-symbolizer-16 llvm-symbolizer-15 llvm-symbolizer-14 llvm-symbolizer; do
    if command -v "$symbolizer" >/dev/null; then
        export ASAN_SYMBOLIZER_PATH="$(command -v "$symbolizer")"
        break
    fi
done

failed=0
for target in "${targets[@]}"; do
    run="$build/fuzz-run/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/artifacts"
    cp "$root/tests/data/fuzz/$target/"* "$run/corpus/"
    echo "== $target: ${seconds} s"
    status=0
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$run/artifacts/" "$run/corpus" >"$run/log" 2>&1 || status=$?
    grep -E '^#[0-9]+' "$run/log" | tail -1 || true  # executions, cov: and ft: at the end
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$run/log" || true
    if [ $status -ne 0 ]; then
        failed=1
        echo "$target FAILED (exit $status); log: $run/log"
        # The report: from the first sign of trouble to the sanitizer's summary.
        awk '/==ERROR|runtime error|terminate called|deadly signal|ALARM|out-of-memory/ { shown = 1 }
             shown { print } /^SUMMARY/ { exit }' "$run/log" | head -80
        echo "failing input (store it as tests/data/fuzz/$target/crash-<what> unless it is stored already):"
        ls -1 "$run/artifacts"
    fi
done
exit $failed
