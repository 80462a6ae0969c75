-- Neovim's own language client against `qmt lsp`: a macro with an error
-- gets its diagnostic at the right line and column, hover on a built-in, a
-- label's definition, and completion offering a built-in.
-- Run: QMT=path/to/qmt MACRO=path/to/file nvim --headless -u NONE -c "luafile nvim_client.lua"
local failures = 0
local function check(ok, what)
  if not ok then
    failures = failures + 1
    io.stderr:write('FAIL: ' .. what .. '\n')
  else
    io.stderr:write('ok: ' .. what .. '\n')
  end
end

vim.cmd('edit ' .. vim.fn.fnameescape(os.getenv('MACRO')))
local buf = vim.api.nvim_get_current_buf()
local client_id = vim.lsp.start_client({
  name = 'qmt',
  cmd = { os.getenv('QMT'), 'lsp' },
  root_dir = vim.fn.fnamemodify(os.getenv('MACRO'), ':h'),
})
check(client_id ~= nil, 'client started')
vim.lsp.buf_attach_client(buf, client_id)

-- The diagnostic: "zz" on line 5 (index 4), after a kanji.  The server
-- says UTF-16 column 10 (code page 932 would be 11); Neovim keeps byte
-- columns of its UTF-8 buffer, where the kanji takes 3: 12.
local arrived = vim.wait(20000, function() return #vim.diagnostic.get(buf) > 0 end, 50)
check(arrived, 'diagnostics arrive')
local d = vim.diagnostic.get(buf)[1] or {}
check(d.lnum == 4 and d.col == 12 and d.end_col == 14, string.format('diagnostic at 4:12-14 (got %s:%s-%s)', d.lnum, d.col, d.end_col))
check((d.message or ''):find('zz', 1, true) ~= nil, 'diagnostic names the variable: ' .. tostring(d.message))

local function request(method, line, character)
  local params = { textDocument = { uri = vim.uri_from_bufnr(buf) }, position = { line = line, character = character } }
  local replies = vim.lsp.buf_request_sync(buf, method, params, 20000) or {}
  local reply = replies[client_id] or {}
  return reply.result, reply.err
end

local hover = request('textDocument/hover', 2, 3)
check(hover and hover.contents and hover.contents.value:find('四角', 1, true) ~= nil, 'hover on box shows its manual entry')

local def = request('textDocument/definition', 3, 9)
if def and def[1] then def = def[1] end
check(def and def.range and def.range.start.line == 5 and def.range.start.character == 0, 'definition of the label')

local completion = request('textDocument/completion', 1, 2)
local found = false
for _, item in ipairs((completion and (completion.items or completion)) or {}) do
  if item.label == 'box' then found = true end
end
check(found, 'completion offers box')

vim.lsp.stop_client(client_id)
vim.wait(5000, function() return vim.lsp.client_is_stopped(client_id) end, 50)
if failures > 0 then vim.cmd('cquit 1') else vim.cmd('qall!') end
