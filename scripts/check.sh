#!/usr/bin/env bash
# Builds everything from scratch with warnings as errors, runs every test, runs each benchmark
# once on small sizes, and builds a small consumer project against the installed package.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/check}"
jobs="$(nproc)"

"$root/scripts/install-deps.sh"

rm -rf "$build"
cmake -S "$root" -B "$build/main" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCOREIO_WARNINGS_AS_ERRORS=ON \
      -DCMAKE_INSTALL_PREFIX="$build/install"
cmake --build "$build/main" -j "$jobs"
ctest --test-dir "$build/main" --output-on-failure -j "$jobs"

"$root/scripts/run-benchmarks.sh" --smoke "$build/main"

cmake --install "$build/main" >/dev/null
cmake -S "$root/tests/consumer" -B "$build/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$build/install"
cmake --build "$build/consumer"
"$build/consumer/consumer"
