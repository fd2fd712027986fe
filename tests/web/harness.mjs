// What the page's tests and its benchmark share: the site served on
// 127.0.0.1 by web/serve.py, as `scripts/run.sh web` serves it; Debian's
// Chromium driven through playwright-core; synthetic game executables and
// what patching one must give; the translations, read from po/ apart from
// the page's own build of them.
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { once } from "node:events";
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const serveScript = fileURLToPath(new URL("../../web/serve.py", import.meta.url));

// The editions as the tests know them, written down apart from the engine's
// catalogue so that a slip in either shows. `fix`: the music-loop fix's span.
export const EDITIONS = [
  { name: "v1.1 CD-ROM edition", size: 634416, probe: 317292, text: "1.1:RES ", fps: 562369, fix: [120182, 23] },
  { name: "v1.1 Floppy edition", size: 631632, probe: 314588, text: "1.1:RES ", fps: 559569, fix: [117634, 15] },
  { name: "v1.01 CD-ROM edition", size: 633744, probe: 316988, text: "VERSION 1.01", fps: 561761 },
  { name: "v1.0 CD-ROM edition", size: 634704, probe: 317148, text: "VERSION 1.0", fps: 562593 },
  { name: "v1.0 Floppy edition (20.09.94)", size: 630960, probe: 314364, text: "VERSION 1.0", fps: 558929 },
  { name: "v1.0 Floppy edition (16.09.94)", size: 634208, probe: 315628, text: "VERSION 1.0", fps: 562161 },
  { name: "v1.0 Floppy edition (Spanish)", size: 630608, probe: 314324, text: "VERSION 1.0", fps: 558577 },
];

// An executable of `edition`'s size: a non-zero pattern, its version text with
// the zero byte after it, and `fps` as its frame-rate limit.
export function syntheticExe(edition, fps) {
  const bytes = new Uint8Array(edition.size);
  for (let i = 0; i < bytes.length; i += 1) bytes[i] = ((i * 131) >> 3) % 251 + 1;
  bytes.set(Buffer.from(edition.text, "latin1"), edition.probe);
  bytes[edition.probe + edition.text.length] = 0;
  bytes[edition.fps] = fps;
  return bytes;
}

// What the patch must have done: exactly the limit byte and, when asked, the
// music fix's span changed; and, where the native command line is built
// (KELM_NATIVE_CLI), the very bytes it writes.
export function expectPatched(edition, before, after, fps, musicFix) {
  assert.equal(after.length, before.length);
  assert.equal(after[edition.fps], fps);
  const [fixAt, fixLen] = musicFix ? edition.fix : [0, 0];
  for (let i = 0; i < before.length; i += 1) {
    if (before[i] !== after[i] && i !== edition.fps && !(i >= fixAt && i < fixAt + fixLen)) {
      assert.fail(`byte ${i} changed`);
    }
  }
  if (musicFix) assert.notDeepEqual(after.subarray(fixAt, fixAt + fixLen), before.subarray(fixAt, fixAt + fixLen));
  const nativeCli = process.env.KELM_NATIVE_CLI;
  if (nativeCli && existsSync(nativeCli)) {
    const dir = mkdtempSync(join(tmpdir(), "kelm-native-"));
    const path = join(dir, "native.exe");
    writeFileSync(path, before);
    execFileSync(nativeCli, ["patch", "--fps", String(fps), ...(musicFix ? ["--music-fix"] : []), path]);
    assert.deepEqual(after, new Uint8Array(readFileSync(path)));
    rmSync(dir, { recursive: true, force: true });
  }
}

// The languages the page offers (po/LINGUAS), and a function from an
// English text to its translation in po/LL.po ("" for English: the text
// itself); one-line messages only.
const poDir = fileURLToPath(new URL("../../po/", import.meta.url));

export const LANGUAGES = readFileSync(join(poDir, "LINGUAS"), "utf8").split("\n")
  .map((line) => line.trim()).filter((line) => line && !line.startsWith("#"));

export function translations(code) {
  const po = code ? readFileSync(join(poDir, `${code}.po`), "utf8") : "";
  const texts = new Map([...po.matchAll(/^msgid (".*")\nmsgstr (".+")$/gm)].map((m) => [JSON.parse(m[1]), JSON.parse(m[2])]));
  return (english) => texts.get(english) ?? english;
}

// A child process that has ended, by itself or by a signal (which leaves its
// exitCode null).
export const hasExited = (child) => child.exitCode !== null || child.signalCode !== null;

// Serves `dir` at a port the system picks; resolves to the server's origin
// and a way to stop it. `log`: a file that gets a line for each request;
// `script`: another serve.py (the benchmark's baseline has its own).
export async function serve(dir, { log, script = serveScript } = {}) {
  const args = [script, dir, "0", ...(log ? ["--log", log] : [])];
  const server = spawn("python3", args, { stdio: ["ignore", "pipe", "inherit"] });
  // The pipe stays open and drained for as long as the server runs: a
  // server whose standard output is closed dies on its next line.
  let seen = "";
  const port = await new Promise((resolve, reject) => {
    server.stdout.on("data", (chunk) => {
      seen += chunk;
      const found = /port (\d+)/.exec(seen);
      if (found) resolve(found[1]);
    });
    server.on("exit", () => reject(new Error(`serve.py did not start: ${seen}`)));
  });
  return {
    origin: `http://127.0.0.1:${port}`,
    async stop() {
      if (hasExited(server)) return;
      server.kill();
      await once(server, "exit");
    },
  };
}

// Chromium headless, as root, with nothing of its own reaching the network;
// asking for English unless `extraArgs` sets --accept-lang.
export function launch(extraArgs = []) {
  const languages = extraArgs.some((arg) => arg.startsWith("--accept-lang=")) ? [] : ["--accept-lang=en-US"];
  return chromium.launch({
    executablePath: process.env.KELM_CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync", ...languages, ...extraArgs],
  });
}

export const ready = (page) => page.waitForSelector("html[data-ready]");

// The popup as the user reads it; run in the page.
export function readMessage() {
  const text = (id) => document.getElementById(id).textContent;
  return { title: text("message-title"), text: text("message-text"), note: text("message-note") };
}
