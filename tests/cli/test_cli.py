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
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
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
        self.wine = len(EXE) > 1

    def write(self, name, data):
        (self.dir / name).write_bytes(data)
        return name

    def read(self, name):
        return (self.dir / name).read_bytes()

    def start_cli(self, *args, cmd=None, env=None, stdout=None, **popen):
        """A run in the background; its result() is (code, stdout, stderr)."""
        # Output goes to files, not pipes: Wine's helper processes inherit
        # the handles and would hold a pipe open for seconds after exit.
        # Wine reads its command line in the locale's character set, which
        # must be UTF-8 for a name outside ASCII to reach the program at all.
        out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        proc = subprocess.Popen((cmd or EXE) + list(args), cwd=self.dir, stdin=subprocess.DEVNULL,
                                stdout=stdout or out, stderr=err,
                                env=dict(os.environ, **{"LC_ALL": "C.UTF-8", **(env or {})}), **popen)

        def result():
            with out, err:
                code = proc.wait(timeout=120)
                return code, *(f.seek(0) or f.read().decode() for f in (out, err))
        proc.result = result
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        return proc

    def run_cli(self, *args, **kwargs):
        return self.start_cli(*args, **kwargs).result()

    def run_unprivileged(self, *args):
        """As a user whom file modes stop (root opens any file); under Wine,
        whose prefix is root's, as root."""
        if os.geteuid() != 0 or self.wine:
            return self.run_cli(*args)
        os.chmod(self.dir, 0o777)
        return self.run_cli(*args, user=65534, group=65534)

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
        for name in list(cases) + ["folder"]:
            with self.subTest(name=name):
                rc, out, err = self.run_cli("identify", name)
                self.assertEqual((rc, out), (1, ""))
                self.assertRegex(err, rf"^kelm-patch: {re.escape(name)}: unsupported: \S.*\n$")
                rc, out, err = self.run_cli("identify", "--json", name)
                obj = json.loads(out)
                self.assertEqual((rc, list(obj), obj["path"]),
                                 (1, ["path", "supported", "error"], name))
                self.assertIs(obj["supported"], False)
                self.assertTrue(obj["error"])
                self.assertEqual(len(err.splitlines()), 1, err)
                if name in cases:
                    self.assertEqual(self.read(name), cases[name])

    def test_files_that_cannot_be_read_are_io_failures(self):
        game = self.write("game.exe", make_exe(0))
        names = ["missing.exe", "a" * 300 + ".exe", game + "/inside.exe"]
        if not self.wine:   # there, root reads any file
            names.append(self.write("unreadable.exe", make_exe(0)))
            os.chmod(self.dir / names[-1], 0)
        for name in names:
            for args in (["identify"], ["identify", "--json"], ["patch", "--fps", "30"],
                         ["patch", "--json", "--fps", "30"]):
                with self.subTest(name=name[:20], args=args):
                    rc, out, err = self.run_unprivileged(*args, name)
                    self.assertEqual((rc, len(err.splitlines())), (3, 1), err)
                    self.assertEqual(json.loads(out)["path"] if "--json" in args else out,
                                     name if "--json" in args else "")
        self.assertEqual(self.read(game), make_exe(0))

    def test_mixed_list_reports_every_file_in_order(self):
        b = self.write("b.exe", make_exe(5, fps=70))
        self.write("a.exe", make_exe(1, fps=33))
        self.write("bad.exe", make_exe(2, size_delta=1))
        names = ["a.exe", "missing.exe", b, "bad.exe", "a.exe"]
        # One object per file named, in order; a file that cannot be read
        # outweighs one that is not supported.
        rc, out, _ = self.run_cli("identify", "--json", *names)
        objs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual((rc, [(o["path"], o.get("fps_limit")) for o in objs]),
                         (3, list(zip(names, [33, None, 70, None, 33]))))
        self.assertEqual(objs[2]["md5"], hashlib.md5(self.read(b)).hexdigest())
        rc, out, err = self.run_cli("identify", *names)
        self.assertEqual((rc, [line.split(":")[0] for line in out.splitlines()],
                          [line.split(":")[1].strip() for line in err.splitlines()]),
                         (3, ["a.exe", b, "a.exe"], ["missing.exe", "bad.exe"]))
        self.assertEqual(self.run_cli("identify", "a.exe", b)[0], 0)
        self.assertEqual(self.run_cli("identify", "a.exe", "bad.exe")[0], 1)


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

    def test_fps_takes_any_number_of_leading_zeros(self):
        for text, fps in (("0000000030", 30), ("0" * 40 + "255", 255)):
            self.check_patch(0, ["--fps=" + text], fps=fps)

    def test_backup_keeps_the_permission_bits_and_never_writes_through_a_link(self):
        name = self.write("game.exe", make_exe(0))
        if not self.wine:   # Windows files have a read-only bit only, off in a file to patch
            for mode, umask in ((0o600, 0o022), (0o755, 0o077)):
                os.chmod(self.dir / name, mode)
                rc, _, err = self.run_cli("patch", "--backup", "--fps", "30", name,
                                          preexec_fn=lambda: os.umask(umask))
                self.assertEqual((rc, err, os.stat(self.dir / (name + ".bak")).st_mode & 0o7777),
                                 (0, "", mode))
                os.unlink(self.dir / (name + ".bak"))
        victim = self.write("victim", b"not to be touched")
        for target in (victim, "nowhere"):
            os.symlink(target, self.dir / (name + ".bak"))
            self.assert_refused(["patch", "--backup", "--fps", "31", name], 1, [name, victim])
            os.unlink(self.dir / (name + ".bak"))
        self.assertEqual(sorted(os.listdir(self.dir)), [name, victim])

    def test_unwritable_file_is_an_io_failure_and_gets_no_backup(self):
        if self.wine:
            self.skipTest("Wine runs as root here, and root writes any file")
        name = self.write("game.exe", make_exe(0))
        os.chmod(self.dir / name, 0o444)
        rc, out, err = self.run_unprivileged("patch", "--backup", "--fps", "30", name)
        self.assertEqual((rc, out, os.listdir(self.dir)), (3, "", [name]), err)
        self.assertIn("cannot open the file for writing", err)

    def test_a_failed_write_is_told_on_one_line_and_leaves_the_file(self):
        if self.wine:
            self.skipTest("the file-size limit that makes the write fail is a Linux one; "
                          "both builds join the message with the same code")
        name = self.write("game.exe", make_exe(0))

        def small_files():   # every write past 4 KiB fails with EFBIG
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
        rc, out, err = self.run_cli("patch", "--json", "--fps", "30", name, preexec_fn=small_files)
        # Each of the engine's line breaks became the punctuation it stood for.
        self.assertIn("patched: saving the file: File too large. Its original", err)
        self.assertEqual((rc, err), (3, f"kelm-patch: {name}: {json.loads(out)['error']}\n"))
        self.assertEqual(self.read(name), make_exe(0))


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
        self.assertNotIn("path_bytes", result)
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
            (3, "patch --fps 30 missing.exe"), (1, "patch --fps 30 folder"),
            (2, "patch --fps 000000000000 F"), (2, "patch --fps 0000000000256 F"),
            (2, "patch --fps=000001000 F"),
        ]
        for code, line in cases:
            with self.subTest(line):
                args = [f if a == "F" else a for a in line.split()]
                self.assert_refused(args, code, [f, v10, bad])
        self.assertEqual(sorted(os.listdir(self.dir)),
                         [bad, "folder", f, v10])

    def test_json_refusals_give_one_object_per_file(self):
        f = self.write("game.exe", make_exe(0))
        self.write("v10.exe", make_exe(3))
        self.write(f + ".bak", b"an older backup")
        for code, line in [(1, "--music-fix v10.exe"), (1, "--backup --fps 30 game.exe")]:
            with self.subTest(line):
                name = line.split()[-1]
                rc, out, err = self.run_cli("patch", "--json", *line.split())
                obj = json.loads(out)
                self.assertEqual((rc, list(obj), obj["path"]), (code, ["path", "error"], name))
                self.assertEqual(err, f"kelm-patch: {name}: {obj['error']}\n")

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


