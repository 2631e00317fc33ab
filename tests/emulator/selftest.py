#!/usr/bin/python3
"""Self-test of the service emulator: starts it, talks to it over real HTTP/TLS with
requests signed by oauthlib's own Client, and checks what it answers and records."""
import hashlib
import http.client
import json
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

from oauthlib.oauth1 import Client

HERE = os.path.dirname(os.path.abspath(__file__))
EMULATOR = os.path.join(HERE, "..", "..", "emulator", "plumfinch_emulator.py")

CONSUMERS = {
    "tencent": ("00fb2186d149f67e8f34efd7ac75d171", "f9199fa9d9c103e71e89e517323d0a5b"),
    "sina": ("2598211882", "44920bf52885822dbcd782c87711b134"),
    "sohu": ("k4SOLZf6wvGg2FhqDKsj", "qm8k5BctJEW1h6NyU1WdXrWFx02WC1wWpAQqE6DU"),
    "twitter": ("BSLCBeJaZZ585Dd0qBVGV", "c5HVMUAuU22ZIoM6O5V0NGTZIiRl4sRLPJHaKlGLoY"),
}
API_ROLE = {"tencent": "tencent_open", "sina": "sina_api", "sohu": "sohu_api",
            "twitter": "twitter_api"}


def start_emulator(state_dir):
    ready = os.path.join(state_dir, "ready.json")
    proc = subprocess.Popen([sys.executable, EMULATOR, "--state-dir", state_dir,
                             "--ready-file", ready, "--services-ini",
                             os.path.join(state_dir, "Services.ini")],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    deadline = time.time() + 20
    while not os.path.exists(ready):
        if proc.poll() is not None or time.time() > deadline:
            proc.kill()
            raise RuntimeError("emulator did not start: %s" % proc.stdout.read())
        time.sleep(0.05)
    with open(ready) as f:
        return proc, json.load(f)


class EmulatorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="pf-emu-selftest-")
        cls.proc, cls.info = start_emulator(cls.dir)
        cls.ports = cls.info["ports"]

    @classmethod
    def tearDownClass(cls):
        cls.proc.send_signal(signal.SIGTERM)
        try:
            cls.proc.wait(5)
        finally:
            if cls.proc.poll() is None:
                cls.proc.kill()
            cls.proc.stdout.close()
            shutil.rmtree(cls.dir, ignore_errors=True)

    def setUp(self):
        self.control("POST", "/control/reset")

    # ---- helpers ---------------------------------------------------------------------
    def http(self, role, method, target, headers=None, body=None, cafile=None):
        status, _, data = self.http_full(role, method, target, headers, body, cafile)
        return status, data

    def http_full(self, role, method, target, headers=None, body=None, cafile=None):
        """(status, headers, body) of one request; the https roles are checked against
        the emulator's CA file."""
        port = self.ports[role]
        if role in ("tencent_open_tls", "mastodon", "mastodon_badcert"):
            ctx = ssl.create_default_context(cafile=cafile or self.info["ca_file"])
            conn = http.client.HTTPSConnection("127.0.0.1", port, context=ctx, timeout=15)
        else:
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=15)
        try:
            conn.request(method, target, body=body, headers=headers or {})
            r = conn.getresponse()
            return r.status, r.headers, r.read()
        finally:
            conn.close()

    def control(self, method, path, obj=None):
        body = json.dumps(obj).encode() if obj is not None else None
        status, data = self.http("control", method, path,
                                 {"Content-Type": "application/json"}, body)
        self.assertLess(status, 400, data)
        return json.loads(data)

    def signed(self, service, method, path, params=None, token=None, role=None,
               client=None, verifier=None, callback=None):
        """A request signed by oauthlib's Client; params go in the query (GET) or a form
        body (POST). Returns (status, text)."""
        role = role or API_ROLE[service]
        scheme = "https" if role == "tencent_open_tls" else "http"
        uri = "%s://127.0.0.1:%d%s" % (scheme, self.ports[role], path)
        key, secret = CONSUMERS[service]
        client = client or Client(key, client_secret=secret,
                                  resource_owner_key=token[0] if token else None,
                                  resource_owner_secret=token[1] if token else None,
                                  verifier=verifier, callback_uri=callback)
        body, headers = None, {}
        if method == "GET" and params:
            uri += "?" + urllib.parse.urlencode(params)
        elif method == "POST":
            body = urllib.parse.urlencode(params or {})
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        uri, headers, body = client.sign(uri, method, body, headers)
        target = uri.split("/", 3)[3]
        status, data = self.http(role, method, "/" + target, headers,
                                 body.encode() if body else None)
        return status, data.decode("utf-8", "replace")

    def bind(self, service):
        """Request token, verifier from the authorisation page, access token."""
        role = "tencent_open_tls" if service == "tencent" else API_ROLE[service]
        base = "/cgi-bin/" if service == "tencent" else "/oauth/"
        callback = {"tencent": "null", "twitter": "oob"}.get(service)
        status, text = self.signed(service, "GET", base + "request_token", role=role,
                                   callback=callback)
        self.assertEqual(status, 200, text)
        rt = dict(p.split("=", 1) for p in text.split("&"))
        status, page = self.http(role, "GET", base + "authorize?oauth_token=" + rt["oauth_token"])
        self.assertEqual(status, 200)
        code = re.search(r'<span id="verifier">(\d{6})</span>', page.decode()).group(1)
        self.assertEqual(self.control("GET", "/control/verifier?oauth_token=" +
                                      rt["oauth_token"])["verifier"], code)
        method = "POST" if service in ("sina", "sohu") else "GET"
        status, text = self.signed(service, method, base + "access_token", role=role,
                                   token=(rt["oauth_token"], rt["oauth_token_secret"]),
                                   verifier=code)
        self.assertEqual(status, 200, text)
        answer = dict(p.split("=", 1) for p in text.split("&"))
        return (answer["oauth_token"], answer["oauth_token_secret"]), answer, rt, code

    def last_request(self, service):
        return self.control("GET", "/control/requests?service=" + service)["requests"][-1]

    # ---- signatures ------------------------------------------------------------------
    def test_signature_checks(self):
        status, text = self.signed("sina", "GET", "/oauth/request_token")
        self.assertEqual(status, 200, text)
        self.assertRegex(text, r"^oauth_token=\w+&oauth_token_secret=\w+$")
        rec = self.last_request("sina")
        self.assertTrue(rec["oauth"]["valid"])
        self.assertEqual(rec["oauth"]["params"]["oauth_consumer_key"], CONSUMERS["sina"][0])

        wrong_secret = Client(CONSUMERS["sina"][0], client_secret="not-the-secret")
        status, text = self.signed("sina", "GET", "/oauth/request_token", client=wrong_secret)
        self.assertEqual(status, 401)
        self.assertIn("signature", text)
        rec = self.last_request("sina")
        self.assertFalse(rec["oauth"]["valid"])
        self.assertEqual(rec["status"], 401)

        unknown = Client("1234567890", client_secret=CONSUMERS["sina"][1])
        status, text = self.signed("sina", "GET", "/oauth/request_token", client=unknown)
        self.assertEqual((status, text.strip()), (401, "unknown consumer key"))

        # Another service's consumer is unknown here.
        sohu_key = Client(CONSUMERS["sohu"][0], client_secret=CONSUMERS["sohu"][1])
        self.assertEqual(self.signed("sina", "GET", "/oauth/request_token",
                                     client=sohu_key)[0], 401)

        status, _ = self.http("sina_api", "GET", "/oauth/request_token")
        self.assertEqual(status, 401)

        # The very same signed request a second time is a replay.
        uri = "http://127.0.0.1:%d/oauth/request_token" % self.ports["sina_api"]
        _, headers, _ = Client(CONSUMERS["sina"][0],
                               client_secret=CONSUMERS["sina"][1]).sign(uri)
        self.assertEqual(self.http("sina_api", "GET", "/oauth/request_token", headers)[0], 200)
        status, data = self.http("sina_api", "GET", "/oauth/request_token", headers)
        self.assertEqual((status, data), (401, b"nonce already used\n"))

    def test_sina_binding_round_trip(self):
        token, answer, rt, code = self.bind("sina")
        self.assertEqual(answer["user_id"], "1904178193")
        status, text = self.signed("sina", "POST", "/account/verify_credentials.json",
                                   token=token)
        self.assertEqual(status, 200, text)
        self.assertIn('"screen_name":"新浪用户"', text)  # UTF-8, not \u escapes
        self.assertEqual(json.loads(text)["id"], 1904178193)

        # The request token is used up; a wrong verifier is refused.
        status, _ = self.signed("sina", "POST", "/oauth/access_token",
                                token=(rt["oauth_token"], rt["oauth_token_secret"]),
                                verifier=code)
        self.assertEqual(status, 401)
        status, text = self.signed("sina", "GET", "/oauth/request_token")
        rt2 = dict(p.split("=", 1) for p in text.split("&"))
        wrong = "%06d" % ((int(self.control("GET", "/control/verifier?oauth_token=" +
                                            rt2["oauth_token"])["verifier"]) + 1) % 1000000)
        status, text = self.signed("sina", "POST", "/oauth/access_token",
                                   token=(rt2["oauth_token"], rt2["oauth_token_secret"]),
                                   verifier=wrong)
        self.assertEqual((status, text.strip()), (401, "wrong verifier"))

        # A Sina access token means nothing to Sohu (even signed with Sohu's consumer).
        status, _ = self.signed("sohu", "GET", "/users/show.json", token=token)
        self.assertEqual(status, 401)

    def test_other_bindings_and_accounts(self):
        _, answer, _, _ = self.bind("tencent")
        self.assertEqual(answer["name"], "tencent_user")
        rec = self.control("GET", "/control/requests?service=tencent")["requests"]
        self.assertEqual([r["scheme"] for r in rec], ["https"] * 3)

        _, answer, _, _ = self.bind("twitter")
        self.assertEqual((answer["user_id"], answer["screen_name"]), ("783214", "twitter_user"))

        self.control("POST", "/control/account", {"service": "sohu", "user_id": "42",
                                                  "screen_name": "另一个"})
        token, answer, _, _ = self.bind("sohu")
        self.assertEqual(sorted(answer), ["oauth_token", "oauth_token_secret"])
        status, text = self.signed("sohu", "GET", "/users/show.json", token=token)
        self.assertEqual(status, 200)
        self.assertIn('"id":"42"', text)
        self.assertIn('"screen_name":"另一个"', text)

    # ---- posting ---------------------------------------------------------------------
    def multipart_post(self, service, path, fields, picture, token):
        role = API_ROLE[service]
        uri = "http://127.0.0.1:%d%s" % (self.ports[role], path)
        key, secret = CONSUMERS[service]
        _, headers, _ = Client(key, client_secret=secret, resource_owner_key=token[0],
                               resource_owner_secret=token[1]).sign(uri, "POST")
        boundary = "----pfselftest7d93"
        body = b""
        for name, value in fields:
            body += ("--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n"
                     % (boundary, name, value)).encode()
        body += ("--%s\r\nContent-Disposition: form-data; name=\"pic\"; filename=\"a.png\""
                 "\r\nContent-Type: image/png\r\n\r\n" % boundary).encode()
        body += picture + ("\r\n--%s--\r\n" % boundary).encode()
        headers["Content-Type"] = "multipart/form-data; boundary=" + boundary
        status, data = self.http(role, "POST", path, headers, body)
        return status, data.decode("utf-8", "replace")

    def test_uploads_and_duplicates(self):
        picture = bytes(range(256)) * 40 + b"\r\n--not-a-boundary\r\n"
        digest = hashlib.sha256(picture).hexdigest()

        token, _, _, _ = self.bind("sohu")
        raw = urllib.parse.quote("搜狐 + 图片", safe="+")
        status, text = self.multipart_post("sohu", "/statuses/upload.json",
                                           [("status", raw)], picture, token)
        self.assertEqual(status, 200, text)
        self.assertIn('"text":"搜狐 + 图片"', text)
        rec = self.last_request("sohu")
        self.assertEqual(rec["form"], [["status", raw]])
        self.assertEqual(rec["files"][0]["sha256"], digest)
        self.assertEqual(rec["files"][0]["size"], len(picture))
        post = self.control("GET", "/control/posts?service=sohu")["posts"][0]
        self.assertEqual((post["text"], post["raw_status"], post["picture_sha256"]),
                         ("搜狐 + 图片", raw, digest))
        status, text = self.multipart_post("sohu", "/statuses/upload.json",
                                           [("status", raw)], picture, token)
        self.assertIn("repeated weibo text", text)

        # Tencent: the post's web page shows its text and the picture the emulator keeps.
        token, _, _, _ = self.bind("tencent")
        status, text = self.multipart_post("tencent", "/api/t/add_pic", [
            ("format", "json"), ("content", "带图 <b>"), ("clientip", "127.0.0.1")],
            picture, token)
        answer = json.loads(text)
        self.assertEqual((answer["ret"], answer["msg"]), (0, "ok"))
        status, page = self.http("tencent_web", "GET", "/t/" + answer["data"]["id"])
        page = page.decode()
        self.assertIn("带图 &lt;b&gt;", page)
        img = re.search(r'<img src="([^"]+)"', page).group(1)
        status, data = self.http("tencent_web", "GET", img)
        self.assertEqual((status, hashlib.sha256(data).hexdigest()), (200, digest))

        # Text posts: ids grow, the same text twice is refused per service.
        status, text = self.signed("tencent", "POST", "/api/t/add", token=token, params={
            "format": "json", "content": "second", "clientip": "1.2.3.4"})
        self.assertGreater(int(json.loads(text)["data"]["id"]), int(answer["data"]["id"]))
        status, text = self.signed("tencent", "POST", "/api/t/add", token=token, params={
            "format": "json", "content": "second", "clientip": "1.2.3.4"})
        self.assertNotEqual(json.loads(text)["msg"], "ok")
        token, _, _, _ = self.bind("twitter")
        first = self.signed("twitter", "POST", "/1/statuses/update.json", token=token,
                            params={"status": "second"})
        self.assertEqual(first[0], 200)
        self.assertIn("created_at", first[1])
        again = self.signed("twitter", "POST", "/1/statuses/update.json", token=token,
                            params={"status": "second"})
        self.assertEqual(again, (403, '{"error":"Status is a duplicate."}'))

    # ---- faults, quirks, counters -------------------------------------------------------
    def test_faults(self):
        token, _, _, _ = self.bind("sina")
        self.control("POST", "/control/fault", {"service": "sina", "endpoint": "poll",
                                                "mode": "status", "status": 503,
                                                "body": "busy", "count": 1})
        poll = lambda: self.signed("sina", "GET", "/statuses/unread.json", token=token,
                                   params={"with_new_status": "1", "since_id": "1"})
        self.assertEqual(poll(), (503, "busy"))
        self.assertEqual(poll()[0], 200)
        self.assertEqual(self.control("GET", "/control/faults")["faults"], [])

        # A hanging request blocks neither other requests nor the control port; reset
        # lets it go without an answer.
        self.control("POST", "/control/fault", {"service": "sina", "endpoint": "poll",
                                                "mode": "hang"})
        result = {}
        t = threading.Thread(target=lambda: result.setdefault("r", self._catch(poll)))
        t.start()
        time.sleep(0.3)
        self.assertEqual(self.signed("sina", "POST", "/account/verify_credentials.json",
                                     token=token)[0], 200)
        self.control("POST", "/control/reset")
        t.join(5)
        self.assertFalse(t.is_alive())
        self.assertIsInstance(result["r"], Exception)

        self.control("POST", "/control/fault", {"service": "ipecho", "endpoint": "getip",
                                                "mode": "drop"})
        self.assertIsInstance(self._catch(lambda: self.http("ipecho", "GET", "/getip.asp")),
                              Exception)
        # A fault on the named endpoint replaces the earlier one on it.
        self.control("POST", "/control/fault", {"service": "ipecho", "endpoint": "getip",
                                                "mode": "garbage", "bytes": 64})
        status, data = self.http("ipecho", "GET", "/getip.asp")
        self.assertEqual(len(data), 64)
        self.assertRaises(UnicodeDecodeError, data.decode, "utf-8")
        self.control("POST", "/control/fault", {"service": "ipecho", "endpoint": "getip",
                                                "mode": "oversize", "bytes": 3000000})
        self.assertEqual(len(self.http("ipecho", "GET", "/getip.asp")[1]), 3000000)
        status, _ = self.http("control", "POST", "/control/fault",
                              {"Content-Type": "application/json"},
                              b'{"service":"sina","endpoint":"nope","mode":"drop"}')
        self.assertEqual(status, 400)

    @staticmethod
    def _catch(fn):
        try:
            return fn()
        except Exception as e:  # the test looks at which exception came back
            return e

    def test_quirks_and_counters(self):
        self.control("POST", "/control/quirks", {"service": "tencent",
                                                 "callback_confirmed": "TRUE",
                                                 "omit": ["name"]})
        status, text = self.signed("tencent", "GET", "/cgi-bin/request_token",
                                   role="tencent_open_tls", callback="null")
        self.assertTrue(text.endswith("&oauth_callback_confirmed=TRUE"), text)
        token, answer, _, _ = self.bind("tencent")
        self.assertNotIn("name", answer)

        self.control("POST", "/control/counters", {"service": "tencent",
                                                   "counters": {"private": 5, "fans": 2}})
        status, text = self.signed("tencent", "GET", "/api/info/update", token=token,
                                   params={"op": "1", "type": "5678"})
        self.assertEqual(json.loads(text), {"ret": 0, "msg": "ok", "errcode": 0, "data": {
            "create": 0, "fans": 2, "home": 0, "mentions": 0, "private": 5}})

        token, _, _, _ = self.bind("sina")
        self.control("POST", "/control/counters", {"service": "sina", "counters": {"dm": 3},
                                                   "increment": {"followers": 2}})
        self.control("POST", "/control/quirks", {"service": "sina", "omit": ["followers"]})
        status, text = self.signed("sina", "GET", "/statuses/unread.json", token=token,
                                   params={"with_new_status": "1", "since_id": "1"})
        self.assertEqual(json.loads(text), {"comments": 0, "dm": 3, "mentions": 0,
                                            "new_status": 0})
        self.assertEqual(self.control("GET", "/control/counters")["sina"]["followers"], 2)

        token, _, _, _ = self.bind("sohu")
        self.control("POST", "/control/counters", {"service": "sohu",
                                                   "counters": {"statuses_count": 12}})
        self.control("POST", "/control/quirks", {"service": "sohu", "omit": ["id"]})
        status, text = self.signed("sohu", "GET", "/users/show.json", token=token)
        self.assertNotIn('"id"', text)
        self.assertIn('"statuses_count":12', text)

    # ---- transports ----------------------------------------------------------------------
    def test_tls_ipecho_and_pages(self):
        status, _ = self.http("tencent_open_tls", "GET", "/cgi-bin/authorize?oauth_token=x")
        self.assertEqual(status, 400)  # TLS itself worked: the CA file verifies the port
        # Without the CA file the self-signed certificate is not trusted.
        conn = http.client.HTTPSConnection("127.0.0.1", self.ports["tencent_open_tls"],
                                           context=ssl.create_default_context(), timeout=5)
        with self.assertRaises(ssl.SSLCertVerificationError):
            conn.request("GET", "/")
        conn.close()

        # The program's public-address fetch: HTTP/1.0 and a browser agent.
        self.control("POST", "/control/ipecho", {"body": "  198.51.100.9 \r\n"})
        with socket.create_connection(("127.0.0.1", self.ports["ipecho"]), 5) as s:
            s.sendall(b"GET /getip.asp HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Mozilla/4.0 "
                      b"(compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)\r\n"
                      b"Pragma: no-cache\r\n\r\n")
            data = b""
            while chunk := s.recv(4096):
                data += chunk
        self.assertTrue(data.startswith(b"HTTP/1.1 200"))
        self.assertTrue(data.endswith(b"\r\n\r\n  198.51.100.9 \r\n"))
        self.assertEqual(self.last_request("ipecho")["headers"]["Pragma"], "no-cache")

        for role, path in (("tencent_web", "/messages/inbox"),
                           ("tencent_web", "/tencent_user/follower"),
                           ("sina_web", "/1904178193/fans"),
                           ("sohu_web", "/follow/followed.jsp?uid=1"),
                           ("twitter_web", "/anything/else")):
            status, page = self.http(role, "GET", path)
            self.assertEqual(status, 200, path)
            self.assertIn(b"<html>", page)
        status, page = self.http("control", "GET", "/")
        self.assertEqual(status, 200)
        self.assertIn('action="/control/bump"', page.decode())

        with open(os.path.join(self.dir, "Services.ini"), encoding="utf-8") as f:
            ini = f.read()
        self.assertIn("SinaApi=127.0.0.1:%d\n" % self.ports["sina_api"], ini)
        self.assertIn("IpEchoUrl=http://127.0.0.1:%d/getip.asp" % self.ports["ipecho"], ini)
        self.assertIn("CAFile=" + self.info["ca_file"], ini)

    # ---- Mastodon ----------------------------------------------------------------------
    OOB = "urn:ietf:wg:oauth:2.0:oob"
    SCOPES = "write:statuses write:media read:notifications read:accounts"

    def masto(self, method, target, token=None, form=None, headers=None, body=None,
              role="mastodon"):
        """(status, headers, parsed JSON or text) of a Mastodon call; form is a list of
        pairs sent form-encoded."""
        headers = dict(headers or {})
        if token:
            headers["Authorization"] = "Bearer " + token
        if form is not None:
            body = urllib.parse.urlencode(form).encode()
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        status, answer_headers, data = self.http_full(role, method, target, headers, body)
        text = data.decode("utf-8")
        if answer_headers.get("Content-Type", "").startswith("application/json"):
            return status, answer_headers, json.loads(text)
        return status, answer_headers, text

    def masto_app(self, scopes=None):
        status, _, app = self.masto("POST", "/api/v1/apps", form=[
            ("client_name", "Plumfinch"), ("redirect_uris", self.OOB),
            ("scopes", scopes or self.SCOPES), ("website", "https://plumfinch.example")])
        self.assertEqual(status, 200, app)
        return app

    def masto_code(self, app, scope=None):
        query = urllib.parse.urlencode({
            "response_type": "code", "client_id": app["client_id"], "redirect_uri": self.OOB,
            "scope": scope or self.SCOPES})
        status, _, page = self.masto("GET", "/oauth/authorize?" + query)
        return status, page

    def masto_token(self, scopes=None):
        """A bearer token through the whole bind: app, code page, token exchange."""
        app = self.masto_app(scopes)
        status, page = self.masto_code(app, scopes)
        self.assertEqual(status, 200, page)
        code = re.search(r'<span id="verifier">([\w-]+)</span>', page).group(1)
        # The fallback without a browser approves the newest app anew: a fresh code.
        fallback = self.control("GET", "/control/mastodon/code")["code"]
        self.assertTrue(fallback)
        self.assertNotEqual(fallback, code)
        status, _, answer = self.masto("POST", "/oauth/token", form=[
            ("grant_type", "authorization_code"), ("code", code),
            ("client_id", app["client_id"]), ("client_secret", app["client_secret"]),
            ("redirect_uri", self.OOB)])
        self.assertEqual(status, 200, answer)
        self.assertEqual((answer["token_type"], answer["scope"]),
                         ("Bearer", scopes or self.SCOPES))
        return answer["access_token"], app, code

    def test_mastodon_binding(self):
        token, app, code = self.masto_token()
        status, _, account = self.masto("GET", "/api/v1/accounts/verify_credentials", token)
        self.assertEqual((status, account["username"], account["acct"]),
                         (200, "mastodon_user", "mastodon_user"))
        rec = self.last_request("mastodon")
        self.assertEqual((rec["bearer"], rec["oauth"]["checked"]), (token, False))
        self.control("POST", "/control/account", {"service": "mastodon", "username": "ann"})
        self.control("POST", "/control/quirks", {"service": "mastodon", "omit": ["acct"]})
        account = self.masto("GET", "/api/v1/accounts/verify_credentials", token)[2]
        self.assertEqual((account["username"], "acct" in account), ("ann", False))

        exchange = [("grant_type", "authorization_code"), ("code", code),
                    ("client_id", app["client_id"]), ("client_secret", app["client_secret"]),
                    ("redirect_uri", self.OOB)]
        # A code is used once; a wrong secret or client is refused.
        status, _, answer = self.masto("POST", "/oauth/token", form=exchange)
        self.assertEqual((status, answer["error"]), (400, "invalid_grant"))
        _, page = self.masto_code(app)
        fresh = re.search(r'<span id="verifier">([\w-]+)</span>', page).group(1)
        for changed, expected in ((("client_secret", "x"), (400, "invalid_grant")),
                                  (("redirect_uri", "https://a.example/"),
                                   (400, "invalid_grant")),
                                  (("client_id", "nobody"), (401, "invalid_client"))):
            form = [(k, changed[1] if k == changed[0] else (fresh if k == "code" else v))
                    for k, v in exchange]
            status, _, answer = self.masto("POST", "/oauth/token", form=form)
            self.assertEqual((status, answer["error"]), expected, changed)
        form = [(k, fresh if k == "code" else v) for k, v in exchange]
        self.assertEqual(self.masto("POST", "/oauth/token", form=form)[0], 200)

        # Registration and the code page check what they are given.
        for form in ([("redirect_uris", self.OOB)], [("client_name", "P")],
                     [("client_name", "P"), ("redirect_uris", self.OOB),
                      ("scopes", "read:all")]):
            status, _, answer = self.masto("POST", "/api/v1/apps", form=form)
            self.assertEqual(status, 422, form)
            self.assertIn("error", answer)
        self.assertEqual(self.masto_code(app, "read")[0], 400)  # beyond the app's scopes
        self.assertEqual(self.masto_code(dict(app, client_id="nobody"))[0], 400)

    def test_mastodon_token_checks(self):
        token, _, _ = self.masto_token("read:accounts")
        self.assertEqual(self.masto("GET", "/api/v1/accounts/verify_credentials",
                                    token)[0], 200)
        status, _, answer = self.masto("POST", "/api/v1/statuses", token, [("status", "x")])
        self.assertEqual((status, answer),
                         (403, {"error": "This action is outside the authorized scopes"}))
        invalid = (401, {"error": "The access token is invalid"})
        for bearer in (None, "not-a-token"):
            status, _, answer = self.masto("GET", "/api/v1/notifications", bearer)
            self.assertEqual((status, answer), invalid)
        # "read" covers every read:* scope; a reset keeps tokens; revoke ends them all.
        broad, _, _ = self.masto_token("read write")
        self.control("POST", "/control/reset")
        self.assertEqual(self.masto("GET", "/api/v1/notifications", broad)[0], 200)
        self.control("POST", "/control/mastodon/revoke")
        status, _, answer = self.masto("GET", "/api/v1/notifications", broad)
        self.assertEqual((status, answer), invalid)
        self.assertEqual(self.masto("GET", "/api/v1/instance")[0], 200)  # needs no token

    def masto_upload(self, token, data, filename="a.png", ctype="image/png"):
        boundary = "----pfselftestmasto"
        body = ("--%s\r\nContent-Disposition: form-data; name=\"description\"\r\n\r\nalt\r\n"
                "--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
                "Content-Type: %s\r\n\r\n" % (boundary, boundary, filename, ctype)).encode()
        body += data + ("\r\n--%s--\r\n" % boundary).encode()
        return self.masto("POST", "/api/v2/media", token, body=body, headers={
            "Content-Type": "multipart/form-data; boundary=" + boundary})

    def test_mastodon_media_and_statuses(self):
        token, _, _ = self.masto_token()
        png = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 8
        self.control("POST", "/control/mastodon/media", {"processing_polls": 2})
        status, _, media = self.masto_upload(token, png)
        self.assertEqual((status, media["type"], media["url"]), (202, "image", None))
        post = lambda ids, **kw: self.masto("POST", "/api/v1/statuses", token,
                                            [("status", kw.get("text", "with picture"))]
                                            + [("media_ids[]", i) for i in ids])
        status, _, answer = post([media["id"]])
        self.assertEqual(status, 422)
        self.assertIn("not finished processing", answer["error"])
        polls = [self.masto("GET", "/api/v1/media/" + media["id"], token) for _ in range(3)]
        self.assertEqual([p[0] for p in polls], [206, 206, 200])
        self.assertIsNone(polls[1][2]["url"])
        status, data = self.http("mastodon", "GET", "/" + polls[2][2]["url"].split("/", 3)[3])
        self.assertEqual(data, png)

        status, _, answer = post([media["id"]])
        self.assertEqual(status, 200, answer)
        self.assertEqual([m["id"] for m in answer["media_attachments"]], [media["id"]])
        mine = self.control("GET", "/control/posts?service=mastodon")["posts"]
        self.assertEqual([(p["id"], p["media_ids"], p["picture_sha256"]) for p in mine],
                         [(answer["id"], [media["id"]], hashlib.sha256(png).hexdigest())])
        # Attached once only; unknown ids and another account's media are refused.
        self.assertEqual(post([media["id"]], text="again")[0], 422)
        self.assertEqual(post(["1"])[0], 422)
        self.assertEqual(self.masto("GET", "/api/v1/media/1", token)[0], 404)
        self.assertEqual(self.masto_upload(token, b"%PDF-1.4", "a.pdf", "application/pdf")[0],
                         422)
        # A JSON body works as a form does.
        status, _, answer = self.masto("POST", "/api/v1/statuses", token,
                                       body=json.dumps({"status": "json 文本"}).encode(),
                                       headers={"Content-Type": "application/json"})
        self.assertEqual((status, answer["content"]), (200, "<p>json 文本</p>"))

    def test_mastodon_idempotency_and_limit(self):
        token, _, _ = self.masto_token()
        other, _, _ = self.masto_token()
        send = lambda tok, text, key: self.masto("POST", "/api/v1/statuses", tok,
                                                 [("status", text)], {"Idempotency-Key": key})
        first = send(token, "once", "k-1")[2]
        self.assertEqual(send(token, "once", "k-1")[2]["id"], first["id"])
        self.assertEqual(self.last_request("mastodon")["replay"], True)
        self.assertNotEqual(send(other, "once", "k-1")[2]["id"], first["id"])
        posts = self.control("GET", "/control/posts?service=mastodon")["posts"]
        self.assertEqual(len(posts), 2)
        # The post is made but its answer lost: the retry with the key gets that post.
        self.control("POST", "/control/fault", {"service": "mastodon", "endpoint": "statuses",
                                                "mode": "drop", "after": True, "count": 1})
        self.assertIsInstance(self._catch(lambda: send(token, "lost", "k-5")), Exception)
        made = self.control("GET", "/control/posts?service=mastodon")["posts"][-1]
        self.assertEqual((made["text"], send(token, "lost", "k-5")[2]["id"]),
                         ("lost", made["id"]))
        self.assertEqual(len(self.control("GET", "/control/posts")["posts"]), 3)

        # Characters are counted, not bytes: 500 Chinese characters pass, 501 do not.
        self.assertEqual(send(token, "字" * 500, "k-2")[0], 200)
        status, _, answer = send(token, "字" * 501, "k-3")
        self.assertEqual((status, answer["error"]),
                         (422, "Validation failed: Text character limit of 500 exceeded"))
        self.assertEqual(self.masto("POST", "/api/v1/statuses", token,
                                    [("status", " ")])[0], 422)
        self.control("POST", "/control/mastodon/instance", {"max_characters": 10})
        self.assertEqual(send(token, "x" * 11, "k-4")[0], 422)
        conf = self.masto("GET", "/api/v1/instance")[2]["configuration"]["statuses"]
        self.assertEqual((conf["max_characters"], conf["max_media_attachments"]), (10, 4))
        self.control("POST", "/control/mastodon/instance", {"configuration": False})
        self.assertNotIn("configuration", self.masto("GET", "/api/v1/instance")[2])
        self.control("POST", "/control/reset")
        conf = self.masto("GET", "/api/v1/instance")[2]["configuration"]["statuses"]
        self.assertEqual(conf["max_characters"], 500)

    def test_mastodon_notifications(self):
        token, _, _ = self.masto_token()
        get = lambda query: self.masto("GET", "/api/v1/notifications?" + query, token)[2]
        self.assertEqual(get(""), [])
        ids = {}
        for kind, count in (("mention", 2), ("follow", 1), ("favourite", 1)):
            ids[kind] = self.control("POST", "/control/mastodon/notify",
                                     {"type": kind, "count": count})["ids"]
        wanted = "types[]=mention&types[]=follow"
        answer = get(wanted)
        self.assertEqual([n["id"] for n in answer], [ids["follow"][0]] + ids["mention"][::-1])
        self.assertEqual(answer[1]["status"]["mentions"][0]["username"], "mastodon_user")
        self.assertNotIn("status", answer[0])
        self.assertEqual([n["type"] for n in get(wanted + "&since_id=" + ids["mention"][0])],
                         ["follow", "mention"])
        self.assertEqual(len(get(wanted + "&limit=1")), 1)
        self.assertEqual(len(get("")), 4)
        self.assertEqual(get("types[]=follow&since_id=" + ids["favourite"][0]), [])

    def test_mastodon_faults_pages_and_certificates(self):
        token, _, _ = self.masto_token()
        self.control("POST", "/control/fault", {"service": "mastodon",
                                                "endpoint": "notifications",
                                                "mode": "retry_after", "seconds": 7,
                                                "count": 1})
        status, headers, answer = self.masto("GET", "/api/v1/notifications", token)
        self.assertEqual((status, headers["Retry-After"], answer),
                         (429, "7", {"error": "Too many requests"}))
        self.assertEqual(self.masto("GET", "/api/v1/notifications", token)[0], 200)
        self.control("POST", "/control/fault", {"service": "mastodon", "endpoint": "statuses",
                                                "mode": "status", "status": 502,
                                                "content_type": "text/html",
                                                "body": "<html>Bad gateway"})
        status, headers, text = self.masto("POST", "/api/v1/statuses", token,
                                           [("status", "x")])
        self.assertEqual((status, headers["Content-Type"], text),
                         (502, "text/html", "<html>Bad gateway"))
        self.assertEqual(self.last_request("mastodon")["fault"], "status")

        status, _, page = self.masto("GET", "/notifications")
        self.assertEqual(status, 200)
        self.assertIn("<html>", page)
        page = self.http("control", "GET", "/")[1].decode()
        self.assertIn("https://127.0.0.1:%d" % self.ports["mastodon"], page)
        self.assertIn('action="/control/mastodon/notify"', page)
        status, _ = self.http("control", "POST", "/control/mastodon/notify", {
            "Content-Type": "application/x-www-form-urlencoded"}, b"type=follow&count=1")
        self.assertEqual(status, 303)  # the page's +1 button, back to the page
        self.assertEqual([n["type"] for n in self.masto("GET", "/api/v1/notifications",
                                                        token)[2]], ["follow"])
        with open(os.path.join(self.dir, "Services.ini"), encoding="utf-8") as f:
            self.assertIn("Mastodon=127.0.0.1:%d\n" % self.ports["mastodon"], f.read())

        # The second port serves the same server under a certificate nobody vouches for.
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.masto("GET", "/api/v1/instance", role="mastodon_badcert")
        unverified = ssl._create_unverified_context()
        conn = http.client.HTTPSConnection("127.0.0.1", self.ports["mastodon_badcert"],
                                           context=unverified, timeout=5)
        conn.request("GET", "/api/v1/instance")
        self.assertEqual(conn.getresponse().status, 200)
        conn.close()


class ShutdownTest(unittest.TestCase):
    def test_sigterm_while_a_request_hangs(self):
        d = tempfile.mkdtemp(prefix="pf-emu-stop-")
        proc, info = start_emulator(d)
        try:
            body = json.dumps({"service": "ipecho", "endpoint": "getip", "mode": "hang"})
            conn = http.client.HTTPConnection("127.0.0.1", info["ports"]["control"], timeout=5)
            conn.request("POST", "/control/fault", body, {"Content-Type": "application/json"})
            self.assertEqual(conn.getresponse().status, 200)
            conn.close()
            hanging = socket.create_connection(("127.0.0.1", info["ports"]["ipecho"]), 5)
            hanging.sendall(b"GET /getip.asp HTTP/1.1\r\nHost: x\r\n\r\n")
            time.sleep(0.3)
            started = time.time()
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(5), 0)
            self.assertLess(time.time() - started, 3)
            self.assertFalse(os.path.exists(os.path.join(d, "ready.json")))
            hanging.close()
        finally:
            if proc.poll() is None:
                proc.kill()
            proc.stdout.close()
            shutil.rmtree(d, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
