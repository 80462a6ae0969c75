// qmt dap driven through whole sessions by the Debug Adapter Protocol's own
// test client, as an editor would drive it.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const fs = require('node:fs');
const os = require('node:os');
const cp = require('node:child_process');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const QMT = process.env.QMT;
const FIXTURES = process.env.QMT_DAP_FIXTURES;
const EVENTS = path.join(FIXTURES, 'events.txt');
const CALLS = path.join(FIXTURES, 'calls.txt');

async function withClient(body) {
  const dc = new DebugClient(QMT, 'dap', 'qmt');
  dc.defaultTimeout = 10000;
  await dc.start();
  try {
    await body(dc);
  } finally {
    await dc.stop();
  }
}

async function variables(dc, frameId, scopeName) {
  const scopes = await dc.scopesRequest({ frameId });
  const scope = scopes.body.scopes.find((s) => s.name === scopeName);
  assert.ok(scope, `scope ${scopeName}`);
  const vars = await dc.variablesRequest({ variablesReference: scope.variablesReference });
  return Object.fromEntries(vars.body.variables.map((v) => [v.name, v.value]));
}

test('breakpoint, stack, variables, step and continue to the end', () =>
  withClient(async (dc) => {
    await dc.hitBreakpoint({ program: EVENTS, events: ['onKEY'] }, { path: EVENTS, line: 5 });
    const stack = await dc.stackTraceRequest({ threadId: 1 });
    assert.deepStrictEqual(stack.body.stackFrames.map((f) => [f.name, f.line]), [['sub', 5], ['(macro)', 2]]);
    const locals = await variables(dc, stack.body.stackFrames[0].id, 'Locals');
    assert.strictEqual(locals.x, '1');
    assert.strictEqual(locals.y, '0');
    const externals = await variables(dc, stack.body.stackFrames[0].id, 'Externals');
    assert.strictEqual(externals.DTIME1, '0');

    const set = await dc.setVariableRequest({ variablesReference: 1, name: 'x', value: '-7' });
    assert.strictEqual(set.body.value, '-7');
    const sum = await dc.evaluateRequest({ expression: 'x * 100 + y', frameId: 1 });
    assert.strictEqual(sum.body.result, '-700');

    await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { path: EVENTS, line: 6 })]);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'y', frameId: 1 })).body.result, '34');
    await Promise.all([dc.continueRequest({ threadId: 1 }), dc.waitForEvent('terminated')]);
  }));

test('a run message stops at its line, then goes out as output', () =>
  withClient(async (dc) => {
    await Promise.all([
      dc.configurationSequence(),
      dc.launch({ program: EVENTS, events: ['onKEY'], stopOnEntry: true }),
      dc.assertStoppedLocation('entry', { path: EVENTS, line: 1 }),
    ]);
    await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('exception', { line: 9 })]);
    const exited = dc.waitForEvent('exited');
    await Promise.all([
      dc.continueRequest({ threadId: 1 }),
      dc.assertOutput('stderr', 'pc='),
      dc.waitForEvent('terminated'),
    ]);
    assert.strictEqual((await exited).body.exitCode, 2);
  }));

test('conditions, step into a function and out again', () =>
  withClient(async (dc) => {
    await Promise.all([
      dc.waitForEvent('initialized').then(async () => {
        const r = await dc.setBreakpointsRequest({
          source: { path: CALLS },
          breakpoints: [{ line: 3, condition: 'i == 3' }, { line: 40 }, { line: 4, condition: 'i ==' }],
        });
        assert.deepStrictEqual(r.body.breakpoints.map((b) => b.verified), [true, false, false]);
        assert.ok(r.body.breakpoints[2].message);
        return dc.configurationDoneRequest();
      }),
      dc.launch({ program: CALLS }),
      dc.assertStoppedLocation('breakpoint', { line: 3 }),
    ]);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'i', frameId: 1 })).body.result, '3');
    await Promise.all([dc.stepInRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 7 })]);
    const stack = await dc.stackTraceRequest({ threadId: 1 });
    assert.deepStrictEqual(stack.body.stackFrames.map((f) => [f.name, f.line]), [['twice', 7], ['(macro)', 3]]);
    assert.deepStrictEqual(await variables(dc, 1, 'Arguments'), { '@0': '3' });
    // Out of the function: back in the caller at the call, r still the
    // last round's.
    await Promise.all([dc.stepOutRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 3, column: 5 })]);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'r', frameId: 1 })).body.result, '4');
    await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 4 })]);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'r', frameId: 1 })).body.result, '6');
    await Promise.all([dc.continueRequest({ threadId: 1 }), dc.waitForEvent('terminated')]);
  }));

