"""The patcher window in a private X server, touched through xdotool as a hand
would touch it: what the end-to-end test and the monkey share. Both windows,
kelm-patcher.exe under Wine and the native Linux kelm-patcher, take the same
steps; only the file dialog is answered differently.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

WINE = str(Path(__file__).resolve().parents[2] / "scripts" / "wine.sh")
XDND = str(Path(__file__).resolve().parent / "xdnd.py")
TITLE = "Quelmor: Kelm patcher build 240512"

# v1.0 CD-ROM edition: size, probe offset, probe text, frame-rate offset.
SIZE, PROBE_AT, PROBE, FPS_AT = 634704, 317148, b"VERSION 1.0\0", 562593
# The same for the v1.1 CD-ROM edition, one of the two with a music-loop fix.
V11_CD = (634416, 317292, b"1.1:RES \0", 562369)

# Client-area points of the widgets: 5-pixel side padding, rows of 30 pixels
# from y 12 with 4 pixels between them.
def row_y(row):
    return 12 + (row - 1) * 34 + 15

BROWSE = (446, row_y(1))
FPS_FIELD = (480, row_y(3))
INFO = (85, row_y(6))
PATCH = (415, row_y(6))
# The popup starts 10 pixels into the panel's content and spans its width;
# "OK" is the middle third of the row under the text and two spacer rows.
POPUP_OK = (250, 177)
# The popup's icon: a green tick for information and success, a red cross for errors.
ICON_BOX = (5, 40, 70, 70)

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


def write_edition(path, edition=(SIZE, PROBE_AT, PROBE, FPS_AT)):
    """A synthetic executable, by default of the v1.0 CD-ROM edition: the
    right size and probe, frame-rate byte 70."""
    size, probe_at, probe, fps_at = edition
    data = bytearray((i * 37 + 11) % 251 + 1 for i in range(size))
    data[probe_at:probe_at + len(probe)] = probe
    data[fps_at] = 70
    Path(path).write_bytes(bytes(data))
    return bytes(data)


def raw_rgb(path, box):
    x, y, w, h = box
    return subprocess.run(["convert", str(path), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                          check=True, capture_output=True).stdout


def near(raw, colour, tolerance=24):
    return sum(1 for i in range(0, len(raw) - 2, 3)
               if all(abs(raw[i + k] - colour[k]) <= tolerance for k in range(3)))


def pixel(path, x, y):
    out = run("convert", str(path), "-format", f"%[fx:int(255*p{{{x},{y}}}.r)],"
              f"%[fx:int(255*p{{{x},{y}}}.g)],%[fx:int(255*p{{{x},{y}}}.b)]", "info:")
    return tuple(int(v) for v in out.split(","))


def window_test_args():
    """The arguments of a test that drives a window (--platform, --exe,
    --shots), checked along with the tools it needs: platform, absolute exe,
    absolute shots folder (made), and what is left for unittest."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=("windows", "linux"), required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--shots", required=True)
    args, rest = parser.parse_known_args()
    shots = os.path.abspath(args.shots)
    os.makedirs(shots, exist_ok=True)
    tools = ["Xvfb", "xdotool", "import", "convert", "xdpyinfo"] + (["wine"] if args.platform == "windows" else [])
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/setup.sh")
    return args.platform, os.path.abspath(args.exe), shots, rest


def debian_python(module, package):
    """A Python that has Debian's `package` (which provides `module`): this
    one, or Debian's own where this one is another installation."""
    for python in (sys.executable, "/usr/bin/python3"):
        if subprocess.run([python, "-c", f"import {module}"], capture_output=True).returncode == 0:
            return python
    raise AssertionError(f"{package} is missing: run scripts/setup.sh")


def xlib_python():
    return debian_python("Xlib", "python3-xlib")


