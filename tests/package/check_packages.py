#!/usr/bin/python3
"""Checks of the release packages that scripts/package.sh wrote.

Usage: check_packages.py [PACKAGES_DIR]   (default build/packages)

The Debian package is unpacked into a throwaway root and its programs and
files are checked there, and lintian and hardening-check judge it; the RPM is
installed into another throwaway root with rpm --root, compared with the
Debian package and judged by rpmlint; the Windows zip is unpacked and its
programs run under Wine in a fresh prefix, the window in a private X server;
the web page's zip is read for its files and its service worker's list.
Last, what lets anyone check a release: one time in every package (the
build's SOURCE_DATE_EPOCH), zips in name order, Windows programs without a link
time, SHA256SUMS, and signatures only where asked for.
What lintian and rpmlint may still say below an error is only what the README
explains, by tag name. The version
expected everywhere is the one CMakeLists.txt gives. Prints one line per check
and a closing count; exits 1 when any check failed.
"""
import base64
import calendar
import email.utils
import glob
import gzip
import hashlib
import io
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = os.path.join(REPO, "scripts", "wine.sh")
MAX_PATCHER_EXE = 560 * 1024   # with every language's catalogue inside
SYSTEM_DLLS = {"advapi32.dll", "gdiplus.dll", "kernel32.dll", "msvcrt.dll", "shlwapi.dll", "user32.dll",
               "gdi32.dll", "comdlg32.dll", "ole32.dll", "shell32.dll", "comctl32.dll"}


def project_version():
    with open(os.path.join(REPO, "CMakeLists.txt")) as f:
        text = f.read()
    return (re.search(r"project\(kelm VERSION ([0-9.]+)", text).group(1),
            re.search(r'set\(KELM_BUILD "(\d+)"\)', text).group(1))


VERSION, BUILD = project_version()
VERSION_LINE = "kelm-patch %s (Quelmor: Kelm patcher build %s)" % (VERSION, BUILD)
TITLE = "Quelmor: Kelm patcher build %s" % BUILD
ICON_SIZES = (16, 32, 48, 64, 128, 256)
MAN_PAGES = ("kelm-patch", "kelm-patcher")
with open(os.path.join(REPO, "po", "LINGUAS")) as _f:
    LANGUAGES = [line.strip() for line in _f if line.strip() and not line.startswith("#")]
PROGRAMS = ("usr/bin/kelm-patcher", "usr/bin/kelm-patch")
RPM_RELEASE = "1"
RPM_DB = "var/lib/rpm"


