#!/usr/bin/env python3
"""Puts the web page together in one folder, from the page's sources, the
engine (kelm.js, kelm.wasm) and the generated font and pictures.

The page is one self-contained index.html: its script (the engine's glue, the
.wasm gzipped, the UI font as WOFF2, the page's own script) and its style
sheet inline, each allowed by its hash in the page's Content-Security-Policy;
the pictures as data: URLs. It asks for nothing, so the same file works
served by any static host and opened straight from disk, where browsers
refuse module scripts and fetches. The engine's start-up texts and first
state are written into it, as the engine answers them under node, so that it
is laid out complete before its script runs.

Beside it: the manifest, the app icon (a palette PNG), the service worker,
which gets the list of files to keep offline with each one's hash and a
version made from all of them, and lang/CODE.js for each language of
po/LINGUAS: the messages the page can show (those of the page's own
sources), compiled by msgfmt, gzipped, in a classic script that the page
inserts when it shows that language. The page carries each file's hash for
the script element's integrity.

usage: make_site.py OUT_DIR --page DIR --wasm DIR --assets DIR --po DIR
"""
import argparse
import base64
import hashlib
import html
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from fontTools import subset
from fontTools.ttLib import TTFont
from PIL import Image


def sha256_b64(data):
    return base64.b64encode(hashlib.sha256(data).digest()).decode()


def through_file(data, command):
    """What `command` (with IN and OUT for two file names) makes of `data`;
    the zopfli tools read and write files only."""
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in"), os.path.join(tmp, "out")
        with open(src, "wb") as f:
            f.write(data)
        with open(dst, "wb") as out:
            subprocess.run([{"IN": src, "OUT": dst}.get(arg, arg) for arg in command], check=True,
                           stdout=out if "OUT" not in command else subprocess.DEVNULL, stderr=subprocess.PIPE)
        with open(dst, "rb") as f:
            return f.read()


def zopfli_png(png):
    """The same picture, deflated harder."""
    return through_file(png, ["zopflipng", "-y", "IN", "OUT"])


def palette_png(path):
    """A picture as a palette PNG: exact where it has at most 256 colours
    (the check-box skins and popup signs: flat colours over alpha), else
    quantized (the shaded cog: 32 colours chosen by libimagequant show no
    bands even at 512 pixels, where 256 from an octree do)."""
    image = Image.open(path).convert("RGBA")
    colours = image.getcolors(256)
    if colours is None:
        quantized = image.quantize(32, method=Image.Quantize.LIBIMAGEQUANT, dither=Image.Dither.NONE)
    else:
        palette = [c for _, c in sorted(colours, key=lambda c: (c[1][3], c[1]))]
        index = {c: i for i, c in enumerate(palette)}
        quantized = Image.new("P", image.size)
        quantized.putdata([index[p] for p in image.getdata()])
        quantized.putpalette(b"".join(bytes(c[:3]) for c in palette), "RGB")
        quantized.info["transparency"] = bytes(c[3] for c in palette)
    out = io.BytesIO()
    quantized.save(out, "PNG", transparency=quantized.info.get("transparency"))
    return zopfli_png(out.getvalue())


def woff2(path):
    """The UI font for the page: WOFF2 and without its hinting programs, which
    are more than half its bytes and which browsers' light hinting passes
    over; every glyph, kerning and name stays."""
    # The font's own time stamp stays, so that the same sources make the same page.
    font = TTFont(path, recalcTimestamp=False)
    options = subset.Options()
    options.hinting = False
    options.layout_features = ["*"]
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.glyph_names = True
    keep = subset.Subsetter(options)
    keep.populate(unicodes=font.getBestCmap().keys())
    keep.subset(font)
    font.flavor = "woff2"
    out = io.BytesIO()
    font.save(out, reorderTables=False)
    return out.getvalue()


def zopfli_gzip(data):
    return through_file(data, ["zopfli", "--gzip", "-c", "IN"])


def data_url(mime, data):
    return "data:%s;base64,%s" % (mime, base64.b64encode(data).decode())


def without_comment_lines(source):
    """The source less its whole-line comments and indentation: what the
    browser never needs. Only whole lines go, so nothing inside a string can
    be cut; a template literal spanning lines would be, so there must be none."""
    lines = (line.strip() for line in source.splitlines())
    kept = "\n".join(line for line in lines if line and not line.startswith("//"))
    if any("\n" in inside for inside in kept.split("`")[1::2]):
        raise SystemExit("make_site: a template literal spans lines; keep each on one line")
    return kept


