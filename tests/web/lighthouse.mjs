// Lighthouse, as its own command line runs it, against a page: Debian's
// chromium started here (--headless=new --no-sandbox, a fresh profile), the
// default mobile settings and throttling. Shared by the page's tests and its
// benchmark.
import { spawn } from "node:child_process";
import { once } from "node:events";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import lighthouse from "lighthouse";

import { hasExited } from "./harness.mjs";

// Chromium with a DevTools port; resolves to { port, stop() }.
export async function chromiumWithPort() {
  const profile = mkdtempSync(join(tmpdir(), "kelm-lighthouse-"));
  const browser = spawn(process.env.KELM_CHROMIUM || "/usr/bin/chromium", [
    "--headless=new", "--no-sandbox", "--remote-debugging-port=0", `--user-data-dir=${profile}`,
    "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "about:blank",
  ], { stdio: ["ignore", "ignore", "pipe"] });
  let seen = "";
  const port = await new Promise((resolve, reject) => {
    browser.stderr.on("data", (chunk) => {
      seen += chunk;
      const found = /DevTools listening on ws:\/\/127\.0\.0\.1:(\d+)\//.exec(seen);
      if (found) resolve(Number(found[1]));
    });
    browser.on("exit", () => reject(new Error(`chromium did not start: ${seen}`)));
  });
  return {
    port,
    async stop() {
      if (!hasExited(browser)) {
        browser.kill();
        await once(browser, "exit");
      }
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Lighthouse's report (lhr) for `url`, in a Chromium of its own.
export async function audit(url, categories = ["performance", "accessibility", "best-practices", "seo"]) {
  const chromium = await chromiumWithPort();
  try {
    const result = await lighthouse(url, { port: chromium.port, onlyCategories: categories, logLevel: "error" });
    return result.lhr;
  } finally {
    await chromium.stop();
  }
}
