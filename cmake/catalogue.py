#!/usr/bin/env python3
"""Builds the message catalogue from po/*.po: a header with the message ids and a source
with every language's texts, as C++.

po/en.po names the messages (msgctxt, an UpperCamel id) and holds their English texts
(msgid; a non-empty msgstr replaces it). Every other file is a translation: msgstr for
each msgid, keyed by msgctxt. A translation whose msgid is no longer the English one, a
fuzzy one or an empty one is missing, and English stands in for it. Japanese, the
program's default, must be complete. Placeholders are {name}: a translation must use
the same names as the English.

    catalogue.py HEADER SOURCE PO...
"""
import os
import re
import sys

REFERENCE = "en"
COMPLETE = ("en", "ja")
ID = re.compile(r"^[A-Z][A-Za-z0-9]*$")
LANGUAGE = re.compile(r"^[a-z]{2,3}(_[A-Z]{2})?$")
PLACEHOLDER = re.compile(r"\{([a-z]+)\}")
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}


class PoError(Exception):
    pass


def unquote(text, where):
    """The text of one quoted .po string (C escapes \\n \\t \\" \\\\ only)."""
    text = text.strip()
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise PoError(f"{where}: not a quoted string: {text}")
    out, i, body = [], 0, text[1:-1]
    while i < len(body):
        c = body[i]
        if c == "\\":
            if i + 1 >= len(body) or body[i + 1] not in ESCAPES:
                raise PoError(f"{where}: an escape other than \\n \\t \\\" \\\\")
            out.append(ESCAPES[body[i + 1]])
            i += 2
            continue
        if c == '"':
            raise PoError(f"{where}: a bare double quote inside a string")
        out.append(c)
        i += 1
    return "".join(out)


def read_po(path):
    """The entries of a .po file: (msgctxt, msgid, msgstr, fuzzy) in file order."""
    with open(path, "rb") as f:
        raw = f.read()
    try:
        lines = raw.decode("utf-8").splitlines()
    except UnicodeDecodeError as e:
        raise PoError(f"{path}: not UTF-8 ({e})")
    entries, entry, field, fuzzy = [], {}, None, False

    def finish():
        nonlocal entry, field, fuzzy
        if entry:
            if "msgid" not in entry or "msgstr" not in entry:
                raise PoError(f"{path}: an entry without msgid or msgstr")
            entries.append((entry.get("msgctxt"), entry["msgid"], entry["msgstr"], fuzzy))
        entry, field, fuzzy = {}, None, False

    for n, line in enumerate(lines, 1):
        where = f"{path}:{n}"
        stripped = line.strip()
        if not stripped:
            finish()
        elif stripped.startswith("#~"):
            continue  # an obsolete entry
        elif stripped.startswith("#"):
            if entry:
                finish()
            if stripped.startswith("#,"):
                fuzzy = any(flag.strip() == "fuzzy" for flag in stripped[2:].split(","))
        elif stripped.startswith('"'):
            if field is None:
                raise PoError(f"{where}: a string outside an entry")
            entry[field] += unquote(stripped, where)
        else:
            keyword, _, rest = stripped.partition(" ")
            if keyword not in ("msgctxt", "msgid", "msgstr"):
                raise PoError(f"{where}: unknown keyword {keyword}")
            # An entry begins at its msgctxt, or at its msgid when it has none.
            if (keyword == "msgctxt" and "msgid" in entry) or (
                    keyword == "msgid" and "msgstr" in entry):
                finish()
            if keyword in entry:
                raise PoError(f"{where}: {keyword} twice in one entry")
            entry[keyword] = unquote(rest, where)
            field = keyword
    finish()

    header = [e for e in entries if e[0] is None and e[1] == ""]
    if header and "charset=" in header[0][2]:
        charset = header[0][2].split("charset=")[1].split("\\")[0].split()[0]
        if charset.upper() != "UTF-8":
            raise PoError(f"{path}: charset {charset}; the catalogue is UTF-8")
    messages = {}
    for ctxt, msgid, msgstr, fuzzy in entries:
        if ctxt is None and msgid == "":
            continue
        if ctxt is None or not ID.match(ctxt):
            raise PoError(f"{path}: the message {msgid!r} has no msgctxt id (UpperCamel)")
        if ctxt in messages:
            raise PoError(f"{path}: {ctxt} twice")
        messages[ctxt] = (msgid, msgstr, fuzzy)
    return messages


def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text)))


