#!/usr/bin/env bash
# Builds Calyra and runs every test. Warnings are errors here (developers
# and CI see them first); a plain cmake build keeps them as warnings.
#   scripts/test.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DCALYRA_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 600