class Desktop:
    """An X server for one test: natively Xvfb on a free display; under Wine
    the display of the suite's one Wine server (scripts/wine.sh --server),
    where Wine's desktop lives. GTK settings, recent files and caches go to
    a home of the test's own, never the user's."""

    def __init__(self, platform="linux"):
        self.xvfb = None
        self.home = tempfile.TemporaryDirectory(prefix="kelm-home-")
        if platform == "windows":
            r = subprocess.run(["bash", WINE, "--display"], capture_output=True, text=True)
            if r.returncode != 0:
                raise RuntimeError("no Wine server is up: run the Windows tests through ctest --preset windows, "
                                   "or start one with scripts/wine.sh --server")
            self.display = r.stdout.strip()
            self.env = dict(os.environ, DISPLAY=self.display)
        else:
            self.start_xvfb()
        # GTK finds no desktop bus or portal here; it must not wait for one.
        # Nor for an input method server: in a Chinese, Japanese or Korean
        # locale GTK's default is XIM, and with no XIM server on the display
        # the first frame waited some 50 s for it. A desktop of such a locale
        # runs its input method (IBus, Fcitx) and says so in GTK_IM_MODULE.
        self.env.update(GTK_USE_PORTAL="0", NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory",
                        GTK_IM_MODULE="gtk-im-context-simple")
        self.keep_settings_in(self.home.name)

    def start_xvfb(self):
        # Another test run (another checkout's) may take the same free number
        # at the same moment: the server that loses the race exits, and the
        # test must not go on with the winner's display.
        for n in range(90, 140):
            if os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
                continue
            self.display = f":{n}"
            self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env = dict(os.environ, DISPLAY=self.display)
            wait_for(lambda: self.xvfb.poll() is not None or
                     subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0,
                     20, "the X server")
            time.sleep(0.3)   # a server that lost the race may answer for a moment before it exits
            if self.xvfb.poll() is None:
                return
        raise RuntimeError("no free X display number")

    def keep_settings_in(self, folder):
        """GTK's chooser writes recent files and settings: into `folder`, not the user's."""
        self.env["HOME"] = str(folder)
        for name in ("XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"):
            self.env[name] = str(Path(folder) / name.lower())
        self.env["XDG_RUNTIME_DIR"] = str(Path(folder) / "runtime")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)

    def map_characters(self, chars):
        """Gives each character outside ASCII a key of its own, before any
        client starts: xdotool would otherwise remap a spare key for it as it
        types, and a slow client can read that key before its new meaning."""
        keysyms = [ord(c) if ord(c) < 0x100 else 0x1000000 + ord(c) for c in chars if not c.isascii()]
        script = """
import sys
from Xlib import display
d = display.Display()
first = d.display.info.min_keycode
table = d.get_keyboard_mapping(first, d.display.info.max_keycode - first + 1)
free = [first + i for i, syms in enumerate(table) if not any(syms)]
for keysym in map(int, sys.argv[1:]):
    if not any(keysym in syms for syms in table):
        d.change_keyboard_mapping(free.pop(), [(keysym, keysym)])
d.sync()
"""
        if keysyms:
            subprocess.run([xlib_python(), "-c", script, *map(str, keysyms)], env=self.env, check=True)

    def set_clipboard(self, text):
        """Puts `text` on the clipboard, owned by an xclip of this test's,
        which goes when the next takes its place or the test ends: a display
        that outlives the test (Wine's) keeps no owner behind."""
        self.drop_clipboard()
        self.clip = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", "UTF8_STRING", "-quiet"],
                                     env=self.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.clip.stdin.write(text.encode())
        self.clip.stdin.close()
        wait_for(lambda: subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                                        capture_output=True).stdout == text.encode(), 10, "the clipboard")

    def drop_clipboard(self):
        if getattr(self, "clip", None):
            self.clip.kill()
            self.clip.wait(10)
            self.clip = None

    def close(self):
        self.drop_clipboard()
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)
        self.home.cleanup()

    def x(self, *args):
        return run(*args, env=self.env)


