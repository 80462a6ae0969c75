#!/usr/bin/env bash
# Builds the Debian packages of this checkout, as `dpkg-buildpackage -us -uc -b`
# would in it, but in a copy of the checkout's files (tracked and new ones,
# not ignored ones such as build/), so that the checkout stays clean:
#   scripts/build-deb.sh OUT_DIR [dpkg-buildpackage options...]
# The .deb files, the .buildinfo and .changes and the build log land in
# OUT_DIR.  The whole project is compiled (no test suite): on a small machine
# this takes a while.  `-Ppkg.qmt3308.vsix` also builds the editor
# extension, which needs npm and the npm registry.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: build-deb.sh OUT_DIR [dpkg-buildpackage options]}
shift
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The copy is built in one fixed folder, so that a compiler cache finds
# what an earlier build compiled there (the packages name no build folder:
# the compiler maps it away); a lock keeps two builds out of each other's way.
work=${TMPDIR:-/tmp}/qmt3308-deb-$(id -u)
mkdir -p "$work"
exec 9>"$work.lock"
flock 9
rm -rf "${work:?}"/*
trap 'rm -rf "${work:?}"/*' EXIT
mkdir "$work/qmt3308"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
  tar --null -T - -cf -) | tar -x -C "$work/qmt3308"
# A compiler cache the caller uses is kept (debhelper gives the build a
# HOME of its own, where the cache would start empty).
if command -v ccache >/dev/null && [ -z "${CCACHE_DIR:-}" ]; then
  export CCACHE_DIR=$(ccache -k cache_dir 2>/dev/null || echo "$HOME/.cache/ccache")
fi
cd "$work/qmt3308"
if ! dpkg-buildpackage -us -uc -b "$@" >"$out/build.log" 2>&1; then
  tail -40 "$out/build.log" >&2
  echo "dpkg-buildpackage failed; the log is $out/build.log" >&2
  exit 1
fi
cp "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes "$out"/
ls "$out"/*.deb
