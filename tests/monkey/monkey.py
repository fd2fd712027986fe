#!/usr/bin/env python3
"""A seeded monkey for the patcher window: a synthetic edition is chosen
through Browse, then N random but reproducible user events follow, all real X
input in a private X server: clicks and drags anywhere (also out of the
window), the wheel, keys with and without Ctrl, typed text, paste, the file
dialog opened and cancelled, Info and Patch with their OK.

Afterwards the window must still answer, its resident memory must have grown
by less than 5 % from just before the first random event, no assertion may have
been printed, and the file may differ from what it was only in its frame-rate
byte, at the same size.

    monkey.py --platform linux --exe build/linux/bin/kelm-patcher --events 1000 --seed 1 [--shots DIR]
    monkey.py --platform windows --exe build/windows/bin/kelm-patcher.exe --events 1000 --seed 1

KELM_MONKEY_SEED in the environment overrides --seed. The exit status is 0
only when every check holds.
"""
import argparse
import collections
import ctypes
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from xdesk import (BROWSE, FPS_AT, FPS_FIELD, GREEN, ICON_BOX, INFO, PATCH, POPUP_OK, RED, SIZE,  # noqa: E402
                   Desktop, Patcher, near, raw_rgb, wait_for, write_edition)

W, H = 500, 223
SETTLE = 3.0            # seconds of quiet before each memory reading
GROWTH_LIMIT = 0.05

# Keys a user may press over the window. Alt stays out: Alt+F4 would close it,
# and under Wine Alt or F10 alone enters the system menu's keyboard mode.
KEYS = ["Left", "Right", "Up", "Down", "Home", "End", "BackSpace", "Delete", "Tab", "Return", "Escape",
        "Prior", "Next", "Insert", "space", "minus", "shift+Left", "shift+Right", "shift+Home", "shift+End"]
KEYS += list("acrvxzACRVXZ0123456789")
CTRL_KEYS = ["ctrl+" + k for k in ("c", "v", "x", "z", "r", "a", "Left", "Right", "Home", "End",
                                   "BackSpace", "Delete", "Return")]
TEXT = "0123456789-+.azAZé"

# Event kinds and how often each is drawn. Random input alone seldom makes a
# new limit (the slider moves only by its knob), so "limit" types one as a user
# would, for "Patch" to have a new byte to write.
KINDS = {"click": 30, "drag": 8, "wheel": 6, "key": 22, "ctrl_key": 10, "type": 8, "paste": 4,
         "browse_cancel": 0.2, "info_ok": 0.8, "patch_ok": 0.8, "limit": 0.5}


class Fault(Exception):
    pass


def draw(rng):
    """One event, every detail from the generator, so that a seed replays it."""
    kind = rng.choices(list(KINDS), list(KINDS.values()))[0]
    if kind == "click":
        return kind, rng.randrange(W), rng.randrange(H), rng.choice((1, 1, 1, 1, 2, 3)), rng.randint(8, 40)
    if kind == "drag":
        points = [(rng.randrange(W), rng.randrange(H)) for _ in range(rng.randint(2, 6))]
        if rng.random() < 0.3:   # and out of the window, where the release lands
            points.append((rng.randrange(-60, W + 60), rng.choice((-40, H + 40))) if rng.random() < 0.5
                          else (rng.choice((-40, W + 40)), rng.randrange(-60, H + 60)))
        return kind, rng.choice((1, 1, 1, 3)), points
    if kind == "wheel":
        return kind, rng.randrange(W), rng.randrange(H), rng.choice((4, 5, 4, 5, 6, 7)), rng.randint(1, 3)
    if kind in ("key", "ctrl_key"):
        return kind, rng.choice(KEYS if kind == "key" else CTRL_KEYS), rng.randint(8, 35)
    if kind in ("type", "paste"):
        return kind, "".join(rng.choice(TEXT) for _ in range(rng.randint(1, 6)))
    if kind == "browse_cancel":
        return kind, rng.choice(("Escape", "close"))
    if kind == "limit":   # "70": End, BackSpace, "4" makes "74"; Home, "1" makes "174"
        return kind, str(rng.randrange(10)), rng.choice(("", "1", "2"))
    return (kind,)


def in_browse(x, y):
    return x >= 395 and 8 <= y <= 46


