"""The Bluesky PDS's own state: seeded accounts, sessions (HS256 JWTs signed with a
secret made at start, refresh tokens that rotate), uploaded blobs, repository records,
notifications, and what the control port sets (token lifetimes, 429s to come, answers to
lose). It shares the emulator's one lock.
"""
import base64
import hashlib
import hmac
import json
import secrets
import threading
import time

from .errors import ControlError

# The calls this server knows, by their NSID's last part: the endpoint names used in
# recorded requests and faults.
ENDPOINTS = ("createSession", "refreshSession", "getSession", "describeServer",
             "resolveHandle", "uploadBlob", "createRecord", "getRecord", "listRecords",
             "listNotifications", "updateSeen", "getBlob")

REASONS = ("mention", "reply", "quote", "follow", "like", "repost")
MAX_NOTIFY = 1000

DEFAULT_SETTINGS = {
    "access_lifetime": 7200,          # seconds, as the reference server's access tokens
    "refresh_lifetime": 90 * 86400,
    "refresh_grace": 0,               # strict rotation: a used refresh token dies at once
    "upload_limit": 5000000,
    "pds_endpoint": None,             # None: this server's own https address
    "did_doc": True,
}


def _did(name):
    return "did:plc:" + name.ljust(24, "2")  # did:plc ids are 24 base32 characters


# handle -> account. "two_factor": the main password needs an e-mailed code;
# "takedown": the account is taken down. Accounts without passwords only resolve.
SEEDED = (
    {"handle": "alice.test", "did": _did("alice"), "email": "alice@example.com",
     "password": "alice-main-password", "app_password": "abcd-2345-efgh-6789",
     "display_name": "Alice"},
    {"handle": "bob.test", "did": _did("bob"), "email": "bob@example.com",
     "password": "bob-main-password", "app_password": "bobb-2345-wxyz-6789",
     "display_name": "Bob", "two_factor": True},
    {"handle": "carol.test", "did": _did("carol"), "email": "carol@example.com",
     "password": "carol-main-password", "app_password": "caro-2345-down-6789",
     "display_name": "Carol", "takedown": True},
    {"handle": "dave.test", "did": _did("dave"), "display_name": "Dave"},
    {"handle": "erin.test", "did": _did("erin"), "display_name": "Erin"},
    {"handle": "frank.test", "did": _did("frank"), "display_name": "Frank"},
)
AUTHORS = ("dave.test", "erin.test", "frank.test")  # who mentions, follows, likes

_B32 = "abcdefghijklmnopqrstuvwxyz234567"
_SORTABLE = "234567abcdefghijklmnopqrstuvwxyz"


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode("ascii")


def b64url_decode(text):
    return base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))


def cid_for(data, codec):
    """A CIDv1 string (base32, "b" prefix) of data's SHA-256: codec 0x55 for raw blobs,
    0x71 for records."""
    raw = bytes([0x01, codec, 0x12, 0x20]) + hashlib.sha256(data).digest()
    bits = "".join(format(b, "08b") for b in raw)
    bits += "0" * (-len(bits) % 5)
    return "b" + "".join(_B32[int(bits[i:i + 5], 2)] for i in range(0, len(bits), 5))


_clock_id = secrets.randbelow(1024)
_last_tid_us = 0
_tid_lock = threading.Lock()


def next_tid():
    """A timestamp identifier: 13 sortable base32 characters of microseconds and a
    clock id; it only grows within a run."""
    global _last_tid_us
    with _tid_lock:
        us = max(int(time.time() * 1e6), _last_tid_us + 1)
        _last_tid_us = us
    value = (us << 10) | _clock_id
    return "".join(_SORTABLE[(value >> (5 * i)) & 31] for i in range(12, -1, -1))


def iso_now(ts=None):
    ts = time.time() if ts is None else ts
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(ts)) + ".%03dZ" % (
        int(ts * 1000) % 1000)


class TokenProblem(Exception):
    """A token that cannot be used: (status, error name, message)."""

    def __init__(self, status, name, message):
        super().__init__(message)
        self.status = status
        self.name = name