class Failed(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Failed(what)


def run(cmd, **kw):
    kw.setdefault("timeout", 120)
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


# --- the Debian package -------------------------------------------------------

def deb_checks(deb, root):
    def control():
        fields = {k: run(["dpkg-deb", "-f", deb, k]).stdout.strip() for k in ("Package", "Version", "Depends")}
        expect(fields["Package"] == "kelm-patcher", "Package: %r" % fields["Package"])
        expect(fields["Version"] == VERSION, "Version: %r" % fields["Version"])
        # dpkg-shlibdeps names what the programs link: GTK for the window, libcrypto for the digest.
        for lib in ("libc6", "libgtk-3-0", "libssl3"):
            expect(re.search(r"(^|, )%s( |,|$)" % lib, fields["Depends"]), "Depends lacks %s: %s"
                   % (lib, fields["Depends"]))
        return "Depends: " + fields["Depends"]

    def contents():
        listing = run(["dpkg-deb", "-c", deb]).stdout
        paths = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
        wanted = {"/usr/bin/kelm-patcher", "/usr/bin/kelm-patch",
                  "/usr/share/applications/kelm-patcher.desktop",
                  "/usr/share/metainfo/io.github.ostrel.KelmPatcher.metainfo.xml",
                  "/usr/share/doc/kelm-patcher/copyright", "/usr/share/doc/kelm-patcher/changelog.gz"}
        wanted |= {"/usr/share/man/man1/%s.1.gz" % page for page in MAN_PAGES}
        wanted |= {"/usr/share/icons/hicolor/%dx%d/apps/kelm-patcher.png" % (s, s) for s in ICON_SIZES}
        wanted |= {"/usr/share/locale/%s/LC_MESSAGES/kelm-patcher.mo" % lang for lang in LANGUAGES}
        expect(not wanted - paths, "missing: %s" % sorted(wanted - paths))
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)

    def cli_version():
        out = run([os.path.join(root, "usr/bin/kelm-patch"), "--version"])
        expect(out.returncode == 0 and out.stdout.strip() == VERSION_LINE, "got %r" % out.stdout)

    def window_links():
        out = run(["ldd", os.path.join(root, "usr/bin/kelm-patcher")]).stdout
        expect("libgtk-3.so.0" in out and "not found" not in out, out)

    def desktop_file():
        out = run(["desktop-file-validate", os.path.join(root, "usr/share/applications/kelm-patcher.desktop")])
        expect(out.returncode == 0 and not (out.stdout + out.stderr).strip(), out.stdout + out.stderr)
        with open(os.path.join(root, "usr/share/applications/kelm-patcher.desktop")) as f:
            entry = f.read()
        for line in ("Exec=kelm-patcher", "Icon=kelm-patcher", "Name=Kelm patcher"):
            expect(line in entry.splitlines(), "no %s" % line)
        # Every shipped language's comment, from po/.
        missing = [lang for lang in LANGUAGES if "Comment[%s]=" % lang not in entry]
        expect(not missing, "no translated Comment for %s" % missing)

    def metainfo():
        path = os.path.join(root, "usr/share/metainfo/io.github.ostrel.KelmPatcher.metainfo.xml")
        out = run(["appstreamcli", "validate", "--no-net", path])
        expect(out.returncode == 0, out.stdout + out.stderr)
        with open(path) as f:
            xml = f.read()
        expect('<launchable type="desktop-id">kelm-patcher.desktop</launchable>' in xml, "launchable")
        expect('<release version="%s"' % VERSION in xml, "no release %s" % VERSION)
        missing = [lang for lang in LANGUAGES if '<summary xml:lang="%s">' % lang not in xml]
        expect(not missing, "no translated summary for %s" % missing)

    def icons():
        for s in ICON_SIZES:
            with open(os.path.join(root, "usr/share/icons/hicolor/%dx%d/apps/kelm-patcher.png" % (s, s)), "rb") as f:
                head = f.read(33)
            expect(head[:8] == b"\x89PNG\r\n\x1a\n", "%d: not a PNG" % s)
            w, h, depth, colour = struct.unpack(">IIBB", head[16:26])
            expect((w, h, depth, colour) == (s, s, 8, 6), "%d: %dx%d depth %d type %d" % (s, w, h, depth, colour))

    def man_pages():
        for name, sections in (("kelm-patch", ("SYNOPSIS", "OPTIONS", "EXIT STATUS")),
                               ("kelm-patcher", ("SYNOPSIS", "DESCRIPTION", "EXIT STATUS"))):
            with gzip.open(os.path.join(root, "usr/share/man/man1/%s.1.gz" % name), "rt") as f:
                page = f.read()
            out = run(["groff", "-man", "-Tutf8", "-ww", "-P-cbou"], input=page)  # plain text, no SGR
            expect(out.returncode == 0 and not out.stderr.strip(), "%s groff: %s" % (name, out.stderr))
            expect(re.search(r"%s\s+%s" % (name, re.escape(VERSION)), out.stdout), "%s: no version in the footer" % name)
            for section in sections:
                expect(section in out.stdout, "%s: no %s section" % (name, section))

    def changelog():
        with gzip.open(os.path.join(root, "usr/share/doc/kelm-patcher/changelog.gz"), "rt") as f:
            first = f.readline()
        expect(first.startswith("kelm-patcher (%s) " % VERSION), "newest entry: %r" % first)

    def copyright():
        with open(os.path.join(root, "usr/share/doc/kelm-patcher/copyright")) as f:
            text = f.read()
        expect(text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"),
               "not machine-readable")
        for needle in ("License: Expat", "License: bitstream-vera", "Micha Mettke", "ALTERNATIVE B",
                       "Tristan Grimmer"):
            expect(needle in text, "no %r" % needle)

    return [("deb control", control), ("deb contents", contents), ("deb kelm-patch --version", cli_version),
            ("deb kelm-patcher links", window_links), ("desktop-file-validate", desktop_file),
            ("appstreamcli validate", metainfo), ("hicolor icons", icons), ("manual pages render", man_pages),
            ("deb changelog", changelog), ("deb copyright", copyright),
            ("lintian", lambda: lintian(deb)), ("hardening-check", lambda: hardening(root))]


