"""What the AT-SPI tests share: a private session bus (the script runs itself again under
dbus-run-session, which starts the accessibility bus on demand), a private X server, waits
for what AT-SPI shows, and pressing a control through its action.
Import it first: in the outer run it does not return.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

if "PF_A11Y_SESSION" not in os.environ:
    runtime = tempfile.mkdtemp(prefix="pf-a11y-")
    env = dict(os.environ, PF_A11Y_SESSION=runtime, XDG_RUNTIME_DIR=runtime, HOME=runtime,
               XDG_CONFIG_HOME=runtime + "/config")
    status = subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env)
    shutil.rmtree(runtime, ignore_errors=True)
    sys.exit(status)

import pyatspi  # noqa: E402 (connects to the accessibility bus of the private session)
from gi.repository import GLib  # noqa: E402


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            sys.exit("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def wait_for(what, find, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = find()
        except GLib.Error:
            found = None
        if found:
            return found
        time.sleep(0.1)
    sys.exit("not found through AT-SPI: " + what)


def press(node, name, role=None):
    """Runs the press action of the control called name (of that role, when given). The
    call may not return while the action runs a modal dialog, so it gets a short time-out
    and is not waited for."""
    target = pyatspi.findDescendant(node, lambda a: a is not None and a.name == name and
                                    (role is None or a.getRoleName() == role))
    if target is None:
        sys.exit("no control named " + name)
    pyatspi.setTimeout(300, 300)
    try:
        target.queryAction().doAction(0)
    except GLib.Error:
        pass
    finally:
        pyatspi.setTimeout(800, 15000)
