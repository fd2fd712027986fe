// The three browser engines the page is tested in, each from Debian's
// packages, behind one small interface so that every engine runs the same
// test code:
//  - chromium: Debian's chromium, through playwright-core;
//  - firefox: Debian's firefox-esr, through puppeteer-core over WebDriver BiDi;
//  - webkit: WebKitGTK's MiniBrowser through webkit2gtk-driver's
//    WebKitWebDriver, from selenium-webdriver, in an X server of its own.
//
// An engine is launched for a list of languages the browser asks for, as its
// user would set them (English unless told otherwise): Chromium's
// --accept-lang, Firefox's intl.accept_languages, and for WebKitGTK the
// locale of its processes, whose language alone it offers.
//
// A page (from `engine.open(url)`) is in a fresh profile and offers: click,
// fill, check, select (an option of a <select> by its value), press (keys on
// whatever has the focus), chooseFile (through the page's file input),
// value/text/evaluate/waitFor, download (the bytes of the file the browser
// saves while an action runs), screenshot, reload, close.
// `errors()` lists what the page reported as an error; `requests` lists every
// URL the page asked for, or is null where the engine cannot show them.
// `httpCache`: whether the engine, as driven here, answers a fetch from its
// HTTP cache at all.
import { execFileSync, spawn, spawnSync } from "node:child_process";
import { once } from "node:events";
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from "node:fs";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { hasExited, launch as launchChromium } from "./harness.mjs";

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// What the page reported as an error, for an engine whose driver shows no
// console: caught in the page by a hook installed after each load.
function installErrorHook() {
  if (window.kelmErrors) return;
  window.kelmErrors = [];
  const note = (text) => window.kelmErrors.push(String(text));
  window.addEventListener("error", (event) => note(event.message || event.type));
  window.addEventListener("unhandledrejection", (event) => note(event.reason && (event.reason.message || event.reason)));
  document.addEventListener("securitypolicyviolation", (event) => note(`CSP: ${event.violatedDirective}`));
  const original = console.error;
  console.error = (...args) => {
    note(args.join(" "));
    original.apply(console, args);
  };
}

// A file that appears in `dir` under `name` once the browser has finished it.
async function awaitSaved(dir, name, timeout = 20000) {
  const path = join(dir, name);
  const deadline = Date.now() + timeout;
  let last = -1;
  while (Date.now() < deadline) {
    const partial = readdirSync(dir).some((entry) => entry !== name && entry.startsWith(name));
    if (existsSync(path) && !partial) {
      const size = statSync(path).size;
      if (size > 0 && size === last) {
        const bytes = new Uint8Array(readFileSync(path));
        rmSync(path);
        return bytes;
      }
      last = size;
    }
    await sleep(100);
  }
  throw new Error(`no download named ${name} in ${dir}: ${readdirSync(dir).join(", ") || "nothing"}`);
}

