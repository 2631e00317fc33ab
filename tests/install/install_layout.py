#!/usr/bin/python3
"""What `cmake --install` puts in place, checked the way a desktop looks it up.

Installs the build into a private DESTDIR under /usr and checks the program, the usage
guide where the installed program looks for it, the launcher (desktop-file-validate),
the AppStream file (appstreamcli, no network) and the icon in each hicolor size.
Usage: install_layout.py BUILD_DIR WORK_DIR
"""
import configparser
import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

build, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], check=True,
               stdout=subprocess.DEVNULL, env=dict(os.environ, DESTDIR=work))
usr = os.path.join(work, "usr")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None


def run_ok(*command):
    done = subprocess.run(command, capture_output=True, text=True)
    check(done.returncode == 0, f"{' '.join(command[:2])}: {done.stdout}{done.stderr}")


program = os.path.join(usr, "bin/plumfinch")
check(os.access(program, os.X_OK), "bin/plumfinch is not an executable")
# The help menu of a program in <prefix>/bin opens <prefix>/share/plumfinch/usage.html.
check(os.path.isfile(os.path.join(usr, "share/plumfinch/usage.html")), "no usage guide")
for doc in ("doc/plumfinch/copyright", "doc/plumfinch/changelog.gz", "man/man1/plumfinch.1.gz"):
    check(os.path.isfile(os.path.join(usr, "share", doc)), "no " + doc)

desktop = os.path.join(usr, "share/applications/plumfinch.desktop")
run_ok("desktop-file-validate", desktop)
entry = configparser.ConfigParser(interpolation=None, strict=True)
entry.optionxform = str
entry.read(desktop, encoding="utf-8")
launcher = entry["Desktop Entry"] if entry.has_section("Desktop Entry") else {}
for key, value in (("Exec", "plumfinch"), ("Icon", "plumfinch"), ("Categories", "Network;"),
                   ("Type", "Application")):
    check(launcher.get(key) == value, f"launcher {key}={launcher.get(key)}, expected {value}")
for key in ("Name", "Name[zh_CN]", "Comment", "Comment[zh_CN]"):
    check(bool(launcher.get(key)), "launcher without " + key)

metainfo = os.path.join(usr, "share/metainfo/org.example.plumfinch.metainfo.xml")
run_ok("appstreamcli", "validate", "--no-net", metainfo)
if os.path.isfile(metainfo):
    root = ET.parse(metainfo).getroot()
    check(root.findtext("launchable") == "plumfinch.desktop", "metainfo names another launcher")
    check(root.findtext("provides/binary") == "plumfinch", "metainfo names another program")

# Icon=plumfinch resolves in the hicolor theme at every size a panel or menu asks for.
hicolor = os.path.join(usr, "share/icons/hicolor")
check(os.path.isfile(os.path.join(hicolor, "scalable/apps/plumfinch.svg")), "no scalable icon")
for size in (48, 64):
    png = os.path.join(hicolor, f"{size}x{size}/apps/plumfinch.png")
    check(os.path.isfile(png) and png_size(png) == (size, size), f"no {size} px icon")

for f in failures:
    print("FAIL:", f)
print("installed layout as expected" if not failures else f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
