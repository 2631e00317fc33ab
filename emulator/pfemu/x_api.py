"""X's current interface (what the program's [Twitter] Api=2 speaks), on the https role
"x_api": the OAuth 1.0a binding with a PIN at /oauth/request_token, /oauth/authorize and
/oauth/access_token, GET /2/users/me, POST /2/media/upload (multipart "media" with
"media_category") and POST /2/tweets (a JSON body). Every call is checked with oauthlib
against X's own consumer pair: a form body is part of the signature, a JSON or multipart
body is not. The account, posts, faults and records are Twitter's (service "twitter");
only the consumer and the answers differ.

Controls (POST /control/x, JSON): {"rate_limited": n, "reset_in": s} makes the next n
uploads and posts answer 429 with x-rate-limit-reset = now + s (default 900);
{"enrolled": false} makes them answer 403 client-not-enrolled until {"enrolled": true}
or a reset. GET /control/x shows the settings.
"""
import json
import threading
import time

from . import pages
from .httpcore import Response
from .oauthcheck import ServiceChecker
from .services import Route, ServiceApp, json_answer

ROLE = "x_api"
SERVICE = "twitter"
# The developer app the emulator knows, as the user would copy it into Services.ini.
CONSUMER = ("xEmuConsumerKey0123456789", "xEmuConsumerSecret0123456789abcdefghijklmnop")
DUPLICATE = "You are not allowed to create a Tweet with duplicate content."
MAX_PICTURE = 5 * 1024 * 1024


class XSettings:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with self.lock:
            self.rate_limited = 0
            self.reset_in = 900
            self.enrolled = True

    def snapshot(self):
        with self.lock:
            return {"rate_limited": self.rate_limited, "reset_in": self.reset_in,
                    "enrolled": self.enrolled}

    def set(self, wanted):
        with self.lock:
            if "rate_limited" in wanted:
                n = wanted["rate_limited"]
                if not isinstance(n, int) or isinstance(n, bool) or n < 0:
                    raise ValueError("rate_limited must be a count")
                self.rate_limited = n
            if "reset_in" in wanted:
                s = wanted["reset_in"]
                if not isinstance(s, int) or isinstance(s, bool) or not 0 <= s <= 86400:
                    raise ValueError("reset_in must be seconds (0..86400)")
                self.reset_in = s
            if "enrolled" in wanted:
                self.enrolled = bool(wanted["enrolled"])
        return self.snapshot()

    def refusal(self):
        """The answer that replaces a post or upload now, or None."""
        with self.lock:
            if not self.enrolled:
                return json_answer({
                    "client_id": "29834957",
                    "detail": "When authenticating requests to the Twitter API v2 endpoints, "
                              "you must use keys and tokens from a Twitter developer App that "
                              "is attached to a Project.",
                    "registration_url": "https://developer.x.com/en/docs/projects/overview",
                    "title": "Client Forbidden",
                    "required_enrollment": "Appropriate Level of API Access",
                    "reason": "client-not-enrolled",
                    "type": "https://api.twitter.com/2/problems/client-forbidden"},
                    status=403)
            if self.rate_limited > 0:
                self.rate_limited -= 1
                reset = int(time.time()) + self.reset_in
                answer = json_answer({"title": "Too Many Requests", "detail": "Too Many Requests",
                                      "type": "about:blank", "status": 429}, status=429)
                answer.headers += [("x-rate-limit-limit", "17"),
                                   ("x-rate-limit-remaining", "0"),
                                   ("x-rate-limit-reset", str(reset))]
                return answer
        return None


def settings(state):
    """The X settings of this emulator (made on first use)."""
    with state.lock:
        if getattr(state, "x_settings", None) is None:
            state.x_settings = XSettings()
        return state.x_settings


def control(state, path, method, body):
    """/control/x: (status, object)."""
    if method == "GET":
        return 200, settings(state).snapshot()
    try:
        return 200, {"ok": True, "x": settings(state).set(body)}
    except ValueError as e:
        return 400, {"error": str(e)}


def reset(state):
    settings(state).reset()


