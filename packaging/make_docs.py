#!/usr/bin/python3
"""Write the documents that the release packages carry beside the programs.

Usage:
  make_docs.py debian OUT_DIR --version V --license LICENSE --nuklear NUKLEAR_H
               --dejavu COPYRIGHT --man PAGE.1... --changelog CHANGELOG
               --rpm-release N
  make_docs.py windows OUT_DIR --version V --license LICENSE --nuklear NUKLEAR_H
               --dejavu COPYRIGHT --readme README.txt --runtime NAME=COPYRIGHT...
  make_docs.py web OUT_DIR --version V --license LICENSE --dejavu COPYRIGHT --libmd MD5_C

debian writes OUT_DIR/copyright, in Debian's machine-readable format, each
manual page with its version filled in, gzipped, as OUT_DIR/PAGE.1.gz, the
Debian changelog gzipped as OUT_DIR/changelog.gz, and the same entries in
RPM's changelog format as OUT_DIR/rpm-changelog, for the RPM of the same files.
windows writes README.txt, LICENSE.txt and THIRD-PARTY-NOTICES.txt, with
Windows line ends. web writes LICENSE.txt and THIRD-PARTY-NOTICES.txt for the
page's folder: the font, and libmd's MD5 compiled into kelm.wasm.

Nothing of another project's licence is kept in this repository: every
third-party text is read at packaging time from the copy that the build used,
the Nuklear header's own licence section and the copyright files of the
Debian packages that provided the font and the MinGW-w64 runtime. The outputs
carry no time stamps and are the same bytes on every run.
"""
import argparse
import datetime
import gzip
import io
import os
import re
import sys
import textwrap


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def doc_comment_section(header, title):
    """The text of a '/// ## title' section of the Nuklear header, between its
    two '/// ~~~' fences, without the comment markers."""
    lines = header.splitlines()
    start = lines.index("/// ## %s" % title)
    fences = [i for i in range(start + 1, len(lines)) if lines[i].startswith("/// ~~~")]
    body = lines[fences[0] + 1:fences[1]]
    return "\n".join(re.sub(r"^///    ?", "", l).rstrip() for l in body)


def nuklear_notice(path):
    """Nuklear's licence, and what the header says of the pieces it embeds:
    the stb libraries and, with the default font compiled in, ProggyClean."""
    header = read(path)
    licence = doc_comment_section(header, "License").strip("-\n ")
    font = re.search(r"^ \* (ProggyClean\.ttf\n(?: \* .*\n)+?) \*-{5,}", header, re.M)
    if not font:
        sys.exit("make_docs.py: no ProggyClean notice in %s" % path)
    font = re.sub(r"^ \* ", "", font.group(1), flags=re.M).strip()
    credits = [re.sub(r"\[([^]]*)\]\([^)]*\)", r"\1", re.sub(r"\s*<br />", "", l[4:])).strip()
               for l in header.splitlines() if l.startswith("/// Embeds ")]
    if not credits or "ALTERNATIVE A - MIT License" not in licence:
        sys.exit("make_docs.py: the licence section of %s is not as expected" % path)
    return licence, font, credits


def dep5_paragraphs(text):
    return [p for p in re.split(r"\n\s*\n", text.strip()) if p.strip()]


def dep5_field(paragraph, name):
    """A field's first line and its continuation lines, as in the file."""
    m = re.search(r"^%s:[ \t]*(.*(?:\n[ \t].*)*)" % re.escape(name), paragraph, re.M)
    return m.group(1) if m else None


def dejavu_notice(path):
    """The Files: * paragraph of fonts-dejavu-core's copyright file: the
    copyright of the fonts themselves and their licence text."""
    for p in dep5_paragraphs(read(path)):
        if dep5_field(p, "Files") == "*":
            return dep5_field(p, "Copyright"), dep5_field(p, "License")
    sys.exit("make_docs.py: no 'Files: *' paragraph in %s" % path)


