#!/usr/bin/env bash
# Runs the ParaView plugin's test in pvbatch against an installed prefix, as a user starts ParaView
# with a prefix of their own: PYTHONUSERBASE=PREFIX. Usage: run.sh PREFIX FOLDER (scratch, emptied).
set -euo pipefail
prefix="$(cd "$1" && pwd)"
folder="$2"
rm -rf "$folder"
mkdir -p "$folder"
# Rendering needs an X display. Other programs on the machine start X servers too: begin the search
# for a free display number at one of our own.
COREIO_PREFIX="$prefix" COREIO_FOLDER="$folder" PYTHONUSERBASE="$prefix" \
    xvfb-run -n $((100 + RANDOM % 800)) -a pvbatch "$(dirname "$0")/test_plugin.py"
