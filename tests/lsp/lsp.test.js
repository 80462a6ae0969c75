// qmt lsp driven by the Language Server Protocol's node client library, for
// the requests the Neovim test leaves out, edits that insert and remove
// kanji, both position encodings and the error answers.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const cp = require('node:child_process');
const rpc = require('vscode-languageserver-protocol/node');

const QMT = process.env.QMT;
const URI = 'file:///tmp/testMacro.txt';
const TEXT = [
  'start:',
  '  x = 1',
  '  box(10, 20, 30, 40, 赤)',
  '  GOSUB sub',
  '  d("DS0")',
  '  y = x + zz',
  'sub:',
  '  RET x',
  'onRUN:',
  '  EXIT',
  '',
].join('\n');

async function withServer(encodings, body) {
  const proc = cp.spawn(QMT, ['lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const conn = rpc.createProtocolConnection(new rpc.StreamMessageReader(proc.stdout), new rpc.StreamMessageWriter(proc.stdin));
  const diagnostics = [];
  const waiters = [];
  conn.onNotification('textDocument/publishDiagnostics', (p) => {
    diagnostics.push(p);
    waiters.splice(0).forEach((w) => w());
  });
  conn.listen();
  // The next diagnostics for `version`.
  const next = async (version) => {
    for (;;) {
      const found = diagnostics.find((d) => d.version === version);
      if (found) return found.diagnostics;
      await new Promise((resolve) => waiters.push(resolve));
    }
  };
  const exited = new Promise((resolve) => proc.on('exit', resolve));
  try {
    const init = await conn.sendRequest('initialize', {
      processId: null,
      rootUri: null,
      capabilities: { general: { positionEncodings: encodings } },
    });
    conn.sendNotification('initialized', {});
    await body(conn, next, init);
    await conn.sendRequest('shutdown');
    conn.sendNotification('exit');
    assert.strictEqual(await exited, 0);
  } finally {
    conn.dispose();
    proc.kill();
  }
}

const doc = { uri: URI };
const at = (line, character) => ({ textDocument: doc, position: { line, character } });
const change = (version, line, from, to, text) => ({
  textDocument: { uri: URI, version },
  contentChanges: [{ range: { start: { line, character: from }, end: { line, character: to } }, text }],
});

test('diagnostics follow edits that insert and remove kanji and characters code page 932 lacks', () =>
  withServer(['utf-16'], async (conn, next, init) => {
    assert.strictEqual(init.capabilities.positionEncoding, 'utf-16');
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri: URI, languageId: 'qmt', version: 1, text: TEXT } });
    let d = await next(1);
    assert.deepStrictEqual(d.map((x) => [x.code, x.range.start.line, x.range.start.character, x.range.end.character]),
      [['undefined-variable', 5, 10, 12]]);
    assert.strictEqual(d[0].message, '変数 zz が未定義');
    // Two kanji before the name: one UTF-16 unit each.
    conn.sendNotification('textDocument/didChange', change(2, 5, 2, 2, '漢字'));
    d = await next(2);
    assert.deepStrictEqual([d[0].range.start.character, d[0].range.end.character], [12, 14]);
    // Removed again.
    conn.sendNotification('textDocument/didChange', change(3, 5, 2, 4, ''));
    d = await next(3);
    assert.deepStrictEqual([d[0].range.start.character, d[0].range.end.character], [10, 12]);
    // A character outside code page 932 (a surrogate pair) in a comment: a
    // diagnostic of its own, two units wide; the rest still compiles.
    conn.sendNotification('textDocument/didChange', change(4, 1, 7, 7, ' // 😀'));
    d = await next(4);
    const bad = d.find((x) => x.code === 'not-cp932');
    assert.ok(bad, JSON.stringify(d));
    assert.deepStrictEqual([bad.range.start.line, bad.range.start.character, bad.range.end.character], [1, 11, 13]);
    assert.ok(d.some((x) => x.code === 'undefined-variable'));
  }));

