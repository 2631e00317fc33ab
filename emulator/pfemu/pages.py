"""HTML pages: the services' authorisation pages with the verification code, the web
hosts' pages that the program opens (posts, inbox, mentions, followers), and the
control page for people running the demo.
"""
import html
import mimetypes
import time
import urllib.parse

from .httpcore import Response
from .state import COUNTER_NAMES, SERVICES

SERVICE_TITLES = {"tencent": "腾讯微博", "sina": "新浪微博", "sohu": "搜狐微博",
                  "twitter": "Twitter", "mastodon": "Mastodon", "ipecho": "IP echo"}

_STYLE = """body{font-family:sans-serif;margin:2em;max-width:60em;color:#222}
h1{font-size:1.4em}h2{font-size:1.1em;margin-top:1.5em}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.2em .5em;text-align:left}
.code{font-size:2.2em;font-family:monospace;letter-spacing:.15em;background:#f3f3c8;
padding:.1em .4em}.post{border:1px solid #ddd;padding:.6em;margin:.5em 0}
.bad{color:#b00}.muted{color:#777}form{display:inline;margin:0}img{max-width:30em}"""


def _e(value):
    return html.escape(str(value), quote=True)


def _page(title, body, status=200):
    text = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title>"
            "<style>%s</style></head><body>\n%s\n</body></html>\n" % (_e(title), _STYLE, body))
    return Response.html(text, status)


# ---- authorisation ---------------------------------------------------------------------
def authorize_page(state, service, ctx):
    title = SERVICE_TITLES[service]
    token = ctx.query_value("oauth_token", "")
    tok = state.find_token(token)
    if tok is None or tok.kind != "request" or tok.service != service:
        return _page("%s - 授权失败" % title,
                     "<h1>%s</h1><p class=\"bad\">授权失败：无效的令牌 (unknown request token "
                     "<code>%s</code>).</p>" % (_e(title), _e(token)), 400)
    account = state.account(service)
    who = account.get("screen_name") or account.get("name") or ""
    body = ("<h1>%s 授权</h1>\n<p>应用 <b>Plumfinch</b> 请求访问您的帐号 <b>%s</b>。</p>\n"
            "<p>您已授权。请将下面的验证码输入到应用中 (verification code):</p>\n"
            "<p class=\"code\"><span id=\"verifier\">%s</span></p>\n"
            "<p class=\"muted\">oauth_token: %s</p>" % (_e(title), _e(who), _e(tok.verifier),
                                                        _e(token)))
    return _page("%s - 授权" % title, body)


def mastodon_authorize_page(app, scopes, code, account):
    """Mastodon's page after "Authorize" for an out-of-band app: the code to copy."""
    body = ("<h1>Mastodon</h1>\n<p><b>%s</b> would like to access <b>@%s</b> with the "
            "scopes <code>%s</code>. Authorized.</p>\n<p>Copy this authorization code and "
            "paste it to the application:</p>\n"
            "<p class=\"code\"><span id=\"verifier\">%s</span></p>" % (
                _e(app["name"]), _e(account["username"]), _e(" ".join(scopes)), _e(code)))
    return _page("Mastodon - Authorization required", body)


def mastodon_authorize_refused(reason):
    return _page("Mastodon - An error has occurred",
                 "<h1>Mastodon</h1><p class=\"bad\">The authorization request was "
                 "refused: %s.</p>" % _e(reason), 400)


# ---- web hosts -------------------------------------------------------------------------
def _post_html(post, service):
    pic = ""
    if post.get("picture_file"):
        pic = "<br><img src=\"/pic/%s\" alt=\"picture\">" % _e(urllib.parse.quote(
            post["picture_file"]))
    when = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(post["time"]))
    link = "/t/%s" % post["id"] if service == "tencent" else "/status/%s" % post["id"]
    if service == "mastodon":
        link = "/@%s/%s" % (post.get("account", ""), post["id"])
    return ("<div class=\"post\" id=\"post-%s\"><div class=\"text\">%s</div>%s"
            "<div class=\"muted\"><a href=\"%s\">%s</a> · %s</div></div>" % (
                _e(post["id"]), _e(post["text"]), pic, _e(link), _e(post["id"]), _e(when)))


def _picture(state, ctx):
    name = urllib.parse.unquote(ctx.path[len("/pic/"):])
    path = state.upload_path(name)
    if path is None:
        return None
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    ctype = mimetypes.guess_type(name)[0] or "application/octet-stream"
    return Response(200, data, ctype)


