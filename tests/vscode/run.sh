#!/bin/sh
# run.sh SOURCEDIR WORKDIR: builds the VS Code extension with
# scripts/build-vsix.sh into WORKDIR (its npm packages from the lock file),
# checks the .vsix holds the extension, and runs the TextMate grammar test on
# the sample macros (converted from code page 932 first).
set -eu
src=$1
work=$2
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: node and npm are needed to build the extension (scripts/install-deps.sh installs them)"
  exit 77
fi
vsix=$("$src/scripts/build-vsix.sh" "$work" | tail -n 1)
test -f "$vsix" || { echo "no .vsix at $vsix"; exit 1; }
for f in extension/package.json extension/dist/extension.js extension/syntaxes/qmt-macro.tmLanguage.json ; do
  unzip -l "$vsix" | grep -q " $f\$" || { echo "$f missing from $vsix"; exit 1; }
done
# The debugger starts qmt itself (no shell script, which Windows could not run).
if unzip -l "$vsix" | grep -q "qmt-dap"; then echo "a shell script for the debugger is in $vsix"; exit 1; fi
cd "$work"
# The samples are macro files as the editor opens them (code page 932, CR LF);
# the grammar test reads UTF-8, so it gets a converted copy.
rm -rf grammar-tests
mkdir grammar-tests
for f in "$src"/editors/vscode/tests/*.mac; do
  iconv -f CP932 -t UTF-8 "$f" | tr -d '\r' > "grammar-tests/$(basename "$f")"
done
exec npx --no-install vscode-tmgrammar-test -g "$src/editors/vscode/syntaxes/qmt-macro.tmLanguage.json" "grammar-tests/*.mac"
