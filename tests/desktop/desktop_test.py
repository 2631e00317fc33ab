#!/usr/bin/python3
"""The built program on a real X desktop (Xvfb + openbox), driven the way a desktop
drives it: through an XEmbed tray that is also a bottom panel (trayer), through a
StatusNotifierItem panel on a private session bus, and with no notification area at all.

    desktop_test.py [TestClass ...]     (PF_SOURCE_DIR, PF_BINARY_DIR name the trees)

PLUMFINCH_SCREENSHOTS=DIR keeps pictures of the tray menu and of an alert popup there.
"""
import json
import os
import pathlib
import signal
import subprocess
import sys
import time
import unittest

from desktop import (MAIN_TITLE, TRAY_HEIGHT, WAIT_S, Desktop, Emulator, Program,
                     read_settings, settings_folder, wait_for)

BOXES = ("AlertAtMe", "FollowingUpdate", "NewFans", "AutoRun", "SendToQQMB", "SendToSinaMB",
         "SendToSohuMB", "SendToTwitter", "SendToMastodon", "SendToBluesky")
# Two boxes differ from their defaults, so the file shows what the window held at exit.
SEEDED = "[Plumfinch]\nQQName=someone\nFollowingUpdate=1\nSendToSohuMB=1\n"
SHOTS = os.environ.get("PLUMFINCH_SCREENSHOTS")


class DesktopCase(unittest.TestCase):
    tray = None  # "xembed", "sni" or None

    @classmethod
    def setUpClass(cls):
        cls.desk = Desktop(cls.__name__)
        try:
            if cls.tray == "xembed":
                cls.desk.start_trayer()
            elif cls.tray == "sni":
                cls.desk.start_sni_host()
        except BaseException:
            cls.desk.close()  # tearDownClass does not run after a failed setUpClass
            raise

    @classmethod
    def tearDownClass(cls):
        cls.desk.close()

    def setUp(self):
        self.programs = []

    def tearDown(self):
        for p in self.programs:
            p.end()

    def launch(self, name, args=(), content=SEEDED, env=None):
        folder = settings_folder(self.desk.dir, name + "-%d" % len(self.programs), content)
        program = Program(self.desk, folder, args, env)
        program.folder = folder
        self.programs.append(program)
        return program

    def assert_boxes_saved(self, folder):
        values = read_settings(folder)
        self.assertEqual({k: values.get(k) for k in BOXES},
                         {"AlertAtMe": "1", "FollowingUpdate": "1", "NewFans": "1",
                          "AutoRun": "0", "SendToQQMB": "0", "SendToSinaMB": "0",
                          "SendToSohuMB": "1", "SendToTwitter": "0",
                          "SendToMastodon": "0", "SendToBluesky": "0"})
        self.assertEqual(values.get("QQName"), "someone")

    def activate(self, window):
        self.desk.xdotool("windowactivate", "--sync", window.id)

    # ---- the XEmbed tray ----------------------------------------------------------------
    def icon_of(self, program):
        return wait_for(lambda: (self.desk.tray_icons_of(program.pid) or [None])[0],
                        "the icon in the tray")

    def tray_menu(self, program, entry):
        """Right click on the icon, then a click on the menu's first entry (0) or its last
        (2, exit)."""
        # An icon the tray has only just embedded may miss a click (a slow build shows
        # it): like a person, click again when no menu has come.
        for attempt in range(4):
            x, y = self.desk.centre_of(self.icon_of(program))
            self.desk.xdotool("mousemove", x, y, "click", 3)
            try:
                menu = wait_for(lambda: self.desk.popup_menus(program.pid), "the tray menu",
                                timeout=WAIT_S / 4)[0]
                break
            except AssertionError:
                if attempt == 3:
                    raise
        if SHOTS and entry == 2:
            self.desk.screenshot(os.path.join(SHOTS, "tray-menu.png"))
        mx, my, width, height = self.desk.frame_rect(menu)
        # Two entries with a separator between them: each takes about two fifths.
        self.desk.xdotool("mousemove", mx + width // 2, my + height * (1 if entry == 0 else 4) // 5,
                          "click", 1)
        wait_for(lambda: not self.desk.popup_menus(program.pid), "the menu to close")

    def double_click(self, program):
        x, y = self.desk.centre_of(self.icon_of(program))
        # Clicks closer than the double-click time to the last ones would continue them.
        time.sleep(0.5)
        self.desk.xdotool("mousemove", x, y, "click", "--repeat", 2, "--delay", 80, 1)