def web_page(state, service, ctx):
    """A page for every GET on a web host; the paths the program opens get their own."""
    title = SERVICE_TITLES[service]
    path = ctx.path
    account = state.account(service)
    counters = state.counters_snapshot().get(service, {})
    posts = state.posts_snapshot(service)
    if path.startswith("/pic/"):
        r = _picture(state, ctx)
        if r is not None:
            return r
    parts = [p for p in path.split("/") if p]

    def listing(heading, extra=""):
        items = "".join(_post_html(p, service) for p in reversed(posts)) or \
            "<p class=\"muted\">还没有微博。</p>"
        return _page("%s - %s" % (title, heading),
                     "<h1>%s</h1><h2>%s</h2>%s%s" % (_e(title), _e(heading), extra, items))

    def counter_page(heading, text):
        return _page("%s - %s" % (title, heading), "<h1>%s</h1><h2>%s</h2><p>%s</p>" % (
            _e(title), _e(heading), _e(text)))

    if service == "tencent" and len(parts) == 2 and parts[0] == "t":
        post = state.find_post(service, parts[1])
        if post is None:
            return _page("%s - 微博" % title, "<h1>%s</h1><p>这条微博不存在 (no post %s).</p>"
                         % (_e(title), _e(parts[1])))
        return _page("%s - %s" % (title, post["text"][:30]),
                     "<h1>%s</h1>%s" % (_e(title), _post_html(post, service)))
    if len(parts) == 2 and parts[0] == "status":
        post = state.find_post(service, parts[1])
        if post is not None:
            return _page(title, "<h1>%s</h1>%s" % (_e(title), _post_html(post, service)))
    if path == "/" or (service == "sohu" and path == "/home"):
        return listing("我关注的人的微博 (home)")
    if service == "tencent":
        if path == "/messages/inbox":
            return counter_page("私信 (inbox)", "您有 %d 条新私信。" % counters["private"])
        if path == "/at":
            return counter_page("提到我的 (mentions)", "%d 条提到我的消息。" % counters["mentions"])
        if len(parts) == 2 and parts[1] == "follower":
            return counter_page("%s 的听众 (followers)" % parts[0],
                                "新听众：%d" % counters["fans"])
    if service == "sina":
        if path == "/messages":
            return counter_page("私信 (messages)", "您有 %d 条新私信。" % counters["dm"])
        if path == "/atme":
            return counter_page("@我的 (mentions)", "%d 条提到我的消息。" % counters["mentions"])
        if len(parts) == 2 and parts[1] == "fans":
            return counter_page("%s 的粉丝 (fans)" % parts[0],
                                "新粉丝：%d" % counters["followers"])
    if service == "mastodon":
        me = account["username"]
        posts = [dict(p, account=me) for p in posts]  # listing() links to /@me/<id>
        if len(parts) == 2 and parts[0] == "@" + me:
            post = state.find_post(service, parts[1])
            if post is not None:
                return _page(title, "<h1>%s</h1>%s" % (_e(title), _post_html(
                    dict(post, account=me), service)))
        if path in ("/", "/@" + me):
            return listing("@%s" % me)
        if path == "/notifications":
            kinds = {}
            for n in state.mastodon.notifications_snapshot():
                kinds[n["type"]] = kinds.get(n["type"], 0) + 1
            return counter_page("Notifications", ", ".join(
                "%s: %d" % kv for kv in sorted(kinds.items())) or "No notifications yet.")
    if service == "sohu" and path == "/follow/followed.jsp":
        uid = ctx.query_value("uid", "")
        return counter_page("%s 的粉丝 (followers)" % uid,
                            "粉丝：%d" % counters["followers_count"])
    who = account.get("screen_name") or account.get("name") or account.get("username") or ""
    return _page("%s - %s" % (title, path),
                 "<h1>%s</h1><p>页面 <code>%s</code></p><p class=\"muted\">帐号：%s</p>" % (
                     _e(title), _e(ctx.target), _e(who)))


# ---- control page ----------------------------------------------------------------------
def _mastodon_section(state, ports):
    """The Mastodon server's address for the bind dialog, its notifications with +1
    buttons, and its settings."""
    kinds = {}
    for n in state.mastodon.notifications_snapshot():
        kinds[n["type"]] = kinds.get(n["type"], 0) + 1
    settings = state.mastodon.snapshot()
    out = ["<h2>Mastodon</h2><p>服务器 (server for the bind dialog): <code>https://127.0.0.1:"
           "%d</code> · 证书错误 (bad certificate): <code>https://127.0.0.1:%d</code></p>" % (
               ports["mastodon"], ports["mastodon_badcert"])]
    out.append("<table><tr><th>notifications</th><th>count</th><th></th></tr>")
    for kind, label in (("mention", "mentions"), ("follow", "follows")):
        out.append(
            "<tr><td>%s</td><td>%d</td><td><form method=\"post\" "
            "action=\"/control/mastodon/notify\"><input type=\"hidden\" name=\"type\" "
            "value=\"%s\"><button name=\"count\" value=\"1\">+1</button> "
            "<button name=\"count\" value=\"5\">+5</button></form></td></tr>" % (
                _e(label), kinds.get(kind, 0), _e(kind)))
    out.append("</table><p class=\"muted\">max_characters %s, processing_polls %d, "
               "%d app(s), %d token(s)</p>" % (
                   _e(settings["instance"]["max_characters"]), settings["processing_polls"],
                   len(settings["apps"]), len(settings["tokens"])))
    return "".join(out)


