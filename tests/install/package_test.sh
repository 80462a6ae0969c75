#!/usr/bin/env bash
# The Debian packages as a user gets them: built with dpkg-buildpackage from
# a copy of the checkout, checked by lintian, installed with dpkg into a
# scratch root (nothing is installed on this machine), run from there, and
# removed again.  With --twice, a second build with the same
# SOURCE_DATE_EPOCH (dpkg-buildpackage takes it from debian/changelog) must
# give byte-identical packages.
#   tests/install/package_test.sh [--twice] [--keep DIR] [--debs DIR]
# --debs DIR checks packages built before (scripts/build-deb.sh DIR) instead
# of building them.
# Slow: it compiles the whole project once (twice with --twice; a compiler
# cache makes the second build quicker, so the check then covers what the
# packaging adds: file order, times, compression).  That the packages do not
# depend on the folder they were built in shows clean_build_test.sh, whose
# packages are built elsewhere and equal these of the same commit.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
twice=0 keep="" prebuilt=""
while [ $# -gt 0 ]; do
  case $1 in
    --twice) twice=1 ;;
    --keep) keep=$2; shift ;;
    --debs) prebuilt=$(cd "$2" && pwd); shift ;;
    *) echo "usage: package_test.sh [--twice] [--keep DIR] [--debs DIR]" >&2; exit 2 ;;
  esac
  shift
done
for tool in dpkg-buildpackage dpkg-checkbuilddeps lintian; do
  command -v $tool >/dev/null || { echo "$tool missing (scripts/install-deps.sh installs it): skipped"; exit 77; }
done