# --- what the distributions' own tools say ------------------------------------------

README_TAGS_HEADING = "#### What lintian and rpmlint still say"


def explained_in_readme():
    """The lintian and rpmlint tags that the README's section on them explains, as `tag`."""
    with open(os.path.join(REPO, "README.md")) as f:
        text = f.read()
    expect(README_TAGS_HEADING in text, "the README has no %r" % README_TAGS_HEADING)
    section = re.split(r"^#", text.split(README_TAGS_HEADING, 1)[1], maxsplit=1, flags=re.M)[0]
    return set(re.findall(r"`([a-z0-9][a-z0-9-]+)`", section))


def linter_verdict(out, pattern, bad_levels, reported):
    """Each reported (level, tag); fails on a bad level or an unexplained tag,
    and when fewer lines parse than the linter reported."""
    found = re.findall(pattern, out, re.M)
    expect(len(found) == reported, "%d of %d lines understood:\n%s" % (len(found), reported, out))
    bad = ["%s: %s" % (level, tag) for level, tag in found if level in bad_levels]
    expect(not bad, "; ".join(bad) + "\n" + out)
    unexplained = sorted({tag for _, tag in found} - explained_in_readme())
    expect(not unexplained, "not explained in the README: %s\n%s" % (unexplained, out))
    return ", ".join(sorted({"%s: %s" % f for f in found})) or "nothing to say"


def lintian(deb):
    out = run(["lintian", "--display-info", deb], timeout=600)
    expect(out.returncode == 0, out.stdout + out.stderr)
    lines = [l for l in out.stdout.splitlines() if l.strip()]
    return linter_verdict(out.stdout, r"^([EWIPX]): kelm-patcher(?: \S+)?: (\S+)", "EW", len(lines))


def rpmlint(rpm):
    out = run(["rpmlint", "-c", os.path.join(REPO, "packaging", "rpmlint.toml"), rpm], timeout=600)
    summary = re.search(r"(\d+) errors, (\d+) warnings", out.stdout)
    expect(summary, out.stdout + out.stderr)
    return linter_verdict(out.stdout, r"^kelm-patcher\.\S+: ([EW]): (\S+)", "E",
                          int(summary.group(1)) + int(summary.group(2)))


