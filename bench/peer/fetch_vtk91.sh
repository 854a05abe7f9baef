#!/usr/bin/env bash
# Unpacks VTK 9.1's Python wrapping (Debian's python3-vtk9) into a folder without installing it:
# it conflicts with python3-paraview, whose VTK 9.2 probes several times slower on the same data,
# so the peers never measure with that one. Needs Debian's libvtk9.1 (the libraries the wrapping
# loads) and network access to Debian's archive; nothing is fetched at build time.
# Usage: fetch_vtk91.sh DIR   then   PYTHONPATH=DIR/usr/lib/python3/dist-packages (or --vtk DIR)
set -euo pipefail
dir="${1:?usage: fetch_vtk91.sh DIR (the folder to unpack VTK 9.1 into)}"
if ! dpkg -s libvtk9.1 >/dev/null 2>&1; then
    echo "fetch_vtk91.sh: libvtk9.1 is not installed: apt-get install libvtk9.1" >&2
    exit 1
fi
mkdir -p "$dir"
cd "$dir"
if [ -d usr/lib/python3/dist-packages/vtkmodules ]; then
    echo "VTK 9.1 already unpacked in $dir"
    exit 0
fi
apt-get download python3-vtk9
package="$(ls python3-vtk9_*.deb | head -n 1)"
version="$(dpkg-deb -f "$package" Version)"
case "$version" in
    9.1.*) ;;
    *) echo "fetch_vtk91.sh: Debian offers python3-vtk9 $version, not 9.1: the peer figures need VTK 9.1" >&2
       exit 1 ;;
esac
dpkg -x "$package" .
echo "VTK $version unpacked in $dir; use PYTHONPATH=$dir/usr/lib/python3/dist-packages"
