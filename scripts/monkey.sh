#!/usr/bin/env bash
# Runs the monkey test of the windows for MINUTES (default 10) under
# AddressSanitizer and UndefinedBehaviorSanitizer: one random seed after the
# other, each for QMT_MONKEY_STEPS actions (default 2000), offscreen.  A
# failing seed is printed with the line that replays it, and its log is kept
# in build-asan-gui/monkey/ (a build folder of its own: the GUI with the
# sanitizers, beside the core-only build-asan of scripts/test.sh).
#
#   scripts/monkey.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
steps=${QMT_MONKEY_STEPS:-2000}
build=build-asan-gui
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQMT_SANITIZE=ON -DQMT_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target qmt_ui_monkey_test
mkdir -p "$build/monkey"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Qt and fontconfig keep a few allocations of their own until exit.
export LSAN_OPTIONS="suppressions=$PWD/scripts/monkey.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
end=$((SECONDS + minutes * 60))
runs=0
while [ $SECONDS -lt $end ]; do
  seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  log=$build/monkey/seed-$seed.log
  if QMT_MONKEY_SEED=$seed QMT_MONKEY_STEPS=$steps "$build/tests/ui/qmt_ui_monkey_test" >"$log" 2>&1; then
    rm -f "$log"
    runs=$((runs + 1))
  else
    grep -a -E 'FAIL|ERROR: |runtime error|Received signal' "$log" | head -n 20 || true
    echo "monkey: seed $seed failed after $runs good runs; log $log"
    echo "replay: QT_QPA_PLATFORM=offscreen QMT_MONKEY_SEED=$seed QMT_MONKEY_STEPS=$steps $build/tests/ui/qmt_ui_monkey_test"
    exit 1
  fi
done
echo "monkey: $runs seeds of $steps actions in $minutes min, no failure"
