#!/usr/bin/python3
"""Local stand-in for Tencent Weibo, Sina Weibo, Sohu Weibo, Twitter, a Mastodon server
and the IP-echo page, on loopback, with a control interface for tests and a page for the
demo.

    /usr/bin/python3 emulator/plumfinch_emulator.py --state-dir DIR
        [--ready-file FILE] [--services-ini FILE] [--base-port N] [--verbose]

Every role listens on its own 127.0.0.1 port; when all listen, FILE gets the ports as
JSON and "READY" is printed. SIGTERM or SIGINT ends it cleanly. See README.md.
"""
import argparse
import json
import os
import signal
import ssl
import subprocess
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pfemu.control import ControlApp  # noqa: E402
from pfemu.httpcore import RoleServer  # noqa: E402
from pfemu.bluesky import BlueskyApp  # noqa: E402
from pfemu.mastodon import MastodonApp  # noqa: E402
from pfemu.services import MASTODON_ROLES, ROLES, ServiceApp  # noqa: E402
from pfemu.state import State  # noqa: E402
from pfemu import x_api  # noqa: E402

INI_HOSTS = (("TencentOpen", "tencent_open"), ("TencentOpenSecure", "tencent_open_tls"),
             ("TencentWeb", "tencent_web"), ("SinaApi", "sina_api"), ("SinaWeb", "sina_web"),
             ("SohuApi", "sohu_api"), ("SohuWeb", "sohu_web"), ("TwitterApi", "twitter_api"),
             ("TwitterWeb", "twitter_web"), ("Mastodon", "mastodon"), ("Bluesky", "bluesky"))


def write_atomically(path, text):
    path = os.path.abspath(path)
    tmp = "%s.tmp.%d" % (path, os.getpid())
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)


EC_KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"]
RSA_KEY = ["-newkey", "rsa:2048"]


def make_certificates(state_dir, names):
    """{name: (cert, key)}: for each name a self-signed certificate for 127.0.0.1
    (subjectAltName IP:127.0.0.1) with a key of its own, as DIR/<name>.pem and
    DIR/<name>-key.pem ("cert" keeps key.pem). The openssl runs go side by side."""
    def files(name):
        return (os.path.join(state_dir, name + ".pem"),
                os.path.join(state_dir, "key.pem" if name == "cert" else name + "-key.pem"))

    def command(name, keyargs):
        cert, key = files(name)
        return (["openssl", "req", "-x509"] + keyargs + [
            "-nodes", "-keyout", key, "-out", cert, "-days", "3650", "-subj", "/CN=127.0.0.1",
            "-addext", "subjectAltName=IP:127.0.0.1"])

    # An EC key is made in a few milliseconds; RSA is the fallback.
    runs = {name: subprocess.Popen(command(name, EC_KEY), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE) for name in names}
    made = {}
    for name, run in runs.items():
        run.communicate()
        if run.returncode != 0:
            result = subprocess.run(command(name, RSA_KEY), stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE)
            if result.returncode != 0:
                raise RuntimeError("openssl could not make a certificate: %s"
                                   % result.stderr.decode(errors="replace"))
        cert, key = files(name)
        os.chmod(key, 0o600)
        made[name] = (cert, key)
    return made


def services_ini(ports, ca_file, twitter_api=2):
    """With twitter_api 2 the Twitter host is X's interface (x_api) with its consumer pair;
    with 1 the original one."""
    lines = ["[Hosts]"]
    for key, role in INI_HOSTS:
        if key == "TwitterApi" and twitter_api == 2:
            role = x_api.ROLE
        lines.append("%s=127.0.0.1:%d" % (key, ports[role]))
    lines.append("IpEchoUrl=http://127.0.0.1:%d/getip.asp" % ports["ipecho"])
    lines += ["", "[TLS]", "CAFile=%s" % ca_file, "", "[Twitter]", "Api=%d" % twitter_api]
    if twitter_api == 2:
        lines += ["", "[Consumers]", "TwitterKey=%s" % x_api.CONSUMER[0],
                  "TwitterSecret=%s" % x_api.CONSUMER[1]]
    lines.append("")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--ready-file")
    parser.add_argument("--services-ini")
    parser.add_argument("--base-port", type=int, default=0)
    parser.add_argument("--twitter-api", type=int, choices=(1, 2), default=2,
                        help="the Twitter interface Services.ini chooses (default 2: X's)")
    parser.add_argument("--verbose", action="store_true", help="log every request to stderr")
    args = parser.parse_args()

    state_dir = os.path.abspath(args.state_dir)
    os.makedirs(state_dir, exist_ok=True)
    if args.ready_file and os.path.exists(args.ready_file):
        os.remove(args.ready_file)  # never leave a stale one from an earlier run

    # "badcert" is valid for 127.0.0.1 too, but signed by nobody the CA file names: a
    # client that verifies TLS must refuse the mastodon_badcert port.
    certificates = make_certificates(state_dir, ("cert", "badcert"))
    cert = certificates["cert"][0]
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(*certificates["cert"])
    bad_tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    bad_tls.load_cert_chain(*certificates["badcert"])
    role_tls = {"tencent_open_tls": tls, "mastodon": tls, "mastodon_badcert": bad_tls,
                "bluesky": tls, x_api.ROLE: tls}

    state = State(state_dir)
    ports = {}
    servers = []
    try:
        for offset, role in enumerate(ROLES + (x_api.ROLE,)):
            port = args.base_port + offset if args.base_port else 0
            server = RoleServer(role, port, None, role_tls.get(role), args.verbose)
            ports[role] = server.server_address[1]
            servers.append(server)
    except OSError as e:
        sys.stderr.write("cannot listen on 127.0.0.1 (%s): %s\n" % (role, e))
        for s in servers:
            s.server_close()
        return 1
    for server in servers:
        if server.role == "control":
            server.app = ControlApp(state, ports)
        elif server.role == "bluesky":
            server.app = BlueskyApp(state, server.role, ports)
        elif server.role == x_api.ROLE:
            server.app = x_api.XApp(state, server.role, ports)
        elif server.role in MASTODON_ROLES:
            server.app = MastodonApp(state, server.role, ports)
        else:
            server.app = ServiceApp(state, server.role, ports)

    stop = threading.Event()

    def on_signal(signum, frame):
        stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    threads = []
    for server in servers:
        t = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                             name="serve-" + server.role, daemon=True)
        t.start()
        threads.append(t)

    if args.services_ini:
        write_atomically(args.services_ini, services_ini(ports, cert, args.twitter_api))
    if args.ready_file:
        write_atomically(args.ready_file, json.dumps({
            "ports": ports, "ca_file": cert, "pid": os.getpid(),
            "control": "http://127.0.0.1:%d" % ports["control"]}, indent=1))
    print("READY", flush=True)

    while not stop.wait(0.1):
        pass

    # Let requests held by "hang" go, stop every accept loop at once, close the ports.
    state.shutdown()
    stoppers = [threading.Thread(target=s.shutdown) for s in servers]
    for t in stoppers:
        t.start()
    for t in stoppers:
        t.join(2.0)
    for s in servers:
        s.server_close()
    if args.ready_file:
        try:
            os.remove(args.ready_file)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
