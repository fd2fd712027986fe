#!/usr/bin/env python3
"""The kelm-patch command line, driven on synthetic executables of the right
size (probe text, chosen FPS byte, non-zero filler) in a temp folder.

    test_cli.py --exe build/linux/bin/kelm-patch
    test_cli.py --exe build/windows/bin/kelm-patch.exe --emulator wine
    test_cli.py --exe ... --emulator wine --compare-with build/linux/bin/kelm-patch
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

EXE = None          # command prefix: [emulator?, exe]
OTHER = None        # second binary for the cross-build comparison

# (edition, size, probe offset, probe text, fps offset)
EDITIONS = [
    ("v1.1 CD-ROM edition", 634416, 317292, b"1.1:RES ", 562369),
    ("v1.1 Floppy edition", 631632, 314588, b"1.1:RES ", 559569),
    ("v1.01 CD-ROM edition", 633744, 316988, b"VERSION 1.01", 561761),
    ("v1.0 CD-ROM edition", 634704, 317148, b"VERSION 1.0", 562593),
    ("v1.0 Floppy edition (20.09.94)", 630960, 314364, b"VERSION 1.0", 558929),
    ("v1.0 Floppy edition (16.09.94)", 634208, 315628, b"VERSION 1.0", 562161),
    ("v1.0 Floppy edition (Spanish)", 630608, 314324, b"VERSION 1.0", 558577),
]
MUSIC_FIX = {
    0: (120182, bytes.fromhex("a0be08c646f4003c027505c606bc08019090a0bc083c00")),
    1: (117634, bytes.fromhex("a1bc083d02007505c606bc08013c00")),
}
_FILLER = bytes((i * 37 + 11) % 251 + 1 for i in range(251))   # never zero


def make_exe(profile, fps=40, music=False, size_delta=0, probe=None):
    _, size, probe_off, text, _ = EDITIONS[profile]
    data = bytearray((_FILLER * (size // len(_FILLER) + 1))[:size])
    probe = text + b"\0" if probe is None else probe
    data[probe_off:probe_off + len(probe)] = probe
    data = bytearray(patched(data, profile, fps, music))
    if size_delta > 0:
        data += _FILLER[:size_delta]
    elif size_delta < 0:
        del data[size_delta:]
    return bytes(data)


def patched(data, profile, fps=None, music=False):
    """What the patcher must turn `data` into."""
    out = bytearray(data)
    if fps is not None:
        out[EDITIONS[profile][4]] = fps
    if music:
        off, fix = MUSIC_FIX[profile]
        out[off:off + len(fix)] = fix
    return bytes(out)


def fix_state(profile, applied):
    if profile not in MUSIC_FIX:
        return "unavailable"
    return "applied" if applied else "absent"


class CliCase(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="kelm-cli-")
        self.addCleanup(tmp.cleanup)
        self.dir = Path(tmp.name)

    def write(self, name, data):
        (self.dir / name).write_bytes(data)
        return name

    def read(self, name):
        return (self.dir / name).read_bytes()

    def run_cli(self, *args, cmd=None, env=None):
        # Output goes to files, not pipes: Wine's helper processes inherit
        # the handles and would hold a pipe open for seconds after exit.
        # Wine reads its command line in the locale's character set, which
        # must be UTF-8 for a name outside ASCII to reach the program at all.
        env = dict(os.environ, LC_ALL="C.UTF-8", **(env or {}))
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.run((cmd or EXE) + list(args), cwd=self.dir,
                                  stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err, timeout=120, env=env)
            out.seek(0)
            err.seek(0)
            return proc.returncode, out.read().decode(), err.read().decode()

    def assert_refused(self, args, code, files):
        """Exit `code`, one stderr line, nothing on stdout, files untouched."""
        before = {name: self.read(name) for name in files}
        rc, out, err = self.run_cli(*args)
        self.assertEqual(rc, code, err)
        self.assertEqual(out, "")
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertTrue(err.strip(), "empty error message")
        for name, data in before.items():
            self.assertEqual(self.read(name), data, name + " was modified")

    def patch_json(self, *args):
        rc, out, err = self.run_cli("patch", "--json", *args)
        self.assertEqual((rc, err), (0, ""))
        self.assertEqual(len(out.splitlines()), 1, out)
        return json.loads(out)


class Identify(CliCase):
    def test_every_edition(self):
        cases = [(p, False) for p in range(len(EDITIONS))] + \
                [(p, True) for p in MUSIC_FIX]
        for profile, music in cases:
            with self.subTest(profile=profile, music=music):
                edition, fps = EDITIONS[profile][0], 20 + 11 * profile + music
                data = make_exe(profile, fps=fps, music=music)
                name = self.write(f"game{profile}.exe", data)
                state = fix_state(profile, music)
                rc, out, err = self.run_cli("identify", name)
                self.assertEqual((rc, err), (0, ""))
                self.assertEqual(out.splitlines(), [
                    f"{name}: Modified {edition}, FPS limit {fps}, music fix {state}"])
                rc, out, err = self.run_cli("identify", "--json", name)
                self.assertEqual((rc, err), (0, ""))
                expected = {
                    "path": name, "supported": True, "profile": profile,
                    "edition": edition, "unmodified": False,
                    "status": "Modified " + edition,
                    "md5": hashlib.md5(data).hexdigest(),
                    "fps_limit": fps, "music_fix": state}
                # items(), not dicts: the key order is part of the format
                self.assertEqual(list(json.loads(out).items()),
                                 list(expected.items()))
                self.assertEqual(self.read(name), data)

    def test_unsupported_files(self):
        os.mkdir(self.dir / "folder")
        cases = {
            "v101_text_in_v10_file": make_exe(3, probe=b"VERSION 1.01\0"),
            "probe_without_zero": make_exe(3, probe=b"VERSION 1.0X"),
            "probe_missing_space": make_exe(0, probe=b"1.1:RES\0"),
            "wrong_text": make_exe(4, probe=b"VERSION 2.0\0"),
            "one_byte_long": make_exe(0, size_delta=1),
            "one_byte_short": make_exe(6, size_delta=-1),
            "empty": b"",
        }
        for name, data in cases.items():
            self.write(name, data)
        for name in list(cases) + ["folder", "missing.exe"]:
            with self.subTest(name=name):
                rc, out, _ = self.run_cli("identify", name)
                self.assertEqual(rc, 1)
                self.assertRegex(out, rf"^{re.escape(name)}: unsupported: \S.*\n$")
                rc, out, _ = self.run_cli("identify", "--json", name)
                obj = json.loads(out)
                self.assertEqual((rc, list(obj), obj["path"]),
                                 (1, ["path", "supported", "error"], name))
                self.assertIs(obj["supported"], False)
                self.assertTrue(obj["error"])
                if name in cases:
                    self.assertEqual(self.read(name), cases[name])

    def test_mixed_list_reports_every_file_in_order(self):
        b = self.write("b.exe", make_exe(5, fps=70))
        self.write("a.exe", make_exe(1, fps=33))
        self.write("bad.exe", make_exe(2, size_delta=1))
        names = ["a.exe", "missing.exe", b, "bad.exe", "a.exe"]
        rc, out, _ = self.run_cli("identify", "--json", *names)
        objs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual((rc, [(o["path"], o.get("fps_limit")) for o in objs]),
                         (1, list(zip(names, [33, None, 70, None, 33]))))
        self.assertEqual(objs[2]["md5"], hashlib.md5(self.read(b)).hexdigest())
        rc, out, _ = self.run_cli("identify", *names)
        self.assertEqual((rc, [line.split(":")[0] for line in out.splitlines()]),
                         (1, names))
        self.assertEqual(self.run_cli("identify", "a.exe", b)[0], 0)


class Patch(CliCase):
    def check_patch(self, profile, args, fps=None, music=False, old_fps=40):
        original = make_exe(profile, fps=old_fps)
        name = self.write("game.exe", original)
        expected = patched(original, profile, fps, music)
        changed = sum(a != b for a, b in zip(original, expected))
        result = self.patch_json(*args, name)
        self.assertEqual(list(result.items()), [
            ("path", name), ("profile", profile),
            ("fps_limit", old_fps if fps is None else fps),
            ("music_fix", fix_state(profile, music)), ("changed_bytes", changed)])
        self.assertEqual(self.read(name), expected)   # whole file, same size
        # The same patch again finds nothing to change.
        self.assertEqual(self.patch_json(*args, name)["changed_bytes"], 0)
        self.assertEqual(self.read(name), expected)
        return name

    def test_fps_on_every_edition(self):
        for profile in range(len(EDITIONS)):
            for fps in (1, 30, 255):
                with self.subTest(profile=profile, fps=fps):
                    self.check_patch(profile, ["--fps", str(fps)], fps=fps)

    def test_music_fix(self):
        for profile in MUSIC_FIX:
            for args, fps in ((["--fps=24", "--music-fix"], 24),
                              (["--music-fix"], None)):
                with self.subTest(profile=profile, args=args):
                    name = self.check_patch(profile, args, fps, music=True)
                    rc, out, _ = self.run_cli("identify", "--json", name)
                    self.assertEqual(rc, 0)
                    obj = json.loads(out)
                    self.assertEqual((obj["music_fix"], obj["fps_limit"]),
                                     ("applied", fps or 40))

    def test_fps_takes_any_number_of_leading_zeros(self):
        for text, fps in (("0000000030", 30), ("0" * 40 + "255", 255)):
            self.check_patch(0, ["--fps=" + text], fps=fps)

    def test_partial_fix_counts_as_absent(self):
        off, fix = MUSIC_FIX[1]
        data = bytearray(make_exe(1, music=True))
        data[off + len(fix) - 1] = 0x5a
        name = self.write("game.exe", bytes(data))
        rc, out, _ = self.run_cli("identify", "--json", name)
        self.assertEqual((rc, json.loads(out)["music_fix"]), (0, "absent"))
        self.assertEqual(self.patch_json("--music-fix", name)["changed_bytes"], 1)
        self.assertEqual(self.read(name), make_exe(1, music=True))

    def test_backup(self):   # and the human-readable result line
        original = make_exe(0, fps=50)
        name = self.write("game.exe", original)
        rc, out, err = self.run_cli("patch", "--backup", "--fps", "20",
                                    "--music-fix", name)
        self.assertEqual((rc, err, len(out.splitlines())), (0, "", 1), out)
        self.assertIn("20", out)
        self.assertEqual(self.read(name + ".bak"), original)
        self.assertEqual(self.read(name), patched(original, 0, 20, True))
        self.assert_refused(["patch", "--backup", "--fps", "30", name], 1,
                            [name, name + ".bak"])
        self.assertEqual(sorted(os.listdir(self.dir)), [name, name + ".bak"])

    @unittest.skipIf(hasattr(os, "geteuid") and os.geteuid() == 0,
                     "root may write a read-only file, so no write can fail")
    def test_unwritable_file_is_io_failure(self):
        name = self.write("game.exe", make_exe(0))
        os.chmod(self.dir / name, 0o444)
        self.addCleanup(os.chmod, self.dir / name, 0o644)
        self.assert_refused(["patch", "--fps", "30", name], 3, [name])


class Durability(CliCase):
    """Success only once the bytes are on the disk, as strace sees the real
    program's system calls."""

    @classmethod
    def setUpClass(cls):
        if len(EXE) > 1:
            raise unittest.SkipTest("strace sees Wine's calls, not the program's: "
                                    "the engine test covers the Windows sync")
        if not shutil.which("strace"):
            raise unittest.SkipTest("strace is not installed (scripts/setup.sh installs it)")

    def traced(self, *args):
        """Exit code and the (call, fd, path) of every sync and write that
        succeeded, in order."""
        log = tempfile.NamedTemporaryFile(prefix="kelm-strace-", delete=False)
        log.close()
        self.addCleanup(os.unlink, log.name)
        trace = ["strace", "-f", "-qq", "-y", "-o", log.name,
                 "-e", "trace=fsync,fdatasync,write,pwrite64,pwritev,pwritev2"]
        # LeakSanitizer (the asan build) cannot work under ptrace.
        rc, _, err = self.run_cli(*args, cmd=trace + EXE, env={"ASAN_OPTIONS": "detect_leaks=0"})
        calls = []
        for line in Path(log.name).read_text().splitlines():
            m = re.match(r"(?:\d+ +)?(\w+)\((\d+)<([^>]*)>.*\) += (-?\d+)", line)
            if m and int(m[4]) >= 0:
                calls.append((m[1], int(m[2]), m[3]))
        return rc, err, calls

    def index(self, calls, kinds, path=None, fd=None, last=False):
        hits = [i for i, (kind, f, p) in enumerate(calls)
                if kind in kinds and (path is None or p == path) and (fd is None or f == fd)]
        self.assertTrue(hits, f"no {kinds} on {path or fd} in {calls}")
        return hits[-1] if last else hits[0]

    def test_the_patched_file_is_synced_before_success(self):
        name = self.write("game.exe", make_exe(0))
        game = str(self.dir.resolve() / name)
        rc, err, calls = self.traced("patch", "--fps", "30", name)
        self.assertEqual((rc, err), (0, ""))
        sync = self.index(calls, ("fsync", "fdatasync"), path=game)
        self.assertLess(self.index(calls, ("write", "pwrite64"), path=game, last=True), sync)
        self.assertLess(sync, self.index(calls, ("write",), fd=1))   # the result line

    def test_backup_and_its_folder_entry_are_synced_before_the_original_is_touched(self):
        name = self.write("game.exe", make_exe(0))
        folder = str(self.dir.resolve())
        game, bak = folder + "/" + name, folder + "/" + name + ".bak"
        rc, err, calls = self.traced("patch", "--backup", "--fps", "30", name)
        self.assertEqual((rc, err), (0, ""))
        first_change = self.index(calls, ("write", "pwrite64"), path=game)
        bak_sync = self.index(calls, ("fsync", "fdatasync"), path=bak)
        self.assertLess(self.index(calls, ("write",), path=bak, last=True), bak_sync)
        self.assertLess(bak_sync, first_change)
        self.assertLess(self.index(calls, ("fsync",), path=folder), first_change)
        self.assertLess(first_change, self.index(calls, ("fsync", "fdatasync"), path=game))


