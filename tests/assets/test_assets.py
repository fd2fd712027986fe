#!/usr/bin/python3
"""Checks of the embedded assets as the build made them.

Usage: test_assets.py GENERATED_DIR [unittest options]

GENERATED_DIR is the build's assets/generated folder. The byte arrays are
read back out of the generated assets.cpp, trailing zeros included, exactly
as the program hands them to its loaders.
"""
import io
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

from fontTools.ttLib import TTFont
from PIL import Image

GEN = None
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PADDING = {"ui_font_ttf": 4, "gear_png": 1, "box_ticked_png": 2, "box_empty_png": 2,
           "popup_cross_png": 2, "popup_tick_png": 2}
FILES = {"ui_font_ttf": "ui_font.ttf", "gear_png": "gear.png", "box_ticked_png": "box_ticked.png",
         "box_empty_png": "box_empty.png", "popup_cross_png": "popup_cross.png", "popup_tick_png": "popup_tick.png"}


def stored_arrays():
    with open(os.path.join(GEN, "assets.cpp")) as f:
        src = f.read()
    arrays = {}
    for name, count, body in re.findall(r"unsigned char (\w+)\[(\d+)\] = \{(.*?)\};", src, re.S):
        data = bytes(int(v, 16) for v in re.findall(r"0x([0-9a-f]{2})", body))
        size = int(re.search(r"unsigned int %s_size = (\d+);" % name, src).group(1))
        arrays[name] = (data, int(count), size)
    table = re.search(r"popup_icon_assets = \{\s*\{(\d+)u, (\d+)u\},\s*\{(\w+), (\w+)\}", src)
    return arrays, table.groups()


