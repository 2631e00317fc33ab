"""The Bluesky personal data server: XRPC calls under /xrpc/<nsid> for sessions (JWTs
that expire, refresh tokens that rotate), handle resolution, blob uploads, records of
app.bsky.feed.post checked against their lexicon, and notifications. Errors are
{"error": Name, "message": text} with the reference server's status codes. Also the
control calls under /control/bluesky and the control page's Bluesky section.
"""
import datetime
import html
import json
import re
import time
import urllib.parse

from .errors import ControlError
from .httpcore import Response, UploadedFile
from .bluesky_state import ENDPOINTS, REASONS, TokenProblem, cid_for, next_tid
from .services import answer_with_faults, json_answer

try:
    import icu  # Debian's python3-icu: the grapheme clusters Qt counts, from the same ICU
except ImportError:  # pragma: no cover - install-deps brings it
    icu = None

IMAGE_MAX = 1000000
MAX_TEXT_BYTES = 3000
MAX_TEXT_GRAPHEMES = 300
RATE_LIMIT = 3000
RATE_WINDOW = 300
MAX_DEPTH = 32  # records, blob lookups and the page walk them recursively

DATETIME_RE = re.compile(r"^[0-9]{4}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-6][0-9]:[0-6][0-9]"
                         r"(\.[0-9]{1,20})?(Z|([+-][0-2][0-9]:[0-5][0-9]))$")
HANDLE_RE = re.compile(r"^([a-zA-Z0-9]([a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?\.)+"
                       r"[a-zA-Z]([a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?$")
DID_RE = re.compile(r"^did:[a-z]+:[a-zA-Z0-9._:%-]*[a-zA-Z0-9._-]$")
URI_RE = re.compile(r"^\w+:(?:\/\/)?[^\s/][^\s]*$")
NSID_RE = re.compile(r"^[a-zA-Z]([a-zA-Z0-9-]{0,62})?(\.[a-zA-Z0-9]([a-zA-Z0-9-]{0,62})?)+"
                     r"\.[a-zA-Z]([a-zA-Z0-9]{0,62})?$")
TID_RE = re.compile(r"^[234567abcdefghij][234567abcdefghijklmnopqrstuvwxyz]{12}$")
RKEY_RE = re.compile(r"^[A-Za-z0-9._:~-]{1,512}$")
LANG_RE = re.compile(r"^(i|[a-zA-Z]{2,3})(-[a-zA-Z0-9]+)*$")
AT_URI_RE = re.compile(r"^at://[^\s/]+(/[^\s/]+(/[^\s/]+)?)?$")

IMAGE_MAGIC = ((b"\x89PNG\r\n\x1a\n", "image/png"), (b"\xff\xd8\xff", "image/jpeg"),
               (b"GIF87a", "image/gif"), (b"GIF89a", "image/gif"))
POST = "app.bsky.feed.post"


def graphemes(text):
    """The number of extended grapheme clusters (as ICU, and so Qt, counts them)."""
    if not text:
        return 0
    if icu is None:
        # Without ICU: code points that are not combining marks, joiners, variation
        # selectors or skin-tone modifiers; close enough for short texts.
        import unicodedata
        count, joined = 0, False
        for ch in text:
            o = ord(ch)
            extend = (unicodedata.combining(ch) or 0xFE00 <= o <= 0xFE0F
                      or 0x1F3FB <= o <= 0x1F3FF or o == 0x200D)
            if not extend and not joined:
                count += 1
            joined = o == 0x200D
        return count
    it = icu.BreakIterator.createCharacterInstance(icu.Locale.getRoot())
    it.setText(icu.UnicodeString(text))
    return sum(1 for _ in it)


def sniff(data):
    for magic, mime in IMAGE_MAGIC:
        if data.startswith(magic):
            return mime
    if data.startswith(b"RIFF") and data[8:12] == b"WEBP":
        return "image/webp"
    return None


def short(secret):
    """A token or header shown in records and on the page: never in full."""
    if not secret:
        return secret
    return secret[:10] + "…" + secret[-4:] if len(secret) > 24 else "***"


class XrpcError(Exception):
    def __init__(self, status, name, message):
        super().__init__(message)
        self.status = status
        self.name = name


def invalid(message, name="InvalidRequest"):
    return XrpcError(400, name, message)


def xrpc_answer(status, name, message, headers=None):
    r = json_answer({"error": name, "message": message}, status=status)
    r.headers += headers or []
    return r


# ---- record validation ---------------------------------------------------------------
def _no_constant(name):
    raise ValueError("%s is not JSON" % name)  # Python's parser takes NaN and Infinity


def _depth(value):
    """How deeply arrays and objects nest in a parsed JSON value (without recursion)."""
    deepest, todo = 0, [(value, 1)]
    while todo:
        v, d = todo.pop()
        if isinstance(v, (dict, list)):
            deepest = max(deepest, d)
            todo.extend((c, d + 1) for c in (v.values() if isinstance(v, dict) else v))
    return deepest


def _is_int(v):
    return (isinstance(v, int) and not isinstance(v, bool)) or (
        isinstance(v, float) and v.is_integer())


def check_datetime(value):
    if not isinstance(value, str) or not DATETIME_RE.match(value) or value.endswith("-00:00"):
        return False
    text = value.replace("Z", "+00:00")
    m = re.match(r"^(.*?)(\.\d+)?([+-]\d\d:\d\d)$", text)
    frac = (m.group(2) or "")[:7]
    try:
        datetime.datetime.fromisoformat(m.group(1) + frac + m.group(3))
    except ValueError:
        return False
    return True