def own_licence(path):
    """(copyright line, licence text) of the project's LICENSE."""
    text = read(path).strip()
    m = re.search(r"^Copyright \(c\) (.+)$", text, re.M)
    return m.group(1), text[m.end():].strip()


def dep5_text(text):
    """Free text as the continuation lines of a field."""
    return "\n".join(" " + l if l.strip() else " ." for l in text.splitlines())


def gzip_bytes(data):
    """gzip -9n: no name and no time stamp, as Debian's tools compress."""
    buf = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=buf, compresslevel=9, mtime=0) as gz:
        gz.write(data)
    return buf.getvalue()


def rpm_changelog(text, release):
    """A Debian changelog's entries as RPM %changelog entries, newest first.
    The RPM's version carries its release number, and rpmlint wants the
    newest entry to name that version."""
    entries = re.findall(r"^\S+ \(([^)]+)\)[^\n]*\n(.*?)^ -- (.+?)  \w+, (\d+) (\w+) (\d+) ", text, re.M | re.S)
    if not entries:
        sys.exit("make_docs.py: no entries in the changelog")
    out = []
    for version, body, who, day, month, year in entries:
        weekday = datetime.datetime.strptime("%s %s %s" % (day, month, year), "%d %b %Y").strftime("%a")
        items = [re.sub(r"\s+", " ", item).strip() for item in re.split(r"^  \* ", body, flags=re.M)[1:]]
        out.append("* %s %s %02d %s %s - %s-%s" % (weekday, month, int(day), year, who, version, release))
        out += [textwrap.fill(item, 76, initial_indent="- ", subsequent_indent="  ",
                                  break_on_hyphens=False) for item in items]
        out.append("")
    return "\n".join(out)


def debian(args):
    holder, licence = own_licence(args.license)
    nk_licence, nk_font, nk_credits = nuklear_notice(args.nuklear)
    dv_copyright, dv_licence = dejavu_notice(args.dejavu)
    nk_comment = ("Nuklear 4.00.1, from Debian's glfw3 source package, compiled into kelm-patcher.\n"
                  "Its own notes on what it embeds:\n" + "\n".join(nk_credits) + "\n\n" + nk_font)
    out = "\n".join([
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
        "Upstream-Name: kelm-patcher",
        "Comment: The third-party texts below were taken, when this package was made,",
        " from the Nuklear header and from /usr/share/doc/fonts-dejavu-core/copyright.",
        "",
        "Files: *",
        "Copyright: " + holder,
        "License: Expat",
        dep5_text(licence),
        "",
        "Files: build/*/assets/generated/ui_font.ttf",
        "Copyright: " + dv_copyright,
        "License: " + dv_licence,
        "Comment: The user interface font compiled into kelm-patcher, cut down at build",
        " time from DejaVu Serif (Debian package fonts-dejavu-core).",
        "",
        "Files: .cache/nuklear/nuklear.h",
        "Copyright: 2016-2018 Micha Mettke",
        "License: Expat or public-domain",
        dep5_text(nk_licence),
        "Comment:",
        dep5_text(nk_comment),
        "",
    ])
    with open(os.path.join(args.out_dir, "copyright"), "w", encoding="utf-8", newline="\n") as f:
        f.write(out)

    for man in args.man:
        page = read(man).replace("@VERSION@", args.version)
        with open(os.path.join(args.out_dir, os.path.basename(man) + ".gz"), "wb") as f:
            f.write(gzip_bytes(page.encode("utf-8")))
    changelog = read(args.changelog)
    with open(os.path.join(args.out_dir, "changelog.gz"), "wb") as f:
        f.write(gzip_bytes(changelog.encode("utf-8")))
    with open(os.path.join(args.out_dir, "rpm-changelog"), "w", encoding="utf-8", newline="\n") as f:
        f.write(rpm_changelog(changelog, args.rpm_release))


