// The extension: the language client that starts `qmt lsp`.  The debugger
// is declared in package.json and needs no code here.
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
  await client.start();
}

async function deactivate() {
  if (client) await client.stop();
}

module.exports = { activate, deactivate };
