// The web page's figures, each against a baseline from the same run, in
// Debian's headless Chromium:
//  - identification (what the page runs when a file is chosen) against one
//    MD5 pass over the same bytes with the same library, both in the page;
//  - a first visit against one of today's baseline page (the site as it was
//    at BASELINE, built from git into build/bench-baseline unless --baseline
//    names a built site), each served by its own serve.py: what the browser
//    loads, the page's requests and the service worker's install together,
//    uncompressed and as sent (headers included), and how many requests
//    reached the server (a 304 counts; an answer from the browser's cache
//    does not);
//  - navigation to a page ready for a file, the page against today's page;
//  - Lighthouse's performance score under its default mobile throttling.
//
// usage: node bench/bench_page.mjs SITE_DIR [ROUNDS] [--baseline SITE_DIR]
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, readFileSync, rmSync, symlinkSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

import { EDITIONS, launch, ready, serve, syntheticExe } from "../tests/web/harness.mjs";
import { audit } from "../tests/web/lighthouse.mjs";

// Today's page: the last commit before the page became one self-contained file.
const BASELINE = "06f0d4a";

const args = process.argv.slice(2);
const baselineAt = args.indexOf("--baseline");
const given = baselineAt >= 0 ? args.splice(baselineAt, 2)[1] : null;
const site = resolve(args[0]);
const rounds = Number(args[1] || 15);
const repo = resolve(dirname(fileURLToPath(import.meta.url)), "..");
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const kb = (bytes) => `${(bytes / 1024).toFixed(1)} KB`;

// Today's page, built once from git into build/bench-baseline/src.
function baselineSite() {
  if (given) return { dir: resolve(given), server: undefined };
  const src = join(repo, "build", "bench-baseline", "src");
  const built = join(src, "build", "web", "site");
  if (!existsSync(join(built, "index.html"))) {
    console.log(`(building today's page from ${BASELINE} into ${src})`);
    rmSync(src, { recursive: true, force: true });
    mkdirSync(src, { recursive: true });
    execFileSync("sh", ["-c", `git -C "${repo}" archive ${BASELINE} | tar -x -C "${src}"`]);
    symlinkSync(join(repo, ".cache"), join(src, ".cache"));
    const quiet = { cwd: src, stdio: ["ignore", "ignore", "inherit"] };
    execFileSync("cmake", ["--preset", "web"], quiet);
    execFileSync("cmake", ["--build", "--preset", "web", "--target", "kelm_site"], quiet);
  }
  return { dir: built, server: join(src, "web", "serve.py") };
}

// A first visit in a fresh profile, until the service worker has cached the
// site: every response the browser took from the network, the worker's own
// included (a response from its HTTP cache is no request).
async function firstVisit(browser, origin) {
  const context = await browser.newContext();
  const pending = [];
  const loaded = [];
  context.on("requestfinished", (request) => pending.push((async () => {
    const [response, sizes] = await Promise.all([request.response(), request.sizes()]);
    if (!response || sizes.responseBodySize < 0) return;   // from the HTTP cache
    let bytes = sizes.responseBodySize;
    if (response.headers()["content-encoding"]) bytes = (await response.body()).length;
    loaded.push({ path: new URL(request.url()).pathname, status: response.status(), bytes,
      wire: sizes.responseBodySize + sizes.responseHeadersSize });
  })().catch(() => {})));
  const page = await context.newPage();
  await page.goto(`${origin}/`);
  await ready(page);
  await page.evaluate(() => navigator.serviceWorker.ready);
  await new Promise((done) => setTimeout(done, 300));   // the worker's last responses
  // A response whose worker has gone may never settle: it is not waited for.
  await Promise.all(pending.map((p) => Promise.race([p, new Promise((done) => setTimeout(done, 3000))])));
  await context.close();
  const sum = (key) => loaded.reduce((total, entry) => total + entry[key], 0);
  return { loaded, bytes: sum("bytes"), wire: sum("wire"), requests: loaded.length };
}

async function readyTime(browser, origin) {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(`${origin}/`);
  await ready(page);
  const ms = await page.evaluate(() => performance.getEntriesByName("kelm-ready")[0].startTime);
  await context.close();
  return ms;
}

const baseline = baselineSite();
const browser = await launch();
const real = await serve(site);
const today = await serve(baseline.dir, { script: baseline.server });

// Identification against one MD5 pass, in one page, over one file: the
// engine as the build made it, started in the page beside the page's own.
{
  const wasmDir = join(site, "..", "wasm");
  const context = await browser.newContext({ bypassCSP: true });
  const page = await context.newPage();
  await page.goto(`${real.origin}/`);
  await ready(page);
  await page.addScriptTag({ content: readFileSync(join(wasmDir, "kelm.js"), "utf8") });
  const bytes = Buffer.from(syntheticExe(EDITIONS[0], 96)).toString("base64");
  const wasm = readFileSync(join(wasmDir, "kelm.wasm")).toString("base64");
  const result = await page.evaluate(async ({ data, wasm, rounds }) => {
    const compiled = await WebAssembly.compile(Uint8Array.from(atob(wasm), (c) => c.charCodeAt(0)));
    const engine = await window.createKelm({
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled));
        return {};
      },
    });
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
  }, { data: bytes, wasm, rounds: 20 });
  const md5 = median(result.md5);
  const identify = median(result.identify);
  console.log("== identification in the page against one MD5 pass (target <= 1.5)");
  console.log(`md5 = ${md5.toFixed(3)} ms, identification = ${identify.toFixed(3)} ms, ratio ${(identify / md5).toFixed(2)}`);
  await context.close();
}

// A first visit to each.
{
  const now = await firstVisit(browser, real.origin);
  const before = await firstVisit(browser, today.origin);
  console.log(`\n== a first visit, against today's page (${BASELINE}); target <= 100 KB loaded`);
  const row = (label, v) => console.log(`${label}: ${kb(v.bytes)} loaded, ${kb(v.wire)} on the wire, ${v.requests} requests`);
  row("page         ", now);
  row("today's page ", before);
  console.log(`ratios: loaded ${(now.bytes / before.bytes).toFixed(2)}, wire ${(now.wire / before.wire).toFixed(2)}, ` +
    `requests ${(now.requests / before.requests).toFixed(2)}`);
  console.log("page's requests: " + now.loaded.map((e) => `${e.path} ${e.status} ${kb(e.bytes)}`).join(", "));
}

// Navigation to ready, alternating the two pages, each in a fresh profile.
{
  const nowTimes = [], beforeTimes = [];
  await readyTime(browser, real.origin);   // the first launch of each warms the disk cache
  await readyTime(browser, today.origin);
  for (let i = 0; i < rounds; i += 1) {
    nowTimes.push(await readyTime(browser, real.origin));
    beforeTimes.push(await readyTime(browser, today.origin));
  }
  const a = median(nowTimes), b = median(beforeTimes);
  console.log(`\n== navigation to a page ready for a file, against today's page (target <= 1.0), ${rounds} rounds`);
  console.log(`page = ${a.toFixed(1)} ms, today's page = ${b.toFixed(1)} ms, ratio ${(a / b).toFixed(2)}`);
}

// Lighthouse, mobile, default throttling.
{
  const now = (await audit(`${real.origin}/`, ["performance"])).categories.performance.score;
  const before = (await audit(`${today.origin}/`, ["performance"])).categories.performance.score;
  console.log("\n== Lighthouse performance, mobile with default throttling (target 100, no less than 98)");
  console.log(`page = ${Math.round(now * 100)}, today's page = ${Math.round(before * 100)}`);
}

await browser.close();
await real.stop();
await today.stop();
