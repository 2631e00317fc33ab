"""Shared state of the emulator: issued tokens, remembered nonces, recorded requests,
posts, counters, account identities, faults, quirks and the IP-echo answer.

Every handler thread goes through one State object; all changes happen under its lock.
"""
import copy
import os
import re
import secrets
import threading
import time

from .errors import ControlError
from .mastodon_state import MastodonState
from . import bluesky_state

SERVICES = ("tencent", "sina", "sohu", "twitter", "mastodon")
RECORDED_SERVICES = SERVICES + ("ipecho",)
RECORDED_SERVICES += ("bluesky",)  # its own accounts, posts and controls

# Consumer credentials registered with each service: (key, secret).
CONSUMERS = {
    "tencent": ("00fb2186d149f67e8f34efd7ac75d171", "f9199fa9d9c103e71e89e517323d0a5b"),
    "sina": ("2598211882", "44920bf52885822dbcd782c87711b134"),
    "sohu": ("k4SOLZf6wvGg2FhqDKsj", "qm8k5BctJEW1h6NyU1WdXrWFx02WC1wWpAQqE6DU"),
    "twitter": ("BSLCBeJaZZ585Dd0qBVGV", "c5HVMUAuU22ZIoM6O5V0NGTZIiRl4sRLPJHaKlGLoY"),
}

PRESET_ACCOUNTS = {
    "tencent": {"name": "tencent_user"},
    "sina": {"user_id": "1904178193", "screen_name": "新浪用户", "name": "新浪用户"},
    "sohu": {"user_id": "20110815", "screen_name": "搜狐用户", "name": "搜狐用户"},
    "twitter": {"user_id": "783214", "screen_name": "twitter_user", "name": "Twitter User"},
    "mastodon": {"id": "109384025117337", "username": "mastodon_user",
                 "display_name": "Mastodon User"},
}
ACCOUNT_KEYS = {"mastodon": ("id", "username", "display_name")}

COUNTER_NAMES = {
    "tencent": ("private", "mentions", "create", "fans"),
    "sina": ("dm", "mentions", "new_status", "followers"),
    "sohu": ("statuses_count", "followers_count"),
}

ENDPOINTS = ("request_token", "authorize", "access_token", "verify_credentials", "users_show",
             "update", "upload", "add", "add_pic", "poll", "getip", "web", "*",
             # Mastodon's calls
             "apps", "token", "instance", "media", "media_status", "statuses",
             "notifications")
ENDPOINTS += bluesky_state.ENDPOINTS
FAULT_MODES = ("refuse", "status", "body", "empty", "delay", "hang", "drop", "oversize",
               "garbage", "retry_after")

DEFAULT_IPECHO = {"status": 200, "body": "203.0.113.7\r\n"}

# The first post id of each service; ids only grow, also across resets.
FIRST_POST_ID = {"tencent": 42015088532113, "sina": 3525110000000001, "sohu": 1260000001,
                 "twitter": 150000000000000001, "mastodon": 113584220000000001}

MAX_RECORDED = 20000
NONCE_LIFETIME = 660  # seconds; oauthlib refuses timestamps older than 600 s anyway
HANG_LIMIT = 600.0


class Token:
    __slots__ = ("token", "secret", "kind", "service", "consumer_key", "verifier", "used",
                 "created")

    def __init__(self, token, secret, kind, service, consumer_key, verifier=None):
        self.token = token
        self.secret = secret
        self.kind = kind  # "request" or "access"
        self.service = service
        self.consumer_key = consumer_key
        self.verifier = verifier
        self.used = False
        self.created = time.time()


def _alnum(n):
    alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    return "".join(secrets.choice(alphabet) for _ in range(n))


def _safe_file_part(name):
    name = re.sub(r"[^A-Za-z0-9._-]", "_", os.path.basename(name or ""))[-60:]
    return name.lstrip(".") or "file"


