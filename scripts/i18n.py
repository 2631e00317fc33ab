"""The program's texts and their English translation (res/i18n/plumfinch_en.ts).

The source texts are Chinese: every C++ string literal that holds a CJK character (or is a
caption with an accelerator the Chinese way, "Twitter(&T)") in the product folders (comments are skipped; adjacent literals are one text, as the compiler
joins them), every block of the usage guide, and every Chinese value of the .desktop file
and the AppStream metainfo. All of them live in one context, "Plumfinch", of a Qt
Linguist file. Used by scripts/update-translations and tests/i18n/check_translations.py.
"""
import html
import pathlib
import re
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent
TS_FILE = ROOT / "res/i18n/plumfinch_en.ts"
CONTEXT = "Plumfinch"
PRODUCT_FOLDERS = ["app", "bind", "net", "notify", "platform", "post", "qwblog", "res",
                   "services", "settings"]
USAGE = ROOT / "res/help/usage.html"
USAGE_EN = ROOT / "res/help/usage_en.html"
DESKTOP = ROOT / "res/desktop/plumfinch.desktop"
METAINFO = ROOT / "res/desktop/org.example.plumfinch.metainfo.xml"
# Literals with Chinese in them that no one reads as text.
NOT_TEXT = {"宋体"}  # the dialogs' font (a font name, found on every system by that name)

ACCELERATOR = re.compile(r"\(&\w\)$")
CJK = re.compile("[\u3000-\u303f\u3400-\u9fff\uf900-\ufaff\uff00-\uffef]")
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0",
           "a": "\a", "b": "\b", "f": "\f", "v": "\v", "?": "?"}