class XEmbedTray(DesktopCase):
    tray = "xembed"

    def test_background_start_lives_hidden_and_the_icon_brings_it_back(self):
        program = self.launch("background", ["-background"])
        main = self.desk.main_window(program.pid)
        self.icon_of(program)
        self.desk.wait_state(main, "hidden")
        self.assertTrue(program.alive())

        self.double_click(program)
        self.desk.wait_state(main, "shown")
        self.double_click(program)
        self.desk.wait_state(main, "hidden")

        self.tray_menu(program, 0)  # 隐藏/显示窗口(&S)
        self.desk.wait_state(main, "shown")
        self.tray_menu(program, 0)
        self.desk.wait_state(main, "hidden")
        self.tray_menu(program, 0)
        self.desk.wait_state(main, "shown")

        self.desk.xdotool("windowminimize", main.id)
        self.desk.wait_state(main, "hidden")
        self.assertTrue(program.alive())
        self.double_click(program)
        self.desk.wait_state(main, "shown")

        self.tray_menu(program, 2)  # 退出(&X)
        self.assertEqual(program.wait_exit(), 0)
        self.assert_boxes_saved(program.folder)
        wait_for(lambda: not self.desk.tray_icons_of(program.pid), "the icon to go")

    def test_alert_popup_sits_bottom_right_of_the_work_area_above_the_panel(self):
        state = os.path.join(self.desk.dir, "emulator")
        os.makedirs(state)
        program_dir = settings_folder(self.desk.dir, "alert")
        emulator = Emulator(state, os.path.join(program_dir, "Services.ini"))
        self.addCleanup(emulator.close)
        # The Sina answer is set by a fault, so any stored token does.
        unread = {"comments": 0, "dm": 1, "mentions": 0, "new_status": 0, "followers": 0}
        emulator.post("/control/fault", {"service": "sina", "endpoint": "poll", "mode": "body",
                                         "body": json.dumps(unread)})
        with open(os.path.join(program_dir, "Setting.ini"), "w") as f:
            f.write("[Plumfinch]\nSinaName=新浪用户\nSinaAccessToken=t\nSinaAccessSecret=s\n"
                    "SinaUserID=1904178193\n")
        program = Program(self.desk, program_dir, ["-background"],
                          {"PLUMFINCH_POLL_INTERVAL_MS": "300"})
        self.programs.append(program)
        main = self.desk.main_window(program.pid)
        self.desk.wait_state(main, "hidden")
        wait_for(lambda: emulator.requests("sina"), "a first poll")
        unread["dm"] = 3
        emulator.post("/control/fault", {"service": "sina", "endpoint": "poll", "mode": "body",
                                         "body": json.dumps(unread)})

        def popup():
            for w in self.desk.windows_of(program.pid):
                if w.id != main.id and self.desk.state_of(w) == "shown":
                    return w
            return None
        wait_for(popup, "the alert popup")
        area = self.desk.work_area()
        width, height = self.desk.screen_size()
        self.assertEqual(area[3], height - TRAY_HEIGHT, "the panel reserves its strip")

        def placed():
            # Looked up each time: the toolkit may replace the window while placing it.
            window = popup()
            x, y, w, h = self.desk.frame_rect(window) if window else (0, 0, 0, 0)
            return (x + w, y + h) == (area[0] + area[2] - 15, area[1] + area[3] - 5)
        wait_for(placed, "the popup 15 px from the right and 5 px above the bottom of the "
                 "work area %s" % (area,))
        if SHOTS:
            self.desk.screenshot(os.path.join(SHOTS, "alert-above-panel.png"))
        program.proc.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait_exit(), 0)

    def test_start_at_logon_entry_starts_the_program_hidden_in_the_tray(self):
        program = self.launch("autostart")
        main = self.desk.main_window(program.pid)
        self.desk.wait_state(main, "shown")
        # The box "系统启动时自动启动" is the tenth stop from the focused Tencent button.
        self.activate(main)
        self.desk.xdotool("key", "--delay", 30, *(["Tab"] * 9), "space")
        entry = os.path.join(self.desk.env["XDG_CONFIG_HOME"], "autostart", "Quillmere.desktop")
        wait_for(lambda: os.path.exists(entry), "the start-at-logon entry")
        self.tray_menu(program, 2)
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(read_settings(program.folder)["AutoRun"], "1")

        # A session starts the entry as it is written.
        subprocess.run(["gio", "launch", entry], env=program.env, check=True, timeout=20)
        started = wait_for(lambda: [w for w in self.desk.windows_of(None, MAIN_TITLE)],
                           "the program started from the entry")
        pid = self.desk.pid_of(started[0])
        try:
            wait_for(lambda: self.desk.tray_icons_of(pid), "its icon in the tray")
            self.desk.wait_state(started[0], "hidden")
        finally:
            os.kill(pid, signal.SIGTERM)
        status = pathlib.Path("/proc/%d/status" % pid)
        wait_for(lambda: not status.exists() or "zombie" in status.read_text(),
                 "the program to end")

    def test_a_second_background_start_gives_two_icons_and_keeps_the_settings(self):
        first = self.launch("twice", ["-background"])
        second = Program(self.desk, first.folder, ["-background"])
        second.folder = first.folder
        self.programs.append(second)
        for program in (first, second):
            self.icon_of(program)
            self.desk.wait_state(self.desk.main_window(program.pid), "hidden")
        self.tray_menu(second, 2)
        self.assertEqual(second.wait_exit(), 0)
        self.assertTrue(first.alive())
        self.tray_menu(first, 2)
        self.assertEqual(first.wait_exit(), 0)
        self.assert_boxes_saved(first.folder)