def translation(lang, english):
    """The catalogue's text for `english`, as po/LL.po has it."""
    sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "po"))
    import catalogues
    for _, msgid, strs in catalogues.entries(os.path.join(catalogues.PO_DIR, lang + ".po")):
        if msgid == english:
            return strs[0]
    raise AssertionError(f"{lang}.po lacks {english!r}")


class Languages(CliCase):
    """The user's language from the locale (under Wine, the Windows display
    language the same locale gives); --json and the exit codes stay as they are."""
    LOCALES = {"es": "es_ES.UTF-8", "ja": "ja_JP.UTF-8", "ru": "ru_RU.UTF-8"}

    def test_help_messages_and_results_in_the_language_json_unchanged(self):
        game = self.write("game.exe", make_exe(0, fps=40))
        self.write("notes.txt", b"x" * 100)
        english = {args: self.run_cli(*args) for args in [("--help",), ("identify", "--json", game, "notes.txt")]}
        for lang, locale in self.LOCALES.items():
            with self.subTest(lang):
                run = lambda *args: self.run_cli(*args, env={"LC_ALL": locale, "LANG": locale})
                self.assertEqual(run("--help"), (0, translation(lang, english[("--help",)][1]), ""))
                code, out, err = run("identify", game, "notes.txt")
                self.assertEqual(code, 1)
                self.assertIn(translation(lang, "v1.1 CD-ROM edition"), out)
                self.assertIn(translation(lang, "unsupported: %s").split("%s")[0].strip(), err)
                code, out, err = run("frobnicate")
                self.assertEqual(code, 2)
                self.assertIn(translation(lang, "unknown command '%s'").split("%s")[0].strip(), err)
                json_run = run("identify", "--json", game, "notes.txt")
                self.assertEqual(json_run, english[("identify", "--json", game, "notes.txt")])

    def test_every_text_is_marked_for_translation(self):
        """Under the pseudo-translation (the Linux build's test catalogue)
        every line shows its marks, [[ ]] or the accents of the lines of a
        longer text between them: a line in plain ASCII was never marked."""
        if self.wine:
            self.skipTest("the pseudo-translation is a catalogue of the Linux build's tests, not carried in the .exe")
        game = self.write("game.exe", make_exe(0, fps=40))
        self.write("notes.txt", b"x" * 100)
        pseudo = {"LANGUAGE": "pseudo"}
        runs = [("--help",), ("--version",), (), ("frobnicate",), ("patch", game), ("identify", game, "notes.txt"),
                ("patch", "--fps", "30", "--backup", game), ("patch", "--fps", "30", "--backup", game),
                ("patch", "--music-fix", "notes.txt")]
        for args in runs:
            with self.subTest(args):
                code, out, err = self.run_cli(*args, env=pseudo)
                for line in (out + err).splitlines():
                    if line.strip():
                        self.assertTrue("[[" in line or re.search(r"[^\x00-\x7f]", line), line)


