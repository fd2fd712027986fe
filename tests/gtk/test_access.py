#!/usr/bin/env python3
"""The native window as a screen reader meets it: read and driven through
AT-SPI with pyatspi, as Orca and every other client does, over GTK's own
accessibility bridge. The test starts what a desktop session would have
running, each its own: an X server, a session bus, the accessibility bus and
its registry; then the real window, on real files in a temp folder.

    test_access.py --exe build/linux/bin/kelm-patcher --cli build/linux/bin/kelm-patch
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import warnings
from collections import namedtuple
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from xdesk import FPS_AT, TITLE, V11_CD, Desktop, Patcher, debian_python, wait_for, write_edition  # noqa: E402

EXE = CLI = None
pyatspi = GLib = Gio = None   # imported once the buses are up: pyatspi finds its bus at import

Event = namedtuple("Event", "type role name detail")
LIMIT = "FPS limit (recommended <= 30):"
BOX = "Fix music loop (v1.1 CD-ROM or v1.1 Floppy Edition only)"
PANEL = [("text", "Choose Quelmor: Thornmere executable..."), ("push button", "Browse"), ("status bar", ""),
         ("label", LIMIT), ("text", LIMIT), ("slider", LIMIT), ("check box", BOX), ("push button", "Info"),
         ("label", "2024 ostrel"), ("push button", "Patch")]


def settle(predicate, what, timeout=20):
    """Waits for `predicate`, taking the events that arrive meanwhile."""
    def check():
        while GLib.MainContext.default().iteration(False):
            pass
        return predicate()
    return wait_for(check, timeout, what)


class Buses:
    """A session bus, and the accessibility bus that at-spi-bus-launcher
    starts on it; the registry starts there when the first client asks."""

    def __init__(self, env):
        self.session = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        stdout=subprocess.PIPE, text=True, env=env)
        env["DBUS_SESSION_BUS_ADDRESS"] = self.session.stdout.readline().strip()
        # Nothing it starts may hold the test's output open past the test.
        self.launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.address = env["DBUS_SESSION_BUS_ADDRESS"]

    @staticmethod
    def call(address, dest, path, method, *args):
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        bus = Gio.DBusConnection.new_for_address_sync(address, flags)
        try:
            return bus.call_sync(dest, path, dest, method, GLib.Variant("(s)", args) if args else None, None,
                                 Gio.DBusCallFlags.NONE, 5000).unpack()[0]
        finally:
            bus.close_sync(None)

    def close(self):
        # The registry leaves its parent at once: only its bus knows its process.
        pids = []
        try:
            a11y = self.call(self.address, "org.a11y.Bus", "/org/a11y/bus", "GetAddress")
            pids = [self.call(a11y, "org.freedesktop.DBus", "/org/freedesktop/DBus", "GetConnectionUnixProcessID",
                              name) for name in ("org.a11y.atspi.Registry", "org.freedesktop.DBus")]
        except GLib.Error:
            pass    # not started, or gone already
        for proc in (self.launcher, self.session):
            proc.terminate()
            proc.wait(10)
        for pid in pids:
            try:
                os.kill(pid, 15)
            except ProcessLookupError:
                continue
            wait_for(lambda: not Path(f"/proc/{pid}").exists() or
                     Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] == "Z", 10, f"{pid} to end")


def panel_of(pid):
    """The panel of the patcher window that process `pid` shows, once drawn."""
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            for frame in app:
                if frame.name == TITLE and frame.childCount == 1 and frame[0].childCount >= len(PANEL):
                    return frame[0]
    return None


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def extents(node, coords):
    e = node.queryComponent().getExtents(coords)
    return e.x, e.y, e.width, e.height


class AccessibleWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global pyatspi, GLib, Gio
        warnings.filterwarnings("ignore", category=DeprecationWarning, module=r"pyatspi\.")   # its own calls
        # Each part goes again even when a later one fails to start.
        cls.desk = Desktop()
        cls.addClassCleanup(cls.desk.close)
        cls.tmp = tempfile.TemporaryDirectory(prefix="kelm-access-")
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.dir = Path(cls.tmp.name)
        cls.desk.keep_settings_in(cls.dir)
        del cls.desk.env["NO_AT_BRIDGE"]   # xdesk's desktops keep GTK from the bridge
        cls.buses = Buses(cls.desk.env)
        cls.addClassCleanup(cls.buses.close)
        os.environ.update(DISPLAY=cls.desk.display, DBUS_SESSION_BUS_ADDRESS=cls.buses.address)
        import pyatspi
        from gi.repository import Gio, GLib
        cls.events = []
        pyatspi.Registry.registerEventListener(cls.heard, "object:state-changed", "object:property-change",
                                               "object:children-changed", "object:text-changed")
        cls.game = cls.dir / "GAME.EXE"
        write_edition(cls.game)
        cls.app = Patcher("linux", EXE, cls.desk, cls.dir, stderr=None)
        cls.addClassCleanup(cls.app.close)
        cls.panel = settle(lambda: panel_of(cls.app.proc.pid), "the window's panel on the accessibility bus")
        cls.desk.x("xdotool", "windowfocus", "--sync", cls.app.win)

    @classmethod
    def heard(cls, event):
        try:
            cls.events.append(Event(event.type, event.source.getRoleName(), event.source.name, event.detail1))
        except GLib.GError:
            pass    # from an object gone since (the file dialog's)

    def hears(self, mark, event_type, role, name=None, detail=None):
        """Waits for an event since `mark`: pyatspi hands events on a while
        after the answers to what the test asked meanwhile."""
        settle(lambda: [e for e in self.events[mark:] if (e.type, e.role) == (event_type, role) and
                        name in (None, e.name) and detail in (None, e.detail)], f"{event_type} from {role} {name}", 10)

    def child(self, role, name=None, parent=None):
        for node in (self.panel if parent is None else parent):
            if node.getRoleName() == role and name in (None, node.name):
                return node
        raise AssertionError(f"no {role} {name or ''}")

    def act(self, role, name=None, parent=None):
        self.assertTrue(self.child(role, name, parent).queryAction().doAction(0))

    def popup(self, role, name):
        settle(lambda: self.panel.childCount > len(PANEL), f"the {role}")
        popup = self.panel[len(PANEL)]
        self.assertEqual((popup.getRoleName(), popup.name), (role, name))
        return popup

    def dismiss(self, popup):
        mark = len(self.events)
        self.act("push button", "OK", popup)
        settle(lambda: self.panel.childCount == len(PANEL), "the popup to go")
        self.hears(mark, "object:children-changed:remove", "panel")

    def limit(self):
        field = self.child("text", LIMIT)
        return field.queryText().getText(0, -1), field.queryValue().currentValue

    # --- the tests, in order ------------------------------------------------------------------
    def test_a_the_panel_reads_as_its_widgets(self):
        self.assertEqual((self.panel.getRoleName(), self.panel.name), ("panel", TITLE))
        self.assertEqual([(child.getRoleName(), child.name) for child in self.panel], PANEL)
        self.assertEqual(states(self.panel[0]) & {"read only", "editable"}, {"read only"})
        self.assertTrue({"editable", "focusable"} <= states(self.child("text", LIMIT)))
        self.assertNotIn("enabled", states(self.child("check box")))   # no edition chosen yet
        self.assertEqual(self.child("push button", "Patch").queryAction().getName(0), "click")
        # The language of the texts, for the screen reader's voice: none chosen here, English.
        self.assertEqual(self.child("push button", "Patch").get_object_locale(), "en")

    def test_b_extents_are_where_the_widgets_are(self):
        info = self.child("push button", "Info")
        x, y, w, h = extents(info, pyatspi.DESKTOP_COORDS)
        wx, wy, _, _ = self.app.geometry()
        self.assertEqual(extents(info, pyatspi.WINDOW_COORDS), (x - wx, y - wy, w, h))
        self.app.click((x - wx + w // 2, y - wy + h // 2))   # where the extents say "Info" is
        popup = self.popup("dialog", "Information")
        text = self.child("label", parent=popup).queryText()
        self.assertEqual(text.getStringAtOffset(0, pyatspi.TEXT_GRANULARITY_LINE), ("Patcher features:\r\n", 0, 19))
        # The popup lies over the panel: a point in it finds the popup.
        x, y, w, h = extents(self.child("push button", "OK", popup), pyatspi.DESKTOP_COORDS)
        found = self.panel.queryComponent().getAccessibleAtPoint(x + w // 2, y + h // 2, pyatspi.DESKTOP_COORDS)
        self.assertEqual((found.getRoleName(), found.name), ("dialog", "Information"))
        self.dismiss(popup)

    def test_c_patch_before_a_file_is_an_alert_with_the_focus(self):
        mark = len(self.events)
        self.act("push button", "Patch")
        alert = self.popup("alert", "Reading error")
        self.assertTrue(self.child("label", parent=alert).name.startswith("Please, choose Quelmor: Kelm executable"))
        self.hears(mark, "object:state-changed:focused", "push button", "OK", 1)
        self.assertIn("focused", states(self.child("push button", "OK", alert)))
        self.dismiss(alert)

    def test_d_the_limit_through_its_value(self):
        slider = self.child("slider")
        value = slider.queryValue()
        self.assertEqual((value.minimumValue, value.maximumValue, value.minimumIncrement), (1, 255, 1))
        mark = len(self.events)
        value.currentValue = 42
        settle(lambda: self.limit() == ("42", 42), "the field to show 42")
        self.hears(mark, "object:property-change:accessible-value", "slider")
        self.hears(mark, "object:text-changed:insert:system", "text")
        # Held in range by the panel, whichever widget it comes through.
        self.child("text", LIMIT).queryValue().currentValue = 300
        settle(lambda: self.limit() == ("255", 255) and slider.queryValue().currentValue == 255, "the limit at 255")

    def test_e_browse_chooses_an_edition(self):
        mark = len(self.events)
        browse = self.child("push button", "Browse").queryAction()
        self.app.choose(self.game, press=lambda: self.assertTrue(browse.doAction(0)))
        self.desk.x("xdotool", "windowfocus", "--sync", self.app.win)
        settle(lambda: self.child("status bar").name == "Modified v1.0 CD-ROM edition", "the status line")
        self.hears(mark, "object:property-change:accessible-name", "status bar")
        self.assertEqual(self.child("text", str(self.game)).queryText().getText(0, -1), str(self.game))
        self.assertEqual(self.limit(), ("70", 70))
        # This edition has no fix: the box stays disabled, and its action does nothing.
        box = self.child("check box", BOX)
        self.assertNotIn("enabled", states(box))
        box.queryAction().doAction(0)    # the bridge says yes to any action: it runs them later
        time.sleep(0.5)
        self.assertNotIn("checked", states(box))

    def test_f_patch_writes_the_limit_set(self):
        self.child("slider").queryValue().currentValue = 30
        settle(lambda: self.limit() == ("30", 30), "the limit at 30")
        self.act("push button", "Patch")
        popup = self.popup("dialog", "Success")
        self.assertEqual(self.child("label", parent=popup).name, "Quelmor: Kelm executable patched successfully")
        self.dismiss(popup)
        self.assertEqual(self.game.read_bytes()[FPS_AT], 30)

    def test_g_the_music_fix_on_a_v1_1_edition(self):
        game = self.dir / "V11.EXE"
        write_edition(game, V11_CD)
        self.assertEqual(self.app.drop(game), "accepted")
        box = self.child("check box", "Fix music loop")
        settle(lambda: {"enabled", "focusable"} <= states(box), "the box enabled")
        mark = len(self.events)
        self.act("check box")
        settle(lambda: "checked" in states(box), "the box ticked")
        self.hears(mark, "object:state-changed:checked", "check box", detail=1)
        self.act("push button", "Patch")
        self.dismiss(self.popup("dialog", "Success"))
        found = json.loads(subprocess.run([CLI, "identify", "--json", str(game)], check=True, capture_output=True,
                                          text=True).stdout)
        self.assertEqual((found["music_fix"], found["fps_limit"]), ("applied", 70))

    def test_h_focus_moves_by_grab_focus(self):
        info = self.child("push button", "Info")
        mark = len(self.events)
        self.assertTrue(info.queryComponent().grabFocus())
        self.hears(mark, "object:state-changed:focused", "push button", "Info", 1)
        self.assertIn("focused", states(info))
        self.assertNotIn("focused", states(self.panel))
        self.assertFalse(self.child("label", "2024 ostrel").queryComponent().grabFocus())

    def test_i_idle_with_a_client_listening(self):
        def ticks():
            fields = Path(f"/proc/{self.app.proc.pid}/stat").read_text().rsplit(")", 1)[1].split()
            return int(fields[11]) + int(fields[12])
        # GTK's bridge keeps what it handed a client for 15 seconds, and then
        # lets go of it on a timer of its own; after that nothing may run.
        time.sleep(16)
        before = ticks()
        time.sleep(3)
        self.assertEqual(ticks() - before, 0)

    def test_j_extents_in_logical_pixels_at_any_scale(self):
        """GDK's coordinates are logical at any scale, and so are GTK's own
        accessibles': the panel's widgets keep their place within it."""
        scaled = subprocess.Popen([EXE], env=dict(self.desk.env, GDK_SCALE="2"), cwd=self.dir,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            def layout(panel):
                px, py, pw, ph = extents(panel, pyatspi.DESKTOP_COORDS)
                return [(pw, ph)] + [(x - px, y - py, w, h) for x, y, w, h in
                                     (extents(child, pyatspi.DESKTOP_COORDS) for child in panel)]
            other = settle(lambda: panel_of(scaled.pid), "the scaled window's panel", 60)
            self.assertEqual(layout(other), layout(self.panel))
        finally:
            scaled.kill()
            scaled.wait(10)


if __name__ == "__main__":
    # pyatspi is Debian's: this runs again under Debian's Python where this one lacks it.
    python = debian_python("pyatspi", "python3-pyatspi")
    if python != sys.executable:
        os.execv(python, [python] + sys.argv)
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--cli", required=True)
    args, rest = parser.parse_known_args()
    EXE, CLI = os.path.abspath(args.exe), os.path.abspath(args.cli)
    for tool in ("Xvfb", "xdotool", "xdpyinfo", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/setup.sh")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
