#!/usr/bin/env python3
"""No DLL lying beside the Windows programs runs in them.

Windows looks for a DLL that is not one of its KnownDLLs in the program's own
folder first, and Wine does the same for a DLL set to load native first. So:
- what the programs import must all be KnownDLLs, which Windows takes from
  System32 whatever lies elsewhere;
- a full run of each program under Wine lists every DLL it loads
  (WINEDEBUG=+loaddll); the same run from a folder where a DLL of each of
  those names lies beside the program, every one that is loaded while the
  program runs set native-first. The planted DLL leaves NAME.dll.ran beside
  itself when loaded: no such marker may appear, and each program must still
  do its job.

Two kinds of load are left to Wine's own order, because Wine 8 does not
model how Windows makes them:
- what the loader resolves before the program's first line (its imports and
  what they import): Windows resolves it through KnownDLLs, so a
  native-first kernel32 would load the planted one where Windows never would;
- what Wine's own DLLs bind at their first call (a delay-loaded import, such
  as imm32's of ole32), and what that DLL imports in turn: Wine looks for it
  by a search that ignores the directories the program confined the process
  to, which Windows honours.
Those DLLs are planted too, but keep Wine's builtin-first order.

    test_dll_planting.py --exe kelm-patcher.exe --cli kelm-patch.exe --client kelm_a11y_client.exe
                         --planted planted.dll --objdump OBJDUMP --shots DIR
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

sys.path.insert(0, str(Path(__file__).resolve().parent))
from xdesk import (FPS_AT, FPS_FIELD, GREEN, ICON_BOX, INFO, PATCH, TITLE, WINE, Desktop, Patcher, near,  # noqa: E402
                   raw_rgb, write_edition)

ARGS = None
TRACE = "+pid,+loaddll,+module"
LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]+)" at \w+: (\w+)', re.M)
# A DLL initialised with a load context is one the loader brought in before
# the program ran; one initialised without, a DLL loaded while it runs.
ATTACHED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:module:process_attach \(L"([^"]+)",([0-9A-Fa-f]+)\) - START', re.M)
# A delay-loaded import of one of Wine's DLLs, and the search that follows.
BOUND_LATE = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:module:LdrResolveDelayLoadedAPI .*\n'
                        r'\1:[0-9a-f]+:trace:module:load_dll looking for L"([^"]+)" in \(null\)', re.M)

# Windows 10's KnownDLLs (HKLM\System\CurrentControlSet\Control\Session
# Manager\KnownDLLs), less gdiplus, which not every Windows lists there.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
    "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}


def base_name(path):
    return Path(path.replace("\\", "/")).name.lower()


def loaded_by(log, program):
    """What the process that loaded `program` loaded: (path, how) of each
    module, and the names of the DLLs it loaded while running."""
    entries = LOADED.findall(log)
    pids = {pid for pid, path, _ in entries if base_name(path) == program.lower()}
    if not pids:
        raise AssertionError(f"{program} was never loaded:\n{log[-2000:]}")
    modules = sorted({(path, how) for pid, path, how in entries if pid in pids})
    at_run = {base_name(name) for pid, name, context in ATTACHED.findall(log) if pid in pids and int(context, 16) == 0}
    return modules, sorted(at_run - bound_late(log, pids))


def bound_late(log, pids):
    """The DLLs that Wine's delay-load resolution looked for, with all that
    they import, as the prefix's copies of Wine's DLLs list it."""
    todo = [base_name(name) for pid, name in BOUND_LATE.findall(log) if pid in pids]
    system32 = Path(os.environ.get("WINEPREFIX", Path(WINE).parents[1] / "build" / "wine")) / "drive_c/windows/system32"
    names = set()
    while todo:
        name = todo.pop()
        if name in names:
            continue
        names.add(name)
        if (system32 / name).exists():
            todo += imports(system32 / name)
    return names


def dll_names(modules, program):
    return sorted({base_name(path) for path, _ in modules if path.lower().endswith(".dll")} - {program.lower()})


def imports(program):
    out = subprocess.run([ARGS.objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    return sorted({name.lower() for name in re.findall(r"DLL Name: (\S+)", out)})


class Planting(unittest.TestCase):
    """Each program twice: once to list what it loads, once among planted DLLs."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="kelm-plant-")
        cls.root = Path(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def folder(self, name, program):
        folder = self.root / name
        folder.mkdir()
        shutil.copy(program, folder)
        write_edition(folder / "GAME.EXE")
        write_edition(folder / "DROPPED.EXE")
        return folder

    def plant(self, folder, names, at_run):
        for name in names:
            shutil.copy(ARGS.planted, folder / name)
        # wine.sh keeps its own overrides and adds these.
        return ",".join(Path(n).stem for n in at_run) + "=n,b"

    def test_imports_are_known_dlls(self):
        for program in (ARGS.exe, ARGS.cli):
            with self.subTest(program=Path(program).name):
                self.assertLessEqual(set(imports(program)), KNOWN_DLLS)

    def report(self, program, modules, at_run):
        print(f"\n{program} loaded (* while running):", file=sys.stderr)
        for path, how in modules:
            mark = "*" if base_name(path) in at_run else " "
            print(f" {mark} {path} ({how})", file=sys.stderr)

    def assert_nothing_ran(self, folder):
        self.assertEqual(sorted(p.name for p in folder.glob("*.ran")), [], "a planted DLL ran")

    def planted_run(self, run, folder, overrides):
        """`run` among the planted DLLs; a failure names what was loaded from
        the program's folder."""
        try:
            run(folder, overrides)
        except AssertionError as failure:
            log = (folder / "wine.log").read_text(errors="replace")
            beside = sorted({path for _, path, _ in LOADED.findall(log) if "kelm-plant-" in path})
            raise AssertionError(f"{failure}; loaded from the program's folder: {beside}") from None
        self.assert_nothing_ran(folder)

    # --- kelm-patch.exe ------------------------------------------------------------------
    def run_cli(self, folder, overrides=None):
        env = dict(os.environ, WINEDEBUG=TRACE)
        if overrides:
            env["WINEDLLOVERRIDES"] = overrides
        log = folder / "wine.log"
        with open(log, "w") as err, open(folder / "out.txt", "w") as out:
            for args in (["identify", "GAME.EXE"], ["patch", "--fps", "30", "--backup", "GAME.EXE"]):
                code = subprocess.run(["bash", WINE, Path(ARGS.cli).name, *args], cwd=folder, env=env,
                                      stdout=out, stderr=err, timeout=120).returncode
                self.assertEqual(code, 0, f"kelm-patch {' '.join(args)}")
        self.assertEqual((folder / "GAME.EXE").read_bytes()[FPS_AT], 30)
        return log.read_text(errors="replace")

    def test_cli(self):
        program = Path(ARGS.cli).name
        modules, at_run = loaded_by(self.run_cli(self.folder("cli", ARGS.cli)), program)
        self.report(program, modules, at_run)
        self.assertIn("rsaenh.dll", at_run, "the digest's provider is among what is listed")
        planted = self.folder("cli-planted", ARGS.cli)
        self.planted_run(self.run_cli, planted, self.plant(planted, dll_names(modules, program), at_run))

    # --- kelm-patcher.exe ---------------------------------------------------------------
    def run_window(self, folder, overrides=None):
        """Start, "Info", "Browse" to a file, a new limit, "Patch", a drop,
        "Patch" again, a screen reader's look at the window, close: every
        way in which the window loads a DLL."""
        desk = Desktop("windows")
        desk.env["WINEDEBUG"] = TRACE
        if overrides:
            desk.env["WINEDLLOVERRIDES"] = overrides
        log = folder / "wine.log"
        try:
            with open(log, "w") as err:
                app = Patcher("windows", str(folder / Path(ARGS.exe).name), desk, folder, stderr=err)
                try:
                    app.click(INFO)
                    app.popup_ok()
                    app.choose(folder / "GAME.EXE")
                    app.click(FPS_FIELD)
                    app.keys("BackSpace", "Home", "3", "End", "BackSpace", "0")
                    app.click(PATCH)
                    success = raw_rgb(app.shot(Path(ARGS.shots) / f"plant-{folder.name}.png"), ICON_BOX)
                    app.popup_ok()
                    self.assertEqual(app.drop(folder / "DROPPED.EXE"), "accepted")
                    app.click(PATCH)
                    dropped = raw_rgb(app.shot(Path(ARGS.shots) / f"plant-{folder.name}-drop.png"), ICON_BOX)
                    app.popup_ok()
                    report = folder / "a11y.txt"
                    with open(folder / "client.log", "w") as out:
                        subprocess.run(["bash", WINE, ARGS.client, "Z:" + str(report).replace("/", "\\"), TITLE,
                                        "tree"], env=desk.env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                       timeout=120)
                    self.assertIn("Patch", report.read_text(encoding="utf-8"), "the screen reader's look")
                    desk.x("xdotool", "windowfocus", "--sync", app.win)
                    app.keys("alt+F4")
                    self.assertEqual(app.proc.wait(30), 0)
                finally:
                    app.close()
        finally:
            desk.close()
        self.assertGreater(near(success, GREEN), 300, "the patch's success popup")
        self.assertEqual((folder / "GAME.EXE").read_bytes()[FPS_AT], 30)
        self.assertGreater(near(dropped, GREEN), 300, "the dropped file's patch")
        return log.read_text(errors="replace")

    def test_window(self):
        program = Path(ARGS.exe).name
        modules, at_run = loaded_by(self.run_window(self.folder("window", ARGS.exe)), program)
        self.report(program, modules, at_run)
        for expected in ("gdiplus.dll", "comdlg32.dll", "shell32.dll", "oleacc.dll"):
            self.assertIn(expected, at_run)
        planted = self.folder("window-planted", ARGS.exe)
        self.planted_run(self.run_window, planted, self.plant(planted, dll_names(modules, program), at_run))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--cli", "--client", "--planted", "--objdump", "--shots"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.shots, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