test('the remaining requests', () =>
  withServer(['utf-16'], async (conn, next) => {
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri: URI, languageId: 'qmt', version: 1, text: TEXT } });
    await next(1);
    const hover = await conn.sendRequest('textDocument/hover', at(4, 6));
    assert.match(hover.contents.value, /`DS` — 表示ページ/);
    const sig = await conn.sendRequest('textDocument/signatureHelp', at(2, 14));
    assert.strictEqual(sig.signatures[0].label, 'box(x, y, 幅, 高さ, モード)');
    assert.strictEqual(sig.activeParameter, 2);
    const commands = await conn.sendRequest('textDocument/completion', at(4, 5));
    assert.strictEqual(commands.items.length, 47);
    const refs = await conn.sendRequest('textDocument/references', { ...at(7, 6), context: { includeDeclaration: true } });
    assert.deepStrictEqual(refs.map((r) => r.range.start.line), [1, 5, 7]);
    const range = await conn.sendRequest('textDocument/prepareRename', at(3, 9));
    assert.deepStrictEqual(range.start, { line: 3, character: 8 });
    const edit = await conn.sendRequest('textDocument/rename', { ...at(3, 9), newName: '下位' });
    assert.deepStrictEqual(edit.changes[URI].map((e) => [e.range.start.line, e.newText]), [[3, '下位'], [6, '下位']]);
    await assert.rejects(conn.sendRequest('textDocument/rename', { ...at(3, 9), newName: 'box' }));
    await assert.rejects(conn.sendRequest('textDocument/rename', { ...at(8, 1), newName: 'x2' }));
    // Onto a name already there: refused with the reason.
    await assert.rejects(conn.sendRequest('textDocument/rename', { ...at(3, 9), newName: 'START' }),
      (e) => e.code === -32803 && e.message === 'the label start is already used (line 1); labels are found ignoring letter case');
    await assert.rejects(conn.sendRequest('textDocument/rename', { ...at(1, 2), newName: 'y' }), /the two would become one/);
    const symbols = await conn.sendRequest('textDocument/documentSymbol', { textDocument: doc });
    assert.deepStrictEqual(symbols.map((s) => [s.name, s.kind, s.range.end.line]), [['start', 12, 5], ['sub', 12, 7], ['onRUN', 24, 9]]);
    const folds = await conn.sendRequest('textDocument/foldingRange', { textDocument: doc });
    assert.deepStrictEqual(folds.map((f) => [f.startLine, f.endLine]), [[0, 5], [6, 7], [8, 9]]);
    const tokens = await conn.sendRequest('textDocument/semanticTokens/full', { textDocument: doc });
    assert.ok(tokens.data.length > 0 && tokens.data.length % 5 === 0);
  }));

test('UTF-8 positions when the client offers them', () =>
  withServer(['utf-8', 'utf-16'], async (conn, next, init) => {
    assert.strictEqual(init.capabilities.positionEncoding, 'utf-8');
    conn.sendNotification('textDocument/didOpen', {
      textDocument: { uri: URI, languageId: 'qmt', version: 1, text: 'a:\n  漢 = 1\n  漢 = 漢 + zz\n' },
    });
    const d = await next(1);
    assert.deepStrictEqual([d[0].range.start.line, d[0].range.start.character, d[0].range.end.character], [2, 14, 16]);
    const hover = await conn.sendRequest('textDocument/hover', at(2, 8));
    assert.match(hover.contents.value, /変数 `漢`/);
  }));

test('an edit that meets a lone CR with an LF keeps the lines the client has', () =>
  withServer(['utf-16'], async (conn, next) => {
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri: URI, languageId: 'qmt', version: 1, text: 'x = 1\rb:\nGOTO b\n' } });
    await next(1);
    conn.sendNotification('textDocument/didChange', change(2, 1, 0, 0, '\n'));
    await next(2);
    // The client's text is now 'x = 1\r\nb:\nGOTO b\n': b is defined on line 1.
    const def = await conn.sendRequest('textDocument/definition', at(2, 5));
    assert.deepStrictEqual(def && def.range.start, { line: 1, character: 0 });
  }));