class ScriptsInPaths(CliCase):
    """A folder name outside any single legacy code page: Greek and Japanese."""

    def test_identify_and_patch_in_a_greek_and_japanese_folder(self):
        folder = "Ελληνικά 日本語"
        (self.dir / folder).mkdir()
        name = folder + "/ed3.exe"
        self.write(name, make_exe(3, fps=70))
        rc, out, err = self.run_cli("identify", "--json", name)
        self.assertEqual((rc, err), (0, ""))
        result = json.loads(out)
        self.assertEqual(result["path"], name)
        self.assertEqual((result["supported"], result["fps_limit"]), (True, 70))
        rc, out, err = self.run_cli("patch", "--fps", "25", name)
        self.assertEqual((rc, err), (0, ""))
        self.assertTrue(out.startswith(name + ": patched v1.0 CD-ROM edition"), out)
        self.assertEqual(self.read(name), patched(make_exe(3, fps=70), 3, fps=25))


class Refusals(CliCase):
    def test_refusals_and_usage_errors(self):
        f = self.write("game.exe", make_exe(0))
        v10 = self.write("v10.exe", make_exe(3))
        bad = self.write("bad.exe", make_exe(1, size_delta=-1))
        os.mkdir(self.dir / "folder")
        cases = [   # F stands for a good v1.1 file
            (2, "patch --fps 0 F"), (2, "patch --fps 256 F"),
            (2, "patch --fps=1000 F"), (2, "patch --fps -5 F"),
            (2, "patch --fps abc F"), (2, "patch --fps 30abc F"),
            (2, "patch --fps 2.5 F"), (2, "patch --fps= F"),
            (2, "patch F --fps"), (2, "patch F"), (2, "patch --backup --json F"),
            (2, "patch --fps 30"), (2, "patch --fps 30 F v10.exe"),
            (2, "patch --fps 30 --frobnicate F"), (2, "identify --fps 30 F"),
            (2, "identify"), (2, "frobnicate F"),
            (1, "patch --music-fix v10.exe"),
            (1, "patch --fps 30 --music-fix v10.exe"),
            (1, "patch --fps 30 bad.exe"), (1, "patch --fps 30 --backup bad.exe"),
            (1, "patch --fps 30 missing.exe"), (1, "patch --fps 30 folder"),
            (2, "patch --fps 000000000000 F"), (2, "patch --fps 0000000000256 F"),
            (2, "patch --fps=000001000 F"),
        ]
        for code, line in cases:
            with self.subTest(line):
                args = [f if a == "F" else a for a in line.split()]
                self.assert_refused(args, code, [f, v10, bad])
        self.assertEqual(sorted(os.listdir(self.dir)),
                         [bad, "folder", f, v10])

    def test_no_arguments_is_a_one_line_usage_error(self):
        self.assert_refused([], 2, [])

    def test_help_and_version(self):
        rc, out, err = self.run_cli("--help")
        self.assertEqual((rc, err), (0, ""))
        self.assertIn("identify", out)
        self.assertIn("patch", out)
        rc, out, err = self.run_cli("--version")
        self.assertEqual((rc, err), (0, ""))
        self.assertEqual(len(out.splitlines()), 1)
        self.assertTrue(out.startswith("kelm-patch "), out)