def hardening(root):
    """hardening-check on both programs. Two of its answers need a second look:
    it recognises stack-clash protection only by the probe loop of variable-size
    frames, so the probes of fixed large frames are counted here; and the linker
    drops the CET mark when the C library's start files lack it, as Debian 12's
    do, so then the instrumentation (endbr64 at the branch targets) is counted."""
    start_files_marked = all(re.search(r"x86 feature: .*IBT", run(["readelf", "-n", run(
        ["gcc", "-print-file-name=%s" % f]).stdout.strip()]).stdout) for f in ("Scrt1.o", "crti.o", "crtn.o"))
    notes = []
    for program in PROGRAMS:
        path = os.path.join(root, program)
        out = run(["hardening-check", path]).stdout
        answers = dict(re.findall(r"^ ([^:\n]+): (.*)$", out, re.M))
        for feature in ("Position Independent Executable", "Stack protected", "Fortify Source functions",
                        "Read-only relocations", "Immediate binding"):
            expect(answers.get(feature, "").startswith("yes"), "%s: %s\n%s" % (program, feature, out))
        code = run(["objdump", "-d", "-M", "intel", path]).stdout
        counted = []
        if not answers.get("Stack clash protection", "").startswith("yes"):
            probes = len(re.findall(r"\tor +QWORD PTR \[rsp(\+0x[0-9a-f]+)?\],0x0$", code, re.M))
            expect(probes > 0, "%s: no stack-clash probes\n%s" % (program, out))
            counted.append("%d stack probes" % probes)
        if not answers.get("Control flow integrity", "").startswith("yes"):
            expect(not start_files_marked, "%s: no CET mark although the start files have one" % program)
            # Without -fcf-protection only the compiler's own start-up code carries a few.
            branch_targets = code.count("\tendbr64")
            expect(branch_targets >= 20, "%s: %d endbr64\n%s" % (program, branch_targets, out))
            counted.append("%d endbr64, start files unmarked" % branch_targets)
        notes.append("%s: %s" % (os.path.basename(program), ", ".join(counted) or "all yes"))
    return "\n       ".join(notes)


# --- the RPM ---------------------------------------------------------------------

def rpm_checks(rpm, root, deb_root):
    def query(fmt):
        return run(["rpm", "-qp", "--qf", fmt, rpm]).stdout

    def header():
        name, version, release, licence = query("%{NAME}\n%{VERSION}\n%{RELEASE}\n%{LICENSE}").split("\n")
        expect((name, version, release) == ("kelm-patcher", VERSION, RPM_RELEASE), "%s %s-%s" % (name, version, release))
        for spdx in ("MIT", "Unlicense", "Bitstream-Vera"):
            expect(spdx in licence, "License: %s" % licence)
        changelog = run(["rpm", "-qp", "--changelog", rpm]).stdout
        expect(changelog.split("\n")[0].endswith(" - %s-%s" % (VERSION, RPM_RELEASE)), changelog)
        return "License: " + licence

    def requires():
        # rpmbuild's ELF scan writes sonames; a hand-written Requires would name a package.
        reqs = run(["rpm", "-qpR", rpm]).stdout.split("\n")
        reqs = [r.strip() for r in reqs if r.strip()]
        handmade = [r for r in reqs if not re.match(r"^(lib\S+\.so\.\d+\(.*\)\(64bit\)|rpmlib\(|rtld\()", r)]
        expect(not handmade, "not derived: %s" % handmade)
        for soname in ("libc.so.6", "libgtk-3.so.0", "libcrypto.so.3"):
            expect("%s()(64bit)" % soname in reqs, "Requires lacks %s: %s" % (soname, reqs))
        return "%d Requires, all derived" % len(reqs)

    def install():
        env = dict(os.environ, LC_ALL="C")
        # Debian's rpm keeps its database under $HOME unless told otherwise.
        rpm_root = ["rpm", "--root", root, "--dbpath", "/" + RPM_DB]
        subprocess.run(rpm_root + ["--initdb"], check=True, env=env)
        # The scratch root's database knows none of the system's libraries: --nodeps.
        out = run(rpm_root + ["-i", "--nodeps", rpm], env=env)
        expect(out.returncode == 0, out.stdout + out.stderr)
        out = run(rpm_root + ["-V", "--nodeps", "kelm-patcher"], env=env)
        expect(out.returncode == 0, "rpm -V: " + out.stdout + out.stderr)
        out = run([os.path.join(root, "usr/bin/kelm-patch"), "--version"])
        expect(out.returncode == 0 and out.stdout.strip() == VERSION_LINE, "got %r" % out.stdout)

    def same_files():
        def tree(top):
            files = {}
            for dirpath, _, names in os.walk(top):
                for n in names:
                    path = os.path.join(dirpath, n)
                    rel = os.path.relpath(path, top)
                    # rpm's own build-id links, and its database in the scratch root.
                    if rel.startswith(("usr/lib/.build-id/", RPM_DB + "/")):
                        continue
                    with open(path, "rb") as f:
                        files[rel] = f.read()
            return files
        deb_files, rpm_files = tree(deb_root), tree(root)
        expect(deb_files.keys() == rpm_files.keys(), "only in the .deb: %s; only in the RPM: %s" % (
            sorted(deb_files.keys() - rpm_files.keys()), sorted(rpm_files.keys() - deb_files.keys())))
        differ = sorted(p for p in deb_files if deb_files[p] != rpm_files[p])
        expect(not differ, "differ: %s" % differ)
        marked = run(["rpm", "-qpL", rpm]).stdout.split()
        expect(marked == ["/usr/share/doc/kelm-patcher/copyright"], "%%license: %s" % marked)
        return "%d files" % len(deb_files)

    return [("rpm header", header), ("rpm Requires", requires), ("rpm --root install, kelm-patch --version", install),
            ("rpm files are the .deb's", same_files), ("rpmlint", lambda: rpmlint(rpm))]