class Checker:
    """Walks a value by its lexicon type; raises XrpcError with the reference's wording
    ("Record/text must not be longer than 300 graphemes")."""

    def __init__(self, prefix):
        self.prefix = prefix

    def fail(self, path, text):
        raise invalid("%s: %s %s" % (self.prefix, path, text))

    def obj(self, value, path, required=()):
        if not isinstance(value, dict):
            self.fail(path, "must be an object")
        for name in required:
            if name not in value:
                self.fail(path, "must have the property \"%s\"" % name)
        return value

    def string(self, value, path, max_bytes=None, max_graphemes=None, fmt=None):
        if not isinstance(value, str):
            self.fail(path, "must be a string")
        if max_bytes is not None and len(value.encode("utf-8", "surrogatepass")) > max_bytes:
            self.fail(path, "must not be longer than %d characters" % max_bytes)
        if max_graphemes is not None and graphemes(value) > max_graphemes:
            self.fail(path, "must not be longer than %d graphemes" % max_graphemes)
        if fmt == "datetime" and not check_datetime(value):
            self.fail(path, "must be an valid atproto datetime (both RFC-3339 and ISO-8601)")
        if fmt == "uri" and (len(value) > 8192 or not URI_RE.match(value)):
            self.fail(path, "must be a uri")
        if fmt == "did" and (len(value) > 2048 or not DID_RE.match(value)):
            self.fail(path, "must be a valid did")
        if fmt == "at-uri" and not AT_URI_RE.match(value):
            self.fail(path, "must be a valid at-uri")
        if fmt == "language" and not LANG_RE.match(value):
            self.fail(path, "must be a well-formed BCP 47 language tag")
        return value

    def integer(self, value, path, minimum=None):
        if not _is_int(value):
            self.fail(path, "must be an integer")
        if minimum is not None and value < minimum:
            self.fail(path, "can not be less than %d" % minimum)
        return int(value)

    def array(self, value, path, max_len=None, min_len=None):
        if not isinstance(value, list):
            self.fail(path, "must be an array")
        if max_len is not None and len(value) > max_len:
            self.fail(path, "must not have more than %d elements" % max_len)
        if min_len is not None and len(value) < min_len:
            self.fail(path, "must not have fewer than %d elements" % min_len)
        return value

    def union_type(self, value, path):
        if not isinstance(value, dict) or not isinstance(value.get("$type"), str):
            self.fail(path, "must be an object which includes the \"$type\" property")
        return value["$type"]

    def strong_ref(self, value, path):
        self.obj(value, path, ("uri", "cid"))
        self.string(value["uri"], path + "/uri", fmt="at-uri")
        self.string(value["cid"], path + "/cid")

    def blob(self, value, path):
        if (not isinstance(value, dict) or value.get("$type") != "blob"
                or not isinstance(value.get("ref"), dict)
                or not isinstance(value["ref"].get("$link"), str)
                or not isinstance(value.get("mimeType"), str) or not _is_int(value.get("size"))):
            self.fail(path, "should be a blob ref")
        return value


def validate_post(record, text_ok=True):
    """Checks an app.bsky.feed.post record against its lexicon, and facet ranges against
    the text's UTF-8 bytes. Returns the image blob refs of an images embed."""
    c = Checker("Invalid app.bsky.feed.post record")
    c.obj(record, "Record", ("text", "createdAt"))
    text = c.string(record["text"], "Record/text", MAX_TEXT_BYTES, MAX_TEXT_GRAPHEMES)
    c.string(record["createdAt"], "Record/createdAt", fmt="datetime")
    raw = text.encode("utf-8", "surrogatepass")
    for i, facet in enumerate(c.array(record.get("facets", []), "Record/facets")):
        path = "Record/facets/%d" % i
        c.obj(facet, path, ("index", "features"))
        index = c.obj(facet["index"], path + "/index", ("byteStart", "byteEnd"))
        start = c.integer(index["byteStart"], path + "/index/byteStart", 0)
        end = c.integer(index["byteEnd"], path + "/index/byteEnd", 0)
        if start >= end:
            c.fail(path + "/index", "byteStart %d must be less than byteEnd %d" % (start, end))
        if end > len(raw):
            c.fail(path + "/index", "byteEnd %d is beyond the text (%d bytes)" % (end, len(raw)))
        for name, at in (("byteStart", start), ("byteEnd", end)):
            if at < len(raw) and (raw[at] & 0xC0) == 0x80:
                c.fail(path + "/index/" + name, "%d is inside a UTF-8 character" % at)
        for j, feature in enumerate(c.array(facet["features"], path + "/features")):
            fpath = "%s/features/%d" % (path, j)
            kind = c.union_type(feature, fpath)
            if kind == "app.bsky.richtext.facet#link":
                c.obj(feature, fpath, ("uri",))
                c.string(feature["uri"], fpath + "/uri", fmt="uri")
            elif kind == "app.bsky.richtext.facet#mention":
                c.obj(feature, fpath, ("did",))
                c.string(feature["did"], fpath + "/did", fmt="did")
            elif kind == "app.bsky.richtext.facet#tag":
                c.obj(feature, fpath, ("tag",))
                c.string(feature["tag"], fpath + "/tag", 640, 64)
    if "langs" in record:
        for i, lang in enumerate(c.array(record["langs"], "Record/langs", 3)):
            c.string(lang, "Record/langs/%d" % i, fmt="language")
    if "tags" in record:
        for i, tag in enumerate(c.array(record["tags"], "Record/tags", 8)):
            c.string(tag, "Record/tags/%d" % i, 640, 64)
    if "reply" in record:
        c.obj(record["reply"], "Record/reply", ("root", "parent"))
        c.strong_ref(record["reply"]["root"], "Record/reply/root")
        c.strong_ref(record["reply"]["parent"], "Record/reply/parent")
    images = []
    if "embed" in record:
        embed = record["embed"]
        kind = c.union_type(embed, "Record/embed")
        if kind == "app.bsky.embed.images":
            c.obj(embed, "Record/embed", ("images",))
            for i, image in enumerate(c.array(embed["images"], "Record/embed/images", 4)):
                path = "Record/embed/images/%d" % i
                c.obj(image, path, ("image", "alt"))
                c.string(image["alt"], path + "/alt")
                images.append(c.blob(image["image"], path + "/image"))
                if "aspectRatio" in image:
                    ratio = c.obj(image["aspectRatio"], path + "/aspectRatio",
                                  ("width", "height"))
                    c.integer(ratio["width"], path + "/aspectRatio/width", 1)
                    c.integer(ratio["height"], path + "/aspectRatio/height", 1)
        elif kind == "app.bsky.embed.external":
            c.obj(embed, "Record/embed", ("external",))
            ext = c.obj(embed["external"], "Record/embed/external",
                        ("uri", "title", "description"))
            c.string(ext["uri"], "Record/embed/external/uri", fmt="uri")
            c.string(ext["title"], "Record/embed/external/title")
            c.string(ext["description"], "Record/embed/external/description")
        elif kind == "app.bsky.embed.record":
            c.obj(embed, "Record/embed", ("record",))
            c.strong_ref(embed["record"], "Record/embed/record")
    return images


