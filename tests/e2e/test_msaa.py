#!/usr/bin/env python3
"""kelm-patcher.exe as a screen reader meets it: the real program under Wine
in a private X server, and beside it, in another process of the same Wine
prefix, a client (a11y_client.exe) that reads the window's IAccessible
objects, acts through them and hears the window's WinEvents, as Narrator or
NVDA would. The steps run in order on one window: look, an error, choose a
file, set the limit, patch, idle.

    test_msaa.py --platform windows --exe build/windows/bin/kelm-patcher.exe
                 --client build/windows/bin/kelm_a11y_client.exe --shots DIR
"""
import argparse
import subprocess
import sys
import time
import unittest
from pathlib import Path

from xdesk import BROWSE, FPS_AT, SIZE, TITLE, WINE, WindowTestCase, wait_for, window_test_args, write_edition

CLIENT = SHOTS = None

LIMIT = "FPS limit (recommended <= 30):"
LONG_FIX = "Fix music loop (v1.1 CD-ROM or v1.1 Floppy Edition only)"
PROMPT = "Choose Quelmor: Thornmere executable..."
E_INVALIDARG = "80070057"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Report:
    """What the client wrote: its objects, the events it heard, and the
    outcome of each command."""

    def __init__(self, path):
        self.text = Path(path).read_text(encoding="utf-8")
        rows = [line.split("\t") for line in self.text.splitlines()]
        fields = ("depth", "role", "name", "value", "states", "action", "rect", "hit", "parent", "next")
        self.objects = [dict(zip(fields, row[1:])) for row in rows if row[0] == "object"]
        self.events = [(row[1], int(row[2]), row[3], row[4]) for row in rows if row[0] == "event"]
        self.results = {(row[0], row[1]): row[2] for row in rows if row[0] in ("press", "set", "focus")}
        self.focused = [tuple(row[1:]) for row in rows if row[0] == "focused"]

    def find(self, role, name=None):
        found = [o for o in self.objects if o["role"] == role and (name is None or o["name"] == name)]
        if len(found) != 1:
            raise AssertionError(f"{len(found)} objects {role} {name!r} in:\n{self.text}")
        return found[0]

    def heard(self, kind, role, name):
        return any(e[0] == kind and e[2] == role and e[3] == name for e in self.events)


def rect(obj):
    return tuple(int(v) for v in obj["rect"].split(","))


def label(obj):
    return f"{obj['role']} {obj['name']}"


