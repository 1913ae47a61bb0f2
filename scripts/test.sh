#!/usr/bin/env bash
# Builds Calyra and runs every test. Warnings are errors here (developers
# and CI see them first); a plain cmake build keeps them as warnings. The
# default target is what the tests need: the component, the client and its
# companion programs (a test installs them all) and the test programs; the
# benchmarks are built only with -DCALYRA_BUILD_BENCH=ON (CI does).
#   scripts/test.sh [build-dir] [extra cmake arguments...]
# CALYRA_TEST_SKIP_LABELS=L: leave out the tests labelled L (a ctest
# regular expression; CI's sanitizer stages leave out the DAV servers).
# CALYRA_TEST_PROGRAMS="a b ...": build only these test programs (and what
# they need) and run only their cases; every case is labelled with its
# program's name. CI's sanitizer stages use it to leave out what the main
# stage already covers and the sanitizers add nothing to.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DCALYRA_WERROR=ON -DCALYRA_DEBUG_LINES_ONLY=ON "$@" >/dev/null
select=()
if [[ -n ${CALYRA_TEST_PROGRAMS:-} ]]; then
  read -ra programs <<<"$CALYRA_TEST_PROGRAMS"
  cmake --build "$build" -j"$(nproc)" --target "${programs[@]}"
  pattern=$(IFS='|'; echo "${programs[*]}")
  select=(-L "^($pattern)\$")
else
  cmake --build "$build" -j"$(nproc)"
fi
[[ -n ${CALYRA_TEST_SKIP_LABELS:-} ]] && select+=(-LE "$CALYRA_TEST_SKIP_LABELS")
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 600 "${select[@]}"
