#!/bin/sh
# run.sh QMT WORKDIR SOURCEDIR: installs the protocol client into WORKDIR when
# it is missing or the lock file changed, then runs the client tests.
set -eu
qmt=$1
work=$2
src=$3
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: node and npm are needed to drive qmt lsp (scripts/install-deps.sh installs them)"
  exit 77
fi
mkdir -p "$work"
if [ ! -d "$work/node_modules/vscode-languageserver-protocol" ] ||
   ! cmp -s "$src/package-lock.json" "$work/package-lock.json"; then
  cp "$src/package.json" "$src/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi
export NODE_PATH="$work/node_modules"
export QMT="$qmt"
exec node --test "$src/lsp.test.js"
