// The web page in a real browser (Debian's chromium, headless, driven by
// Playwright): what it shows against `qmt run`, the macro links, the editor's
// open, edit, compile-and-go and save, and the single-file page from disk.
//
// Environment: QMT (the qmt program), QMT_SITE (the built site folder),
// QMT_CHROMIUM (the browser, /usr/bin/chromium by default), QMT_WEB_MODULES
// (the page's node_modules, where Playwright is).
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { createRequire } from "node:module";
import { readPng } from "./png.mjs";
import { serveFolder } from "./static_server.mjs";

const { chromium } = createRequire(join(resolve(process.env.QMT_WEB_MODULES), "x.js"))("playwright-core");
const qmt = process.env.QMT;
const site = resolve(process.env.QMT_SITE);
const fixtures = resolve(import.meta.dirname, "fixtures");
const work = mkdtempSync(join(tmpdir(), "qmt-web-page-"));
const wait = { timeout: 20000 };

let browser;
let server;
let base;

before(async () => {
  ({ server, base } = await serveFolder(site, { "/fixtures/": fixtures }));
  browser = await chromium.launch({
    executablePath: process.env.QMT_CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu"],
    timeout: 60000,
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  rmSync(work, { recursive: true, force: true });
});

// A fresh page (its own storage) that records console errors.
async function openPage(url) {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 1000 } });
  const page = await context.newPage();
  page.problems = [];
  page.on("console", (m) => m.type() === "error" && page.problems.push(m.text()));
  page.on("pageerror", (e) => page.problems.push(e.message));
  await page.goto(url, wait);
  await page.waitForFunction(() => globalThis.qmtsim?.ready, null, wait);
  return page;
}

// The display page as `qmt run ARGS --png` draws it.
function qmtPng(...args) {
  const png = join(work, `expected-${Math.random().toString(36).slice(2)}.png`);
  execFileSync(qmt, ["run", ...args, "--png", png], { stdio: ["ignore", "ignore", "pipe"] });
  return readPng(readFileSync(png));
}

async function canvasRgba(page) {
  const b64 = await page.evaluate(() => {
    const c = document.getElementById("display");
    const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
    let s = "";
    for (let i = 0; i < d.length; i += 0x8000) s += String.fromCharCode(...d.subarray(i, i + 0x8000));
    return btoa(s);
  });
  return Buffer.from(b64, "base64");
}

// The canvas must hold the expected picture pixel for pixel.
async function assertCanvas(page, expected, what) {
  assert.equal(expected.width, 640);
  assert.equal(expected.height, 480);
  const got = await canvasRgba(page);
  let diff = 0, first = -1;
  for (let i = 0; i < got.length; i += 4) {
    if (got[i] !== expected.rgba[i] || got[i + 1] !== expected.rgba[i + 1] || got[i + 2] !== expected.rgba[i + 2]) {
      if (first < 0) first = i / 4;
      diff++;
    }
  }
  const at = first < 0 ? "" : ` first at (${first % 640}, ${Math.floor(first / 640)}): page ` +
    `${[...got.subarray(first * 4, first * 4 + 3)]} qmt ${[...expected.rgba.subarray(first * 4, first * 4 + 3)]}`;
  assert.equal(diff, 0, `${what}: ${diff} pixels differ${at}`);
}

// Waits until the page has run at least n more timer ticks.
async function ticks(page, n) {
  const start = await page.evaluate(() => globalThis.qmtsim.ticks);
  await page.waitForFunction((t) => globalThis.qmtsim.ticks >= t, start + n, wait);
}


// What the page shows at ?timer=off, against qmt: at the start, after a key
// and after a slider move.
async function panelMatchesQmt(page) {
  const scenario = join(work, "slider.scn");
  writeFileSync(scenario, "timer off\nkey 取扱\nslider pres=620\ntick 5\n");
  await assertCanvas(page, qmtPng(), "start");
  await page.click("#swDOC");
  await assertCanvas(page, qmtPng("--event", "B"), "after the key 取扱");
  await page.locator("#TrackPRES").fill("620");
  await ticks(page, 6);
  await assertCanvas(page, qmtPng("--scenario", scenario), "after the pressure slider");
}