// Output events of one category, as they came.
function collectOutput(dc, category) {
  const lines = [];
  dc.on('output', (e) => {
    if (e.body.category === category) lines.push(e.body);
  });
  return lines;
}

test('log points write and go on; hit counts choose the stop; a data breakpoint stops where a value changes', () =>
  withClient(async (dc) => {
    const logs = collectOutput(dc, 'console');
    await Promise.all([
      dc.waitForEvent('initialized').then(async () => {
        const r = await dc.setBreakpointsRequest({
          source: { path: CALLS },
          breakpoints: [
            { line: 3, logMessage: 'i={i} r was {r}' },
            { line: 4, hitCondition: '3' },
            { line: 5, hitCondition: 'often' },
          ],
        });
        assert.deepStrictEqual(r.body.breakpoints.map((b) => b.verified), [true, true, false]);
        return dc.configurationDoneRequest();
      }),
      dc.launch({ program: CALLS }),
      dc.assertStoppedLocation('breakpoint', { line: 4 }),
    ]);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'i', frameId: 1, context: 'watch' })).body.result, '3');
    assert.deepStrictEqual(logs.map((l) => [l.output, l.line]), [
      ['i=1 r was 0\n', 3],
      ['i=2 r was 2\n', 3],
      ['i=3 r was 4\n', 3],
    ]);
    assert.strictEqual(logs[0].source.path, CALLS);

    const scopes = await dc.scopesRequest({ frameId: 1 });
    const locals = scopes.body.scopes.find((s) => s.name === 'Locals').variablesReference;
    const info = await dc.customRequest('dataBreakpointInfo', { variablesReference: locals, name: 'r' });
    assert.strictEqual(info.body.dataId, 'r');
    assert.deepStrictEqual(info.body.accessTypes, ['write']);
    const none = await dc.customRequest('dataBreakpointInfo', { name: 'nosuch', frameId: 1 });
    assert.strictEqual(none.body.dataId, null);
    const set = await dc.customRequest('setDataBreakpoints', { breakpoints: [{ dataId: 'r', condition: 'r > 7' }] });
    assert.deepStrictEqual(set.body.breakpoints.map((b) => b.verified), [true]);
    const stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    const stop = await stopped;
    assert.strictEqual(stop.body.reason, 'data breakpoint');
    assert.match(stop.body.description, /^r: 6 → 8 /);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'i', frameId: 1, context: 'hover' })).body.result, '4');
    await dc.customRequest('setDataBreakpoints', { breakpoints: [] });
    await Promise.all([dc.continueRequest({ threadId: 1 }), dc.waitForEvent('terminated')]);
    assert.strictEqual(logs.filter((l) => l.line === 3).length, 5);
  }));

