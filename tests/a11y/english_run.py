#!/usr/bin/python3
"""The window in an English locale, end to end, read the way a screen reader reads it.

Runs the built program with LC_ALL=en_US.UTF-8 (and no PLUMFINCH_LANG) on a private X
server against the service emulator, and through AT-SPI: binds Mastodon (the server
dialog, the code dialog), gets a message box, posts a status, and raises an alert. Every
text it meets on the way (window titles, captions, menus, log lines, the box, the popup)
must be the English one, and no Chinese character may show anywhere.
With PLUMFINCH_SCREENSHOTS=<folder> it keeps pictures of the main window, the code dialog
and the popup there.
Usage: english_run.py PROGRAM
"""
import json
import os
import re
import signal
import subprocess
import sys
import urllib.request

from atspi_session import pyatspi, press, start_xvfb, wait_for  # noqa: E402 (first)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
from desktop import Emulator  # noqa: E402

CJK = re.compile("[\u3000-\u303f\u3400-\u9fff\uf900-\uffef]")
MAIN_TITLE = "Plumfinch v1.1"
_OPENER = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def window(name):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Plumfinch":
            for w in app:
                if w is not None and w.name == name and \
                        w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
    return None


def find(node, role, name=None):
    return pyatspi.findDescendant(
        node, lambda a: a is not None and a.getRoleName() == role and
        (name is None or a.name == name))


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def chinese_in(node):
    """Every name and text below node that holds a Chinese character."""
    found = []
    for child in node:
        if child is None:
            continue
        texts = [child.name]
        if child.getRoleName() in ("text", "label"):
            try:
                texts.append(text_of(child))
            except NotImplementedError:
                pass
        found += [t for t in texts if t and CJK.search(t)]
        if child.getRoleName() != "popup menu":
            found += chinese_in(child)
    return found


def shoot(node, folder, name, display):
    if not folder:
        return
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    out = os.path.join(folder, name)
    subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", out],
                   env=dict(os.environ, DISPLAY=display), check=True)
    print("wrote", out)


def main():
    program = sys.argv[1]
    shots = os.environ.get("PLUMFINCH_SCREENSHOTS")
    session = os.environ["PF_A11Y_SESSION"]
    folder = os.path.join(session, "settings")
    os.makedirs(folder, mode=0o700)
    emulator = Emulator(os.path.join(session, "emulator"), os.path.join(folder, "Services.ini"))
    xvfb, display = start_xvfb()
    env = {k: v for k, v in os.environ.items() if k not in ("PLUMFINCH_LANG", "LANGUAGE")}
    env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_ACCESSIBILITY="1", PLUMFINCH_CONFIG_DIR=folder, LC_ALL="en_US.UTF-8",
               LANG="en_US.UTF-8", PLUMFINCH_POLL_INTERVAL_MS="300", BROWSER="true")
    proc = subprocess.Popen([program], env=env)
    problems = []
    try:
        main_window = wait_for("the main window", lambda: window(MAIN_TITLE))
        for role, name in (("push button", "Mastodon"), ("check box", "Alert: @me, messages"),
                           ("menu item", "File"), ("label", "Not bound"), ("text", "New status")):
            if find(main_window, role, name) is None:
                problems.append(f"main window: no {role} {name!r}")

        # Binding: the server dialog offers the emulator's server; the code comes from the
        # emulator, as a user without a browser gets it.
        press(main_window, "Mastodon", "push button")
        server_dialog = wait_for("the server dialog", lambda: window("Bind Mastodon"))
        problems += chinese_in(server_dialog)
        press(server_dialog, "OK", "push button")
        code_dialog = wait_for("the code dialog",
                               lambda: window("Enter the code shown on the web page"))
        with _OPENER.open(emulator.control + "/control/mastodon/code", timeout=10) as answer:
            code = json.load(answer)["code"]
        find(code_dialog, "text").queryEditableText().setTextContents(code)
        problems += chinese_in(code_dialog)
        shoot(code_dialog, shots, "english-code-dialog.png", display)
        press(code_dialog, "OK", "push button")
        log = find(main_window, "text", "Status log")
        bound = wait_for("the binding's line", lambda: re.search(
            r"Bound \((@\S+@127\.0\.0\.1:\d+)\)!", text_of(log)))
        if find(main_window, "label", bound.group(1)) is None:
            problems.append("the account's name is not shown")

        # A message box through the session: sending an empty status.
        press(main_window, "Mastodon", "check box")
        press(main_window, "Send", "push button")
        box = wait_for("the message box", lambda: window("Plumfinch"))
        if find(box, "label", "The status must not be empty!") is None:
            problems.append("message box: " + repr([a.name for a in box]))
        press(box, "OK", "push button")
        wait_for("the message box to close", lambda: window("Plumfinch") is None)

        # Posting.
        find(main_window, "text", "New status").queryEditableText().setTextContents(
            "Hello from Plumfinch")
        shoot(main_window, shots, "english-main-window.png", display)
        press(main_window, "Send", "push button")
        wait_for("the post's line", lambda: "Posted to Mastodon!" in text_of(log))
        for line in ("Binding to Mastodon...", "Checking the Mastodon length limit...",
                     "Posting to Mastodon..."):
            if line not in text_of(log):
                problems.append("status log: no line " + repr(line))

        # An alert: the first poll after the binding sets the baseline, the mentions after
        # it are new.
        if not find(main_window, "check box", "Alert: @me, messages").getState().contains(
                pyatspi.STATE_CHECKED):
            press(main_window, "Alert: @me, messages", "check box")
        wait_for("a Mastodon poll", lambda: any(
            r["path"] == "/api/v1/notifications" and r["status"] == 200
            for r in emulator.requests("mastodon")))
        emulator.post("/control/mastodon/notify", {"type": "mention", "count": 2})
        popup = wait_for("the alert", lambda: window("Mentions on Mastodon"))
        if "You have 2 new mention(s) on Mastodon" not in text_of(find(popup, "text")):
            problems.append("alert: " + repr(text_of(find(popup, "text"))))
        # The countdown shows from the first second on.
        wait_for("the countdown", lambda: re.fullmatch(r"This alert closes in \d+ s\.",
                                                       find(popup, "label").name))
        problems += chinese_in(popup)
        shoot(popup, shots, "english-alert.png", display)
        problems += chinese_in(main_window)
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        xvfb.terminate()
        xvfb.wait()
        emulator.close()
    for problem in problems:
        print(problem)
    print("FAILED" if problems else "every text in English")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
