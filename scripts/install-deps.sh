#!/usr/bin/env bash
# Installs the Debian 12 packages this project needs, with apt-get, leaving those already installed:
#   --demo  what building and running coreio-align and the Python module coreio needs
#           (scripts/demo.sh)
#   --all   that and what the tests, sanitizers, fuzzing, ABI check, formatting and benchmarks
#           need (scripts/check.sh); the default
set -euo pipefail

# The compilers, the libraries the code builds on, and the Python module with what its example
# reads and writes through (meshio); g++ spreads the Python module's link-time optimisation over
# the cores through make.
demo_packages=(
    g++ make cmake ninja-build pkg-config
    libboost-dev libspdlog-dev libfmt-dev libcli11-dev libcairo2-dev
    libexodusii-dev libnetcdf-dev
    pybind11-dev python3-dev python3-numpy python3-meshio
)

# What scripts/check.sh adds: the tests' libraries and tools (ncgen writes their sample files,
# netCDF4 lets meshio read Exodus files back), clang for fuzzing, valgrind, the ABI tools, the
# formatter, the benchmark library, and matplotlib for the benchmarks' plots.
check_packages=(
    netcdf-bin libgtest-dev libgmock-dev python3-pytest python3-netcdf4
    clang-16 libclang-rt-16-dev llvm-16 valgrind abigail-tools clang-format-16
    libbenchmark-dev python3-matplotlib
)

# Stages of scripts/check.sh for other front ends add their packages here, one line each, with
# the stage that needs them.
front_end_packages=(
    paraview python3-paraview xvfb xauth  # the ParaView plugin's test (pvbatch, offscreen)
    python3-distributed python3-tqdm      # the batch runner and its test
)

case "${1:---all}" in
    --demo) packages=("${demo_packages[@]}") ;;
    --all) packages=("${demo_packages[@]}" "${check_packages[@]}" "${front_end_packages[@]}") ;;
    *) echo "usage: $0 [--demo|--all]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
