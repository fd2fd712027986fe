// What only Chromium lets a test reach, driven as a user drives it: every
// edition patched in place (through a real FileSystemFileHandle from the
// origin-private file system), files gone, changed or locked under a handle,
// a dropped file, an accessibility audit, the page's explanation when the
// engine cannot start, and every language's texts fitting the panel and the
// popup. What every engine runs is in test_engines.mjs.
import assert from "node:assert/strict";
import { createHash } from "node:crypto";
import { cpSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import { EDITIONS, LANGUAGES, expectPatched, launch, ready, readMessage, serve, syntheticExe } from "./harness.mjs";

const site = process.env.KELM_SITE;
const shots = process.env.KELM_SHOTS || join(tmpdir(), "kelm-web-shots");
const axeSource = readFileSync(createRequire(import.meta.url).resolve("axe-core/axe.min.js"), "utf8");

let server;
let browser;

before(async () => {
  assert.ok(site && existsSync(join(site, "index.html")), "KELM_SITE must name the built site");
  server = await serve(site);
  browser = await launch();
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

// A page in a fresh profile. `inPlace`: the file picker hands out whatever
// handle the test put in window.kelmPick, as Chromium's picker hands out the
// user's file; otherwise the browser has no picker and the page falls back to
// its file input and to downloads, as Firefox and Safari do.
async function openPage({ inPlace, viewport = { width: 1280, height: 800 }, deviceScaleFactor = 1 }) {
  const context = await browser.newContext({ viewport, deviceScaleFactor, acceptDownloads: true });
  await context.addInitScript((withPicker) => {
    if (withPicker) {
      window.showOpenFilePicker = async () => {
        if (!window.kelmPick) throw new DOMException("The user aborted a request.", "AbortError");
        return [window.kelmPick];
      };
    } else {
      Object.defineProperty(window, "showOpenFilePicker", { value: undefined });
    }
  }, inPlace);
  const page = await context.newPage();
  page.on("pageerror", (error) => assert.fail(`page error: ${error.message}`));
  await page.goto(server.origin + "/");
  await ready(page);
  return page;
}

// Origin-private files: written, read back and handed to the picker.
const b64 = (bytes) => Buffer.from(bytes).toString("base64");

async function putPrivateFile(page, name, bytes) {
  await page.evaluate(async ({ name, data }) => {
    const root = await navigator.storage.getDirectory();
    const handle = await root.getFileHandle(name, { create: true });
    const writable = await handle.createWritable();
    await writable.write(Uint8Array.from(atob(data), (c) => c.charCodeAt(0)));
    await writable.close();
    window.kelmPick = handle;
  }, { name, data: b64(bytes) });
}

async function readPrivateFile(page, name) {
  const data = await page.evaluate(async (name) => {
    const root = await navigator.storage.getDirectory();
    const bytes = new Uint8Array(await (await (await root.getFileHandle(name)).getFile()).arrayBuffer());
    let text = "";
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }, name);
  return new Uint8Array(Buffer.from(data, "base64"));
}

async function chooseInPlace(page, name, bytes) {
  await putPrivateFile(page, name, bytes);
  await page.click("#browse");
}

async function message(page) {
  await page.waitForSelector("#message[open]");
  return page.evaluate(readMessage);
}

async function dismiss(page) {
  await page.click("#message-ok");
  await page.waitForSelector("#message:not([open])", { state: "attached" });
}

const waitStatus = (page, text) =>
  page.waitForFunction((t) => document.getElementById("status").textContent === t, text);

test("every edition is identified and patched in place", async () => {
  const page = await openPage({ inPlace: true });
  for (const [index, edition] of EDITIONS.entries()) {
    const original = syntheticExe(edition, 60 + index);
    const musicFix = Boolean(edition.fix);
    const name = `QUELMOR-${index}.EXE`;
    await chooseInPlace(page, name, original);
    await waitStatus(page, `Modified ${edition.name}`);
    assert.equal(await page.inputValue("#fps"), String(60 + index));
    await page.fill("#fps", "30");
    if (musicFix) await page.check("#music-fix");
    await page.click("#patch");
    const shown = await message(page);
    assert.equal(shown.title, "Success");
    assert.match(shown.note, new RegExp(`${name} was patched in place`));
    expectPatched(edition, original, await readPrivateFile(page, name), 30, musicFix);
    await dismiss(page);
  }
  await page.context().close();
});

test("refused, unreadable, changed and locked files end in a message and stay as they were", async () => {
  const page = await openPage({ inPlace: true });
  const supported = "Supported:\nv1.1 CD-ROM edition, v1.01 CD-ROM edition,\nv1.0 CD-ROM edition,\n";

  const edition = EDITIONS[3];
  const good = syntheticExe(edition, 70);
  await chooseInPlace(page, "wrong.exe", good.subarray(1));
  let shown = await message(page);
  assert.equal(shown.title, "Unsupported file");
  assert.ok(shown.text.startsWith(supported));
  assert.equal(await page.textContent("#path"), "Choose Quelmor: Thornmere executable...");
  await dismiss(page);

  // A handle whose file is gone before the page reads it.
  await putPrivateFile(page, "gone.exe", good);
  await page.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry("gone.exe"));
  await page.click("#browse");
  assert.equal((await message(page)).title, "Unsupported file");
  await dismiss(page);

  // Changed between "Browse" and "Patch": nothing is written.
  await chooseInPlace(page, "changed.exe", good);
  await waitStatus(page, `Modified ${edition.name}`);
  const changed = syntheticExe(EDITIONS[4], 70);
  await putPrivateFile(page, "changed.exe", changed);
  await page.click("#patch");
  shown = await message(page);
  assert.equal(shown.title, "Reading error");
  assert.match(shown.text, /has changed or gone since it was chosen/);
  assert.deepEqual(await readPrivateFile(page, "changed.exe"), changed);
  await dismiss(page);

  // Locked by another page of the same origin: the browser refuses the write.
  await chooseInPlace(page, "locked.exe", good);
  await waitStatus(page, `Modified ${edition.name}`);
  const locker = await page.context().newPage();
  await locker.goto(server.origin + "/lock-holder");
  await locker.evaluate(() => new Promise((resolve, reject) => {
    const code = `onmessage = async () => {
      const root = await navigator.storage.getDirectory();
      self.lock = await (await root.getFileHandle("locked.exe")).createSyncAccessHandle();
      postMessage("locked");
    };`;
    const worker = new Worker(URL.createObjectURL(new Blob([code], { type: "text/javascript" })));
    worker.onmessage = () => resolve();
    worker.onerror = (e) => reject(new Error(e.message));
    worker.postMessage("lock");
  }));
  await page.fill("#fps", "25");
  await page.click("#patch");
  shown = await message(page);
  assert.equal(shown.title, "Reading error");
  assert.match(shown.text, /^Quelmor: Kelm executable cannot be opened for writing \(.+\)\./);
  assert.equal(shown.note, "");
  await locker.close();
  assert.deepEqual(await readPrivateFile(page, "locked.exe"), good);
  await dismiss(page);
  // Once the other page lets go, the same file patches.
  await page.click("#patch");
  assert.equal((await message(page)).title, "Success");
  expectPatched(edition, good, await readPrivateFile(page, "locked.exe"), 25, false);
  await page.context().close();
});

test("a dropped file is chosen, a dropped link refused", async () => {
  const page = await openPage({ inPlace: false });
  const edition = EDITIONS[2];
  const original = syntheticExe(edition, 50);
  // Two files dropped on the page: the first is taken, as "Browse" takes one.
  await page.evaluate(({ data }) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], "QUELMOR.EXE"));
    transfer.items.add(new File(["not a game"], "README.TXT"));
    for (const type of ["dragenter", "dragover", "drop"]) {
      document.body.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }
  }, { data: b64(original) });
  await waitStatus(page, `Modified ${edition.name}`);
  assert.equal(await page.textContent("#path"), "QUELMOR.EXE");
  // A link dropped instead is refused, and the page stays where it is.
  await page.evaluate(() => {
    const transfer = new DataTransfer();
    transfer.setData("text/uri-list", "https://example.org/QUELMOR.EXE");
    for (const type of ["dragover", "drop"]) {
      document.body.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }
  });
  assert.equal((await message(page)).title, "Not a local file");
  await dismiss(page);
  const [saved] = await Promise.all([page.waitForEvent("download"), page.click("#patch")]);
  expectPatched(edition, original, new Uint8Array(readFileSync(await saved.path())), 50, false);
  await page.context().close();
});

