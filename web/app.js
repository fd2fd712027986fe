// The patcher page: hands the chosen file to the engine and shows what the
// engine answers. Every text, limit and rule comes from the engine; this
// script only moves bytes between the user's file and the engine, and
// renders.
//
// make_site.py puts this script into the page after the engine's glue
// (createKelm), the engine's .wasm, gzipped (KELM_WASM_GZIP, base64), the UI
// font (KELM_FONT_WOFF2, base64) and the hash of each language's catalogue
// (KELM_LANGUAGE_FILES): the page fetches nothing, so it works the same served
// and opened from a file. A language other than English comes from
// lang/CODE.js, a classic script the page inserts, which a page from a file
// may load where it may not fetch.
//
// Where the file goes: a file chosen through the File System Access API
// (Chromium's file picker, or a drop that yields a handle) is written back in
// place; any other file is offered as a download under its own name.

// Marks the page as scripted before anything is drawn: until then the page
// shows why the patcher cannot start, for a browser that runs no script.
document.documentElement.dataset.js = "";

// The player's choice of language, kept by the browser: a code of
// KELM_LANGUAGE_FILES, "" for English, null where none was made. Some
// browsers refuse storage to a page from a file, or altogether.
const LANGUAGE_KEY = "kelm-language";

function savedLanguage() {
  try {
    return localStorage.getItem(LANGUAGE_KEY);
  } catch (error) {
    return null;
  }
}

function saveLanguage(code) {
  try {
    localStorage.setItem(LANGUAGE_KEY, code);
  } catch (error) {
    // Not kept: the next visit chooses by the browser's languages again.
  }
}

// Until the language is known, the texts stay hidden where it may be other
// than English: a language chosen before, or a browser that does not ask for
// English first. Which language it is, is the engine's to say.
{
  const saved = savedLanguage();
  if (saved !== null ? saved !== "" : !/^en(-|$)/i.test(navigator.language || "en")) {
    document.documentElement.dataset.languagePending = "";
  }
}

// The bytes of what the page carries in base64.
function carried(base64) {
  const text = atob(base64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i += 1) bytes[i] = text.charCodeAt(i);
  return bytes;
}

// The bytes of a gzip stream carried in base64.
function inflated(base64) {
  const stream = new Blob([carried(base64)]).stream().pipeThrough(new DecompressionStream("gzip"));
  return new Response(stream).arrayBuffer();
}

// The UI font, from the bytes the page carries: a font given as bytes is
// ready before the document is first laid out, where one from a style sheet
// arrives later and moves every line it widens.
try {
  document.fonts.add(new FontFace("Kelm UI", carried(KELM_FONT_WOFF2)));
} catch (error) {
  // No font loading here: the text falls back to the browser's serif.
}

const $ = (id) => document.getElementById(id);

let engine = null;
let state = null;
// Where the chosen file came from: { name, handle, file }. null while nothing
// is chosen.
let source = null;
let busy = false;

// Calls one of the engine's exports; every one answers with a JSON object.
function ask(name, ...args) {
  const types = args.map((a) => (typeof a === "number" ? "number" : "string"));
  return JSON.parse(engine.ccall(name, "string", types, args));
}

function update(name, ...args) {
  state = ask(name, ...args);
  render();
}

// The slider's track is filled up to its thumb by the style sheet.
function showSlider(limit) {
  const slider = $("fps-slider");
  slider.value = String(limit);
  slider.setAttribute("aria-valuetext", String(limit));
  slider.style.setProperty("--fill", `${(100 * (limit - slider.min)) / (slider.max - slider.min)}%`);
}

function render() {
  $("path").value = state.path;
  $("status").textContent = state.status;
  // A field being typed into keeps what was typed; it shows the limit again
  // when it is left, as the window's field does on its next frame.
  if (document.activeElement !== $("fps")) $("fps").value = String(state.fps_limit);
  showSlider(state.fps_limit);
  $("music-fix").checked = state.music_fix;
  $("music-fix").disabled = !state.music_fix_available;
  $("music-fix-label").textContent = state.music_fix_label;
  renderMessage();
}

