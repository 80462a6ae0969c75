#!/usr/bin/env bash
# Runs a test of the WebAssembly core under node (scripts/build-web.sh builds
# it into build-web/core): `scenarios`, the built-in macro's scenario suite,
# `module`, the page's module, or `runtime`, the interpreter's random-image
# checks.  Skipped (77) with a word when emscripten
# or the web build is missing.
set -uo pipefail
src=$1
what=${2:-scenarios}
case $what in
  scenarios) core=$src/build-web/core/qmt_web_scenarios.js ;;
  module) core=$src/build-web/core/qmt_web.js ;;
  runtime) core=$src/build-web/core/qmt_web_runtime_tests.js ;;
esac
if [ ! -f "$core" ]; then
  if ! command -v emcmake >/dev/null; then
    echo "skipped: emscripten is not installed (scripts/install-deps.sh installs it)"
  else
    echo "skipped: the web build is missing; scripts/build-web.sh makes it"
  fi
  exit 77
fi
if [ "$what" = runtime ]; then
  exec timeout 300 node --no-experimental-fetch "$core"
fi
if [ "$what" = module ]; then
  exec timeout 300 node --no-experimental-fetch "$src/tests/web/module_test.js" "$core" "$src/src/web/qmt_web.h"
fi
exec timeout 600 node --no-experimental-fetch "$core" "$src/tests/scenarios"
