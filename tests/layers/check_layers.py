#!/usr/bin/python3
"""The folders' dependency direction, checked on their #include lines.

Each folder may include only the folders listed for it, so that the layers below the
window (the request library, settings, network, the service model and the resource
data) never reach up into the window or its toolkit. Exit status 1 lists the offenders.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
WINDOW = {"app", "bind", "post", "notify", "platform"}
ALLOWED = {
    "qwblog": {"qwblog"},
    "settings": {"settings"},
    "net": {"net", "settings", "qwblog"},
    "services": {"services", "net", "settings", "qwblog"},
    # The window templates are plain data; they share the framework's plain type names.
    "res": {"res", "res/WinTypes.h"},
    "platform": {"platform", "res", "settings", "net", "qwblog"},
}
QT_FREE = {"qwblog", "settings", "net", "services", "res"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)

problems = []
for folder, allowed in ALLOWED.items():
    for path in sorted((ROOT / folder).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        for bracket, target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            top = target.split("/")[0]
            if bracket == "<" and folder in QT_FREE and top.startswith("Q"):
                problems.append(f"{path.relative_to(ROOT)}: includes the toolkit <{target}>")
            if bracket == '"' and "/" in target and top in ALLOWED.keys() | WINDOW:
                if top not in allowed and target not in allowed:
                    problems.append(f"{path.relative_to(ROOT)}: includes {target}")
print("\n".join(problems) or "layers: every include points downwards")
sys.exit(1 if problems else 0)
