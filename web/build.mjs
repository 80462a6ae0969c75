// Bundles the page into a site folder:
//   index.html, app.js, qmt_web.wasm  for a static web server;
//   qmtsim.html                       the same page in one file, the core
//                                     inlined, for opening from disk.
// Usage: node build.mjs CORE_DIR SITE_DIR
// CORE_DIR holds the core's qmt_web.js and qmt_web.wasm.
import { build } from "esbuild";
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const [coreDir, siteDir] = process.argv.slice(2).map((p) => resolve(p));
if (!coreDir || !siteDir) {
  console.error("usage: node build.mjs CORE_DIR SITE_DIR");
  process.exit(2);
}

const options = {
  entryPoints: { app: join(here, "src/main.ts") },
  bundle: true,
  format: "esm",
  platform: "browser",
  target: ["es2022", "chrome100", "firefox100", "safari15"],
  minify: true,
  legalComments: "none",
  write: false,
  alias: { "qmt-core": join(coreDir, "qmt_web.js") },
  // The core's loader also knows node; those branches never run here.
  external: ["fs", "path", "url", "module", "crypto", "worker_threads", "node:*"],
  logLevel: "warning",
};
// For the server, the editor is a chunk of its own that loads after the
// display is up; the single file holds everything in one script.
const served = await build({ ...options, splitting: true, outdir: siteDir, chunkNames: "[name]-[hash]" });
const single = await build(options);
// A script inlined into HTML must not close its own element.
const app = single.outputFiles[0].text.replaceAll("</script", "<\\/script");

const template = readFileSync(join(here, "index.html"), "utf8");
const style = `<style>\n${readFileSync(join(here, "src/style.css"), "utf8")}</style>`;
const icon = `<link rel="icon" type="image/png" href="data:image/png;base64,${
  readFileSync(join(here, "../packaging/icons/qmtsim-32.png")).toString("base64")}">`;
const page = (scripts, preload = "") =>
  template.replace("<!--ICON-->", () => icon).replace("<!--PRELOAD-->", () => preload).replace("<!--STYLE-->", () => style).replace("<!--SCRIPT-->", () => scripts);

mkdirSync(siteDir, { recursive: true });
const wasm = readFileSync(join(coreDir, "qmt_web.wasm"));
for (const f of served.outputFiles) writeFileSync(f.path, f.contents);
copyFileSync(join(coreDir, "qmt_web.wasm"), join(siteDir, "qmt_web.wasm"));
// The core downloads while the scripts load.
writeFileSync(join(siteDir, "index.html"), page('<script type="module" src="app.js"></script>',
  '<link rel="preload" href="qmt_web.wasm" as="fetch" type="application/wasm" crossorigin>'));
writeFileSync(
  join(siteDir, "qmtsim.html"),
  page(`<script>globalThis.__QMT_WASM__="${wasm.toString("base64")}";</script>\n<script type="module">${app}</script>`),
);
