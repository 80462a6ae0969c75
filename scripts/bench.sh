#!/usr/bin/env bash
# Builds in release mode, runs the benchmark suite (qmt_bench) and the
# windows' benchmarks (qmt_ui_bench, offscreen) and prints one table with the
# goals.  Extra arguments go to both benchmark programs
# (e.g. --benchmark_filter=Device).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQMT_GUI=ON -DQMT_TESTS=OFF >/dev/null
targets=(qmt_bench)
# The windows' program exists when Qt was found.
if ninja -C build-release -t targets all 2>/dev/null | grep -q '^qmt_ui_bench:'; then targets+=(qmt_ui_bench); fi
cmake --build build-release -j "$(nproc)" --target "${targets[@]}"
# Five repetitions of each benchmark, interleaved at random so that a peer
# and the benchmark it is set beside see the machine in the same states; the
# table shows the medians, which a busy machine disturbs far less than a
# single run.  Both programs run the same way, one after the other.
outs=()
for t in "${targets[@]}"; do
  case $t in
    qmt_bench) bin=build-release/bench/qmt_bench ;;
    qmt_ui_bench) bin=build-release/bench/ui/qmt_ui_bench ;;
  esac
  out=build-release/$t.json
  rm -f "$out"
  "$bin" --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json \
    --benchmark_min_time=0.2 --benchmark_repetitions="${QMT_BENCH_REPETITIONS:-5}" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@" >/dev/null
  # A filter that matches nothing in one program leaves no results from it.
  if [ -s "$out" ]; then outs+=("$out"); fi
done
# The web page's figures in headless chromium (first frame, a tick with its
# canvas update, the site's size), when the web build can be made here.
if [ -x scripts/build-web.sh ] && command -v emcc >/dev/null && command -v node >/dev/null &&
   [ -x "${QMT_CHROMIUM:-/usr/bin/chromium}" ]; then
  ./scripts/build-web.sh >&2
  QMT_WEB_MODULES="$PWD/web/node_modules" node bench/web/page_bench.mjs build-web/site build-release/web_page.json
  outs+=(build-release/web_page.json)
fi
python3 scripts/bench_report.py "${outs[@]}"
