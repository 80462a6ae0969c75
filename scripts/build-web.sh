#!/usr/bin/env bash
# Builds the simulator's core as a WebAssembly module for the web page:
#   1. a native build's host tools (the tables the build writes: code page
#      932, the glyphs, the packed trays), in build/ unless QMT_NATIVE_BUILD
#      names another native build folder;
#   2. the core with emscripten into build-web/core/: qmt_web.js (a factory,
#      createQmtCore) and qmt_web.wasm, with the fonts' licences beside them;
#   3. the page into build-web/site/ (web/build.sh: its npm packages, then
#      esbuild): index.html with its scripts and the .wasm for a web server,
#      and qmtsim.html, the same page in one file to open from disk.
# Debian's emscripten needs NODE_PATH=/usr/share/nodejs; the module runs in
# browsers and under node (`node --no-experimental-fetch`).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QMT_JOBS:-$(nproc)}
native=${QMT_NATIVE_BUILD:-build}

if ! command -v emcmake >/dev/null; then
  echo "build-web.sh: emscripten is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

echo "== host tools ($native)"
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$native" -j "$jobs" --target qmt_cp932_table qmt_glyph_table qmt_tray_pack
tools=$(cd "$native/host-tools" && pwd)

echo "== WebAssembly core (build-web/core)"
emcmake cmake -S . -B build-web/core -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQMT_HOST_TOOLS="$tools" >/dev/null
targets=(qmt_web_module qmt_web_scenarios qmt_core_bench)
# The interpreter's checks, where GoogleTest's source is there to build.
if ninja -C build-web/core -t targets all 2>/dev/null | grep -q '^qmt_web_runtime_tests:'; then
  targets+=(qmt_web_runtime_tests)
fi
cmake --build build-web/core -j "$jobs" --target "${targets[@]}"
ls -l build-web/core/qmt_web.js build-web/core/qmt_web.wasm

echo "== the page (build-web/site)"
web/build.sh build-web/core build-web/site
ls -l build-web/site
