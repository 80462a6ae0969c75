#!/usr/bin/env bash
# The Debian package as a user gets it: built with cpack from the build
# folder, its dependencies read from the binaries, unpacked into a scratch
# root (nothing is installed on this machine) and run from there.
#   package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
command -v dpkg-deb >/dev/null && command -v cpack >/dev/null || { echo "dpkg-deb or cpack missing: skipped"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
deb=$(ls "$scratch"/out/*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

depends=$(dpkg-deb -f "$deb" Depends)
# The device's glyphs are built in: FreeType is a build-time tool only.
for lib in libc6 libstdc++6 libqt6widgets6 libqscintilla2-qt6 libpng16-16 fonts-ipafont-gothic; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/qmt usr/bin/qmtsim usr/share/man/man1/qmt.1.gz usr/share/man/man1/qmtsim.1.gz \
         usr/share/applications/qmtsim.desktop usr/share/mime/packages/qmt3308.xml \
         usr/share/icons/hicolor/scalable/apps/qmtsim.svg usr/share/icons/hicolor/48x48/apps/qmtsim.png \
         usr/share/bash-completion/completions/qmt usr/share/zsh/vendor-completions/_qmt \
         usr/share/doc/qmt3308/copyright usr/share/doc/qmt3308/README.md usr/share/doc/qmt3308/font-licences.txt; do
  [ -e "$root/$f" ] || fail "the package lacks /$f"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/qmtsim.desktop" || fail "the desktop entry is not valid"
fi

# The programs run from the scratch root with nothing of the build around
# them, as a user with a home of their own.
mkdir -p "$scratch/home" "$scratch/work"
cd "$scratch/work" || exit 1
run() { env -u LD_LIBRARY_PATH -u XDG_CONFIG_HOME HOME="$scratch/home" "$@"; }
out=$(run "$root/usr/bin/qmt" --version) || fail "qmt --version failed"
[[ $out == "qmt $version"* ]] || fail "qmt --version printed '$out'"
run "$root/usr/bin/qmt" run --png "$scratch/a.png" 2>"$scratch/run.err" || fail "qmt run failed: $(cat "$scratch/run.err")"
[ "$(head -c 8 "$scratch/a.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "qmt run --png wrote no PNG"
# Installed, the program keeps its files in the configuration folder (even
# though this root could write the scratch bin folder) and says so once.
grep -q "note: .*kept in $scratch/home/.config/qmt3308, since the program is installed" "$scratch/run.err" ||
  fail "the first start did not say where the files are: $(cat "$scratch/run.err")"
[ -d "$scratch/home/.config/qmt3308" ] || fail "the first start made no configuration folder"
run "$root/usr/bin/qmt" run --png "$scratch/b.png" 2>"$scratch/run2.err" || fail "the second qmt run failed"
[ -s "$scratch/run2.err" ] && fail "the second start is not quiet: $(cat "$scratch/run2.err")"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$scratch/home" "$root/usr/bin/qmtsim" --version) ||
  fail "qmtsim --version without a display failed"
[[ $out == "qmtsim $version"* ]] || fail "qmtsim --version printed '$out'"
QT_QPA_PLATFORM=offscreen timeout 60 env -u LD_LIBRARY_PATH HOME="$scratch/home" \
  "$root/usr/bin/qmtsim" --screenshot "$scratch/window.png" 2>"$scratch/sim.err" || fail "qmtsim failed: $(cat "$scratch/sim.err")"
[ -s "$scratch/window.png" ] || fail "qmtsim left no screenshot"
extra=$(ls "$root/usr/bin" | grep -vx -e qmt -e qmtsim)
[ -z "$extra" ] || fail "the programs wrote beside themselves: $extra"

# A prefix that cannot be written: the installer says so and fails.
if cmake --install "$build" --prefix /proc/qmt3308-prefix >"$scratch/install.log" 2>&1; then
  fail "cmake --install into /proc succeeded"
elif ! grep -q "/proc/qmt3308-prefix" "$scratch/install.log"; then
  fail "the failed install does not name the prefix: $(cat "$scratch/install.log")"
fi

[ "$failures" -eq 0 ] && echo "the package installs and runs"
exit $((failures > 0))
