#!/usr/bin/env bash
# Builds coreio-align and runs it on its built-in sample cases; inputs and outputs go to out/demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/release}"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCOREIO_BUILD_TESTS=OFF -DCOREIO_BUILD_BENCHMARKS=OFF
cmake --build "$build" --target coreio-align -j "$(nproc)"
"$build/tools/coreio-align/coreio-align" --demo -o "$root/out/demo" "$@"
