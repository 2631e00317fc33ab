#!/usr/bin/python3
"""What a screen reader meets in the main window and in the proxy dialog.

Runs the built program on a private X server and reads every control through AT-SPI,
the way Orca does: its role and its name. It runs itself again inside a private session
bus (dbus-run-session), which starts the accessibility bus on demand.
Usage: atspi_roles.py PROGRAM
"""
import os
import signal
import subprocess
import sys
from collections import Counter

from atspi_session import pyatspi, press, start_xvfb, wait_for  # noqa: E402 (first)

# (role, name) of every control, as many times as it occurs. Edits are named after the
# label beside them or the group box they open; "&" of a caption is not read out.
MAIN_WINDOW = [
    ("panel", "绑定微博"), ("panel", "状态日志"), ("panel", "已绑定"), ("panel", "设置"),
    ("panel", "发微博"),
    ("push button", "新浪"), ("push button", "腾讯"), ("push button", "搜狐"),
    ("push button", "Twitter"), ("push button", "Mastodon"), ("push button", "Bluesky"),
    ("push button", "浏览..."),
    ("push button", "发表(S)"),
    ("text", "状态日志"), ("text", "发微博"), ("text", "图片"),
    ("label", "腾讯账号:"), ("label", "新浪账号:"), ("label", "搜狐账号:"), ("label", "Twitter:"),
    ("label", "Mastodon:"), ("label", "Bluesky:"), ("label", "未绑定"), ("label", "未绑定"),
    ("label", "未绑定"), ("label", "未绑定"), ("label", "未绑定"), ("label", "未绑定"),
    ("label", "图片:"),
    ("check box", "收到@我消息或私信时提醒"), ("check box", "我关注的微博有更新提醒"),
    ("check box", "当有新粉丝/听众时提醒"), ("check box", "系统启动时自动启动"),
    ("check box", "新浪微博"), ("check box", "腾讯微博"), ("check box", "搜狐微博"),
    ("check box", "发到Twitter"), ("check box", "发到Mastodon"), ("check box", "发到Bluesky"),
    ("menu bar", ""),
    ("menu item", "文件(F)"), ("menu item", "设置(S)"), ("menu item", "快速访问(V)"),
    ("menu item", "帮助(H)"),
]
PROXY_DIALOG = [
    ("panel", "代理应用范围"), ("panel", "代理类型"), ("panel", "代理地址"),
    ("radio button", "全部不使用代理直接连接"), ("radio button", "只为Twitter使用代理 其它直连"),
    ("radio button", "全部使用代理连接服务器"),
    ("radio button", "HTTP"), ("radio button", "SOCKS4"), ("radio button", "SOCKS5"),
    ("label", "地址:"), ("text", "地址"), ("label", "端口:"), ("text", "端口"),
    ("push button", "确定"), ("push button", "取消"),
]
# With no settings the proxy is off and of type HTTP: one button of each group is checked.
PROXY_CHECKED = {"全部不使用代理直接连接", "HTTP"}
# Roles that stand for controls; frames, fillers and scroll bars are the toolkit's own.
CONTROL_ROLES = {"panel", "push button", "text", "label", "check box", "radio button",
                 "menu bar", "menu item"}


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Plumfinch":
            return app
    return None


def window(app, name):
    for w in app:
        if w is not None and w.name == name and w.getState().contains(pyatspi.STATE_SHOWING):
            return w
    return None


def controls(node):
    """(role, name, accessible) of every control below node; menus are not opened."""
    found = []
    for child in node:
        role = child.getRoleName()
        if role in CONTROL_ROLES:
            found.append((role, child.name, child))
        if role not in ("popup menu", "text"):
            found.extend(controls(child))
    return found


def compare(title, expected, actual):
    want, got = Counter(expected), Counter((r, n) for r, n, _ in actual)
    if want == got:
        return True
    print(f"{title}: missing {sorted((want - got).elements())}, "
          f"unexpected {sorted((got - want).elements())}")
    return False


def main():
    program = sys.argv[1]
    xvfb, display = start_xvfb()
    folder = os.path.join(os.environ["PF_A11Y_SESSION"], "settings")
    os.makedirs(folder)
    # Every service and the public-address page on a closed local port: nothing leaves.
    with open(os.path.join(folder, "Services.ini"), "w") as f:
        f.write("[Hosts]\nIpEchoUrl=http://127.0.0.1:9/getip.asp\nTencentOpen=127.0.0.1:9\n"
                "SinaApi=127.0.0.1:9\nSohuApi=127.0.0.1:9\nTwitterApi=127.0.0.1:9\n"
                "Mastodon=127.0.0.1:9\nBluesky=127.0.0.1:9\n")
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
               PLUMFINCH_CONFIG_DIR=folder)
    proc = subprocess.Popen([program], env=env)
    ok = False
    try:
        app = wait_for("the program", application)
        main_window = wait_for("the main window", lambda: window(app, "Plumfinch v1.1"))
        ok = compare("main window", MAIN_WINDOW, controls(main_window))

        press(main_window, "代理设置(P)")
        dialog = wait_for("the proxy dialog", lambda: window(app, "代理设置"))
        found = controls(dialog)
        ok = compare("proxy dialog", PROXY_DIALOG, found) and ok
        # Pressing a radio button checks it and clears the rest of its group only.
        for press_first, expected in ((None, PROXY_CHECKED),
                                      ("SOCKS5", {"全部不使用代理直接连接", "SOCKS5"})):
            if press_first:
                press(dialog, press_first)
            checked = {n for r, n, a in found
                       if r == "radio button" and a.getState().contains(pyatspi.STATE_CHECKED)}
            if checked != expected:
                print(f"proxy dialog: checked radio buttons {sorted(checked)}, "
                      f"expected {sorted(expected)}")
                ok = False
        for r, n, a in found:
            if r == "text":
                labels = [t.name for rel in a.getRelationSet()
                          if rel.getRelationType() == pyatspi.RELATION_LABELLED_BY
                          for t in (rel.getTarget(i) for i in range(rel.getNTargets()))]
                if labels != [n + ":"]:
                    print(f"proxy dialog: field {n} is labelled by {labels}")
                    ok = False
        press(dialog, "取消")
        wait_for("the proxy dialog to close", lambda: window(app, "代理设置") is None)

        # Ticking a box through its action works as a click does: the start-at-logon box
        # writes and removes the autostart entry.
        entry = os.path.join(os.environ["XDG_CONFIG_HOME"], "autostart", "Quillmere.desktop")
        for expected in (True, False):
            press(main_window, "系统启动时自动启动")
            if os.path.exists(entry) != expected:
                state = "missing" if expected else "left behind"
                print("start-at-logon box pressed: autostart entry " + state)
                ok = False
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        xvfb.terminate()
        xvfb.wait()
    print("roles and names as expected" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
