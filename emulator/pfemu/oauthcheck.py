"""OAuth 1.0 checking of service requests with oauthlib.

Each service has its own validator: it knows only that service's consumer and the tokens
that service issued. The signature itself is always checked by oauthlib's endpoints:
RequestTokenEndpoint for request-token calls with a callback, SignatureOnlyEndpoint for
request-token calls without one (Sina and Sohu send none), AccessTokenEndpoint for the
access-token step, ResourceEndpoint for everything made with an access token.
"""
import hmac

from oauthlib.oauth1 import (AccessTokenEndpoint, RequestTokenEndpoint, RequestValidator,
                             ResourceEndpoint, SignatureOnlyEndpoint)
from oauthlib.oauth1.rfc5849 import errors as oauth_errors
from oauthlib.oauth1.rfc5849 import utils as oauth_utils

from .state import CONSUMERS

import urllib.parse


def _plain_text(value, limit=512):
    return bool(value) and len(value) <= limit and value.isprintable()


class ServiceValidator(RequestValidator):
    """Accepts the formats the program really sends (10-digit keys, 32-character nonces,
    6-digit verifiers) and plain HTTP; knows one service's consumer and tokens."""

    enforce_ssl = False
    allowed_signature_methods = ("HMAC-SHA1",)
    dummy_client = "dummy_client"
    dummy_request_token = "dummy_request_token"
    dummy_access_token = "dummy_access_token"
    realms = []

    def __init__(self, state, service):
        super().__init__()
        self.state = state
        self.service = service
        self.consumer_key, self.consumer_secret = CONSUMERS[service]

    # Formats: anything printable of sane length; the real checks come below.
    def check_client_key(self, client_key):
        return _plain_text(client_key)

    def check_request_token(self, token):
        return _plain_text(token)

    def check_access_token(self, token):
        return _plain_text(token)

    def check_nonce(self, nonce):
        return _plain_text(nonce)

    def check_verifier(self, verifier):
        return _plain_text(verifier)

    def check_realms(self, realms):
        return True

    # Consumer.
    def validate_client_key(self, client_key, request):
        ok = hmac.compare_digest(client_key.encode(), self.consumer_key.encode())
        if not ok:
            request.pf_reason = request.__dict__.get("pf_reason") or "unknown consumer key"
        return ok

    def get_client_secret(self, client_key, request):
        if client_key == self.consumer_key:
            return self.consumer_secret
        return "dummy"

    # Tokens.
    def _token(self, token, kind):
        tok = self.state.find_token(token)
        if tok is None or tok.kind != kind or tok.service != self.service:
            return None
        if tok.consumer_key != self.consumer_key:
            return None
        return tok

    def get_request_token_secret(self, client_key, token, request):
        tok = self._token(token, "request")
        return tok.secret if tok else "dummy"

    def get_access_token_secret(self, client_key, token, request):
        tok = self._token(token, "access")
        return tok.secret if tok else "dummy"

    def validate_request_token(self, client_key, token, request):
        tok = self._token(token, "request")
        if tok is None or tok.used:
            request.pf_reason = (request.__dict__.get("pf_reason") or
                                 "unknown or already used request token")
            return False
        return True

    def validate_access_token(self, client_key, token, request):
        if self._token(token, "access") is None:
            request.pf_reason = (request.__dict__.get("pf_reason") or
                                 "unknown access token (not issued by this service)")
            return False
        return True

    def validate_verifier(self, client_key, token, verifier, request):
        tok = self._token(token, "request")
        if tok is None or not hmac.compare_digest(verifier.encode(), tok.verifier.encode()):
            request.pf_reason = request.__dict__.get("pf_reason") or "wrong verifier"
            return False
        return True

    def validate_timestamp_and_nonce(self, client_key, timestamp, nonce, request,
                                     request_token=None, access_token=None):
        key = (client_key, timestamp, nonce, request_token or access_token or "")
        if not self.state.remember_nonce(key, timestamp):
            request.pf_reason = "nonce already used"
            return False
        return True

    # Callbacks: out-of-band only ("oob", or "null" as Tencent's clients send).
    def validate_redirect_uri(self, client_key, redirect_uri, request):
        if redirect_uri in ("oob", "null") or redirect_uri.startswith(("http://", "https://")):
            return True
        request.pf_reason = "callback not accepted: %s" % redirect_uri
        return False

    def validate_requested_realms(self, client_key, realms, request):
        return True

    def validate_realms(self, client_key, token, request, uri=None, realms=None):
        return True

    def get_default_realms(self, client_key, request):
        return []

    def get_realms(self, token, request):
        return []

    def get_redirect_uri(self, token, request):
        return "oob"

    def verify_request_token(self, token, request):
        return self._token(token, "request") is not None

    def verify_realms(self, token, realms, request):
        return True


