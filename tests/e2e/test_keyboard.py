#!/usr/bin/env python3
"""The patcher by keyboard alone, real key events from xdotool, from start to
a patched file that must equal what kelm-patch writes: Tab to "Browse",
Enter, the path typed into the native chooser, the slider set by Home, Page
Up and the arrows, Tab to "Patch", Enter, Enter to dismiss. Screenshots of
the focus ring are kept. Both windows:

    test_keyboard.py --platform windows --exe kelm-patcher.exe --cli kelm-patch --shots DIR
    test_keyboard.py --platform linux --exe kelm-patcher --cli kelm-patch --shots DIR

Under Xvfb no window manager hands out the keyboard: the pointer rests over
the window (and over the dialog while it is open), as the X server then
sends the keys there. It never clicks.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from xdesk import (CRIMSON, FPS_AT, GREEN, ICON_BOX, TITLE, Desktop, Patcher, near, raw_rgb, wait_for,  # noqa: E402
                   write_edition)

ARGS = None


class KeyboardAlone(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="kelm-keys-")
        self.dir = Path(self.tmp.name)
        self.game = self.dir / "GAME.EXE"
        write_edition(self.game)
        self.expected = self.dir / "EXPECTED.EXE"
        shutil.copy(self.game, self.expected)
        subprocess.run([ARGS.cli, "patch", "--fps", "30", str(self.expected)], check=True, capture_output=True)
        self.desk = Desktop(ARGS.platform)
        self.desk.keep_settings_in(self.dir)
        self.app = Patcher(ARGS.platform, ARGS.exe, self.desk, self.dir)
        self.rest_pointer_on(self.app.win)

    def tearDown(self):
        self.app.close()
        self.desk.close()
        self.tmp.cleanup()

    def rest_pointer_on(self, window):
        self.desk.x("xdotool", "mousemove", "--window", window, "250", "5")
        if ARGS.platform == "linux":
            self.desk.x("xdotool", "windowfocus", "--sync", window)

    def shot(self, name):
        return self.app.shot(Path(ARGS.shots) / f"keys-{ARGS.platform}-{name}.png")

    def ring_pixels(self, shot, box):
        """Pixels of the ring's colour (the theme's text colour) around `box`."""
        return near(raw_rgb(shot, box), (190, 190, 190), 30)

    def test_from_start_to_a_patched_file(self):
        keys = self.app.keys
        start = self.shot("0-start")
        keys("Tab")   # "Browse"
        browse = self.shot("1-browse-focused")
        browse_box = (396, 9, 100, 36)
        self.assertGreater(self.ring_pixels(browse, browse_box), self.ring_pixels(start, browse_box) + 40,
                           "the ring around Browse")

        keys("Return")
        dialog = wait_for(self.app.other_window, 30, "the file dialog")
        self.rest_pointer_on(dialog)
        self.app.enter_path(self.game)
        wait_for(lambda: not self.app.other_window(), 30, "the dialog to close")
        self.rest_pointer_on(self.app.win)

        keys("Tab", "Tab")   # the limit field, then the slider
        keys("Home", "Prior", "Prior")   # 1, 11, 21
        keys(*["Right"] * 9)   # 30
        slider = self.shot("2-slider-focused")
        self.assertGreater(self.ring_pixels(slider, (3, 112, 494, 36)), 100, "the ring around the slider")
        keys("Tab", "Tab")   # the box of a v1.0 edition is skipped: "Info", then "Patch"
        keys("Return")
        success = self.shot("3-success")
        self.assertGreater(near(raw_rgb(success, ICON_BOX), GREEN), 300)
        keys("Return")   # dismisses
        done = self.shot("4-dismissed")
        self.assertLess(near(raw_rgb(done, ICON_BOX), GREEN), 10)
        self.assertGreater(near(raw_rgb(done, (330, 180, 170, 36)), CRIMSON, 6), 1000, "Patch is drawn again")

        self.assertEqual(self.game.read_bytes(), self.expected.read_bytes())
        self.assertEqual(self.game.read_bytes()[FPS_AT], 30)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=("windows", "linux"), required=True)
    for option in ("--exe", "--cli", "--shots"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.exe, ARGS.cli = os.path.abspath(ARGS.exe), os.path.abspath(ARGS.cli)
    os.makedirs(ARGS.shots, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
