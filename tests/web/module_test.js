// The module as the page loads it: every function of qmt_web.h is exported
// and callable through cwrap, the session starts and draws, and text crosses
// as code page 932 with CR LF.
const assert = require('assert');
const fs = require('fs');
const [core, header] = process.argv.slice(2);
const createQmtCore = require(core);

createQmtCore().then((m) => {
  const names = [...fs.readFileSync(header, 'utf8').matchAll(/^QMT_WEB_API .*?(qmt_web_\w+)\(/gm)].map((x) => x[1]);
  assert(names.length >= 20, 'functions found in the header');
  for (const name of names) assert.strictEqual(typeof m['_' + name], 'function', name + ' is exported');
  for (const name of ['cwrap', 'ccall', 'HEAPU8']) assert(m[name], name + ' is exported');

  const start = JSON.parse(m.ccall('qmt_web_start', 'string', [], []));
  assert.strictEqual(start.ok, true, JSON.stringify(start));
  const frame = m.ccall('qmt_web_frame', 'number', [], []);
  assert(frame >= 1);
  const rgba = m.ccall('qmt_web_rgba', 'number', [], []);
  const page = m.HEAPU8.subarray(rgba, rgba + 640 * 480 * 4);
  assert(page.some((v, i) => i % 4 !== 3 && v !== 255), 'the built-in macro drew something');

  // UTF-8 in, the desktop's bytes out.
  const text = Buffer.from('開始:\n  x=1', 'utf8');
  const input = m.ccall('qmt_web_input', 'number', ['number'], [text.length]);
  m.HEAPU8.set(text, input);
  const n = m.ccall('qmt_web_text_to_file', 'number', ['number', 'number'], [input, text.length]);
  const at = m.ccall('qmt_web_bytes', 'number', [], []);
  assert.deepStrictEqual(Buffer.from(m.HEAPU8.subarray(at, at + n)),
                         Buffer.from([0x8a, 0x4a, 0x8e, 0x6e, 0x3a, 13, 10, 0x20, 0x20, 0x78, 0x3d, 0x31, 13, 10]));

  // A broken macro: the error list, and the page goes on.
  const bad = Buffer.from('START:\r\n  x=(1\r\n');
  const p = m.ccall('qmt_web_input', 'number', ['number'], [bad.length]);
  m.HEAPU8.set(bad, p);
  const out = JSON.parse(m.ccall('qmt_web_compile', 'string', ['number', 'number'], [p, bad.length]));
  assert.strictEqual(out.ok, false);
  assert.match(out.errors[0].text, /^\[3行目\]/);
  assert.strictEqual(JSON.parse(m.ccall('qmt_web_tick', 'string', ['number'], [33])).ok, true);
  console.log('module ok:', names.length, 'functions');
}).catch((e) => {
  console.error(e);
  process.exit(1);
});
