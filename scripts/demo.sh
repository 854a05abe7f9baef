#!/usr/bin/env bash
# Installs what coreio-align and the Python module need, builds both in build/demo (a tree of its
# own: the presets' build/release keeps its tests) and aligns the built-in sample cases; inputs,
# outputs and pictures go to out/demo. Arguments are passed on to coreio-align --demo.
# Environment: BUILD_DIR (default build/demo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/demo}"
started=$SECONDS

"$root/scripts/install-deps.sh" --demo
installed=$SECONDS
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCOREIO_BUILD_TOOLS=ON -DCOREIO_BUILD_PYTHON=ON \
      -DCOREIO_BUILD_TESTS=OFF -DCOREIO_BUILD_BENCHMARKS=OFF
cmake --build "$build" --target coreio-align coreio_python -j "$(nproc)"
built=$SECONDS
"$build/tools/coreio-align/coreio-align" --demo -o "$root/out/demo" "$@"

cat <<EOF
Took $((installed - started)) s to install packages, $((built - installed)) s to build, $((SECONDS - built)) s to run.
coreio-align is $build/tools/coreio-align/coreio-align; to call it by name:
    export PATH="$build/tools/coreio-align:\$PATH"
The Python module coreio, for /usr/bin/python3:
    export PYTHONPATH="$build/tools/python"
EOF
