"""The service ports: routing of each role's paths to endpoints, recording, faults, the
OAuth check, and the answers of Tencent, Sina, Sohu, Twitter and the IP-echo page in
each service's own format.
"""
import base64
import json
import os
import time
import urllib.parse

from . import pages
from .httpcore import Response
from .oauthcheck import ServiceChecker, oauth_params_of
from .state import HANG_LIMIT

# Mastodon's roles come after "control", so the --base-port offsets of the others stay.
ROLES = ("tencent_open", "tencent_open_tls", "tencent_web", "sina_api", "sina_web",
         "sohu_api", "sohu_web", "twitter_api", "twitter_web", "ipecho", "control",
         "mastodon", "mastodon_badcert")
ROLES += ("bluesky",)  # after Mastodon's, so every earlier offset stays
MASTODON_ROLES = ("mastodon", "mastodon_badcert")

ROLE_SERVICE = {
    "tencent_open": "tencent", "tencent_open_tls": "tencent", "tencent_web": "tencent",
    "sina_api": "sina", "sina_web": "sina", "sohu_api": "sohu", "sohu_web": "sohu",
    "twitter_api": "twitter", "twitter_web": "twitter", "ipecho": "ipecho",
}
WEB_ROLES = ("tencent_web", "sina_web", "sohu_web", "twitter_web")

_DAYS = ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")
_MONTHS = ("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov",
           "Dec")


def created_at(ts, offset_hours):
    """"Mon Dec 07 08:00:00 +0800 2026" in the given zone, independent of the locale."""
    t = time.gmtime(ts + offset_hours * 3600)
    return "%s %s %02d %02d:%02d:%02d %+05d %d" % (
        _DAYS[t.tm_wday], _MONTHS[t.tm_mon - 1], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
        offset_hours * 100, t.tm_year)


def _without(value, omit):
    if isinstance(value, dict):
        return {k: _without(v, omit) for k, v in value.items() if k not in omit}
    if isinstance(value, list):
        return [_without(v, omit) for v in value]
    return value


def json_answer(obj, omit=(), status=200):
    text = json.dumps(_without(obj, set(omit)), ensure_ascii=False, separators=(",", ":"))
    return Response(status, text, "application/json; charset=utf-8")


def form_answer(pairs, omit=()):
    """key=value&... as the services send it: values written as they are."""
    text = "&".join("%s=%s" % (k, v) for k, v in pairs if k not in omit)
    return Response(200, text, "text/plain; charset=utf-8")


def _number_or_text(value):
    return int(value) if value.isdigit() and len(value) < 19 else value


def _fault_body(fault):
    if "body_base64" in fault:
        return base64.b64decode(fault["body_base64"])
    return fault.get("body", "")


def fault_response(fault, refusal=None):
    """The answer of a fault mode; `refusal` is the service's own 401 for "refuse"."""
    mode = fault["mode"]
    if mode == "refuse":
        return refusal or Response(401, "refused by fault injection\n")
    if mode == "status":
        return Response(fault["status"], _fault_body(fault),
                        fault.get("content_type", "text/plain; charset=utf-8"))
    if mode == "body":
        return Response(200, _fault_body(fault),
                        fault.get("content_type", "text/plain; charset=utf-8"))
    if mode == "retry_after":
        body = json.dumps({"error": "Too many requests"})
        return Response(429, body, "application/json; charset=utf-8",
                        headers=[("Retry-After", str(fault.get("seconds", 2)))])
    if mode == "empty":
        return Response(200, b"")
    if mode == "drop":
        return Response.drop()
    if mode == "oversize":
        return Response.stream(fault.get("bytes", 16 * 1024 * 1024), fault.get("length", True))
    if mode == "garbage":
        n = max(1, fault.get("bytes", 512))
        # 0xFF never occurs in UTF-8, so the body can never pass as UTF-8 text.
        return Response(200, b"\xff" + os.urandom(n - 1), "application/json; charset=utf-8")
    return Response(500, "unknown fault mode\n")


