#!/usr/bin/env python3
"""Puts the web page together in one folder: the page's own files, the engine
(kelm.js, kelm.wasm), the UI font and the pictures. The service worker gets the
list of every file and a version made from their contents, so that a changed
file reaches a returning visitor and an unchanged site is never fetched twice.

usage: make_site.py OUT_DIR --page DIR --wasm DIR --assets DIR
"""
import argparse
import hashlib
import os
import shutil


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--page", required=True, help="the page's sources (web/)")
    ap.add_argument("--wasm", required=True, help="where kelm.js and kelm.wasm were built")
    ap.add_argument("--assets", required=True, help="the generated font and pictures")
    args = ap.parse_args()

    # Site name -> source file. The service worker is written last, from the rest.
    files = {name: os.path.join(args.page, name)
             for name in ("index.html", "app.js", "style.css", "manifest.webmanifest")}
    files["kelm.js"] = os.path.join(args.wasm, "kelm.js")
    files["kelm.wasm"] = os.path.join(args.wasm, "kelm.wasm")
    files["ui_font.ttf"] = os.path.join(args.assets, "ui_font.ttf")
    for name in ("box_empty.png", "box_ticked.png", "gear.png", "popup_cross.png", "popup_tick.png"):
        files[name] = os.path.join(args.assets, name)
    for size in (192, 512):
        files["icon-%d.png" % size] = os.path.join(args.assets, "web", "icon-%d.png" % size)

    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    version = hashlib.sha256()
    for name in sorted(files):
        with open(files[name], "rb") as f:
            data = f.read()
        version.update(name.encode() + b"\0" + data)
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)

    with open(os.path.join(args.page, "sw.js"), encoding="utf-8") as f:
        worker = f.read()
    listed = ["./"] + ["./" + name for name in sorted(files)]
    worker = worker.replace("__KELM_SITE_VERSION__", version.hexdigest()[:16])
    worker = worker.replace('"__KELM_SITE_FILES__"', ", ".join('"%s"' % n for n in listed))
    with open(os.path.join(args.out, "sw.js"), "w", encoding="utf-8") as f:
        f.write(worker)


if __name__ == "__main__":
    main()