def blob_refs(value):
    """Every blob reference anywhere in a record."""
    if isinstance(value, dict):
        if value.get("$type") == "blob":
            return [value]
        return [b for v in value.values() for b in blob_refs(v)]
    if isinstance(value, list):
        return [b for v in value for b in blob_refs(v)]
    return []


# ---- the server ----------------------------------------------------------------------
class Method:
    __slots__ = ("endpoint", "kind", "auth", "func")

    def __init__(self, endpoint, kind, auth, func):
        self.endpoint = endpoint
        self.kind = kind    # "query" (GET) or "procedure" (POST)
        self.auth = auth    # None, "access" or "refresh"
        self.func = func


class BlueskyApp:
    def __init__(self, state, role, ports):
        self.state = state
        self.b = state.bluesky
        self.role = role
        self.ports = ports
        self.window_start = time.time()
        self.window_count = 0
        self.methods = {
            "com.atproto.server.createSession": Method("createSession", "procedure", None,
                                                       BlueskyApp.create_session),
            "com.atproto.server.refreshSession": Method("refreshSession", "procedure",
                                                        "refresh", BlueskyApp.refresh_session),
            "com.atproto.server.getSession": Method("getSession", "query", "access",
                                                    BlueskyApp.get_session),
            "com.atproto.server.describeServer": Method("describeServer", "query", None,
                                                        BlueskyApp.describe_server),
            "com.atproto.identity.resolveHandle": Method("resolveHandle", "query", None,
                                                         BlueskyApp.resolve_handle),
            "com.atproto.repo.uploadBlob": Method("uploadBlob", "procedure", "access",
                                                  BlueskyApp.upload_blob),
            "com.atproto.repo.createRecord": Method("createRecord", "procedure", "access",
                                                    BlueskyApp.create_record),
            "com.atproto.repo.getRecord": Method("getRecord", "query", None,
                                                 BlueskyApp.get_record),
            "com.atproto.repo.listRecords": Method("listRecords", "query", None,
                                                   BlueskyApp.list_records),
            "app.bsky.notification.listNotifications": Method(
                "listNotifications", "query", "access", BlueskyApp.list_notifications),
            "app.bsky.notification.updateSeen": Method("updateSeen", "procedure", "access",
                                                       BlueskyApp.update_seen),
            "com.atproto.sync.getBlob": Method("getBlob", "query", None, BlueskyApp.get_blob),
        }
        assert all(m.endpoint in ENDPOINTS for m in self.methods.values())

    def pds_endpoint(self):
        return self.b.setting("pds_endpoint") or "https://127.0.0.1:%d" % self.ports[self.role]

    # ---- one request -------------------------------------------------------------------
    def __call__(self, ctx):
        nsid = ctx.path[len("/xrpc/"):] if ctx.path.startswith("/xrpc/") else None
        if nsid == "_health":
            nsid = None  # the health check is no XRPC method
        method = self.methods.get(nsid) if nsid else None
        bearer = None
        auth = ctx.header("Authorization") or ""
        if auth[:7].lower() == "bearer ":
            bearer = auth[7:].strip()
        headers = {k: (short(v) if k.lower() == "authorization" else v)
                   for k, v in ctx.headers.items()}
        entry = self.state.record({
            "service": "bluesky", "role": self.role,
            "endpoint": method.endpoint if method else ("unknown" if nsid else "web"),
            "xrpc": nsid, "scheme": ctx.scheme, "method": ctx.method, "path": ctx.path,
            "target": ctx.target, "query": [list(p) for p in ctx.query], "form": [],
            "files": [], "input": self._input_for_record(ctx),
            "oauth": {"checked": False, "valid": False, "reason": "XRPC call", "params": {}},
            "bearer": short(bearer), "peer": ctx.peer, "headers": headers,
            "body_size": len(ctx.body), "time": time.time(), "status": None, "fault": None,
            "error": None})
        refusal = xrpc_answer(401, "InvalidToken", "Token could not be verified")
        response = answer_with_faults(
            self.state, "bluesky", entry["endpoint"], entry,
            lambda: self._normal_answer(ctx, nsid, method, bearer, entry), refusal)
        if nsid is not None and response.kind == "normal" and not any(
                k.lower() == "ratelimit-limit" for k, _ in response.headers):
            response.headers += self._ratelimit_headers(RATE_LIMIT - self._count_request(),
                                                        None)
        error = None
        if response.kind == "normal" and response.status >= 400 and response.body[:1] == b"{":
            try:
                error = json.loads(response.body).get("error")
            except (ValueError, AttributeError):
                pass
        self.state.update_record(entry, status=response.status or None, error=error)
        return response

    def _count_request(self):
        with self.state.lock:
            now = time.time()
            if now - self.window_start >= RATE_WINDOW:
                self.window_start, self.window_count = now, 0
            self.window_count += 1
            return min(self.window_count, RATE_LIMIT)

    def _ratelimit_headers(self, remaining, reset_in):
        reset = int(time.time() + reset_in) if reset_in is not None else int(
            self.window_start + RATE_WINDOW)
        return [("ratelimit-limit", str(RATE_LIMIT)), ("ratelimit-remaining", str(remaining)),
                ("ratelimit-reset", str(reset)),
                ("ratelimit-policy", "%d;w=%d" % (RATE_LIMIT, RATE_WINDOW))]

    @staticmethod
    def _input_for_record(ctx):
        """The JSON body as the request record keeps it: secrets masked."""
        if not ctx.content_type.lower().startswith("application/json") or not ctx.body:
            return None
        try:
            body = json.loads(ctx.body.decode("utf-8"))
            json.dumps(body, ensure_ascii=False).encode("utf-8")
        except (UnicodeError, ValueError, RecursionError):
            return None
        if _depth(body) > MAX_DEPTH:
            return None
        if isinstance(body, dict):
            for key in ("password", "authFactorToken"):
                if key in body:
                    body[key] = "***"
        return body

    def _normal_answer(self, ctx, nsid, method, bearer, entry):
        if nsid is None:
            return self.web(ctx)
        if ctx.parse_error is not None:
            status = ctx.parse_error[0]
            return xrpc_answer(status, "PayloadTooLarge" if status == 413 else "InvalidRequest",
                               ctx.parse_error[1])
        wait = self.b.take_ratelimit()
        if wait is not None:
            return xrpc_answer(429, "RateLimitExceeded", "Rate Limit Exceeded",
                               self._ratelimit_headers(0, wait))
        if method is None:
            return xrpc_answer(501, "MethodNotImplemented", "Method Not Implemented")
        want = "GET" if method.kind == "query" else "POST"
        if ctx.method != want and not (ctx.method == "HEAD" and want == "GET"):
            return xrpc_answer(400, "InvalidRequest",
                               "Incorrect HTTP method (%s) expected %s" % (ctx.method, want))
        try:
            did = None
            if method.auth:
                if not bearer:
                    raise XrpcError(401, "AuthMissing", "Authentication Required")
                try:
                    if method.auth == "access":
                        did = self.b.check_access(bearer)
                    else:
                        return method.func(self, ctx, bearer, entry)
                except TokenProblem as e:
                    raise XrpcError(e.status, e.name, str(e))
            return method.func(self, ctx, did, entry)
        except XrpcError as e:
            return xrpc_answer(e.status, e.name, str(e))

    # ---- helpers -----------------------------------------------------------------------
    @staticmethod
    def json_input(ctx):
        ctype = ctx.content_type.split(";")[0].strip().lower()
        if not ctx.body:
            raise invalid("Request encoding (Content-Type) required but not provided")
        if ctype != "application/json":
            raise invalid("Wrong request encoding (Content-Type): %s" % (ctype or "none"))
        try:
            body = json.loads(ctx.body.decode("utf-8"), parse_constant=_no_constant)
            # Lone surrogates ("\ud800") parse but are no text; deep nesting is refused too.
            json.dumps(body, ensure_ascii=False).encode("utf-8")
            if _depth(body) > MAX_DEPTH:
                raise ValueError("nested too deeply")
        except (UnicodeError, ValueError, RecursionError):
            raise invalid("Invalid JSON in request body")
        if not isinstance(body, dict):
            raise invalid("Input must be an object")
        return body

    @staticmethod
    def need(body, name, kind=str, where="Input"):
        if name not in body:
            raise invalid("%s must have the property \"%s\"" % (where, name))
        value = body[name]
        if kind is str and not isinstance(value, str):
            raise invalid("%s/%s must be a string" % (where, name))
        if kind is bool and not isinstance(value, bool):
            raise invalid("%s/%s must be a boolean" % (where, name))
        return value

    @staticmethod
    def param(ctx, name, required=True):
        value = ctx.query_value(name)
        if value is None and required:
            raise invalid("Params must have the property \"%s\"" % name)
        return value

    @staticmethod
    def int_param(ctx, name, default, low, high):
        value = ctx.query_value(name)
        if value is None:
            return default
        if not re.fullmatch(r"-?\d{1,9}", value.strip()):
            raise invalid("%s must be an integer" % name)
        n = int(value)
        if n < low:
            raise invalid("%s can not be less than %d" % (name, low))
        if n > high:
            raise invalid("%s can not be greater than %d" % (name, high))
        return n

    def did_doc(self, account):
        did = account["did"]
        return {"@context": ["https://www.w3.org/ns/did/v1",
                             "https://w3id.org/security/multikey/v1",
                             "https://w3id.org/security/suites/secp256k1-2019/v1"],
                "id": did, "alsoKnownAs": ["at://" + account["handle"]],
                "verificationMethod": [{
                    "id": did + "#atproto", "type": "Multikey", "controller": did,
                    "publicKeyMultibase": "zQ3shXjHeiBuRCKmM36cuYnm7YEMzhGnCmCyW92sRJ9pribSF"}],
                "service": [{"id": "#atproto_pds", "type": "AtprotoPersonalDataServer",
                             "serviceEndpoint": self.pds_endpoint()}]}

    def session_json(self, account, access, refresh, with_email=True):
        answer = {"accessJwt": access, "refreshJwt": refresh, "handle": account["handle"],
                  "did": account["did"]}
        if self.b.setting("did_doc"):
            answer["didDoc"] = self.did_doc(account)
        if with_email:
            answer.update(email=account["email"], emailConfirmed=True,
                          emailAuthFactor=bool(account.get("two_factor")))
        answer["active"] = True
        return answer

    def repo_did(self, value):
        """The DID of a repo named by DID or handle; InvalidRequest when unknown."""
        account = self.b.account(value)
        if account is None:
            raise invalid("Could not find repo: %s" % value)
        return account

    # ---- sessions ----------------------------------------------------------------------
    def create_session(self, ctx, did, entry):
        body = self.json_input(ctx)
        identifier = self.need(body, "identifier")
        password = self.need(body, "password")
        if "authFactorToken" in body:
            self.need(body, "authFactorToken")
        account = self.b.account(identifier)
        if account is None or not account.get("password"):
            raise XrpcError(401, "AuthenticationRequired", "Invalid identifier or password")
        app_password = password == account["app_password"]
        if not app_password and password != account["password"]:
            raise XrpcError(401, "AuthenticationRequired", "Invalid identifier or password")
        if account.get("takedown"):
            raise XrpcError(401, "AccountTakedown", "Account has been taken down")
        if account.get("two_factor") and not app_password:
            # The emulator sends no mail, so no code it could check ever arrives.
            raise XrpcError(401, "AuthFactorTokenRequired",
                            "A sign in code has been sent to your email address")
        access, refresh = self.b.issue_session(account["did"], app_password)
        return json_answer(self.session_json(account, access, refresh))

    def refresh_session(self, ctx, bearer, entry):
        try:
            access, refresh, did = self.b.rotate(bearer)
        except TokenProblem as e:
            raise XrpcError(e.status, e.name, str(e))
        account = self.b.account(did)
        return json_answer(self.session_json(account, access, refresh, with_email=False))

    def get_session(self, ctx, did, entry):
        account = self.b.account(did)
        answer = self.session_json(account, "", "")
        del answer["accessJwt"], answer["refreshJwt"]
        return json_answer(answer)

    def describe_server(self, ctx, did, entry):
        return json_answer({"did": "did:web:127.0.0.1", "availableUserDomains": [".test"],
                            "inviteCodeRequired": True, "phoneVerificationRequired": False,
                            "links": {}, "contact": {}})

    def resolve_handle(self, ctx, did, entry):
        handle = self.param(ctx, "handle")
        if len(handle) > 253 or not HANDLE_RE.match(handle):
            raise invalid("handle must be a valid handle")
        account = self.b.account(handle)
        if account is None or account["handle"] != handle.lower():
            raise invalid("Unable to resolve handle")
        return json_answer({"did": account["did"]})

    # ---- blobs and records -------------------------------------------------------------
    def upload_blob(self, ctx, did, entry):
        declared = ctx.content_type.split(";")[0].strip().lower()
        if not declared:
            raise invalid("Request encoding (Content-Type) required but not provided")
        limit = self.b.setting("upload_limit")
        if len(ctx.body) > limit:
            raise XrpcError(413, "PayloadTooLarge", "request entity too large")
        if not ctx.body:
            raise invalid("Request body is empty")
        sniffed = sniff(ctx.body)
        mime = sniffed or declared
        cid = cid_for(ctx.body, 0x55)
        upload = UploadedFile("blob", None, declared, ctx.body)
        upload.stored = self.state.store_upload("blob" + {
            "image/png": ".png", "image/jpeg": ".jpg", "image/gif": ".gif",
            "image/webp": ".webp"}.get(mime, ".bin"), ctx.body)
        self.b.add_blob(did, cid, {"mime": mime, "declared": declared, "size": len(ctx.body),
                                   "stored": upload.stored, "sha256": upload.sha256,
                                   "time": time.time()})
        self.state.update_record(entry, files=[dict(upload.as_record(), sniffed=sniffed)])
        return json_answer({"blob": {"$type": "blob", "ref": {"$link": cid},
                                     "mimeType": mime, "size": len(ctx.body)}})

    def check_blobs(self, did, record, images):
        for ref in blob_refs(record):
            link = ref.get("ref", {}).get("$link") if isinstance(ref.get("ref"), dict) else None
            stored = self.b.blob(did, link) if isinstance(link, str) else None
            if stored is None:
                raise invalid("Could not find blob: %s" % link, "BlobNotFound")
            if ref.get("mimeType") != stored["mime"]:
                raise invalid("Referenced Mimetype does not match stored blob. Expected: %s, "
                              "Got: %s" % (stored["mime"], ref.get("mimeType")),
                              "InvalidMimeType")
            if any(ref is image for image in images):
                if not stored["mime"].startswith("image/"):
                    raise invalid("Wrong type of file. It is %s but it must match image/*."
                                  % stored["mime"], "InvalidMimeType")
                if stored["size"] > IMAGE_MAX:
                    raise invalid("This file is too large. It is %d bytes but the maximum "
                                  "size is %d bytes." % (stored["size"], IMAGE_MAX),
                                  "BlobTooLarge")

    def create_record(self, ctx, did, entry):
        body = self.json_input(ctx)
        repo = self.need(body, "repo")
        collection = self.need(body, "collection")
        record = body.get("record")
        if "record" not in body:
            raise invalid("Input must have the property \"record\"")
        if not isinstance(record, dict):
            raise invalid("Input/record must be an object")
        validate = body.get("validate")
        if validate is not None and not isinstance(validate, bool):
            raise invalid("Input/validate must be a boolean")
        rkey = body.get("rkey")
        if rkey is not None and (not isinstance(rkey, str) or not RKEY_RE.match(rkey)
                                 or rkey in (".", "..")):
            raise invalid("Input/rkey must be a valid Record Key")
        if not NSID_RE.match(collection):
            raise invalid("Input/collection must be a valid nsid")
        account = self.repo_did(repo)
        if account["did"] != did:
            raise XrpcError(401, "AuthenticationRequired", "Authentication Required")
        images = []
        if validate is not False:
            if collection != POST:
                if validate is True:
                    raise invalid("Lexicon not found: lex:%s" % collection)
            else:
                if record.get("$type") != collection:
                    raise invalid("Invalid $type: expected %s, got %s" % (
                        collection, record.get("$type")))
                if rkey is not None and not TID_RE.match(rkey):
                    raise invalid("Invalid TID: %s" % rkey)
                images = validate_post(record)
        self.check_blobs(did, record, images)
        rkey = rkey or next_tid()
        canonical = json.dumps(record, sort_keys=True, separators=(",", ":"),
                               ensure_ascii=False).encode("utf-8", "surrogatepass")
        cid = cid_for(canonical, 0x71)
        uri = "at://%s/%s/%s" % (did, collection, rkey)
        if not self.b.add_record(did, collection, rkey, record, cid):
            raise invalid("Record already exists at %s" % uri)
        if self.b.take_lose():
            self.state.update_record(entry, lost=True)
            return Response.drop()
        return json_answer({"uri": uri, "cid": cid,
                            "commit": {"cid": cid_for(uri.encode(), 0x71), "rev": next_tid()},
                            "validationStatus": "valid" if collection == POST
                            and validate is not False else "unknown"})

    def get_record(self, ctx, did, entry):
        repo = self.param(ctx, "repo")
        collection = self.param(ctx, "collection")
        rkey = self.param(ctx, "rkey")
        account = self.repo_did(repo)
        uri = "at://%s/%s/%s" % (account["did"], collection, rkey)
        found = self.b.record(account["did"], collection, rkey)
        wanted_cid = ctx.query_value("cid")
        if found is None or (wanted_cid and wanted_cid != found["cid"]):
            raise invalid("Could not locate record: %s" % uri, "RecordNotFound")
        return json_answer({"uri": uri, "cid": found["cid"], "value": found["value"]})

    def list_records(self, ctx, did, entry):
        account = self.repo_did(self.param(ctx, "repo"))
        collection = self.param(ctx, "collection")
        limit = self.int_param(ctx, "limit", 50, 1, 100)
        cursor = ctx.query_value("cursor")
        reverse = ctx.query_value("reverse") in ("true", "1")
        found = self.b.records_of(account["did"], collection)
        if reverse:
            found.reverse()
        if cursor:
            found = [(k, r) for k, r in found if (k > cursor if reverse else k < cursor)]
        page = found[:limit]
        answer = {"records": [{"uri": "at://%s/%s/%s" % (account["did"], collection, k),
                               "cid": r["cid"], "value": r["value"]} for k, r in page]}
        if len(page) == limit and len(found) > limit:
            answer["cursor"] = page[-1][0]
        return json_answer(answer)

    def get_blob(self, ctx, did, entry):
        owner = self.param(ctx, "did")
        cid = self.param(ctx, "cid")
        blob = self.b.blob(owner, cid)
        path = self.state.upload_path(blob["stored"]) if blob else None
        if path is None:
            raise invalid("Blob not found", "BlobNotFound")
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            raise invalid("Blob not found", "BlobNotFound")
        return Response(200, data, blob["mime"])

    # ---- notifications -----------------------------------------------------------------
    def list_notifications(self, ctx, did, entry):
        limit = self.int_param(ctx, "limit", 50, 1, 100)
        cursor = ctx.query_value("cursor")
        if cursor is not None and not cursor.isdigit():
            raise invalid("Malformed cursor")
        seen = self.b.seen(did)
        items = sorted(self.b.notifications_for(did), key=lambda n: n["seq"], reverse=True)
        reasons = [v for k, v in ctx.query if k in ("reasons", "reasons[]")]
        if reasons:
            items = [n for n in items if n["reason"] in reasons]
        if cursor:
            items = [n for n in items if n["seq"] < int(cursor)]
        page = items[:limit]
        out = []
        for n in page:
            item = {"uri": n["uri"], "cid": n["cid"], "author": dict(n["author"]),
                    "reason": n["reason"], "record": n["record"],
                    "isRead": bool(seen and n["indexedAt"] <= seen),
                    "indexedAt": n["indexedAt"], "labels": []}
            if "reasonSubject" in n:
                item["reasonSubject"] = n["reasonSubject"]
            out.append(item)
        answer = {"notifications": out, "priority": False}
        if len(items) > limit:
            answer["cursor"] = str(page[-1]["seq"])
        if seen:
            answer["seenAt"] = seen
        return json_answer(answer)

    def update_seen(self, ctx, did, entry):
        body = self.json_input(ctx)
        seen_at = self.need(body, "seenAt")
        if not check_datetime(seen_at):
            raise invalid("seenAt must be an valid atproto datetime (both RFC-3339 and "
                          "ISO-8601)")
        self.b.mark_seen(did, seen_at)
        return json_answer({})

    # ---- everything else ---------------------------------------------------------------
    def web(self, ctx):
        if ctx.path == "/" and ctx.method in ("GET", "HEAD"):
            return Response(200, "This is an AT Protocol Personal Data Server (PDS): the "
                            "Plumfinch emulator's.\n\nMost API routes are under /xrpc/\n")
        if ctx.path == "/xrpc/_health" or ctx.path == "/xrpc":
            return json_answer({"version": "0.4.0-plumfinch-emulator"})
        return json_answer({"error": "NotFound", "message": "Not Found"}, status=404)


