// Keeps the page working without a network: every file of the site is cached
// when the worker installs, and every request for one of them is answered from
// that cache. A language's catalogue (lang/CODE.js) is cached once the page
// has asked for it, so that a visitor's language works offline too while the
// first visit stays small. The site's build writes both lists, each file's
// hash and a version made from them all, so a changed site replaces the cache
// as a whole.
const VERSION = "__KELM_SITE_VERSION__";
const FILES = {
  "__KELM_SITE_FILES__"
};
const LANGUAGE_FILES = {
  "__KELM_LANGUAGE_FILES__"
};
const CACHE = "kelm-" + VERSION;

// On a first visit the browser has just fetched these files, so the copy in
// its HTTP cache is taken rather than a second one from the server; the hash
// makes sure that copy is this version's. A stale one is fetched anew past
// the HTTP cache: asking the server whether it changed could be answered
// "no" for a file changed within the second its cached copy was made.
async function keep(cache, url) {
  const integrity = FILES[url] || LANGUAGE_FILES[url];
  let response;
  try {
    response = await fetch(new Request(url, { cache: "force-cache", integrity }));
  } catch (error) {
    response = null;
  }
  if (!response || !response.ok) response = await fetch(new Request(url, { cache: "reload", integrity }));
  if (!response.ok) throw new Error(`${url}: ${response.status}`);
  await cache.put(url, response);
}

self.addEventListener("install", (event) => {
  event.waitUntil(
    caches.open(CACHE)
      .then((cache) => Promise.all(Object.keys(FILES).map((url) => keep(cache, url))))
      .then(() => self.skipWaiting()),
  );
});

self.addEventListener("activate", (event) => {
  event.waitUntil(
    caches.keys()
      .then((keys) => Promise.all(
        keys.filter((key) => key.startsWith("kelm-") && key !== CACHE).map((key) => caches.delete(key)),
      ))
      .then(() => self.clients.claim()),
  );
});

// The site's name for a URL of this origin: "./lang/de.js".
function siteName(url) {
  const scope = new URL(self.registration.scope);
  return url.pathname.startsWith(scope.pathname) ? "./" + url.pathname.slice(scope.pathname.length) : null;
}

// A language's file, from the cache or else kept there now; throws if it
// cannot be had whole.
async function language(cache, name) {
  const cached = await cache.match(name);
  if (cached) return cached;
  await keep(cache, name);
  return cache.match(name);
}

self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== self.location.origin) return;
  // The page is kept under the folder's address; index.html is the same page.
  const scope = new URL(self.registration.scope);
  const asked = url.pathname === scope.pathname + "index.html" ? scope.href : event.request;
  const name = siteName(url);
  event.respondWith(
    caches.open(CACHE).then(async (cache) => {
      const cached = await cache.match(asked, { ignoreSearch: true });
      if (cached || !Object.hasOwn(LANGUAGE_FILES, name)) return cached || fetch(event.request);
      return (await language(cache, name).catch(() => null)) || fetch(event.request);
    }),
  );
});

// The page shows a language whose file it loaded before this worker took it
// over (a first visit): { keep: "./lang/de.js" } keeps that file too, from
// the browser's HTTP cache where it can.
self.addEventListener("message", (event) => {
  const name = event.data && event.data.keep;
  if (!Object.hasOwn(LANGUAGE_FILES, name)) return;
  event.waitUntil(caches.open(CACHE).then((cache) => language(cache, name)).catch(() => {}));
});
