#!/usr/bin/env bash
# Builds Calyra and runs the calyra client on the default database file
# (created on first use). Without arguments it runs `calyra demo`.
#   scripts/run.sh [calyra arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)" --target calyra
if (($# == 0)); then set -- demo; fi
exec build/bin/calyra "$@"