class BlueskyState:
    def __init__(self, lock):
        self.lock = lock
        self.secret = secrets.token_bytes(32)
        self.accounts = {a["handle"]: dict(a) for a in SEEDED}
        self.refresh = {}        # jti -> {"did", "exp", "revoked", "next", "rotated_at", ...}
        self.access = {}         # jti -> {"did", "exp", "expired"}
        self.next_notification = 1
        self.reset()

    def reset(self):
        """Forgets records, blobs, notifications and the counts set by control; the
        settings go back to their defaults. Accounts and sessions stay."""
        with self.lock:
            self.settings = dict(DEFAULT_SETTINGS)
            self.blobs = {}          # (did, cid) -> {"mime", "size", "stored", ...}
            self.records = {}        # (did, collection, rkey) -> {"value", "cid", "time"}
            self.notifications = []  # {"seq", "did", "reason", "author", "uri", ...}
            self.seen_at = {}        # did -> ISO time of the last updateSeen
            self.update_seen_calls = 0
            self.ratelimit_left = 0
            self.ratelimit_reset_in = 60
            self.lose_left = 0

    # ---- accounts ---------------------------------------------------------------------
    def account(self, identifier):
        """The account of a handle, an e-mail address or a DID (any case), or None."""
        ident = (identifier or "").strip().lower()
        if ident.startswith("@"):
            ident = ident[1:]
        with self.lock:
            for a in self.accounts.values():
                if ident in (a["handle"], a["did"], (a.get("email") or "").lower()):
                    return dict(a)
        return None

    # ---- tokens -----------------------------------------------------------------------
    def _jwt(self, typ, payload):
        header = b64url(json.dumps({"typ": typ, "alg": "HS256"},
                                   separators=(",", ":")).encode())
        body = b64url(json.dumps(payload, separators=(",", ":")).encode())
        signing = ("%s.%s" % (header, body)).encode()
        return "%s.%s.%s" % (header, body,
                             b64url(hmac.new(self.secret, signing, hashlib.sha256).digest()))

    def _decode(self, token):
        """(header, payload) of one of our JWTs, or TokenProblem."""
        parts = (token or "").split(".")
        bad = TokenProblem(401, "InvalidToken", "Token could not be verified")
        if len(parts) != 3:
            raise bad
        try:
            signing = ("%s.%s" % (parts[0], parts[1])).encode("ascii")
            want = hmac.new(self.secret, signing, hashlib.sha256).digest()
            if not hmac.compare_digest(want, b64url_decode(parts[2])):
                raise bad
            header = json.loads(b64url_decode(parts[0]))
            payload = json.loads(b64url_decode(parts[1]))
        except (ValueError, UnicodeError):
            raise bad
        if not isinstance(header, dict) or not isinstance(payload, dict):
            raise bad
        return header, payload

    def issue_session(self, did, app_password, successor_of=None):
        """(accessJwt, refreshJwt) for a new session, or for the next link of a session
        whose refresh token `successor_of` was just used."""
        now = int(time.time())
        with self.lock:
            scope = "com.atproto.appPass" if app_password else "com.atproto.access"
            access_jti = b64url(secrets.token_bytes(12))
            access_exp = now + self.settings["access_lifetime"]
            self.access[access_jti] = {"did": did, "exp": access_exp, "expired": False}
            access = self._jwt("at+jwt", {"scope": scope, "sub": did, "aud": "did:web:127.0.0.1",
                                          "jti": access_jti, "iat": now, "exp": access_exp})
            jti = b64url(secrets.token_bytes(24))
            refresh_exp = now + self.settings["refresh_lifetime"]
            refresh = self._jwt("refresh+jwt", {"scope": "com.atproto.refresh", "sub": did,
                                                "aud": "did:web:127.0.0.1", "jti": jti,
                                                "iat": now, "exp": refresh_exp})
            self.refresh[jti] = {"did": did, "exp": refresh_exp, "revoked": False,
                                 "next": None, "rotated_at": None, "token": refresh,
                                 "app_password": app_password, "created": now,
                                 "previous": successor_of}
            return access, refresh

    def check_access(self, token):
        """The DID an access token speaks for; TokenProblem otherwise."""
        header, payload = self._decode(token)
        if header.get("typ") != "at+jwt" or payload.get("scope") not in (
                "com.atproto.access", "com.atproto.appPass"):
            raise TokenProblem(400, "InvalidToken", "Invalid token type")
        with self.lock:
            known = self.access.get(payload.get("jti"))
            exp = payload.get("exp")
            if (known is None or known["expired"] or not isinstance(exp, int)
                    or exp <= time.time()):
                raise TokenProblem(400, "ExpiredToken", "Token has expired")
            return known["did"]

    def rotate(self, token):
        """A new (access, refresh, did) pair for a refresh token, which stops working
        (after the grace period, when one is set); TokenProblem otherwise."""
        header, payload = self._decode(token)
        if header.get("typ") != "refresh+jwt" or payload.get("scope") != "com.atproto.refresh":
            raise TokenProblem(400, "InvalidToken", "Invalid token type")
        now = time.time()
        with self.lock:
            r = self.refresh.get(payload.get("jti"))
            if r is None:
                raise TokenProblem(400, "ExpiredToken", "Token has been revoked")
            if r["exp"] <= now:
                raise TokenProblem(400, "ExpiredToken", "Token has expired")
            if r["revoked"]:
                raise TokenProblem(400, "ExpiredToken", "Token has been revoked")
            if r["next"] is not None:
                # Used before: within the grace period it gives the same successor again.
                if now - r["rotated_at"] < self.settings["refresh_grace"]:
                    successor = self.refresh[r["next"]]
                    access, _ = self.issue_session(r["did"], r["app_password"])
                    return access, successor["token"], r["did"]
                raise TokenProblem(400, "ExpiredToken", "Token has been revoked")
            access, refresh = self.issue_session(r["did"], r["app_password"],
                                                 successor_of=payload.get("jti"))
            _, new_payload = self._decode(refresh)
            r["next"] = new_payload["jti"]
            r["rotated_at"] = now
            if self.settings["refresh_grace"] <= 0:
                r["revoked"] = True
            return access, refresh, r["did"]

    def expire_access(self, did=None):
        with self.lock:
            n = 0
            for a in self.access.values():
                if not a["expired"] and (did is None or a["did"] == did):
                    a["expired"] = True
                    n += 1
            return n

    def revoke(self, did=None):
        with self.lock:
            n = 0
            for r in self.refresh.values():
                if not r["revoked"] and (did is None or r["did"] == did):
                    r["revoked"] = True
                    n += 1
            self.expire_access(did)
            return n

    # ---- blobs and records ------------------------------------------------------------
    def add_blob(self, did, cid, blob):
        with self.lock:
            self.blobs[(did, cid)] = dict(blob)

    def blob(self, did, cid):
        with self.lock:
            b = self.blobs.get((did, cid))
            return dict(b) if b else None

    def add_record(self, did, collection, rkey, value, cid):
        """False when the key is taken."""
        with self.lock:
            key = (did, collection, rkey)
            if key in self.records:
                return False
            self.records[key] = {"value": value, "cid": cid, "time": time.time()}
            return True

    def record(self, did, collection, rkey):
        with self.lock:
            r = self.records.get((did, collection, rkey))
            return dict(r) if r else None

    def records_of(self, did, collection):
        """[(rkey, record)] of one collection, newest key first."""
        with self.lock:
            found = [(k[2], dict(r)) for k, r in self.records.items()
                     if k[0] == did and k[1] == collection]
        return sorted(found, key=lambda kr: kr[0], reverse=True)

    # ---- notifications ----------------------------------------------------------------
    def notify(self, reason, count, handle=None):
        if reason not in REASONS:
            raise ControlError("reason must be one of %s" % ", ".join(REASONS))
        if isinstance(count, bool) or not isinstance(count, int) or not 1 <= count <= MAX_NOTIFY:
            raise ControlError("count must be 1..%d" % MAX_NOTIFY)
        me = self.account(handle or "alice.test")
        if me is None:
            raise ControlError("unknown account: %r" % (handle,))
        with self.lock:
            mine = self.records_of(me["did"], "app.bsky.feed.post")
            added = []
            for _ in range(count):
                seq = self.next_notification
                self.next_notification += 1
                author = self.accounts[AUTHORS[seq % len(AUTHORS)]]
                n = self._notification(seq, reason, me, author, mine)
                self.notifications.append(n)
                added.append(dict(n))
            return added

    def _notification(self, seq, reason, me, author, my_posts):
        now = time.time()
        created = iso_now(now)
        if my_posts:
            rkey, post = my_posts[0]
            subject = {"uri": "at://%s/app.bsky.feed.post/%s" % (me["did"], rkey),
                       "cid": post["cid"]}
        else:
            subject = {"uri": "at://%s/app.bsky.feed.post/3kzzzzzzzzz22" % me["did"],
                       "cid": cid_for(b"an earlier post", 0x71)}
        collection = {"follow": "app.bsky.graph.follow", "like": "app.bsky.feed.like",
                      "repost": "app.bsky.feed.repost"}.get(reason, "app.bsky.feed.post")
        record = {"$type": collection, "createdAt": created}
        if reason in ("mention", "reply", "quote"):
            prefix = "@%s " % me["handle"]
            text = "%shello %d" % (prefix if reason == "mention" else "", seq)
            record["text"] = text
            record["langs"] = ["en"]
            if reason == "mention":
                record["facets"] = [{
                    "index": {"byteStart": 0, "byteEnd": len(prefix.encode()) - 1},
                    "features": [{"$type": "app.bsky.richtext.facet#mention",
                                  "did": me["did"]}]}]
            elif reason == "reply":
                record["reply"] = {"root": subject, "parent": subject}
            else:
                record["embed"] = {"$type": "app.bsky.embed.record", "record": subject}
        elif reason == "follow":
            record["subject"] = me["did"]
        else:
            record["subject"] = subject
        uri = "at://%s/%s/%s" % (author["did"], collection, next_tid())
        n = {"seq": seq, "did": me["did"], "reason": reason, "uri": uri,
             "cid": cid_for(json.dumps(record, sort_keys=True).encode(), 0x71),
             "author": {"did": author["did"], "handle": author["handle"],
                        "displayName": author["display_name"]},
             "record": record, "indexedAt": created, "time": now}
        if reason in ("reply", "quote", "like", "repost"):
            n["reasonSubject"] = subject["uri"]
        return n

    def notifications_for(self, did):
        with self.lock:
            return [dict(n) for n in self.notifications if n["did"] == did]

    def mark_seen(self, did, seen_at):
        with self.lock:
            self.update_seen_calls += 1
            self.seen_at[did] = seen_at

    def seen(self, did):
        with self.lock:
            return self.seen_at.get(did)

    # ---- control ----------------------------------------------------------------------
    def take_ratelimit(self):
        """Seconds until the limit resets when this request is to be refused, else None."""
        with self.lock:
            if self.ratelimit_left <= 0:
                return None
            self.ratelimit_left -= 1
            return self.ratelimit_reset_in

    def take_lose(self):
        with self.lock:
            if self.lose_left <= 0:
                return False
            self.lose_left -= 1
            return True

    @staticmethod
    def _count(value, name, low, high):
        if isinstance(value, str) and value.strip().isdigit():
            value = int(value)
        if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
            raise ControlError("%s must be %d..%d" % (name, low, high))
        return value

    def set_ratelimit(self, count, reset_in=60):
        with self.lock:
            self.ratelimit_left = self._count(count, "count", 0, 1000000)
            self.ratelimit_reset_in = self._count(reset_in, "reset_in", 0, 86400)
            return {"count": self.ratelimit_left, "reset_in": self.ratelimit_reset_in}

    def set_lose(self, count):
        with self.lock:
            self.lose_left = self._count(count, "count", 0, 1000)
            return {"count": self.lose_left}

    def set_settings(self, wanted):
        changes = {}
        for key in ("access_lifetime", "refresh_lifetime", "refresh_grace", "upload_limit"):
            if key in wanted:
                changes[key] = self._count(wanted[key], key, 0, 10 ** 10)
        if "pds_endpoint" in wanted:
            if wanted["pds_endpoint"] is not None and not isinstance(wanted["pds_endpoint"], str):
                raise ControlError("pds_endpoint must be a string or null")
            changes["pds_endpoint"] = wanted["pds_endpoint"]
        if "did_doc" in wanted:
            value = wanted["did_doc"]
            if isinstance(value, str) and value in ("true", "false"):
                value = value == "true"
            if not isinstance(value, bool):
                raise ControlError("did_doc must be true or false")
            changes["did_doc"] = value
        unknown = set(wanted) - set(DEFAULT_SETTINGS)
        if unknown:
            raise ControlError("unknown setting(s): %s" % ", ".join(sorted(unknown)))
        with self.lock:
            self.settings.update(changes)
            return dict(self.settings)

    def setting(self, name):
        with self.lock:
            return self.settings[name]

    def snapshot(self):
        with self.lock:
            return {
                "accounts": [{k: a.get(k) for k in ("handle", "did", "email", "password",
                                                    "app_password", "two_factor",
                                                    "takedown")}
                             for a in self.accounts.values()],
                "settings": dict(self.settings),
                "sessions": [{"did": r["did"], "created": r["created"],
                              "expires": r["exp"], "rotated": r["next"] is not None,
                              "revoked": r["revoked"], "app_password": r["app_password"]}
                             for r in self.refresh.values()],
                "access_tokens": {"issued": len(self.access),
                                  "expired": sum(1 for a in self.access.values()
                                                 if a["expired"])},
                "blobs": [dict(b, did=k[0], cid=k[1]) for k, b in self.blobs.items()],
                "records": [{"uri": "at://%s/%s/%s" % k, "cid": r["cid"], "value": r["value"],
                             "time": r["time"]} for k, r in self.records.items()],
                "notifications": [dict(n) for n in self.notifications],
                "update_seen_calls": self.update_seen_calls,
                "ratelimit_left": self.ratelimit_left,
                "lose_left": self.lose_left,
            }