test("axe finds no serious violation, with and without the popup", async () => {
  const page = await openPage({ inPlace: true });
  const audit = async () => {
    await page.evaluate(axeSource);
    const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ["violations"] }));
    return result.violations.filter((v) => v.impact === "serious" || v.impact === "critical")
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).join(", ")}`);
  };
  assert.deepEqual(await audit(), [], "the panel");
  await page.click("#info");
  assert.equal((await message(page)).title, "Information");
  assert.deepEqual(await audit(), [], "with the popup open");
  await page.context().close();
});

// The engine kept from starting in the ways a browser or a host can keep it:
// the page must say why and what to do, never sit there blank.
test("when the engine cannot start, the page says why and what to do", async () => {
  const explained = async (page, why) => {
    await page.waitForSelector("#unavailable", { state: "visible" });
    const shown = await page.evaluate(() => ({
      text: document.getElementById("unavailable").innerText,
      controls: [...document.querySelectorAll("#panel button, #panel input")].filter((e) => e.offsetParent).length,
    }));
    assert.match(shown.text, /could not start in this browser/, why);
    assert.match(shown.text, /open it from there .* or open the page in Firefox/s, why);
    assert.equal(shown.controls, 0, `${why}: controls that do nothing are hidden`);
    return shown.text;
  };
  // A host whose own policy leaves out WebAssembly: the page's script runs
  // and says what failed.
  let context = await browser.newContext();
  await context.route(`${server.origin}/`, async (route) => {
    const page = await (await route.fetch()).text();
    await route.fulfill({ body: page.replace(" 'wasm-unsafe-eval'", ""), contentType: "text/html" });
  });
  let page = await context.newPage();
  await page.goto(`${server.origin}/`);
  assert.match(await explained(page, "no WebAssembly by policy"), /could not start in this browser: .+\./);
  await context.close();

  // A host that lets no inline script run: the page explains without one.
  context = await browser.newContext();
  await context.route(`${server.origin}/`, async (route) => {
    const response = await route.fetch();
    await route.fulfill({ response, headers: { ...response.headers(), "content-security-policy": "script-src 'none'" } });
  });
  page = await context.newPage();
  await page.goto(`${server.origin}/`);
  await explained(page, "no script");
  await context.close();

  // A browser without WebAssembly (V8 without its compilers, as hardened
  // browsers run it), the page opened from disk.
  const noWasm = await launch(["--js-flags=--jitless"]);
  page = await noWasm.newPage();
  await page.goto(`file://${join(site, "index.html")}`);
  await explained(page, "WebAssembly turned off");
  await noWasm.close();
});