scratch=$(mktemp -d)
[ -n "$keep" ] && scratch=$(mkdir -p "$keep" && cd "$keep" && pwd)
[ -z "$keep" ] && trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$root" && dpkg-checkbuilddeps) || { echo "FAIL: Build-Depends not installed"; exit 1; }
version=$(cd "$root" && dpkg-parsechangelog -S Version)
if [ -n "$prebuilt" ]; then
  mkdir -p "$scratch/out" && cp "$prebuilt"/*.deb "$scratch/out/"
else
  echo "== building the packages of $version"
  "$root/scripts/build-deb.sh" "$scratch/out" >/dev/null || exit 1
fi
debs=("$scratch"/out/*.deb)
for p in qmt3308-cli qmt3308 qmt3308-doc qmt3308-cli-dbgsym qmt3308-dbgsym; do
  ls "$scratch/out/${p}_${version}_"*.deb >/dev/null 2>&1 || fail "no package $p"
done

echo "== lintian"
# Every binary package, and the source package (built here the way
# dpkg-buildpackage -S would, without signing).
(cd "$scratch/out" && mkdir -p src && cd src && mkdir qmt3308 &&
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh | tar --null -T - -cf -) |
    tar -x -C qmt3308 && dpkg-source -b qmt3308 >/dev/null) || fail "dpkg-source -b failed"
lintian_out=$(lintian -EvIL +pedantic --tag-display-limit 0 "${debs[@]}" "$scratch"/out/src/*.dsc 2>&1)
bad=$(grep -E '^[EWIPX]: ' <<<"$lintian_out")
[ -z "$bad" ] || fail "lintian: $bad"

echo "== what each package holds"
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
cli=$(ls "$scratch"/out/qmt3308-cli_*.deb) sim=$(ls "$scratch"/out/qmt3308_*.deb)
grep -qx /usr/bin/qmt <(contents "$cli") || fail "qmt3308-cli lacks qmt"
grep -q qmtsim <(contents "$cli") && fail "qmt3308-cli holds qmtsim's files"
depends=$(dpkg-deb -f "$cli" Depends)
grep -qiE 'qt6|libqscintilla|libgl' <<<"$depends" && fail "qmt3308-cli depends on Qt: $depends"
for lib in libc6 libstdc++6 libpng16-16; do
  [[ $depends == *"$lib"* ]] || fail "qmt3308-cli's Depends lack $lib: $depends"
done
# The device's glyphs are built in: neither FreeType nor the fonts are needed to run.
grep -qE 'libfreetype|fonts-' <<<"$depends" && fail "qmt3308-cli depends on fonts: $depends"
depends=$(dpkg-deb -f "$sim" Depends)
for lib in "qmt3308-cli (= $version)" libqt6widgets6 libqscintilla2-qt6; do
  [[ $depends == *"$lib"* ]] || fail "qmt3308's Depends lack $lib: $depends"
done
for f in /usr/bin/qmtsim /usr/share/applications/qmtsim.desktop /usr/share/mime/packages/qmt3308.xml \
         /usr/share/icons/hicolor/scalable/apps/qmtsim.svg /usr/share/man/man1/qmtsim.1.gz; do
  grep -qx "$f" <(contents "$sim") || fail "qmt3308 lacks $f"
done
grep -q '^/usr/share/metainfo/.*\.metainfo\.xml$' <(contents "$sim") || fail "qmt3308 has no metainfo"
dbg=$(ls "$scratch"/out/qmt3308-cli-dbgsym_*.deb)
dpkg-deb --fsys-tarfile "$cli" | tar -xO ./usr/bin/qmt >"$scratch/qmt.bin"
id=$(readelf -n "$scratch/qmt.bin" | awk '/Build ID/ {print $3}')
[ -n "$id" ] && grep -q "/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" <(contents "$dbg") ||
  fail "qmt3308-cli-dbgsym lacks the symbols of qmt (build id '$id')"
readelf -S "$scratch/qmt.bin" | grep -q '\.debug_info' && fail "qmt is not stripped"
# Hardening: bound at load (-z now), read-only relocations, position-independent.
readelf -d "$scratch/qmt.bin" | grep -q 'FLAGS.*\bNOW\b' || fail "qmt is not linked with -z now"
readelf -l "$scratch/qmt.bin" | grep -q GNU_RELRO || fail "qmt has no RELRO segment"
readelf -h "$scratch/qmt.bin" | grep -q 'DYN (' || fail "qmt is not position-independent"

echo "== installed into a scratch root"
inst=$scratch/root
mkdir -p "$inst/var/lib/dpkg/updates" "$inst/var/lib/dpkg/info"
touch "$inst/var/lib/dpkg/status"
# Only the programs' packages: the libraries they link are this machine's.
dpkg --root="$inst" --force-depends --force-not-root --log=/dev/null -i \
  "$cli" "$sim" "$(ls "$scratch"/out/qmt3308-doc_*.deb)" >"$scratch/dpkg.log" 2>&1 ||
  fail "dpkg -i into the scratch root: $(cat "$scratch/dpkg.log")"
mkdir -p "$scratch/home" "$scratch/work"
cd "$scratch/work" || exit 1
run() { env -u LD_LIBRARY_PATH -u XDG_CONFIG_HOME HOME="$scratch/home" "$@"; }
out=$(run "$inst/usr/bin/qmt" --version) || fail "qmt --version failed"
[[ $out == "qmt ${version%%-*}"* ]] || fail "qmt --version printed '$out'"
run "$inst/usr/bin/qmt" run --png "$scratch/a.png" 2>"$scratch/run.err" || fail "qmt run failed: $(cat "$scratch/run.err")"
[ "$(head -c 8 "$scratch/a.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "qmt run --png wrote no PNG"
grep -q "note: .*kept in $scratch/home/.config/qmt3308, since the program is installed" "$scratch/run.err" ||
  fail "the first start did not say where the files are: $(cat "$scratch/run.err")"
QT_QPA_PLATFORM=offscreen timeout 120 env -u LD_LIBRARY_PATH HOME="$scratch/home" \
  "$inst/usr/bin/qmtsim" --screenshot "$scratch/window.png" 2>"$scratch/sim.err" || fail "qmtsim failed: $(cat "$scratch/sim.err")"
[ -s "$scratch/window.png" ] || fail "qmtsim left no screenshot"
zcat "$inst/usr/share/man/man1/qmt.1.gz" | grep -q '^\.TH QMT 1 "[0-9-]*"' || fail "man qmt has no date"

echo "== removed"
dpkg --root="$inst" --force-depends --force-not-root --log=/dev/null --purge qmt3308-doc qmt3308 qmt3308-cli \
  >"$scratch/purge.log" 2>&1 || fail "dpkg --purge: $(cat "$scratch/purge.log")"
left=$(cd "$inst" && find usr -mindepth 0 2>/dev/null)
[ -z "$left" ] || fail "removing the packages left under /usr: $left"

if [ "$twice" = 1 ]; then
  echo "== built again: the same bytes"
  "$root/scripts/build-deb.sh" "$scratch/again" >/dev/null || exit 1
  for deb in "${debs[@]}"; do
    other=$scratch/again/$(basename "$deb")
    if ! cmp -s "$deb" "$other"; then
      fail "$(basename "$deb") differs between two builds: $(diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$other") | head -5)"
    fi
  done
fi

[ "$failures" -eq 0 ] && echo "the packages build, pass lintian, install, run and remove cleanly"
exit $((failures > 0))
