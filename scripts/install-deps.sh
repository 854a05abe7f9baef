#!/usr/bin/env bash
# Installs the Debian 12 packages this project builds, tests and benchmarks with.
set -euo pipefail
packages=(
    build-essential cmake ninja-build
    libboost-dev libspdlog-dev libfmt-dev
    libexodusii-dev libnetcdf-dev netcdf-bin
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    libcairo2-dev pkg-config
    valgrind clang-16 libclang-rt-16-dev llvm-16
    abigail-tools clang-format-16
    pybind11-dev python3-dev python3-numpy python3-pytest python3-meshio python3-netcdf4 python3-matplotlib
    paraview python3-paraview xvfb xauth
    python3-distributed python3-tqdm
)
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
