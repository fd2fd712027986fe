#!/usr/bin/python3
"""Writes a pseudo-translation of po/kelm-patcher.pot for the tests: every
text accented, lengthened by a third and bracketed in [[ ]], its printf
directives and line ends as they are. A program run in it shows at a glance,
and a test finds by the brackets, every text that was never marked for
translation. Not a language: never shipped.

Usage: make_pseudo.py POT OUT.po
"""
import os
import re
import sys

import catalogues

ACCENTED = dict(zip("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
                    "áƀçđéƒĝĥíĵķĺɱñóṕʠŕšţúṽŵẋýžÁƁÇĐÉƑĜĤÍĴĶĹṀÑÓṔǪŔŠŢÚṼŴẊÝŽ"))
DIRECTIVE = re.compile(r"%(?:\d+\$)?[-+ #0']*\d*(?:\.\d+)?(?:hh|h|ll|l|L|z|j|t)?[diouxXeEfgGcsp%]")


def pseudo(text):
    body = text.rstrip("\n")
    tail = text[len(body):]
    out, at = [], 0
    for m in DIRECTIVE.finditer(body):
        out.append("".join(ACCENTED.get(c, c) for c in body[at:m.start()]))
        out.append(m.group(0))
        at = m.end()
    out.append("".join(ACCENTED.get(c, c) for c in body[at:]))
    letters = sum(c.isalpha() for c in body)
    return "[[" + "".join(out) + "~" * (letters // 3) + "]]" + tail


def quoted(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace("\n", "\\n") \
        .replace("\t", "\\t") + '"'


def main():
    pot, out = sys.argv[1:3]
    header = ["Project-Id-Version: kelm-patcher", "PO-Revision-Date: 2026-01-01 00:00+0000",
              "Last-Translator: none", "Language-Team: none", "Language: pseudo", "MIME-Version: 1.0",
              "Content-Type: text/plain; charset=UTF-8", "Content-Transfer-Encoding: 8bit",
              "Plural-Forms: nplurals=2; plural=(n != 1);"]
    lines = ['msgid ""', 'msgstr ""'] + [quoted(h + "\n") for h in header] + [""]
    for context, msgid, strs in catalogues.entries_with_plurals(pot):
        if context is not None:
            lines.append("msgctxt " + quoted(context))
        lines.append("msgid " + quoted(msgid[0]))
        if len(msgid) > 1:
            lines.append("msgid_plural " + quoted(msgid[1]))
            lines += ["msgstr[%d] %s" % (i, quoted(pseudo(m))) for i, m in enumerate(msgid)]
        else:
            lines.append("msgstr " + quoted(pseudo(msgid[0])))
        lines.append("")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


main()