class OAuthResult:
    def __init__(self, valid, reason, params, request=None):
        self.valid = valid
        self.reason = reason
        self.params = params  # the oauth_* parameters that arrived, decoded
        self.request = request  # the oauthlib request when it could be built

    def as_record(self):
        return {"checked": True, "valid": self.valid, "reason": self.reason,
                "params": self.params}


def oauth_params_of(uri, body, headers):
    """The oauth_* parameters of a request from the Authorization header, the query and a
    form body, decoded; for the record, whatever the signature check says."""
    params = {}
    auth = headers.get("Authorization") or headers.get("authorization")
    if auth:
        try:
            for k, v in oauth_utils.parse_authorization_header(auth):
                if k.startswith("oauth_") or k == "realm":
                    params[k] = urllib.parse.unquote(v)
        except (ValueError, IndexError):
            params["authorization_header"] = "malformed"
    sources = [urllib.parse.urlsplit(uri).query]
    ctype = headers.get("Content-Type") or headers.get("content-type") or ""
    if body and "application/x-www-form-urlencoded" in ctype:
        sources.append(body)
    for source in sources:
        for k, v in urllib.parse.parse_qsl(source, keep_blank_values=True, errors="replace"):
            if k.startswith("oauth_"):
                params[k] = v
    return params


class ServiceChecker:
    """Checks the requests of one service."""

    def __init__(self, state, service):
        self.validator = ServiceValidator(state, service)
        self.request_ep = RequestTokenEndpoint(self.validator)
        self.access_ep = AccessTokenEndpoint(self.validator)
        self.resource_ep = ResourceEndpoint(self.validator)
        self.signature_ep = SignatureOnlyEndpoint(self.validator)

    def check(self, kind, uri, method, body, headers):
        """kind: "request_token", "access_token" or "resource"."""
        params = oauth_params_of(uri, body, headers)
        try:
            if kind == "request_token" and "oauth_callback" in params:
                request = self.request_ep._create_request(uri, method, body, headers)
                valid, request = self.request_ep.validate_request_token_request(request)
                endpoint = self.request_ep
            elif kind == "access_token":
                request = self.access_ep._create_request(uri, method, body, headers)
                valid, request = self.access_ep.validate_access_token_request(request)
                endpoint = self.access_ep
            else:
                # These two endpoints hide why a request could not be read: build it once
                # here first so that the reason can be told.
                self.signature_ep._create_request(uri, method, body, headers)
                if kind == "request_token":
                    endpoint = self.signature_ep
                    valid, request = endpoint.validate_request(uri, method, body, headers)
                else:
                    endpoint = self.resource_ep
                    valid, request = endpoint.validate_protected_resource_request(
                        uri, method, body, headers)
        except oauth_errors.OAuth1Error as e:
            return OAuthResult(False, e.description or e.error, params)
        except (ValueError, TypeError, IndexError, UnicodeError) as e:
            return OAuthResult(False, "malformed request: %s" % e, params)
        if valid:
            return OAuthResult(True, "", params, request)
        return OAuthResult(False, self._explain(endpoint, request, kind), params, request)

    @staticmethod
    def _explain(endpoint, request, kind):
        """Why oauthlib refused: the validator notes its own refusals on the request;
        format problems are found again with the endpoint's own parameter check."""
        if request is None:
            return "malformed OAuth parameters"  # _create_request failed; see check()
        try:
            endpoint._check_mandatory_parameters(request)
        except oauth_errors.OAuth1Error as e:
            return e.description or e.error
        if kind == "resource" and not request.resource_owner_key:
            return "missing oauth_token"
        reason = request.__dict__.get("pf_reason")
        log = request.validator_log
        if reason:
            return reason
        if log.get("signature") is False:
            return "invalid signature"
        return "request refused"
