-- Neovim (0.7 or later) as a client of `delimcheck --lsp`, headless: opens a script with
-- reports, waits for their second publication and writes them out as JSON; then asks for the quick fix of each,
-- applies the first, writes the buffer and waits for the diagnostics that follow.
-- With PROJECT_CHANGE, before the quick fixes, writes that file's lines over the
-- delimcheck.toml beside the script from a buffer of its own, and keeps as `changed' the
-- script's diagnostics that follow, the script never opened again.
-- Environment: DELIMCHECK (the binary), SCRIPT (a copy it may change), OUT (the JSON file),
-- PROJECT_CHANGE.
local bin, script, out = os.getenv('DELIMCHECK'), os.getenv('SCRIPT'), os.getenv('OUT')
local change = os.getenv('PROJECT_CHANGE')
local result = { diagnostics = {}, actions = {}, after = nil }

local function finish(status)
  vim.fn.writefile({ vim.fn.json_encode(result) }, out)
  vim.cmd(status == 0 and 'qall!' or 'cquit!')
end

local function collect(bufnr)
  local list = {}
  for _, d in ipairs(vim.diagnostic.get(bufnr)) do
    table.insert(list, { line = d.lnum + 1, column = d.col + 1, severity = d.severity,
                         code = d.code, message = d.message })
  end
  table.sort(list, function(a, b) return a.line < b.line or (a.line == b.line and a.column < b.column) end)
  return list
end

-- A script with reports is published twice: at once, then with the edit that mends it.
local published, last_published, last_empty = 0, 0, true
local default_handler = vim.lsp.handlers['textDocument/publishDiagnostics']
vim.lsp.handlers['textDocument/publishDiagnostics'] = function(err, params, ...)
  published = published + 1
  last_published, last_empty = vim.loop.now(), #params.diagnostics == 0
  return default_handler(err, params, ...)
end

-- Whether the server asks to watch the project files, and whether this Neovim says it can.
local default_register = vim.lsp.handlers['client/registerCapability']
vim.lsp.handlers['client/registerCapability'] = function(err, params, ...)
  result.asked_to_watch = true
  return default_register(err, params, ...)
end

-- The README's notice of a project file written in Neovim, which watches no file for a
-- server before 0.9 (nor by default on Linux after).
vim.api.nvim_create_autocmd('BufWritePost', {
  pattern = { 'delimcheck.toml', '.delimcheck.toml' },
  callback = function(args)
    local uri = vim.uri_from_fname(vim.fn.fnamemodify(args.file, ':p'))
    for _, client in pairs(vim.lsp.get_active_clients()) do
      if client.name == 'delimcheck' then
        client.notify('workspace/didChangeWatchedFiles', { changes = { { uri = uri, type = 2 } } })
      end
    end
  end,
})

vim.cmd('edit ' .. vim.fn.fnameescape(script))
local bufnr = vim.api.nvim_get_current_buf()
-- The README's setup, as a client without lspconfig writes it.
local client_id = vim.lsp.start_client({
  name = 'delimcheck',
  cmd = { bin, '--lsp' },
  root_dir = vim.fn.fnamemodify(script, ':h'),
  init_options = { delimcheck = { warnBackslashBlank = false } },
})
vim.lsp.buf_attach_client(bufnr, client_id)
if not vim.wait(20000, function() return published >= 2 end, 20) then
  result.error = 'no diagnostics'
  return finish(1)
end
result.diagnostics = collect(bufnr)
local config = vim.lsp.get_client_by_id(client_id).config
local capabilities = config.capabilities or vim.lsp.protocol.make_client_capabilities()
local watched = capabilities.workspace and capabilities.workspace.didChangeWatchedFiles
result.can_watch = watched ~= nil and watched.dynamicRegistration == true
result.asked_to_watch = result.asked_to_watch or false

if change then
  local before = published
  vim.cmd('split ' .. vim.fn.fnameescape(vim.fn.fnamemodify(script, ':h') .. '/delimcheck.toml'))
  vim.api.nvim_buf_set_lines(0, 0, -1, false, vim.fn.readfile(change))
  vim.cmd('silent write')
  vim.cmd('close')
  -- A publication with reports is followed by the one with the search; then nothing for a while.
  vim.wait(20000, function()
    return published > before and (last_empty or published >= before + 2) and vim.loop.now() - last_published > 300
  end, 20)
  result.changed = collect(bufnr)
end

-- Each diagnostic's line, with what Neovim sends back for that line, as its code action
-- command does.
local client = vim.lsp.get_client_by_id(client_id)
local chosen
for _, d in ipairs(vim.diagnostic.get(bufnr)) do
  local params = {
    textDocument = { uri = vim.uri_from_bufnr(bufnr) },
    range = { start = { line = d.lnum, character = 0 }, ['end'] = { line = d.lnum, character = 0 } },
    context = { diagnostics = vim.lsp.diagnostic.get_line_diagnostics(bufnr, d.lnum) },
  }
  local response = client.request_sync('textDocument/codeAction', params, 5000, bufnr)
  for _, action in ipairs((response and response.result) or {}) do
    -- The repairs; the directive that every report is also offered is not one.
    if not action.title:match('^Ignore ') then
      table.insert(result.actions, { line = d.lnum + 1, title = action.title, kind = action.kind })
      chosen = chosen or action
    end
  end
end
if chosen then
  local before = published
  vim.lsp.util.apply_workspace_edit(chosen.edit, client.offset_encoding)
  vim.cmd('write')
  -- A repair may mend one fault among old findings: what is left is what comes once the
  -- publications of the edited text are over.
  vim.wait(20000, function()
    return published > before and (last_empty or published >= before + 2) and vim.loop.now() - last_published > 300
  end, 20)
  result.after = collect(bufnr)
end
finish(0)