class Output(CliCase):
    def test_output_that_cannot_be_written_is_a_failure(self):
        name = self.write("game.exe", make_exe(0, fps=40))
        with open("/dev/full", "wb") as full:
            for args in (["identify", name], ["--help"], ["patch", "--fps", "30", name]):
                rc, _, err = self.run_cli(*args, stdout=full)
                self.assertEqual((rc, "cannot write the output" in err), (3, True), args)
        # Only the report is lost: the patch that was made stays made.
        self.assertEqual(self.read(name), make_exe(0, fps=30))
        if self.wine:
            self.skipTest("Wine puts /dev/null in place of a closed descriptor before the program starts")
        rc, _, err = self.run_cli("identify", "--json", name, preexec_fn=lambda: os.close(1))
        self.assertEqual((rc, "cannot write the output" in err), (3, True))


class Concurrency(CliCase):
    """Runs at once on one file: each writes what it was asked to, no more,
    and never into the middle of another's patch."""

    def paused(self, point, *args):
        """A run held at `point` (see kelm_patch.cpp); touch the path returned to let it go."""
        run = self.start_cli(*args, env={"KELM_TEST_PAUSE": f"{point}:go"})
        deadline = time.monotonic() + 60
        while not (self.dir / "go.paused").exists():
            if run.poll() is not None or time.monotonic() > deadline:
                self.fail(f"the run did not pause: {run.result()}")
            time.sleep(0.01)
        return run, self.dir / "go"

    def test_a_patch_that_keeps_the_limit_does_not_write_it_back(self):
        name = self.write("game.exe", make_exe(0, fps=40))
        fix_only, go = self.paused("identified", "patch", "--json", "--music-fix", name)
        # Between its reading of the limit (40) and its patch, another sets 30.
        self.assertEqual(self.run_cli("patch", "--fps", "30", name)[0], 0)
        go.touch()
        rc, out, err = fix_only.result()
        self.assertEqual((rc, err, json.loads(out)["fps_limit"]), (0, "", 30))
        self.assertEqual(self.read(name), patched(make_exe(0, fps=40), 0, 30, music=True))

    def test_a_file_held_by_another_patcher_is_waited_for_then_refused(self):
        name = self.write("game.exe", make_exe(0, fps=40))
        first, go = self.paused("locked", "patch", "--fps", "20", name)
        started = time.monotonic()
        rc, out, err = self.run_cli("patch", "--backup", "--fps", "30", name)
        self.assertGreaterEqual(time.monotonic() - started, 3)
        self.assertEqual((rc, out, self.read(name)), (1, "", make_exe(0, fps=40)))
        self.assertIn("another program is changing it", err)
        self.assertFalse((self.dir / (name + ".bak")).exists())
        # Let go within the wait, and the waiting run goes ahead, after it.
        second = self.start_cli("patch", "--fps", "30", name)
        time.sleep(1)
        go.touch()
        self.assertEqual((first.result()[0], second.result()[0]), (0, 0))
        self.assertEqual(self.read(name), make_exe(0, fps=30))

    def test_a_backup_whose_patch_then_fails_is_removed(self):
        name = self.write("game.exe", make_exe(0))
        run, go = self.paused("locked", "patch", "--backup", "--fps", "30", name)
        self.write(name, make_exe(3))   # another program puts another edition in its place
        go.touch()
        self.assertEqual(run.result()[0], 1)
        self.assertEqual(self.read(name), make_exe(3))
        self.assertFalse((self.dir / (name + ".bak")).exists())

    def test_concurrent_runs_lose_no_update_and_mix_no_file(self):
        runs = (["--fps", "30"], ["--music-fix"], ["--fps", "20", "--music-fix"], ["--fps", "25"])
        for round_ in range(3 if self.wine else 15):
            name = self.write("game.exe", make_exe(0, fps=40))
            results = [run.result() for run in [self.start_cli("patch", *args, name) for args in runs]]
            self.assertEqual([r[0] for r in results], [0] * len(runs), results)
            fps = self.read(name)[EDITIONS[0][4]]
            self.assertIn(fps, (30, 20, 25))
            self.assertEqual(self.read(name), patched(make_exe(0, fps=40), 0, fps, music=True))


