#!/usr/bin/env bash
# Formats every C++ source of the tree with clang-format-16 and the tree's .clang-format;
# with --check, changes nothing and fails naming each line that would change.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format-16 --dry-run --Werror "${sources[@]}" ||
        { echo "unformatted sources: run scripts/format.sh and commit the result" >&2; exit 1; }
else
    clang-format-16 -i "${sources[@]}"
fi
