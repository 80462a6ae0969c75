#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target qmt
out=${TMPDIR:-/tmp}/qmt-demo.png
./build/apps/qmt/qmt exec examples/demo.txt --png "$out"
echo "$out"