class CompareBuilds(CliCase):
    """Both builds must print the same bytes and exit with the same code."""

    @classmethod
    def setUpClass(cls):
        if not Path(OTHER[0]).is_file():
            raise unittest.SkipTest(f"comparison binary {OTHER[0]} not found")

    def both(self, files, args):
        results = []
        for cmd in (EXE, OTHER):
            for name, data in files.items():
                self.write(name, data)
            rc, out, _ = self.run_cli(*args, cmd=cmd)
            results.append((rc, out, {n: self.read(n) for n in files}))
        self.assertEqual(results[0], results[1])

    def test_same_output(self):
        for profile in range(len(EDITIONS)):
            files = {"game.exe": make_exe(profile, fps=45)}
            music = ["--music-fix"] if profile in MUSIC_FIX else []
            with self.subTest(profile=profile):
                self.both(files, ["identify", "--json", "game.exe"])
                self.both(files, ["patch", "--json", "--fps", "60", *music,
                                  "game.exe"])
        files = {"a.exe": make_exe(0, music=True),
                 "b.exe": make_exe(3, probe=b"VERSION 1.01\0")}
        self.both(files, ["identify", "--json", "a.exe", "b.exe"])
        self.both(files, ["patch", "--json", "--music-fix", "b.exe"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="kelm-patch binary")
    parser.add_argument("--emulator", help="run the binary through this")
    parser.add_argument("--compare-with", help="native binary to compare with")
    opts, rest = parser.parse_known_args()
    exe = str(Path(opts.exe).resolve())
    EXE = [opts.emulator, exe] if opts.emulator else [exe]
    if opts.compare_with:
        OTHER = [str(Path(opts.compare_with).resolve())]
    else:
        del CompareBuilds
    unittest.main(argv=[sys.argv[0]] + rest)