class State:
    def __init__(self, state_dir):
        self.lock = threading.RLock()
        self.state_dir = os.path.abspath(state_dir)
        self.upload_dir = os.path.join(self.state_dir, "uploads")
        os.makedirs(self.upload_dir, exist_ok=True)
        self.shutting_down = threading.Event()
        self.hang_release = threading.Event()
        self.seq = 0
        self.upload_seq = 0
        self.tokens = {}
        self.nonces = {}
        self.next_post_id = dict(FIRST_POST_ID)
        self.uploads = {}  # stored file name -> path, served by the web hosts
        self.mastodon = MastodonState(self.lock)
        self.bluesky = bluesky_state.BlueskyState(self.lock)
        self._reset_locked()

    # ---- reset -------------------------------------------------------------------------
    def _reset_locked(self):
        self.requests = []
        self.faults = []
        self.quirks = {s: {} for s in SERVICES}
        self.posts = []
        self.counters = {s: {c: 0 for c in names} for s, names in COUNTER_NAMES.items()}
        self.accounts = copy.deepcopy(PRESET_ACCOUNTS)
        self.ipecho = dict(DEFAULT_IPECHO)
        self.mastodon.reset()
        self.bluesky.reset()

    def reset(self):
        """Forgets requests, faults, quirks and posts; counters, accounts and the IP-echo
        answer go back to their defaults; Mastodon forgets its media and notifications
        and its settings go back to their defaults. Issued tokens (and Mastodon's apps
        and bearer tokens) stay valid. Requests held by a
        "hang" fault are let go (their connections are closed without an answer)."""
        with self.lock:
            self._reset_locked()
            released, self.hang_release = self.hang_release, threading.Event()
        released.set()

    def shutdown(self):
        self.shutting_down.set()
        with self.lock:
            released = self.hang_release
        released.set()

    # ---- recorded requests -------------------------------------------------------------
    def record(self, entry):
        with self.lock:
            self.seq += 1
            entry["seq"] = self.seq
            self.requests.append(entry)
            if len(self.requests) > MAX_RECORDED:
                del self.requests[: len(self.requests) - MAX_RECORDED]
            return entry

    def update_record(self, entry, **fields):
        with self.lock:
            entry.update(fields)

    def requests_snapshot(self, service=None, since=0):
        with self.lock:
            return [copy.deepcopy(r) for r in self.requests
                    if (not service or r["service"] == service) and r["seq"] > since]

    # ---- OAuth tokens and nonces -------------------------------------------------------
    def issue_request_token(self, service, consumer_key):
        with self.lock:
            tok = Token(_alnum(32), _alnum(32), "request", service, consumer_key,
                        "%06d" % secrets.randbelow(1000000))
            self.tokens[tok.token] = tok
            return tok

    def issue_access_token(self, service, consumer_key, request_token):
        """Exchanges a request token once; None when it was exchanged already."""
        with self.lock:
            req = self.tokens.get(request_token)
            if req is None or req.used:
                return None
            req.used = True
            value = _alnum(32)
            if service == "twitter":
                value = "%s-%s" % (self.accounts["twitter"].get("user_id") or "0", _alnum(32))
            tok = Token(value, _alnum(40), "access", service, consumer_key)
            self.tokens[tok.token] = tok
            return tok

    def find_token(self, token):
        with self.lock:
            return self.tokens.get(token)

    def verifier_for(self, token):
        with self.lock:
            tok = self.tokens.get(token)
            return tok.verifier if tok is not None and tok.kind == "request" else None

    def remember_nonce(self, key, timestamp):
        """True when the nonce is new (and now remembered), False for a replay."""
        now = time.time()
        with self.lock:
            if key in self.nonces:
                return False
            if len(self.nonces) > 50000:
                self.nonces = {k: t for k, t in self.nonces.items() if now - t < NONCE_LIFETIME}
            self.nonces[key] = now
            return True

    # ---- faults -----------------------------------------------------------------------
    def set_fault(self, wanted):
        service = wanted.get("service")
        endpoint = wanted.get("endpoint", "*")
        mode = wanted.get("mode")
        if service not in RECORDED_SERVICES:
            raise ControlError("unknown service: %r" % (service,))
        if endpoint not in ENDPOINTS:
            raise ControlError("unknown endpoint: %r" % (endpoint,))
        if mode not in FAULT_MODES:
            raise ControlError("unknown mode: %r" % (mode,))
        fault = {"service": service, "endpoint": endpoint, "mode": mode}
        count = wanted.get("count")
        if count is not None:
            if not isinstance(count, int) or isinstance(count, bool) or count < 1:
                raise ControlError("count must be a positive integer")
        fault["count"] = count
        for key, kind in (("status", int), ("ms", (int, float)), ("bytes", int)):
            if key in wanted:
                if not isinstance(wanted[key], kind) or isinstance(wanted[key], bool):
                    raise ControlError("%s must be a number" % key)
                fault[key] = wanted[key]
        if "seconds" in wanted:
            seconds = wanted["seconds"]
            if isinstance(seconds, bool) or not isinstance(seconds, (int, str)):
                raise ControlError("seconds must be a number or the header text")
            fault["seconds"] = seconds
        for key in ("body", "content_type", "body_base64"):
            if key in wanted:
                if not isinstance(wanted[key], str):
                    raise ControlError("%s must be a string" % key)
                fault[key] = wanted[key]
        if "length" in wanted:
            fault["length"] = bool(wanted["length"])
        if wanted.get("after"):
            fault["after"] = True
        if mode == "status" and not 100 <= fault.get("status", 0) <= 599:
            raise ControlError("mode status needs \"status\": 100..599")
        with self.lock:
            self.faults = [f for f in self.faults
                           if (f["service"], f["endpoint"]) != (service, endpoint)]
            self.faults.append(fault)
            return dict(fault)

    def clear_faults(self):
        with self.lock:
            self.faults = []

    def take_fault(self, service, endpoint):
        """The fault that applies to this request, if any; a counted fault is used up."""
        names = [endpoint]
        if service == "sohu" and endpoint == "users_show":
            names.append("poll")  # Sohu's polling call is its users/show call
        names.append("*")
        with self.lock:
            for name in names:
                for f in self.faults:
                    if f["service"] == service and f["endpoint"] == name:
                        if f["count"] is not None:
                            f["count"] -= 1
                            if f["count"] <= 0:
                                self.faults.remove(f)
                        return dict(f)
        return None

    def faults_snapshot(self):
        with self.lock:
            return [dict(f) for f in self.faults]

    # ---- quirks, counters, accounts, IP echo -------------------------------------------
    def set_quirks(self, wanted):
        service = wanted.get("service")
        if service not in SERVICES:
            raise ControlError("unknown service: %r" % (service,))
        quirks = {}
        if "callback_confirmed" in wanted:
            if not isinstance(wanted["callback_confirmed"], str):
                raise ControlError("callback_confirmed must be a string")
            quirks["callback_confirmed"] = wanted["callback_confirmed"]
        omit = wanted.get("omit", [])
        if not isinstance(omit, list) or not all(isinstance(o, str) for o in omit):
            raise ControlError("omit must be a list of field names")
        quirks["omit"] = list(omit)
        with self.lock:
            self.quirks[service] = quirks
            return dict(quirks)

    def quirks_for(self, service):
        with self.lock:
            q = self.quirks.get(service, {})
            return {"callback_confirmed": q.get("callback_confirmed"),
                    "omit": set(q.get("omit", []))}

    def _check_counters(self, service, values):
        if service not in COUNTER_NAMES:
            raise ControlError("no counters for service %r" % (service,))
        if not isinstance(values, dict):
            raise ControlError("counters must be an object")
        for name, value in values.items():
            if name not in COUNTER_NAMES[service]:
                raise ControlError("unknown %s counter: %r" % (service, name))
            if not isinstance(value, int) or isinstance(value, bool):
                raise ControlError("counter %s must be an integer" % name)

    def set_counters(self, service, values, increments=None):
        self._check_counters(service, values)
        self._check_counters(service, increments or {})
        with self.lock:
            self.counters[service].update(values)
            for name, by in (increments or {}).items():
                self.counters[service][name] += by
            return dict(self.counters[service])

    def counters_snapshot(self):
        with self.lock:
            return copy.deepcopy(self.counters)

    def set_account(self, wanted):
        service = wanted.get("service")
        if service not in SERVICES:
            raise ControlError("unknown service: %r" % (service,))
        changes = {}
        own_keys = ACCOUNT_KEYS.get(service)
        for key in own_keys or ("name", "user_id", "screen_name", "id"):
            if key in wanted:
                if not isinstance(wanted[key], (str, int)) or isinstance(wanted[key], bool):
                    raise ControlError("%s must be a string" % key)
                value = str(wanted[key])
                if own_keys and not value:
                    raise ControlError("%s must not be empty" % key)
                changes["user_id" if key == "id" and not own_keys else key] = value
        with self.lock:
            self.accounts[service].update(changes)
            return dict(self.accounts[service])

    def account(self, service):
        with self.lock:
            return dict(self.accounts[service])

    def accounts_snapshot(self):
        with self.lock:
            return copy.deepcopy(self.accounts)

    def set_ipecho(self, wanted):
        status = wanted.get("status", 200)
        body = wanted.get("body", DEFAULT_IPECHO["body"])
        if not isinstance(status, int) or isinstance(status, bool) or not 100 <= status <= 599:
            raise ControlError("status must be 100..599")
        if not isinstance(body, str):
            raise ControlError("body must be a string")
        with self.lock:
            self.ipecho = {"status": status, "body": body}
            return dict(self.ipecho)

    def ipecho_answer(self):
        with self.lock:
            return dict(self.ipecho)

    # ---- posts and uploads -------------------------------------------------------------
    def store_upload(self, filename, data):
        with self.lock:
            self.upload_seq += 1
            name = "%d-%s" % (self.upload_seq, _safe_file_part(filename))
        path = os.path.join(self.upload_dir, name)
        with open(path, "wb") as f:
            f.write(data)
        with self.lock:
            self.uploads[name] = path
        return name

    def upload_path(self, name):
        with self.lock:
            return self.uploads.get(name)

    def add_post(self, service, text, raw_status, picture=None, extra=None):
        """Stores a post and gives it the next id; None when the service already holds a
        post with the same text (the weibo services and Twitter refuse repeated texts;
        Mastodon does not). `extra` fields are stored with the post."""
        with self.lock:
            if service != "mastodon" and any(p["service"] == service and p["text"] == text
                                              for p in self.posts):
                return None
            step = secrets.randbelow(97) + 1 if service not in ("sina", "sohu") else 1
            post_id = self.next_post_id[service]
            self.next_post_id[service] += step
            post = {"service": service, "id": str(post_id), "text": text,
                    "raw_status": raw_status, "time": int(time.time()),
                    "picture_sha256": picture["sha256"] if picture else None,
                    "picture_file": picture["stored"] if picture else None}
            post.update(extra or {})
            self.posts.append(post)
            return dict(post)

    def find_post(self, service, post_id):
        with self.lock:
            for p in self.posts:
                if p["service"] == service and p["id"] == post_id:
                    return dict(p)
        return None

    def posts_snapshot(self, service=None):
        with self.lock:
            return [dict(p) for p in self.posts if not service or p["service"] == service]