test('positions out of range are refused, not narrowed', () =>
  withServer(['utf-16'], async (conn, next) => {
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri: URI, languageId: 'qmt', version: 1, text: TEXT } });
    await next(1);
    for (const [line, character] of [[4294967298, 3], [-4294967294, 3], [2.9, 3], [2, 3.5], [2, 2147483648], [-1, 0], ['2', 3]]) {
      await assert.rejects(conn.sendRequest('textDocument/hover', at(line, character)),
        (e) => e.code === -32602, `hover at ${line}:${character}`);
    }
    assert.ok(await conn.sendRequest('textDocument/hover', at(2, 3)));
    // An edit at such a place is not made: the document stays as it was.
    const logged = new Promise((resolve) => conn.onNotification('window/logMessage', resolve));
    conn.sendNotification('textDocument/didChange', change(2, 4294967296, 0, 0, 'zz = zz\n'));
    assert.match((await logged).message, /not applied: position line out of range/);
    const refs = await conn.sendRequest('textDocument/references', { ...at(7, 6), context: { includeDeclaration: true } });
    assert.deepStrictEqual(refs.map((r) => r.range.start.line), [1, 5, 7]);
  }));

test('a 1 MB line gets its semantic tokens, and other requests their answers', () =>
  withServer(['utf-16'], async (conn, next) => {
    const terms = 125000;
    const line = 'x = 1' + ' + x'.repeat(terms) + ' + 漢';
    assert.ok(line.length > 400000);
    conn.sendNotification('textDocument/didOpen', {
      textDocument: { uri: URI, languageId: 'qmt', version: 1, text: 'start:\n  ' + line + line.slice(5) + '\n' },
    });
    await next(1);
    const started = Date.now();
    const [tokens, hover] = await Promise.all([
      conn.sendRequest('textDocument/semanticTokens/full', { textDocument: doc }),
      conn.sendRequest('textDocument/hover', at(0, 1)),
    ]);
    assert.ok(Date.now() - started < 60000);
    assert.match(hover.contents.value, /ラベル `start`/);
    const data = tokens.data;
    // start, then x and each x after it, and 漢 twice: 5 numbers each.
    assert.strictEqual(data.length, 5 * (1 + 1 + 2 * terms + 2));
    assert.deepStrictEqual(data.slice(0, 15), [0, 0, 5, 0, 1, 1, 2, 1, 2, 1, 0, 8, 1, 2, 0]);
    // The columns add up: the last 漢 stands one unit before the line's end.
    let column = 0;
    for (let i = 5; i < data.length; i += 5) column += data[i + 1];
    assert.strictEqual(column, 2 * line.length - 4);
    // x no longer assigned: a message for each x, every one on its x.
    conn.sendNotification('textDocument/didChange', change(2, 1, 2, 2, 'y'));
    const again = await conn.sendRequest('textDocument/semanticTokens/full', { textDocument: doc });
    assert.strictEqual(again.data.length, data.length);
    const xs = (await next(2)).filter((x) => x.message === '変数 x が未定義');
    assert.strictEqual(xs.length, 2 * terms);
    assert.ok(xs.every((x) => x.range.end.character === x.range.start.character + 1));
    assert.deepStrictEqual(xs.map((x) => x.range.start.character).sort((a, b) => a - b).slice(0, 2), [11, 15]);
  }));

test('errors answer bad and out-of-order requests, and the server lives on', async () => {
  const proc = cp.spawn(QMT, ['lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const conn = rpc.createProtocolConnection(new rpc.StreamMessageReader(proc.stdout), new rpc.StreamMessageWriter(proc.stdin));
  conn.listen();
  try {
    await assert.rejects(conn.sendRequest('textDocument/hover', at(0, 0)), (e) => e.code === -32002);
    await conn.sendRequest('initialize', { processId: null, rootUri: null, capabilities: {} });
    await assert.rejects(conn.sendRequest('initialize', { processId: null, rootUri: null, capabilities: {} }), (e) => e.code === -32600);
    await assert.rejects(conn.sendRequest('workspace/nothing', {}), (e) => e.code === -32601);
    await assert.rejects(conn.sendRequest('textDocument/hover', { textDocument: doc }), (e) => e.code === -32602);
    await assert.rejects(conn.sendRequest('textDocument/hover', at(0, 0)), (e) => e.code === -32602);  // not open
    await conn.sendRequest('shutdown');
    await assert.rejects(conn.sendRequest('textDocument/hover', at(0, 0)), (e) => e.code === -32600);
  } finally {
    conn.dispose();
    proc.kill();
  }
});
