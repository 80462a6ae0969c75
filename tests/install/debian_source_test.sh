#!/usr/bin/env bash
# The Debian source package: built from the checkout's files as
# dpkg-buildpackage -S would (unsigned), lintian-clean, its changelog at the
# project's version, and the maintainer's address in control and changelog
# the same.  The binary packages are checked by package_test.sh, which
# compiles everything and so is not run here.
#   debian_source_test.sh SOURCE_DIR VERSION
set -uo pipefail
src=$(cd "$1" && pwd) version=$2
for tool in dpkg-source lintian dpkg-parsechangelog; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cd "$src" || exit 1
[ "$(dpkg-parsechangelog -S Version)" = "$version" ] ||
  fail "debian/changelog is at $(dpkg-parsechangelog -S Version), the project at $version"
maintainer=$(sed -n 's/^Maintainer: //p' debian/control)
[ "$(dpkg-parsechangelog -S Maintainer)" = "$maintainer" ] ||
  fail "the changelog's last entry is by '$(dpkg-parsechangelog -S Maintainer)', debian/control names '$maintainer'"

mkdir "$scratch/qmt3308"
git ls-files -z --cached --others --exclude-standard |
  xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
  tar --null -T - -cf - | tar -x -C "$scratch/qmt3308"
(cd "$scratch" && dpkg-source -b qmt3308 >"$scratch/source.log" 2>&1) || fail "dpkg-source -b: $(cat "$scratch/source.log")"
dsc=$(ls "$scratch"/*.dsc 2>/dev/null)
if [ -n "$dsc" ]; then
  out=$(lintian -EvIL +pedantic --tag-display-limit 0 "$dsc" 2>&1)
  bad=$(grep -E '^[EWIPX]: ' <<<"$out")
  [ -z "$bad" ] || fail "lintian on the source package: $bad"
fi

[ "$failures" -eq 0 ] && echo "the source package is lintian-clean and at version $version"
exit $((failures > 0))
