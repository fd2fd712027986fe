#!/usr/bin/env python3
"""The real patcher window in a private X server, driven with xdotool as a
user would: look, Info, Patch before a file, Browse to a synthetic edition, a
new limit typed into the field, Patch, idle, close. One scenario for both
windows: kelm-patcher.exe under Wine and the native Linux kelm-patcher.

    test_patcher_e2e.py --platform windows --exe build/windows/bin/kelm-patcher.exe --shots DIR
    test_patcher_e2e.py --platform linux --exe build/linux/bin/kelm-patcher --shots DIR

Screenshots of every step are kept in DIR.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

EXE = None
SHOTS = None
PLATFORM = None
WINE = str(Path(__file__).resolve().parents[2] / "scripts" / "wine.sh")
TITLE = "Quelmor: Kelm patcher build 240512"

# v1.0 CD-ROM edition: size, probe offset, probe text, frame-rate offset.
SIZE, PROBE_AT, PROBE, FPS_AT = 634704, 317148, b"VERSION 1.0\0", 562593

# Client-area points of the widgets: 5-pixel side padding, rows of 30 pixels
# from y 12 with 4 pixels between them.
def row_y(row):
    return 12 + (row - 1) * 34 + 15

BROWSE = (446, row_y(1))
FPS_FIELD = (480, row_y(3))
INFO = (85, row_y(6))
PATCH = (415, row_y(6))

CRIMSON = (181, 45, 69)
WINDOW = (30, 33, 40)
RED = (236, 21, 21)
GREEN = (45, 198, 21)


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


def wait_for(predicate, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


class Desktop:
    """Xvfb on a free display, with the environment Wine needs."""

    def __init__(self):
        self.display = None
        for n in range(90, 140):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                self.display = f":{n}"
                break
        if self.display is None:
            raise RuntimeError("no free X display number")
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.display)
        # GTK finds no desktop bus or portal here; it must not wait for one.
        self.env.update(GTK_USE_PORTAL="0", NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory")
        wait_for(lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0,
                 20, "the X server")

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait(10)

    def x(self, *args):
        return run(*args, env=self.env)


class PatcherE2E(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # A wineserver left from an earlier program is bound to that program's
        # display: start from none.
        cls.wine_server("-k")
        cls.wine_server("-w")
        cls.desk = Desktop()
        cls.tmp = tempfile.TemporaryDirectory(prefix="kelm-e2e-")
        cls.dir = Path(cls.tmp.name)
        cls.game = cls.dir / "GAME.EXE"
        data = bytearray((i * 37 + 11) % 251 + 1 for i in range(SIZE))
        data[PROBE_AT:PROBE_AT + len(PROBE)] = PROBE
        data[FPS_AT] = 70
        cls.game.write_bytes(bytes(data))
        command = ["bash", WINE, EXE] if PLATFORM == "windows" else [EXE]
        cls.proc = subprocess.Popen(command, env=cls.desk.env, cwd=cls.dir,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.win = wait_for(lambda: cls.find_window(), 60, "the patcher window")
        time.sleep(1.0)

    @classmethod
    def tearDownClass(cls):
        if cls.proc.poll() is None:
            cls.proc.kill()
            cls.proc.wait(10)
        cls.wine_server("-k", env=cls.desk.env)
        cls.desk.close()
        cls.tmp.cleanup()

    @classmethod
    def wine_server(cls, *args, env=None):
        if PLATFORM == "windows":
            subprocess.run(["bash", WINE, "--server", *args], env=env, capture_output=True)

    @classmethod
    def find_window(cls):
        r = subprocess.run(["xdotool", "search", "--name", f"^{TITLE}$"], env=cls.desk.env,
                           capture_output=True, text=True)
        ids = r.stdout.split()
        return ids[0] if ids else None

    # --- looking and touching ------------------------------------------------------------
    def geometry(self):
        out = self.desk.x("xdotool", "getwindowgeometry", "--shell", self.win)
        g = dict(line.split("=", 1) for line in out.split())
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def shot(self, name):
        path = Path(SHOTS) / f"{name}.png"
        self.desk.x("import", "-window", self.win, str(path))
        return path

    def pixel(self, path, x, y):
        out = run("convert", str(path), "-format", f"%[fx:int(255*p{{{x},{y}}}.r)],"
                  f"%[fx:int(255*p{{{x},{y}}}.g)],%[fx:int(255*p{{{x},{y}}}.b)]", "info:")
        return tuple(int(v) for v in out.split(","))

    def click(self, point):
        self.desk.x("xdotool", "mousemove", "--window", self.win, str(point[0]), str(point[1]))
        time.sleep(0.2)
        # A press and a release apart, as a hand makes them: buttons fire on the
        # press, seen by the frame that drains it.
        self.desk.x("xdotool", "mousedown", "1")
        time.sleep(0.15)
        self.desk.x("xdotool", "mouseup", "1")
        time.sleep(0.6)

    def keys(self, *names):
        for name in names:
            self.desk.x("xdotool", "key", "--clearmodifiers", name)
            time.sleep(0.25)

    def popup_ok(self):
        # The popup starts 10 pixels into the panel's content and spans its width;
        # "OK" is the middle third of the row under the text and two spacer rows.
        self.click((250, 177))


def raw_rgb(path, box):
    x, y, w, h = box
    return subprocess.run(["convert", str(path), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                          check=True, capture_output=True).stdout


def near(raw, colour, tolerance=24):
    return sum(1 for i in range(0, len(raw) - 2, 3)
               if all(abs(raw[i + k] - colour[k]) <= tolerance for k in range(3)))


class Flow(PatcherE2E):
    def test_a_window_and_theme(self):
        _, _, w, h = self.geometry()
        self.assertEqual((w, h), (500, 223))
        self.assertEqual(self.desk.x("xdotool", "getwindowname", self.win).strip(), TITLE)
        shot = self.shot("01-start")
        self.assertEqual(self.pixel(shot, 250, 3), WINDOW)          # panel background above row 1
        self.assertGreater(near(raw_rgb(shot, (400, 14, 90, 26)), CRIMSON, 6), 1000)   # "Browse"
        self.assertGreater(near(raw_rgb(shot, (8, 184, 150, 26)), CRIMSON, 6), 1500)   # "Info"

    def test_b_info_then_ok(self):
        self.click(INFO)
        shot = self.shot("02-info")
        self.assertGreater(near(raw_rgb(shot, (5, 40, 70, 70)), GREEN), 300)
        self.popup_ok()
        shot = self.shot("03-info-closed")
        self.assertLess(near(raw_rgb(shot, (5, 40, 70, 70)), GREEN), 10)

    def test_c_patch_before_a_file(self):
        self.click(PATCH)
        shot = self.shot("04-reading-error")
        self.assertGreater(near(raw_rgb(shot, (5, 40, 70, 70)), RED), 300)
        self.popup_ok()

    def test_d_browse_set_limit_patch(self):
        self.click(BROWSE)
        dialog = wait_for(lambda: self.other_window(), 30, "the file dialog")
        time.sleep(1.0)
        if PLATFORM == "windows":
            path = "Z:" + str(self.game).replace("/", "\\")
            # Keys go where the pointer is (no window manager hands out the
            # focus): over the dialog, whose file-name field has the caret.
            self.desk.x("xdotool", "mousemove", "--window", dialog, "230", "210")
        else:
            # GTK's chooser opens its location field when a path is typed.
            path = str(self.game)
            self.desk.x("xdotool", "mousemove", "--window", dialog, "200", "200")
            self.desk.x("xdotool", "windowfocus", "--sync", dialog)
        time.sleep(0.3)
        self.desk.x("xdotool", "type", "--delay", "30", path)
        time.sleep(0.5)
        self.keys("Return")
        wait_for(lambda: not self.other_window(), 30, "the file dialog to close")
        # Back over the patcher, as a hand would go: Wine's dialog loop returns
        # on the next message after it has closed.
        self.desk.x("xdotool", "mousemove", "--window", self.win, "250", "5")
        time.sleep(0.3)
        self.desk.x("xdotool", "mousemove", "--window", self.win, "251", "5")
        time.sleep(0.8)
        self.shot("05-identified")

        # "70" -> "7" -> "37" -> "3" -> "30": every step reads as 1..255.
        self.click(FPS_FIELD)
        self.keys("BackSpace", "Home", "3", "End", "BackSpace", "0")
        self.shot("06-limit-typed")
        self.click(PATCH)
        shot = self.shot("07-success")
        self.assertGreater(near(raw_rgb(shot, (5, 40, 70, 70)), GREEN), 300)
        data = self.game.read_bytes()
        self.assertEqual(len(data), SIZE)
        self.assertEqual(data[FPS_AT], 30)
        self.popup_ok()

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
        self.keys("alt+F4")
        self.assertEqual(self.proc.wait(30), 0)

    def other_window(self):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=self.desk.env,
                           capture_output=True, text=True)
        for wid in r.stdout.split():
            if wid != self.win:
                name = subprocess.run(["xdotool", "getwindowname", wid], env=self.desk.env,
                                      capture_output=True, text=True).stdout.strip()
                if name and name != TITLE:
                    return wid
        return None


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=("windows", "linux"), required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--shots", required=True)
    args, rest = parser.parse_known_args()
    PLATFORM = args.platform
    EXE = os.path.abspath(args.exe)
    SHOTS = os.path.abspath(args.shots)
    os.makedirs(SHOTS, exist_ok=True)
    tools = ["Xvfb", "xdotool", "import", "convert", "xdpyinfo"] + (["wine"] if PLATFORM == "windows" else [])
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/setup.sh")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
