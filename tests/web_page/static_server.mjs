// A static web server on 127.0.0.1 (port chosen by the system) for the site
// folder, with further folders under their own prefixes ("/fixtures/").
import { createServer } from "node:http";
import { readFileSync } from "node:fs";
import { extname, join, normalize, sep } from "node:path";

const types = { ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".wasm": "application/wasm",
  ".txt": "text/plain", ".png": "image/png", ".css": "text/css" };

// Resolves to { server, base } once listening; base ends in "/".
export function serveFolder(root, mounts = {}) {
  const s = createServer((req, res) => {
    const path = decodeURIComponent(new URL(req.url, "http://x").pathname);
    const prefix = Object.keys(mounts).find((p) => path.startsWith(p));
    const [dir, rel] = prefix ? [mounts[prefix], path.slice(prefix.length)] : [root, path.slice(1) || "index.html"];
    const file = normalize(join(dir, rel));
    try {
      if (!file.startsWith(normalize(dir) + sep)) throw new Error("outside the folder");
      const body = readFileSync(file);
      res.writeHead(200, { "content-type": types[extname(file)] ?? "application/octet-stream" });
      res.end(body);
    } catch {
      res.writeHead(404);
      res.end();
    }
  });
  return new Promise((ok, fail) => {
    s.on("error", fail);
    s.listen(0, "127.0.0.1", () => ok({ server: s, base: `http://127.0.0.1:${s.address().port}/` }));
  });
}
