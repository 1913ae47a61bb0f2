#!/usr/bin/env bash
# Builds the calyra client (and the module it loads, nothing else) and runs
# it on the default database file (created on first use). Without arguments
# it runs `calyra demo`. The build folder is configured as scripts/test.sh
# configures it, so the test command that follows compiles nothing twice.
#   scripts/run.sh [calyra arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCALYRA_WERROR=ON -DCALYRA_DEBUG_LINES_ONLY=ON >/dev/null
cmake --build build -j"$(nproc)" --target calyra
if (($# == 0)); then set -- demo; fi
exec build/bin/calyra "$@"