class Patcher:
    """The program started in a desktop, its window found."""

    def __init__(self, platform, exe, desk, cwd, stderr=subprocess.DEVNULL, title=TITLE):
        self.platform, self.desk, self.title = platform, desk, title
        command = ["bash", WINE, exe] if platform == "windows" else [exe]
        self.proc = subprocess.Popen(command, env=desk.env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=stderr)
        try:
            self.win = wait_for(self.find_window, 60, "the patcher window")
        except AssertionError:
            self.close()
            raise
        time.sleep(1.0)

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
        # Under Wine the wrapper becomes the program: once this process is
        # gone, so is the program, and the next one starts on a quiet server.
        self.proc.wait(30)

    def find_window(self):
        r = subprocess.run(["xdotool", "search", "--name", f"^{re.escape(self.title)}$"], env=self.desk.env,
                           capture_output=True, text=True)
        ids = r.stdout.split()
        return ids[0] if ids else None

    def other_window(self):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=self.desk.env,
                           capture_output=True, text=True)
        for wid in r.stdout.split():
            if wid != self.win:
                name = subprocess.run(["xdotool", "getwindowname", wid], env=self.desk.env,
                                      capture_output=True, text=True).stdout.strip()
                if name and name != self.title:
                    return wid
        return None

    def geometry(self):
        out = self.desk.x("xdotool", "getwindowgeometry", "--shell", self.win)
        g = dict(line.split("=", 1) for line in out.split())
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def shot(self, path):
        self.desk.x("import", "-window", self.win, str(path))
        return path

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
        self.click(POPUP_OK)

    def drop(self, *uris, at=(250, 100)):
        """Drops the URIs (paths become file: URIs) on the window, as a file
        manager would; what the XDND source saw: "accepted" or "refused"."""
        uris = [u.as_uri() if isinstance(u, Path) else u for u in uris]
        r = subprocess.run([xlib_python(), XDND, "--window", self.win, "--at", str(at[0]), str(at[1]), *uris],
                           env=self.desk.env, capture_output=True, text=True, timeout=60)
        if r.returncode != 0:
            raise AssertionError(f"the drop failed: {r.stdout}{r.stderr}")
        time.sleep(1.0)
        return r.stdout.strip()

    # --- the file dialog --------------------------------------------------------------
    def open_chooser(self, press=None):
        """Browse pressed, by a click or by `press`; the dialog's window."""
        if press:
            press()
        else:
            self.click(BROWSE)
        return self.wait_chooser()

    def wait_chooser(self):
        """The file dialog, once it is up (opened by a click or otherwise)."""
        dialog = wait_for(self.other_window, 30, "the file dialog")
        time.sleep(1.0)
        return dialog

    def point_keys_at(self, dialog):
        if self.platform == "windows":
            # Keys go where the pointer is (no window manager hands out the
            # focus): over the dialog, whose file-name field has the caret.
            self.desk.x("xdotool", "mousemove", "--window", dialog, "230", "210")
        else:
            self.desk.x("xdotool", "mousemove", "--window", dialog, "200", "200")
            self.desk.x("xdotool", "windowfocus", "--sync", dialog)
        time.sleep(0.3)

    def back_to_window(self):
        # Back over the patcher, as a hand would go: Wine's dialog loop returns
        # on the next message after it has closed.
        self.desk.x("xdotool", "mousemove", "--window", self.win, "250", "5")
        time.sleep(0.3)
        self.desk.x("xdotool", "mousemove", "--window", self.win, "251", "5")
        time.sleep(0.8)

    def choose(self, path, press=None):
        """Browse (see open_chooser), type the path into the dialog, Enter."""
        self.answer_chooser(self.open_chooser(press), path)

    def answer_chooser(self, dialog, path):
        """Types the path into the open dialog, Enter."""
        self.point_keys_at(dialog)
        self.enter_path(path)
        wait_for(lambda: not self.other_window(), 30, "the file dialog to close")
        self.back_to_window()

    def enter_path(self, path):
        """Puts `path` in the open dialog's file-name field, then Enter. ASCII
        is typed. Other text is pasted, as a person with such a folder would:
        xdotool types a character outside the keymap by remapping a spare key,
        and a slow client can read the key before its new meaning."""
        text = "Z:" + str(path).replace("/", "\\") if self.platform == "windows" else str(path)
        if not text.isascii():
            self.desk.set_clipboard(text)
            if self.platform == "linux":
                # The chooser's location field, empty, then the path into it.
                self.keys("ctrl+l")
                time.sleep(0.5)
                self.keys("ctrl+a")
            self.keys("ctrl+v")
        elif self.platform == "windows":
            self.desk.x("xdotool", "type", "--delay", "30", text)
        else:
            # GTK's chooser opens its location field on the first "/" and drops
            # what is typed before that field is ready.
            self.desk.x("xdotool", "type", text[0])
            time.sleep(0.5)
            self.desk.x("xdotool", "type", "--delay", "30", text[1:])
        time.sleep(0.5)
        # The dialog goes away between the press and the release of Return, and
        # xdotool may end with an error on asking about it: that is no failure.
        subprocess.run(["xdotool", "key", "--clearmodifiers", "Return"], env=self.desk.env, capture_output=True)


class WindowTestCase(unittest.TestCase):
    """Tests that drive one window through all their steps: an X server and a
    temp folder of their own, and the program started in that folder once
    `prepare_folder` has laid out what the steps need."""
    platform = exe = None   # set from the command line before the tests run
    folder_prefix = "kelm-"

    @classmethod
    def prepare_folder(cls):
        pass

    @classmethod
    def setUpClass(cls):
        cls.desk = Desktop(cls.platform)
        cls.tmp = tempfile.TemporaryDirectory(prefix=cls.folder_prefix)
        cls.dir = Path(cls.tmp.name)
        cls.prepare_folder()
        cls.app = Patcher(cls.platform, cls.exe, cls.desk, cls.dir)

    @classmethod
    def tearDownClass(cls):
        cls.app.close()
        cls.desk.close()
        cls.tmp.cleanup()
