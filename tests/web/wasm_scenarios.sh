#!/usr/bin/env bash
# The built-in macro's scenario suite replayed by the WebAssembly core under
# node (scripts/build-web.sh builds it into build-web/core).  Skipped (77)
# with a word when emscripten or the web build is missing.
set -uo pipefail
src=$1
core=$src/build-web/core/qmt_web_scenarios.js
if [ ! -f "$core" ]; then
  if ! command -v emcmake >/dev/null; then
    echo "skipped: emscripten is not installed (scripts/install-deps.sh installs it)"
  else
    echo "skipped: the web build is missing; scripts/build-web.sh makes it"
  fi
  exit 77
fi
exec timeout 600 node --no-experimental-fetch "$core" "$src/tests/scenarios"
