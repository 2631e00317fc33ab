"""The Mastodon server: app registration, the authorisation page with its code, the
token exchange, and the REST calls the program makes (account, instance, media,
statuses, notifications) with bearer tokens checked against their scopes. Every other
GET is a web page. Answers are compact UTF-8 JSON, errors {"error": "..."}.
"""
import base64
import html
import time

from . import pages
from .mastodon_state import (KNOWN_SCOPES, NOTIFICATION_TYPES, OOB_REDIRECT, has_scope)
from .services import answer_with_faults, json_answer

IMAGE_MAGIC = (b"\x89PNG\r\n\x1a\n", b"\xff\xd8\xff", b"GIF87a", b"GIF89a")  # PNG, JPEG, GIF
MAX_UPLOAD = 16 * 1024 * 1024
MAX_ATTACHMENTS = 4
VISIBILITIES = ("public", "unlisted", "private", "direct")
INVALID_TOKEN = "The access token is invalid"
OUTSIDE_SCOPES = "This action is outside the authorized scopes"
INVALID_GRANT = ("The provided authorization grant is invalid, expired, revoked, does not "
                 "match the redirection URI used in the authorization request, or was "
                 "issued to another client.")
INVALID_CLIENT = ("Client authentication failed due to unknown client, no client "
                  "authentication included, or unsupported authentication method.")


def iso_time(ts):
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(ts)) + ".%03dZ" % (
        int(ts * 1000) % 1000)


def error(status, text, headers=None):
    r = json_answer({"error": text}, status=status)
    r.headers += headers or []
    return r


def oauth_error(status, code, description):
    return json_answer({"error": code, "error_description": description}, status=status)


def refusal():
    """The answer to a missing, unknown or revoked bearer token."""
    return error(401, INVALID_TOKEN, [(
        "WWW-Authenticate", 'Bearer realm="Doorkeeper", error="invalid_token", '
        'error_description="%s"' % INVALID_TOKEN)])


def bearer_of(ctx):
    """The token of an "Authorization: Bearer ..." header, or None."""
    value = ctx.header("Authorization") or ""
    scheme, _, token = value.strip().partition(" ")
    if scheme.lower() != "bearer" or not token.strip():
        return None
    return token.strip()


def param(ctx, name, default=None):
    """A parameter from the body (form, multipart or JSON), else from the query."""
    value = ctx.form_value(name)
    return value if value is not None else ctx.query_value(name, default)


def param_list(ctx, name):
    """The values of an array parameter sent as repeated "name[]" keys."""
    key = name + "[]"
    return [v for k, v in ctx.form if k == key] + [v for k, v in ctx.query if k == key]


def status_html(text):
    """The text as the server renders it: escaped, paragraphs at blank lines, <br />
    at single line breaks."""
    paragraphs = [p for p in text.replace("\r\n", "\n").split("\n\n") if p.strip()]
    return "".join("<p>%s</p>" % html.escape(p, quote=False).replace("\n", "<br />")
                   for p in paragraphs)


def media_kind(upload):
    """"image", "video" or "audio" from the file's first bytes or its stated type;
    None for anything else."""
    if upload.data.startswith(IMAGE_MAGIC) or (upload.data.startswith(b"RIFF")
                                              and upload.data[8:12] == b"WEBP"):
        return "image"
    major = (upload.content_type or "").split("/")[0].lower()
    return major if major in ("image", "video", "audio") else None


class Route:
    __slots__ = ("endpoint", "scopes", "func")

    def __init__(self, endpoint, scopes, func):
        self.endpoint = endpoint
        self.scopes = scopes  # the scopes any one of which allows the call; None: public
        self.func = func


