#!/usr/bin/python3
"""The layers of the program, checked on every product file's #include lines.

Each source file belongs to the target its folder's CMakeLists.txt adds it to; a header
belongs to the target of its .cpp, or else to its folder's one target. The targets are
ordered (LAYERS): a file may include files of its own target and of the targets its
target stands on, never of one above, so no two targets include each other. The Qt-free
targets include nothing of the toolkit. Within the window target, the dialogs and the
popup (bind/, notify/) do not include the main window (app/), which uses them.
Exit status 1 lists the offenders.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
FOLDERS = ["qwblog", "settings", "net", "services", "bind", "post", "notify", "res",
           "platform", "app"]
# target -> the targets it stands on (its own included)
LAYERS = {
    "curl_on_demand": {"curl_on_demand"},
    "qwblog": {"qwblog", "curl_on_demand"},
    "pf_core": {"pf_core", "qwblog"},
    "pf_services": {"pf_services", "pf_core", "qwblog"},
    "pf_flows": {"pf_flows", "pf_services", "pf_core", "qwblog"},
    "pf_res": {"pf_res"},
    "pf_platform": {"pf_platform", "pf_res", "pf_core", "qwblog"},
    "pf_app": {"pf_app", "pf_platform", "pf_res", "pf_flows", "pf_services", "pf_core",
               "qwblog"},
}
QT_FREE = {"curl_on_demand", "qwblog", "pf_core", "pf_services", "pf_flows", "pf_res"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCES = re.compile(r"(?:target_sources|add_library)\s*\(\s*(\w+)\s+(?:PRIVATE|STATIC)\s+([^)]*)\)")


def targets_of_sources():
    """Every file a CMakeLists.txt adds to a target, relative to ROOT, with its target."""
    owner = {}
    for cmake in [ROOT / "CMakeLists.txt"] + [ROOT / f / "CMakeLists.txt" for f in FOLDERS]:
        text = re.sub(r"#.*", "", cmake.read_text(encoding="utf-8"))
        for target, files in SOURCES.findall(text):
            for name in files.split():
                if name.startswith("$") or name.isupper():
                    continue
                path = (cmake.parent / name).resolve().relative_to(ROOT.resolve())
                owner[str(path)] = target
    return owner


def main():
    owner = targets_of_sources()
    problems = []
    files = sorted(p for f in FOLDERS for p in (ROOT / f).rglob("*") if p.suffix in (".h", ".cpp"))

    def target_of(rel):
        if rel in owner:
            return owner[rel]
        stem = rel.rsplit(".", 1)[0]
        if stem + ".cpp" in owner:
            return owner[stem + ".cpp"]
        folder = rel.split("/")[0]
        targets = {t for f, t in owner.items()
                   if f.startswith(folder + "/") and f.endswith((".cpp", ".h"))}
        return targets.pop() if len(targets) == 1 else None

    for path in files:
        rel = str(path.relative_to(ROOT))
        target = target_of(rel)
        if target is None:
            problems.append(f"{rel}: belongs to no target")
            continue
        for bracket, inc in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if bracket == "<":
                if target in QT_FREE and inc.split("/")[0].startswith("Q"):
                    problems.append(f"{rel} ({target}): includes the toolkit <{inc}>")
                continue
            if inc.split("/")[0] not in FOLDERS:
                continue
            other = target_of(inc)
            if other is None:
                problems.append(f"{rel}: includes {inc}, which belongs to no target")
            elif other not in LAYERS[target]:
                problems.append(f"{rel} ({target}): includes {inc} ({other}), a layer above")
            elif rel.split("/")[0] in ("bind", "notify") and inc.startswith("app/"):
                problems.append(f"{rel}: includes {inc}; the main window uses the dialogs, "
                                "not the other way round")
    print("\n".join(problems) or f"layers: {len(files)} files, every include points downwards")
    return 1 if problems else 0


sys.exit(main())
