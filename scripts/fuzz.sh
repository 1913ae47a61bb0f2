#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) in
# build-fuzz/ and runs one of them, or all of them.
#   scripts/fuzz.sh TARGET [SECONDS]   run one target (default 600 s) and merge
#                                      new coverage into its stored corpus
#   scripts/fuzz.sh --all SECONDS [JOBS]
#                                      run every target from its stored corpus
#                                      without changing it (what CI does): a
#                                      fixed seed and a fixed number of runs,
#                                      cut short after SECONDS, so a CI run is
#                                      the same inputs as a local one, or a
#                                      prefix of them; a crash fails and its
#                                      reproducer is printed. JOBS targets run
#                                      at once (default: one per core); each
#                                      is one process on one core, so the
#                                      runs are the same whatever JOBS is
#   scripts/fuzz.sh --configure-args   print this build's cmake arguments
#                                      (besides -G Ninja), one a line, so
#                                      another script can build the tests in
#                                      the same folder alike
# Targets: the *_fuzz.cpp files of tests/fuzz (vcard_reader, ical_reader, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
configure_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALYRA_WERROR=ON -DCALYRA_DEBUG_LINES_ONLY=ON
                -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCALYRA_BUILD_FUZZERS=ON)
if [[ ${1:-} == --configure-args ]]; then
  printf '%s\n' "${configure_args[@]}"
  exit 0
fi
scripts/setup.sh
# Absolute paths: a target may change its working folder (dispatch does).
build=$PWD/build-fuzz
corpus_root=$PWD/tests/fuzz/corpus
targets=()
for f in tests/fuzz/*_fuzz.cpp; do t=$(basename "$f" _fuzz.cpp); targets+=("$t"); done

if [[ ${1:-} == --all ]]; then
  run=("${targets[@]}")
  seconds=${2:-60}
  jobs=${3:-$(nproc)}
  merge=0
  seed=(-seed=1)
  # About 25 s of runs each on a busy 2-core machine.
  declare -A runs=([connection]=35000 [content_line]=450000 [dispatch]=600000 [ical_reader]=75000 [ical_round_trip]=10000
                   [sql_quoting]=700000 [value_conversions]=1750000 [vcard_reader]=300000
                   [vcard_round_trip]=190000)
else
  [[ $# -ge 1 ]] || { echo "usage: scripts/fuzz.sh TARGET [SECONDS] | --all SECONDS (targets: ${targets[*]})" >&2; exit 2; }
  [[ " ${targets[*]} " == *" $1 "* ]] || { echo "unknown target '$1' (targets: ${targets[*]})" >&2; exit 2; }
  run=("$1")
  seconds=${2:-600}
  jobs=1
  merge=1
  seed=()
  declare -A runs=()
fi

cmake -S . -B "$build" -G Ninja "${configure_args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${run[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Runs target $1; prints what it found (or its statistics) and returns
# non-zero on a crash.
fuzz_one() {
  local t=$1 status=0
  local limit=() dict=()
  [[ -n ${runs[$t]:-} ]] && limit=(-runs="${runs[$t]}")
  [[ -f tests/fuzz/$t.dict ]] && dict=(-dict="$PWD/tests/fuzz/$t.dict")
  local artifacts="$build/artifacts/$t" work="$build/corpus/$t"
  mkdir -p "$artifacts" "$work"
  echo "== fuzz $t for $seconds s"
  # New inputs go to a scratch corpus; the stored one is only read.
  if ! "$build/fuzz/fuzz_$t" "$work" "$corpus_root/$t" "${dict[@]}" "${seed[@]}" "${limit[@]}" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      2>"$build/fuzz-$t.log"; then
    status=1
    tail -n 60 "$build/fuzz-$t.log"
    for crash in "$artifacts"/*; do
      [[ -f $crash ]] || continue
      echo "-- reproducer $crash (base64):"
      base64 "$crash" | head -c 4000
      echo
    done
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|cov: ' "$build/fuzz-$t.log" | tail -n 3 || true
  fi
  if ((merge)) && ((status == 0)); then
    "$build/fuzz/fuzz_$t" -merge=1 "$corpus_root/$t" "$work" "${dict[@]}" >/dev/null 2>&1
    echo "corpus of $t: $(ls "$corpus_root/$t" | wc -l) inputs"
  fi
  return $status
}

status=0
if ((jobs <= 1)); then
  for t in "${run[@]}"; do fuzz_one "$t" || status=1; done
  exit $status
fi
# Up to $jobs targets at once; each one's report is printed whole, in the
# targets' order, once all have finished.
for t in "${run[@]}"; do
  while (($(jobs -pr | wc -l) >= jobs)); do wait -n || true; done
  (
    result=0
    fuzz_one "$t" >"$build/fuzz-$t.report" 2>&1 || result=1
    echo $result >"$build/fuzz-$t.status"
  ) &
done
wait
for t in "${run[@]}"; do
  cat "$build/fuzz-$t.report"
  [[ $(cat "$build/fuzz-$t.status" 2>/dev/null) == 0 ]] || status=1
done
exit $status