# --- the Windows zip ------------------------------------------------------------

def version_strings(data):
    """The VERSIONINFO's binary version and its strings, read from the .exe bytes."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    expect(at > 0, "no VS_FIXEDFILEINFO")
    ms, ls = struct.unpack("<II", data[at + 8:at + 16])
    strings = {}
    for key in ("CompanyName", "FileDescription", "FileVersion", "OriginalFilename", "ProductName",
                "ProductVersion", "Build"):
        k = data.find(key.encode("utf-16-le") + b"\0\0")
        if k < 0:
            continue
        v = k + 2 * len(key) + 2
        v += (-v) % 4  # values start on a 32-bit boundary
        end = v
        while data[end:end + 2] != b"\0\0":
            end += 2
        strings[key] = data[v:end].decode("utf-16-le")
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), strings


def zip_checks(zip_path, unpacked):
    folder = "kelm-patcher-%s-windows-x64" % VERSION
    exe = lambda name: os.path.join(unpacked, folder, name)

    def contents():
        with zipfile.ZipFile(zip_path) as z:
            names = {n.rstrip("/") for n in z.namelist()}
            z.extractall(unpacked)
        wanted = {folder} | {folder + "/" + n for n in ("kelm-patcher.exe", "kelm-patch.exe", "README.txt",
                                                          "LICENSE.txt", "THIRD-PARTY-NOTICES.txt")}
        expect(names == wanted, "zip holds %s" % sorted(names))

    def size():
        n = os.path.getsize(exe("kelm-patcher.exe"))
        expect(n <= MAX_PATCHER_EXE, "kelm-patcher.exe is %d bytes" % n)
        return "kelm-patcher.exe %d bytes, kelm-patch.exe %d bytes" % (n, os.path.getsize(exe("kelm-patch.exe")))

    def self_contained():
        for name in ("kelm-patcher.exe", "kelm-patch.exe"):
            out = run(["x86_64-w64-mingw32-objdump", "-p", exe(name)]).stdout
            dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", out)}
            expect(dlls and dlls <= SYSTEM_DLLS, "%s imports %s" % (name, sorted(dlls - SYSTEM_DLLS)))
            sections = run(["x86_64-w64-mingw32-objdump", "-h", exe(name)]).stdout
            expect(".debug_info" not in sections, "%s is not stripped" % name)

    def mitigations():
        # ASLR needs the base relocations as well as the flag, or Windows cannot move the image.
        for name in ("kelm-patcher.exe", "kelm-patch.exe"):
            headers = run(["x86_64-w64-mingw32-objdump", "-p", "-h", exe(name)]).stdout
            flags = int(re.search(r"^DllCharacteristics\s+([0-9a-f]+)", headers, re.M).group(1), 16)
            for bit, what in ((0x40, "ASLR"), (0x20, "high-entropy ASLR"), (0x100, "DEP")):
                expect(flags & bit, "%s: no %s (DllCharacteristics %04x)" % (name, what, flags))
            expect(re.search(r"^\s*\d+ \.reloc ", headers, re.M), "%s: no base relocations" % name)
        return "ASLR, high-entropy ASLR, DEP"

    def versioninfo():
        descriptions = set()
        for name in ("kelm-patcher.exe", "kelm-patch.exe"):
            with open(exe(name), "rb") as f:
                fixed, strings = version_strings(f.read())
            major, minor, patch = (int(v) for v in VERSION.split("."))
            expect(fixed == (major, minor, patch, 0), "%s: binary version %s" % (name, fixed))
            expect(strings.get("ProductName") == "Quelmor: Kelm patcher", "%s: %r" % (name, strings))
            expect(strings.get("FileVersion") == VERSION, "%s: FileVersion %r" % (name, strings.get("FileVersion")))
            expect(strings.get("ProductVersion") == "%s build %s" % (VERSION, BUILD), "%s: %r" % (name, strings))
            expect(strings.get("Build") == BUILD, "%s: Build %r" % (name, strings.get("Build")))
            expect(strings.get("OriginalFilename") == name, "%s: %r" % (name, strings.get("OriginalFilename")))
            descriptions.add(strings.get("FileDescription"))
        expect(len(descriptions) == 2, "one description for both: %s" % descriptions)

    def notices():
        with open(exe("THIRD-PARTY-NOTICES.txt"), newline="") as f:
            text = f.read()
        expect("\r\n" in text and "\n" not in text.replace("\r\n", ""), "not Windows line ends")
        for needle in ("ALTERNATIVE A - MIT License", "bitstream-vera", "mingw-w64-libraries/winpthreads",
                       "GCC RUNTIME LIBRARY EXCEPTION", "Tristan Grimmer"):
            expect(needle in text, "no %r" % needle)
        with open(exe("LICENSE.txt")) as f:
            expect(f.read().startswith("MIT License"), "LICENSE.txt")

    def wine():
        return wine_run(exe("kelm-patch.exe"), exe("kelm-patcher.exe"))

    return [("zip contents", contents), ("kelm-patcher.exe size", size), ("exe self-contained", self_contained),
            ("exe ASLR and DEP", mitigations),
            ("exe VERSIONINFO", versioninfo), ("zip licences", notices), ("zip programs under Wine", wine)]


# --- the web page's zip ------------------------------------------------------

def web_zip_checks(zip_path):
    top = "kelm-patcher-%s-web/" % VERSION

    def contents():
        with zipfile.ZipFile(zip_path) as z:
            names = {n[len(top):] for n in z.namelist() if n.startswith(top) and not n.endswith("/")}
            expect(len(names) == len([n for n in z.namelist() if not n.endswith("/")]), "files outside " + top)
            # The page carries the engine's .wasm, gzipped, in its script.
            page = z.read(top + "index.html").decode()
            wasm = re.search(r'KELM_WASM_GZIP = "([A-Za-z0-9+/=]+)"', page)
            expect(wasm and gzip.decompress(base64.b64decode(wasm.group(1)))[:4] == b"\0asm",
                   "index.html carries no WebAssembly module")
            notices = z.read(top + "THIRD-PARTY-NOTICES.txt").decode()
            expect("public domain" in notices and "DejaVu" in notices, "notices lack libmd or DejaVu")
            # The service worker must cache every file of the site, or a visit
            # without a network finds one missing.
            worker = z.read(top + "sw.js").decode()
        # "./" is the page itself, index.html.
        listed = {name or "index.html" for name in re.findall(r'"\./([^"]*)"', worker)}
        site = names - {"sw.js", "LICENSE.txt", "THIRD-PARTY-NOTICES.txt"}
        expect(listed == site, "sw.js lists %s, the zip has %s" % (sorted(listed ^ site), sorted(site)))
        return "%d files, all in the service worker's cache" % len(names)

    return [("web zip", contents)]


# --- what lets anyone check a release: one time, checksums, signatures ----------

def pe_fields(data):
    """(the link time in the COFF header, the size of the certificate table) of a
    PE32+ program; the table is the fifth data directory of the optional header."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    expect(data[pe:pe + 4] == b"PE\0\0", "not a PE program")
    return struct.unpack_from("<I", data, pe + 8)[0], struct.unpack_from("<I", data, pe + 24 + 112 + 4 * 8 + 4)[0]


