#!/usr/bin/python3
"""Every text a user reads has its English translation.

Fails on: a Chinese text of the program (a string literal of the product's C++ files
with a Chinese character or a Chinese-style accelerator,
a block of the usage guide, a Chinese value of the .desktop file or the metainfo) that
is not a source of res/i18n/plumfinch_en.ts with a finished translation; a message of the
file that is unfinished or that the program no longer has; a translation whose
placeholders (%1 ... %9) differ from its source's, or that lost the keyboard accelerator
(&) of a caption; an English value of the .desktop file or the metainfo that is not the
translation of the Chinese one beside it; and res/help/usage_en.html that is not the
usage guide with its translations. scripts/update-translations mends what it can.
"""
import sys

sys.path.insert(0, str(__import__("pathlib").Path(__file__).resolve().parents[2] / "scripts"))
import i18n  # noqa: E402

problems = []
messages = i18n.read_ts()
translations = {}
for source, text, kind in messages:
    if kind == "unfinished" or not text:
        problems.append(f"unfinished in the .ts: {source!r}")
    elif kind:
        problems.append(f"{kind} in the .ts: {source!r}")
    else:
        translations[source] = text
        if i18n.placeholders(text) != i18n.placeholders(source):
            problems.append(f"placeholders differ: {source!r} -> {text!r}")
        if "(&" in source and "&" not in text:
            problems.append(f"accelerator lost: {source!r} -> {text!r}")

texts = i18n.all_texts()
for where, source in texts:
    if source not in translations and source not in {m[0] for m in messages}:
        problems.append(f"{where}: not in the .ts: {source!r}")
used = {source for _, source in texts}
for source, _, _ in messages:
    if source not in used:
        problems.append(f"in the .ts but not used by the program: {source!r}")

for where, chinese, english in i18n.desktop_pairs() + i18n.metainfo_pairs():
    if chinese in translations and english != translations[chinese]:
        problems.append(f"{where}: the English value {english!r} is not the translation "
                        f"{translations[chinese]!r}")

if i18n.USAGE_EN.read_text(encoding="utf-8") != i18n.english_usage(translations):
    problems.append("res/help/usage_en.html is not the translated usage guide "
                    "(run scripts/update-translations)")

for problem in problems:
    print(problem)
print(f"{len(texts)} texts, {len(translations)} translated, {len(problems)} problems")
sys.exit(1 if problems else 0)
