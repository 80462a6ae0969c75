#!/usr/bin/env bash
# Runs the Neovim snippet of docs/debugging.md, as written there, in a
# headless Neovim: a macro gets the qmt file type and is read as code page
# 932; a UTF-8 file opened after it is still read (and saved) as UTF-8.
# With a second doc (docs/editors.md), its Neovim snippet comes first in the
# init.lua, as a user who follows both pages has it: `fileencodings` must
# still be put back after a macro is read.
# Debian has no nvim-dap, so a stand-in `dap` module takes the configurations.
set -euo pipefail
doc=$1
first_doc=${2:-}
command -v nvim >/dev/null || { echo "nvim not installed: skipped"; exit 77; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

# The first lua block under "### Neovim" in the doc.
awk '/^### Neovim/{f=1} f&&/^```lua/{g=1;next} g&&/^```/{exit} g' "$doc" > "$work/snippet.lua"
grep -q "filetype.add" "$work/snippet.lua" || { echo "no Neovim snippet in $doc"; exit 1; }

mkdir -p "$work/rtp/lua"
echo "return { adapters = {}, configurations = {} }" > "$work/rtp/lua/dap.lua"
printf '\x82\xa0 = 1\r\n' > "$work/testMacro.txt"             # "あ = 1" in code page 932
printf '\xe3\x81\x82 utf8\n' > "$work/notes.txt"               # "あ utf8" in UTF-8
cp "$work/notes.txt" "$work/notes.orig"

cat > "$work/check.lua" <<'LUA'
local out = {}
local function check(what, ok) if not ok then table.insert(out, 'FAIL ' .. what) end end
local dap = require('dap')
local fencs = vim.o.fileencodings
check('adapter qmt', dap.adapters.qmt and dap.adapters.qmt.args[1] == 'dap')
vim.cmd('edit ' .. vim.fn.fnameescape(WORK .. '/testMacro.txt'))
check('macro filetype qmt (got ' .. vim.bo.filetype .. ')', vim.bo.filetype == 'qmt')
check('macro encoding cp932 (got ' .. vim.bo.fileencoding .. ')', vim.bo.fileencoding == 'cp932')
check('macro text', vim.fn.getline(1) == '\u{3042} = 1')
check('fileencodings put back (got ' .. vim.o.fileencodings .. ')', vim.o.fileencodings == fencs)
vim.cmd('edit ' .. vim.fn.fnameescape(WORK .. '/notes.txt'))
check('utf-8 file encoding (got ' .. vim.bo.fileencoding .. ')', vim.bo.fileencoding == 'utf-8')
check('utf-8 file text', vim.fn.getline(1) == '\u{3042} utf8')
vim.cmd('write')
table.insert(out, 'DONE')
vim.fn.writefile(out, WORK .. '/result')
vim.cmd('qall!')
LUA

# The snippet as the user's init.lua: Neovim turns file types on after it.
{
  echo "vim.opt.rtp:prepend('$work/rtp')"
  if [ -n "$first_doc" ]; then
    awk '/^## Neovim/{f=1} f&&/^```lua/{g=1;next} g&&/^```/{exit} g' "$first_doc"
  fi
  cat "$work/snippet.lua"
} > "$work/init.lua"
if [ -n "$first_doc" ]; then
  grep -q "BufReadPre" "$work/init.lua" || { echo "no Neovim snippet in $first_doc"; exit 1; }
  # Its language server is not what this test is about: a stand-in qmt.
  mkdir -p "$work/bin"
  printf '#!/bin/sh\nexec cat >/dev/null\n' > "$work/bin/qmt"
  chmod +x "$work/bin/qmt"
  export PATH="$work/bin:$PATH"
fi
XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_STATE_HOME=$work \
timeout 60 nvim --headless -u "$work/init.lua" -n -i NONE \
  -c "lua WORK = '$work'" -c "luafile $work/check.lua" </dev/null >"$work/log" 2>&1 || true
if [ ! -f "$work/result" ]; then echo "nvim did not finish:"; cat "$work/log"; exit 1; fi
cat "$work/result"
grep -q FAIL "$work/result" && exit 1
cmp "$work/notes.txt" "$work/notes.orig" || { echo "UTF-8 file changed on save"; exit 1; }
grep -qx DONE "$work/result"
