"""A desktop for the real-desktop tests: a private X server (Xvfb) with a window manager
that keeps a work area (openbox), an XEmbed tray that is also a bottom panel reserving its
strip of the screen (trayer), a private D-Bus session bus with a StatusNotifierItem panel
(sni_host.py), and the built program running in it. Every wait is for a condition.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

from gi.repository import Gio, GLib
from Xlib import X, display as xdisplay
from Xlib.protocol import request

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("PF_SOURCE_DIR", os.path.join(HERE, "..", ".."))
BINARY_DIR = os.environ.get("PF_BINARY_DIR", os.path.join(SOURCE_DIR, "build"))
PROGRAM = os.environ.get("PLUMFINCH_PROGRAM", os.path.join(BINARY_DIR, "plumfinch"))
MAIN_TITLE = "Plumfinch v1.1"
TRAY_HEIGHT = 24
WAIT_S = 20

# WM_STATE values (ICCCM): a hidden window is withdrawn, a minimised one iconic.
WITHDRAWN, NORMAL, ICONIC = 0, 1, 3


def wait_for(pred, what, timeout=WAIT_S, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = pred()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


class Desktop:
    """Xvfb + openbox, and on request trayer, a session bus and a StatusNotifierItem
    panel. Every process it starts is ended by its pid in close()."""

    def __init__(self, name):
        parent = os.environ.get("PLUMFINCH_TEST_TMP")
        if parent:
            os.makedirs(parent, exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix="pf-desktop-%s-" % name, dir=parent)
        self.procs = {}
        self.env = dict(os.environ)
        for key in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER"):
            self.env.pop(key, None)
        runtime = os.path.join(self.dir, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.env.update(XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(self.dir, "xdg"),
                        QT_QPA_PLATFORM="xcb", NO_AT_BRIDGE="1")
        self.x = None
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    def _start(self):
        self._start_x()
        self.x = xdisplay.Display(self.env["DISPLAY"])
        self.root = self.x.screen().root
        self.atom = lambda name: self.x.intern_atom(name)
        self.start("openbox", ["openbox", "--sm-disable"])
        wait_for(lambda: self.root.get_full_property(self.atom("_NET_SUPPORTING_WM_CHECK"),
                                                     X.AnyPropertyType), "openbox")
        # A private session bus, so nothing reaches the machine's own desktop.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                "--print-address=1"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=self.env)
        self.procs["dbus"] = bus
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        self.bus = Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

    def _start_x(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp"], pass_fds=(write_fd,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.procs["xvfb"] = xvfb
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def start(self, key, argv, **kw):
        proc = subprocess.Popen(argv, env=kw.pop("env", self.env), stdout=kw.pop("stdout",
                                subprocess.DEVNULL), stderr=subprocess.DEVNULL, **kw)
        self.procs[key] = proc
        return proc

    def stop(self, key, sig=signal.SIGTERM):
        proc = self.procs.pop(key, None)
        if proc and proc.poll() is None:
            proc.send_signal(sig)
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if proc and proc.stdout:
            proc.stdout.close()

    def close(self):
        for key in [k for k in self.procs if k not in ("xvfb", "dbus")]:
            self.stop(key)
        if self.x:
            self.x.close()
        self.stop("dbus")
        self.stop("xvfb")
        shutil.rmtree(self.dir, ignore_errors=True)

    # ---- notification areas -----------------------------------------------------------
    def start_trayer(self):
        """trayer as a bottom panel: an XEmbed tray that reserves its strip (a strut)."""
        self.start("trayer", ["trayer", "--edge", "bottom", "--align", "right",
                              "--widthtype", "request", "--height", str(TRAY_HEIGHT),
                              "--SetDockType", "true", "--SetPartialStrut", "true",
                              "--transparent", "false", "--tint", "0x303030"])
        selection = self.atom("_NET_SYSTEM_TRAY_S0")
        wait_for(lambda: self.x.get_selection_owner(selection) != X.NONE, "the XEmbed tray")

    def stop_trayer(self):
        self.stop("trayer")
        selection = self.atom("_NET_SYSTEM_TRAY_S0")
        wait_for(lambda: self.x.get_selection_owner(selection) == X.NONE, "the tray to go")

    def take_tray_selection(self):
        """A tray of this process's own: a window that owns the XEmbed tray selection and
        embeds nothing."""
        selection = self.atom("_NET_SYSTEM_TRAY_S0")
        self.tray_window = self.root.create_window(0, 0, 1, 1, 0, X.CopyFromParent,
                                                   X.InputOnly, X.CopyFromParent)
        self.tray_window.set_selection_owner(selection, X.CurrentTime)
        wait_for(lambda: self.x.get_selection_owner(selection) == self.tray_window,
                 "the selection to be ours")

    def give_up_tray_selection(self):
        """That tray lets go of the selection and keeps its window, as a panel does whose
        notification area is taken off it."""
        selection = self.atom("_NET_SYSTEM_TRAY_S0")
        request.SetSelectionOwner(display=self.x.display, onerror=None, window=X.NONE,
                                  selection=selection, time=X.CurrentTime)
        wait_for(lambda: self.x.get_selection_owner(selection) == X.NONE, "the tray to go")

    def start_sni_host(self):
        host = self.start("sni", ["/usr/bin/python3", os.path.join(HERE, "sni_host.py")],
                          stdout=subprocess.PIPE)
        if host.stdout.readline().strip() != b"READY":
            raise RuntimeError("the StatusNotifierItem panel did not start")

    def stop_sni_host(self):
        self.stop("sni")
        wait_for(lambda: not self.name_has_owner("org.kde.StatusNotifierWatcher"),
                 "the panel to leave the bus")

    # ---- D-Bus, the way a panel talks to an item --------------------------------------
    def call(self, dest, path, iface, method, args=None, reply=None):
        result = self.bus.call_sync(dest, path, iface, method, args,
                                    GLib.VariantType(reply) if reply else None,
                                    Gio.DBusCallFlags.NONE, 5000, None)
        return result.unpack() if result is not None else None

    def name_has_owner(self, name):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "NameHasOwner", GLib.Variant("(s)", (name,)), "(b)")[0]

    def sni_items(self):
        """The items registered with the panel, as (bus name, object path)."""
        if not self.name_has_owner("org.kde.StatusNotifierWatcher"):
            return []
        items = self.call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                          "org.freedesktop.DBus.Properties", "Get",
                          GLib.Variant("(ss)", ("org.kde.StatusNotifierWatcher",
                                                "RegisteredStatusNotifierItems")), "(v)")[0]
        return [tuple(item.split("/", 1)) for item in items]

    def sni_item_of(self, pid):
        def find():
            for name, path in self.sni_items():
                owner = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                  GLib.Variant("(s)", (name,)), "(u)")[0]
                if owner == pid:
                    return name, "/" + path
            return None
        return find()

    def sni_property(self, item, prop):
        return self.call(item[0], item[1], "org.freedesktop.DBus.Properties", "Get",
                         GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", prop)), "(v)")[0]

    def sni_activate(self, item):
        self.call(item[0], item[1], "org.kde.StatusNotifierItem", "Activate",
                  GLib.Variant("(ii)", (900, 750)))

    def sni_context_menu(self, item):
        self.call(item[0], item[1], "org.kde.StatusNotifierItem", "ContextMenu",
                  GLib.Variant("(ii)", (900, 750)))

    def sni_menu(self, item):
        """The item's menu as a panel reads it: [(id, label or None for a separator)]."""
        path = self.sni_property(item, "Menu")
        _, layout = self.call(item[0], path, "com.canonical.dbusmenu", "GetLayout",
                              GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")
        entries = []
        for child in layout[2]:
            ident, props, _ = child
            entries.append((ident, None if props.get("type") == "separator"
                            else props.get("label")))
        return path, entries

    def sni_click(self, item, menu_path, ident):
        self.call(item[0], menu_path, "com.canonical.dbusmenu", "Event",
                  GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("s", ""), 0)))

    # ---- X windows ----------------------------------------------------------------------
    def _clients(self, window=None):
        window = window or self.root
        try:
            children = window.query_tree().children
        except Exception:
            return
        for child in children:
            yield child
            yield from self._clients(child)

    def prop(self, window, name, kind=X.AnyPropertyType):
        try:
            p = window.get_full_property(self.atom(name), kind)
        except Exception:
            return None
        return p.value if p else None

    def pid_of(self, window):
        value = self.prop(window, "_NET_WM_PID")
        return int(value[0]) if value is not None and len(value) else None

    def windows_of(self, pid, title=None):
        """Client windows (those with WM_CLASS) of a process (of any, for None), optionally
        by title."""
        found = []
        for w in self._clients():
            if pid is not None and self.pid_of(w) != pid or self.prop(w, "WM_CLASS") is None:
                continue
            name = self.prop(w, "_NET_WM_NAME")
            name = name.decode() if isinstance(name, bytes) else name
            if title is None or name == title:
                found.append(w)
        return found

    def main_window(self, pid):
        return wait_for(lambda: (self.windows_of(pid, MAIN_TITLE) or [None])[0],
                        "the main window of %d" % pid)

    def wm_state(self, window):
        value = self.prop(window, "WM_STATE")
        return int(value[0]) if value is not None and len(value) else WITHDRAWN

    def is_viewable(self, window):
        try:
            return window.get_attributes().map_state == X.IsViewable
        except Exception:
            return False

    def state_of(self, window):
        """'shown', 'minimised' or 'hidden', as the window manager sees the window."""
        state = self.wm_state(window)
        if state == ICONIC:
            return "minimised"
        if state == NORMAL and self.is_viewable(window):
            return "shown"
        return "hidden" if state == WITHDRAWN else "other"

    def wait_state(self, window, state):
        wait_for(lambda: self.state_of(window) == state, "the window to be " + state)

    def tray_icons_of(self, pid):
        """XEmbed icons of a process docked in the tray (reparented into trayer)."""
        icons = []
        trayer = self.procs.get("trayer")
        if not trayer:
            return icons
        for w in self._clients():
            # Every window of the toolkit says it can be embedded; an icon is the one that
            # the window manager never took (no WM_STATE).
            if self.pid_of(w) != pid or self.prop(w, "_XEMBED_INFO") is None or \
                    self.prop(w, "WM_STATE") is not None:
                continue
            try:
                parent = w.query_tree().parent
            except Exception:
                continue
            if parent.id != self.root.id and self.is_viewable(w):
                icons.append(w)
        return icons

    def centre_of(self, window):
        g = window.get_geometry()
        pos = window.translate_coords(self.root, 0, 0)
        return -pos.x + g.width // 2, -pos.y + g.height // 2

    def frame_rect(self, window):
        """The window with its frame, in root coordinates: (x, y, width, height)."""
        g = window.get_geometry()
        pos = window.translate_coords(self.root, 0, 0)
        x, y = -pos.x, -pos.y
        extents = self.prop(window, "_NET_FRAME_EXTENTS")
        left, right, top, bottom = (list(extents) + [0, 0, 0, 0])[:4] if extents is not None \
            else (0, 0, 0, 0)
        return x - left, y - top, g.width + left + right, g.height + top + bottom

    def work_area(self):
        return tuple(self.prop(self.root, "_NET_WORKAREA")[:4])

    def screen_size(self):
        s = self.x.screen()
        return s.width_in_pixels, s.height_in_pixels

    def popup_menus(self, pid):
        """Mapped override-redirect windows of a process: its open popup menus."""
        menus = []
        for w in self.root.query_tree().children:
            try:
                a = w.get_attributes()
            except Exception:
                continue
            if a.override_redirect and a.map_state == X.IsViewable and self.pid_of(w) == pid:
                menus.append(w)
        return menus

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)


