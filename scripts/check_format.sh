#!/usr/bin/env bash
# Format check: every C and C++ source of the tree is as clang-format (with
# the root .clang-format) would write it. Exits 77 (skipped) without
# clang-format.
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 1
command -v clang-format >/dev/null 2>&1 || { echo "format: clang-format not installed, skipped"; exit 77; }

folders=(plinth trestle bndlib quern2wrapper tools tests bench fuzz examples)
mapfile -t files < <(find "${folders[@]}" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)
if clang-format --dry-run -Werror "${files[@]}"; then
    echo "format: ok (${#files[@]} files)"
else
    echo "format: run clang-format -i on the files above"
    exit 1
fi
