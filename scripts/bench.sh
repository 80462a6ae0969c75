#!/usr/bin/env bash
# Builds in release mode, runs the benchmark suite and prints one table with
# the goals.  Extra arguments go to the benchmark binary
# (e.g. --benchmark_filter=Device).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQMT_GUI=OFF -DQMT_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target qmt_bench
out=build-release/bench.json
# Five repetitions of each benchmark, interleaved at random so that a peer
# and the benchmark it is set beside see the machine in the same states; the
# table shows the medians, which a busy machine disturbs far less than a
# single run.
build-release/bench/qmt_bench --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json \
  --benchmark_min_time=0.2 --benchmark_repetitions="${QMT_BENCH_REPETITIONS:-5}" \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@" >/dev/null
python3 scripts/bench_report.py "$out"