class Program:
    """The built program in a desktop, with its own settings folder."""

    def __init__(self, desktop, config_dir, args=(), env=None):
        self.desktop = desktop
        self.env = dict(desktop.env, PLUMFINCH_CONFIG_DIR=config_dir, **(env or {}))
        # What the program prints goes to a file (a pipe nobody reads could fill up).
        self.log = os.path.join(config_dir, "program-%d.log" % len(os.listdir(config_dir)))
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen([PROGRAM] + list(args), env=self.env,
                                         stdout=subprocess.DEVNULL, stderr=log)
        self.pid = self.proc.pid

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=10):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def end(self):
        if self.alive():
            self.proc.kill()
            self.proc.wait()
        with open(self.log, errors="replace") as f:
            text = f.read()
        if "Sanitizer" in text:  # a sanitizer's report is the reason for any failure
            sys.stderr.write(text[-6000:])


def settings_folder(root, name, content=""):
    folder = os.path.join(root, name)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "Services.ini"), "w") as f:
        # Every service on a closed loopback port: nothing leaves the machine.
        f.write("[Hosts]\nIpEchoUrl=http://127.0.0.1:9/getip.asp\nTencentOpen=127.0.0.1:9\n"
                "TencentOpenSecure=127.0.0.1:9\nSinaApi=127.0.0.1:9\nSohuApi=127.0.0.1:9\n"
                "TwitterApi=127.0.0.1:9\n")
    if content:
        with open(os.path.join(folder, "Setting.ini"), "w") as f:
            f.write(content)
    return folder


def read_settings(folder):
    values = {}
    with open(os.path.join(folder, "Setting.ini"), encoding="utf-8-sig") as f:
        for line in f:
            if "=" in line:
                key, value = line.strip().split("=", 1)
                values[key] = value
    return values


# Loopback only: never through a proxy named in the environment.
_OPENER = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class Emulator:
    """The service emulator, writing Services.ini into a settings folder."""

    def __init__(self, state_dir, services_ini):
        ready = os.path.join(state_dir, "ready.json")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(SOURCE_DIR, "emulator", "plumfinch_emulator.py"),
             "--state-dir", state_dir, "--ready-file", ready, "--services-ini", services_ini],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(ready) or self.proc.poll() is not None, "the emulator")
        with open(ready) as f:
            self.control = json.load(f)["control"]

    def post(self, path, body):
        request = urllib.request.Request(self.control + path, data=json.dumps(body).encode(),
                                         headers={"Content-Type": "application/json"})
        with _OPENER.open(request, timeout=10) as r:
            return json.load(r)

    def requests(self, service):
        with _OPENER.open(self.control + "/control/requests?service=" + service,
                          timeout=10) as r:
            return json.load(r)["requests"]

    def close(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
