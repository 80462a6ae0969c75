#!/usr/bin/env bash
# Builds the VS Code extension (editors/vscode) into a .vsix: installs its npm
# packages from the lock file, bundles it with esbuild and packages it with
# @vscode/vsce.  The work happens in a staging folder (first argument, or
# build/vsix), the source folder stays clean.  The last line printed is the
# path of the .vsix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stage=${1:-$root/build/vsix}
command -v npm >/dev/null 2>&1 || { echo "npm is needed (scripts/install-deps.sh installs it)" >&2; exit 1; }
mkdir -p "$stage"
stage=$(cd "$stage" && pwd)
# Copy the extension's own files; keep node_modules when the lock file is the same.
if [ ! -d "$stage/node_modules" ] || ! cmp -s "$root/editors/vscode/package-lock.json" "$stage/package-lock.json"; then
  rm -rf "$stage/node_modules"
  cp "$root/editors/vscode/package.json" "$root/editors/vscode/package-lock.json" "$stage/"
  (cd "$stage" && npm ci --no-audit --no-fund --loglevel=error >&2)
fi
# Nothing of an earlier build stays but the installed packages.
find "$stage" -mindepth 1 -maxdepth 1 ! -name node_modules ! -name package-lock.json -exec rm -rf {} +
cp -R "$root/editors/vscode/." "$stage/"
cp "$root/LICENSE" "$stage/LICENSE"
(cd "$stage" && npm run --silent bundle >&2)
version=$(cd "$stage" && node -p "require('./package.json').version")
out="$stage/qmt3308-macro-$version.vsix"
(cd "$stage" && npx --no-install vsce package --no-dependencies --allow-missing-repository -o "$out" >&2 </dev/null)
echo "$out"
