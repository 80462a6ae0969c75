// qmt test's HTML report opened in a headless Chromium: the summary, a
// failure's three pictures loaded, the slider and the toggle, the lines
// diff, and not one request that leaves the disk.
const { test } = require('node:test');
const assert = require('node:assert');
const { chromium } = require('playwright-core');
const { pathToFileURL } = require('node:url');

test('the report shows each failure', async () => {
  const browser = await chromium.launch({
    executablePath: process.env.QMT_CHROMIUM,
    headless: true,
    timeout: 60000,
    args: ['--no-sandbox'],
  });
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(30000);
    const requests = [];
    page.on('request', (r) => requests.push(r.url()));
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.goto(pathToFileURL(process.env.QMT_REPORT).href, { waitUntil: 'load' });

    const summary = await page.textContent('#summary');
    assert.match(summary, /1 passed/);
    assert.match(summary, /2 failed/);
    assert.match(summary, /0 errors/);
    assert.match(summary, /\d+\.\d\d s/);

    // The screen failure: its file, line and message, and three pictures
    // that loaded at the page's size.
    const failure = page.locator('section.case', { hasText: 'screen <1>' });
    assert.match(await failure.locator('.where').textContent(), /screen <1>\.scn line 2: expect screen x&y\.png/);
    assert.match(await failure.locator('.message').textContent(), /screen differs in [\d,]+ pixels/);
    for (const what of ['baseline', 'actual', 'diff']) {
      const img = failure.locator(`.pictures img.${what}`);
      await img.waitFor();
      const width = await img.evaluate((el) => el.complete && el.naturalWidth);
      assert.strictEqual(width, 640, `${what} picture not loaded`);
    }
    // The slider shows the page over the baseline up to its position; the
    // button shows one whole, then the other.
    const over = failure.locator('.compare img.over');
    const range = failure.locator('.compare input[type=range]');
    await range.fill('0');
    assert.strictEqual(await over.evaluate((el) => el.style.clipPath), 'inset(0px 100% 0px 0px)');
    await failure.locator('.compare button').click();
    assert.strictEqual(await range.inputValue(), '100');
    assert.match(await failure.locator('.showing').textContent(), /^actual$/);
    await failure.locator('.compare button').click();
    assert.match(await failure.locator('.showing').textContent(), /^baseline$/);

    // The lines failure shows the lines as a diff.
    const lines = page.locator('section.case', { hasText: 'lines' }).last();
    assert.match(await lines.locator('pre.lines .del').first().textContent(), /- ER/);
    assert.ok((await lines.locator('pre.lines .add').count()) > 0);
    // The table links each failure to its section.
    await page.click('table.cases a >> text=lines');

    assert.deepStrictEqual(errors, []);
    for (const url of requests) assert.ok(url.startsWith('file:'), `a request off the disk: ${url}`);
  } finally {
    await browser.close();
  }
});
