#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the normal build (GUI included), the web build's core, and all tests;
#   2. the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
#      with the windows' debugger test (the windows are built only for it);
#   3. every libFuzzer target for a short run (FUZZ_SECONDS, 30 by default).
# QMT_QUICK=1 runs only the first stage.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
# The WebAssembly core, for the web tests (web.*) that ctest runs below.
QMT_JOBS=$jobs ./scripts/build-web.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")

if [ "${QMT_QUICK:-0}" = 1 ]; then exit 0; fi

echo "== core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMT_SANITIZE=ON -DQMT_GUI=ON -DQMT_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
# Of the windows, only the debugger's test: it quits with a run held.
cmake --build build-asan -j "$jobs" --target qmt_ui_debug_panel_test
# fontconfig loses a few hundred bytes of its default configuration, once
# per process; only those leaks are let through (as for the fuzz targets).
supp="$PWD/fuzz/lsan.supp"
guisupp="$PWD/scripts/monkey.supp"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$supp:print_suppressions=0" ctest --output-on-failure -j "$jobs" -E '^ui\.')
(cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$guisupp" ctest --output-on-failure -R '^ui\.debug_panel_test$')

echo "== fuzz targets, ${FUZZ_SECONDS:-30} s each"
./scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
