#!/usr/bin/env python3
"""Text in both windows, driven as a user would in a private X server.

    test_text.py --platform windows --exe build/windows/bin/kelm-patcher.exe --shots DIR
    test_text.py --platform linux --exe build/linux/bin/kelm-patcher --shots DIR

Names in any script: a synthetic edition is dropped on the window from
folders named in accented Latin, Greek, Cyrillic, Chinese, Japanese and
Korean, each name made of distinct characters, and again from the same name
reversed. Boxes are all alike, so a name drawn as boxes leaves the path field
the same both ways; drawn in real glyphs, the two differ. (That without the
fallback the same comparison finds no difference, the drawing layers' own
tests show: tests/cairo/test_fallback.cpp, tests/win32/gdip/test_fallback.cpp.)
Cyrillic is the UI font's own and passes either way.

Popups: every popup the window can be brought to by real means, at scales 1
and 2 (GDK_SCALE natively, 192 dpi in a copy of the Wine prefix, as
test_scale.py opens it): Info, Patch before a file, an unsupported file, a
path too long, a dropped link, a patched file, a file changed since it was
chosen, a file on a read-only file system and a write that fails on a full
one (the longest message: the write fails and so does putting the bytes
back). The rows of text in each popup are found in the screenshot: each must
be at most one line high and sit on the line grid, so two lines never share
pixels, and nothing may run on beyond the text's cell. The last two need
root and tmpfs mounts; without them they are skipped, saying so.

Screenshots: DIR/text-*.png.
"""
import os
import subprocess
import sys
import tempfile
import unittest
from collections import Counter
from pathlib import Path

import test_scale
from xdesk import (FPS_AT, ICON_BOX, INFO, PATCH, POPUP_OK, RED, Desktop, Patcher, near, raw_rgb, window_test_args,
                   write_edition)

EXE = None
SHOTS = None
PLATFORM = None

NAMES = [("Latin", "éñüçåø"), ("Greek", "αβγδεζ"), ("Cyrillic", "жзийкл"), ("Chinese", "中文字体测试"),
         ("Japanese", "日本語かなカナ"), ("Korean", "한국어폴더")]
PATH_FIELD = (7, 14, 380, 26)     # logical box inside the path field
TEXT_CELL = (74, 44, 402, 110)    # the popup's text, from its top to the top of "OK"


def scaled(box, scale):
    return tuple(round(v * scale) for v in box)


def installed(name):
    """Whether some installed font has every character of the name (Wine
    takes the system's fonts from fontconfig too)."""
    for c in name:
        out = subprocess.run(["fc-list", f":charset={ord(c):x}", "family"], capture_output=True, text=True).stdout
        if not out.strip():
            return False
    return True


def rows_of_ink(path, box):
    """The runs of pixel rows in the box that hold a pixel unlike the box's
    commonest colour, as (top, bottom) pairs, bottom included."""
    x, y, w, h = box
    raw = raw_rgb(path, box)
    pixels = [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]
    background = Counter(pixels).most_common(1)[0][0]
    bands = []
    for row in range(h):
        line = pixels[row * w:(row + 1) * w]
        if any(max(abs(p[k] - background[k]) for k in range(3)) > 48 for p in line):
            if bands and bands[-1][1] == y + row - 1:
                bands[-1][1] = y + row
            else:
                bands.append([y + row, y + row])
    return [tuple(b) for b in bands]


class Names(unittest.TestCase):
    def test_names_in_every_script_draw_real_glyphs(self):
        tmp = tempfile.TemporaryDirectory(prefix="kelm-text-")
        self.addCleanup(tmp.cleanup)
        desk = Desktop(PLATFORM)
        self.addCleanup(desk.close)
        app = Patcher(PLATFORM, EXE, desk, tmp.name)
        self.addCleanup(app.close)
        for script, name in NAMES:
            with self.subTest(script):
                if not installed(name):
                    self.skipTest(f"no installed font has every {script} character: scripts/setup.sh installs "
                                  "fonts-noto-core and fonts-noto-cjk")
                fields = []
                for way, folder in (("forth", name), ("back", name[::-1])):
                    game = Path(tmp.name) / folder / "QUELMOR.EXE"
                    game.parent.mkdir()
                    write_edition(game)
                    self.assertEqual(app.drop(game), "accepted")
                    shot = app.shot(Path(SHOTS) / f"text-{PLATFORM}-{script}-{way}.png")
                    self.assertLess(near(raw_rgb(shot, ICON_BOX), RED), 10, "the edition was refused")
                    fields.append(raw_rgb(shot, PATH_FIELD))
                self.assertTrue(fields[0] != fields[1], f"the {script} name is drawn as boxes")