function renderMessage() {
  const dialog = $("message");
  if (!state.message_visible) {
    if (dialog.open) dialog.close();
    return;
  }
  $("message-title").textContent = state.message_title;
  $("message-text").textContent = state.message_text.replace(/\r\n/g, "\n");
  $("message-note").textContent = state.note;
  $("message-note").hidden = !state.note;
  dialog.dataset.kind = state.message_kind;
  if (!dialog.open) {
    dialog.showModal();
    $("message-ok").focus();
  }
}

// Gives the engine the file's bytes to hold under `name`; null: the file
// could not be read, and the engine holds nothing.
function hold(name, bytes) {
  let at = 0;
  if (bytes) {
    at = engine._malloc(Math.max(1, bytes.length));   // the engine frees it
    engine.HEAPU8.set(bytes, at);
  }
  engine.ccall("kelm_put", null, ["string", "number", "number"], [name, at, bytes ? bytes.length : 0]);
}

function heldBytes() {
  const at = engine.ccall("kelm_file_data", "number", [], []);
  return engine.HEAPU8.slice(at, at + engine.ccall("kelm_file_size", "number", [], []));
}

async function readBytes(handle, file) {
  const blob = handle ? await handle.getFile() : file;
  return new Uint8Array(await blob.arrayBuffer());
}

// "Browse" or a drop: `handle` is a FileSystemFileHandle where the browser
// gave one, else null with `file` a File.
async function choose(handle, file) {
  const name = handle ? handle.name : file.name;
  let bytes = null;
  try {
    bytes = await readBytes(handle, file);
  } catch (error) {
    // Unreadable: the engine finds nothing under the name and refuses it as
    // the window refuses a file it cannot examine.
  }
  hold(name, bytes);
  update("kelm_select", name);
  source = state.chosen ? { name, handle, file } : null;
}

