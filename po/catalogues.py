"""The shipped catalogues as the build's Python steps read them: the
languages of po/LINGUAS, and each one's translations."""
import ast
import os
import re

PO_DIR = os.path.dirname(os.path.abspath(__file__))


def languages(po_dir=PO_DIR):
    with open(os.path.join(po_dir, "LINGUAS"), encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip() and not line.startswith("#")]


def entries(path):
    """(msgctxt, msgid, [msgstr...]) for each message of a .po file, the
    header and obsolete entries left out."""
    out, current, key = [], {}, None
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for line in lines + [""]:
        m = re.match(r'^(msgctxt|msgid|msgid_plural|msgstr(?:\[\d+\])?) (".*")$', line)
        if m:
            if m.group(1) in ("msgctxt", "msgid") and "msgid" in current and key.startswith("msgstr"):
                out.append(current)
                current = {}
            key = m.group(1)
            current[key] = ast.literal_eval(m.group(2))
        elif line.startswith('"') and key:
            current[key] += ast.literal_eval(line)
    if "msgid" in current:
        out.append(current)
    return [(e.get("msgctxt"), e["msgid"], [v for k, v in sorted(e.items()) if k.startswith("msgstr")])
            for e in out if e["msgid"]]


def entries_with_plurals(path):
    """(msgctxt, [msgid, msgid_plural?], [msgstr...]) for each message."""
    out = []
    for context, msgid, strs in entries(path):
        out.append((context, [msgid], strs))
    plurals = {}
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for m in re.finditer(r'^msgid ((?:".*"\n)+)msgid_plural ((?:".*"\n)+)', text, re.M):
        join = lambda block: "".join(ast.literal_eval(s) for s in re.findall(r'"(?:[^"\\]|\\.)*"', block))
        plurals[join(m.group(1))] = join(m.group(2))
    return [(c, ids + ([plurals[ids[0]]] if ids[0] in plurals else []), strs) for c, ids, strs in out]


def translations(lang, po_dir=PO_DIR):
    """Every msgstr of the language's catalogue."""
    return [s for _, _, strs in entries(os.path.join(po_dir, lang + ".po")) for s in strs]
