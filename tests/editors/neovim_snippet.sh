#!/usr/bin/env bash
# The Neovim snippet of the debugging guide: a macro file reads as code page
# 932 with the macro file type, and a UTF-8 file opened after it still reads
# as UTF-8 and is saved byte for byte.  The part after nvim-dap's own set-up
# is taken from the guide as it stands (nvim-dap itself is no Debian package).
set -euo pipefail
doc=$1
command -v nvim >/dev/null || { echo "nvim not installed: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 - "$doc" "$dir" <<'PY'
import sys
doc, out = sys.argv[1], sys.argv[2]
s = open(doc, encoding='utf-8').read()
i = s.index('```lua') + len('```lua'); j = s.index('```', i)
block = s[i:j]
open(out + '/enc.lua', 'w', encoding='utf-8').write(block[block.index('-- Macro files'):])
open(out + '/testMacro.txt', 'wb').write('A:\r\n  d("TA漢字")\r\n'.encode('cp932'))
open(out + '/plain.txt', 'wb').write('日本語のメモ\n'.encode('utf-8'))
PY
cp "$dir/plain.txt" "$dir/plain.orig"
cd "$dir"
timeout 30 nvim --headless -u NONE -i NONE -n -c 'luafile enc.lua' -c 'filetype on' \
  -c 'e testMacro.txt' -c 'let a = &fenc . "," . &ft . "," . getline(2)' \
  -c 'e plain.txt' -c 'let b = &fenc' -c 'w' \
  -c 'call writefile([a, b], "out", "b")' -c 'qa!' </dev/null >/dev/null 2>&1
expected_a=$(printf 'cp932,qmt,  d("TA漢字")')
got_a=$(sed -n 1p out); got_b=$(sed -n 2p out)
[ "$got_a" = "$expected_a" ] || { echo "macro file read as: $got_a (expected $expected_a)"; exit 1; }
[ "$got_b" = utf-8 ] || { echo "UTF-8 file after the macro read as: $got_b"; exit 1; }
cmp plain.txt plain.orig || { echo "UTF-8 file changed on save"; exit 1; }
echo "ok: macro file cp932 with file type qmt; a later UTF-8 file stays UTF-8"
