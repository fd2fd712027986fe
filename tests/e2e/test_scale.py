#!/usr/bin/env python3
"""The patcher window on a scaled display: its client area is the logical
500 x 223 at the display's scale, and its text is as sharp as at scale 1, not
a stretched copy of it. kelm-patcher.exe under Wine at 96, 144 and 192 dpi
(Wine reads the dpi as each program starts: the test sets it in the suite's
prefix and gives it back 96 after); the native window at GDK_SCALE 1 and 2.

    test_scale.py --platform windows --exe build/windows/bin/kelm-patcher.exe --shots DIR
    test_scale.py --platform linux --exe build/linux/bin/kelm-patcher --shots DIR

Sharpness is the contrast of the glyph edges in the label "FPS limit
(recommended <= 30):": the mean of the strongest steps between neighbouring
pixels (5 % of them at scale 1, a share that shrinks with the scale as the
edges' share of the area does), over the text's full step from background
to ink. A
sharp glyph steps in one pixel at any size; a stretched one over two or more.
"""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from xdesk import WINE, Desktop, Patcher, window_test_args

EXE = None
SHOTS = None
PLATFORM = None
# Where Wine keeps the display's dpi.
DPI_KEYS = (r"HKCU\Control Panel\Desktop", r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts")

LABEL = (20, 84, 230, 24)    # logical box of the frame-rate label


def grey(path, box):
    x, y, w, h = box
    raw = subprocess.run(["convert", str(path), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray",
                          "-depth", "8", "gray:-"], check=True, capture_output=True).stdout
    return [raw[r * w:(r + 1) * w] for r in range(h)]


def edge_contrast(path, scale):
    rows = grey(path, tuple(round(v * scale) for v in LABEL))
    steps = [abs(row[i + 1] - row[i]) for row in rows for i in range(len(row) - 1)]
    steps += [abs(rows[r + 1][i] - rows[r][i]) for r in range(len(rows) - 1) for i in range(len(rows[r]))]
    span = max(max(row) for row in rows) - min(min(row) for row in rows)
    # Edges grow with the scale, the area with its square: the share of steps
    # that are edges shrinks by the scale.
    strongest = sorted(steps, reverse=True)[:max(1, round(len(steps) * 0.05 / scale))]
    return sum(strongest) / len(strongest) / span


def stretched(path, scale, out):
    """What a system that scales the window as a bitmap would show."""
    subprocess.run(["convert", str(path), "-filter", "Triangle", "-resize", f"{round(scale * 100)}%", str(out)],
                   check=True)
    return out


def set_dpi(desk, dpi):
    for key in DPI_KEYS:
        subprocess.run(["bash", WINE, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                       env=desk.env, check=True, capture_output=True)


class Scaled(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="kelm-scale-")
        self.addCleanup(tmp.cleanup)
        self.dir = Path(tmp.name)

    def open_at(self, scale):
        desk = Desktop(PLATFORM)
        self.addCleanup(desk.close)
        if PLATFORM == "windows":
            if scale != 1:
                set_dpi(desk, round(96 * scale))
                self.addCleanup(set_dpi, desk, 96)
        else:
            desk.env["GDK_SCALE"] = str(scale)
        app = Patcher(PLATFORM, EXE, desk, self.dir)
        self.addCleanup(app.close)
        return app

    def test_client_area_and_sharp_text_at_each_scale(self):
        scales = (1, 1.5, 2) if PLATFORM == "windows" else (1, 2)
        sizes, sharpness = {}, {}
        for scale in scales:
            app = self.open_at(scale)
            sizes[scale] = app.geometry()[2:]
            shot = app.shot(Path(SHOTS) / f"scale-{scale}.png")
            sharpness[scale] = edge_contrast(shot, scale)
            app.close()
            if scale != 1:
                blurred = stretched(Path(SHOTS) / "scale-1.png", scale, Path(SHOTS) / f"stretched-{scale}.png")
                sharpness[f"stretched {scale}"] = edge_contrast(blurred, scale)
        print(f"\nclient areas {sizes}\nedge contrast {sharpness}", file=sys.stderr)

        expected = {1: (500, 223), 1.5: (750, 335), 2: (1000, 446)}
        for scale in scales:
            self.assertEqual(sizes[scale], expected[scale], f"client area at scale {scale}")
        for scale in scales[1:]:
            # The measure must tell a stretched window from a sharp one, or it proves nothing.
            self.assertLess(sharpness[f"stretched {scale}"], 0.85 * sharpness[1], "the measure sees no blur")
            self.assertGreater(sharpness[scale], 0.9 * sharpness[1], f"text at scale {scale} is blurred")


if __name__ == "__main__":
    PLATFORM, EXE, SHOTS, rest = window_test_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
