// The web page's figures, measured in headless chromium and written as a
// Google Benchmark JSON file for scripts/bench_report.py:
//   BM_Web_PageFirstFrame  index.html from a local server to its first
//                          painted frame (navigation start to the first
//                          animation frame after the display was drawn);
//   BM_Web_PageTick        one 33 ms timer tick with its canvas update, on
//                          screen A with the timer running (it redraws);
//   BM_Web_SiteCompressed  the site folder's files, each gzip -9, summed.
// Usage: node page_bench.mjs SITE_DIR OUT.json   (QMT_WEB_MODULES, QMT_CHROMIUM
// as for the page's tests)
import { readdirSync, readFileSync, statSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { join, resolve } from "node:path";
import { gzipSync } from "node:zlib";
import { serveFolder } from "../../tests/web_page/static_server.mjs";

const [siteArg, out] = process.argv.slice(2);
const site = resolve(siteArg);
const { chromium } = createRequire(join(resolve(process.env.QMT_WEB_MODULES), "x.js"))("playwright-core");
const repetitions = Number(process.env.QMT_BENCH_REPETITIONS || 5);

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const row = (name, ms, extra = {}) => ({
  name, run_name: name, run_type: "iteration", iterations: 1,
  real_time: ms * 1e6, cpu_time: ms * 1e6, time_unit: "ns", ...extra,
});

const { server, base } = await serveFolder(site);
const browser = await chromium.launch({
  executablePath: process.env.QMT_CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu"],
});
const benchmarks = [];
try {
  const first = [];
  for (let i = 0; i < repetitions; ++i) {
    // A new context each time: nothing cached from the previous load.
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(base + "index.html");
    const ms = await page.waitForFunction(() => performance.getEntriesByName("qmt-first-frame")[0]?.startTime,
      null, { timeout: 30000 });
    first.push(await ms.jsonValue());
    await context.close();
  }
  benchmarks.push(row("BM_Web_PageFirstFrame", median(first)));

  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(base + "index.html");
  await page.waitForFunction(() => globalThis.qmtsim?.ready, null, { timeout: 30000 });
  const tick = await page.evaluate(async (n) => {
    // The page's clock is coarse: the mean over many ticks.
    let updates = 0;
    const t0 = performance.now();
    for (let i = 0; i < n; ++i) {
      const frame = globalThis.qmtsim.frame;
      await globalThis.qmtsim.step();
      if (globalThis.qmtsim.frame !== frame) updates++;
    }
    return { ms: (performance.now() - t0) / n, updates: updates / n };
  }, 300);
  benchmarks.push(row("BM_Web_PageTick", tick.ms, { canvas_updates: tick.updates }));
  await context.close();

  let bytes = 0;
  for (const f of readdirSync(site)) {
    const p = join(site, f);
    if (statSync(p).isFile()) bytes += gzipSync(readFileSync(p), { level: 9 }).length;
  }
  benchmarks.push(row("BM_Web_SiteCompressed", 0, { site_bytes: bytes }));
} finally {
  await browser.close();
  server.close();
}
writeFileSync(out, JSON.stringify({ context: {}, benchmarks }, null, 1));