def css_minimal(source):
    source = re.sub(r"/\*.*?\*/", "", source, flags=re.S)
    return "\n".join(line.strip() for line in source.splitlines() if line.strip())


def page_catalogues(po_dir, texts_from, msggrep, msgfmt):
    """{code: lang/CODE.js's text}: each language's messages that the
    sources in the folders `texts_from` (as the .po files name them,
    "src/ui") show, as msgfmt compiles them, gzipped, in base64."""
    sys.path.insert(0, po_dir)
    import catalogues
    chosen = [arg for folder in texts_from for arg in ("-N", folder.rstrip("/") + "/*")]
    out = {}
    with tempfile.TemporaryDirectory() as tmp:
        for code in catalogues.languages(po_dir):
            page_po, mo = os.path.join(tmp, code + ".po"), os.path.join(tmp, code + ".mo")
            # The popup's CR LF line ends draw a warning at every step: that
            # warning, and only it, is dropped.
            for command in ([msggrep, *chosen, "-o", page_po, os.path.join(po_dir, code + ".po")],
                            [msgfmt, "--check", "--no-hash", "-o", mo, page_po]):
                # In English, whatever the builder's locale: the warning is told by its words.
                run = subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
                told = [line for line in run.stderr.splitlines() if "escape sequence" not in line]
                if run.returncode != 0 or told:
                    raise SystemExit("make_site: %s: %s" % (command[0], "\n".join(told) or run.returncode))
            with open(mo, "rb") as f:
                data = base64.b64encode(zopfli_gzip(f.read())).decode()
            out[code] = ("self.kelmCatalogues = self.kelmCatalogues || {};\n"
                         "self.kelmCatalogues[%s] = \"%s\";\n" % (json.dumps(code), data))
    return out


def language_options(languages):
    return "".join('<option value="%s" lang="%s">%s</option>' % (html.escape(l["code"]), html.escape(l["tag"]),
                                                               html.escape(l["name"])) for l in languages)


def engine_texts(node, page_dir, wasm_dir):
    out = subprocess.run([node, os.path.join(page_dir, "engine_texts.mjs"), os.path.join(wasm_dir, "kelm.js"),
                          os.path.join(wasm_dir, "kelm.wasm")], check=True, capture_output=True, text=True)
    return json.loads(out.stdout)