def control_page(state, ports):
    counters = state.counters_snapshot()
    accounts = state.accounts_snapshot()
    out = ["<h1>Plumfinch 服务模拟器 (service emulator)</h1>"]
    out.append("<p><a href=\"/\">刷新 (reload)</a> · "
               "<form method=\"post\" action=\"/control/reset\"><button>reset</button></form> "
               "<form method=\"post\" action=\"/control/fault/clear\">"
               "<button>clear faults</button></form></p>")

    out.append("<h2>计数器 (counters)</h2><table><tr><th>service</th><th>counter</th>"
               "<th>value</th><th></th></tr>")
    for service, names in COUNTER_NAMES.items():
        for name in names:
            value = counters[service][name]
            out.append(
                "<tr><td>%s</td><td>%s</td><td>%d</td><td>"
                "<form method=\"post\" action=\"/control/bump\">"
                "<input type=\"hidden\" name=\"service\" value=\"%s\">"
                "<input type=\"hidden\" name=\"counter\" value=\"%s\">"
                "<button name=\"by\" value=\"1\">+1</button> "
                "<button name=\"by\" value=\"5\">+5</button> "
                "<button name=\"set\" value=\"0\">0</button></form></td></tr>" % (
                    _e(SERVICE_TITLES[service]), _e(name), value, _e(service), _e(name)))
    out.append("</table>")

    out.append(_mastodon_section(state, ports))
    from .bluesky import control_section  # bluesky imports services, which imports pages
    out.append(control_section(state, ports))

    out.append("<h2>帐号 (accounts)</h2><table>")
    for service in SERVICES:
        out.append("<tr><td>%s</td><td>%s</td></tr>" % (
            _e(SERVICE_TITLES[service]),
            _e(", ".join("%s=%s" % kv for kv in accounts[service].items()))))
    out.append("</table>")

    out.append("<h2>端口 (ports)</h2><table>")
    for role, port in ports.items():
        link = "http://127.0.0.1:%d/" % port
        if role in ("tencent_open_tls", "mastodon", "mastodon_badcert", "bluesky"):
            link = "https://127.0.0.1:%d/" % port
        elif role == "ipecho":
            link += "getip.asp"
        out.append("<tr><td>%s</td><td><a href=\"%s\">%s</a></td></tr>" % (
            _e(role), _e(link), _e(link)))
    out.append("</table>")

    faults = state.faults_snapshot()
    if faults:
        out.append("<h2>故障 (faults)</h2><ul>")
        for f in faults:
            out.append("<li>%s</li>" % _e(", ".join("%s=%s" % kv for kv in f.items())))
        out.append("</ul>")

    out.append("<h2>微博 (posts)</h2>")
    posts = state.posts_snapshot()[-20:]
    if not posts:
        out.append("<p class=\"muted\">none yet</p>")
    for p in reversed(posts):
        pic = " [picture %s…]" % p["picture_sha256"][:12] if p["picture_sha256"] else ""
        out.append("<div class=\"post\"><b>%s</b> #%s: %s%s</div>" % (
            _e(SERVICE_TITLES[p["service"]]), _e(p["id"]), _e(p["text"]), _e(pic)))

    out.append("<h2>请求 (recent requests)</h2><table><tr><th>#</th><th>time</th>"
               "<th>service</th><th>method</th><th>path</th><th>OAuth</th><th>status</th>"
               "<th>peer</th></tr>")
    for r in reversed(state.requests_snapshot()[-40:]):
        oauth = r["oauth"]
        verdict = ("ok" if oauth["valid"] else oauth["reason"]) if oauth["checked"] else "-"
        out.append("<tr><td>%d</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td>"
                   "<td class=\"%s\">%s</td><td>%s</td><td>%s</td></tr>" % (
                       r["seq"], _e(time.strftime("%H:%M:%S", time.localtime(r["time"]))),
                       _e(r["service"]), _e(r["method"]), _e(r["target"]),
                       "bad" if oauth["checked"] and not oauth["valid"] else "",
                       _e(verdict), _e(r["status"] if r["status"] is not None else "…"),
                       _e(r["peer"])))
    out.append("</table>")
    return _page("Plumfinch emulator", "\n".join(out))