class MastodonApp:
    """Answers every request on a Mastodon port (the good-certificate and the
    bad-certificate one serve the same server)."""

    def __init__(self, state, role, ports):
        self.state = state
        self.m = state.mastodon
        self.role = role
        self.ports = ports

    # ---- routing -----------------------------------------------------------------------
    def _route(self, ctx):
        path, method = ctx.path, ctx.method
        if method == "POST":
            route = {
                "/api/v1/apps": Route("apps", None, MastodonApp.apps),
                "/oauth/token": Route("token", None, MastodonApp.token),
                "/oauth/revoke": Route("token", None, MastodonApp.revoke),
                "/api/v2/media": Route("media", ("write:media", "write"),
                                       MastodonApp.upload),
                "/api/v1/statuses": Route("statuses", ("write:statuses", "write"),
                                          MastodonApp.post_status),
            }.get(path)
            return route or Route("unknown", None, MastodonApp.not_found)
        if path == "/oauth/authorize":
            return Route("authorize", None, MastodonApp.authorize)
        if path == "/api/v1/accounts/verify_credentials":
            return Route("verify_credentials", ("read:accounts", "read", "profile"),
                         MastodonApp.verify_credentials)
        if path == "/api/v1/instance":
            return Route("instance", None, MastodonApp.instance)
        if path == "/api/v1/notifications":
            return Route("notifications", ("read:notifications", "read"),
                         MastodonApp.notifications)
        if path.startswith("/api/v1/media/") and path.count("/") == 4:
            return Route("media_status", ("write:media", "write"), MastodonApp.media_status)
        if path.startswith(("/api/", "/oauth/")):
            return Route("unknown", None, MastodonApp.not_found)
        return Route("web", None, MastodonApp.web_page)

    # ---- one request -------------------------------------------------------------------
    def __call__(self, ctx):
        route = self._route(ctx)
        bearer = bearer_of(ctx)
        files = []
        for f in ctx.files:
            f.stored = self.state.store_upload(f.filename, f.data)
            files.append(f.as_record())
        record = {
            "service": "mastodon", "role": self.role, "endpoint": route.endpoint,
            "scheme": ctx.scheme, "method": ctx.method, "path": ctx.path,
            "target": ctx.target, "query": [list(p) for p in ctx.query],
            "form": [list(p) for p in ctx.form], "files": files,
            "oauth": {"checked": False, "valid": False,
                      "reason": "OAuth 2.0 bearer call" if route.scopes
                      else "not a signed call", "params": {}},
            "bearer": bearer, "peer": ctx.peer, "headers": ctx.headers,
            "body_size": len(ctx.body), "time": time.time(), "status": None, "fault": None,
        }
        if route.endpoint == "statuses":
            record.update(idempotency_key=ctx.header("Idempotency-Key"), replay=False)
        entry = self.state.record(record)
        response = self._answer(ctx, route, bearer, entry)
        self.state.update_record(entry, status=response.status or None)
        return response

    def _answer(self, ctx, route, bearer, entry):
        return answer_with_faults(self.state, "mastodon", route.endpoint, entry,
                                  lambda: self._normal_answer(ctx, route, bearer, entry),
                                  refusal())

    def _normal_answer(self, ctx, route, bearer, entry):
        if ctx.parse_error is not None:
            return error(ctx.parse_error[0], ctx.parse_error[1])
        if ctx.json_invalid:
            return error(400, "Error occurred while parsing request parameters")
        token = None
        if route.scopes:
            token = self.m.token(bearer) if bearer else None
            if token is None:
                return refusal()
            if not has_scope(token["scopes"], route.scopes):
                return error(403, OUTSIDE_SCOPES, [(
                    "WWW-Authenticate", 'Bearer realm="Doorkeeper", '
                    'error="insufficient_scope", error_description="%s"' % OUTSIDE_SCOPES)])
        return route.func(self, ctx, token, entry)

    def _base(self, ctx):
        return "https://%s" % ctx.host

    # ---- apps and OAuth ----------------------------------------------------------------
    def apps(self, ctx, token, entry):
        name = (param(ctx, "client_name") or "").strip()
        uris = param_list(ctx, "redirect_uris") or (param(ctx, "redirect_uris") or "").split()
        scopes = (param(ctx, "scopes") or "read").split()
        website = param(ctx, "website") or None
        if not name:
            return error(422, "Validation failed: Application name can't be blank")
        if not uris:
            return error(422, "Validation failed: Redirect URI can't be blank")
        for uri in uris:
            if uri != OOB_REDIRECT and "://" not in uri:
                return error(422, "Validation failed: Redirect URI must be an absolute URI.")
        unknown = [s for s in scopes if s not in KNOWN_SCOPES]
        if unknown:
            return error(422, "Validation failed: Scopes are invalid (%s)" % " ".join(unknown))
        app = self.m.add_app(name, website, uris, scopes)
        return self._json({
            "id": app["id"], "name": name, "website": website, "scopes": scopes,
            "redirect_uri": "\n".join(uris), "redirect_uris": uris,
            "client_id": app["client_id"], "client_secret": app["client_secret"],
            "client_secret_expires_at": 0, "vapid_key": app["vapid_key"]})

    def authorize(self, ctx, token, entry):
        def refused(reason):
            return pages.mastodon_authorize_refused(reason)
        if ctx.query_value("response_type") != "code":
            return refused("response_type must be \"code\"")
        app = self.m.app(ctx.query_value("client_id", ""))
        if app is None:
            return refused("unknown client_id")
        redirect_uri = ctx.query_value("redirect_uri", "")
        if redirect_uri not in app["redirect_uris"]:
            return refused("redirect_uri is not one the app registered")
        if redirect_uri != OOB_REDIRECT:
            return refused("this server shows codes only for %s" % OOB_REDIRECT)
        scopes = (ctx.query_value("scope") or "read").split()
        beyond = [s for s in scopes if s not in app["scopes"]]
        if beyond:
            return refused("scope beyond the app's scopes: %s" % " ".join(beyond))
        code = self.m.issue_code(app["client_id"], redirect_uri, scopes)
        return pages.mastodon_authorize_page(app, scopes, code,
                                             self.state.account("mastodon"))

    def _client(self, ctx):
        """(client_id, client_secret) from the body, else from HTTP Basic."""
        client_id, secret = param(ctx, "client_id"), param(ctx, "client_secret")
        basic = ctx.header("Authorization") or ""
        if client_id is None and basic.lower().startswith("basic "):
            try:
                pair = base64.b64decode(basic[6:].strip()).decode("utf-8")
                client_id, _, secret = pair.partition(":")
            except (ValueError, UnicodeDecodeError):
                pass
        return client_id, secret

    def token(self, ctx, token, entry):
        grant = param(ctx, "grant_type")
        if grant != "authorization_code":
            return oauth_error(400, "unsupported_grant_type", "The authorization grant "
                               "type is not supported by the authorization server.")
        client_id, secret = self._client(ctx)
        app = self.m.app(client_id or "")
        if app is None:
            return oauth_error(401, "invalid_client", INVALID_CLIENT)
        if secret != app["client_secret"]:
            return oauth_error(400, "invalid_grant", INVALID_GRANT)
        issued = self.m.exchange_code(param(ctx, "code") or "", client_id,
                                      param(ctx, "redirect_uri") or "",
                                      self.state.account("mastodon")["id"])
        if issued is None:
            return oauth_error(400, "invalid_grant", INVALID_GRANT)
        return self._json({"access_token": issued["access_token"], "token_type": "Bearer",
                            "scope": " ".join(issued["scopes"]),
                            "created_at": issued["created_at"]})

    def revoke(self, ctx, token, entry):
        client_id, secret = self._client(ctx)
        app = self.m.app(client_id or "")
        if app is None or secret != app["client_secret"]:
            return oauth_error(403, "unauthorized_client", "You are not authorized to "
                               "revoke this token")
        self.m.revoke(param(ctx, "token") or "", client_id)
        return self._json({})

    # ---- account and instance ----------------------------------------------------------
    def account_json(self, ctx, account=None):
        a = account or self.state.account("mastodon")
        base = self._base(ctx)
        own = account is None
        return {"id": a["id"], "username": a["username"], "acct": a.get("acct", a["username"]),
                "display_name": a["display_name"], "locked": False, "bot": False,
                "group": False, "discoverable": True, "created_at": "2022-11-21T00:00:00.000Z",
                "note": "", "url": a.get("url", "%s/@%s" % (base, a["username"])),
                "avatar": base + "/avatars/original/missing.png",
                "avatar_static": base + "/avatars/original/missing.png",
                "header": base + "/headers/original/missing.png",
                "header_static": base + "/headers/original/missing.png",
                "followers_count": 0, "following_count": 0,
                "statuses_count": len(self.state.posts_snapshot("mastodon")) if own else 1,
                "last_status_at": None, "emojis": [], "fields": []}

    def verify_credentials(self, ctx, token, entry):
        answer = self.account_json(ctx)
        answer["source"] = {"privacy": "public", "sensitive": False, "language": "",
                            "note": "", "fields": [], "follow_requests_count": 0}
        return self._json(answer)

    def instance(self, ctx, token, entry):
        settings = self.m.instance_settings()
        base = self._base(ctx)
        answer = {
            "uri": ctx.host, "title": "Plumfinch Mastodon emulator",
            "short_description": "A local stand-in for tests", "description": "",
            "email": "admin@example.invalid", "version": "4.3.0",
            "urls": {"streaming_api": "wss://" + ctx.host},
            "stats": {"user_count": 1, "status_count": len(self.state.posts_snapshot(
                "mastodon")), "domain_count": 1},
            "thumbnail": base + "/packs/media/images/preview.png",
            "languages": ["en", "zh"], "registrations": False, "approval_required": False,
            "invites_enabled": False,
            "configuration": {
                "accounts": {"max_featured_tags": 10},
                "statuses": {"max_characters": settings["max_characters"],
                             "max_media_attachments": MAX_ATTACHMENTS,
                             "characters_reserved_per_url": 23},
                "media_attachments": {
                    "supported_mime_types": ["image/jpeg", "image/png", "image/gif",
                                             "image/webp"],
                    "image_size_limit": MAX_UPLOAD, "image_matrix_limit": 33177600},
                "polls": {"max_options": 4, "max_characters_per_option": 50,
                          "min_expiration": 300, "max_expiration": 2629746}},
            "contact_account": None, "rules": []}
        if not settings["configuration"]:
            del answer["configuration"]
        return self._json(answer)

    def _json(self, obj, status=200):
        """A success answer, less the fields a quirk omits."""
        return json_answer(obj, self.state.quirks_for("mastodon")["omit"], status)

    # ---- media -------------------------------------------------------------------------
    def media_json(self, ctx, media):
        base = self._base(ctx)
        url = "%s/pic/%s" % (base, media["stored"])
        return {"id": media["id"], "type": media["type"],
                "url": None if media["polls_left"] > 0 else url,
                "preview_url": url, "remote_url": None, "preview_remote_url": None,
                "text_url": None, "meta": {}, "description": media["description"],
                "blurhash": None}

    def upload(self, ctx, token, entry):
        upload = ctx.file("file")
        if upload is None:
            return error(422, "Validation failed: File can't be blank")
        if len(upload.data) > MAX_UPLOAD:
            return error(422, "Validation failed: File file size must be less than 16 MB")
        kind = media_kind(upload)
        if kind is None:
            return error(422, "Validation failed: File content type is invalid, "
                         "File is invalid")
        media = self.m.add_media(token["account_id"], kind, upload,
                                 param(ctx, "description") or None)
        return self._json(self.media_json(ctx, media),
                           status=202 if media["polls_left"] > 0 else 200)

    def media_status(self, ctx, token, entry):
        media = self.m.poll_media(ctx.path.rsplit("/", 1)[1], token["account_id"])
        if media is None:
            return error(404, "Record not found")
        return self._json(self.media_json(ctx, media),
                           status=206 if media["polls_left"] > 0 else 200)

    # ---- statuses ----------------------------------------------------------------------
    def status_json(self, ctx, post, attachments, visibility):
        base = self._base(ctx)
        account = self.account_json(ctx)
        return {"id": post["id"], "created_at": iso_time(post["time"]),
                "in_reply_to_id": None, "in_reply_to_account_id": None, "sensitive": False,
                "spoiler_text": "", "visibility": visibility, "language": None,
                "uri": "%s/users/%s/statuses/%s" % (base, account["username"], post["id"]),
                "url": "%s/@%s/%s" % (base, account["username"], post["id"]),
                "replies_count": 0, "reblogs_count": 0, "favourites_count": 0,
                "favourited": False, "reblogged": False, "muted": False, "bookmarked": False,
                "pinned": False, "content": status_html(post["text"]), "reblog": None,
                "application": {"name": "Plumfinch", "website": None}, "account": account,
                "media_attachments": [self.media_json(ctx, m) for m in attachments],
                "mentions": [], "tags": [], "emojis": [], "card": None, "poll": None}

    def post_status(self, ctx, token, entry):
        key = ctx.header("Idempotency-Key")
        if key:
            earlier = self.m.replay(token["access_token"], key)
            if earlier is not None:
                self.state.update_record(entry, replay=True)
                return self._json(earlier)
        text = param(ctx, "status") or ""
        media_ids = param_list(ctx, "media_ids")
        visibility = param(ctx, "visibility") or "public"
        if visibility not in VISIBILITIES:
            return error(422, "Validation failed: Visibility is not included in the list")
        if len(media_ids) > MAX_ATTACHMENTS:
            return error(422, "Cannot attach more than %d files" % MAX_ATTACHMENTS)
        attachments = []
        if media_ids:
            attachments, why = self.m.attach_media(media_ids, token["account_id"])
            if attachments is None:
                return error(422, why)
        if not text.strip() and not attachments:
            return error(422, "Validation failed: Text can't be blank")
        # The server counts characters (code points), never bytes.
        limit = self.m.instance_settings()["max_characters"]
        if len(text) > limit:
            return error(422, "Validation failed: Text character limit of %d exceeded"
                         % limit)
        first = attachments[0] if attachments else None
        post = self.state.add_post("mastodon", text, text,
                                   {"sha256": first["sha256"], "stored": first["stored"]}
                                   if first else None,
                                   {"media_ids": media_ids, "visibility": visibility})
        self.m.mark_attached(media_ids, post["id"])
        answer = self.status_json(ctx, post, attachments, visibility)
        if key:
            self.m.keep_for_replay(token["access_token"], key, answer)
        return self._json(answer)

    # ---- notifications -----------------------------------------------------------------
    def notifications(self, ctx, token, entry):
        def number(name):
            value = ctx.query_value(name)
            return int(value) if value and value.isdigit() else None
        since, max_id, min_id = number("since_id"), number("max_id"), number("min_id")
        limit = number("limit") or 40
        limit = max(1, min(limit, 80))
        # No types[] means every type; unknown types select nothing.
        types = param_list(ctx, "types") or NOTIFICATION_TYPES
        excluded = set(param_list(ctx, "exclude_types"))
        chosen = [n for n in self.m.notifications_snapshot()
                  if n["type"] in types and n["type"] not in excluded
                  and (since is None or int(n["id"]) > since)
                  and (max_id is None or int(n["id"]) < max_id)
                  and (min_id is None or int(n["id"]) > min_id)]
        # min_id pages forward from it (the oldest first); otherwise the newest come.
        chosen = chosen[:limit] if min_id is not None else chosen[-limit:]
        return self._json([self.notification_json(ctx, n) for n in reversed(chosen)])

    def notification_json(self, ctx, n):
        base = self._base(ctx)
        who = "friend%s" % n["id"]
        other = {"id": "1100000000%s" % n["id"], "username": who,
                 "acct": who + "@example.social", "display_name": "Friend " + n["id"],
                 "url": "https://example.social/@" + who}
        answer = {"id": n["id"], "type": n["type"], "created_at": iso_time(n["time"]),
                  "account": self.account_json(ctx, other)}
        me = self.state.account("mastodon")
        if n["type"] == "mention":
            text = ('<p><span class="h-card"><a href="%s/@%s" class="u-url mention">'
                    '@<span>%s</span></a></span> hello %s</p>' % (
                        base, html.escape(me["username"]), html.escape(me["username"]),
                        n["id"]))
            answer["status"] = {
                "id": "1120000000%s" % n["id"], "created_at": answer["created_at"],
                "visibility": "public", "content": text, "account": answer["account"],
                "url": "https://example.social/@%s/1120000000%s" % (who, n["id"]),
                "media_attachments": [], "mentions": [{
                    "id": me["id"], "username": me["username"], "acct": me["username"],
                    "url": "%s/@%s" % (base, me["username"])}]}
        elif n["type"] in ("favourite", "reblog"):
            answer["status"] = {"id": "1130000000%s" % n["id"],
                                "created_at": answer["created_at"], "visibility": "public",
                                "content": "<p>an earlier post</p>",
                                "account": self.account_json(ctx),
                                "media_attachments": [], "mentions": []}
        return answer

    # ---- pages and unknown paths -------------------------------------------------------
    def web_page(self, ctx, token, entry):
        if ctx.method not in ("GET", "HEAD"):
            return self.not_found(ctx, token, entry)
        return pages.web_page(self.state, "mastodon", ctx)

    def not_found(self, ctx, token, entry):
        return error(404, "Record not found")