class StatusNotifierPanel(DesktopCase):
    tray = "sni"

    def item_of(self, program):
        return wait_for(lambda: self.desk.sni_item_of(program.pid), "the item on the panel")

    def test_panel_activates_the_item_and_drives_its_menu(self):
        program = self.launch("sni", ["-background"])
        main = self.desk.main_window(program.pid)
        item = self.item_of(program)
        self.desk.wait_state(main, "hidden")
        self.assertTrue(program.alive())
        self.assertEqual(self.desk.sni_property(item, "Title"), "Plumfinch")

        path, entries = self.desk.sni_menu(item)
        self.assertEqual([label and label.replace("_", "&") for _, label in entries],
                         ["隐藏/显示窗口(&S)", None, "退出(&X)"])
        toggle, leave = entries[0][0], entries[2][0]

        # A click on the item, then its menu's first entry, each show and hide.
        self.desk.sni_activate(item)
        self.desk.wait_state(main, "shown")
        self.desk.sni_activate(item)
        self.desk.wait_state(main, "hidden")
        self.desk.sni_click(item, path, toggle)
        self.desk.wait_state(main, "shown")
        self.desk.xdotool("windowminimize", main.id)
        self.desk.wait_state(main, "hidden")
        self.assertTrue(program.alive())
        self.desk.sni_click(item, path, toggle)
        self.desk.wait_state(main, "shown")
        self.desk.sni_click(item, path, toggle)
        self.desk.wait_state(main, "hidden")

        # A panel that asks the item for its menu gets it drawn by the program.
        self.desk.sni_context_menu(item)
        wait_for(lambda: self.desk.popup_menus(program.pid), "the item's own menu")
        self.desk.xdotool("key", "Escape")
        wait_for(lambda: not self.desk.popup_menus(program.pid), "the menu to close")
        self.assertEqual(self.desk.state_of(main), "hidden")

        self.desk.sni_click(item, path, leave)
        self.assertEqual(program.wait_exit(), 0)
        self.assert_boxes_saved(program.folder)
        wait_for(lambda: not self.desk.sni_item_of(program.pid), "the item to leave")

    def test_a_panel_restart_shows_the_window_and_the_item_comes_back(self):
        program = self.launch("restart", ["-background"])
        main = self.desk.main_window(program.pid)
        self.item_of(program)
        self.desk.wait_state(main, "hidden")
        self.desk.stop_sni_host()
        self.desk.wait_state(main, "shown")
        self.desk.start_sni_host()
        item = self.item_of(program)
        self.desk.xdotool("windowminimize", main.id)
        self.desk.wait_state(main, "hidden")
        self.desk.sni_activate(item)
        self.desk.wait_state(main, "shown")
        program.proc.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait_exit(), 0)