# ---- control -------------------------------------------------------------------------
def _control_params(ctx):
    """Parameters of a control call: the query, then a form or JSON body."""
    params = dict(ctx.query)
    body = ctx.body.strip()
    if body.startswith(b"{"):
        try:
            obj = json.loads(body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as e:
            raise ControlError("body is not JSON: %s" % e)
        if not isinstance(obj, dict):
            raise ControlError("body must be a JSON object")
        params.update(obj)
    elif body:
        params.update(urllib.parse.parse_qsl(body.decode("utf-8", "replace"),
                                             keep_blank_values=True))
    return params


def _json(obj, status=200):
    return Response(status, json.dumps(obj, ensure_ascii=False),
                    "application/json; charset=utf-8")


def control(state, ctx):
    """GET /control/bluesky and POST /control/bluesky/<what>; see README.md."""
    b = state.bluesky
    path = ctx.path.rstrip("/")
    if ctx.method in ("GET", "HEAD"):
        if path == "/control/bluesky":
            return _json(b.snapshot())
        return _json({"error": "no such control call: %s" % ctx.path}, 404)
    if ctx.method != "POST":
        return _json({"error": "GET or POST"}, 405)
    params = _control_params(ctx)
    from_page = ("application/x-www-form-urlencoded" in ctx.content_type.lower()
                 and not ctx.body.lstrip().startswith(b"{") and params.get("page") == "1")
    params.pop("page", None)

    def account_did():
        handle = params.get("handle")
        if handle is None:
            return None
        account = b.account(handle)
        if account is None:
            raise ControlError("unknown account: %r" % (handle,))
        return account["did"]

    if path == "/control/bluesky/expire":
        answer = {"ok": True, "expired": b.expire_access(account_did())}
    elif path == "/control/bluesky/revoke":
        answer = {"ok": True, "revoked": b.revoke(account_did())}
    elif path == "/control/bluesky/notify":
        count = params.get("count", params.get("n", 1))
        if isinstance(count, str):
            if not count.strip().isdigit():
                raise ControlError("count must be a number")
            count = int(count)
        added = b.notify(params.get("reason", params.get("type")), count, params.get("handle"))
        answer = {"ok": True, "uris": [n["uri"] for n in added]}
    elif path == "/control/bluesky/ratelimit":
        answer = {"ok": True, "ratelimit": b.set_ratelimit(params.get("count", 1),
                                                           params.get("reset_in", 60))}
    elif path == "/control/bluesky/lose":
        answer = {"ok": True, "lose": b.set_lose(params.get("count", 1))}
    elif path == "/control/bluesky/settings":
        answer = {"ok": True, "settings": b.set_settings(params)}
    else:
        return _json({"error": "no such control call: %s" % ctx.path}, 404)
    return Response.redirect("/") if from_page else _json(answer)


# ---- control page --------------------------------------------------------------------
def _e(value):
    return html.escape(str(value), quote=True)


def _button(action, label, **fields):
    hidden = "".join("<input type=\"hidden\" name=\"%s\" value=\"%s\">" % (_e(k), _e(v))
                     for k, v in fields.items())
    return ("<form method=\"post\" action=\"%s\"><input type=\"hidden\" name=\"page\" "
            "value=\"1\">%s<button>%s</button></form> " % (_e(action), hidden, _e(label)))


def _post_html(uri, value):
    """A post's text with its facets marked, its images and its reply/quote, as HTML."""
    text = value.get("text") if isinstance(value, dict) else None
    if not isinstance(text, str):
        return "<code>%s</code>" % _e(json.dumps(value, ensure_ascii=False)[:300])
    raw = text.encode("utf-8", "surrogatepass")
    marks = []
    for f in value.get("facets") or []:
        try:
            start, end = int(f["index"]["byteStart"]), int(f["index"]["byteEnd"])
            kinds = ", ".join("%s %s" % (feat.get("$type", "?").split("#")[-1],
                                         feat.get("uri") or feat.get("did") or feat.get("tag"))
                              for feat in f["features"])
        except (KeyError, TypeError, ValueError, AttributeError):
            continue
        marks.append((start, end, kinds))
    out, at = [], 0
    for start, end, kinds in sorted(marks):
        if start < at or end > len(raw):
            continue
        out.append(_e(raw[at:start].decode("utf-8", "replace")))
        out.append("<u title=\"%s\">%s</u><sub class=\"muted\">[%s]</sub>" % (
            _e(kinds), _e(raw[start:end].decode("utf-8", "replace")), _e(kinds)))
        at = end
    out.append(_e(raw[at:].decode("utf-8", "replace")))
    extra = []
    embed = value.get("embed") if isinstance(value.get("embed"), dict) else {}
    for image in embed.get("images") or []:
        if isinstance(image, dict):
            ref = image.get("image") if isinstance(image.get("image"), dict) else {}
            extra.append("image %s (%s, %s bytes) alt=%r aspectRatio=%s" % (
                str((ref.get("ref") or {}).get("$link", "?"))[:16] + "…", ref.get("mimeType"),
                ref.get("size"), image.get("alt"), json.dumps(image.get("aspectRatio"))))
    if embed and not embed.get("images"):
        extra.append("embed %s" % embed.get("$type"))
    return "%s<div class=\"muted\">%s%s</div>" % (
        "".join(out), "".join("%s<br>" % _e(x) for x in extra), _e(uri))


def control_section(state, ports):
    b = state.bluesky
    snap = b.snapshot()
    port = ports.get("bluesky")
    out = ["<h2>Bluesky</h2><p>服务器 (server for the sign-in dialog): <code>127.0.0.1:%d"
           "</code> (or <code>https://127.0.0.1:%d</code>)</p>" % (port, port)]
    out.append("<table><tr><th>账号 (identifier)</th><th>password</th><th>app password</th>"
               "<th></th></tr>")
    for a in snap["accounts"]:
        if not a["password"]:
            continue
        note = ("two-factor: the main password is refused" if a["two_factor"]
                else "taken down" if a["takedown"] else "normal")
        out.append("<tr><td><code>%s</code> / <code>%s</code></td><td><code>%s</code></td>"
                   "<td><code>%s</code></td><td>%s</td></tr>" % (
                       _e(a["handle"]), _e(a["email"]), _e(a["password"]),
                       _e(a["app_password"]), _e(note)))
    out.append("</table>")
    kinds = {}
    for n in snap["notifications"]:
        kinds[n["reason"]] = kinds.get(n["reason"], 0) + 1
    out.append("<table><tr><th>notifications (alice.test)</th><th>count</th><th></th></tr>")
    for reason in REASONS:
        out.append("<tr><td>%s</td><td>%d</td><td>%s%s</td></tr>" % (
            _e(reason), kinds.get(reason, 0),
            _button("/control/bluesky/notify", "+1", reason=reason, count=1),
            _button("/control/bluesky/notify", "+5", reason=reason, count=5)))
    out.append("</table>")
    seen = snap["update_seen_calls"]
    out.append("<p class=\"%s\">updateSeen called: %d time(s)%s</p>" % (
        "bad" if seen else "muted", seen, " (the program must never call it)" if seen else ""))
    out.append("<p>%s%s%s%s%s</p>" % (
        _button("/control/bluesky/expire", "expire access tokens now"),
        _button("/control/bluesky/revoke", "revoke all sessions"),
        _button("/control/bluesky/ratelimit", "next request: 429", count=1),
        _button("/control/bluesky/ratelimit", "next 5 requests: 429", count=5),
        _button("/control/bluesky/lose", "lose the next createRecord answer", count=1)))
    live = sum(1 for s in snap["sessions"] if not s["revoked"])
    out.append("<p class=\"muted\">sessions %d (live %d), access tokens issued %d "
               "(expired %d), access lifetime %ss, refresh grace %ss, 429s to come %d, "
               "answers to lose %d, blobs %d</p>" % (
                   len(snap["sessions"]), live, snap["access_tokens"]["issued"],
                   snap["access_tokens"]["expired"], snap["settings"]["access_lifetime"],
                   snap["settings"]["refresh_grace"], snap["ratelimit_left"],
                   snap["lose_left"], len(snap["blobs"])))
    records = sorted(snap["records"], key=lambda r: r["time"])[-10:]
    for r in reversed(records):
        out.append("<div class=\"post\">%s</div>" % _post_html(r["uri"], r["value"]))
    return "".join(out)
