#!/usr/bin/env bash
# Checks that Business_CoreIoLoadUtilities calls exactly the platform operations listed in
# Platform/CoreIo/Business/CoreIoLoadUtilities/PlatformCalls.txt: its undefined Calvora:: and
# CoreIo:: symbols, demangled and without version tags, against the list's lines. For the library
# of a release build: sanitizers add typeinfo references, and unoptimised code calls virtual
# functions through their table instead of by name.
# Usage: check-platform-calls.sh <build directory or the library file> [list]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:?usage: check-platform-calls.sh <build directory or libBusiness_CoreIoLoadUtilities.so> [list]}"
list="${2:-$root/Platform/CoreIo/Business/CoreIoLoadUtilities/PlatformCalls.txt}"
export LC_ALL=C

fail() {
    printf 'check-platform-calls: %s\n' "$@" >&2
    exit 1
}

library="$target"
if [ -d "$target" ]; then
    library="$(find "$target" -name 'libBusiness_CoreIoLoadUtilities.so' -print -quit)"
    [ -n "$library" ] || fail "no libBusiness_CoreIoLoadUtilities.so under $target: build the target Business_CoreIoLoadUtilities first."
fi
[ -f "$library" ] || fail "$library does not exist: build the target Business_CoreIoLoadUtilities first."
[ -f "$list" ] || fail "the list $list does not exist."
command -v nm >/dev/null || fail "nm (binutils) is not installed: apt-get install binutils."

# A line of the list names one operation before its "#", and the contract after it.
unexplained="$(grep -vE '^[[:space:]]*(#|$)' "$list" | grep -vE '[^[:space:]][[:space:]]*#[[:space:]]*[^[:space:]]' || true)"
[ -z "$unexplained" ] || fail "these lines of $list say no contract; follow each operation with '# <the contract that names it>':" \
    "$unexplained"

called="$(nm -DC --undefined-only "$library" | sed -E 's/^[[:space:]]*U[[:space:]]+//; s/@[^@[:space:]]+$//' |
    grep -E '(Calvora|CoreIo)::' | sort -u)"
listed="$(grep -vE '^[[:space:]]*(#|$)' "$list" | sed -E 's/[[:space:]]*#.*$//' | sort -u)"

unexpected="$(comm -23 <(printf '%s\n' "$called") <(printf '%s\n' "$listed") | sed '/^$/d')"
missing="$(comm -13 <(printf '%s\n' "$called") <(printf '%s\n' "$listed") | sed '/^$/d')"

status=0
while IFS= read -r symbol; do
    [ -n "$symbol" ] || continue
    printf 'unexpected platform call: %s\n' "$symbol" >&2
    printf '  %s calls a platform operation that its list does not name. Remove the call, or, if a\n' \
        "$(basename "$library")" >&2
    printf '  contract of the platform names it for the library, add it on purpose to %s as\n' "$list" >&2
    printf '  "%s  # <that contract>".\n' "$symbol" >&2
    status=1
done <<<"$unexpected"
while IFS= read -r symbol; do
    [ -n "$symbol" ] || continue
    printf 'listed but not called: %s\n' "$symbol" >&2
    printf '  %s no longer calls this operation: remove its line from %s.\n' "$(basename "$library")" "$list" >&2
    status=1
done <<<"$missing"

if [ $status -eq 0 ]; then
    printf 'check-platform-calls: %s calls the %s listed platform operations and no other.\n' \
        "$(basename "$library")" "$(printf '%s\n' "$listed" | grep -c .)"
fi
exit $status
