#!/usr/bin/env bash
# Builds the user's manual as HTML, with an offline full-text search that
# finds Japanese words, from the Markdown under docs/ (Sphinx and MyST:
# Debian's python3-sphinx and python3-myst-parser, which
# scripts/install-deps.sh installs).
#   scripts/build-manual.sh [OUT]     OUT defaults to build/manual-html
# The start page is OUT/index.html; the last line printed is its path.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/manual-html}
if ! command -v sphinx-build >/dev/null 2>&1; then
  echo "sphinx-build is missing: ./scripts/install-deps.sh installs python3-sphinx and python3-myst-parser" >&2
  exit 1
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
# A fresh build each time into a folder beside OUT, moved into place only
# when it succeeded, so a failed build never leaves half a manual behind.
work=$(mktemp -d "$out.tmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
sphinx-build -q -E -b html -d "$work/doctrees" docs "$work/html"
# The manual's contents page is manual/README.html; index.html leads there.
cat > "$work/html/index.html" <<'HTML'
<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<meta http-equiv="refresh" content="0; url=manual/README.html">
<title>QMT3308 シミュレータ 利用者の手引き</title>
</head>
<body><p><a href="manual/README.html">QMT3308 シミュレータ 利用者の手引き</a></p></body>
</html>
HTML
rm -f "$work/html/.buildinfo"
rm -rf "$out.old"
mv "$out" "$out.old"
mv "$work/html" "$out"
rm -rf "$out.old"
echo "$out/index.html"
