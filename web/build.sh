#!/usr/bin/env bash
# The page's half of the web build (scripts/build-web.sh calls it after the
# core): installs the npm packages of web/package-lock.json when they are
# missing or the lock file changed, type-checks the page and bundles it with
# the core into the site folder.
#   web/build.sh CORE_DIR SITE_DIR
set -euo pipefail
core=$(realpath "$1")
site=$(realpath -m "$2")
cd "$(dirname "$0")"
command -v npm >/dev/null 2>&1 || { echo "npm is needed (scripts/install-deps.sh installs it)" >&2; exit 1; }
if ! cmp -s package-lock.json node_modules/.qmt-lock.json; then
  npm ci --no-audit --no-fund --loglevel=error >&2
  cp package-lock.json node_modules/.qmt-lock.json
fi
node_modules/.bin/tsc -p .
node build.mjs "$core" "$site"