class Names(CliCase):
    def test_names_cannot_steer_text_output_and_stay_apart_in_json(self):
        if self.wine:
            self.skipTest("Windows names hold no control characters, and Wine's command line only UTF-8")
        odd, twin = b"red\x1b[31m\nline\xff\\.exe", b"red\x1b[31m\nline\xfe\\.exe"
        for name in (odd, twin):
            (self.dir / os.fsdecode(name)).write_bytes(make_exe(0, fps=40))
        shown = r"red\x1b[31m\x0aline\xff\\.exe"
        rc, out, err = self.run_cli("patch", "--backup", "--fps", "30", odd)
        self.assertEqual((rc, err), (0, ""))
        self.assertRegex(out, rf"^{re.escape(shown)}: patched .*; backup in {re.escape(shown)}\.bak\n$")
        rc, out, _ = self.run_cli("identify", "--json", odd, twin)
        self.assertEqual([(o["path"], o["path_bytes"]) for o in map(json.loads, out.splitlines())],
                         [("red\x1b[31m\nline\ufffd\\.exe", n.hex()) for n in (odd, twin)])
        (self.dir / os.fsdecode(odd)).write_bytes(b"short")
        rc, out, err = self.run_cli("identify", odd)
        self.assertEqual((rc, out), (1, ""))
        self.assertRegex(err, rf"^kelm-patch: {re.escape(shown)}: unsupported: [^\n]*\n$")


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
        self.both(files, ["identify", "--json", "a.exe", "b.exe", "missing.exe"])
        self.both(files, ["patch", "--json", "--music-fix", "b.exe"])
        self.both(files, ["patch", "--json", "--music-fix", "--fps", "00030", "a.exe"])


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
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(not result.wasSuccessful())
