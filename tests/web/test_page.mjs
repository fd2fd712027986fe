// The web page in Debian's Chromium, driven as a user drives it: every
// edition patched in place (through a real FileSystemFileHandle from the
// origin-private file system) and by download, refusals and failures, the
// limit field, the keyboard, an accessibility audit, a reload with the server
// gone, and no request that leaves 127.0.0.1.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import { EDITIONS, launch, ready, serve, syntheticExe } from "./harness.mjs";

const site = process.env.KELM_SITE;
const shots = process.env.KELM_SHOTS || join(tmpdir(), "kelm-web-shots");
const nativeCli = process.env.KELM_NATIVE_CLI;
const axeSource = readFileSync(createRequire(import.meta.url).resolve("axe-core/axe.min.js"), "utf8");

let server;
let browser;
let scratch;
const requests = [];

before(async () => {
  assert.ok(site && existsSync(join(site, "index.html")), "KELM_SITE must name the built site");
  server = await serve(site);
  browser = await launch();
  scratch = mkdtempSync(join(tmpdir(), "kelm-web-"));
  mkdirSync(shots, { recursive: true });
});

after(async () => {
  await browser?.close();
  await server?.stop();
  if (scratch) rmSync(scratch, { recursive: true, force: true });
});

// A page in a fresh profile. `inPlace`: the file picker hands out whatever
// handle the test put in window.kelmPick, as Chromium's picker hands out the
// user's file; otherwise the browser has no picker and the page falls back to
// its file input and to downloads, as Firefox and Safari do.
async function openPage({ inPlace, viewport = { width: 1280, height: 800 } }) {
  const context = await browser.newContext({ viewport, acceptDownloads: true });
  context.on("request", (r) => requests.push(r.url()));
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

async function chooseByInput(page, name, bytes) {
  const path = join(scratch, name);
  writeFileSync(path, bytes);
  await page.setInputFiles("#file", path);
}

async function message(page) {
  await page.waitForSelector("#message[open]");
  return page.evaluate(() => ({
    title: document.getElementById("message-title").textContent,
    text: document.getElementById("message-text").textContent,
    note: document.getElementById("message-note").textContent,
  }));
}

async function dismiss(page) {
  await page.click("#message-ok");
  await page.waitForSelector("#message:not([open])", { state: "attached" });
}

const waitStatus = (page, text) =>
  page.waitForFunction((t) => document.getElementById("status").textContent === t, text);

// What the patch must have done: exactly the limit byte and, when asked, the
// fix's span changed; and, where the native command line is built, the very
// bytes it writes.
function expectPatched(edition, before, after, fps, musicFix) {
  assert.equal(after.length, before.length);
  assert.equal(after[edition.fps], fps);
  const [fixAt, fixLen] = musicFix ? edition.fix : [0, 0];
  for (let i = 0; i < before.length; i += 1) {
    if (before[i] !== after[i] && i !== edition.fps && !(i >= fixAt && i < fixAt + fixLen)) {
      assert.fail(`byte ${i} changed`);
    }
  }
  if (musicFix) assert.notDeepEqual(after.subarray(fixAt, fixAt + fixLen), before.subarray(fixAt, fixAt + fixLen));
  if (nativeCli && existsSync(nativeCli)) {
    const path = join(scratch, "native.exe");
    writeFileSync(path, before);
    execFileSync(nativeCli, ["patch", "--fps", String(fps), ...(musicFix ? ["--music-fix"] : []), path]);
    assert.deepEqual(after, new Uint8Array(readFileSync(path)));
  }
}

test("every edition is identified and patched, in place and by download", async () => {
  const inPlace = await openPage({ inPlace: true });
  const download = await openPage({ inPlace: false });
  for (const [index, edition] of EDITIONS.entries()) {
    const original = syntheticExe(edition, 60 + index);
    const musicFix = Boolean(edition.fix);
    const name = `QUELMOR-${index}.EXE`;
    for (const page of [inPlace, download]) {
      if (page === inPlace) await chooseInPlace(page, name, original);
      else await chooseByInput(page, name, original);
      await waitStatus(page, `Modified ${edition.name}`);
      assert.equal(await page.inputValue("#fps"), String(60 + index));
      assert.equal(await page.textContent("#path"), name);
      assert.equal(await page.isDisabled("#music-fix"), !musicFix);
      await page.fill("#fps", "30");
      assert.equal(await page.inputValue("#fps-slider"), "30");
      if (musicFix) await page.check("#music-fix");

      let patched;
      if (page === inPlace) {
        await page.click("#patch");
        const shown = await message(page);
        assert.equal(shown.title, "Success");
        assert.match(shown.note, new RegExp(`${name} was patched in place`));
        patched = await readPrivateFile(page, name);
      } else {
        const [saved] = await Promise.all([page.waitForEvent("download"), page.click("#patch")]);
        const shown = await message(page);
        assert.equal(shown.title, "Success");
        assert.match(shown.note, new RegExp(`saved as a download named ${name}`));
        assert.equal(saved.suggestedFilename(), name);
        patched = new Uint8Array(readFileSync(await saved.path()));
      }
      expectPatched(edition, original, patched, 30, musicFix);
      await dismiss(page);
    }
  }
  await inPlace.context().close();
  await download.context().close();
});

test("refused, unreadable, changed and locked files end in a message and stay as they were", async () => {
  const page = await openPage({ inPlace: true });
  const supported = "Supported:\nv1.1 CD-ROM edition, v1.01 CD-ROM edition,\nv1.0 CD-ROM edition,\n";

  await page.click("#patch");
  let shown = await message(page);
  assert.equal(shown.title, "Reading error");
  assert.ok(shown.text.startsWith("Please, choose Quelmor: Kelm executable first\n" + supported));
  await dismiss(page);

  const edition = EDITIONS[3];
  const good = syntheticExe(edition, 70);
  await chooseInPlace(page, "wrong.exe", good.subarray(1));
  shown = await message(page);
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

test("a dropped file is chosen; the limit field keeps the last good limit; the slider moves it", async () => {
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
  for (const typed of ["", "0", "-4"]) {
    await page.fill("#fps", typed);
    await page.press("#fps", "Tab");
    assert.equal(await page.inputValue("#fps"), "50", `after "${typed}"`);
  }
  await page.focus("#fps-slider");
  await page.keyboard.press("ArrowRight");
  assert.equal(await page.inputValue("#fps"), "51");
  const [saved] = await Promise.all([page.waitForEvent("download"), page.click("#patch")]);
  expectPatched(edition, original, new Uint8Array(readFileSync(await saved.path())), 51, false);
  await page.context().close();
});

test("keyboard alone reaches everything, and axe finds no serious violation", async () => {
  const page = await openPage({ inPlace: true });
  const order = [];
  for (let i = 0; i < 5; i += 1) {
    await page.keyboard.press("Tab");
    order.push(await page.evaluate(() => document.activeElement.id));
  }
  // The music-fix box is disabled until a v1.1 edition is chosen.
  assert.deepEqual(order, ["file", "fps", "fps-slider", "info", "patch"]);
  await page.keyboard.press("Shift+Tab");
  await page.keyboard.press("Enter");
  assert.equal((await message(page)).title, "Information");
  assert.equal(await page.evaluate(() => document.activeElement.id), "message-ok");

  const audit = async () => {
    await page.evaluate(axeSource);
    const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ["violations"] }));
    return result.violations.filter((v) => v.impact === "serious" || v.impact === "critical")
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).join(", ")}`);
  };
  assert.deepEqual(await audit(), [], "with the popup open");
  await page.keyboard.press("Enter");
  await page.waitForSelector("#message:not([open])", { state: "attached" });
  assert.deepEqual(await audit(), [], "the panel");
  await page.context().close();
});

test("screenshots at a desktop and a phone width", async () => {
  for (const [label, viewport] of [["desktop", { width: 1280, height: 800 }], ["phone", { width: 390, height: 844 }]]) {
    const page = await openPage({ inPlace: true, viewport });
    await chooseInPlace(page, "QUELMOR.EXE", syntheticExe(EDITIONS[0], 96));
    await waitStatus(page, `Modified ${EDITIONS[0].name}`);
    await page.check("#music-fix");
    await page.screenshot({ path: join(shots, `${label}.png`), fullPage: true });
    const width = await page.evaluate(() => document.documentElement.scrollWidth);
    assert.ok(width <= viewport.width, `${label}: the page is ${width} px wide`);
    await page.click("#patch");
    await message(page);
    await page.screenshot({ path: join(shots, `${label}-success.png`) });
    await page.context().close();
  }
});

// Last: it stops the server.
test("a second visit works with the server gone; no request left 127.0.0.1", async () => {
  const page = await openPage({ inPlace: false });
  await page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    if (!navigator.serviceWorker.controller) {
      await new Promise((resolve) => navigator.serviceWorker.addEventListener("controllerchange", resolve));
    }
  });
  await server.stop();
  await page.reload();
  await ready(page);
  await assert.rejects(page.evaluate((url) => fetch(url), server.origin + "/not-cached"));
  const edition = EDITIONS[1];
  await chooseByInput(page, "offline.exe", syntheticExe(edition, 40));
  await waitStatus(page, `Modified ${edition.name}`);
  await page.context().close();

  const local = server.origin + "/";
  const elsewhere = requests.filter((url) => !url.startsWith(local) && !url.startsWith("blob:") &&
    !url.startsWith("data:"));
  assert.ok(requests.length > 0);
  assert.deepEqual(elsewhere, []);
});