def ask_to_close(display, wid):
    """What a window manager's close button sends: WM_DELETE_WINDOW."""
    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    event = ClientMessage(type=33, window=int(wid), format=32,        # 33: ClientMessage
                          message_type=x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0))
    event.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(dpy, int(wid), 0, 0, ctypes.byref(event))
    x11.XCloseDisplay(dpy)


def rss_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise Fault(f"no VmRSS for process {pid}")


class Monkey:
    def __init__(self, app, clipboard):
        self.app, self.desk, self.clipboard = app, app.desk, clipboard
        self.x0, self.y0, _, _ = app.geometry()
        self.counts = collections.Counter()
        self.input = self.query = None
        self.start_xdotool()

    def start_xdotool(self):
        # xdotool reading commands line by line: starting one for every event
        # would cost more than the event. Searches go to a second one, as a
        # search makes its result the default window of later keys, which then
        # become events sent to that window instead of input.
        self.close()
        self.input, self.query = (subprocess.Popen(["xdotool", "-"], env=self.desk.env, text=True,
                                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                                  for _ in range(2))

    def close(self):
        for xdotool in filter(None, (self.input, self.query)):
            if xdotool.poll() is None:
                xdotool.stdin.close()
            xdotool.wait(10)

    def xdo(self, *args, xdotool=None):
        """Runs one command line and returns what it printed, once it is done."""
        xdotool = xdotool or self.input
        line = " ".join(str(a) for a in args)
        out = []
        try:
            xdotool.stdin.write(f"{line}\ngetmouselocation\n")
            xdotool.stdin.flush()
            while (text := xdotool.stdout.readline()) and not text.startswith("x:"):
                out.append(text.strip())
        except BrokenPipeError:
            text = ""
        if not text:
            self.start_xdotool()
            raise Fault(f"xdotool ended on: {line}")
        return out

    def to(self, x, y):
        # Screen coordinates: the window sits where it was centred, and the
        # points out of it stay on the screen.
        return "mousemove", self.x0 + x, self.y0 + y

    def press(self, x, y, button=1, hold=60):
        self.xdo(*self.to(x, y), "sleep", 0.005, "mousedown", button, "sleep", hold / 1000, "mouseup", button)

    def do(self, event):
        kind, *a = event
        self.counts[kind] += 1
        if kind == "click":
            x, y, button, hold = a
            self.press(x, y, button, hold)
            if button == 1 and in_browse(x, y):
                self.dialog_if_any(0.5)
        elif kind == "drag":
            button, points = a
            steps = [s for p in points[1:] for s in (*self.to(*p), "sleep", 0.01)]
            self.xdo(*self.to(*points[0]), "mousedown", button, "sleep", 0.02, *steps, "mouseup", button)
            if button == 1 and in_browse(*points[0]):
                self.dialog_if_any(0.5)
        elif kind == "wheel":
            x, y, button, repeat = a
            self.xdo(*self.to(x, y), "click", "--repeat", repeat, "--delay", 20, button)
        elif kind in ("key", "ctrl_key"):
            key, hold = a
            self.xdo("keydown", "--delay", 0, key, "sleep", hold / 1000, "keyup", "--delay", 0, key)
            # Enter or Space on a focused "Browse" opens the file dialog: it is
            # answered before any later event can land in it.
            if key.split("+")[-1] in ("Return", "space"):
                self.dialog_if_any(1.5)
        elif kind == "type":
            self.xdo("type", "--delay", 20, "--", a[0])
        elif kind == "paste":
            if not self.clipboard:
                self.counts["paste skipped: no xclip"] += 1
                return
            self.desk.set_clipboard(a[0])
            self.xdo("keydown", "--delay", 0, "ctrl+v", "sleep", 0.04, "keyup", "--delay", 0, "ctrl+v")
        elif kind == "limit":
            self.past_popup(FPS_FIELD)
            for key in ("End", "BackSpace", a[0]) + (("Home", a[1]) if a[1] else ()):
                self.xdo("key", "--delay", 30, key, "sleep", 0.03)
        elif kind == "browse_cancel":
            self.past_popup(BROWSE)
            dialog = self.wait_dialog(20)
            if dialog is None:
                raise Fault("Browse showed no file dialog")
            self.dismiss(dialog, a[0])
        elif kind in ("info_ok", "patch_ok"):
            self.press(*(INFO if kind == "info_ok" else PATCH))
            time.sleep(0.1)
            self.press(*POPUP_OK)
            time.sleep(0.05)

    def past_popup(self, point):
        # OK first, should a message be up: the panel ignores input under it.
        self.press(*POPUP_OK)
        time.sleep(0.1)
        self.press(*point)

    def wait_dialog(self, timeout):
        end = time.monotonic() + timeout
        while True:
            # Without a window manager only the patcher and a dialog are mapped.
            if set(self.xdo("search", "--onlyvisible", "--name", ".", xdotool=self.query)) - {self.app.win}:
                dialog = self.app.other_window()
                if dialog:
                    return dialog
            if time.monotonic() >= end:
                return None
            time.sleep(0.1)

    def dialog_if_any(self, timeout):
        dialog = self.wait_dialog(timeout)
        if dialog:
            # A key on the focused "Browse" opens it too, at any moment: let
            # it come up whole before answering it, as a hand waits.
            self.counts["dialog opened by a click or a key"] += 1
            time.sleep(1.0)
            self.dismiss(dialog, "Escape")

    def dismiss(self, dialog, how):
        time.sleep(0.2)
        if how == "Escape":
            # A hand presses Escape again when the first press came before the
            # dialog could take keys (a busy machine); three presses unheard
            # are a fault.
            for attempt in range(3):
                self.app.point_keys_at(dialog)
                # Not through the long-lived xdotool: the dialog goes away between
                # the press and the release, and xdotool may end on asking about it.
                subprocess.run(["xdotool", "key", "Escape"], env=self.desk.env, capture_output=True)
                if self.closed(7):
                    break
                self.counts["Escape pressed again"] += 1
            else:
                raise Fault("the file dialog stayed open after Escape")
        else:
            ask_to_close(self.desk.display, dialog)
            if not self.closed(20):
                raise Fault(f"the file dialog stayed open after {how}")
        # Back over the window at once: Wine's dialog loop returns on the next message.
        self.xdo(*self.to(250, 5), "sleep", 0.15, *self.to(251, 5), "sleep", 0.15)

    def closed(self, timeout):
        try:
            return wait_for(lambda: not self.app.other_window(), timeout, "the file dialog to close")
        except AssertionError:
            return False


def popup_icon(app, shots, name):
    path = app.shot(Path(shots) / f"{name}.png")
    raw = raw_rgb(path, ICON_BOX)
    return near(raw, GREEN), near(raw, RED)


def alarms(err_path, start):
    """Lines of the program's error output that tell of a failed assertion or a sanitizer's finding."""
    with open(err_path, "rb") as f:
        f.seek(start)
        text = f.read().decode(errors="replace")
    return [line for line in text.splitlines() if re.search("assert|sanitizer|runtime error", line, re.IGNORECASE)]


def run(args, seed, app, game, original, err_path, shots):
    problems = []
    app.choose(game)
    pid = app.proc.pid
    # Under Wine the wrapper execs wine, which becomes the program: the same PID.
    cmdline = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
    if Path(args.exe).name not in cmdline:
        raise Fault(f"process {pid} is not the program ({cmdline.strip()}): its memory cannot be read")
    # Typing a path into GTK's chooser makes GTK itself complain: the monkey
    # judges only what its own events bring about.
    for line in alarms(err_path, 0):
        print(f"monkey: note, while the file was chosen the program printed: {line}")
    err_start = os.path.getsize(err_path)
    monkey = Monkey(app, shutil.which("xclip"))
    # What loads on first use (the file dialog, the clipboard, each popup) runs
    # once before memory is first read: growth is to measure what repeats.
    for event in (("info_ok",), ("patch_ok",), ("browse_cancel", "Escape"), ("browse_cancel", "close"),
                  ("paste", "7")):
        monkey.do(event)
    monkey.counts.clear()
    time.sleep(SETTLE)
    rss0 = rss_kib(pid)

    rng = random.Random(seed)
    recent = collections.deque(maxlen=6)
    started, done = time.monotonic(), 0
    for i in range(args.events):
        event = draw(rng)
        recent.append((i, event))
        try:
            monkey.do(event)
            if app.proc.poll() is not None:
                raise Fault(f"the program ended with status {app.proc.returncode}")
            if i % 10 == 9:   # a dialog that opened late
                monkey.dialog_if_any(0)
        except (Fault, subprocess.CalledProcessError) as e:
            print(f"monkey: FAULT at event {i} {event} with seed {seed}: {e}")
            print("monkey: the last events:", *(f"  {j}: {ev}" for j, ev in recent), sep="\n")
            if app.proc.poll() is None:
                app.shot(Path(shots) / "fault.png")
            problems.append(f"fault at event {i}: {e}")
            break
        done += 1
        if done % 1000 == 0:
            print(f"monkey: {done} events, {time.monotonic() - started:.0f} s, resident {rss_kib(pid)} KiB")
        time.sleep(rng.uniform(0.008, 0.025))
    duration = time.monotonic() - started
    print(f"monkey: {done} events in {duration:.0f} s")
    for kind, n in sorted(monkey.counts.items()):
        print(f"  {kind:26} {n}")

    if app.proc.poll() is None:
        time.sleep(SETTLE)
        rss1 = rss_kib(pid)
        growth = (rss1 - rss0) / rss0
        print(f"monkey: resident memory {rss0} KiB -> {rss1} KiB ({growth:+.1%})")
        if "libasan" in Path(f"/proc/{pid}/maps").read_text():
            print("monkey: memory growth not judged: AddressSanitizer keeps freed memory in quarantine")
        elif growth >= GROWTH_LIMIT:
            problems.append(f"resident memory grew by {growth:.1%}")
        # The window answers: any message closed, then Info shows its tick and
        # Patch still succeeds on the file chosen at the start.
        monkey.press(*POPUP_OK)
        time.sleep(0.3)
        for point, name in ((INFO, "end-info"), (PATCH, "end-patch")):
            app.click(point)
            green, red = popup_icon(app, shots, name)
            app.popup_ok()
            if green < 300 or red > 10:
                problems.append(f"{name}: no green tick after the click ({green} green, {red} red pixels)")
        if popup_icon(app, shots, "end")[0] >= 10:
            problems.append("the popup stayed after OK")
    if app.proc.poll() is not None:
        problems.append(f"the program is gone (status {app.proc.returncode})")
    problems += [f"printed: {line}" for line in alarms(err_path, err_start)]

    monkey.close()
    data = game.read_bytes()
    changed = [k for k in range(min(len(data), len(original))) if data[k] != original[k]]
    print(f"monkey: file {len(data)} bytes, frame-rate byte {original[FPS_AT]} -> {data[FPS_AT]}")
    if len(data) != SIZE:
        problems.append(f"the file is {len(data)} bytes, not {SIZE}")
    if any(k != FPS_AT for k in changed):
        problems.append(f"bytes changed outside the frame-rate byte: {[k for k in changed if k != FPS_AT][:10]}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=("windows", "linux"), required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--events", type=int, required=True)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--shots")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    seed = int(os.environ.get("KELM_MONKEY_SEED", args.seed))
    args.exe = os.path.abspath(args.exe)
    tools = ["Xvfb", "xdotool", "import", "convert", "xdpyinfo"] + (["wine"] if args.platform == "windows" else [])
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/setup.sh")
    print(f"monkey: seed {seed}; again with: KELM_MONKEY_SEED={seed} {sys.argv[0]} --platform {args.platform} "
          f"--exe {args.exe} --events {args.events}")
    if not shutil.which("xclip"):
        print("monkey: paste is skipped: xclip is missing, so nothing can be put on the clipboard")

    tmp = tempfile.TemporaryDirectory(prefix="kelm-monkey-")
    folder = Path(tmp.name)
    shots = Path(args.shots).resolve() if args.shots else folder
    shots.mkdir(parents=True, exist_ok=True)
    game = folder / "GAME.EXE"
    original = write_edition(game)
    err_path = folder / "stderr.txt"
    desk = Desktop(args.platform)
    desk.keep_settings_in(folder)
    desk.map_characters(TEXT)
    app = None
    try:
        with open(err_path, "wb") as err:
            app = Patcher(args.platform, args.exe, desk, folder, stderr=err)
            problems = run(args, seed, app, game, original, err_path, shots)
    except Fault as e:
        problems = [str(e)]
    finally:
        if app:
            app.close()
        desk.close()
        tmp.cleanup()
    for p in problems:
        print(f"monkey: FAILED: {p}")
    print(f"monkey: {'FAILED' if problems else 'passed'} (seed {seed})")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