def answer_with_faults(state, service, endpoint, entry, normal, refusal=None):
    """The answer to a request: normal() unless a fault is set on this endpoint. A fault
    with "after" lets the request take effect first and then replaces its answer (a post
    made whose answer is lost). A "hang" holds the request until it is let go; a "delay"
    waits, then gives the normal answer. `refusal` is the service's own 401."""
    fault = state.take_fault(service, endpoint)
    if fault is None:
        return normal()
    state.update_record(entry, fault=fault["mode"])
    done = normal() if fault.get("after") else None
    mode = fault["mode"]
    if mode == "hang":
        with state.lock:
            release = state.hang_release
        release.wait(HANG_LIMIT)
        return Response.drop()
    if mode == "delay":
        state.shutting_down.wait(max(0.0, fault.get("ms", 1000)) / 1000.0)
        return done or normal()
    return fault_response(fault, refusal)


class Route:
    __slots__ = ("endpoint", "auth", "func", "post_only")

    def __init__(self, endpoint, auth, func, post_only=False):
        self.endpoint = endpoint
        self.auth = auth  # "request_token", "access_token", "resource" or None
        self.func = func
        self.post_only = post_only


class ServiceApp:
    """Answers every request that arrives on one service port."""

    def __init__(self, state, role, ports):
        self.state = state
        self.role = role
        self.service = ROLE_SERVICE[role]
        self.ports = ports  # role -> port, for links in pages
        self.checker = ServiceChecker(state, self.service) if self.service != "ipecho" else None
        self.routes = self._routes()

    # ---- routing -----------------------------------------------------------------------
    def _routes(self):
        s = self.service
        if self.role in WEB_ROLES:
            return {}
        if s == "ipecho":
            return {"/getip.asp": Route("getip", None, ServiceApp.getip)}
        if s == "tencent":
            return {
                "/cgi-bin/request_token": Route("request_token", "request_token",
                                                ServiceApp.request_token),
                "/cgi-bin/authorize": Route("authorize", None, ServiceApp.authorize),
                "/cgi-bin/access_token": Route("access_token", "access_token",
                                               ServiceApp.access_token),
                "/api/t/add": Route("add", "resource", ServiceApp.tencent_add, True),
                "/api/t/add_pic": Route("add_pic", "resource", ServiceApp.tencent_add, True),
                "/api/info/update": Route("poll", "resource", ServiceApp.tencent_poll),
            }
        routes = {
            "/oauth/request_token": Route("request_token", "request_token",
                                          ServiceApp.request_token),
            "/oauth/authorize": Route("authorize", None, ServiceApp.authorize),
            "/oauth/access_token": Route("access_token", "access_token",
                                         ServiceApp.access_token),
        }
        if s == "sina":
            routes.update({
                "/account/verify_credentials.json": Route("verify_credentials", "resource",
                                                          ServiceApp.sina_verify),
                "/statuses/update.json": Route("update", "resource", ServiceApp.status_post,
                                               True),
                "/statuses/upload.json": Route("upload", "resource", ServiceApp.status_post,
                                               True),
                "/statuses/unread.json": Route("poll", "resource", ServiceApp.sina_unread),
            })
        elif s == "sohu":
            routes.update({
                "/users/show.json": Route("users_show", "resource", ServiceApp.sohu_show),
                "/statuses/update.json": Route("update", "resource", ServiceApp.status_post,
                                               True),
                "/statuses/upload.json": Route("upload", "resource", ServiceApp.status_post,
                                               True),
            })
        elif s == "twitter":
            routes["/1/statuses/update.json"] = Route("update", "resource",
                                                      ServiceApp.status_post, True)
        return routes

    def _route(self, ctx):
        if self.role in WEB_ROLES:
            return Route("web", None, ServiceApp.web_page)
        route = self.routes.get(ctx.path)
        if route is None:
            return Route("unknown", None, ServiceApp.not_found)
        return route

    # ---- one request -------------------------------------------------------------------
    def __call__(self, ctx):
        route = self._route(ctx)
        if route.auth and ctx.parse_error is None:
            oauth = self.checker.check(route.auth, ctx.uri(), ctx.method, ctx.body_text,
                                       ctx.headers)
            oauth_record = oauth.as_record()
        else:
            oauth = None
            oauth_record = {"checked": False, "valid": False,
                            "reason": "not a signed call" if not route.auth
                            else "unreadable request",
                            "params": oauth_params_of(ctx.uri(), ctx.body_text, ctx.headers)}
        files = []
        for f in ctx.files:
            f.stored = self.state.store_upload(f.filename, f.data)
            files.append(f.as_record())
        entry = self.state.record({
            "service": self.service, "role": self.role, "endpoint": route.endpoint,
            "scheme": ctx.scheme, "method": ctx.method, "path": ctx.path,
            "target": ctx.target, "query": [list(p) for p in ctx.query],
            "form": [list(p) for p in ctx.form], "files": files, "oauth": oauth_record,
            "peer": ctx.peer, "headers": ctx.headers, "body_size": len(ctx.body),
            "time": time.time(), "status": None, "fault": None,
        })
        response = self._answer(ctx, route, oauth, entry)
        self.state.update_record(entry, status=response.status or None)
        return response

    def _answer(self, ctx, route, oauth, entry):
        return answer_with_faults(self.state, self.service, route.endpoint, entry,
                                  lambda: self._normal_answer(ctx, route, oauth))

    def _normal_answer(self, ctx, route, oauth):
        if ctx.parse_error is not None:
            return Response(ctx.parse_error[0], ctx.parse_error[1] + "\n")
        if route.post_only and ctx.method != "POST":
            return Response(405, "this call takes POST\n", headers=[("Allow", "POST")])
        if oauth is not None and not oauth.valid:
            return Response(401, oauth.reason + "\n")
        return route.func(self, ctx, oauth)

    # ---- OAuth steps -------------------------------------------------------------------
    def request_token(self, ctx, oauth):
        tok = self.state.issue_request_token(self.service, oauth.request.client_key)
        quirks = self.state.quirks_for(self.service)
        pairs = [("oauth_token", tok.token), ("oauth_token_secret", tok.secret)]
        confirmed = quirks["callback_confirmed"]
        if confirmed is None and self.service in ("tencent", "twitter"):
            confirmed = "true"
        if confirmed is not None:
            pairs.append(("oauth_callback_confirmed", confirmed))
        return form_answer(pairs, quirks["omit"])

    def authorize(self, ctx, oauth):
        return pages.authorize_page(self.state, self.service, ctx)

    def access_token(self, ctx, oauth):
        req = oauth.request
        tok = self.state.issue_access_token(self.service, req.client_key,
                                            req.resource_owner_key)
        if tok is None:
            return Response(401, "request token already used\n")
        account = self.state.account(self.service)
        quirks = self.state.quirks_for(self.service)
        pairs = [("oauth_token", tok.token), ("oauth_token_secret", tok.secret)]
        if self.service == "tencent":
            pairs.append(("name", account["name"]))
        elif self.service == "sina":
            pairs.append(("user_id", account["user_id"]))
        elif self.service == "twitter":
            pairs += [("user_id", account["user_id"]),
                      ("screen_name", account["screen_name"])]
        return form_answer(pairs, quirks["omit"])

    # ---- account information and counters ----------------------------------------------
    def _omit(self):
        return self.state.quirks_for(self.service)["omit"]

    def sina_verify(self, ctx, oauth):
        a = self.state.account("sina")
        c = self.state.counters_snapshot()["sina"]
        posts = len(self.state.posts_snapshot("sina"))
        return json_answer({
            "id": _number_or_text(a["user_id"]), "screen_name": a["screen_name"],
            "name": a.get("name", a["screen_name"]), "province": "11", "city": "8",
            "location": "北京 海淀区", "description": "", "url": "", "domain": "",
            "gender": "m", "followers_count": c["followers"], "friends_count": 52,
            "statuses_count": posts, "favourites_count": 0,
            "created_at": created_at(1262304000, 8), "following": False,
            "verified": False}, self._omit())

    def sohu_show(self, ctx, oauth):
        a = self.state.account("sohu")
        c = self.state.counters_snapshot()["sohu"]
        return json_answer({
            "id": a["user_id"], "screen_name": a["screen_name"],
            "name": a.get("name", a["screen_name"]), "location": "北京",
            "description": "", "url": "", "protected": False,
            "followers_count": c["followers_count"], "friends_count": 37,
            "favourites_count": 0, "statuses_count": c["statuses_count"],
            "created_at": created_at(1313366400, 8), "following": False,
            "verified": False}, self._omit())

    def tencent_poll(self, ctx, oauth):
        c = self.state.counters_snapshot()["tencent"]
        return json_answer({"ret": 0, "msg": "ok", "errcode": 0, "data": {
            "create": c["create"], "fans": c["fans"], "home": 0, "mentions": c["mentions"],
            "private": c["private"]}}, self._omit())

    def sina_unread(self, ctx, oauth):
        c = self.state.counters_snapshot()["sina"]
        return json_answer({"comments": 0, "dm": c["dm"], "mentions": c["mentions"],
                            "new_status": c["new_status"], "followers": c["followers"]},
                           self._omit())

    # ---- posting -----------------------------------------------------------------------
    @staticmethod
    def _picture(ctx):
        pic = ctx.file("pic")
        if pic is None:
            return None
        return {"sha256": pic.sha256, "stored": pic.stored}

    def tencent_add(self, ctx, oauth):
        def refusal(ret, errcode, msg):
            return json_answer({"ret": ret, "msg": msg, "errcode": errcode, "data": None})
        content = ctx.form_value("content")
        if not content:
            return refusal(1, 1, "content is empty")
        if ctx.form_value("clientip") is None:
            return refusal(1, 5, "clientip is missing")
        picture = None
        if ctx.path.endswith("add_pic"):
            picture = self._picture(ctx)
            if picture is None:
                return refusal(1, 4, "pic is missing")
        post = self.state.add_post("tencent", content, content, picture)
        if post is None:
            return refusal(4, 13, "repeated content")
        return json_answer({"ret": 0, "msg": "ok", "errcode": 0,
                            "data": {"id": post["id"], "time": post["time"]}}, self._omit())

    def status_post(self, ctx, oauth):
        s = self.service
        raw = ctx.form_value("status")
        upload = ctx.path.endswith("upload.json")
        text = raw
        if s == "sohu" and upload and raw is not None:
            # The client percent-encodes the UTF-8 status of a Sohu upload itself.
            text = urllib.parse.unquote(raw, errors="replace")
        if s == "twitter":
            if not text:
                return json_answer({"error": "Missing required parameter: status."},
                                   status=403)
        elif not text:
            return self._weibo_error(ctx, "40012:Error: content is null!")
        picture = None
        if upload:
            picture = self._picture(ctx)
            if picture is None:
                return self._weibo_error(ctx, "40045:Error: pic is missing!")
        post = self.state.add_post(s, text, raw, picture)
        if post is None:
            if s == "twitter":
                return json_answer({"error": "Status is a duplicate."}, status=403)
            return self._weibo_error(ctx, "40025:Error: repeated weibo text!")
        now = post["time"]
        if s == "sina":
            answer = {"created_at": created_at(now, 8), "id": int(post["id"]),
                      "mid": post["id"], "idstr": post["id"], "text": text,
                      "source": "Plumfinch", "favorited": False, "truncated": False}
            if picture:
                answer["original_pic"] = self._picture_url(post)
        elif s == "sohu":
            answer = {"created_at": created_at(now, 8), "id": post["id"], "text": text,
                      "source": "Plumfinch", "favorited": False, "truncated": False}
            if picture:
                answer["original_pic"] = self._picture_url(post)
        else:
            a = self.state.account("twitter")
            answer = {"created_at": created_at(now, 0), "id": int(post["id"]),
                      "id_str": post["id"], "text": text, "source": "Plumfinch",
                      "truncated": False,
                      "user": {"id_str": a["user_id"], "screen_name": a["screen_name"]}}
        return json_answer(answer, self._omit())

    def _weibo_error(self, ctx, error):
        if self.service == "sohu":
            return json_answer({"request": ctx.path, "code": 400, "error": error}, status=400)
        return json_answer({"request": ctx.path, "error_code": "400", "error": error},
                           status=400)

    def _picture_url(self, post):
        web_role = self.service + "_web"
        return "http://127.0.0.1:%d/pic/%s" % (self.ports.get(web_role, 0),
                                               post["picture_file"])

    # ---- IP echo, pages, unknown paths -------------------------------------------------
    def getip(self, ctx, oauth):
        a = self.state.ipecho_answer()
        return Response(a["status"], a["body"], "text/plain")

    def web_page(self, ctx, oauth):
        return pages.web_page(self.state, self.service, ctx)

    def not_found(self, ctx, oauth):
        return Response(404, "no such call on this host: %s\n" % ctx.path)
