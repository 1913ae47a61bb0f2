#!/usr/bin/env bash
# Builds Calyra and runs the calyra client on the default database file
# (created on first use).
#   scripts/run.sh [calyra arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)" --target calyra
exec build/bin/calyra "$@"