// A new release on the same host: the worker of the new site replaces what
// the old one kept, even though the browser's HTTP cache still holds the old
// page, which the new worker's hashes refuse.
test("a changed site replaces what the service worker keeps", async () => {
  const copy = mkdtempSync(join(tmpdir(), "kelm-release-"));
  cpSync(site, copy, { recursive: true });
  const own = await serve(copy);
  const context = await browser.newContext();
  try {
    const page = await context.newPage();
    const kept = () => page.evaluate(async () => {
      await navigator.serviceWorker.ready;
      return (await caches.keys()).filter((key) => key.startsWith("kelm-"));
    });
    await page.goto(`${own.origin}/`);
    await ready(page);
    const [first] = await kept();

    const html = `${readFileSync(join(copy, "index.html"), "utf8")}<!-- release 2 -->\n`;
    writeFileSync(join(copy, "index.html"), html);
    const hash = `sha256-${createHash("sha256").update(html).digest("base64")}`;
    const worker = readFileSync(join(copy, "sw.js"), "utf8")
      .replace(/const VERSION = "[^"]+"/, 'const VERSION = "release-2"')
      .replace(/("\.\/": )"sha256-[^"]+"/, `$1"${hash}"`);
    assert.ok(worker.includes(hash));
    writeFileSync(join(copy, "sw.js"), worker);

    // The browser looks for a new worker on a navigation, but in its own
    // time; the test asks at once, as the browser would.
    await page.reload();
    await page.evaluate(async () => (await navigator.serviceWorker.getRegistration()).update());
    for (let tries = 0; (await kept()).join() !== "kelm-release-2"; tries += 1) {
      assert.ok(tries < 100, `the new release is not kept: ${await kept()}`);
      await new Promise((done) => setTimeout(done, 100));
    }
    assert.notEqual(first, "kelm-release-2");
    await own.stop();
    await page.reload();
    await ready(page);
    assert.equal(await page.evaluate(() => document.lastChild.nodeValue), " release 2 ");
  } finally {
    await context.close();
    await own.stop();
    rmSync(copy, { recursive: true, force: true });
  }
});