class NoTray(DesktopCase):
    tray = None

    def test_without_a_tray_the_window_minimises_and_a_late_tray_takes_it(self):
        program = self.launch("late", ["-background"])
        main = self.desk.main_window(program.pid)
        self.desk.wait_state(main, "minimised")
        self.activate(main)
        self.desk.wait_state(main, "shown")
        self.desk.xdotool("windowminimize", main.id)
        self.desk.wait_state(main, "minimised")

        # The panel starts late: the icon goes in and the minimised window with it.
        self.desk.start_trayer()
        self.icon_of(program)
        self.desk.wait_state(main, "hidden")

        # The panel goes away: the window comes back; the icon returns with the panel.
        self.desk.stop_trayer()
        self.desk.wait_state(main, "shown")
        self.desk.start_trayer()
        self.icon_of(program)
        self.desk.xdotool("windowminimize", main.id)
        self.desk.wait_state(main, "hidden")
        self.desk.stop_trayer()
        self.desk.wait_state(main, "shown")

        self.desk.xdotool("windowminimize", main.id)
        self.desk.wait_state(main, "minimised")
        program.proc.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait_exit(), 0)
        self.assert_boxes_saved(program.folder)

    def test_a_tray_that_lets_go_of_its_selection_gives_the_window_back(self):
        # Its window lives on, so the toolkit still knows it as the tray: the X server's word
        # decides.
        program = self.launch("let-go", ["-background"])
        main = self.desk.main_window(program.pid)
        self.desk.wait_state(main, "minimised")
        self.desk.take_tray_selection()
        self.desk.wait_state(main, "hidden")
        self.desk.give_up_tray_selection()
        self.desk.wait_state(main, "shown")
        program.proc.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait_exit(), 0)


class Signals(DesktopCase):
    tray = "xembed"

    def test_sigterm_ends_a_binding_that_waits_on_a_silent_service(self):
        state = os.path.join(self.desk.dir, "emulator")
        os.makedirs(state)
        folder = settings_folder(self.desk.dir, "binding", SEEDED)
        emulator = Emulator(state, os.path.join(folder, "Services.ini"))
        self.addCleanup(emulator.close)
        emulator.post("/control/fault", {"service": "tencent", "endpoint": "request_token",
                                         "mode": "hang"})
        program = Program(self.desk, folder)
        self.programs.append(program)
        main = self.desk.main_window(program.pid)
        self.desk.wait_state(main, "shown")
        self.activate(main)
        self.desk.xdotool("key", "space")  # the Tencent bind button has the focus
        wait_for(lambda: [r for r in emulator.requests("tencent")
                          if r["endpoint"] == "request_token"], "the request to arrive")
        started = time.monotonic()
        program.proc.send_signal(signal.SIGTERM)
        # The request would wait for its 30 s stall limit: the signal must not.
        self.assertEqual(program.wait_exit(timeout=5), 0)
        print("SIGTERM during a binding: ended after %.2f s" % (time.monotonic() - started),
              file=sys.stderr)
        self.assert_boxes_saved(folder)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
