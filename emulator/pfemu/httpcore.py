"""HTTP plumbing shared by every port: one threading server per role (TLS optional),
request parsing (query, form and JSON bodies, multipart uploads, chunked bodies) and answers
(plain, streamed oversize bodies, dropped connections).
"""
import email.parser
import email.utils
import hashlib
import json
import socket
import ssl
import sys
import traceback
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_BODY = 64 * 1024 * 1024


class Response:
    """An answer. kind "normal" sends status/headers/body; "drop" closes the connection
    without a byte; "stream" sends stream_bytes of 'x' (oversize answers)."""

    def __init__(self, status=200, body=b"", content_type="text/plain; charset=utf-8",
                 headers=None, kind="normal"):
        self.status = status
        self.body = body.encode("utf-8") if isinstance(body, str) else body
        self.content_type = content_type
        self.headers = list(headers or [])
        self.kind = kind
        self.stream_bytes = 0
        self.send_length = True

    @classmethod
    def drop(cls):
        return cls(status=0, kind="drop")

    @classmethod
    def stream(cls, nbytes, send_length=True):
        r = cls(status=200, kind="stream")
        r.stream_bytes = max(0, int(nbytes))
        r.send_length = send_length
        return r

    @classmethod
    def html(cls, text, status=200):
        return cls(status, text, "text/html; charset=utf-8")

    @classmethod
    def redirect(cls, location):
        return cls(303, b"", headers=[("Location", location)])


class UploadedFile:
    __slots__ = ("name", "filename", "content_type", "data", "sha256", "stored")

    def __init__(self, name, filename, content_type, data):
        self.name = name
        self.filename = filename
        self.content_type = content_type
        self.data = data
        self.sha256 = hashlib.sha256(data).hexdigest()
        self.stored = None

    def as_record(self):
        return {"name": self.name, "filename": self.filename, "size": len(self.data),
                "sha256": self.sha256, "content_type": self.content_type,
                "stored": self.stored}


class BadRequest(Exception):
    def __init__(self, status, reason):
        super().__init__(reason)
        self.status = status


def _fix_header_text(value):
    """Header values parsed from raw bytes carry non-ASCII bytes as surrogates."""
    if value is None:
        return None
    return value.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def parse_multipart(content_type, body):
    """(text fields as [(name, value)], [UploadedFile]) of a multipart/form-data body.
    The body is split at the boundary on bytes, so file contents stay exact; each part's
    header block is read with the email package."""
    head = email.parser.HeaderParser().parsestr("Content-Type: %s\n\n" % content_type)
    boundary = head.get_boundary()
    if not boundary:
        raise BadRequest(400, "multipart body without boundary")
    delimiter = b"--" + boundary.encode("latin-1", "replace")
    segments = body.split(delimiter)
    if len(segments) < 2:
        raise BadRequest(400, "multipart body without parts")
    fields, files = [], []
    for seg in segments[1:]:
        if seg.startswith(b"--"):
            break
        if seg.startswith(b"\r\n"):
            seg = seg[2:]
        elif seg.startswith(b"\n"):
            seg = seg[1:]
        if seg.endswith(b"\r\n"):
            seg = seg[:-2]
        elif seg.endswith(b"\n"):
            seg = seg[:-1]
        header_block, sep, data = seg.partition(b"\r\n\r\n")
        if not sep:
            header_block, sep, data = seg.partition(b"\n\n")
        if not sep:
            if not header_block.strip():
                continue
            raise BadRequest(400, "multipart part without header end")
        headers = email.parser.BytesHeaderParser().parsebytes(header_block + b"\r\n\r\n")
        name = headers.get_param("name", header="content-disposition")
        if isinstance(name, tuple):
            name = email.utils.collapse_rfc2231_value(name)
        name = _fix_header_text(name) or ""
        filename = headers.get_filename()
        if filename is not None:
            files.append(UploadedFile(name, _fix_header_text(filename),
                                      headers.get_content_type(), data))
        else:
            fields.append((name, data.decode("utf-8", "replace")))
    return fields, files


def json_form_pairs(body):
    """A JSON object body as form pairs, the way a form would carry it: an array becomes
    repeated "name[]" pairs, true/false become "true"/"false". (pairs, invalid)."""
    try:
        obj = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError, RecursionError):  # nested too deep: not parsed
        return [], True
    if not isinstance(obj, dict):
        return [], True

    def text(value):
        if isinstance(value, bool):
            return "true" if value else "false"
        if value is None:
            return ""
        return value if isinstance(value, str) else json.dumps(value, ensure_ascii=False)

    pairs = []
    for name, value in obj.items():
        if isinstance(value, list):
            pairs += [(name + "[]", text(v)) for v in value]
        else:
            pairs.append((name, text(value)))
    return pairs, False