def release_checks(packages, deb, rpm, windows_zip, web_zip):
    def one_time():
        # SOURCE_DATE_EPOCH, else the last commit's time, else the newest changelog
        # entry's, as scripts/package.sh takes it.
        epoch = os.environ.get("SOURCE_DATE_EPOCH") or run(["git", "-C", REPO, "log", "-1", "--format=%ct"]).stdout
        if not epoch.strip():
            with open(os.path.join(REPO, "packaging", "changelog")) as f:
                epoch = email.utils.parsedate_to_datetime(re.search(r"^ -- .*>  (.+)$", f.read(), re.M).group(1))
            epoch = epoch.timestamp()
        epoch = int(epoch)
        built = run(["rpm", "-qp", "--qf", "%{BUILDTIME} %{BUILDHOST}", rpm]).stdout
        expect(built == "%d kelm-release" % epoch, "the RPM's build time and host: %s, not %d" % (built, epoch))
        stray = [l for l in run(["rpm", "-qp", "--qf", "[%{FILEMTIMES} %{FILENAMES}\n]", rpm]).stdout.splitlines()
                 if int(l.split()[0]) != epoch]
        expect(not stray, "dated otherwise in the RPM: %s" % stray)
        tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], stdout=subprocess.PIPE, check=True).stdout
        with tarfile.open(fileobj=io.BytesIO(tar)) as t:
            stray = [m.name for m in t if m.mtime != epoch]
        expect(not stray, "dated otherwise in the .deb: %s" % stray)
        for path in (windows_zip, web_zip):
            with zipfile.ZipFile(path) as z:
                entries = z.infolist()
                names = [i.filename for i in entries]
                expect(names == sorted(names), "%s is not in name order: %s" % (path, names))
                stray = [i.filename for i in entries if calendar.timegm(i.date_time + (0, 0, 0)) != epoch // 2 * 2]
                expect(not stray, "dated otherwise in %s: %s" % (path, stray))
                for name in names:
                    if name.endswith(".exe"):
                        link_time = pe_fields(z.read(name))[0]
                        expect(link_time == 0, "%s carries its link time %d" % (name, link_time))
        return time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(epoch))

    def checksums():
        with open(os.path.join(packages, "SHA256SUMS")) as f:
            listed = [line.split("  ", 1) for line in f.read().splitlines()]
        names = sorted(os.path.basename(p) for p in (deb, rpm, windows_zip, web_zip))
        expect([name for _, name in listed] == names, "SHA256SUMS lists %s" % listed)
        for digest, name in listed:
            with open(os.path.join(packages, name), "rb") as f:
                expect(hashlib.sha256(f.read()).hexdigest() == digest, "%s: not the sum SHA256SUMS gives" % name)

    def signatures():
        # Signed only when scripts/package.sh is asked to, through the same variables.
        exe_asked, gpg_asked = bool(os.environ.get("KELM_SIGN_PKCS12")), bool(os.environ.get("KELM_GPG_KEY"))
        with zipfile.ZipFile(windows_zip) as z:
            signed = {n: pe_fields(z.read(n))[1] > 0 for n in z.namelist() if n.endswith(".exe")}
        expect(set(signed.values()) == {exe_asked}, "signed: %s" % signed)
        rpm_sig = run(["rpm", "-qp", "--qf", "%{RSAHEADER:pgpsig}", rpm]).stdout
        expect((rpm_sig != "(none)") == gpg_asked, "the RPM's signature: %s" % rpm_sig)
        asc = os.path.exists(os.path.join(packages, "SHA256SUMS.asc"))
        expect(asc == gpg_asked, "SHA256SUMS.asc is %sthere" % ("" if asc else "not "))
        return "as asked: the .exe %s, the RPM and SHA256SUMS %s" % (
            "signed" if exe_asked else "unsigned", "signed" if gpg_asked else "unsigned")

    return [("one time in every package", one_time), ("SHA256SUMS", checksums), ("signatures", signatures)]


