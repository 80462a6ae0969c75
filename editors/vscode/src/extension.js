// The extension: the language client that starts `qmt lsp`, and the
// debugger, which starts `qmt dap`.  Both run the same qmt (the qmt.path
// setting, else QMT, else qmt on PATH), so nothing here needs a shell and the
// extension works the same on Windows.
'use strict';

const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

function qmtPath() {
  const configured = vscode.workspace.getConfiguration('qmt').get('path');
  return configured || process.env.QMT || 'qmt';
}

async function activate(context) {
  client = new LanguageClient(
    'qmt',
    'QMT3308 macros',
    { command: qmtPath(), args: ['lsp'] },
    { documentSelector: [{ language: 'qmt-macro' }] },
  );
  context.subscriptions.push(client);
  context.subscriptions.push(
    vscode.debug.registerDebugAdapterDescriptorFactory('qmt', {
      createDebugAdapterDescriptor: () => new vscode.DebugAdapterExecutable(qmtPath(), ['dap']),
    }),
  );
  await client.start();
}

async function deactivate() {
  if (client) await client.stop();
}

module.exports = { activate, deactivate };