def cpp_literals(text):
    """(line, text) of every string literal of a C++ file, adjacent ones joined."""
    found = []
    i, n, line = 0, len(text), 1
    pending = None  # [line, text] of literals joined so far
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', text[i:i + 24])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            close = ")" + raw.group(1) + '"'
            end = text.find(close, i + raw.end())
            value = text[i + raw.end():end]
            pending = pending or [line, ""]
            pending[1] += value
            line += text.count("\n", i, end + len(close))
            i = end + len(close)
            continue
        if c == '"' or (c in "uUL8" and re.match(r'(?:u8|u|U|L)"', text[i:i + 3])
                        and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_"))):
            i = text.index('"', i) + 1
            value = []
            while i < n and text[i] != '"':
                if text[i] == "\\":
                    nxt = text[i + 1]
                    if nxt == "x":
                        m = re.match(r"[0-9a-fA-F]+", text[i + 2:])
                        value.append(chr(int(m.group(0), 16)))
                        i += 2 + len(m.group(0))
                        continue
                    value.append(ESCAPES.get(nxt, nxt))
                    i += 2
                    continue
                value.append(text[i])
                i += 1
            i += 1
            pending = pending or [line, ""]
            pending[1] += "".join(value)
            continue
        if c == "'":
            end = i + 1
            while end < n and text[end] != "'":
                end += 2 if text[end] == "\\" else 1
            i = end + 1
            continue
        if c == "\n":
            line += 1
        if not c.isspace() and pending:
            found.append(tuple(pending))
            pending = None
        i += 1
    if pending:
        found.append(tuple(pending))
    return found


def code_texts():
    """(where, source) of every Chinese literal of the product's C++ files, and of every
    caption with a Chinese-style accelerator."""
    texts = []
    for folder in PRODUCT_FOLDERS:
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            for line, value in cpp_literals(path.read_text(encoding="utf-8")):
                # Chinese, or a caption with an accelerator the Chinese way ("Twitter(&T)").
                if (CJK.search(value) or ACCELERATOR.search(value)) and value not in NOT_TEXT:
                    texts.append((f"{path.relative_to(ROOT)}:{line}", value))
    return texts


# ---- the usage guide: one text per block ----

BLOCK = re.compile(r"<(title|h1|h2|h3|p|li)(\s[^>]*)?>(.*?)</\1>", re.S)


def normalise(text):
    return re.sub(r"\s+", " ", text).strip()


def usage_blocks(page):
    """(match, source) of every block of the page that holds Chinese and no other block."""
    blocks = []
    for m in BLOCK.finditer(page):
        inner = m.group(3)
        if CJK.search(inner) and not re.search(r"<(p|li|ul|ol|h\d)[\s>]", inner):
            blocks.append((m, normalise(inner)))
    return blocks


def usage_texts():
    return [("res/help/usage.html", s) for _, s in usage_blocks(USAGE.read_text(encoding="utf-8"))]


def english_usage(translations):
    """The usage guide with every block replaced by its translation (the Chinese block
    where there is none)."""
    page = USAGE.read_text(encoding="utf-8")
    out, last = [], 0
    for m, source in usage_blocks(page):
        out.append(page[last:m.start(3)])
        out.append(translations.get(source) or m.group(3))
        last = m.end(3)
    out.append(page[last:])
    page = "".join(out).replace('<html lang="zh-CN">', '<html lang="en">', 1)
    return page


# ---- the launcher and the metainfo: the Chinese value, and the English one beside it ----

def desktop_pairs():
    """(where, Chinese, English) of every [zh_CN] value of the .desktop file."""
    values = {}
    for line in DESKTOP.read_text(encoding="utf-8").splitlines():
        key, sep, value = line.partition("=")
        if sep:
            values[key.strip()] = value.strip()
    return [(f"{DESKTOP.relative_to(ROOT)}:{key}", value, values.get(key[:-len("[zh_CN]")]))
            for key, value in values.items() if key.endswith("[zh_CN]") and CJK.search(value)]


def metainfo_pairs():
    """(where, Chinese, English) of every xml:lang="zh_CN" element of the metainfo, with
    the element of the same tag without a language just before it."""
    lang = "{http://www.w3.org/XML/1998/namespace}lang"
    pairs = []
    for parent in ET.parse(METAINFO).iter():
        previous = {}
        for child in parent:
            text = normalise("".join(child.itertext()))
            if child.get(lang) is None:
                previous[child.tag] = text
            elif child.get(lang) == "zh_CN" and CJK.search(text):
                pairs.append((f"{METAINFO.relative_to(ROOT)}:<{child.tag}>", text,
                              previous.get(child.tag)))
    return pairs


def all_texts():
    """(where, source) of every text to translate, in a stable order, each source once."""
    seen, texts = set(), []
    pairs = [(w, zh) for w, zh, _ in desktop_pairs() + metainfo_pairs()]
    for where, source in code_texts() + pairs + usage_texts():
        if source not in seen:
            seen.add(source)
            texts.append((where, source))
    return texts


# ---- the Qt Linguist file ----

def read_ts(path=TS_FILE):
    """[(source, translation, type)] of the file's messages, in order."""
    if not path.exists():
        return []
    messages = []
    for message in ET.parse(path).getroot().iter("message"):
        source = message.findtext("source") or ""
        translation = message.find("translation")
        text = translation.text or "" if translation is not None else ""
        kind = translation.get("type", "") if translation is not None else "unfinished"
        messages.append((source, text, kind))
    return messages


def escape(text):
    text = html.escape(text, quote=False)
    # Carriage returns and tabs survive an XML reader only as character references.
    return text.replace("\r", "&#xd;").replace("\t", "&#x9;").replace('"', "&quot;")


def write_ts(messages, path=TS_FILE):
    """messages: [(where, source, translation or "")]; an empty one is unfinished."""
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<!DOCTYPE TS>",
             '<TS version="2.1" language="en" sourcelanguage="zh_CN">', "<context>",
             f"    <name>{CONTEXT}</name>"]
    for where, source, translation in messages:
        lines.append("    <message>")
        # The file only: line numbers would change the file with every edit elsewhere.
        file = where.split(":")[0]
        lines.append(f'        <location filename="../../{file}"/>')
        lines.append(f"        <source>{escape(source)}</source>")
        if translation:
            lines.append(f"        <translation>{escape(translation)}</translation>")
        else:
            lines.append('        <translation type="unfinished"></translation>')
        lines.append("    </message>")
    lines += ["</context>", "</TS>", ""]
    path.write_text("\n".join(lines), encoding="utf-8")


def placeholders(text):
    return sorted(re.findall(r"%[1-9]", text))