def wine_run(cli, window):
    """kelm-patch.exe --version and the patcher's window, in a new Wine prefix
    whose one server (scripts/wine.sh --server) has a private X server; all of
    it is stopped here."""
    tmp = tempfile.mkdtemp(prefix="kelm-wine-")
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["WINEPREFIX"] = os.path.join(tmp, "prefix")
    patcher = None
    try:
        subprocess.run([WINE, "--boot"], env=env, timeout=300, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINE, "--server"], env=env, timeout=60, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env["DISPLAY"] = run([WINE, "--display"], env=env, timeout=10).stdout.strip()
        out = run([WINE, cli, "--version"], env=env, timeout=120)
        expect(out.returncode == 0 and out.stdout.strip() == VERSION_LINE, "kelm-patch.exe: %r" % out.stdout)
        patcher = subprocess.Popen([WINE, window], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        found = run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % re.escape(TITLE)],
                    env=env, timeout=120)
        expect(found.returncode == 0 and found.stdout.split(), "no window titled %r" % TITLE)
        expect(patcher.poll() is None, "kelm-patcher.exe exited")
        return "window %s" % found.stdout.split()[0]
    except subprocess.CalledProcessError as e:
        raise Failed("failed: %s" % " ".join(e.cmd))
    except subprocess.TimeoutExpired as e:
        raise Failed("timed out: %s" % " ".join(e.cmd))
    finally:
        if patcher and patcher.poll() is None:
            patcher.send_signal(signal.SIGTERM)
        subprocess.run([WINE, "--stop"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if patcher:
            try:
                patcher.wait(timeout=30)
            except subprocess.TimeoutExpired:
                patcher.kill()
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    packages = sys.argv[1] if len(sys.argv) > 1 else os.path.join(REPO, "build", "packages")
    debs = glob.glob(os.path.join(packages, "kelm-patcher_%s_*.deb" % VERSION))
    zips = glob.glob(os.path.join(packages, "kelm-patcher-%s-windows-x64.zip" % VERSION))
    rpms = glob.glob(os.path.join(packages, "kelm-patcher-%s-%s.*.rpm" % (VERSION, RPM_RELEASE)))
    webs = glob.glob(os.path.join(packages, "kelm-patcher-%s-web.zip" % VERSION))
    work = tempfile.mkdtemp(prefix="kelm-packages-")
    checks = [("packages present", lambda: expect(len(debs) == 1 and len(zips) == 1 and len(rpms) == 1 and len(webs) == 1,
                                                    "in %s: %s" % (packages, os.listdir(packages)
                                                                   if os.path.isdir(packages) else "nothing")))]
    if len(debs) == 1:
        checks += deb_checks(debs[0], os.path.join(work, "root"))
        if len(rpms) == 1:
            checks += rpm_checks(rpms[0], os.path.join(work, "rpm-root"), os.path.join(work, "root"))
    if len(zips) == 1:
        checks += zip_checks(zips[0], os.path.join(work, "zip"))
    if len(webs) == 1:
        checks += web_zip_checks(webs[0])
    if len(debs) == len(rpms) == len(zips) == len(webs) == 1:
        checks += release_checks(packages, debs[0], rpms[0], zips[0], webs[0])
    try:
        return run_checks(checks)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_checks(checks):
    """Runs each (name, check), one line each and a closing count; 1 when any failed, else 0."""
    passed = failed = 0
    for name, check in checks:
        started = time.monotonic()
        try:
            note = check()
        except Failed as e:
            failed += 1
            print("FAIL %s: %s" % (name, e), flush=True)
            continue
        except Exception as e:  # a check that cannot even run has failed too
            failed += 1
            print("FAIL %s: %s: %s" % (name, type(e).__name__, e), flush=True)
            continue
        passed += 1
        print("ok   %s%s (%.1f s)" % (name, ": " + note if note else "", time.monotonic() - started), flush=True)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
