// The patcher page: hands the chosen file to the engine and shows what the
// engine answers. Every text, limit and rule comes from the engine; this
// script only moves bytes between the user's file and the engine, and
// renders.
//
// make_site.py puts this script into the page after the engine's glue
// (createKelm), the engine's .wasm, gzipped (KELM_WASM_GZIP, base64), and the
// UI font (KELM_FONT_WOFF2, base64): the page fetches nothing, so it works the
// same served and opened from a file.
//
// Where the file goes: a file chosen through the File System Access API
// (Chromium's file picker, or a drop that yields a handle) is written back in
// place; any other file is offered as a download under its own name.

// Marks the page as scripted before anything is drawn: until then the page
// shows why the patcher cannot start, for a browser that runs no script.
document.documentElement.dataset.js = "";

// The bytes of what the page carries in base64.
function carried(base64) {
  const text = atob(base64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i += 1) bytes[i] = text.charCodeAt(i);
  return bytes;
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

async function writeInPlace(handle, bytes) {
  if (handle.requestPermission && (await handle.queryPermission({ mode: "readwrite" })) !== "granted" &&
      (await handle.requestPermission({ mode: "readwrite" })) !== "granted") {
    throw new DOMException("permission to write was not given", "NotAllowedError");
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
    try {
      await writeInPlace(source.handle, patched);
      update("kelm_written", 1);
    } catch (error) {
      // The held copy goes back to what the user's file still holds.
      hold(source.name, original);
      update("kelm_write_failed", error.message || error.name || String(error));
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
}

function showTexts(texts) {
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
}

// The engine compiles while the document is still being read.
async function compileEngine() {
  const wasm = new Blob([carried(KELM_WASM_GZIP)]).stream().pipeThrough(new DecompressionStream("gzip"));
  return WebAssembly.compile(await new Response(wasm).arrayBuffer());
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
  $("panel").setAttribute("aria-busy", "false");
}

async function start() {
  try {
    engine = await engineLoading;
  } catch (error) {
    showUnavailable(error);
    return;
  }
  showTexts(ask("kelm_start"));
  update("kelm_state");
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
