// Takes the README's picture of the page in headless chromium: screen A
// running with a few sliders moved, the sensor panel and the macro editor open.
//   node web/screenshot.mjs SITE_DIR OUT.png
import { resolve } from "node:path";
import { chromium } from "playwright-core";
import { serveFolder } from "../tests/web_page/static_server.mjs";

const [site, out] = process.argv.slice(2).map((p) => resolve(p));
const { server, base } = await serveFolder(site);
const browser = await chromium.launch({
  executablePath: process.env.QMT_CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu"],
});
try {
  const page = await browser.newPage({ viewport: { width: 1480, height: 760 } });
  await page.goto(base + "index.html");
  await page.waitForFunction(() => globalThis.qmtsim?.ready, null, { timeout: 30000 });
  for (const [id, v] of [["#TrackROT", "600"], ["#TrackPRES", "420"], ["#TrackFLOW", "700"]]) await page.locator(id).fill(v);
  await page.click("#Button11");
  await page.click("#swSFT1");
  await page.click("#swRUN");
  await page.click("#Button10");
  // Enough ticks for every gauge's turn to come.
  await page.waitForFunction(() => globalThis.qmtsim.ticks > 40, null, { timeout: 30000 });
  await page.evaluate(() => scrollTo(0, 0));
  await page.mouse.move(0, 0);
  await page.screenshot({ path: out });
} finally {
  await browser.close();
  server.close();
}
