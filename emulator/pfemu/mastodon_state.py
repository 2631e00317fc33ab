"""Mastodon's own state: registered apps, authorisation codes, bearer tokens and their
scopes, uploaded media and how far their processing is, notifications, the answers kept
for Idempotency-Key replays, and the settings the control port changes.

It shares the emulator's one lock; posts live with the other services' posts in State.
"""
import base64
import secrets
import time

from .errors import ControlError

OOB_REDIRECT = "urn:ietf:wg:oauth:2.0:oob"

# Every scope a Mastodon server knows; "read" and "write" cover their "read:*"/"write:*".
KNOWN_SCOPES = frozenset(
    ["read", "write", "follow", "push", "profile", "admin:read", "admin:write"]
    + ["read:" + s for s in ("accounts", "blocks", "bookmarks", "favourites", "filters",
                             "follows", "lists", "mutes", "notifications", "search",
                             "statuses")]
    + ["write:" + s for s in ("accounts", "blocks", "bookmarks", "conversations",
                              "favourites", "filters", "follows", "lists", "media", "mutes",
                              "notifications", "reports", "statuses")]
    + ["admin:%s:%s" % (rw, s) for rw in ("read", "write")
       for s in ("accounts", "reports", "domain_allows", "domain_blocks", "ip_blocks",
                 "email_domain_blocks", "canonical_email_blocks")])

NOTIFICATION_TYPES = ("mention", "follow", "favourite", "reblog")
DEFAULT_MAX_CHARACTERS = 500
MAX_NOTIFY = 1000


def _token_text():
    return secrets.token_urlsafe(32)  # 43 characters, as the server's own


def _vapid_key():
    return base64.urlsafe_b64encode(b"\x04" + secrets.token_bytes(64)).decode()


def has_scope(granted, accepted):
    """True when one of the granted scopes is among the accepted ones."""
    return any(s in accepted for s in granted)


