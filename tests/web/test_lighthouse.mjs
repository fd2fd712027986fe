// The page as Chromium's own judges see it, served by web/serve.py:
// Lighthouse's accessibility, best-practices and SEO scores at 100 and no
// layout shift at all; Chromium finds the page installable and its manifest
// free of errors. (The performance score is the benchmark's to print.)
import assert from "node:assert/strict";
import { after, before, test } from "node:test";

import { chromium } from "playwright-core";

import { ready, serve } from "./harness.mjs";
import { audit, chromiumWithPort } from "./lighthouse.mjs";

const site = process.env.KELM_SITE;
let server;

before(async () => {
  assert.ok(site, "KELM_SITE must name the built site");
  server = await serve(site);
});

after(() => server?.stop());

test("Lighthouse: accessibility, best practices and SEO 100, layout shift 0", async () => {
  const report = await audit(`${server.origin}/`);
  const failing = (category) => report.categories[category].auditRefs
    .map((ref) => report.audits[ref.id])
    .filter((a) => a.score !== null && a.score < 1 && a.scoreDisplayMode !== "informative")
    .map((a) => `${a.id}: ${a.displayValue || a.explanation || a.title}`);
  for (const category of ["accessibility", "best-practices", "seo"]) {
    assert.equal(report.categories[category].score, 1, `${category}: ${failing(category).join("; ")}`);
  }
  assert.equal(report.audits["cumulative-layout-shift"].numericValue, 0);
  assert.deepEqual(report.runWarnings, []);
});

test("installable, with a manifest that parses without errors", async () => {
  // A profile of its own, not a private one: Chromium installs nothing from
  // a private window.
  const owner = await chromiumWithPort();
  const browser = await chromium.connectOverCDP(`http://127.0.0.1:${owner.port}`);
  try {
    const page = await browser.contexts()[0].newPage();
    await page.goto(`${server.origin}/`);
    await ready(page);
    const devtools = await page.context().newCDPSession(page);
    const manifest = await devtools.send("Page.getAppManifest");
    assert.equal(new URL(manifest.url).pathname, "/manifest.webmanifest");
    assert.deepEqual(manifest.errors, []);
    const { installabilityErrors } = await devtools.send("Page.getInstallabilityErrors");
    assert.deepEqual(installabilityErrors, []);
  } finally {
    await browser.close();
    await owner.stop();
  }
});
