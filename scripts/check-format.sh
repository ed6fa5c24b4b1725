#!/usr/bin/env bash
# Fails when a C++ file of the tree does not follow .clang-format; prints
# the places. `clang-format -i FILE` puts a file right.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if ((${#files[@]} == 0)); then
  mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
clang-format --dry-run --Werror "${files[@]}"
echo "formatting: ${#files[@]} files follow .clang-format"
