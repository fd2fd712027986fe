#!/usr/bin/env python3
"""Writes the fuzzers' starting corpus: python3 fuzz/make_seeds.py OUT_DIR [LOCALE_DIR]

Seeds are a few bytes each in the layout decode_exe (fuzz/fuzz_common.h) reads;
the fuzzers grow them into whole executables of the catalogue's sizes, so no
executable is ever stored. The catalogue reader's seeds are small catalogues
made here and, given the build's LOCALE_DIR, every shipped one.
"""
import struct
import sys
from pathlib import Path

ROWS = 7                      # catalogue rows; rows 0 and 1 have a music fix
RAW = 7                       # shape: the input is the file itself
PROBE, FIX = 1, 2             # flag bits
ANCHOR_PROBE, ANCHOR_FPS = 0, 1


def exe(row, flags=PROBE, fps=None, shift=0, edits=()):
    out = bytes([row | {0: 0, -1: 1, 1: 2}[shift] << 3, flags])
    if fps is not None:
        edits = [(ANCHOR_FPS, 0, bytes([fps]))] + list(edits)
    for anchor, offset, data in edits:
        out += struct.pack("<BbB", anchor, offset, len(data)) + data
    return out


def exe_seeds():
    seeds = {}
    for row in range(ROWS):
        seeds[f"row{row}"] = exe(row, fps=30 + row)
        seeds[f"row{row}-fix"] = exe(row, PROBE | FIX, fps=96)
    seeds["short-by-one"] = exe(0, shift=-1)
    seeds["long-by-one"] = exe(4, shift=1)
    seeds["no-version"] = exe(3, flags=0)
    # "VERSION 1.0" where it must be followed by its zero byte, and a v1.01 text
    # in a v1.0 edition of the same family.
    seeds["unterminated"] = exe(5, edits=[(ANCHOR_PROBE, 11, b"1")])
    seeds["other-version"] = exe(6, edits=[(ANCHOR_PROBE, 0, b"VERSION 1.01\0")])
    seeds["raw-empty"] = bytes([RAW])
    seeds["raw-text"] = bytes([RAW]) + b"VERSION 1.0\0"
    return seeds


def patch_seeds():
    # selector (< 0x80: the identified profile, and with 0x40 the limit kept;
    # else 0x80 + index), music fix, fps
    def head(selector, music, fps):
        return struct.pack("<Bbi", selector, music, fps)
    seeds = {}
    for row in range(ROWS):
        seeds[f"row{row}"] = head(0, 1, 30) + exe(row, fps=60)
        seeds[f"row{row}-wrong"] = head(0x80 + (row + 1) % ROWS, 0, 30) + exe(row)
    seeds["fps-wraps"] = head(0, 0, 256 + 24) + exe(1)
    seeds["fps-negative"] = head(0, 2, -1) + exe(0, PROBE | FIX)
    seeds["fps-kept"] = head(0x40, 1, 30) + exe(0, fps=60)
    seeds["no-profile"] = head(0x80 + 100, 1, 30) + exe(2)
    seeds["unsupported"] = head(0, 1, 30) + exe(3, flags=0)
    return seeds


def args_seeds():
    lines = [
        "identify a.exe", "identify --json a.exe b.exe", "identify -- --json",
        "patch --fps 30 game.exe", "patch --fps=255 --music-fix --backup --json game.exe",
        "patch --music-fix -", "patch --fps 007 -- -game.exe", "patch --fps 0000000000030 game.exe", "patch game.exe --fps",
        "patch --fps 256 game.exe", "patch --fps= game.exe", "--help", "--version",
        "patch -h", "identify", "frobnicate",
    ]
    return {f"argv{i}": "\0".join(line.split(" ")).encode() for i, line in enumerate(lines)}


def mo(rule, nplurals=3, big=False):
    """A catalogue as msgfmt lays it out (no hash table): the header with
    `rule`, a text, a plural and a text in a context."""
    header = f"Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals={nplurals}; plural={rule};\n"
    entries = sorted({b"": header.encode(), b"file": b"Datei",
                      b"file\0files": b"Datei\0Dateien\0Dateien",
                      b"language name\x04English": b"Deutsch"}.items())
    order = ">" if big else "<"
    count = len(entries)
    strings = 28 + 16 * count
    tables, blob = [b"", b""], b""
    for side in (0, 1):
        for entry in entries:
            tables[side] += struct.pack(order + "II", len(entry[side]), strings + len(blob))
            blob += entry[side] + b"\0"
    return struct.pack(order + "7I", 0x950412DE, 0, count, 28, 28 + 8 * count, 0, 0) + tables[0] + tables[1] + blob


def lang_seeds(locale):
    # n (little-endian), the length of the keys, the keys, the catalogue
    def seed(n, catalogue, keys=b""):
        return struct.pack("<QB", n, len(keys)) + keys + catalogue
    rules = {"ru": "(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2)",
             "paren-equals": "(n%10)==1 ? 0 : 2", "by-zero": "n/0", "mod-zero": "n%(n-n) ? 1 : 2",
             "deep": "!" * 80 + "n", "beyond": "n", "unclosed": "(n==1 ? 0 : 1"}
    seeds = {f"rule-{name}": seed(5, mo(rule)) for name, rule in rules.items()}
    seeds["big-endian"] = seed(2, mo(rules["ru"], big=True))
    seeds["keys"] = seed(21, mo("n != 1", 2), b"file\0files\0")
    seeds["context"] = seed(1, mo("0", 1), b"language name\x04English")
    if locale:
        linguas = (Path(__file__).resolve().parent.parent / "po" / "LINGUAS").read_text().splitlines()
        for code in (line.strip() for line in linguas if line.strip() and not line.startswith("#")):
            seeds[f"mo-{code}"] = seed(22, (locale / code / "LC_MESSAGES" / "kelm-patcher.mo").read_bytes())
    return seeds


def main():
    out = Path(sys.argv[1])
    locale = Path(sys.argv[2]) if len(sys.argv) > 2 else None
    for target, seeds in (("fuzz_identify", exe_seeds()), ("fuzz_patch", patch_seeds()),
                          ("fuzz_cli_args", args_seeds()), ("fuzz_lang_mo", lang_seeds(locale))):
        (out / target).mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (out / target / name).write_bytes(data)


if __name__ == "__main__":
    main()
