#!/bin/sh
# run.sh QMT SOURCEDIR: drives the web site that scripts/build-web.sh built
# (build-web/site/, with the page's npm packages in web/node_modules) in
# headless chromium.  Skipped (77) with a word when something is missing.
set -eu
qmt=$1
src=$2
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: node is needed (scripts/install-deps.sh installs it)"
  exit 77
fi
chromium=${QMT_CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "SKIPPED: $chromium is needed to drive the page (scripts/install-deps.sh installs chromium)"
  exit 77
fi
if [ ! -f "$src/build-web/site/qmtsim.html" ] || [ ! -d "$src/web/node_modules/playwright-core" ]; then
  echo "SKIPPED: the web build is missing; scripts/build-web.sh makes it"
  exit 77
fi
export QMT="$qmt" QMT_SITE="$src/build-web/site" QMT_CHROMIUM="$chromium"
export QMT_WEB_MODULES="$src/web/node_modules"
exec node --test --test-timeout=600000 "$src/tests/web_page/page.test.mjs"
