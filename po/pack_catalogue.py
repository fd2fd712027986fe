#!/usr/bin/python3
"""Packs one language's catalogue for a Windows program to carry, small:
only the messages of the program's own sources (msggrep by source file),
compiled by msgfmt; each English text replaced by its key, the FNV-1a hash
of it in eight hex digits (the program holds the English texts already, and
the reader hashes what it looks up: "X-Kelm-Keys: fnv1a32" in the header
says so); then compressed as LZNT1, which every Windows decompresses itself
(RtlDecompressBuffer in ntdll). The resource is the catalogue's size (4
bytes, little-endian) and the compressed bytes. Ten catalogues as msgfmt
makes them would grow the window's .exe by a third.

Usage: pack_catalogue.py [--plain] LL.po OUT PATTERN...   (PATTERN: src/cli/*)
--plain writes the keyed catalogue uncompressed, for the reader's tests.
"""
import os
import struct
import subprocess
import sys
import tempfile

import lznt1

KEYS = b"X-Kelm-Keys: fnv1a32\n"


def fnv1a32(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


def read_mo(data):
    magic, _, count, originals, translations = struct.unpack_from("<5I", data)
    if magic != 0x950412DE:
        raise SystemExit("pack_catalogue: msgfmt wrote no little-endian catalogue")
    def table(at):
        return [data[o:o + n] for n, o in (struct.unpack_from("<2I", data, at + 8 * i) for i in range(count))]
    return list(zip(table(originals), table(translations)))


def write_mo(entries):
    count = len(entries)
    originals, translations = 28, 28 + 8 * count
    at = 28 + 16 * count
    head, blob = [], b""
    for key, _ in entries:
        head.append((len(key), at + len(blob)))
        blob += key + b"\0"
    for _, text in entries:
        head.append((len(text), at + len(blob)))
        blob += text + b"\0"
    out = struct.pack("<7I", 0x950412DE, 0, count, originals, translations, 0, at)
    return out + b"".join(struct.pack("<2I", *h) for h in head) + blob


def keyed(entries):
    out, seen = [], {}
    for original, text in entries:
        if not original:
            # The header: only what the reader asks of it.
            kept = [f for f in text.split(b"\n") if f.startswith((b"Language:", b"Plural-Forms:"))]
            out.append((b"", b"".join(f + b"\n" for f in kept) + KEYS))
            continue
        english = original.split(b"\0")[0]   # a plural's key is its singular's
        key = b"%08x" % fnv1a32(english)
        if key in seen:
            raise SystemExit("pack_catalogue: %r and %r share the key %s" % (seen[key], english, key.decode()))
        seen[key] = english
        out.append((key, text))
    return sorted(out)


def main():
    args = sys.argv[1:]
    plain = args[0] == "--plain"
    po, out, patterns = args[plain:][0], args[plain:][1], args[plain:][2:]
    picked = subprocess.run(["msggrep"] + [a for p in patterns for a in ("-N", p)] + [po],
                            check=True, capture_output=True).stdout
    with tempfile.TemporaryDirectory() as tmp:
        mo = os.path.join(tmp, "catalogue.mo")
        subprocess.run(["msgfmt", "--no-hash", "-o", mo, "-"], input=picked, check=True, capture_output=True)
        with open(mo, "rb") as f:
            data = write_mo(keyed(read_mo(f.read())))
    if plain:
        packed = data
    else:
        packed = lznt1.compress(data)
        if lznt1.decompress(packed) != data:
            raise SystemExit("pack_catalogue: the compressed catalogue does not read back")
        packed = len(data).to_bytes(4, "little") + packed
    with open(out, "wb") as f:
        f.write(packed)


main()
