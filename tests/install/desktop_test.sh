#!/usr/bin/env bash
# What the desktop reads of the window's package: the AppStream metainfo
# (validated as software centres and Debian's tools do), the desktop entry,
# and the macro file type, which must win over text/plain's *.txt.
#   desktop_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$(cd "$1" && pwd) build=$(cd "$2" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

metainfo=$(ls "$build"/packaging/*.metainfo.xml 2>/dev/null | head -1)
if [ -z "$metainfo" ]; then
  fail "no metainfo in $build/packaging"
elif command -v appstreamcli >/dev/null; then
  out=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  grep -qE '^[EWI]: ' <<<"$out" && fail "appstreamcli validate --pedantic: $out"
  grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no screenshot"
  grep -q "<release version=\"$(sed -n '1s/^qmt3308 (\([^)]*\)).*/\1/p' "$src/debian/changelog")\"" "$metainfo" ||
    fail "the metainfo's release is not the changelog's version"
fi
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$src/packaging/qmtsim.desktop" 2>&1) || fail "desktop-file-validate: $out"
fi

# The file type, in a data folder of its own beside the system's types:
# shared-mime-info's cache (what GLib, Qt and xdg-mime read) ranks the macro
# glob above *.txt, and GLib's lookup names the macro type.
if command -v update-mime-database >/dev/null && [ -f /usr/share/mime/packages/freedesktop.org.xml ]; then
  mkdir -p "$scratch/share/mime/packages"
  cp /usr/share/mime/packages/freedesktop.org.xml "$scratch/share/mime/packages/"
  cp "$src/packaging/qmt3308-mime.xml" "$scratch/share/mime/packages/qmt3308.xml"
  update-mime-database "$scratch/share/mime" || fail "update-mime-database refused the type"
  ours=$(grep ':text/x-qmt-macro:\*macro\.txt' "$scratch/share/mime/globs2" | cut -d: -f1)
  plain=$(grep ':text/plain:\*\.txt$' "$scratch/share/mime/globs2" | cut -d: -f1)
  [ -n "$ours" ] && [ -n "$plain" ] && [ "$ours" -gt "$plain" ] ||
    fail "the macro glob (weight '$ours') does not outweigh *.txt ('$plain')"
  if command -v gio >/dev/null; then
    mkdir -p "$scratch/files"
    for name in qmtsimMacro.txt pump_macro.txt notes.txt; do printf 'x\r\n' >"$scratch/files/$name"; done
    for case in qmtsimMacro.txt:text/x-qmt-macro pump_macro.txt:text/x-qmt-macro notes.txt:text/plain; do
      got=$(XDG_DATA_HOME="$scratch/share" XDG_DATA_DIRS="$scratch/share" gio info -a standard::content-type \
        "$scratch/files/${case%%:*}" 2>&1 | sed -n 's/.*standard::content-type: //p')
      [ "$got" = "${case#*:}" ] || fail "GLib types ${case%%:*} as '$got', not ${case#*:}"
    done
  fi
fi

[ "$failures" -eq 0 ] && echo "metainfo, desktop entry and file type are what the desktop expects"
exit $((failures > 0))
