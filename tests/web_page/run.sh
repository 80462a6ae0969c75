#!/bin/sh
# run.sh QMT SOURCEDIR BUILDDIR: builds the web site (scripts/build-web.sh:
# the core with BUILDDIR's host tools, then the page) and drives the page in
# headless chromium.
set -eu
qmt=$1
src=$2
build=$3
for tool in node npm emcc; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIPPED: $tool is needed for the web build (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
if [ ! -x "$src/scripts/build-web.sh" ]; then
  echo "SKIPPED: scripts/build-web.sh is not in this checkout"
  exit 77
fi
chromium=${QMT_CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "SKIPPED: $chromium is needed to drive the page (scripts/install-deps.sh installs chromium)"
  exit 77
fi
QMT_NATIVE_BUILD="$build" "$src/scripts/build-web.sh" >&2
export QMT="$qmt" QMT_SITE="$src/build-web/site" QMT_CHROMIUM="$chromium"
export QMT_WEB_MODULES="$src/web/node_modules"
exec node --test --test-timeout=300000 "$src/tests/web_page/page.test.mjs"
