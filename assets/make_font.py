#!/usr/bin/python3
"""Build the patcher's UI font: DejaVu Serif Book cut down to the characters
the interface can show, renamed "DejaVu LGC Serif".

Usage: make_font.py OUT_DIR [--source DejaVuSerif.ttf] [--po PO_DIR]

With --po, the font carries besides every character of the shipped
translations that DejaVu Serif has: every Latin and Cyrillic letter of them
must be there; Japanese and Chinese are left to the windows' glyph fallback.

Writes OUT_DIR/ui_font.ttf. The output depends only on the source font and
the fontTools release: no time stamps are written.
"""
import argparse
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._c_m_a_p import cmap_format_0, cmap_format_4
from fontTools.ttLib.tables._g_l_y_f import Glyph

DEFAULT_SOURCE = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"

FAMILY = "DejaVu LGC Serif"
STYLE = "Book"
FULL_NAME = FAMILY + " " + STYLE
POSTSCRIPT_NAME = "DejaVuLGCSerif"

# Carriage return draws nothing but still advances, as it did in the
# original LGC builds: a CR LF pair in a label must never show a box.
CR = 0x000D
CR_GLYPH = "uni000D"
CR_ADVANCE = 682

# Private-use glyphs of the DejaVu Cyrillic set, taken only if the source
# font carries them.
OPTIONAL = (0xF6D1, 0xF6D4)


def wanted_code_points():
    cps = [CR]
    cps += range(0x20, 0x7F)
    cps.append(0x00A8)
    cps.append(0x0401)
    cps += range(0x0410, 0x0450)
    cps.append(0x0451)
    cps += [0x2013, 0x2014, 0x2018, 0x2019, 0x201C, 0x201D, 0x2026]
    cps += [0x2550, 0x2554, 0x2557, 0x255D, 0x25FC]
    cps += OPTIONAL
    return cps


# Below the CJK blocks: the scripts and signs the UI font answers for itself.
OWN_SCRIPTS_END = 0x2E80
# Latin and Cyrillic (with their extensions) must all be there.
LETTERS_END = 0x0530


def translated_code_points(po_dir):
    sys.path.insert(0, po_dir)
    import catalogues
    cps = set()
    for lang in catalogues.languages(po_dir):
        for text in catalogues.translations(lang, po_dir):
            cps |= {ord(c) for c in text if 0x20 <= ord(c) < OWN_SCRIPTS_END}
    return sorted(cps)


def add_cr_glyph(font):
    """Give the font an empty glyph for U+000D if it has none."""
    cmap = font.getBestCmap()
    if CR in cmap:
        return False
    font.ensureDecompiled()
    order = list(font.getGlyphOrder())
    # Right after .notdef, where fonts traditionally keep their control glyphs.
    order.insert(1, CR_GLYPH)
    glyf = font["glyf"]
    glyph = Glyph()
    glyph.numberOfContours = 0
    glyf.glyphs[CR_GLYPH] = glyph
    font["hmtx"].metrics[CR_GLYPH] = (CR_ADVANCE, 0)
    font.setGlyphOrder(order)
    glyf.glyphOrder = order
    font["maxp"].numGlyphs = len(order)
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap[CR] = CR_GLYPH
    return True


def build_cmap(font):
    """Three subtables: Unicode BMP, Windows BMP (both format 4) and Mac Roman
    (format 0)."""
    unicode_map = dict(font.getBestCmap())
    tables = []
    for platform, encoding in ((0, 3), (3, 1)):
        t = cmap_format_4(4)
        t.platformID, t.platEncID, t.language = platform, encoding, 0
        t.cmap = dict(unicode_map)
        tables.append(t)
    mac = cmap_format_0(0)
    mac.platformID, mac.platEncID, mac.language = 1, 0, 0
    mac.cmap = {}
    for cp, name in unicode_map.items():
        try:
            code = chr(cp).encode("mac_roman")
        except UnicodeEncodeError:
            continue
        mac.cmap[code[0]] = name
    tables.append(mac)
    table = newTable("cmap")
    table.tableVersion = 0
    table.tables = tables
    font["cmap"] = table


def rename(font, version):
    name = font["name"]
    keep = {0, 7, 8, 9, 11, 12, 13, 14}
    name.names = [n for n in name.names if n.nameID in keep]
    strings = {
        1: FAMILY,
        2: STYLE,
        3: FULL_NAME,
        4: FULL_NAME,
        5: version,
        6: POSTSCRIPT_NAME,
        16: FAMILY,
        17: STYLE,
    }
    for name_id, text in strings.items():
        name.setName(text, name_id, 3, 1, 0x409)
        name.setName(text, name_id, 1, 0, 0)
    name.names.sort(key=lambda n: (n.platformID, n.platEncID, n.langID, n.nameID))


def make_font(source, out_path, po_dir=None):
    font = TTFont(source, recalcTimestamp=False)
    have = font.getBestCmap()
    wanted = wanted_code_points()
    if po_dir:
        extra = [cp for cp in translated_code_points(po_dir) if cp not in wanted]
        lacking = [cp for cp in extra if cp not in have and cp < LETTERS_END]
        if lacking:
            raise SystemExit("source font lacks the translations' " + ", ".join("U+%04X" % cp for cp in lacking))
        wanted += [cp for cp in extra if cp in have]
    missing = [cp for cp in wanted if cp not in have and cp != CR]
    optional_missing = [cp for cp in missing if cp in OPTIONAL]
    required_missing = [cp for cp in missing if cp not in OPTIONAL]
    if required_missing:
        raise SystemExit("source font lacks " + ", ".join("U+%04X" % cp for cp in required_missing))
    add_cr_glyph(font)
    # The outlines are the source release's, so its version string is kept.
    version = font["name"].getDebugName(5) or "Version %.2f" % font["head"].fontRevision

    # DejaVu's ccmp only rewrites sequences with combining marks, none of which
    # are kept, so with these characters the subsetter finds nothing to keep.
    options = subset.Options()
    options.layout_features = ["kern", "mark", "mkmk", "ccmp"]
    options.hinting = True
    options.legacy_kern = False
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.name_legacy = True
    options.notdef_outline = True
    options.recalc_timestamp = False
    options.recalc_bounds = True
    options.drop_tables += ["FFTM", "MATH", "kern"]
    options.glyph_names = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=[cp for cp in wanted if cp not in optional_missing])
    subsetter.subset(font)

    build_cmap(font)
    rename(font, version)
    font["OS/2"].fsType = 4  # preview and print embedding
    font.recalcTimestamp = False
    font.save(out_path)
    return optional_missing


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--source", default=DEFAULT_SOURCE)
    parser.add_argument("--po", help="po/ folder: carry the shipped translations' characters too")
    args = parser.parse_args(argv)
    os.makedirs(args.out_dir, exist_ok=True)
    out = os.path.join(args.out_dir, "ui_font.ttf")
    missing = make_font(args.source, out, args.po)
    if missing:
        print("make_font: source lacks " + ", ".join("U+%04X" % cp for cp in missing)
              + "; left out", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
