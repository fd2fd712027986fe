#!/usr/bin/env python3
"""Writes the fuzzers' starting corpus: python3 fuzz/make_seeds.py OUT_DIR

Seeds are a few bytes each in the layout decode_exe (fuzz/fuzz_common.h) reads;
the fuzzers grow them into whole executables of the catalogue's sizes, so no
executable is ever stored.
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


def main():
    out = Path(sys.argv[1])
    for target, seeds in (("fuzz_identify", exe_seeds()), ("fuzz_patch", patch_seeds()),
                          ("fuzz_cli_args", args_seeds())):
        (out / target).mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (out / target / name).write_bytes(data)


if __name__ == "__main__":
    main()
