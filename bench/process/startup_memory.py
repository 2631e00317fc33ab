#!/usr/bin/python3
"""Whole-process start-up and memory: Plumfinch against a minimal Qt 6 tray dialog.

Starts a private Xvfb (free display via -displayfd) with a tray (trayer), then runs the
two programs alternately, each with a fresh HOME, and reports the medians and the ratio
Plumfinch / minimal of:
  - time from the start of the process to its main window mapped on the X server
    (map_timer, which watches MapNotify through xcb);
  - RSS, PSS and anonymous memory after settling (smaps_rollup), and threads;
  - CPU time (user + system) the process used up to then.
Plumfinch gets a settings folder whose Services.ini sends every host to a closed
loopback port, so nothing leaves the machine.

  bench/process/startup_memory.py [--build DIR] [--rounds N] [--settle SECONDS]
                                  [--also NAME=PROGRAM]...
--also adds another build of Plumfinch to the same interleaved rounds (same settings
folder), e.g. the program before a change, so before and after see the same load.
Installs the Debian packages it needs (xvfb, trayer) when they are missing; build the
targets plumfinch, minimal_tray_dialog and map_timer first.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

PACKAGES = ["xvfb", "xauth", "trayer", "x11-utils", "libxcb1-dev"]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def ensure_packages():
    missing = []
    for p in PACKAGES:
        r = subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True, text=True)
        if "install ok installed" not in r.stdout:
            missing.append(p)
    if missing:
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        sudo = [] if os.geteuid() == 0 else ["sudo"]
        subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True, env=env)
        subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "--no-install-recommends"] + missing,
                       check=True, env=env)


def start_x():
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"], pass_fds=(w,), stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise SystemExit("Xvfb did not start")
        number += chunk
    os.close(r)
    display = ":" + number.decode().strip()
    tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                             "--height", "24"], env=dict(os.environ, DISPLAY=display),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    return xvfb, tray, display


def smaps(pid):
    values = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 3 and parts[0].endswith(":"):
                values[parts[0][:-1]] = int(parts[1])  # kB
    return values


def cpu_ms(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime
    return ticks * 1000.0 / os.sysconf("SC_CLK_TCK")


def threads(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("Threads:"):
                return int(line.split()[1])
    return 0


def run_once(name, argv, display, settle, map_timer):
    home = tempfile.mkdtemp(prefix=f"startup-{name}-")
    runtime = os.path.join(home, "run")
    os.mkdir(runtime, 0o700)
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("QT_", "DBUS_", "XDG_", "PLUMFINCH_"))}
    env.update(HOME=home, DISPLAY=display, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb")
    if name == "plumfinch" or name.startswith("also:"):
        config = os.path.join(home, "plumfinch")
        os.mkdir(config, 0o700)
        hosts = ["TencentOpen", "TencentOpenSecure", "TencentWeb", "SinaApi", "SinaWeb", "SohuApi",
                 "SohuWeb", "TwitterApi", "TwitterWeb"]
        with open(os.path.join(config, "Services.ini"), "w") as f:
            f.write("[Hosts]\r\n" + "".join(f"{h}=127.0.0.1:9\r\n" for h in hosts)
                    + "IpEchoUrl=http://127.0.0.1:9/getip.asp\r\n")
        env["PLUMFINCH_CONFIG_DIR"] = config
    timer = subprocess.Popen([map_timer, "30"] + argv, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    line = timer.stdout.readline().split()
    if len(line) != 2:
        timer.wait()
        shutil.rmtree(home, ignore_errors=True)
        raise SystemExit(f"{name}: no window mapped")
    pid, mapped_ms = int(line[0]), float(line[1])
    time.sleep(settle)
    m = smaps(pid)
    result = {"map_ms": mapped_ms, "rss": m.get("Rss", 0) / 1024.0, "pss": m.get("Pss", 0) / 1024.0,
              "anon": m.get("Anonymous", 0) / 1024.0, "cpu_ms": cpu_ms(pid), "threads": threads(pid)}
    os.kill(pid, signal.SIGTERM)
    try:
        timer.wait(timeout=10)
    except subprocess.TimeoutExpired:
        os.kill(pid, signal.SIGKILL)
        timer.wait()
    shutil.rmtree(home, ignore_errors=True)
    return result


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--rounds", type=int, default=15)
    ap.add_argument("--settle", type=float, default=3.0)
    ap.add_argument("--also", action="append", default=[], metavar="NAME=PROGRAM",
                    help="another Plumfinch build to run in the same rounds")
    args = ap.parse_args()
    ensure_packages()
    programs = {
        "plumfinch": [os.path.join(args.build, "plumfinch")],
        "minimal": [os.path.join(args.build, "bench", "process", "minimal_tray_dialog")],
    }
    for extra in args.also:
        label, _, path = extra.partition("=")
        if not path:
            raise SystemExit(f"--also wants NAME=PROGRAM, not {extra}")
        programs["also:" + label] = [os.path.abspath(path)]
    map_timer = os.path.join(args.build, "bench", "process", "map_timer")
    for path in [map_timer] + [p[0] for p in programs.values()]:
        if not os.access(path, os.X_OK):
            raise SystemExit(f"missing {path}: build the targets plumfinch, minimal_tray_dialog, map_timer")

    xvfb, tray, display = start_x()
    results = {name: [] for name in programs}
    try:
        for round_ in range(args.rounds + 1):
            order = list(programs) if round_ % 2 == 0 else list(reversed(list(programs)))
            for name in order:
                r = run_once(name, programs[name], display, args.settle, map_timer)
                if round_ > 0:  # the first round warms the disk cache and fonts
                    results[name].append(r)
    finally:
        for p in (tray, xvfb):
            p.terminate()
            p.wait()

    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    print(f"rounds: {args.rounds} (interleaved, after one warm-up round), settle {args.settle:.1f} s, "
          f"display {display}, load average {' '.join(load)}")
    extras = [n for n in programs if n.startswith("also:")]
    header = f"{'':28} {'plumfinch':>10} {'minimal':>10} {'ratio':>7}"
    for n in extras:
        header += f" {n[5:]:>10} {'ratio':>7}"
    print(header)
    rows = [("start to window mapped, ms", "map_ms"), ("RSS after settling, MiB", "rss"),
            ("PSS, MiB", "pss"), ("anonymous, MiB", "anon"), ("start-up CPU (user+sys), ms", "cpu_ms"),
            ("threads", "threads")]
    for label, key in rows:
        a = statistics.median(r[key] for r in results["plumfinch"])
        b = statistics.median(r[key] for r in results["minimal"])
        line = f"{label:28} {a:10.1f} {b:10.1f} {a / b if b else float('nan'):7.2f}"
        for n in extras:
            c = statistics.median(r[key] for r in results[n])
            line += f" {c:10.1f} {c / b if b else float('nan'):7.2f}"
        print(line)


if __name__ == "__main__":
    sys.exit(main())
