// qmt test's HTML report opened in a headless Chromium: the summary, a
// failure's three pictures loaded, the slider and the toggle, the lines
// diff, and not one request that leaves the disk; a one-pixel difference
// shown at its own size and marked.
const { test } = require('node:test');
const assert = require('node:assert');
const { chromium } = require('playwright-core');
const { pathToFileURL } = require('node:url');
const fs = require('node:fs');

function launchChromium() {
  return chromium.launch({
    executablePath: process.env.QMT_CHROMIUM,
    headless: true,
    timeout: 60000,
    args: ['--no-sandbox'],
  });
}

test('the report shows each failure', async () => {
  const browser = await launchChromium();
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
    assert.match(summary, /3 failed/);
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

// A page that differs in one pixel: the pictures at one screen pixel a page
// pixel, twice that on a click, and a ring around the pixel that is never
// too small to see, on every picture; each links to its file.
test('a one-pixel difference is shown 1:1 and marked', async () => {
  const browser = await launchChromium();
  try {
    const page = await browser.newPage({ viewport: { width: 2200, height: 1400 }, deviceScaleFactor: 1 });
    page.setDefaultTimeout(30000);
    await page.goto(pathToFileURL(process.env.QMT_REPORT).href, { waitUntil: 'load' });
    const failure = page.locator('section.case', { hasText: 'dot.scn' });
    assert.match(await failure.locator('.message').textContent(), /screen differs in 1 pixels?, first at \(123, 45\)/);
    const px = { x: 123, y: 45 };
    // The ring's centre on the pixel's centre, and at least 14 screen pixels
    // across, at both sizes.
    const ringOn = async (shot, scale) => {
      const box = await shot.locator('img').first().boundingBox();
      assert.strictEqual(Math.round(box.width), 640 * scale);
      assert.strictEqual(Math.round(box.height), 480 * scale);
      const marks = shot.locator('.mark');
      assert.strictEqual(await marks.count(), 1);
      const ring = await marks.boundingBox();
      assert.ok(Math.abs(ring.x + ring.width / 2 - (box.x + (px.x + 0.5) * scale)) <= 1, JSON.stringify([ring, box]));
      assert.ok(Math.abs(ring.y + ring.height / 2 - (box.y + (px.y + 0.5) * scale)) <= 1, JSON.stringify([ring, box]));
      assert.ok(ring.width >= 14 && ring.height >= 14, JSON.stringify(ring));
    };
    for (const what of ['baseline', 'actual', 'diff']) {
      const shot = failure.locator('.pictures .shot', { has: page.locator(`img.${what}`) });
      await shot.locator('img').evaluate((img) => img.decode());
      await ringOn(shot, 1);
      await shot.click();
      await ringOn(shot, 2);
      if (what === 'diff' && process.env.QMT_REPORT_SHOT) await shot.screenshot({ path: process.env.QMT_REPORT_SHOT });
      await shot.click();
      await ringOn(shot, 1);
      // The link opens the picture file itself.
      const href = await shot.locator('xpath=..').locator('figcaption a').getAttribute('href');
      assert.strictEqual(href, await shot.locator('img').getAttribute('src'));
      assert.ok(fs.existsSync(new URL(href, pathToFileURL(process.env.QMT_REPORT)).pathname), href);
    }
    await ringOn(failure.locator('.compare .shot'), 1);
    // The rings can be hidden, to see the pixels under them.
    await failure.locator('input.marks').uncheck();
    assert.strictEqual(await failure.locator('.pictures .mark').first().isVisible(), false);
    await failure.locator('input.marks').check();
    assert.strictEqual(await failure.locator('.pictures .mark').first().isVisible(), true);
  } finally {
    await browser.close();
  }
});
