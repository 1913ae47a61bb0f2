#!/usr/bin/env bash
# Line coverage of the component's own code under the whole test run: a
# Debug build with --coverage in build-coverage (or $1), every test, then
# gcovr's summary per folder and in total. The component is what the
# figure is about; the client and the tests are built because their runs
# cover the component too.
#   scripts/coverage.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-missing-packages.sh
install_missing_packages -- gcovr
build=${1:-build-coverage}
# Counters are updated atomically: the tests call from many threads, and
# racing increments left negative branch counts that gcov's reader refuses.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCALYRA_WERROR=ON \
  "-DCMAKE_CXX_FLAGS=--coverage -fprofile-update=atomic" "-DCMAKE_C_FLAGS=--coverage -fprofile-update=atomic" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j"$(nproc)"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
folders=(core access management engine server idl tables comserver platform errorreport)
filters=()
for f in "${folders[@]}"; do filters+=(--filter "$PWD/$f/"); done
gcovr -r . "$build" "${filters[@]}" --exclude '.*/win32/.*' --sort-percentage --print-summary \
  -j"$(nproc)" | tail -40