test('instruction steps, the disassembly and instruction breakpoints', () =>
  withClient(async (dc) => {
    await dc.hitBreakpoint({ program: CALLS }, { path: CALLS, line: 3 });
    const top = async () => (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
    const pc = (await top())[0].instructionPointerReference;
    assert.match(pc, /^0x[0-9A-F]{4}$/);
    const listing = await dc.customRequest('disassemble', { memoryReference: pc, instructionOffset: -2, instructionCount: 6 });
    const list = listing.body.instructions;
    assert.strictEqual(list.length, 6);
    assert.strictEqual(list[2].address, pc);
    assert.strictEqual(list[2].line, 3);
    const call = list.find((i) => /CALL/.test(i.instruction));
    assert.ok(call, JSON.stringify(list));
    // Far before the start: places outside the program are marked.
    const before = await dc.customRequest('disassemble', { memoryReference: '0x0000', instructionOffset: -3, instructionCount: 4 });
    assert.deepStrictEqual(before.body.instructions.map((i) => i.presentationHint), ['invalid', 'invalid', 'invalid', undefined]);

    // One instruction at a time, into the function.
    let steps = 0;
    while ((await top()).length === 1 && steps < 10) {
      await Promise.all([
        dc.stepInRequest({ threadId: 1, granularity: 'instruction' }),
        dc.waitForEvent('stopped'),
      ]);
      steps += 1;
    }
    const inside = await top();
    assert.deepStrictEqual(inside.map((f) => f.name), ['twice', '(macro)']);
    assert.strictEqual(inside[1].column, 5);  // the call in `r = twice(i)`
    assert.strictEqual(inside[1].instructionPointerReference, call.address);
    await assert.rejects(dc.nextRequest({ threadId: 1, granularity: 'word' }), /granularity/);

    // An instruction breakpoint on the call, the line's breakpoint gone.
    await dc.setBreakpointsRequest({ source: { path: CALLS }, breakpoints: [] });
    const ib = await dc.customRequest('setInstructionBreakpoints', {
      breakpoints: [{ instructionReference: call.address }, { instructionReference: call.address, offset: 1 }],
    });
    assert.deepStrictEqual(ib.body.breakpoints.map((b) => b.verified), [true, false]);
    await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { line: 3 })]);
    assert.strictEqual((await top())[0].instructionPointerReference, call.address);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'i', frameId: 1 })).body.result, '2');
    await dc.customRequest('setInstructionBreakpoints', { breakpoints: [] });
    await Promise.all([dc.continueRequest({ threadId: 1 }), dc.waitForEvent('terminated')]);
  }));

test('a scenario raises the event the breakpoint is in, and its check passes', () =>
  withClient(async (dc) => {
    const program = path.join(FIXTURES, 'panel.txt');
    const scenario = path.join(FIXTURES, 'panel.scn');
    await dc.hitBreakpoint({ program, scenario }, { path: program, line: 5 });
    const stack = await dc.stackTraceRequest({ threadId: 1 });
    assert.deepStrictEqual(stack.body.stackFrames.map((f) => [f.name, f.line]), [['onRUN', 5]]);
    assert.strictEqual((await dc.evaluateRequest({ expression: 'n', frameId: 1 })).body.result, '1');
    const exited = dc.waitForEvent('exited');
    await Promise.all([
      dc.continueRequest({ threadId: 1 }),
      dc.assertOutput('console', `${scenario}: line 3 (expect line DS1): passed\n${scenario}: passed\n`),
      dc.waitForEvent('terminated'),
    ]);
    assert.strictEqual((await exited).body.exitCode, 0);
  }));

test('requests out of order and unknown ones get error responses', () =>
  withClient(async (dc) => {
    await assert.rejects(dc.stackTraceRequest({ threadId: 1 }), /initialize/);
    await dc.initializeRequest();
    await assert.rejects(dc.customRequest('frobnicate'), /unknown request/);
    await assert.rejects(dc.continueRequest({ threadId: 1 }), /launch/);
    await assert.rejects(dc.launchRequest({ program: path.join(FIXTURES, 'no-such-file.txt') }));
    await dc.launchRequest({ program: EVENTS });
    await assert.rejects(dc.nextRequest({ threadId: 1 }), /not stopped/);
    await assert.rejects(dc.evaluateRequest({ expression: 'f(1)' }));
    // Nothing to inspect before a stop; numbers out of range name their argument.
    await assert.rejects(dc.evaluateRequest({ expression: 'x' }), /not stopped/);
    await assert.rejects(dc.variablesRequest({ variablesReference: 12345 }), /no such variables reference/);
    await assert.rejects(
      dc.setBreakpointsRequest({ source: { path: EVENTS }, breakpoints: [{ line: 4294967301 }] }),
      /'breakpoints\[0\]\.line' is above/,
    );
    await assert.rejects(dc.stackTraceRequest({ threadId: 1, levels: '3' }), /'levels' is not an integer/);
  }));