function download(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  link.hidden = true;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// False when the browser did not let the page write; throws what it refused
// the write with.
async function writeInPlace(handle, bytes) {
  if (handle.requestPermission && (await handle.queryPermission({ mode: "readwrite" })) !== "granted" &&
      (await handle.requestPermission({ mode: "readwrite" })) !== "granted") {
    return false;
  }
  // The browser writes into a copy and swaps it in on close: a write that
  // fails part-way leaves the user's file as it was.
  const writable = await handle.createWritable();
  try {
    await writable.write(bytes);
    await writable.close();
  } catch (error) {
    await writable.abort().catch(() => {});
    throw error;
  }
  return true;
}

async function patch() {
  if (!source) {
    update("kelm_patch");   // nothing chosen: the engine says so
    return;
  }
  // The user's file is read afresh, as the window opens it afresh: one that
  // changed or went since it was chosen is caught by the engine's checks.
  let original = null;
  try {
    original = await readBytes(source.handle, source.file);
  } catch (error) {
    // Gone or unreadable: the engine says so.
  }
  hold(source.name, original);
  const answer = ask("kelm_patch");
  if (!answer.message_visible || answer.message_kind !== "info") {
    state = answer;
    render();
    return;
  }
  const patched = heldBytes();
  if (source.handle && source.handle.createWritable) {
    // Refused: the held copy goes back to what the user's file still holds.
    // No reason from the browser: the engine gives its own.
    let refused = null;
    try {
      if (!(await writeInPlace(source.handle, patched))) refused = "";
    } catch (error) {
      refused = error.message || error.name || String(error);
    }
    if (refused === null) {
      update("kelm_written", 1);
    } else {
      hold(source.name, original);
      update("kelm_write_failed", refused);
    }
  } else {
    download(patched, source.name);
    update("kelm_written", 0);
  }
}

// One action at a time: a second click while a file is read or written waits
// for nothing and does nothing.
function guarded(action) {
  return async (...args) => {
    if (busy) return;
    busy = true;
    $("panel").setAttribute("aria-busy", "true");
    try {
      await action(...args);
    } finally {
      busy = false;
      $("panel").setAttribute("aria-busy", "false");
    }
  };
}

const chooseGuarded = guarded(choose);
const patchGuarded = guarded(patch);

function wireFileInput() {
  const input = $("file");
  input.addEventListener("click", (event) => {
    if (!window.showOpenFilePicker) return;
    // The picker hands back a handle the file can be written through.
    event.preventDefault();
    window.showOpenFilePicker({ multiple: false })
      .then(([handle]) => chooseGuarded(handle, null))
      .catch(() => {});   // cancelled: nothing changes
  });
  input.addEventListener("change", () => {
    if (input.files.length) chooseGuarded(null, input.files[0]);
    input.value = "";
  });
}

function wireDrop() {
  const zone = $("drop-zone");
  let depth = 0;
  const carriesFiles = (event) => [...event.dataTransfer.types].includes("Files");
  window.addEventListener("dragenter", (event) => {
    if (!carriesFiles(event)) return;
    depth += 1;
    zone.classList.add("shown");
  });
  window.addEventListener("dragleave", () => {
    depth = Math.max(0, depth - 1);
    if (!depth) zone.classList.remove("shown");
  });
  // Whatever is dragged over the page is the page's to take: a link or a
  // piece of text dropped here must not navigate away from it.
  window.addEventListener("dragover", (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = "copy";
  });
  window.addEventListener("drop", (event) => {
    event.preventDefault();
    depth = 0;
    zone.classList.remove("shown");
    if ($("message").open || busy) return;
    if (!carriesFiles(event)) {
      update("kelm_drop_refused");
      return;
    }
    // Several files: the first is taken, as "Browse" takes one.
    const item = [...event.dataTransfer.items].find((i) => i.kind === "file");
    if (!item) return;
    // The handle must be asked for before this handler returns.
    const pending = item.getAsFileSystemHandle ? item.getAsFileSystemHandle() : null;
    const file = item.getAsFile();
    Promise.resolve(pending).then((handle) => {
      if (handle && handle.kind === "file") chooseGuarded(handle, null);
      else if (file) chooseGuarded(null, file);
    });
  });
}

function wireControls() {
  $("fps").addEventListener("input", () => {
    state = ask("kelm_set_fps_text", $("fps").value);
    showSlider(state.fps_limit);
  });
  $("fps").addEventListener("change", () => render());
  $("fps").addEventListener("blur", () => render());
  $("fps-slider").addEventListener("input", () => update("kelm_set_fps", Number($("fps-slider").value)));
  $("music-fix").addEventListener("change", () => update("kelm_set_music_fix", $("music-fix").checked ? 1 : 0));
  $("info").addEventListener("click", () => update("kelm_info"));
  $("patch").addEventListener("click", () => patchGuarded());
  $("message-ok").addEventListener("click", () => update("kelm_dismiss"));
  // Escape closes a modal dialog in every browser: it counts as "OK".
  $("message").addEventListener("cancel", (event) => {
    event.preventDefault();
    update("kelm_dismiss");
  });
  $("language").addEventListener("change", () => {
    const code = $("language").value;
    // While a file is read or written the language stays as it is.
    if (busy) $("language").value = languageShown;
    else chooseLanguage(code);
  });
}

// The code of the language shown, "" for English.
let languageShown = "";

function showTexts(texts) {
  languageShown = texts.language;
  document.documentElement.lang = texts.lang;
  document.title = texts.title;
  $("title").textContent = texts.title;
  $("browse").textContent = texts.browse;
  $("drop-hint").textContent = texts.drop_hint;
  $("drop-zone-hint").textContent = texts.drop_hint;
  $("fps-label").textContent = texts.fps_label;
  for (const id of ["fps", "fps-slider"]) {
    $(id).min = String(texts.fps_min);
    $(id).max = String(texts.fps_max);
  }
  $("info").textContent = texts.info;
  $("credit").textContent = texts.credit;
  $("patch-label").textContent = texts.patch;
  $("message-ok").textContent = texts.ok;
  $("language-label").textContent = texts.language_label;
  $("language").value = texts.language;
}

// The languages the engine offers, each named in itself.
function showLanguages(languages) {
  $("language").replaceChildren(...languages.map(({ code, tag, name }) => {
    const option = new Option(name, code);
    option.lang = tag;
    return option;
  }));
}

// The bytes of the catalogue of `code`, from lang/CODE.js, which leaves them
// in self.kelmCatalogues. Served, the script element carries the file's hash,
// which the browser checks; from disk it cannot (Chromium refuses a hash
// check on a file it reads without CORS, which files do not have), and there
// the page itself comes from the same folder as the file.
function loadCatalogue(code) {
  const loaded = () => self.kelmCatalogues && self.kelmCatalogues[code];
  if (loaded()) return inflated(loaded());
  return new Promise((resolve, reject) => {
    if (!Object.hasOwn(KELM_LANGUAGE_FILES, code)) throw new Error(`no catalogue ${code}`);
    const script = document.createElement("script");
    script.src = `lang/${code}.js`;
    if (location.protocol !== "file:") script.integrity = KELM_LANGUAGE_FILES[code];
    script.addEventListener("load", () => (loaded() ? resolve(inflated(loaded())) : reject(new Error(script.src))));
    script.addEventListener("error", () => reject(new Error(`${script.src} did not load`)));
    document.head.append(script);
  });
}

// A served page's worker keeps the file of the language shown, for visits
// without a network.
function keepOffline(code) {
  if (!code || !("serviceWorker" in navigator) || !/^https?:$/.test(location.protocol)) return;
  navigator.serviceWorker.ready
    .then((registration) => registration.active && registration.active.postMessage({ keep: `./lang/${code}.js` }))
    .catch(() => {});
}

// Shows the language `code` ("" for English). One whose catalogue does not
// arrive leaves the page in the language it shows, and the engine says so.
async function useLanguage(code) {
  let bytes = null;
  if (code) {
    try {
      bytes = new Uint8Array(await loadCatalogue(code));
    } catch (error) {
      // The engine, given no bytes, says the language could not be loaded.
    }
  }
  const at = bytes ? engine._malloc(bytes.length) : 0;
  if (bytes) engine.HEAPU8.set(bytes, at);
  const texts = JSON.parse(engine.ccall("kelm_use_language", "string", ["string", "number", "number"],
    [code, at, bytes ? bytes.length : 0]));
  if (at) engine._free(at);
  showTexts(texts);
  update("kelm_state");
  if (texts.language === code) keepOffline(code);
  return texts.language === code;
}

// The player's choice in the chooser, kept for the next visit once it shows.
const chooseLanguage = guarded(async (code) => {
  if (await useLanguage(code)) saveLanguage(code);
});

// The language to start in: the one chosen before, if the page still offers
// it, else the engine's pick for the browser's languages.
function startLanguage() {
  const saved = savedLanguage();
  if (saved !== null && [...$("language").options].some((option) => option.value === saved)) return saved;
  const wanted = navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language];
  return ask("kelm_pick_language", wanted.filter(Boolean).join(",")).code;
}