// Waits until `fn(arg)`, run in the page, gives something truthy.
async function poll(page, fn, arg, what, timeout = 15000) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const value = await page.evaluate(fn, arg).catch(() => null);
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what || fn}`);
    await sleep(50);
  }
}

// Uncaught exceptions and console errors, as playwright and puppeteer both
// report them.
function collectErrors(raw, errors) {
  raw.on("pageerror", (error) => errors.push(error.message));
  raw.on("console", (message) => {
    if (message.type() === "error") errors.push(message.text());
  });
}

// What a playwright page and a puppeteer page do alike.
function scriptedPage(raw, requests, errors, close) {
  const page = {
    raw,
    requests,
    errors: async () => errors,
    click: (selector) => raw.click(selector),
    evaluate: (fn, arg) => raw.evaluate(fn, arg),
    waitFor: (fn, arg, what) => poll(page, fn, arg, what),
    screenshot: (path) => raw.screenshot({ path, fullPage: true }),
    reload: () => raw.reload(),
    close,
  };
  return page;
}

// --- Chromium -----------------------------------------------------------------

async function chromium(languages) {
  const browser = await launchChromium([`--accept-lang=${languages.join(",")}`]);
  return {
    name: "chromium",
    httpCache: true,
    async open(url, { viewport = { width: 1280, height: 800 }, onContext } = {}) {
      const context = await browser.newContext({ viewport, acceptDownloads: true });
      const requests = [];
      const errors = [];
      context.on("request", (request) => requests.push(request.url()));
      if (onContext) await onContext(context);
      const raw = await context.newPage();
      collectErrors(raw, errors);
      await raw.goto(url);
      return {
        ...scriptedPage(raw, requests, errors, () => context.close()),
        fill: (selector, text) => raw.fill(selector, text),
        check: (selector) => raw.check(selector),
        select: (selector, value) => raw.selectOption(selector, value),
        press: (keys) => raw.keyboard.press(keys),
        chooseFile: (path) => raw.setInputFiles("#file", path),
        async download(name, action) {
          const [saved] = await Promise.all([raw.waitForEvent("download"), action()]);
          if (saved.suggestedFilename() !== name) throw new Error(`saved as ${saved.suggestedFilename()}`);
          return new Uint8Array(readFileSync(await saved.path()));
        },
      };
    },
    close: () => browser.close(),
  };
}

// --- Firefox ------------------------------------------------------------------

async function firefox(languages) {
  const { default: puppeteer } = await import("puppeteer-core");
  const browser = await puppeteer.launch({
    browser: "firefox",
    executablePath: process.env.KELM_FIREFOX || "/usr/bin/firefox-esr",
    headless: true,
    extraPrefsFirefox: {
      // Nothing of Firefox's own reaches the network.
      "network.captive-portal-service.enabled": false,
      "network.connectivity-service.enabled": false,
      "browser.safebrowsing.update.enabled": false,
      "app.update.enabled": false,
      "intl.accept_languages": languages.join(","),
    },
  });
  const downloads = mkdtempSync(join(tmpdir(), "kelm-firefox-downloads-"));
  return {
    name: "firefox",
    httpCache: true,
    async open(url, { viewport = { width: 1280, height: 800 } } = {}) {
      const context = await browser.createBrowserContext({ downloadBehavior: { policy: "allow", downloadPath: downloads } });
      const raw = await context.newPage();
      const requests = [];
      const errors = [];
      raw.on("request", (request) => requests.push(request.url()));
      collectErrors(raw, errors);
      await raw.setViewport(viewport);
      await raw.goto(url);
      return {
        ...scriptedPage(raw, requests, errors, () => context.close()),
        async fill(selector, text) {
          await raw.focus(selector);
          await raw.evaluate((s) => document.querySelector(s).select?.(), selector);
          await press(raw.keyboard, "Control+a");
          await raw.keyboard.press("Backspace");
          if (text) await raw.keyboard.type(text);
        },
        async check(selector) {
          if (!(await raw.$eval(selector, (box) => box.checked))) await raw.click(selector);
        },
        select: (selector, value) => raw.select(selector, value),
        press: (keys) => press(raw.keyboard, keys),
        chooseFile: async (path) => (await raw.$("#file")).uploadFile(path),
        async download(name, action) {
          await action();
          return awaitSaved(downloads, name);
        },
      };
    },
    async close() {
      await browser.close();
      rmSync(downloads, { recursive: true, force: true });
    },
  };
}

// "Shift+Tab" and the like, for puppeteer's keyboard.
async function press(keyboard, keys) {
  const parts = keys.split("+");
  const key = parts.pop();
  for (const modifier of parts) await keyboard.down(modifier);
  await keyboard.press(key);
  for (const modifier of parts.reverse()) await keyboard.up(modifier);
}

// --- WebKit -------------------------------------------------------------------

const MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";

async function freePort() {
  const server = createServer();
  server.listen(0, "127.0.0.1");
  await once(server, "listening");
  const { port } = server.address();
  server.close();
  return port;
}

// An X server of the engine's own, on the first display number that is free.
async function startXvfb() {
  for (let display = 90; display < 130; display += 1) {
    if (existsSync(`/tmp/.X11-unix/X${display}`) || existsSync(`/tmp/.X${display}-lock`)) continue;
    const xvfb = spawn("Xvfb", [`:${display}`, "-screen", "0", "1600x1200x24", "-nolisten", "tcp"], { stdio: "ignore" });
    for (let i = 0; i < 50 && xvfb.exitCode === null; i += 1) {
      if (existsSync(`/tmp/.X11-unix/X${display}`)) return { xvfb, display: `:${display}` };
      await sleep(100);
    }
    if (xvfb.exitCode === null) xvfb.kill();
  }
  throw new Error("no free display for Xvfb");
}

// WebKitGTK offers the language of its locale's messages, and that alone:
// the locale of `tag` ("zh-Hant-TW": zh_TW.UTF-8), compiled into `dir` by
// localedef where the system has not installed it.
function localeFor(tag, dir) {
  const [language, ...rest] = tag.split("-");
  const region = rest.find((part) => part.length === 2);
  const name = `${language}${region ? `_${region.toUpperCase()}` : ""}.UTF-8`;
  const installed = execFileSync("locale", ["-a"], { encoding: "utf8" }).toLowerCase().split("\n");
  if (installed.includes(name.toLowerCase().replace("-", ""))) return { LC_ALL: name };
  // -c: written despite warnings, which localedef reports by its status alone.
  spawnSync("localedef", ["-c", "-i", name.split(".")[0], "-f", "UTF-8", join(dir, name)]);
  if (!existsSync(join(dir, name, "LC_MESSAGES"))) throw new Error(`localedef could not make ${name} (the locales package?)`);
  return { LC_ALL: name, LOCPATH: dir };
}

async function webkit(languages) {
  const { Builder, By, Key } = await import("selenium-webdriver");
  const { xvfb, display } = await startXvfb();
  // MiniBrowser saves a download straight into $HOME when it finds no
  // user-dirs.dirs there: a fresh HOME is the downloads folder.
  const home = mkdtempSync(join(tmpdir(), "kelm-webkit-home-"));
  const port = await freePort();
  const driver = spawn("WebKitWebDriver", [`--port=${port}`], {
    stdio: "ignore",
    env: { ...process.env, DISPLAY: display, HOME: home, XDG_CONFIG_HOME: join(home, ".config"),
      ...localeFor(languages[0], home) },
  });
  const server = `http://127.0.0.1:${port}`;
  for (let i = 0; ; i += 1) {
    try {
      if ((await fetch(`${server}/status`)).ok) break;
    } catch (error) {
      if (i > 100) throw new Error("WebKitWebDriver did not start");
    }
    await sleep(100);
  }
  const keys = { Tab: Key.TAB, Enter: Key.ENTER, Escape: Key.ESCAPE, ArrowRight: Key.ARROW_RIGHT,
    ArrowLeft: Key.ARROW_LEFT, Shift: Key.SHIFT, Control: Key.CONTROL, Backspace: Key.BACK_SPACE, Space: Key.SPACE };
  const capabilities = {
    browserName: "MiniBrowser",
    "webkitgtk:browserOptions": { binary: MINIBROWSER, args: ["--automation"] },
  };
  const sessions = new Set();
  return {
    name: "webkit",
    // The automation session keeps no HTTP cache: even a page's own fetch
    // with cache "force-cache" goes to the server (tried with a plain page).
    httpCache: false,
    async open(url, { viewport = { width: 1280, height: 800 } } = {}) {
      const session = await new Builder().usingServer(server).withCapabilities(capabilities).build();
      sessions.add(session);
      const element = (selector) => session.findElement(By.css(selector));
      const evaluate = (fn, arg) => session.executeScript(fn, arg);
      // The window is the viewport plus MiniBrowser's own bars.
      await session.manage().window().setRect({ x: 0, y: 0, width: viewport.width, height: viewport.height });
      const [innerWidth, innerHeight] = await evaluate(() => [window.innerWidth, window.innerHeight]);
      await session.manage().window().setRect({
        width: 2 * viewport.width - innerWidth, height: 2 * viewport.height - innerHeight,
      });
      // MiniBrowser's toolbar keeps its window wider than a phone's screen:
      // there the page runs in a frame of the phone's size, which is its
      // viewport as far as the page can tell.
      const framed = (await evaluate(() => window.innerWidth)) !== viewport.width;
      const load = async () => {
        if (framed) {
          await session.switchTo().defaultContent();
          await evaluate(({ url, width, height }) => {
            document.body.style.margin = "0";
            document.body.replaceChildren();
            const frame = document.createElement("iframe");
            Object.assign(frame, { id: "kelm-frame", src: url, width, height });
            frame.style.border = "0";
            document.body.append(frame);
            return new Promise((resolve) => frame.addEventListener("load", resolve));
          }, { url, ...viewport });
          await session.switchTo().frame(await session.findElement(By.css("#kelm-frame")));
        }
        await evaluate(installErrorHook);
      };
      await session.get(framed ? "about:blank" : url);
      await load();
      const page = {
        raw: session,
        requests: null,
        errors: () => evaluate(() => window.kelmErrors || []),
        click: async (selector) => (await element(selector)).click(),
        // Typed as a user types: WebDriver's clear() leaves the field, which
        // then shows the last good limit again.
        async fill(selector, text) {
          const field = await element(selector);
          await field.click();
          await session.actions().keyDown(Key.CONTROL).sendKeys("a").keyUp(Key.CONTROL).perform();
          await field.sendKeys(Key.BACK_SPACE, text);
        },
        async check(selector) {
          if (!(await evaluate((s) => document.querySelector(s).checked, selector))) await (await element(selector)).click();
        },
        select: async (selector, value) => (await element(`${selector} option[value="${value}"]`)).click(),
        async press(combo) {
          const parts = combo.split("+").map((part) => keys[part] || part);
          const key = parts.pop();
          let actions = session.actions();
          for (const modifier of parts) actions = actions.keyDown(modifier);
          actions = actions.sendKeys(key);
          for (const modifier of parts.reverse()) actions = actions.keyUp(modifier);
          await actions.perform();
        },
        chooseFile: async (path) => (await element("#file")).sendKeys(path),
        evaluate,
        waitFor: (fn, arg, what) => poll(page, fn, arg, what),
        async download(name, action) {
          await action();
          return awaitSaved(home, name);
        },
        async screenshot(path) {
          // WebKitGTK hands over the last frame it painted: let it paint.
          await evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
          let shot;
          if (framed) {
            await session.switchTo().defaultContent();
            const frame = await session.findElement(By.css("#kelm-frame"));
            shot = await frame.takeScreenshot();
            await session.switchTo().frame(frame);
          } else {
            shot = await session.takeScreenshot();
          }
          writeFileSync(path, Buffer.from(shot, "base64"));
        },
        async reload() {
          await session.navigate().refresh();
          await load();
        },
        async close() {
          sessions.delete(session);
          await session.quit();
        },
      };
      return page;
    },
    async close() {
      for (const session of sessions) await session.quit().catch(() => {});
      driver.kill();
      xvfb.kill();
      await Promise.all([driver, xvfb].filter((p) => !hasExited(p)).map((p) => once(p, "exit")));
      rmSync(home, { recursive: true, force: true });
    },
  };
}

const ENGINES = { chromium, firefox, webkit };

export function launchEngine(name, { languages = ["en-US"] } = {}) {
  if (!ENGINES[name]) throw new Error(`no engine named ${name}; there are ${Object.keys(ENGINES).join(", ")}`);
  return ENGINES[name](languages);
}