test('compile errors name the line as the editor shows it, and give it as the client counts lines', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'qmt-dap-'));
  const program = path.join(dir, 'bad.txt');
  fs.writeFileSync(program, 'x = 1\r\ny = 2\r\nGOSUB nowhere\r\n');
  try {
    for (const [linesStartAt1, line] of [[true, 3], [false, 2]]) {
      await withClient(async (dc) => {
        const errors = collectOutput(dc, 'stderr');
        await dc.initializeRequest({ adapterID: 'qmt', linesStartAt1 });
        await assert.rejects(dc.launchRequest({ program }), /did not compile: line 3: .*nowhere/);
        assert.deepStrictEqual(
          errors.map((e) => [e.line, e.source.path, /^line 3: /.test(e.output)]),
          [[line, program, true]],
        );
      });
    }
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('pause before the start stops the first statement; showLines reports the lines sent', () =>
  withClient(async (dc) => {
    const program = path.join(FIXTURES, 'lines.txt');
    const initialized = dc.waitForEvent('initialized');
    await dc.launch({ program, showLines: true });
    await initialized;
    await dc.pauseRequest({ threadId: 1 });
    await Promise.all([dc.configurationDoneRequest(), dc.assertStoppedLocation('pause', { path: program, line: 1 })]);
    await Promise.all([
      dc.continueRequest({ threadId: 1 }),
      dc.assertOutput('stdout', 'TA0,0,9,9,1\n'),
      dc.waitForEvent('terminated'),
    ]);
  }));

// Raw bytes, as a broken client would send them.
function frame(body) {
  return `Content-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
}

test('malformed messages get error responses, and disconnect ends the adapter', async () => {
  const adapter = cp.spawn(QMT, ['dap']);
  let output = '';
  adapter.stdout.on('data', (d) => {
    output += d.toString();
  });
  const exited = new Promise((resolve) => adapter.on('exit', (code) => resolve(code)));
  adapter.stdin.write(frame('{not json'));
  adapter.stdin.write('Content-Length: twelve\r\n\r\n');
  adapter.stdin.write(frame('[1, 2]'));
  adapter.stdin.write(frame('{"seq": 7, "type": "request", "command": "threads", "arguments": {'));
  adapter.stdin.write(frame('{"seq": 1, "type": "request", "command": "initialize", "arguments": 5}'));
  adapter.stdin.write(frame('{"seq": 2, "type": "request", "command": "initialize"}'));
  await new Promise((resolve) => setTimeout(resolve, 300));
  const started = Date.now();
  adapter.stdin.write(frame('{"seq": 3, "type": "request", "command": "disconnect"}'));
  assert.strictEqual(await exited, 0);
  assert.ok(Date.now() - started < 1000, 'the adapter exits within a second');
  const bodies = output.split(/Content-Length: \d+\r\n\r\n/).filter((s) => s).map((s) => JSON.parse(s));
  // What names no request goes to the console; a response answers the
  // request it names, also one whose JSON is broken.
  assert.deepStrictEqual(
    bodies.map((b) => (b.type === 'event' ? [b.event, b.body.category] : [b.command, b.request_seq, b.success])),
    [
      ['output', 'console'],
      ['output', 'console'],
      ['output', 'console'],
      ['threads', 7, false],
      ['initialize', 1, false],
      ['initialize', 2, true],
      ['disconnect', 3, true],
    ],
  );
  assert.match(bodies[1].body.output, /Content-Length/);
});
