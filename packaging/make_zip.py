#!/usr/bin/python3
"""Zip one folder so that the same files give the same bytes, whoever zips
them, wherever and whenever.

Usage: make_zip.py OUT.zip FOLDER [--mtime EPOCH]

The archive holds FOLDER under its own name and everything inside it, in the
order of their names (by code point, whatever the locale), every entry dated
EPOCH (default: $SOURCE_DATE_EPOCH; the zip format cannot go below 1980, so an
earlier time is taken as 1980-01-01), folders and files with an execute bit
as 0755 and other files as 0644 (the umask that made them does not count), no
owner, no access or change times, files deflated at level 9. A symbolic link
or any other special file is refused: nothing in the packages is one.
"""
import argparse
import os
import stat
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the first time a zip entry can hold
MSDOS_DIRECTORY = 0x10


def entries(folder):
    """(archive name, path on disk, is a folder) for FOLDER and all it holds, sorted by name."""
    top = os.path.basename(os.path.normpath(folder))
    found = [(top + "/", folder, True)]
    for dirpath, dirnames, filenames in os.walk(folder):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, folder).replace(os.sep, "/")
            mode = os.lstat(path).st_mode
            if stat.S_ISDIR(mode):
                found.append(("%s/%s/" % (top, rel), path, True))
            elif stat.S_ISREG(mode):
                found.append(("%s/%s" % (top, rel), path, False))
            else:
                sys.exit("make_zip.py: %s is neither a file nor a folder" % path)
    # Code points of the UTF-8 names, as Python compares strings: no locale's collation.
    return sorted(found, key=lambda e: e[0])


def zip_folder(out, folder, epoch):
    when = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name, path, is_dir in entries(folder):
            info = zipfile.ZipInfo(name, date_time=when)
            info.create_system = 3  # Unix, so that unzip applies the modes below
            if is_dir:
                info.external_attr = (stat.S_IFDIR | 0o755) << 16 | MSDOS_DIRECTORY
                z.writestr(info, b"", compress_type=zipfile.ZIP_STORED)
                continue
            executable = os.stat(path).st_mode & 0o111
            info.external_attr = (stat.S_IFREG | (0o755 if executable else 0o644)) << 16
            with open(path, "rb") as f:
                z.writestr(info, f.read(), compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(tmp, out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out")
    ap.add_argument("folder")
    ap.add_argument("--mtime", type=int, help="the entries' time, seconds since 1970 (default: $SOURCE_DATE_EPOCH)")
    args = ap.parse_args()
    epoch = args.mtime
    if epoch is None:
        if not os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
            sys.exit("make_zip.py: give --mtime or set SOURCE_DATE_EPOCH")
        epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    if not os.path.isdir(args.folder):
        sys.exit("make_zip.py: %s is no folder" % args.folder)
    zip_folder(args.out, args.folder, epoch)


if __name__ == "__main__":
    main()
