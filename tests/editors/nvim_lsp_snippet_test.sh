#!/usr/bin/env bash
# Runs the Neovim snippet of docs/editors.md, as written there, in Debian's
# headless Neovim against `qmt lsp`: a macro opens as code page 932 with the
# qmt file type, `K` shows hover (not man), omnifunc completes, `:e!` keeps
# the one server, and a Latin-1 or UTF-8 file opened beside it keeps its own
# encoding and stays writable.
# nvim_lsp_snippet_test.sh EDITORS_MD QMT
set -euo pipefail
doc=$1 qmt=$(realpath "$2")
command -v nvim >/dev/null || { echo "nvim not installed: skipped"; exit 77; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

# The first lua block under "## Neovim" in the doc.
awk '/^## Neovim/{f=1} f&&/^```lua/{g=1;next} g&&/^```/{exit} g' "$doc" > "$work/init.lua"
grep -q "start_client" "$work/init.lua" || { echo "no Neovim snippet in $doc"; exit 1; }
mkdir -p "$work/bin"
ln -s "$qmt" "$work/bin/qmt"

# "start:", a kanji local and box(), in code page 932 with CR LF.
printf 'start:\r\n  \x8a\xbf = 1\r\n  box(1, 2, 3, 4, 0)\r\n' > "$work/testMacro.txt"
printf 'caf\xe9 cr\xe8me\n' > "$work/latin1.txt"
printf '\xe3\x81\x82 utf8\n' > "$work/notes.txt"

cat > "$work/check.lua" <<'LUA'
local out = {}
local function check(what, ok) table.insert(out, (ok and 'ok ' or 'FAIL ') .. what) end
local function floats()
  local n = 0
  for _, w in ipairs(vim.api.nvim_list_wins()) do
    if vim.api.nvim_win_get_config(w).relative ~= '' then n = n + 1 end
  end
  return n
end
local function servers()
  return #vim.fn.systemlist({ 'pgrep', '-P', tostring(vim.fn.getpid()), '-x', 'qmt' })
end

vim.cmd('edit ' .. vim.fn.fnameescape(WORK .. '/testMacro.txt'))
local buf = vim.api.nvim_get_current_buf()
check('macro filetype qmt (got ' .. vim.bo.filetype .. ')', vim.bo.filetype == 'qmt')
check('macro encoding cp932 (got ' .. vim.bo.fileencoding .. ')', vim.bo.fileencoding == 'cp932')
check('macro text', vim.fn.getline(2) == '  \u{6f22} = 1')
check('macro not modified', not vim.bo.modified)
check('omnifunc (got ' .. vim.bo.omnifunc .. ')', vim.bo.omnifunc == 'v:lua.vim.lsp.omnifunc')
local ready = vim.wait(30000, function()
  local c = vim.lsp.buf_get_clients(buf)
  return next(c) ~= nil and c[next(c)].initialized ~= false and #vim.lsp.get_active_clients() > 0
end, 50)
check('server attached', ready)

-- K on "box": a hover window, not man.
vim.api.nvim_win_set_cursor(0, { 3, 3 })
vim.cmd('normal K')
check('K shows hover', vim.wait(20000, function() return floats() > 0 end, 50))
for _, w in ipairs(vim.api.nvim_list_wins()) do
  if vim.api.nvim_win_get_config(w).relative ~= '' then vim.api.nvim_win_close(w, true) end
end

check('one server (got ' .. servers() .. ')', servers() == 1)
vim.cmd('edit!')
vim.cmd('edit!')
check('one server after :e! twice (got ' .. servers() .. ')', servers() == 1)
check('one client after :e! twice', #vim.lsp.get_active_clients() == 1)
check('encoding after :e! (got ' .. vim.bo.fileencoding .. ')', vim.bo.fileencoding == 'cp932')

vim.cmd('edit ' .. vim.fn.fnameescape(WORK .. '/latin1.txt'))
check('latin-1 file encoding (got ' .. vim.bo.fileencoding .. ')', vim.bo.fileencoding == 'latin1')
check('latin-1 file writable', not vim.bo.readonly)
check('latin-1 file text', vim.fn.getline(1) == 'caf\u{e9} cr\u{e8}me')
vim.cmd('edit ' .. vim.fn.fnameescape(WORK .. '/notes.txt'))
check('utf-8 file encoding (got ' .. vim.bo.fileencoding .. ')', vim.bo.fileencoding == 'utf-8')
check('utf-8 file writable', not vim.bo.readonly)

table.insert(out, 'DONE')
vim.fn.writefile(out, WORK .. '/result')
vim.lsp.stop_client(vim.lsp.get_active_clients())
vim.wait(5000, function() return #vim.lsp.get_active_clients() == 0 end, 50)
vim.cmd('qall!')
LUA

# The snippet as the user's init.lua (Neovim turns file types on after it).
PATH="$work/bin:$PATH" HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_STATE_HOME=$work \
timeout 120 nvim --headless -u "$work/init.lua" -n -i NONE \
  -c "lua WORK = '$work'" -c "luafile $work/check.lua" </dev/null >"$work/log" 2>&1 || true
if [ ! -f "$work/result" ]; then echo "nvim did not finish:"; cat "$work/log"; exit 1; fi
cat "$work/result"
if grep -q FAIL "$work/result"; then cat "$work/log"; exit 1; fi
grep -qx DONE "$work/result"
