#!/usr/bin/env bash
# Formats every C++ file of the project with clang-format (.clang-format),
# or with --check only reports the files that are not formatted and fails.
#   scripts/format.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
# typelib_expanded.h is written by its generator and checked against it.
mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^idl/typelib_expanded\.h$')
if [[ ${1:-} == --check ]]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