class Context:
    """One arrived request, parsed."""

    def __init__(self, handler, method, body, parse_error=None):
        server = handler.server
        self.parse_error = parse_error  # (status, reason) when the request was unreadable
        self.role = server.role
        self.scheme = "https" if server.ssl_context else "http"
        self.method = method
        self.port = server.server_address[1]
        target = handler.path
        if target.startswith(("http://", "https://")):  # absolute form
            parts = urllib.parse.urlsplit(target)
            target = parts.path or "/"
            if parts.query:
                target += "?" + parts.query
        self.target = target
        path, _, query = target.partition("?")
        self.raw_path = path
        self.path = urllib.parse.unquote(path, errors="replace")
        self.raw_query = query
        self.query = urllib.parse.parse_qsl(query, keep_blank_values=True, errors="replace")
        self.headers = {}
        for k, v in handler.headers.items():
            v = _fix_header_text(v)
            self.headers[k] = self.headers[k] + ", " + v if k in self.headers else v
        self.host = handler.headers.get("Host") or "127.0.0.1:%d" % self.port
        self.peer = handler.client_address[0]
        self.body = body
        self.content_type = handler.headers.get("Content-Type", "")
        self.form = []
        self.files = []
        self.json_invalid = False  # a JSON body that is not a JSON object
        self.body_text = ""
        ctype = self.content_type.lower()
        if "application/x-www-form-urlencoded" in ctype:
            self.body_text = body.decode("utf-8", "replace")
            self.form = urllib.parse.parse_qsl(self.body_text, keep_blank_values=True,
                                               errors="replace")
        elif ctype.startswith("application/json") and body.strip():
            self.form, self.json_invalid = json_form_pairs(body)
        elif ctype.startswith("multipart/") and parse_error is None:
            try:
                self.form, self.files = parse_multipart(self.content_type, body)
            except BadRequest as e:
                self.parse_error = (e.status, e.args[0])

    def uri(self):
        """The URI the client signed: scheme + Host header + path (+ query)."""
        return "%s://%s%s" % (self.scheme, self.host, self.target)

    def query_value(self, name, default=None):
        for k, v in self.query:
            if k == name:
                return v
        return default

    def form_value(self, name, default=None):
        for k, v in self.form:
            if k == name:
                return v
        return default

    def header(self, name, default=None):
        """A request header by name, whatever its case."""
        name = name.lower()
        for k, v in self.headers.items():
            if k.lower() == name:
                return v
        return default

    def file(self, name):
        for f in self.files:
            if f.name == name:
                return f
        return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PlumfinchEmulator/1.0"
    sys_version = ""
    timeout = 120

    def do_GET(self):
        self._serve("GET")

    def do_POST(self):
        self._serve("POST")

    def do_HEAD(self):
        self._serve("HEAD")

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("[%s] %s\n" % (self.server.role, fmt % args))

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            chunks, total = [], 0
            while True:
                line = self.rfile.readline(1024)
                if not line:
                    raise BadRequest(400, "truncated chunked body")
                try:
                    size = int(line.split(b";")[0].strip(), 16)
                except ValueError:
                    raise BadRequest(400, "bad chunk size")
                if size == 0:
                    while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                        pass
                    return b"".join(chunks)
                total += size
                if total > MAX_BODY:
                    raise BadRequest(413, "body too large")
                chunks.append(self.rfile.read(size))
                self.rfile.readline(1024)
        length = self.headers.get("Content-Length")
        if not length:
            return b""
        try:
            n = int(length)
        except ValueError:
            raise BadRequest(400, "bad Content-Length")
        if n < 0:
            raise BadRequest(400, "bad Content-Length")
        if n > MAX_BODY:
            raise BadRequest(413, "body too large")
        data = self.rfile.read(n)
        if len(data) != n:
            raise BadRequest(400, "truncated body")
        return data

    def _serve(self, method):
        try:
            try:
                ctx = Context(self, method, self._read_body())
            except BadRequest as e:
                # The rest of the connection cannot be trusted; answer and close.
                self.close_connection = True
                ctx = Context(self, method, b"", (e.status, e.args[0]))
            try:
                response = self.server.app(ctx)
            except Exception:
                traceback.print_exc()
                response = Response(500, "emulator error\n")
            self._send(response, head_only=(method == "HEAD"))
        except (BrokenPipeError, ConnectionResetError, socket.timeout, ssl.SSLError, OSError):
            self.close_connection = True

    def _send(self, r, head_only=False):
        if r.kind == "drop":
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        self.send_response(r.status)
        self.send_header("Content-Type", r.content_type)
        for k, v in r.headers:
            self.send_header(k, v)
        if r.kind == "stream":
            if r.send_length:
                self.send_header("Content-Length", str(r.stream_bytes))
            else:
                self.close_connection = True
                self.send_header("Connection", "close")
            self.end_headers()
            if head_only:
                return
            block = b"x" * 65536
            left = r.stream_bytes
            while left > 0:
                n = min(left, len(block))
                self.wfile.write(block[:n])
                left -= n
            return
        self.send_header("Content-Length", str(len(r.body)))
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        if not head_only and r.body:
            self.wfile.write(r.body)


class RoleServer(ThreadingHTTPServer):
    """One listening port. app(ctx) -> Response handles every request; with an SSL
    context the TLS handshake runs in the request's own thread, so a silent client never
    blocks the accept loop."""

    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True

    def __init__(self, role, port, app, ssl_context=None, verbose=False):
        self.role = role
        self.app = app
        self.ssl_context = ssl_context
        self.verbose = verbose
        super().__init__(("127.0.0.1", port), Handler)

    def finish_request(self, request, client_address):
        if self.ssl_context is None:
            return super().finish_request(request, client_address)
        try:
            request.settimeout(20)
            tls = self.ssl_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            if self.verbose:
                sys.stderr.write("[%s] TLS handshake failed: %s\n" % (self.role, e))
            return
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        if self.verbose:
            super().handle_error(request, client_address)
