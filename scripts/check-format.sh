#!/bin/bash
# Checks that every C++ file the repository tracks keeps the house style of
# .clang-format; with --fix, formats them in place.  Exits 77 (skipped) where
# clang-format or the git checkout is missing, as in a source tarball.
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format not installed: style not checked"; exit 77; }
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null) || { echo "not a git checkout: style not checked"; exit 77; }
if [ "${1:-}" = --fix ]; then
    exec clang-format -i $files
fi
clang-format --dry-run -Werror $files || { echo "run scripts/check-format.sh --fix to format"; exit 1; }
echo "$(echo "$files" | wc -l) files in the house style"
