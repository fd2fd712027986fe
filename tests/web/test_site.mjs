// The site as make_site.py puts it together: the same sources give the same
// bytes, run after run (the release packages are checked for that), and the
// built site is what those sources give.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { test } from "node:test";

import { LANGUAGES } from "./harness.mjs";

const makeSite = fileURLToPath(new URL("../../web/make_site.py", import.meta.url));
const page = fileURLToPath(new URL("../../web", import.meta.url));
const po = fileURLToPath(new URL("../../po", import.meta.url));
const { KELM_SITE: site, KELM_WASM_DIR: wasm, KELM_ASSETS_DIR: assets, KELM_ASSET_PYTHON: python } = process.env;

const contents = (dir) => Object.fromEntries(readdirSync(dir, { recursive: true, withFileTypes: true })
  .filter((entry) => entry.isFile())
  .map((entry) => join(entry.parentPath ?? entry.path, entry.name).slice(dir.length + 1)).sort()
  .map((name) => [name, readFileSync(join(dir, name))]));

test("the same sources make the same site, byte for byte", async () => {
  assert.ok(site && wasm && assets, "KELM_SITE, KELM_WASM_DIR and KELM_ASSETS_DIR must be set");
  const scratch = mkdtempSync(join(tmpdir(), "kelm-site-"));
  try {
    const make = (out) => {
      execFileSync(python || "python3", [makeSite, out, "--page", page, "--wasm", wasm, "--assets", assets,
        "--node", process.execPath, "--po", po]);
      return contents(out);
    };
    const first = make(join(scratch, "a"));
    // A second later, so that anything stamped with the time would differ.
    await new Promise((done) => setTimeout(done, 1100));
    const second = make(join(scratch, "b"));
    assert.deepEqual(Object.keys(first), ["icon-192.png", "index.html", ...LANGUAGES.map((code) => `lang/${code}.js`),
      "manifest.webmanifest", "sw.js"]);
    for (const name of Object.keys(first)) assert.ok(first[name].equals(second[name]), `${name} differs`);
    const built = contents(site);
    for (const name of Object.keys(first)) assert.ok(first[name].equals(built[name]), `the built ${name} differs`);
  } finally {
    rmSync(scratch, { recursive: true, force: true });
  }
});