def problem(status, title, detail, kind="about:blank"):
    return json_answer({"title": title, "detail": detail, "type": kind, "status": status},
                       status=status)


class XApp(ServiceApp):
    """Answers the x_api port: Twitter's account and posts, X's consumer and formats."""

    def __init__(self, state, role, ports):
        self.state = state
        self.role = role
        self.service = SERVICE
        self.ports = ports
        self.checker = ServiceChecker(state, SERVICE)
        self.checker.validator.consumer_key, self.checker.validator.consumer_secret = CONSUMER
        self.settings = settings(state)
        self.routes = {
            "/oauth/request_token": Route("request_token", "request_token",
                                          ServiceApp.request_token),
            "/oauth/authorize": Route("authorize", None, XApp.authorize),
            "/oauth/access_token": Route("access_token", "access_token",
                                         ServiceApp.access_token),
            "/2/users/me": Route("verify_credentials", "resource", XApp.users_me),
            "/2/media/upload": Route("upload", "resource", XApp.media_upload, True),
            "/2/tweets": Route("update", "resource", XApp.tweets, True),
        }

    def _normal_answer(self, ctx, route, oauth):
        if oauth is not None and not oauth.valid and ctx.parse_error is None:
            # X explains a refused signature as a problem document.
            if route.auth == "resource":
                return problem(401, "Unauthorized", oauth.reason)
        return ServiceApp._normal_answer(self, ctx, route, oauth)

    def authorize(self, ctx, oauth):
        return pages.authorize_page(self.state, SERVICE, ctx)

    def users_me(self, ctx, oauth):
        a = self.state.account(SERVICE)
        return json_answer({"data": {"id": a["user_id"], "name": a.get("name", ""),
                                     "username": a["screen_name"]}}, self._omit())

    def media_upload(self, ctx, oauth):
        refused = self.settings.refusal()
        if refused is not None:
            return refused
        media = ctx.file("media")
        if media is None:
            return problem(400, "Invalid Request", "One or more parameters to your request "
                           "was invalid: media is missing.")
        if ctx.form_value("media_category") != "tweet_image":
            return problem(400, "Invalid Request", "media_category must be tweet_image.")
        if len(media.data) > MAX_PICTURE:
            return problem(400, "Invalid Request", "File size exceeds 5242880 bytes.")
        with self.state.lock:
            media_id = str(FIRST_MEDIA_ID + len(self.state.__dict__.setdefault("x_media", {})))
            self.state.x_media[media_id] = {"sha256": media.sha256, "stored": media.stored}
        return json_answer({"data": {"id": media_id, "media_key": "3_" + media_id,
                                     "size": len(media.data), "expires_after_secs": 86400,
                                     "image": {"image_type": media.content_type}}})

    def tweets(self, ctx, oauth):
        refused = self.settings.refusal()
        if refused is not None:
            return refused
        try:
            body = json.loads(ctx.body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            return problem(400, "Invalid Request", "The request body is not valid JSON.")
        if not isinstance(body, dict) or not isinstance(body.get("text"), str):
            return problem(400, "Invalid Request", "The `text` field is required.")
        picture = None
        media = body.get("media")
        if media is not None:
            ids = media.get("media_ids") if isinstance(media, dict) else None
            # X takes the ids as strings only: a number would have lost digits on the way.
            if (not isinstance(ids, list) or len(ids) != 1
                    or not all(isinstance(i, str) for i in ids)):
                return problem(400, "Invalid Request",
                               "media.media_ids must be an array of id strings.")
            with self.state.lock:
                picture = self.state.__dict__.get("x_media", {}).get(ids[0])
            if picture is None:
                return problem(400, "Invalid Request", "Your media IDs are invalid.")
        post = self.state.add_post(SERVICE, body["text"], body["text"], picture,
                                   {"api": 2, "media_ids": (media or {}).get("media_ids", [])})
        if post is None:
            return problem(403, "Forbidden", DUPLICATE)
        return json_answer({"data": {"id": post["id"], "text": body["text"],
                                     "edit_history_tweet_ids": [post["id"]]}}, status=201)


FIRST_MEDIA_ID = 1880000000000000001
