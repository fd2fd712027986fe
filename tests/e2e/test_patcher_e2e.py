#!/usr/bin/env python3
"""The real patcher window in a private X server, driven with xdotool as a
user would: look, Info, Patch before a file, Browse to a synthetic edition, a
new limit typed into the field, Patch, idle, close. One scenario for both
windows: kelm-patcher.exe under Wine and the native Linux kelm-patcher.

    test_patcher_e2e.py --platform windows --exe build/windows/bin/kelm-patcher.exe --shots DIR
    test_patcher_e2e.py --platform linux --exe build/linux/bin/kelm-patcher --shots DIR

Screenshots of every step are kept in DIR.
"""
import sys
import time
import unittest
from pathlib import Path

from xdesk import (CRIMSON, FPS_AT, FPS_FIELD, GREEN, ICON_BOX, INFO, PATCH, RED, SIZE, TITLE, WINDOW,
                   WindowTestCase, near, pixel, raw_rgb, wait_for, window_test_args, write_edition)

SHOTS = None


class PatcherE2E(WindowTestCase):
    folder_prefix = "kelm-e2e-"

    @classmethod
    def prepare_folder(cls):
        cls.desk.keep_settings_in(cls.dir)
        # Chosen in a folder whose name no single legacy code page spells.
        (cls.dir / "Ελληνικά 日本語").mkdir()
        cls.game = cls.dir / "Ελληνικά 日本語" / "GAME.EXE"
        write_edition(cls.game)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.proc, cls.win = cls.app.proc, cls.app.win

    def shot(self, name):
        return self.app.shot(Path(SHOTS) / f"{name}.png")


class Drop(PatcherE2E):
    """Files dragged onto the window from a file manager, by XDND (which Wine
    turns into WM_DROPFILES)."""

    def test_a_dropping_two_files_chooses_the_first_then_patch(self):
        notes = self.dir / "NOTES.TXT"
        notes.write_bytes(b"not a game\n")
        self.assertEqual(self.app.drop(self.game, notes), "accepted")
        shot = self.shot("10-dropped")
        self.assertLess(near(raw_rgb(shot, ICON_BOX), RED), 10)    # NOTES.TXT would be refused
        self.app.click(FPS_FIELD)
        self.app.keys("BackSpace", "Home", "3", "End", "BackSpace", "0")
        self.app.click(PATCH)
        shot = self.shot("11-dropped-patched")
        self.assertGreater(near(raw_rgb(shot, ICON_BOX), GREEN), 300)
        self.assertEqual(self.game.read_bytes()[FPS_AT], 30)
        self.assertEqual(notes.read_bytes(), b"not a game\n")
        self.app.popup_ok()

    def test_b_a_web_link_is_no_file(self):
        before = self.game.read_bytes()
        # Wine hands the window a drop without files; GTK the link itself.
        # Either way the window says it takes only files.
        self.assertEqual(self.app.drop("https://example.com/GAME.EXE"), "accepted")
        self.assertGreater(near(raw_rgb(self.shot("12-link-dropped"), ICON_BOX), RED), 300)
        self.app.popup_ok()
        self.app.click(PATCH)    # the file chosen before is still the one
        self.assertGreater(near(raw_rgb(self.shot("13-after-link"), ICON_BOX), GREEN), 300)
        self.assertEqual(self.game.read_bytes(), before)
        self.app.popup_ok()


class Flow(PatcherE2E):
    def test_a_window_and_theme(self):
        _, _, w, h = self.app.geometry()
        self.assertEqual((w, h), (500, 223))
        self.assertEqual(self.desk.x("xdotool", "getwindowname", self.win).strip(), TITLE)
        shot = self.shot("01-start")
        self.assertEqual(pixel(shot, 250, 3), WINDOW)          # panel background above row 1
        self.assertGreater(near(raw_rgb(shot, (400, 14, 90, 26)), CRIMSON, 6), 1000)   # "Browse"
        self.assertGreater(near(raw_rgb(shot, (8, 184, 150, 26)), CRIMSON, 6), 1500)   # "Info"

    def test_b_info_then_ok(self):
        self.app.click(INFO)
        shot = self.shot("02-info")
        self.assertGreater(near(raw_rgb(shot, (5, 40, 70, 70)), GREEN), 300)
        self.app.popup_ok()
        shot = self.shot("03-info-closed")
        self.assertLess(near(raw_rgb(shot, (5, 40, 70, 70)), GREEN), 10)

    def test_c_patch_before_a_file(self):
        self.app.click(PATCH)
        shot = self.shot("04-reading-error")
        self.assertGreater(near(raw_rgb(shot, (5, 40, 70, 70)), RED), 300)
        self.app.popup_ok()

    def test_d_browse_set_limit_patch(self):
        # A dialog cancelled first: the one that follows must still choose.
        self.app.point_keys_at(self.app.open_chooser())
        self.app.keys("Escape")
        self.app.back_to_window()
        wait_for(lambda: not self.app.other_window(), 20, "the cancelled dialog to close")
        self.app.choose(self.game)
        self.shot("05-identified")

        # "70" -> "7" -> "37" -> "3" -> "30": every step reads as 1..255.
        self.app.click(FPS_FIELD)
        self.app.keys("BackSpace", "Home", "3", "End", "BackSpace", "0")
        self.shot("06-limit-typed")
        self.app.click(PATCH)
        shot = self.shot("07-success")
        self.assertGreater(near(raw_rgb(shot, (5, 40, 70, 70)), GREEN), 300)
        data = self.game.read_bytes()
        self.assertEqual(len(data), SIZE)
        self.assertEqual(data[FPS_AT], 30)
        self.app.popup_ok()

    def test_e_idle_uses_no_processor_time(self):
        before = self.cpu_ticks()
        time.sleep(5)
        self.assertEqual(self.cpu_ticks() - before, 0)

    def cpu_ticks(self):
        # utime and stime of the program's process (Wine runs it in the process
        # it was started as).
        fields = Path(f"/proc/{self.proc.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])

    def test_f_close_ends_with_status_0(self):
        self.desk.x("xdotool", "windowfocus", "--sync", self.win)   # no window manager to activate it
        self.app.keys("alt+F4")
        self.assertEqual(self.proc.wait(30), 0)


if __name__ == "__main__":
    WindowTestCase.platform, WindowTestCase.exe, SHOTS, rest = window_test_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