// What of `selector`'s box does not fit: each element shown in it whose
// content is wider or taller than it (a clipped or spilling text), or that
// lies outside the box. Run in the page.
function unfitting(selector) {
  const box = document.querySelector(selector).getBoundingClientRect();
  return [...document.querySelectorAll(`${selector} *`)].filter((e) => e.getClientRects().length &&
      !e.classList.contains("offscreen") && getComputedStyle(e).display !== "inline")
    .flatMap((e) => {
      const r = e.getBoundingClientRect();
      const name = e.id || `${e.tagName} in ${e.parentElement.id}`;
      return [...(e.scrollWidth > e.clientWidth + 1 || e.scrollHeight > e.clientHeight + 1 ? [`${name} spills`] : []),
        ...(r.left < box.left - 0.5 || r.right > box.right + 0.5 || r.bottom > box.bottom + 0.5 ? [`${name} outside`] : [])];
    }).map((misfit) => `${selector}: ${misfit}`);
}

// Every language the chooser offers, at a desktop's width at one and two
// device pixels to the CSS pixel and a phone's at two: the panel before and
// after a file is chosen, the chooser and the "Info" popup fit; screenshots
// of the panel and the popup in each language at the desktop's, at one.
test("every language's texts fit the panel, the chooser and the popup", async () => {
  mkdirSync(shots, { recursive: true });
  const edition = EDITIONS.reduce((longest, e) => (e.name.length > longest.name.length ? e : longest));
  const file = { name: "QUELMOR.EXE", mimeType: "application/octet-stream", buffer: Buffer.from(syntheticExe(edition, 30)) };
  const misfits = [];
  const desktop = { width: 1280, height: 800 };
  for (const [viewport, deviceScaleFactor] of [[desktop, 1], [desktop, 2], [{ width: 390, height: 844 }, 2]]) {
    const page = await openPage({ inPlace: false, viewport, deviceScaleFactor });
    const codes = await page.$$eval("#language option", (options) => options.map((option) => option.value));
    assert.deepEqual(codes, ["", ...LANGUAGES]);
    for (const withFile of [false, true]) {
      if (withFile) await page.setInputFiles("#file", file);
      for (const code of codes) {
        const where = `${viewport.width}@${deviceScaleFactor}, ${code || "en"}${withFile ? ", a file chosen" : ""}: `;
        await page.selectOption("#language", code);
        await page.waitForFunction((tag) => document.documentElement.lang === tag, code.replace("_", "-") || "en");
        for (const box of ["#panel", "#language-row"]) misfits.push(...(await page.evaluate(unfitting, box)).map((m) => where + m));
        if (!withFile) continue;
        const shot = (name) => join(shots, `language-${code || "en"}-${name}.png`);
        if (deviceScaleFactor === 1) await page.locator("#panel").screenshot({ path: shot("panel") });
        await page.click("#info");
        await message(page);
        misfits.push(...(await page.evaluate(unfitting, "#message")).map((m) => where + m));
        if (deviceScaleFactor === 1) await page.locator("#message").screenshot({ path: shot("info") });
        await dismiss(page);
      }
    }
    await page.context().close();
  }
  assert.deepEqual(misfits, []);
});

// Served, a language's file must be the one the page was built with: one
// changed on the host is refused by its hash, and the page says so.
test("a language's file changed on the host is refused, and the page says so", async () => {
  const copy = mkdtempSync(join(tmpdir(), "kelm-language-"));
  cpSync(site, copy, { recursive: true });
  writeFileSync(join(copy, "lang", "de.js"), readFileSync(join(copy, "lang", "fr.js"), "utf8").replace('["fr"]', '["de"]'));
  const own = await serve(copy);
  const page = await (await browser.newContext()).newPage();
  try {
    await page.goto(`${own.origin}/`);
    await ready(page);
    await page.selectOption("#language", "de");
    assert.match((await message(page)).text, /^The texts in Deutsch could not be loaded/);
    assert.deepEqual(await page.evaluate(() => [document.documentElement.lang, document.getElementById("language").value]), ["en", ""]);
  } finally {
    await page.context().close();
    await own.stop();
    rmSync(copy, { recursive: true, force: true });
  }
});
