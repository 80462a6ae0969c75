#!/usr/bin/env bash
# A source install and its uninstall, in the build folder that also made a
# package: the package build's staged install (DESTDIR, as cpack and
# dpkg-buildpackage do) rewrites build/install_manifest.txt with /usr paths,
# and the uninstall must still remove only what the source install put into
# its prefix: not the staged files, not a file changed since, not a file it
# never installed.
#   uninstall_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
prefix=$scratch/prefix stage=$scratch/stage
record=$prefix/share/qmt3308/install-record.txt

# Someone else's files in the prefix, there before the install.
mkdir -p "$prefix/bin" "$prefix/share/applications"
echo other >"$prefix/bin/other-tool"
echo "[Desktop Entry]" >"$prefix/share/applications/other.desktop"

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 || fail "install: $(cat "$scratch/install.log")"
[ -x "$prefix/bin/qmt" ] || fail "the install put no qmt into the prefix"
[ -f "$record" ] || fail "the install kept no record"
grep -q "uninstall.cmake" "$scratch/install.log" || fail "the install does not say how to undo it"
# The package build's staged install, from the same build folder.
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$scratch/stage.log" 2>&1 || fail "staged install: $(cat "$scratch/stage.log")"
grep -qx "/usr/bin/qmt" "$build/install_manifest.txt" || fail "the staged install did not rewrite install_manifest.txt with /usr paths"
[ -e "$stage/usr/share/qmt3308/install-record.txt" ] && fail "the staged install kept a record, which a package would ship"
grep -q "$stage" "$record" && fail "the staged install went into the source install's record"

# The caches of the prefix were refreshed where the tools are.
if command -v update-mime-database >/dev/null && [ -d "$prefix/share/mime/packages" ]; then
  grep -q 'text/x-qmt-macro' "$prefix/share/mime/globs2" 2>/dev/null || fail "the MIME cache of the prefix was not refreshed"
fi

# A file replaced since the install (by hand, by a package) stays.
echo changed >"$prefix/share/bash-completion/completions/qmt"
cmake -P "$prefix/share/qmt3308/uninstall.cmake" >"$scratch/uninstall.log" 2>&1 ||
  fail "uninstall: $(cat "$scratch/uninstall.log")"
grep -q "Kept (changed since the install): $prefix/share/bash-completion/completions/qmt" "$scratch/uninstall.log" ||
  fail "the uninstall did not name the changed file: $(cat "$scratch/uninstall.log")"
[ "$(cat "$prefix/share/bash-completion/completions/qmt" 2>/dev/null)" = changed ] || fail "the uninstall removed a changed file"
# The folders the install made that the kept file holds on to are named.
for dir in share/bash-completion/completions share/bash-completion; do
  grep -qx -- "-- Kept (a folder the install made, not empty): $prefix/$dir" "$scratch/uninstall.log" ||
    fail "the uninstall did not name the folder $dir it left: $(cat "$scratch/uninstall.log")"
done
grep -q "not empty): $prefix/bin$" "$scratch/uninstall.log" && fail "the uninstall named bin, which it did not make"
[ -f "$prefix/bin/other-tool" ] && [ -f "$prefix/share/applications/other.desktop" ] ||
  fail "the uninstall removed files it did not install"
[ -d "$prefix/bin" ] || fail "the uninstall removed bin, which was there before"
[ -x "$stage/usr/bin/qmt" ] || fail "the uninstall removed a staged file"
left=$(cd "$prefix" && find . -type f ! -path ./bin/other-tool ! -path ./share/applications/other.desktop \
  ! -path ./share/bash-completion/completions/qmt ! -name mimeinfo.cache)
[ -z "$left" ] || fail "the uninstall left: $left"
left=$(cd "$prefix" && find . -type d -empty)
[ -z "$left" ] || fail "the uninstall left empty folders it made: $left"

# Once undone, there is no record to undo again.
out=$(cmake -DRECORD="$record" -P "$(dirname "$0")/../../cmake/QmtUninstall.cmake" 2>&1) &&
  fail "an uninstall without a record succeeded"
grep -q "No install record at" <<<"$out" || fail "an uninstall without a record says: $out"

# A prefix that cannot be written: the installer says so and fails.
if cmake --install "$build" --prefix /proc/qmt3308-prefix >"$scratch/proc.log" 2>&1; then
  fail "cmake --install into /proc succeeded"
elif ! grep -q "/proc/qmt3308-prefix" "$scratch/proc.log"; then
  fail "the failed install does not name the prefix: $(cat "$scratch/proc.log")"
fi

[ "$failures" -eq 0 ] && echo "the uninstall removes what the source install put there, and nothing else"
exit $((failures > 0))
