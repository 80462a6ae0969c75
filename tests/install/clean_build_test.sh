#!/usr/bin/env bash
# The Debian packages built on a clean Debian 12 system that has nothing but
# the build essentials and the Build-Depends of debian/control: debootstrap
# makes the system in a folder, apt installs the Build-Depends there, and
# dpkg-buildpackage runs in it with no network (unshare -n), so a dependency
# that debian/control forgets, or a download during the build, fails here.
# The packages built are then checked by package_test.sh --debs (lintian,
# install into a scratch root, run, remove).
#   tests/install/clean_build_test.sh [--keep DIR] [--mirror URL]
# Needs root (debootstrap, chroot, unshare) and the Debian mirror for the
# system and the Build-Depends; slow: it compiles the whole project without
# a compiler cache (about an hour on two busy cores).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
keep="" mirror=http://deb.debian.org/debian
while [ $# -gt 0 ]; do
  case $1 in
    --keep) keep=$2; shift ;;
    --mirror) mirror=$2; shift ;;
    *) echo "usage: clean_build_test.sh [--keep DIR] [--mirror URL]" >&2; exit 2 ;;
  esac
  shift
done
[ "$(id -u)" = 0 ] || { echo "needs root (debootstrap, chroot): skipped"; exit 77; }
for tool in debootstrap unshare chroot; do
  command -v $tool >/dev/null || { echo "$tool missing (apt-get install debootstrap): skipped"; exit 77; }
done

scratch=$(mktemp -d /var/tmp/qmt-clean-build.XXXXXX)
[ -n "$keep" ] && scratch=$(mkdir -p "$keep" && cd "$keep" && pwd)
sys=$scratch/bookworm
cleanup() {
  umount "$sys/proc" 2>/dev/null
  [ -z "$keep" ] && rm -rf "$scratch"
}
trap cleanup EXIT

echo "== a clean Debian 12 system in $sys"
if [ ! -x "$sys/usr/bin/dpkg-buildpackage" ]; then
  debootstrap --variant=buildd bookworm "$sys" "$mirror" >"$scratch/debootstrap.log" 2>&1 ||
    { tail -20 "$scratch/debootstrap.log"; echo "FAIL: debootstrap"; exit 1; }
fi
cp /etc/resolv.conf "$sys/etc/resolv.conf"
mountpoint -q "$sys/proc" || mount -t proc proc "$sys/proc"

echo "== the checkout's files, as the source package holds them"
rm -rf "$sys/build" && mkdir -p "$sys/build/qmt3308"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh | tar --null -T - -cf -) |
  tar -x -C "$sys/build/qmt3308"

echo "== the Build-Depends, and nothing else"
chroot "$sys" sh -c 'apt-get update -q && cd /build/qmt3308 &&
  DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -q ./' >"$scratch/build-dep.log" 2>&1 ||
  { tail -20 "$scratch/build-dep.log"; echo "FAIL: apt-get build-dep"; exit 1; }

echo "== dpkg-buildpackage without a network"
jobs=$(nproc)
unshare -n chroot "$sys" sh -c "cd /build/qmt3308 && DEB_BUILD_OPTIONS=parallel=$jobs dpkg-buildpackage -us -uc -b" \
  >"$scratch/build.log" 2>&1 || { tail -40 "$scratch/build.log"; echo "FAIL: the package build (log: $scratch/build.log)"; exit 1; }
mkdir -p "$scratch/debs" && cp "$sys"/build/*.deb "$scratch/debs/"

echo "== the packages it built"
"$here/package_test.sh" --debs "$scratch/debs"
