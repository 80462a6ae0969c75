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
import { cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
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
const examples = resolve(import.meta.dirname, "../../docs/manual/examples");
const work = mkdtempSync(join(tmpdir(), "qmt-web-page-"));
const wait = { timeout: 20000 };

let browser;
let server;
let base;

before(async () => {
  ({ server, base } = await serveFolder(site, { "/fixtures/": fixtures, "/work/": work }));
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
  // The page sends nothing anywhere: every request stays with the page's own
  // files (or data: and blob: addresses it makes itself).
  page.on("request", (r) => {
    const u = r.url();
    if (!u.startsWith(base) && !u.startsWith("file:") && !/^(data|blob):/.test(u)) page.problems.push(`request ${u}`);
  });
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

// Shows the tool window (色(デバッグ) toggles it).
async function showTool(page) {
  if (await page.locator("#tool").isHidden()) await page.click("#Button10");
  await page.locator("#tool").waitFor({ state: "visible", ...wait });
}

// Waits until the page has run at least n more timer ticks.
async function ticks(page, n) {
  const start = await page.evaluate(() => globalThis.qmtsim.ticks);
  await page.waitForFunction((t) => globalThis.qmtsim.ticks >= t, start + n, wait);
}


// A file dropped on the page, as the browser delivers it.
function dropOn(page, name, bytes) {
  return page.evaluate(([name, b64]) => {
    const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const data = new DataTransfer();
    data.items.add(new File([bytes], name));
    document.body.dispatchEvent(new DragEvent("drop", { dataTransfer: data, bubbles: true, cancelable: true }));
  }, [name, Buffer.from(bytes).toString("base64")]);
}

// The message box's text, once it shows; the box is closed again.
async function message(page) {
  await page.locator("#messageBox").waitFor({ state: "visible", ...wait });
  const text = await page.locator("#messageText").textContent();
  await page.click("#messageOk");
  return text;
}

async function save(page) {
  const [saved] = await Promise.all([page.waitForEvent("download", wait), page.click("#Save1")]);
  return readFileSync(await saved.path());
}

// An opened file is kept in the browser's storage at once.
async function reload(page) {
  await page.reload(wait);
  await page.waitForFunction(() => globalThis.qmtsim?.ready, null, wait);
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

describe("the page", { timeout: 600000 }, () => {
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

  test("qmtsim.html from disk with ?macro=: says the browser forbids it and offers to pick the file", async () => {
    const page = await openPage(pathToFileURL(join(site, "qmtsim.html")).href + "?timer=off&macro=good.txt");
    await page.locator("#messageBox").waitFor({ state: "visible", ...wait });
    assert.match(await page.locator("#messageText").textContent(), /「good\.txt」を読めません: .*ブラウザ.*組み込みのマクロ/);
    const [chooser] = await Promise.all([page.waitForEvent("filechooser", wait), page.click("#messagePick")]);
    await chooser.setFiles(join(fixtures, "good.txt"));
    await page.locator("#messageBox").waitFor({ state: "hidden", ...wait });
    await page.waitForFunction(() => document.querySelector(".cm-content")?.textContent.includes("リンクで開くマクロ"), null, wait);
    await assertCanvas(page, qmtPng(join(fixtures, "good.txt")), "the picked good.txt");
    // The page tries to read the file (a browser may be set to allow it);
    // the refusal is a console error, and nothing else may go wrong.
    assert.deepEqual(page.problems.filter((p) => !/net::ERR_FAILED|file:|Fetch API/.test(p)), []);
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
    await broken.locator(".cm-activeLine", { hasText: "GOSUB 存在しない" }).waitFor(wait);
    assert.deepEqual(broken.problems, []);
    await broken.context().close();
  });

  test("?macro= starts the linked macro as qmt run starts it, not on top of the built-in one", async () => {
    // Macros that lean on their start: the screen, the colour c() last sent,
    // the text position, the needles.  Served as stored, in code page 932.
    const names = ["trap-colour-cache", "trap-needle", "bi-text", "first-macro", "walk-panel", "lang-strings"];
    const context = await browser.newContext({ viewport: { width: 1280, height: 1000 } });
    const page = await context.newPage();
    const problems = [];
    page.on("pageerror", (e) => problems.push(e.message));
    for (const name of names) {
      const file = join(work, `${name}.txt`);
      cpSync(join(examples, `${name}.mac`), file);
      await page.goto(`${base}?timer=off&macro=work/${name}.txt`, wait);
      await page.waitForFunction(() => globalThis.qmtsim?.ready, null, wait);
      await assertCanvas(page, qmtPng(file), name);
      assert.equal(await page.locator("#messageBox").isHidden(), true, name);
    }
    assert.deepEqual(problems, []);
    await context.close();
  });

  test("index.html with a script of the site missing says which, not 読み込み中… for ever", async () => {
    const partial = join(work, "partial-site");
    cpSync(site, partial, { recursive: true, filter: (f) => !/chunk-.*\.js$/.test(f) });
    const { server: s, base: b } = await serveFolder(partial);
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(b, wait);
    await page.locator("#messageBox").waitFor({ state: "visible", ...wait });
    assert.match(await page.locator("#messageText").textContent(), /chunk-\w+\.js \(404\)[^。]*がありません。.*すべて同じ場所に/);
    assert.equal(await page.locator("#loading").isHidden(), true);
    await context.close();
    s.close();
  });

  test("dropped files: a picture is drawn at the top left, another kind is refused by name", async () => {
    const page = await openPage(base + "?timer=off");
    // A 2 x 2 BMP, 24 bits, every pixel red.
    const bmp = Buffer.alloc(54 + 16);
    bmp.write("BM", 0, "latin1");
    bmp.writeUInt32LE(bmp.length, 2);
    bmp.writeUInt32LE(54, 10);
    bmp.writeUInt32LE(40, 14);
    bmp.writeInt32LE(2, 18);
    bmp.writeInt32LE(2, 22);
    bmp.writeUInt16LE(1, 26);
    bmp.writeUInt16LE(24, 28);
    bmp.writeUInt32LE(16, 34);
    for (const row of [54, 62]) for (const x of [0, 3]) bmp.set([0, 0, 255], row + x);
    const drop = (name, bytes) => dropOn(page, name, bytes);
    const pixel = (x, y) => canvasRgba(page).then((d) => [...d.subarray((y * 640 + x) * 4, (y * 640 + x) * 4 + 3)]);
    const beside = await pixel(2, 0);
    await drop("RED.BMP", bmp);
    await page.waitForFunction(() => {
      const d = document.getElementById("display").getContext("2d").getImageData(1, 1, 1, 1).data;
      return d[0] > 200 && d[1] < 60 && d[2] < 60;
    }, null, wait);
    assert.deepEqual(await pixel(2, 0), beside);
    await drop("notes.doc", Buffer.from("x"));
    await page.locator("#messageBox").waitFor({ state: "visible", ...wait });
    assert.match(await page.locator("#messageText").textContent(), /notes\.doc.*はサポートしていない/);
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });

  test("open, edit, F9 and save give the desktop's bytes; the edit survives a reload until reverted", async () => {
    const page = await openPage(base + "?timer=off");
    await showTool(page);
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

    // Opening the file stored it already: the wait is for the edit itself,
    // stored a moment after the last keystroke.
    await page.waitForFunction(() => localStorage.getItem("qmt3308.macro:")?.includes("追加した行"), null, wait);
    const reload = async () => {
      await page.reload(wait);
      await page.waitForFunction(() => globalThis.qmtsim?.ready, null, wait);
      return page.locator(".cm-content").textContent();
    };
    assert.match(await reload(), /追加した行/);
    await assertCanvas(page, qmtPng(join(fixtures, "edit-after.txt")), "after the reload");
    // An edit typed just before the reload is not lost.
    await showTool(page);
    await page.click(".cm-content");
    await page.keyboard.press("Control+End");
    await page.keyboard.insertText("\n// 直前の行");
    assert.match(await reload(), /追加した行[^]*直前の行/);
    // 編集を破棄 right after typing: what was typed is not stored behind it.
    await showTool(page);
    await page.click(".cm-content");
    await page.keyboard.press("Control+End");
    await page.keyboard.insertText("\n// 破棄する行");
    await page.click("#revert");
    const reverted = await reload();
    assert.doesNotMatch(reverted, /追加した行|直前の行|破棄する行/);
    await assertCanvas(page, qmtPng(), "reverted");
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });

  test("bytes code page 932 does not hold (a stray byte, NUL) open, run, save and reload as qmt takes them", async () => {
    const bytes = Buffer.concat([
      readFileSync(join(fixtures, "good.txt")),
      Buffer.from("// stray: "), Buffer.from([0xa0, 0x85, 0x41]), Buffer.from(" end\r\n"),
      Buffer.from("// nul: "), Buffer.from([0]), Buffer.from(" after\r\n"),
      Buffer.from("box(300,300,100,60,1)\r\n"),
    ]);
    const file = join(work, "stray.txt");
    writeFileSync(file, bytes);
    const page = await openPage(base + "?timer=off");
    await page.click("#Button10");
    await page.setInputFiles("#openFile", file);
    // Each byte shows as its value, apart from the text.
    await page.locator(".cm-keptByte").first().waitFor(wait);
    assert.deepEqual(await page.locator(".cm-keptByte").allTextContents(), ["A0", "85", "41", "00"]);
    await page.click(".cm-content");
    await page.keyboard.press("F9");
    await assertCanvas(page, qmtPng(file), "after F9");
    assert.deepEqual(await save(page), bytes);
    await reload(page);
    assert.equal(await page.locator("#tabErrButton").isHidden(), true);
    await assertCanvas(page, qmtPng(file), "after the reload");
    await page.click("#Button10");
    assert.deepEqual(await save(page), bytes);
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });

  test("a UTF-8 file, as Notepad saves it, is offered for conversion; declined, its bytes stay", async () => {
    const sjis = readFileSync(join(fixtures, "good.txt"));
    const utf8 = Buffer.from(new TextDecoder("shift_jis").decode(sjis));
    const bom = Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), utf8]);
    const cases = [
      { name: "bom.txt", bytes: bom, how: "open", convert: true, saved: sjis },
      { name: "plain.txt", bytes: utf8, how: "drop", convert: true, saved: sjis },
      { name: "kept.txt", bytes: utf8, how: "open", convert: false, saved: utf8 },
    ];
    for (const c of cases) {
      const page = await openPage(base + "?timer=off");
      await page.click("#Button10");
      if (c.how === "open") {
        writeFileSync(join(work, c.name), c.bytes);
        await page.setInputFiles("#openFile", join(work, c.name));
      } else {
        await dropOn(page, c.name, c.bytes);
      }
      await page.locator("#choiceBox").waitFor({ state: "visible", ...wait });
      assert.match(await page.locator("#choiceText").textContent(), new RegExp(`「${c.name}」は UTF-8 で書かれた`));
      await page.click(c.convert ? "#choiceYes" : "#choiceNo");
      if (c.convert) {
        await page.waitForFunction(() => document.querySelector(".cm-content")?.textContent.includes("ウェブ版の試験"),
          null, wait);
        if (c.how === "open") {
          await page.click(".cm-content");
          await page.keyboard.press("F9");
        }
        await assertCanvas(page, qmtPng(join(fixtures, "good.txt")), c.name);
      }
      assert.deepEqual(await save(page), c.saved, c.name);
      assert.deepEqual(page.problems, [], c.name);
      await page.context().close();
    }
  });

  test("dropped pictures: refused in the windows' words, a size past the limits from the header alone, CMYK drawn", async () => {
    const page = await openPage(base + "?timer=off");
    await dropOn(page, "bad.bmp", Buffer.from("BMxx"));
    assert.equal(await message(page), "「bad.bmp」は読める画像ファイルではありません");
    // Only the header is there, claiming 11000 x 11000: refused before the
    // browser decodes anything.
    const huge = Buffer.from([0xff, 0xd8, 0xff, 0xc0, 0x00, 0x11, 0x08, 0x2a, 0xf8, 0x2a, 0xf8, 0x03, 0x01, 0x22, 0x00]);
    await dropOn(page, "huge.jpg", huge);
    assert.match(await message(page), /^「huge\.jpg」は 11000 × 11000 画素の画像で、大きすぎて読み込めません/);
    // A CMYK picture, as Adobe's programs store it: red on the left, blue on
    // the right, as the window draws it.
    await dropOn(page, "cmyk.jpg", readFileSync(join(fixtures, "cmyk.jpg")));
    await page.waitForFunction(() => {
      const d = document.getElementById("display").getContext("2d").getImageData(0, 0, 64, 1).data;
      const red = (i) => d[i * 4] > 200 && d[i * 4 + 1] < 60 && d[i * 4 + 2] < 60;
      const blue = (i) => d[i * 4] < 60 && d[i * 4 + 1] < 60 && d[i * 4 + 2] > 200;
      return red(2) && red(29) && blue(34) && blue(61);
    }, null, wait);
    assert.deepEqual(page.problems, []);
    await page.context().close();
  });
});