class ScreenReader(WindowTestCase):
    folder_prefix = "kelm-msaa-"
    reports = 0

    @classmethod
    def prepare_folder(cls):
        cls.game = cls.dir / "GAME.EXE"
        write_edition(cls.game)

    def start_client(self, *commands):
        type(self).reports += 1
        report = self.dir / f"report-{self.reports}.txt"
        # Wine's services inherit the client's output and outlive it: a file,
        # never a pipe that would then never close.
        with open(self.dir / "client-output.txt", "ab") as out:
            proc = subprocess.Popen(["bash", WINE, CLIENT, windows_path(report), TITLE, *commands], env=self.desk.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        return proc, report

    def client(self, *commands):
        proc, report = self.start_client(*commands)
        return self.finish(proc, report)

    def finish(self, proc, report):
        code = proc.wait(120)
        text = report.read_text(encoding="utf-8") if report.exists() else "(no report)"
        self.assertEqual(code, 0, f"the client failed:\n{text}")
        return Report(report)

    def oleacc_loaded(self):
        return "oleacc.dll" in Path(f"/proc/{self.app.proc.pid}/maps").read_text().lower()

    def cpu_ticks(self):
        fields = Path(f"/proc/{self.app.proc.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])

    def test_a_nothing_is_loaded_for_a_screen_reader_until_one_asks(self):
        self.assertFalse(self.oleacc_loaded())
        type(self).first = self.client("tree")
        self.assertTrue(self.oleacc_loaded())

    def test_b_every_widget_with_its_role_name_and_states(self):
        seen = {(o["depth"], o["role"], o["name"]) for o in self.first.objects}
        self.assertEqual(seen, {
            ("0", "client", TITLE),
            ("1", "text", PROMPT), ("1", "push button", "Browse"), ("1", "status bar", ""),
            ("1", "static text", LIMIT), ("1", "text", LIMIT), ("1", "slider", LIMIT),
            ("1", "check button", LONG_FIX), ("1", "push button", "Info"), ("1", "static text", "2024 ostrel"),
            ("1", "push button", "Patch"),
        })
        self.assertEqual(len(self.first.objects), len(seen))
        self.assert_links_agree_with_children(self.first)
        self.assertEqual(self.first.find("text", PROMPT)["states"], "read only")
        self.assertEqual(self.first.find("check button")["states"], "unavailable")
        for name in ("Browse", "Info", "Patch"):
            self.assertEqual(self.first.find("push button", name)["action"], "Press")
            self.assertIn("focusable", self.first.find("push button", name)["states"])
        # The field and the slider are one limit.
        self.assertEqual(self.first.find("text", LIMIT)["value"], self.first.find("slider")["value"])

    def test_c_locations_are_on_screen_where_the_widgets_are_drawn(self):
        x, y, _, _ = self.app.geometry()
        left, top, width, height = rect(self.first.find("push button", "Browse"))
        self.assertTrue(left <= x + BROWSE[0] < left + width and top <= y + BROWSE[1] < top + height,
                        f"Browse is drawn at {x + BROWSE[0]},{y + BROWSE[1]}, located at {left},{top} {width}x{height}")
        # A hit test at each widget's centre comes back to the widget.
        for obj in self.first.objects[1:]:
            self.assertEqual(obj["hit"], label(obj))

    def assert_links_agree_with_children(self, report):
        """Each object's parent and next sibling, asked of the object, are
        where the walk down through the children found it."""
        objects = report.objects
        # Above the client object, the window's standard object, whose role
        # and name Wine 8 leaves unimplemented: only that there is one.
        self.assertNotEqual(objects[0]["parent"], "-")
        for at, obj in enumerate(objects[1:], 1):
            depth = int(obj["depth"])
            parent = next(o for o in reversed(objects[:at]) if int(o["depth"]) == depth - 1)
            after = [o for o in objects[at + 1:] if int(o["depth"]) <= depth]
            following = label(after[0]) if after and int(after[0]["depth"]) == depth else "-"
            self.assertEqual((obj["parent"], obj["next"]), (label(parent), following), label(obj))

    def test_d_an_error_is_announced_as_an_alert(self):
        report = self.client("press", "Patch", "wait", "ALERT", "tree", "press", "OK", "wait", "HIDE")
        self.assertEqual(report.find("alert", "Reading error")["depth"], "1")
        self.assertEqual(report.find("push button", "OK")["depth"], "2")
        self.assertIn("focused", report.find("push button", "OK")["states"])
        self.assertTrue(report.heard("ALERT", "alert", "Reading error"), report.text)
        self.assert_links_agree_with_children(report)

    def test_e_browse_pressed_by_the_client_chooses_a_v1_0_edition(self):
        proc, report = self.start_client("press", "Browse", "wait", "NAMECHANGE", "tree")
        self.app.answer_chooser(self.app.wait_chooser(), self.game)
        report = self.finish(proc, report)
        self.app.shot(Path(SHOTS) / "msaa-chosen.png")
        # A synthetic file: its digest is no release's.
        self.assertTrue(report.heard("NAMECHANGE", "status bar", "Modified v1.0 CD-ROM edition"), report.text)
        self.assertEqual(report.find("text", LIMIT)["value"], "70")   # the file's own limit
        self.assertEqual(report.find("check button", LONG_FIX)["states"], "unavailable")
        path = report.find("text", windows_path(self.game))
        self.assertEqual((path["value"], path["states"]), (windows_path(self.game), "read only"))

    def test_f_the_slider_set_by_the_client_is_the_limit_the_field_shows(self):
        report = self.client("set", "slider", "30", "wait", "VALUECHANGE", "set", "slider", "256", "tree")
        self.assertEqual(report.results[("set", "slider")], E_INVALIDARG)   # the second, out of range
        self.assertEqual(report.find("slider")["value"], "30")
        self.assertEqual(report.find("text", LIMIT)["value"], "30")
        self.assertTrue(report.heard("VALUECHANGE", "text", LIMIT), report.text)

    def test_g_the_focus_moved_by_the_client(self):
        report = self.client("focus", "Info", "wait", "FOCUS", "focused")
        self.assertEqual(report.focused, [("push button", "Info")])
        self.assertTrue(report.heard("FOCUS", "push button", "Info"), report.text)

    def test_h_patch_and_ok_pressed_by_the_client(self):
        report = self.client("press", "Patch", "wait", "DIALOGSTART", "tree", "press", "OK", "wait", "DIALOGEND")
        dialog = report.find("dialog", "Success")
        self.assertEqual(dialog["depth"], "1")
        text = report.find("static text", "Quelmor: Kelm executable patched successfully")
        self.assertEqual(text["depth"], "2")
        self.assertEqual(report.results[("press", "OK")], "00000000")
        data = self.game.read_bytes()
        self.assertEqual(len(data), SIZE)
        self.assertEqual(data[FPS_AT], 30)

    def test_i_idle_after_the_clients_uses_no_processor_time(self):
        # COM lets go of a departed client's objects a moment after it exits,
        # later on a busy machine: first a second without a tick, then five.
        def quiet_second():
            before = self.cpu_ticks()
            time.sleep(1)
            return self.cpu_ticks() == before
        wait_for(quiet_second, 20, "the window to fall quiet after its clients")
        before = self.cpu_ticks()
        time.sleep(5)
        self.assertEqual(self.cpu_ticks() - before, 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--client", required=True)
    known, sys.argv[1:] = parser.parse_known_args()
    CLIENT = known.client
    WindowTestCase.platform, WindowTestCase.exe, SHOTS, rest = window_test_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
