#!/bin/sh
# run.sh QMT SUITE WORKDIR: makes an HTML report of a run with failures,
# installs playwright-core into WORKDIR when missing or the lock file
# changed, and opens the report in Debian's Chromium, headless.
set -eu
qmt=$1
suite=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: node and npm are needed (scripts/install-deps.sh installs them)"
  exit 77
fi
chromium=${QMT_CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "SKIPPED: no Chromium at $chromium (scripts/install-deps.sh installs Debian's chromium)"
  exit 77
fi
mkdir -p "$work"
if [ ! -d "$work/node_modules/playwright-core" ] || ! cmp -s "$here/package-lock.json" "$work/package-lock.json"; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi

# A run with two failed screen checks (one a single pixel), a failed lines
# check and a pass; names that need escaping in a URL and in HTML.
rm -rf "$work/s" "$work/report"
mkdir -p "$work/s/a b"
cp "$suite/screen-b.scn" "$suite/screen-b.png" "$suite/screen-b-back-to-a.png" "$work/s/"
cp "$suite/start-up.png" "$work/s/a b/x&y.png"
printf 'key 取扱\nexpect screen x&y.png\n' >"$work/s/a b/screen <1>.scn"
printf 'tick 1\nexpect line CS00\nexpect line ER\n' >"$work/s/lines.scn"
# A page that differs from its baseline in one pixel, at (123, 45).
cp "$suite/start-up.png" "$work/s/dot.png"
python3 "$here/one_pixel.py" "$work/s/dot.png" 123 45
printf 'expect screen dot.png\n' >"$work/s/dot.scn"
status=0
"$qmt" test "$work/s" --html "$work/report" --junit "$work/report.xml" >"$work/out" 2>&1 || status=$?
[ "$status" = 1 ] || { cat "$work/out"; echo "qmt test gave $status, not 1"; exit 1; }
grep -q 'index.html#case-1' "$work/report.xml" || { cat "$work/report.xml"; echo "JUnit report without links"; exit 1; }

export NODE_PATH="$work/node_modules"
export QMT_REPORT="$work/report/index.html"
export QMT_CHROMIUM="$chromium"
exec node --test --test-timeout=240000 "$here/report.test.js"