// The engine compiles while the document is still being read.
async function compileEngine() {
  return WebAssembly.compile(await inflated(KELM_WASM_GZIP));
}

function loadEngine() {
  return compileEngine().then((compiled) => new Promise((resolve, reject) => {
    createKelm({
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled), reject);
        return {};
      },
    }).then(resolve, reject);
  }));
}

let engineLoading;
try {
  engineLoading = loadEngine();
} catch (error) {
  // No WebAssembly, no streams: the same explanation as any later failure.
  engineLoading = Promise.reject(error);
}
engineLoading.catch(() => {});

// The engine did not start: the page says why and what to do, rather than
// sitting there dead.
function showUnavailable(error) {
  $("unavailable-reason").textContent = `: ${(error && (error.message || error.name)) || String(error)}`;
  document.documentElement.dataset.failed = "";
  delete document.documentElement.dataset.languagePending;
  $("panel").setAttribute("aria-busy", "false");
}

async function start() {
  try {
    engine = await engineLoading;
  } catch (error) {
    showUnavailable(error);
    return;
  }
  showLanguages(ask("kelm_languages").languages);
  showTexts(ask("kelm_start"));
  const code = startLanguage();
  if (code) await useLanguage(code);
  else update("kelm_state");
  delete document.documentElement.dataset.languagePending;
  wireFileInput();
  wireDrop();
  wireControls();
  $("panel").setAttribute("aria-busy", "false");
  document.documentElement.dataset.ready = "1";
  performance.mark("kelm-ready");
  // Served pages only: a page opened from a file has nothing to keep offline.
  if ("serviceWorker" in navigator && /^https?:$/.test(location.protocol)) {
    navigator.serviceWorker.register("sw.js").catch(() => {});
  }
}

if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
else start();
