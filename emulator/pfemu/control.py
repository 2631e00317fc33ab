"""The control port: JSON interface for tests (read what arrived, set counters, faults,
quirks, accounts, the IP-echo answer) and the HTML page for people running the demo.
"""
import json

from . import bluesky, pages, x_api
from .httpcore import Response
from .state import COUNTER_NAMES, RECORDED_SERVICES, ControlError


def _json(obj, status=200):
    return Response(status, json.dumps(obj, ensure_ascii=False), "application/json; charset=utf-8")


def _error(status, text):
    return _json({"error": text}, status)


class ControlApp:
    def __init__(self, state, ports):
        self.state = state
        self.ports = ports

    def __call__(self, ctx):
        if ctx.parse_error is not None:
            return _error(ctx.parse_error[0], ctx.parse_error[1])
        try:
            if ctx.path.startswith("/control/bluesky"):
                return bluesky.control(self.state, ctx)
            if ctx.method in ("GET", "HEAD"):
                return self._get(ctx)
            if ctx.method == "POST":
                return self._post(ctx)
            return _error(405, "GET or POST")
        except ControlError as e:
            return _error(400, str(e))

    def _service_filter(self, ctx):
        service = ctx.query_value("service") or None
        if service is not None and service not in RECORDED_SERVICES:
            raise ControlError("unknown service: %r" % service)
        return service

    def _get(self, ctx):
        path = ctx.path
        if path == "/":
            return pages.control_page(self.state, self.ports)
        if path == "/control/requests":
            try:
                since = int(ctx.query_value("since", "0"))
            except ValueError:
                raise ControlError("since must be a number")
            return _json({"requests": self.state.requests_snapshot(self._service_filter(ctx),
                                                                   since)})
        if path == "/control/posts":
            posts = self.state.posts_snapshot(self._service_filter(ctx))
            return _json({"posts": posts})
        if path == "/control/counters":
            return _json({"counters": self.state.counters_snapshot(),
                          **self.state.counters_snapshot()})
        if path == "/control/verifier":
            verifier = self.state.verifier_for(ctx.query_value("oauth_token", ""))
            if verifier is None:
                return _error(404, "unknown request token")
            return _json({"verifier": verifier})
        if path == "/control/faults":
            return _json({"faults": self.state.faults_snapshot()})
        if path == "/control/accounts":
            return _json({"accounts": self.state.accounts_snapshot()})
        if path == "/control/ports":
            return _json({"ports": self.ports})
        if path == "/control/mastodon":
            return _json(self.state.mastodon.snapshot())
        if path == "/control/x":
            return _json(*reversed(x_api.control(self.state, path, "GET", {})))
        if path == "/control/mastodon/code":
            # The code a user without a browser would get: approving the app the program
            # registered last, without fetching the authorisation page.
            code = self.state.mastodon.authorize_newest_app("urn:ietf:wg:oauth:2.0:oob")
            if code is None:
                return _error(404, "no app registered yet: click Mastodon in the program first")
            return _json({"code": code})
        return _error(404, "no such control call: %s" % path)

    def _body(self, ctx):
        if not ctx.body.strip():
            return {}
        try:
            obj = json.loads(ctx.body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as e:
            raise ControlError("body is not JSON: %s" % e)
        if not isinstance(obj, dict):
            raise ControlError("body must be a JSON object")
        return obj

    def _post(self, ctx):
        path = ctx.path
        from_page = "application/x-www-form-urlencoded" in ctx.content_type.lower()
        if path == "/control/bump":
            return self._bump(ctx)
        if path == "/control/reset":
            self.state.reset()
            x_api.reset(self.state)
            return Response.redirect("/") if from_page else _json({"ok": True})
        if path == "/control/fault/clear":
            self.state.clear_faults()
            return Response.redirect("/") if from_page else _json({"ok": True})
        # The page's buttons post forms; curl -d '{...}' also says form-encoded.
        if (path == "/control/mastodon/notify" and from_page
                and not ctx.body.lstrip().startswith(b"{")):
            return self._notify_from_page(ctx)
        body = self._body(ctx)
        if path.startswith("/control/mastodon/"):
            return self._mastodon(path, body)
        if path == "/control/x":
            return _json(*reversed(x_api.control(self.state, path, "POST", body)))
        if path == "/control/fault":
            return _json({"ok": True, "fault": self.state.set_fault(body)})
        if path == "/control/quirks":
            return _json({"ok": True, "quirks": self.state.set_quirks(body)})
        if path == "/control/counters":
            service = body.get("service")
            counters = self.state.set_counters(service, body.get("counters", {}),
                                               body.get("increment", {}))
            return _json({"ok": True, "counters": counters})
        if path == "/control/account":
            return _json({"ok": True, "account": self.state.set_account(body)})
        if path == "/control/ipecho":
            return _json({"ok": True, "ipecho": self.state.set_ipecho(body)})
        return _error(404, "no such control call: %s" % path)

    def _mastodon(self, path, body):
        m = self.state.mastodon
        if path == "/control/mastodon/instance":
            return _json({"ok": True, "instance": m.set_instance(body)})
        if path == "/control/mastodon/media":
            return _json({"ok": True, "media": m.set_media(body)})
        if path == "/control/mastodon/notify":
            added = m.notify(body.get("type"), body.get("count", 1))
            return _json({"ok": True, "ids": [n["id"] for n in added]})
        if path == "/control/mastodon/revoke":
            m.revoke()
            return _json({"ok": True})
        return _error(404, "no such control call: %s" % path)

    def _notify_from_page(self, ctx):
        try:
            count = int(ctx.form_value("count", "1"))
        except ValueError:
            raise ControlError("not a number")
        self.state.mastodon.notify(ctx.form_value("type", ""), count)
        return Response.redirect("/")

    def _bump(self, ctx):
        """The control page's buttons: +n or set one counter, then back to the page."""
        service = ctx.form_value("service", "")
        counter = ctx.form_value("counter", "")
        if service not in COUNTER_NAMES:
            raise ControlError("unknown service: %r" % service)
        try:
            if ctx.form_value("set") is not None:
                self.state.set_counters(service, {counter: int(ctx.form_value("set"))})
            else:
                self.state.set_counters(service, {}, {counter: int(ctx.form_value("by", "1"))})
        except ValueError:
            raise ControlError("not a number")
        return Response.redirect("/")
