#!/usr/bin/env bash
# Everything CI checks, from scratch: the sources' formatting, the release build with warnings as
# errors and all tests,
# the Python module's tests (with the system's interpreter, which has numpy and meshio),
# the libraries' binary interface against the baseline in abi/, each benchmark once on small sizes,
# a consumer of the installed package and the ParaView plugin in it, the whole suite under AddressSanitizer with
# UndefinedBehaviorSanitizer, the threading tests under ThreadSanitizer, a bounded run of the Exodus
# loader's fuzz target, and a leak check of the demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/check}"
jobs="$(nproc)"
fuzz_seconds="${FUZZ_SECONDS:-60}"

stage() { printf '\n=== %s\n' "$*"; }

"$root/scripts/install-deps.sh" --all
rm -rf "$build"

stage "formatting"
"$root/scripts/format.sh" --check

stage "release build and tests"
cmake -S "$root" -B "$build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCOREIO_WARNINGS_AS_ERRORS=ON \
      -DCMAKE_INSTALL_PREFIX="$build/install"
cmake --build "$build/release" -j "$jobs"
ctest --test-dir "$build/release" --output-on-failure -j "$jobs"

stage "Python module"
# Debian's netCDF4 was compiled against an older numpy and warns so on import when pytest shows
# every warning; numpy itself silences this warning for that reason: so does the test run.
PYTHONPATH="$build/release/tools/python" COREIO_ALIGN="$build/release/tools/coreio-align/coreio-align" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider -W "ignore:numpy.ndarray size changed:RuntimeWarning" \
    "$root/tests/python"

stage "ABI against the baseline"
cmake -S "$root" -B "$build/abi" -G Ninja -C "$root/cmake/AbiBuild.cmake" -DCOREIO_WARNINGS_AS_ERRORS=ON
cmake --build "$build/abi" -j "$jobs" --target coreio-abi-check -- -k 0  # report every library

stage "benchmarks, once each on small sizes"
"$root/scripts/run-benchmarks.sh" --smoke "$build/release"

stage "consumer of the installed package"
cmake --install "$build/release" >/dev/null
cmake -S "$root/tests/consumer" -B "$build/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$build/install"
cmake --build "$build/consumer"
"$build/consumer/consumer"

stage "ParaView plugin in pvbatch, on the installed package"
cmake --install "$build/release" >/dev/null
"$root/tests/paraview/run.sh" "$build/install" "$build/paraview"

stage "leak check of the demo"
valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1 -q \
    --suppressions="$root/scripts/valgrind.supp" \
    "$build/release/tools/coreio-align/coreio-align" --demo -o "$build/demo" >/dev/null

stage "all tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$build/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOREIO_SANITIZER=address \
      -DCOREIO_BUILD_BENCHMARKS=OFF -DCOREIO_BUILD_PYTHON=OFF
cmake --build "$build/asan" -j "$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp" ctest --test-dir "$build/asan" --output-on-failure -j "$jobs"

stage "threading tests under ThreadSanitizer"
cmake -S "$root" -B "$build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOREIO_SANITIZER=thread \
      -DCOREIO_BUILD_BENCHMARKS=OFF -DCOREIO_BUILD_TOOLS=OFF
cmake --build "$build/tsan" -j "$jobs" --target ThreadSharingTest ExodusThreadTest AlgorithmTest
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$build/tsan" --output-on-failure -L threads

stage "fuzz target, ${fuzz_seconds} s"
BUILD_DIR="$build/fuzz" "$root/scripts/fuzz.sh" "$fuzz_seconds"