def fill_texts(page, texts):
    """{{name}}: the start-up text or limit `name`; {{state.name}}: the first
    state's; both escaped for HTML."""
    def value(match):
        key = match.group(1)
        where = texts["state"] if key.startswith("state.") else texts["start"]
        return html.escape(str(where[key.split(".", 1)[-1]]))
    return re.sub(r"\{\{([a-z_.]+)\}\}", value, page)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--page", required=True, help="the page's sources (web/)")
    ap.add_argument("--wasm", required=True,
                    help="where kelm.js and kelm.wasm were built, with sources.txt: the folders of their sources")
    ap.add_argument("--assets", required=True, help="the generated font and pictures")
    ap.add_argument("--po", required=True, help="the catalogues' sources (po/, with LINGUAS)")
    ap.add_argument("--node", default="node")
    ap.add_argument("--msggrep", default="msggrep")
    ap.add_argument("--msgfmt", default="msgfmt")
    args = ap.parse_args()
    # The engine's build names the folders of its sources beside it.
    with open(os.path.join(args.wasm, "sources.txt"), encoding="utf-8") as f:
        texts_from = f.read().split()
    if not texts_from:
        ap.error("%s names no folder: the page would show no translated text" % os.path.join(args.wasm, "sources.txt"))

    def source(name):
        with open(os.path.join(args.page, name), encoding="utf-8") as f:
            return f.read()

    # The pictures the page names, by the names it uses. The gear is the cog
    # drawn at 48 pixels for the button's 29: sharp on a phone's screen too.
    pictures = {name: os.path.join(args.assets, name)
                for name in ("box_empty.png", "box_ticked.png", "popup_cross.png", "popup_tick.png")}
    pictures["gear.png"] = os.path.join(args.assets, "hicolor", "48x48", "apps", "kelm-patcher.png")
    inlined = {name: data_url("image/png", palette_png(path)) for name, path in pictures.items()}

    def inline_urls(text):
        def swap(match):
            name = match.group(2)
            if name not in inlined:
                raise SystemExit("make_site: the page names %s, which is not one of its pictures" % name)
            return match.group(1) + inlined[name] + match.group(3)
        return re.sub(r'((?:url\(|src=)")([a-z_0-9]+\.png)(")', swap, text)

    style = inline_urls(css_minimal(source("style.css")))
    with open(os.path.join(args.wasm, "kelm.js"), encoding="utf-8") as f:
        glue = f.read()
    with open(os.path.join(args.wasm, "kelm.wasm"), "rb") as f:
        wasm = f.read()
    font = woff2(os.path.join(args.assets, "ui_font.ttf"))
    languages = {"lang/%s.js" % code: text.encode()
                 for code, text in page_catalogues(args.po, texts_from, args.msggrep, args.msgfmt).items()}
    integrity = {name[len("lang/"):-len(".js")]: "sha256-" + sha256_b64(data) for name, data in languages.items()}
    # The glue and the page's script share one function's scope; the page's
    # own code keeps the strict mode it was written for.
    script = ("(() => {\n%s\nconst KELM_WASM_GZIP = \"%s\";\nconst KELM_FONT_WOFF2 = \"%s\";\n"
              "const KELM_LANGUAGE_FILES = %s;\n(() => {\n\"use strict\";\n%s\n})();\n})();") % (
        glue.strip(), base64.b64encode(zopfli_gzip(wasm)).decode(), base64.b64encode(font).decode(),
        json.dumps(integrity, sort_keys=True), without_comment_lines(source("app.js")))

    for text, tag in ((script, "script"), (style, "style")):
        if "</" + tag in text.lower():
            raise SystemExit("make_site: the inline %s would end at a </%s in it" % (tag, tag))

    manifest = json.loads(source("manifest.webmanifest"))
    csp = "; ".join([
        "default-src 'none'",
        # A script that the page's own inserts (a language's catalogue) is
        # trusted through it; no other is.
        "script-src 'sha256-%s' 'strict-dynamic' 'wasm-unsafe-eval'" % sha256_b64(script.encode()),
        "style-src 'sha256-%s'" % sha256_b64(style.encode()),
        "img-src 'self' data:",
        "connect-src 'self'",
        "worker-src 'self'",
        "manifest-src 'self'",
        "base-uri 'none'",
        "form-action 'none'",
    ])
    texts = engine_texts(args.node, args.page, args.wasm)
    page = fill_texts(source("index.html"), texts)
    # Only whole comment lines of the template go; the inline parts come last,
    # so that nothing in them is taken for a placeholder.
    page = re.sub(r"<!--.*?-->\n", "", page, flags=re.S)
    page = inline_urls(page)
    state = texts["state"]
    fixed = {
        "@csp": csp,
        "@description": html.escape(manifest["description"]),
        "@theme_color": manifest["theme_color"],
        "@language_options": language_options(texts["languages"]),
        "@music_fix_attributes": ("" if state["music_fix_available"] else " disabled")
                                 + (" checked" if state["music_fix"] else ""),
    }
    for key, value in fixed.items():
        page = page.replace("{{%s}}" % key, value)
    page = page.replace("{{@style}}", style).replace("{{@script}}", script)

    files = {"index.html": page.encode(), "manifest.webmanifest": source("manifest.webmanifest").encode()}
    # One app icon, which browsers take for installing the page as well as
    # for the tab: at 192 pixels it meets what installing asks for.
    files["icon-192.png"] = palette_png(os.path.join(args.assets, "web", "icon-192.png"))

    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(os.path.join(args.out, "lang"))
    version = hashlib.sha256()
    for name, data in sorted({**files, **languages}.items()):
        version.update(name.encode() + b"\0" + data)
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)

    # The worker keeps every file of the site as it installs, the page itself
    # under "./", the address a visitor opens; and each language's file once
    # the page has asked for it.
    def listed(names):
        kept = {("./" if name == "index.html" else "./" + name): "sha256-" + sha256_b64(data)
                for name, data in sorted(names.items())}
        return json.dumps(kept).strip("{}")
    worker = without_comment_lines(source("sw.js"))
    worker = worker.replace("__KELM_SITE_VERSION__", version.hexdigest()[:16])
    worker = worker.replace('"__KELM_SITE_FILES__"', listed(files))
    worker = worker.replace('"__KELM_LANGUAGE_FILES__"', listed(languages))
    with open(os.path.join(args.out, "sw.js"), "w", encoding="utf-8") as f:
        f.write(worker)


if __name__ == "__main__":
    main()
