#!/usr/bin/env bash
# Rewrites the ABI baseline abi/<Library>.abi of every library from a fresh release build with debug
# information (cmake/AbiBuild.cmake), the build that scripts/check.sh compares against it. Run it on
# purpose only: to record additions, or with the major version bump of an intended incompatible change
# (README.md, "Binary compatibility"). Commit abi/ with the change that made it necessary.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/abi-baseline}"

"$root/scripts/install-deps.sh"
rm -rf "$build"
# A library that no longer exists must not keep a baseline.
rm -f "$root"/abi/*.abi
cmake -S "$root" -B "$build" -G Ninja -C "$root/cmake/AbiBuild.cmake"
cmake --build "$build" -j "$(nproc)" --target coreio-abi-baseline
git -C "$root" status --short -- abi
