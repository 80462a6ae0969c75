#!/usr/bin/env bash
# Rebuilds qmt and regenerates the manual's live examples: the pictures and
# outputs under docs/manual/examples/ and the example blocks of the pages.
# Run it after a deliberate change of drawing or messages, then review the
# diff; the ManualExamples test fails until they agree again.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build --target qmt >/dev/null
exec python3 scripts/manual_examples.py --qmt build/apps/qmt/qmt "$@"