class MastodonState:
    def __init__(self, lock):
        self.lock = lock
        self.apps = {}       # client_id -> app
        self.codes = {}      # code -> {"client_id", "redirect_uri", "scopes", "used"}
        self.last_code = None
        self.tokens = {}     # access token -> {"client_id", "scopes", "revoked", ...}
        self.replays = {}    # (access token, Idempotency-Key) -> the status answered
        self.next_app_id = 1
        self.next_media_id = 113584219000000001
        self.next_notification_id = 1
        self.reset()

    def reset(self):
        """Forgets media and notifications; the settings go back to their defaults.
        Apps, codes, tokens and kept Idempotency-Key answers stay."""
        with self.lock:
            self.media = {}
            self.notifications = []
            self.max_characters = DEFAULT_MAX_CHARACTERS
            self.with_configuration = True
            self.processing_polls = 0

    # ---- apps, codes, tokens -----------------------------------------------------------
    def add_app(self, name, website, redirect_uris, scopes):
        with self.lock:
            app = {"id": str(self.next_app_id), "name": name, "website": website,
                   "redirect_uris": list(redirect_uris), "scopes": list(scopes),
                   "client_id": _token_text(), "client_secret": _token_text(),
                   "vapid_key": _vapid_key()}
            self.next_app_id += 1
            self.apps[app["client_id"]] = app
            return dict(app)

    def app(self, client_id):
        with self.lock:
            app = self.apps.get(client_id)
            return dict(app) if app else None

    def authorize_newest_app(self, redirect_uri):
        """A fresh code for the app registered last, as if its user had just approved it
        on the authorisation page; None when no app is registered yet."""
        with self.lock:
            newest = list(self.apps.values())[-1] if self.apps else None
        if newest is None:
            return None
        return self.issue_code(newest["client_id"], redirect_uri, newest["scopes"])

    def issue_code(self, client_id, redirect_uri, scopes):
        with self.lock:
            code = _token_text()
            self.codes[code] = {"client_id": client_id, "redirect_uri": redirect_uri,
                                "scopes": list(scopes), "used": False}
            self.last_code = code
            return code

    def exchange_code(self, code, client_id, redirect_uri, account_id):
        """The new token for a code issued to this client for this redirect URI, used
        once; None when the code does not fit."""
        with self.lock:
            c = self.codes.get(code)
            if (c is None or c["used"] or c["client_id"] != client_id
                    or c["redirect_uri"] != redirect_uri):
                return None
            c["used"] = True
            token = {"access_token": _token_text(), "client_id": client_id,
                     "scopes": c["scopes"], "created_at": int(time.time()),
                     "account_id": account_id, "revoked": False}
            self.tokens[token["access_token"]] = token
            return dict(token)

    def token(self, value):
        """The live token of that value, or None (unknown or revoked)."""
        with self.lock:
            t = self.tokens.get(value)
            return dict(t) if t and not t["revoked"] else None

    def revoke(self, value=None, client_id=None):
        """Revokes one token (of that client, when given) or, without a value, all."""
        with self.lock:
            for v, t in self.tokens.items():
                if value is None or (v == value and client_id in (None, t["client_id"])):
                    t["revoked"] = True

    # ---- Idempotency-Key --------------------------------------------------------------
    def replay(self, token, key):
        with self.lock:
            return self.replays.get((token, key))

    def keep_for_replay(self, token, key, status):
        with self.lock:
            self.replays.setdefault((token, key), status)

    # ---- media ------------------------------------------------------------------------
    def add_media(self, account_id, kind, upload, description):
        with self.lock:
            media = {"id": str(self.next_media_id), "account_id": account_id, "type": kind,
                     "description": description, "sha256": upload.sha256,
                     "stored": upload.stored, "polls_left": self.processing_polls,
                     "status_id": None}
            self.next_media_id += secrets.randbelow(997) + 1
            self.media[media["id"]] = media
            return dict(media)

    def poll_media(self, media_id, account_id):
        """The attachment as one status request sees it (a processing one comes one
        poll nearer to done); None when unknown or another account's."""
        with self.lock:
            m = self.media.get(media_id)
            if m is None or m["account_id"] != account_id:
                return None
            seen = dict(m)
            if m["polls_left"] > 0:
                m["polls_left"] -= 1
            return seen

    def attach_media(self, media_ids, account_id):
        """The attachments for a new status, or the reason they cannot be attached."""
        with self.lock:
            found = [self.media.get(i) for i in media_ids]
            missing = [i for i, m in zip(media_ids, found)
                       if m is None or m["account_id"] != account_id or m["status_id"]]
            if missing:
                return None, ("Media with IDs %s not found or already attached to "
                              "another post" % ", ".join(missing))
            if any(m["polls_left"] > 0 for m in found):
                return None, ("Cannot attach files that have not finished processing. "
                              "Try again in a moment!")
            return [dict(m) for m in found], None

    def mark_attached(self, media_ids, status_id):
        with self.lock:
            for i in media_ids:
                self.media[i]["status_id"] = status_id

    # ---- notifications ----------------------------------------------------------------
    def notify(self, kind, count):
        if kind not in NOTIFICATION_TYPES:
            raise ControlError("type must be one of %s" % ", ".join(NOTIFICATION_TYPES))
        if (isinstance(count, bool) or not isinstance(count, int)
                or not 1 <= count <= MAX_NOTIFY):
            raise ControlError("count must be 1..%d" % MAX_NOTIFY)
        with self.lock:
            added = []
            for _ in range(count):
                n = {"id": str(self.next_notification_id), "type": kind,
                     "time": time.time()}
                self.next_notification_id += 1
                self.notifications.append(n)
                added.append(dict(n))
            return added

    def notifications_snapshot(self):
        with self.lock:
            return [dict(n) for n in self.notifications]

    # ---- settings ---------------------------------------------------------------------
    def set_instance(self, wanted):
        with self.lock:
            if "max_characters" in wanted:
                n = wanted["max_characters"]
                if isinstance(n, bool) or not isinstance(n, int) or n < 1:
                    raise ControlError("max_characters must be a positive integer")
                self.max_characters = n
            if "configuration" in wanted:
                if not isinstance(wanted["configuration"], bool):
                    raise ControlError("configuration must be true or false")
                self.with_configuration = wanted["configuration"]
            return self.instance_settings()

    def instance_settings(self):
        with self.lock:
            return {"max_characters": self.max_characters,
                    "configuration": self.with_configuration}

    def set_media(self, wanted):
        n = wanted.get("processing_polls", 0)
        if isinstance(n, bool) or not isinstance(n, int) or n < 0:
            raise ControlError("processing_polls must be a non-negative integer")
        with self.lock:
            self.processing_polls = n
            return {"processing_polls": n}

    def snapshot(self):
        """What the control port shows: apps (without secrets), tokens by scope, media,
        notifications and settings."""
        with self.lock:
            return {
                "apps": [{k: a[k] for k in ("id", "name", "website", "redirect_uris",
                                            "scopes", "client_id")}
                         for a in self.apps.values()],
                "tokens": [{"client_id": t["client_id"], "scopes": t["scopes"],
                            "revoked": t["revoked"], "account_id": t["account_id"]}
                           for t in self.tokens.values()],
                "media": [{k: m[k] for k in ("id", "type", "sha256", "polls_left",
                                             "status_id")} for m in self.media.values()],
                "notifications": [dict(n) for n in self.notifications],
                "instance": self.instance_settings(),
                "processing_polls": self.processing_polls,
                "last_code": self.last_code,
            }