describe("the page", { timeout: 120000 }, () => {
  test("from a web server: the display follows the panel as qmt's does, no console errors", async () => {
    const page = await openPage(base + "?timer=off");
    assert.equal(await page.locator("#CheckTimer").isChecked(), false);
    await panelMatchesQmt(page);
    // The zoom enlarges the canvas, not its picture.
    await page.check("input[name=zoom][value='3']");
    assert.deepEqual(await page.evaluate(() => {
      const c = document.getElementById("display");
      return [c.width, c.height, c.getBoundingClientRect().width, getComputedStyle(c).imageRendering];
    }), [640, 480, 1920, "pixelated"]);
    const [shot] = await Promise.all([page.waitForEvent("download", wait), page.click("#screenshot")]);
    const png = readPng(readFileSync(await shot.path()));
    assert.deepEqual([png.width, png.height], [640, 480]);
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });

  test("qmtsim.html opened from disk works the same", async () => {
    const page = await openPage(pathToFileURL(join(site, "qmtsim.html")).href + "?timer=off");
    await panelMatchesQmt(page);
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });

  test("?macro= runs a linked macro, or lists its errors by line", async () => {
    const good = await openPage(base + "?timer=off&macro=fixtures/good.txt");
    await assertCanvas(good, qmtPng(join(fixtures, "good.txt")), "good.txt");
    assert.equal(await good.locator("#tabErrButton").isHidden(), true);
    assert.deepEqual(good.problems, []);
    await good.context().close();

    const broken = await openPage(base + "?timer=off&macro=fixtures/broken.txt");
    await broken.locator("#TabErr").waitFor({ state: "visible", ...wait });
    const first = broken.locator("#ErrLog li").first();
    // The compiler's message, with the editor's line in front.
    const compiled = (() => {
      try {
        execFileSync(qmt, ["compile", join(fixtures, "broken.txt")], { stdio: "pipe" });
        return "";
      } catch (e) {
        return e.stderr.toString();
      }
    })();
    const text = await first.textContent();
    assert.match(text, /^\[3行目\] /);
    assert.ok(compiled.includes(text.replace(/^\[3行目\] /, "").trim()), `${text} not in: ${compiled}`);
    // A click on it goes to that line.
    await first.click();
    await broken.locator("#TabMacro").waitFor({ state: "visible", ...wait });
    const line = await broken.evaluate(() => document.querySelector(".cm-activeLine")?.textContent);
    assert.equal(line, "GOSUB 存在しない");
    assert.deepEqual(broken.problems, []);
    await broken.context().close();
  });

  test("open, edit, F9 and save give the desktop's bytes; the edit survives a reload until reverted", async () => {
    const page = await openPage(base + "?timer=off");
    await page.click("#Button10");
    await page.setInputFiles("#openFile", join(fixtures, "edit-before.txt"));
    await page.waitForFunction(() => document.querySelector(".cm-content")?.textContent.includes("編集前"), null, wait);
    await page.click(".cm-content");
    await page.keyboard.press("Control+End");
    await page.keyboard.insertText("\nbox(300,300,100,60,$200+緑)  // 追加した行");
    await page.keyboard.press("F9");
    await assertCanvas(page, qmtPng(join(fixtures, "edit-after.txt")), "after F9");

    const [saved] = await Promise.all([page.waitForEvent("download", wait), page.click("#Save1")]);
    assert.equal(saved.suggestedFilename(), "edit-before.txt");
    assert.deepEqual(readFileSync(await saved.path()), readFileSync(join(fixtures, "edit-after.txt")));

    await page.waitForFunction(() => Object.keys(localStorage).length > 0, null, wait);
    await page.reload(wait);
    await page.waitForFunction(() => globalThis.qmtsim?.ready, null, wait);
    assert.match(await page.locator(".cm-content").textContent(), /追加した行/);
    await assertCanvas(page, qmtPng(join(fixtures, "edit-after.txt")), "after the reload");
    await page.click("#Button10");
    await page.click("#revert");
    await page.reload(wait);
    await page.waitForFunction(() => globalThis.qmtsim?.ready, null, wait);
    assert.doesNotMatch(await page.locator(".cm-content").textContent(), /追加した行/);
    await assertCanvas(page, qmtPng(), "reverted");
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });
});