def png_chunks(data):
    """(type, payload, crc ok) of each chunk up to IEND, and the bytes after it."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, chunks = 8, []
    while True:
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        payload = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        chunks.append((kind, payload, zlib.crc32(kind + payload) == crc))
        pos += 12 + length
        if kind == b"IEND":
            return chunks, data[pos:]


def teeth(alpha, size, radius):
    """Number of separate opaque runs met going once round a circle."""
    c = size / 2.0
    ring = [alpha.getpixel((int(c + radius * math.cos(math.radians(a / 2))),
                            int(c + radius * math.sin(math.radians(a / 2))))) > 128 for a in range(720)]
    return sum(1 for i in range(720) if ring[i] and not ring[i - 1])


class StoredArrays(unittest.TestCase):
    def test_arrays_are_the_files_plus_zero_padding(self):
        arrays, _ = stored_arrays()
        self.assertEqual(set(arrays), set(PADDING))
        for name, (data, count, size) in arrays.items():
            with self.subTest(name):
                self.assertEqual(len(data), count)
                self.assertEqual(size, count)
                with open(os.path.join(GEN, FILES[name]), "rb") as f:
                    raw = f.read()
                self.assertEqual(data, raw + bytes(PADDING[name]))

    def test_pngs_decode_from_the_stored_bytes(self):
        arrays, _ = stored_arrays()
        sizes = {"gear_png": (29, 29, 3), "box_ticked_png": (256, 276, 6), "box_empty_png": (256, 256, 6),
                 "popup_cross_png": (48, 48, 6), "popup_tick_png": (48, 48, 6)}
        for name, (w, h, colour_type) in sizes.items():
            with self.subTest(name):
                data = arrays[name][0]
                chunks, rest = png_chunks(data)
                self.assertTrue(all(ok for _, _, ok in chunks))
                self.assertEqual(rest, bytes(PADDING[name]))
                self.assertEqual(chunks[0][1], struct.pack(">IIBBBBB", w, h, 8, colour_type, 0, 0, 0))
                img = Image.open(io.BytesIO(data))
                img.verify()
                img = Image.open(io.BytesIO(data))
                img.load()
                self.assertEqual(img.size, (w, h))

    def test_popup_table_is_cross_then_tick(self):
        arrays, (size0, size1, data0, data1) = stored_arrays()
        self.assertEqual((int(size0), int(size1)), (arrays["popup_cross_png"][2], arrays["popup_tick_png"][2]))
        self.assertEqual((data0, data1), ("popup_cross_png", "popup_tick_png"))


def rgba(name):
    return Image.open(os.path.join(GEN, name + ".png")).convert("RGBA")


class Pictures(unittest.TestCase):
    def test_gear_palette_and_transparency(self):
        img = Image.open(os.path.join(GEN, "gear.png"))
        self.assertEqual(img.mode, "P")
        trns = img.info["transparency"]
        self.assertIsInstance(trns, bytes)
        self.assertTrue(all(a < 255 for a in trns))  # translucent entries form the prefix
        self.assertGreater(len(img.getpalette()) // 3, len(trns))
        alpha = img.convert("RGBA").getchannel("A")
        for x, y in [(14, 14), (12, 14), (16, 14), (14, 12), (14, 16), (0, 0), (28, 0), (0, 28), (28, 28),
                     (2, 2), (26, 2), (2, 26), (26, 26)]:
            self.assertEqual(alpha.getpixel((x, y)), 0, (x, y))
        edges = [[alpha.getpixel((i, 0)) for i in range(29)], [alpha.getpixel((i, 28)) for i in range(29)],
                 [alpha.getpixel((0, i)) for i in range(29)], [alpha.getpixel((28, i)) for i in range(29)]]
        self.assertTrue(all(max(e) > 100 for e in edges))  # teeth touch all four edges
        self.assertEqual(teeth(alpha, 29, 13.0), 10)
        for r, g, b, a in img.convert("RGBA").getdata():
            if a == 255:
                self.assertTrue(r >= 149 and abs(r - g) <= 1 and b >= max(g, 185), (r, g, b))  # silver-lavender

    def test_icon_is_one_32bpp_cog(self):
        with open(os.path.join(GEN, "kelm.ico"), "rb") as f:
            ico = f.read()
        self.assertEqual(struct.unpack("<HHH", ico[:6]), (0, 1, 1))
        w, h, _, _, planes, bpp, length, offset = struct.unpack("<BBBBHHII", ico[6:22])
        self.assertEqual((w, h, planes, bpp, length, offset, len(ico)), (32, 32, 1, 32, 4264, 22, 4286))
        self.assertEqual(struct.unpack("<IiiHH", ico[22:38]), (40, 32, 64, 1, 32))
        alpha = Image.open(io.BytesIO(ico)).convert("RGBA").getchannel("A")
        for x, y in [(16, 16), (0, 0), (31, 0), (0, 31), (31, 31)]:
            self.assertEqual(alpha.getpixel((x, y)), 0, (x, y))
        self.assertEqual(teeth(alpha, 32, 14.5), 10)

    def test_desktop_icons_are_the_cog_at_each_size(self):
        with open(os.path.join(GEN, "kelm.ico"), "rb") as f:
            ico = Image.open(io.BytesIO(f.read())).convert("RGBA")
        for size in (16, 32, 48, 64, 128, 256):
            with self.subTest(size):
                img = Image.open(os.path.join(GEN, "hicolor/%dx%d/apps/kelm-patcher.png" % (size, size)))
                self.assertEqual((img.size, img.mode), ((size, size), "RGBA"))
                alpha = img.getchannel("A")
                self.assertEqual(alpha.getpixel((size // 2, size // 2)), 0)  # the hole
                if size >= 32:  # at 16 pixels the teeth blur into the ring
                    self.assertEqual(teeth(alpha, size, size * 14.5 / 32), 10)
                if size == 32:
                    self.assertEqual(img.tobytes(), ico.tobytes())  # the window icon's own pixels

    def check_sign(self, name, colour, on_disc, cut):
        img = rgba(name)
        self.assertEqual(img.size, (48, 48))
        for p in on_disc:
            self.assertEqual(img.getpixel(p), colour + (255,), p)
        for p in cut + [(0, 0), (47, 0), (0, 47), (47, 47)]:
            self.assertEqual(img.getpixel(p)[3], 0, p)
        self.assertTrue(any(0 < a < 255 for a in img.getchannel("A").getdata()))  # smooth rim
        self.assertEqual({p[:3] for p in img.getdata() if p[3]}, {colour})

    def test_cross(self):
        self.check_sign("popup_cross", (236, 21, 21), [(24, 4), (4, 24), (24, 43), (43, 24)],
                        [(24, 24), (23, 23), (14, 14), (33, 33), (14, 33), (33, 14)])

    def test_tick(self):
        self.check_sign("popup_tick", (45, 198, 21), [(24, 42), (6, 24), (24, 5), (40, 26)],
                        [(12, 20), (16, 26), (20, 33), (28, 22), (35, 13)])

    def outline_edges(self, img, mid_y, right_y):
        """Outer left, top, right and bottom edges of the outline (exclusive ends)."""
        a = img.getchannel("A")
        w, h = img.size
        left = min(x for x in range(w) if a.getpixel((x, mid_y)) >= 128)
        right = max(x for x in range(w) if a.getpixel((x, right_y)) >= 128) + 1
        top = min(y for y in range(h) if a.getpixel((60, y)) >= 128)
        bottom = max(y for y in range(h) if a.getpixel((60, y)) >= 128) + 1
        return left, top, right, bottom

    def test_boxes(self):
        empty, ticked = rgba("box_empty"), rgba("box_ticked")
        self.assertEqual((empty.size, ticked.size), ((256, 256), (256, 276)))
        for img in (empty, ticked):
            self.assertEqual({p[:3] for p in img.getdata() if p[3]}, {(175, 175, 175)})
        self.assertEqual(self.outline_edges(empty, 128, 200), (0, 19, 217, 238))
        self.assertEqual(self.outline_edges(ticked, 128, 200), (0, 19, 217, 237))
        self.assertEqual(empty.getpixel((108, 128))[3], 0)  # no fill
        self.assertEqual([empty.getpixel((x, 128))[3] for x in (19, 20, 196, 197)], [255, 0, 0, 255])
        self.assertEqual([empty.getpixel((108, y))[3] for y in (40, 41, 215, 216)], [255, 0, 0, 255])
        self.assertEqual(ticked.getpixel((117, 190))[3], 255)  # the turn of the mark
        self.assertEqual(ticked.crop((0, 237, 256, 276)).getextrema()[3], (0, 0))
        self.assertTrue(any(ticked.getpixel((255, y))[3] == 255 for y in range(30, 80)))  # mark leaves the box
        # Both drawn into one 13 x 13 square: the outlines meet within a pixel.
        e = [v * 13 / 256 for v in self.outline_edges(empty, 128, 200)]
        t = self.outline_edges(ticked, 128, 200)
        t = [t[0] * 13 / 256, t[1] * 13 / 276, t[2] * 13 / 256, t[3] * 13 / 276]
        for a, b in zip(e, t):
            self.assertLessEqual(abs(a - b), 1.0)


EXPECTED = {0x0D, 0xA8, 0x401, 0x451, 0x2013, 0x2014, 0x2018, 0x2019, 0x201C, 0x201D, 0x2026,
            0x2550, 0x2554, 0x2557, 0x255D, 0x25FC, 0xF6D1, 0xF6D4}
EXPECTED |= set(range(0x20, 0x7F)) | set(range(0x410, 0x450))


class Font(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        arrays, _ = stored_arrays()
        cls.font = TTFont(io.BytesIO(arrays["ui_font_ttf"][0]))

    def test_character_map(self):
        subtables = {(t.platformID, t.platEncID): t for t in self.font["cmap"].tables}
        self.assertEqual(sorted((k, t.format) for k, t in subtables.items()),
                         [((0, 3), 4), ((1, 0), 0), ((3, 1), 4)])
        self.assertEqual(len(EXPECTED), 177)
        self.assertLessEqual(EXPECTED, set(subtables[(0, 3)].cmap))
        self.assertEqual(subtables[(3, 1)].cmap, subtables[(0, 3)].cmap)
        self.assertEqual(subtables[(1, 0)].cmap[ord("A")], subtables[(3, 1)].cmap[ord("A")])

    def test_every_character_of_the_latin_and_cyrillic_translations(self):
        sys.path.insert(0, os.path.join(REPO, "po"))
        import catalogues
        cmap = self.font.getBestCmap()
        for lang in catalogues.languages():
            if lang in ("ja", "zh_CN"):
                continue   # the glyph fallback's
            text = "".join(catalogues.translations(lang))
            missing = sorted({c for c in text if c != "\n" and ord(c) not in cmap})
            self.assertEqual(missing, [], lang)

    def test_glyphs(self):
        cmap, glyf, hmtx = self.font.getBestCmap(), self.font["glyf"], self.font["hmtx"]
        self.assertEqual(glyf[cmap[0x0D]].numberOfContours, 0)
        self.assertEqual(hmtx[cmap[0x0D]][0], 682)
        self.assertEqual(hmtx[cmap[0x20]][0], 651)
        for cp in EXPECTED - {0x0D, 0x20}:
            self.assertNotEqual(glyf[cmap[cp]].numberOfContours, 0, hex(cp))

    def test_names_and_properties(self):
        name = self.font["name"]
        for name_id, text in {1: "DejaVu LGC Serif", 16: "DejaVu LGC Serif", 2: "Book", 17: "Book",
                              4: "DejaVu LGC Serif Book", 6: "DejaVuLGCSerif"}.items():
            self.assertEqual(name.getName(name_id, 3, 1, 0x409).toUnicode(), text)
        self.assertRegex(name.getName(5, 3, 1, 0x409).toUnicode(), r"^Version 2\.\d+")
        self.assertEqual(self.font["OS/2"].fsType, 4)
        self.assertEqual(self.font["head"].unitsPerEm, 2048)
        self.assertEqual(self.font["head"].indexToLocFormat, 0)
        self.assertTrue({"fpgm", "prep", "cvt ", "gasp", "GPOS"} <= set(self.font.keys()))
        features = {r.FeatureTag for r in self.font["GPOS"].table.FeatureList.FeatureRecord}
        self.assertEqual(features, {"kern", "mark", "mkmk"})


class Generators(unittest.TestCase):
    def test_same_bytes_every_run(self):
        runs = []
        for _ in range(2):
            with tempfile.TemporaryDirectory(prefix="kelm-assets-") as out:
                runs.append(self.generate(out))
        self.assertEqual(len(runs[0]), 19)   # with the web page's two icons
        self.assertEqual(runs[0], runs[1])

    def generate(self, out):
        for script in ("make_font.py", "make_images.py", "make_embed.py"):
            subprocess.run([sys.executable, os.path.join(REPO, "assets", script), out], check=True)
        files = {}
        for root, _, names in os.walk(out):
            for n in names:
                with open(os.path.join(root, n), "rb") as f:
                    files[os.path.relpath(os.path.join(root, n), out)] = f.read()
        return files


if __name__ == "__main__":
    if len(sys.argv) < 2 or not os.path.isdir(sys.argv[1]):
        sys.exit("usage: test_assets.py GENERATED_DIR [unittest options]")
    GEN = sys.argv.pop(1)
    unittest.main()