def write_texts(out_dir, files, newline):
    for name, text in files.items():
        with open(os.path.join(out_dir, name), "w", encoding="utf-8", newline=newline) as f:
            f.write(text.strip() + "\n")


def notices(title, sections):
    """THIRD-PARTY-NOTICES.txt: numbered sections of (title, intro, text)."""
    rule = "=" * 78
    parts = [title, "",
             "The programs are under the MIT License (LICENSE.txt). They contain the",
             "following software of others, each under the licence given here."]
    for i, (name, intro, text) in enumerate(sections, 1):
        parts += ["", rule, "%d. %s" % (i, name), rule, "", intro, "", text.strip()]
    return "\n".join(parts)


def windows(args):
    nk_licence, nk_font, nk_credits = nuklear_notice(args.nuklear)
    sections = [
        ("Nuklear 4.00.1 (kelm-patcher.exe)",
         "The immediate-mode GUI library that draws the window. Licence, as in the header:",
         nk_licence + "\n\nWhat the header says it embeds:\n" + "\n".join(nk_credits) + "\n\n" + nk_font),
        ("DejaVu fonts (kelm-patcher.exe)",
         "The user interface font is cut down from DejaVu Serif. Debian's copyright file\n"
         "of fonts-dejavu-core, as installed at " + args.dejavu + ":",
         read(args.dejavu)),
    ]
    for entry in args.runtime:
        name, path = entry.split("=", 1)
        sections.append((name + " (kelm-patcher.exe, kelm-patch.exe)",
                         "Linked statically into both programs. Debian's copyright file, as installed\n"
                         "at " + path + ":", read(path)))
    files = {
        "README.txt": read(args.readme).replace("@VERSION@", args.version),
        "LICENSE.txt": read(args.license),
        "THIRD-PARTY-NOTICES.txt": notices("Third-party software in the Quelmor: Kelm patcher " + args.version,
                                           sections),
    }
    write_texts(args.out_dir, files, "\r\n")


def libmd_notice(path):
    """The opening comment of libmd's md5.c: who wrote it and its public-domain dedication."""
    m = re.match(r"(?:/\*[^\n]*\*/\s*)?/\*(.*?)\*/", read(path), re.S)
    if not m or "public domain" not in m.group(1):
        sys.exit("make_docs.py: no public-domain notice at the top of %s" % path)
    return "\n".join(re.sub(r"^ ?\* ?", "", l).rstrip() for l in m.group(1).strip("\n").splitlines())


def web(args):
    sections = [
        ("DejaVu fonts (ui_font.ttf)",
         "The page's font is cut down from DejaVu Serif. Debian's copyright file of\n"
         "fonts-dejavu-core, as installed at " + args.dejavu + ":",
         read(args.dejavu)),
        ("libmd's MD5 (kelm.wasm)",
         "The MD5 digest compiled into kelm.wasm is md5.c of libmd, from Debian's libmd\n"
         "source package. Its own notice:",
         libmd_notice(args.libmd)),
    ]
    files = {
        "LICENSE.txt": read(args.license),
        "THIRD-PARTY-NOTICES.txt": notices("Third-party software in the Quelmor: Kelm patcher page " + args.version,
                                           sections),
    }
    write_texts(args.out_dir, files, "\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("kind", choices=("debian", "windows", "web"))
    ap.add_argument("out_dir")
    ap.add_argument("--version", required=True)
    ap.add_argument("--license", required=True)
    ap.add_argument("--nuklear")
    ap.add_argument("--dejavu", required=True)
    ap.add_argument("--man", action="append", default=[])
    ap.add_argument("--changelog")
    ap.add_argument("--rpm-release")
    ap.add_argument("--readme")
    ap.add_argument("--runtime", action="append", default=[])
    ap.add_argument("--libmd")
    args = ap.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    {"debian": debian, "windows": windows, "web": web}[args.kind](args)


if __name__ == "__main__":
    main()
