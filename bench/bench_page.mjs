// The web page's figures, each against a baseline from the same run, in
// Debian's headless Chromium:
//  - identification (what the page runs when a file is chosen) against one
//    MD5 pass over the same bytes with the same library, both in the page;
//  - the bytes of every file the page loads, uncompressed;
//  - navigation to a page ready for a file, against a page of the same files
//    and sizes that does nothing with them.
//
// usage: node bench/bench_page.mjs SITE_DIR [ROUNDS]
import { cpSync, mkdtempSync, readdirSync, rmSync, statSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { EDITIONS, launch, ready, serve, syntheticExe } from "../tests/web/harness.mjs";

const site = process.argv[2];
const rounds = Number(process.argv[3] || 15);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// The same site, doing nothing: the engine's glue and the page's module
// become comments of their own sizes, the .wasm is fetched but never
// compiled, and there is no service worker.
function inertSite() {
  const dir = mkdtempSync(join(tmpdir(), "kelm-inert-"));
  cpSync(site, dir, { recursive: true });
  const blank = (name, head) => {
    const size = statSync(join(dir, name)).size;
    writeFileSync(join(dir, name), head + "/*" + " ".repeat(Math.max(0, size - head.length - 4)) + "*/");
  };
  blank("kelm.js", "export default 0;");
  // Ready, as the real page is, once the document is read and the engine's bytes are in.
  blank("app.js", 'import "./kelm.js";const parsed=new Promise((r)=>document.readyState==="loading"?' +
    'document.addEventListener("DOMContentLoaded",r):r());Promise.all([fetch("kelm.wasm").then((r)=>' +
    'r.arrayBuffer()),parsed]).then(()=>{document.documentElement.dataset.ready="1";performance.mark("kelm-ready")});');
  return dir;
}

async function readyTime(browser, origin) {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(origin + "/");
  await ready(page);
  const ms = await page.evaluate(() => performance.getEntriesByName("kelm-ready")[0].startTime);
  await context.close();
  return ms;
}

const browser = await launch();
const real = await serve(site);
const inertDir = inertSite();
const inert = await serve(inertDir);

// Identification against one MD5 pass, in one page, over one file.
{
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(real.origin + "/");
  await ready(page);
  const bytes = Buffer.from(syntheticExe(EDITIONS[0], 96)).toString("base64");
  const result = await page.evaluate(async ({ data, rounds }) => {
    const engine = await (await import("./kelm.js")).default();
    const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
    const at = engine._malloc(bytes.length);
    engine.HEAPU8.set(bytes, at);
    engine.ccall("kelm_put", null, ["string", "number", "number"], ["QUELMOR.EXE", at, bytes.length]);
    // The page's clock is coarse: one reading per batch of calls.
    const time = (name) => {
      const start = performance.now();
      for (let i = 0; i < rounds; i += 1) engine.ccall(name, "string", ["string"], ["QUELMOR.EXE"]);
      return (performance.now() - start) / rounds;
    };
    engine.ccall("kelm_start", "string", [], []);
    time("kelm_md5");   // warm both paths first
    time("kelm_select");
    const md5 = [], identify = [];
    for (let i = 0; i < 9; i += 1) {
      md5.push(time("kelm_md5"));
      identify.push(time("kelm_select"));
    }
    return { md5, identify };
  }, { data: bytes, rounds: 20 });
  const md5 = median(result.md5);
  const identify = median(result.identify);
  console.log("== identification in the page against one MD5 pass (target <= 1.5)");
  console.log(`md5 = ${md5.toFixed(3)} ms, identification = ${identify.toFixed(3)} ms, ratio ${(identify / md5).toFixed(2)}`);
  await context.close();
}

// What the page loads: every distinct file asked for on a first visit, the
// service worker's own fetches for its cache included, at its size on disk.
{
  const context = await browser.newContext();
  const asked = new Set();
  context.on("request", (request) => asked.add(new URL(request.url()).pathname));
  const page = await context.newPage();
  await page.goto(real.origin + "/");
  await ready(page);
  await page.evaluate(() => navigator.serviceWorker.ready);
  await context.close();
  const sizes = [...asked].map((path) => [path, statSync(join(site, path === "/" ? "index.html" : path)).size]);
  const total = sizes.reduce((sum, [, size]) => sum + size, 0);
  console.log("\n== everything the page loads, uncompressed (target <= 300 KB)");
  console.log(`${(total / 1024).toFixed(1)} KB in ${sizes.length} requests (the site: ${readdirSync(site).length} files)`);
  const biggest = sizes.sort((x, y) => y[1] - x[1]).slice(0, 5);
  console.log("biggest: " + biggest.map(([path, size]) => `${path} ${(size / 1024).toFixed(1)} KB`).join(", "));
}

// Navigation to ready, alternating the two pages, each in a fresh profile.
{
  const realTimes = [], inertTimes = [];
  await readyTime(browser, real.origin);   // the first launch of each warms the disk cache
  await readyTime(browser, inert.origin);
  for (let i = 0; i < rounds; i += 1) {
    realTimes.push(await readyTime(browser, real.origin));
    inertTimes.push(await readyTime(browser, inert.origin));
  }
  const a = median(realTimes), b = median(inertTimes);
  console.log(`\n== navigation to a page ready for a file, against the same files doing nothing (target <= 1.3), ${rounds} rounds`);
  console.log(`page = ${a.toFixed(1)} ms, inert page = ${b.toFixed(1)} ms, ratio ${(a / b).toFixed(2)}`);
}

await browser.close();
await real.stop();
await inert.stop();
rmSync(inertDir, { recursive: true, force: true });
