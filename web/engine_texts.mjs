// Runs the page's own engine under node while the site is put together and
// prints what it answers on start-up: { start: kelm_start(), state:
// kelm_state(), languages: kelm_languages().languages }. make_site.py writes those texts and that first state into
// the page, so that the page is read and laid out complete before its script
// has run; the script then renders the same answers from the same engine.
//
// usage: node engine_texts.mjs KELM_JS KELM_WASM
import { readFileSync } from "node:fs";
import vm from "node:vm";

const [glue, wasm] = process.argv.slice(2);
const createKelm = vm.runInThisContext(`${readFileSync(glue, "utf8")}\ncreateKelm;`, { filename: glue });
const compiled = await WebAssembly.compile(readFileSync(wasm));
const engine = await createKelm({
  instantiateWasm(imports, receive) {
    WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled));
    return {};
  },
});
const ask = (name) => JSON.parse(engine.ccall(name, "string", [], []));
process.stdout.write(JSON.stringify({ start: ask("kelm_start"), state: ask("kelm_state"),
  languages: ask("kelm_languages").languages }));
