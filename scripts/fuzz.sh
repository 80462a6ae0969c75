#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30)
# on a copy of its seed corpus, one target at a time on one core.  A crash
# fails the script and leaves the reproducer in <build>/findings/.
#
#   scripts/fuzz.sh [SECONDS] [--merge] [TARGET...]
#
# --merge adds back into fuzz/corpus/<target>/ a small set of inputs that
# covers what the run reached beyond the kept corpus (libFuzzer's
# -set_cover_merge=1), so the seed corpora grow from one campaign to the next.
# TARGET names (compile, runner, ...) limit the run to those targets.
# QMT_FUZZ_BUILD picks the build folder (default build-fuzz), QMT_FUZZ_NO_BUILD=1
# runs what is built there as it is; the working
# corpora stay there, outside git, and keep growing across runs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
merge=0
only=()
for arg in "$@"; do
  case $arg in
    --merge) merge=1 ;;
    *) only+=("$arg") ;;
  esac
done
build=${QMT_FUZZ_BUILD:-build-fuzz}
[ -n "${QMT_FUZZ_NO_BUILD:-}" ] || CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQMT_FUZZ=ON -DQMT_GUI=OFF -DQMT_TESTS=OFF -DQMT_BENCH=OFF >/dev/null
if [ -z "${QMT_FUZZ_NO_BUILD:-}" ]; then
  if [ ${#only[@]} -gt 0 ]; then
    cmake --build "$build" -j "$(nproc)" --target "${only[@]/#/fuzz_}"
  else
    cmake --build "$build" -j "$(nproc)" --target fuzzers
  fi
fi
mkdir -p "$build"/findings
# fontconfig loses a few bytes of its own; only those leaks are let through.
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
status=0
for exe in "$build"/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  target=${name#fuzz_}
  if [ ${#only[@]} -gt 0 ] && [[ ! " ${only[*]} " == *" $target "* ]]; then continue; fi
  corpus=$build/corpus/$name
  seeds=fuzz/corpus/$target
  mkdir -p "$corpus"
  if [ -d "$seeds" ]; then cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true; fi
  # A target names its dictionary on a line "// dict: file.dict" at its top.
  dict=()
  d=$(sed -n 's|^// dict: *||p' "fuzz/$name.cpp" | head -n 1)
  if [ -n "$d" ]; then dict=(-dict="fuzz/$d"); fi
  log=$build/$name.log
  echo "-- $name${d:+ (dictionary $d)}"
  if ! "$exe" -max_total_time="$seconds" -print_final_stats=1 "${dict[@]}" \
       -artifact_prefix="$build/findings/$name-" "$corpus" 2>"$log"; then
    tail -n 40 "$log"
    status=1
  fi
  grep -E '^#[0-9]+' "$log" | tail -n 1 || true
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$log" || true
  if [ "$merge" = 1 ]; then
    mkdir -p "$seeds"
    before=$(ls "$seeds" | wc -l)
    "$exe" -set_cover_merge=1 "$seeds" "$corpus" >"$build/$name.merge.log" 2>&1 || { tail -n 20 "$build/$name.merge.log"; status=1; }
    echo "   corpus fuzz/corpus/$target: $before -> $(ls "$seeds" | wc -l) files"
  fi
done
exit $status
