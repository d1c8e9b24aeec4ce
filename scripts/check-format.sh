#!/usr/bin/env bash
# Fails, naming each file, when a tracked C++ source is not laid out as .clang-format says.
# Only our own sources are checked: the fuzz seeds and the inputs kept from failures are data, and
# generated code (moc's) lives in the build folders, which are not tracked.
# Fix a file with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${CLANG_FORMAT:-clang-format}

# Another major version lays the same code out differently, so the check would fail on its own.
version=$("$clang_format" --version | sed -n 's/.*clang-format version \([0-9]*\).*/\1/p')
if [ "$version" != 14 ]; then
    echo "check-format: the layout is defined for clang-format 14; $clang_format is version ${version:-unknown}" >&2
    echo "check-format: set CLANG_FORMAT to a clang-format 14 (Debian: apt-get install clang-format-14)" >&2
    exit 2
fi

mapfile -t files < <(git ls-files -- '*.cpp' '*.h' ':!:fuzz/corpus/' ':!:fuzz/regressions/')
[ ${#files[@]} -gt 0 ] || { echo "check-format: no tracked sources found (not a git checkout?)" >&2; exit 2; }

if output=$("$clang_format" --dry-run --Werror "${files[@]}" 2>&1); then
    exit 0
fi
misformatted=$(printf '%s\n' "$output" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ -z "$misformatted" ]; then
    # clang-format failed for another reason (a broken .clang-format, a file it cannot read).
    printf '%s\n' "$output" >&2
    exit 2
fi
echo "check-format: not formatted as .clang-format says (clang-format -i FILE fixes it):" >&2
sed 's/^/  /' <<<"$misformatted" >&2
exit 1
