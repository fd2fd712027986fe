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
  ], { stdio: ["ignore", "ignore", "pipe"], detached: true });
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
    // Chromium's helpers (renderers, the crash handler) outlive its main
    // process for a moment and still write into the profile: the whole
    // process group goes, and the profile once none of it is left.
    async stop() {
      const group = () => { try { process.kill(-browser.pid, 0); return true; } catch { return false; } };
      if (!hasExited(browser)) {
        process.kill(-browser.pid, "SIGTERM");
        await once(browser, "exit");
      }
      for (let i = 0; i < 100 && group(); i++) await new Promise((r) => setTimeout(r, 100));
      if (group()) process.kill(-browser.pid, "SIGKILL");
      rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
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