def cxx_string(text):
    """A C++ string literal: printable ASCII as it is, every other byte an octal escape."""
    out = ['"']
    for b in text.encode("utf-8"):
        c = chr(b)
        if c in '"\\':
            out.append("\\" + c)
        elif 0x20 <= b < 0x7F:
            out.append(c)
        else:
            out.append(f"\\{b:03o}")
    out.append('"')
    return "".join(out)


def build(po_files):
    catalogues = {}
    for path in po_files:
        name = os.path.splitext(os.path.basename(path))[0]
        if not LANGUAGE.match(name):
            raise PoError(f"{path}: name a catalogue ll.po or ll_CC.po (ja.po, pt_BR.po)")
        catalogues[name] = read_po(path)
    for name in COMPLETE:
        if name not in catalogues:
            raise PoError(f"po/{name}.po is missing")

    reference = catalogues[REFERENCE]
    ids = list(reference)
    english = {}
    for mid, (msgid, msgstr, _) in reference.items():
        if msgid == "":
            raise PoError(f"{REFERENCE}.po: {mid} has no text")
        english[mid] = msgstr or msgid
        if placeholders(english[mid]) != placeholders(msgid):
            raise PoError(f"{REFERENCE}.po: {mid} changes the placeholders of its msgid")

    languages = [REFERENCE] + sorted(n for n in catalogues if n != REFERENCE)
    texts, warnings = {}, []
    for name in languages:
        catalogue = catalogues[name]
        for mid in catalogue:
            if mid not in reference:
                warnings.append(f"{name}.po: {mid} is not a message (any more)")
        row = []
        for mid in ids:
            if name == REFERENCE:
                row.append(english[mid])
                continue
            entry = catalogue.get(mid)
            problem = None
            if entry is None:
                problem = "missing"
            elif entry[0] != reference[mid][0]:
                problem = "translates an older English text"
            elif entry[2]:
                problem = "fuzzy"
            elif entry[1] == "":
                problem = "not translated"
            elif placeholders(entry[1]) != placeholders(english[mid]):
                raise PoError(
                    f"{name}.po: {mid} uses the placeholders {placeholders(entry[1])}, "
                    f"the English {placeholders(english[mid])}")
            if problem:
                if name in COMPLETE:
                    raise PoError(f"{name}.po: {mid} {problem}")
                warnings.append(f"{name}.po: {mid} {problem}; English stands in")
                row.append(None)
            else:
                row.append(entry[1])
        texts[name] = row
    return ids, languages, texts, warnings


def write(path, text):
    # Unchanged output keeps its time stamp: nothing that includes it is rebuilt.
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    header, source, po_files = argv[1], argv[2], argv[3:]
    try:
        ids, languages, texts, warnings = build(po_files)
    except PoError as e:
        print(f"catalogue: error: {e}", file=sys.stderr)
        return 1
    for w in warnings:
        print(f"catalogue: warning: {w}", file=sys.stderr)

    h = ["// Generated from po/*.po by cmake/catalogue.py: do not edit.", "#pragma once", "",
         "namespace kivo {", "", "enum class Msg : int {"]
    h += [f"    {mid}," for mid in ids]
    h += ["};", "", "namespace catalogue {", "",
          f"inline constexpr int kMessages = {len(ids)};",
          f"inline constexpr int kLanguages = {len(languages)};",
          "// English first; then the others by name.",
          "extern const char* const kLanguageNames[kLanguages];",
          "extern const char* const kIds[kMessages];",
          "// Null where a language has no text for a message.",
          "extern const char* const kTexts[kLanguages][kMessages];", "",
          "}  // namespace catalogue", "}  // namespace kivo", ""]
    c = ["// Generated from po/*.po by cmake/catalogue.py: do not edit.",
         f'#include "{os.path.basename(header)}"', "", "namespace kivo::catalogue {", "",
         "const char* const kLanguageNames[kLanguages] = {"]
    c += [f"    {cxx_string(n)}," for n in languages]
    c += ["};", "", "const char* const kIds[kMessages] = {"]
    c += [f"    {cxx_string(mid)}," for mid in ids]
    c += ["};", "", "const char* const kTexts[kLanguages][kMessages] = {"]
    for name in languages:
        c.append(f"    {{  // {name}")
        c += [f"        {cxx_string(t) if t is not None else 'nullptr'}," for t in texts[name]]
        c.append("    },")
    c += ["};", "", "}  // namespace kivo::catalogue", ""]
    write(header, "\n".join(h))
    write(source, "\n".join(c))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
