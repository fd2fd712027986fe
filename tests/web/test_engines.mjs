// The page as a user meets it, the same test code in each browser engine
// (KELM_ENGINE: chromium, firefox or webkit; see engines.mjs): served by
// web/serve.py and opened straight from disk, every edition chosen through
// "Browse" and patched by download, bytes equal to native kelm-patch's;
// refusals; the limit field; the keyboard; screenshots at a desktop's and a
// phone's width; a reload with the server gone; no file fetched twice on a
// first visit, no request elsewhere, no error reported by the page; the page
// in the language the browser asks for and in the one the player chooses.
import assert from "node:assert/strict";
import { cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { after, before, test } from "node:test";

import { launchEngine } from "./engines.mjs";
import { EDITIONS, expectPatched, readMessage, serve, syntheticExe, translations } from "./harness.mjs";

const engineName = process.env.KELM_ENGINE || "chromium";
const site = process.env.KELM_SITE;
const shots = process.env.KELM_SHOTS || join(tmpdir(), "kelm-web-shots");

let engine;
let server;
let scratch;
let serverLog;

before(async () => {
  assert.ok(site, "KELM_SITE must name the built site");
  scratch = mkdtempSync(join(tmpdir(), `kelm-${engineName}-`));
  serverLog = join(scratch, "requests.log");
  writeFileSync(serverLog, "");
  server = await serve(site, { log: serverLog });
  engine = await launchEngine(engineName);
  mkdirSync(shots, { recursive: true });
});

after(async () => {
  await engine?.close();
  await server?.stop();
  if (scratch) rmSync(scratch, { recursive: true, force: true });
});

// Runs `use` on the page at `url` in `browser`, ready for a file, and closes
// it however `use` ends; a page that reported an error fails the test.
async function withPage(url, options, use, browser = engine) {
  const page = await browser.open(url, options);
  try {
    const state = await page.waitFor(() => {
      const root = document.documentElement;
      return (root.hasAttribute("data-ready") && "ready") || (root.hasAttribute("data-failed") && "failed");
    }, undefined, "the page to start");
    assert.equal(state, "ready", await page.evaluate(() => document.getElementById("unavailable").textContent));
    await use(page);
    assert.deepEqual(await page.errors(), [], "errors the page reported");
  } finally {
    await page.close();
  }
}

const served = (options, use) => withPage(`${server.origin}/`, options, use);

async function choose(page, name, bytes) {
  const path = join(scratch, name);
  writeFileSync(path, bytes);
  await page.chooseFile(path);
  return path;
}

const field = (page, id) => page.evaluate((i) => {
  const element = document.getElementById(i);
  return "value" in element && element.tagName !== "OUTPUT" ? element.value : element.textContent;
}, id);

const waitStatus = (page, text) =>
  page.waitFor((t) => document.getElementById("status").textContent === t, text, `status "${text}"`);

async function message(page) {
  await page.waitFor(() => document.getElementById("message").open, undefined, "the popup");
  return page.evaluate(readMessage);
}

async function dismiss(page) {
  await page.click("#message-ok");
  await page.waitFor(() => !document.getElementById("message").open, undefined, "the popup to close");
}

// Every edition chosen, identified, set to 30 fps (and the music fix where
// the edition has one) and patched by download.
async function patchEveryEdition(page, tag) {
  for (const [index, edition] of EDITIONS.entries()) {
    const original = syntheticExe(edition, 60 + index);
    const musicFix = Boolean(edition.fix);
    const name = `${tag}-${index}.EXE`;
    await choose(page, name, original);
    await waitStatus(page, `Modified ${edition.name}`);
    assert.equal(await field(page, "fps"), String(60 + index));
    assert.equal(await field(page, "path"), name);
    assert.equal(await page.evaluate(() => document.getElementById("music-fix").disabled), !musicFix);
    await page.fill("#fps", "30");
    assert.equal(await field(page, "fps-slider"), "30");
    if (musicFix) await page.check("#music-fix");
    const patched = await page.download(name, () => page.click("#patch"));
    const shown = await message(page);
    assert.equal(shown.title, "Success");
    assert.match(shown.note, new RegExp(`saved as a download named ${name}`));
    expectPatched(edition, original, patched, 30, musicFix);
    await dismiss(page);
  }
}

test(`${engineName}: served, every edition is identified and patched by download`, async () => {
  await served({}, (page) => patchEveryEdition(page, "SERVED"));
});

// The web zip's folder as a user unpacks it.
function fromDisk() {
  const unpacked = join(scratch, "kelm-patcher-web");
  cpSync(site, unpacked, { recursive: true });
  return pathToFileURL(join(unpacked, "index.html")).href;
}

test(`${engineName}: opened from disk, every edition is identified and patched by download`, async () => {
  await withPage(fromDisk(), {}, (page) => patchEveryEdition(page, "DISK"));
});

test(`${engineName}: no file, a file of the wrong size, a file changed after Browse: a message, and nothing saved`,
  () => served({}, async (page) => {
    const supported = "Supported:\nv1.1 CD-ROM edition, v1.01 CD-ROM edition,\nv1.0 CD-ROM edition,\n";
    await page.click("#patch");
    let shown = await message(page);
    assert.equal(shown.title, "Reading error");
    assert.ok(shown.text.startsWith("Please, choose Quelmor: Kelm executable first\n" + supported));
    await dismiss(page);

    const edition = EDITIONS[3];
    const good = syntheticExe(edition, 70);
    await choose(page, "wrong.exe", good.subarray(1));
    shown = await message(page);
    assert.equal(shown.title, "Unsupported file");
    assert.ok(shown.text.startsWith(supported));
    assert.equal(await field(page, "path"), "Choose Quelmor: Thornmere executable...");
    await dismiss(page);

    const path = await choose(page, "changed.exe", good);
    await waitStatus(page, `Modified ${edition.name}`);
    const changed = syntheticExe(EDITIONS[4], 70);
    writeFileSync(path, changed);
    await page.click("#patch");
    shown = await message(page);
    assert.equal(shown.title, "Reading error");
    assert.match(shown.text, /has changed or gone since it was chosen/);
    assert.deepEqual(new Uint8Array(readFileSync(path)), changed);
    await dismiss(page);
  }));

test(`${engineName}: the limit field keeps the last good limit; keyboard alone reaches everything`,
  () => served({}, async (page) => {
    const order = [];
    for (let i = 0; i < 5; i += 1) {
      await page.press("Tab");
      order.push(await page.evaluate(() => document.activeElement.id));
    }
    // The music-fix box is disabled until a v1.1 edition is chosen.
    assert.deepEqual(order, ["file", "fps", "fps-slider", "info", "patch"]);
    await page.press("Tab");
    assert.equal(await page.evaluate(() => document.activeElement.id), "language", "the language chooser, last");
    await page.press("Shift+Tab");
    await page.press("Shift+Tab");
    await page.press("Enter");
    assert.equal((await message(page)).title, "Information");
    assert.equal(await page.evaluate(() => document.activeElement.id), "message-ok");
    await page.press("Escape");
    await page.waitFor(() => !document.getElementById("message").open, undefined, "Escape to close the popup");

    const edition = EDITIONS[2];
    const original = syntheticExe(edition, 50);
    await choose(page, "LIMIT.EXE", original);
    await waitStatus(page, `Modified ${edition.name}`);
    for (const typed of ["", "0", "-4"]) {
      await page.fill("#fps", typed);
      await page.press("Tab");
      assert.equal(await field(page, "fps"), "50", `after "${typed}"`);
    }
    // Tab left the field for the slider.
    assert.equal(await page.evaluate(() => document.activeElement.id), "fps-slider");
    await page.press("ArrowRight");
    assert.equal(await field(page, "fps"), "51");
    await page.press("Tab");
    await page.press("Tab");
    assert.equal(await page.evaluate(() => document.activeElement.id), "patch");
    const patched = await page.download("LIMIT.EXE", () => page.press("Enter"));
    assert.equal((await message(page)).title, "Success");
    expectPatched(edition, original, patched, 51, false);
  }));

test(`${engineName}: screenshots at a desktop's and a phone's width, nothing wider than the screen`, async () => {
  for (const [label, viewport] of [["desktop", { width: 1280, height: 800 }], ["phone", { width: 390, height: 844 }]]) {
    await served({ viewport }, async (page) => {
      assert.equal(await page.evaluate(() => window.innerWidth), viewport.width);
      await choose(page, "QUELMOR.EXE", syntheticExe(EDITIONS[0], 96));
      await waitStatus(page, `Modified ${EDITIONS[0].name}`);
      await page.check("#music-fix");
      await page.screenshot(join(shots, `${engineName}-${label}.png`));
      const width = await page.evaluate(() => document.documentElement.scrollWidth);
      assert.ok(width <= viewport.width, `${label}: the page is ${width} px wide`);
      await page.download("QUELMOR.EXE", () => page.click("#patch"));
      await message(page);
      await page.screenshot(join(shots, `${engineName}-${label}-success.png`));
    });
  }
});

// The page's lang attribute, chooser, "Browse" and path field in the words
// of `code` ("" for English); `file`: the chosen file's name, else the prompt.
async function expectLanguage(page, code, file) {
  const tr = translations(code);
  assert.deepEqual(await page.evaluate(() => [document.documentElement.lang, ...["language", "browse", "path"]
    .map((id) => document.getElementById(id)[id === "language" ? "value" : "textContent"])]),
  [code.replace("_", "-") || "en", code, tr("Browse"), file || tr("Choose Quelmor: Thornmere executable...")]);
}

const statusIn = (code, edition) => translations(code)("Modified %s").replace("%s", translations(code)(edition.name));

// The languages the browser asks for, the page's language for them, and one
// the player chooses, which must hold over a reload and, served, offline.
const LANGUAGE_CASES = [
  { asks: "es-MX", shows: "es", chooses: "de" },
  { asks: "pt-BR", shows: "pt_BR" },
  { asks: "zh-Hant-TW", shows: "" },
];

for (const { asks, shows, chooses } of LANGUAGE_CASES) {
  test(`${engineName}: a browser asking for ${asks} gets ${shows || "English"}${chooses ? `, then ${chooses}` : ""}`,
    async () => {
      const browser = await launchEngine(engineName, { languages: [asks] });
      const log = join(scratch, `requests-${asks}.log`);
      const own = await serve(site, { log });
      try {
        for (const url of [fromDisk(), `${own.origin}/`]) {
          await withPage(url, {}, async (page) => {
            await expectLanguage(page, shows);
            if (!chooses) return;
            await choose(page, "LANG.EXE", syntheticExe(EDITIONS[0], 50));
            await waitStatus(page, statusIn(shows, EDITIONS[0]));
            await page.select("#language", chooses);
            await waitStatus(page, statusIn(chooses, EDITIONS[0]));
            await expectLanguage(page, chooses, "LANG.EXE");
            await page.reload();
            await page.waitFor(() => document.documentElement.hasAttribute("data-ready"), undefined, "a reload");
            await expectLanguage(page, chooses);
            if (url.startsWith("file:")) return;
            // Offline: both kept, the first loaded before the worker took the page.
            const files = [shows, chooses].map((code) => `lang/${code}.js`);
            await page.waitFor((names) => Promise.all(names.map((name) => caches.match(name)))
              .then((kept) => kept.every(Boolean)), files, "the worker to keep both languages");
            await own.stop();
            await page.reload();
            await page.waitFor(() => document.documentElement.hasAttribute("data-ready"), undefined, "offline");
            await expectLanguage(page, chooses);
            await page.select("#language", shows);
            await page.waitFor((tag) => document.documentElement.lang === tag, shows, "a language offline");
            const asked = readFileSync(log, "utf8").split("\n").map((line) => line.split(" ")[1]);
            for (const name of files) {
              const times = asked.filter((path) => path === `/${name}`).length;
              assert.ok(times === 1 || (!engine.httpCache && times === 2), `${name} asked for ${times} times`);
            }
          }, browser);
        }
      } finally {
        await browser.close();
        await own.stop();
      }
    });
}

// Last: it stops the server.
test(`${engineName}: a first visit fetches each file once; a reload with the server gone works`, async () => {
  const before = readFileSync(serverLog, "utf8").length;
  await served({}, async (page) => {
    await page.waitFor(async () => {
      const registration = await navigator.serviceWorker.ready;
      return Boolean(registration.active && navigator.serviceWorker.controller);
    }, undefined, "the service worker to take the page");
    const asked = readFileSync(serverLog, "utf8").slice(before).trim().split("\n").map((line) => line.split(" ")[1]);
    const twice = asked.filter((path, i) => asked.indexOf(path) !== i);
    if (engine.httpCache) {
      assert.deepEqual(twice, [], `asked for: ${asked.join(", ")}`);
    } else {
      // Without an HTTP cache the worker's copy comes from the server: once
      // more for what the page had fetched, never a third time.
      const thrice = twice.filter((path, i) => twice.indexOf(path) !== i);
      assert.deepEqual(thrice, [], `asked for: ${asked.join(", ")}`);
    }

    await server.stop();
    await page.reload();
    await page.waitFor(() => document.documentElement.hasAttribute("data-ready"), undefined, "the page offline");
    const edition = EDITIONS[1];
    await choose(page, "offline.exe", syntheticExe(edition, 40));
    await waitStatus(page, `Modified ${edition.name}`);
    if (page.requests) {
      const elsewhere = page.requests.filter((url) => !url.startsWith(`${server.origin}/`) && !/^(blob|data):/.test(url));
      assert.ok(page.requests.length > 0);
      assert.deepEqual(elsewhere, []);
    }
  });
});
