#!/bin/sh
# run.sh QMT SOURCEDIR: builds the web site (scripts/build-web.sh: the core,
# then the page) and drives the page in headless chromium.
set -eu
qmt=$1
src=$2
for tool in node npm emcc; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIPPED: $tool is needed for the web build (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
chromium=${QMT_CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "SKIPPED: $chromium is needed to drive the page (scripts/install-deps.sh installs chromium)"
  exit 77
fi
"$src/scripts/build-web.sh" >&2
export QMT="$qmt" QMT_SITE="$src/build-web/site" QMT_CHROMIUM="$chromium"
export QMT_WEB_MODULES="$src/web/node_modules"
exec node --test --test-timeout=300000 "$src/tests/web_page/page.test.mjs"
