// Bundles the page into a site folder:
//   index.html, app.js, its parts (chunk-*.js, editor-*.js) and
//   qmt_web.wasm                      for a static web server, all of them;
//   qmtsim.html                       the same page in one file, the core
//                                     inlined, for opening from disk.
// Usage: node build.mjs CORE_DIR SITE_DIR
// CORE_DIR holds the core's qmt_web.js and qmt_web.wasm.
import { build } from "esbuild";
import { copyFileSync, existsSync, mkdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { basename, dirname, join, resolve } from "node:path";
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
// The device's glyphs come from fonts whose licences travel with them.
const licenceFile = join(coreDir, "font-licences.txt");
const licences = existsSync(licenceFile)
  ? `<details id="licences"><summary>フォントのライセンス</summary><pre>${readFileSync(licenceFile, "utf8")
      .replace(/&/g, "&amp;").replace(/</g, "&lt;")}</pre></details>`
  : "";
const page = (scripts, preload = "") =>
  template.replace("<!--LICENCES-->", () => licences).replace("<!--ICON-->", () => icon).replace("<!--PRELOAD-->", () => preload).replace("<!--STYLE-->", () => style).replace("<!--SCRIPT-->", () => scripts);

// A fresh folder: no chunk of an earlier build stays behind.
rmSync(siteDir, { recursive: true, force: true });
mkdirSync(siteDir, { recursive: true });
const wasm = readFileSync(join(coreDir, "qmt_web.wasm"));
for (const f of served.outputFiles) writeFileSync(f.path, f.contents);
copyFileSync(join(coreDir, "qmt_web.wasm"), join(siteDir, "qmt_web.wasm"));
const siteScripts = served.outputFiles.map((f) => basename(f.path)).filter((n) => n.endsWith(".js"));
const chunks = siteScripts.filter((n) => n.startsWith("chunk-"));
// When a script is missing (a site copied in part), the page says which
// instead of staying at 読み込み中….
const loader = `<script>import("./app.js").catch(function (e) {
  var parts = ${JSON.stringify(siteScripts)};
  Promise.all(parts.map(function (f) {
    return fetch(f, { method: "HEAD", cache: "no-store" }).then(function (r) { return r.ok ? "" : f + " (" + r.status + ")"; },
                                                             function () { return f; });
  })).then(function (missing) {
    missing = missing.filter(Boolean);
    document.getElementById("loading").hidden = true;
    document.getElementById("messageText").textContent = "ページのスクリプトを読み込めません: " +
      (missing.length ? missing.join("、") + " がありません" : (e && e.message) || e) +
      "。サイトのフォルダのファイル (index.html、qmt_web.wasm、" + parts.join("、") + ") をすべて同じ場所に置いてください";
    document.getElementById("messageBox").hidden = false;
    document.getElementById("messageOk").onclick = function () { document.getElementById("messageBox").hidden = true; };
  });
});</script>`;
// The core downloads and compiles, and the scripts' shared chunks download,
// while app.js loads.
writeFileSync(join(siteDir, "index.html"), page(loader, [
  '<script>if(WebAssembly.compileStreaming)globalThis.__QMT_WASM_COMPILING__=WebAssembly.compileStreaming(fetch("qmt_web.wasm"));</script>',
  ...chunks.map((n) => `<link rel="modulepreload" href="${n}">`),
].join("\n")));
writeFileSync(
  join(siteDir, "qmtsim.html"),
  page(`<script>globalThis.__QMT_WASM__="${wasm.toString("base64")}";</script>\n<script type="module">${app}</script>`),
);
