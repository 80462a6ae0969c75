#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30)
# on a copy of its seed corpus.  A crash fails the script and leaves the
# reproducer in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQMT_FUZZ=ON -DQMT_GUI=OFF -DQMT_TESTS=OFF -DQMT_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzzers
mkdir -p build-fuzz/findings
# fontconfig loses a few bytes of its own; only those leaks are let through.
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
status=0
for exe in build-fuzz/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/${name#fuzz_}" ]; then cp -n fuzz/corpus/"${name#fuzz_}"/* "$corpus"/ 2>/dev/null || true; fi
  echo "-- $name"
  if ! "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- \
       "$corpus" 2>build-fuzz/"$name".log; then
    tail -n 40 build-fuzz/"$name".log
    status=1
  fi
  grep -E 'stat::number_of_executed_units|stat::new_units_added' build-fuzz/"$name".log || true
done
exit $status