class Popups(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="kelm-popups-")
        self.addCleanup(tmp.cleanup)
        self.dir = Path(tmp.name)
        self.mounts = 0

    def open_at(self, scale):
        # The scaled window as the scale test opens it, Wine's dpi included.
        test_scale.PLATFORM, test_scale.EXE = PLATFORM, EXE
        return test_scale.Scaled.open_at(self, scale)

    def tmpfs(self, size):
        """A tmpfs of `size` bytes in the test's folder, or a skip."""
        self.mounts += 1
        mount = self.dir / f"mount-{self.mounts}"
        mount.mkdir()
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "kelm-test", str(mount)],
                           capture_output=True, text=True)
        if r.returncode != 0:
            self.skipTest(f"cannot mount a tmpfs (root is needed): {r.stderr.strip()}")
        self.addCleanup(subprocess.run, ["umount", "-l", str(mount)], capture_output=True)
        return mount

    def check(self, app, scale, name, lines, pitch=None):
        """The popup on screen now: its rows of text apart and on the grid,
        at least `lines` of them; then "OK". Returns the rows."""
        shot = app.shot(Path(SHOTS) / f"text-{PLATFORM}-popup-{scale}-{name}.png")
        x, y, w, h = scaled(TEXT_CELL, scale)
        bands = rows_of_ink(shot, (x, y, w, h))
        with self.subTest(f"{name} at scale {scale}"):
            self.assertGreaterEqual(len(bands), lines, f"{name}: {bands}")
            if pitch:
                for top, bottom in bands:
                    self.assertLess(bottom - top + 1, pitch, f"{name}: a band taller than a line: {bands}")
                    rows = (top - bands[0][0]) / pitch
                    self.assertLess(abs(rows - round(rows)) * pitch, 2 * scale, f"{name}: off the line grid: {bands}")
            # Nothing beyond the cell, where a line that was not wrapped would run on.
            self.assertEqual(rows_of_ink(shot, (x + w + 2 * scale, y, 10 * scale, h)), [], f"{name}: ink past the cell")
        app.click(scaled(POPUP_OK, scale))
        return bands

    def game(self, folder):
        game = folder / "QUELMOR.EXE"
        folder.mkdir(parents=True, exist_ok=True)
        write_edition(game)
        return game

    def popups_at(self, scale):
        app = self.open_at(scale)
        at = lambda point: scaled(point, scale)
        app.click(at(INFO))
        info = self.check(app, scale, "info", 4)
        # "Patcher features:" and the two lines after it, the text's own rows.
        pitch = (info[2][0] - info[0][0]) / 2
        self.assertTrue(13 * scale <= pitch <= 17 * scale, f"line pitch {pitch}")
        app.click(at(PATCH))
        self.check(app, scale, "patch-first", 7, pitch)

        notes = self.dir / "NOTES.TXT"
        notes.write_bytes(b"not a game\n")
        app.drop(notes)
        self.check(app, scale, "unsupported", 6, pitch)
        deep = self.dir
        for i in range(5):
            deep = deep / (f"folder {i} with a name long enough " + "x" * 30)
        app.drop(self.game(deep))
        self.check(app, scale, "path-too-long", 2, pitch)
        app.drop("https://example.com/GAME.EXE")
        self.check(app, scale, "not-a-file", 2, pitch)

        game = self.game(self.dir / f"scale {scale}")
        app.drop(game)
        app.click(at(PATCH))
        self.check(app, scale, "patched", 1, pitch)
        app.drop(game)
        game.write_bytes(b"changed")
        app.click(at(PATCH))
        self.check(app, scale, "changed", 2, pitch)

        with self.subTest(f"read-only at scale {scale}"):
            mount = self.tmpfs("2m")
            game = self.game(mount)
            subprocess.run(["mount", "-o", "remount,ro", str(mount)], check=True)
            app.drop(game)
            app.click(at(PATCH))
            self.check(app, scale, "read-only", 2, pitch)
        with self.subTest(f"full at scale {scale}"):
            # The page the limit is written to is a hole in the file, and
            # the file system has no page left to fill it with.
            mount = self.tmpfs("1m")
            game = mount / "QUELMOR.EXE"
            data = write_edition(self.dir / "whole.exe")
            page = FPS_AT - FPS_AT % 4096
            with open(game, "wb") as f:
                f.write(data[:page])
                f.seek(page + 4096)
                f.write(data[page + 4096:])
            with open(mount / "filler", "wb", buffering=0) as f:
                try:
                    while True:
                        f.write(b"\0" * 4096)
                except OSError:
                    pass
            app.drop(game)
            app.click(at(PATCH))
            self.check(app, scale, "disk-full", 4, pitch)
        app.close()

    def test_every_popup_has_its_lines_apart_at_scale_1(self):
        self.popups_at(1)

    def test_every_popup_has_its_lines_apart_at_scale_2(self):
        self.popups_at(2)


if __name__ == "__main__":
    PLATFORM, EXE, SHOTS, rest = window_test_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
