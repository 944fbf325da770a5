"""Who may use the viewer: loopback by default, an access token beyond it.

A server that listens only on a loopback address needs no token, but it still
refuses requests whose Host is not a loopback name (a web page on another
site cannot rebind its own name to 127.0.0.1 and read the camera) and
WebSockets opened from a page of another origin. Listening on any other
address requires the token the server generated: in the query
(``?token=...``, as the printed URL carries it) or in the cookie the server
sets once the query token was accepted, so the page's own files load too.
"""

from __future__ import annotations

import ipaddress
import secrets
from typing import Awaitable, Callable, Optional
from urllib.parse import urlsplit

from aiohttp import web

TOKEN_QUERY = "token"
TOKEN_COOKIE = "kolthermo_viewer_token"
_LOOPBACK_NAMES = {"localhost", "localhost.", "ip6-localhost"}

Handler = Callable[[web.Request], Awaitable[web.StreamResponse]]


def is_loopback(host: str) -> bool:
    """Whether ``host`` (a name or an address, IPv6 perhaps in brackets) is this machine only."""
    name = host.strip("[]").lower()
    if name in _LOOPBACK_NAMES:
        return True
    try:
        return ipaddress.ip_address(name).is_loopback
    except ValueError:
        return False


def new_token() -> str:
    return secrets.token_urlsafe(24)


def _host_name(host_header: str) -> str:
    """The name part of a Host header ("127.0.0.1:8642", "[::1]:80", "localhost")."""
    return urlsplit("//" + host_header).hostname or ""


class Access:
    """The server's access rule; ``token`` is None when listening on loopback only."""

    def __init__(self, token: Optional[str]) -> None:
        self.token = token

    def _token_given(self, request: web.Request) -> bool:
        assert self.token is not None
        for given in (request.query.get(TOKEN_QUERY), request.cookies.get(TOKEN_COOKIE)):
            if given is not None and secrets.compare_digest(given.encode(), self.token.encode()):
                return True
        return False

    def refusal(self, request: web.Request) -> Optional[str]:
        """Why the request is refused, or None when it may proceed."""
        if self.token is None:
            if not is_loopback(_host_name(request.headers.get("Host", ""))):
                return "this viewer answers only to a loopback host name"
        elif not self._token_given(request):
            return "access token missing or wrong"
        origin = request.headers.get("Origin")
        if origin is not None and request.path.startswith("/ws"):
            if urlsplit(origin).netloc.lower() != request.headers.get("Host", "").lower():
                return "WebSocket from another origin"
        return None

    @web.middleware
    async def middleware(self, request: web.Request, handler: Handler) -> web.StreamResponse:
        reason = self.refusal(request)
        if reason is not None:
            raise web.HTTPForbidden(text=reason + "\n")
        response = await handler(request)
        if self.token is not None and request.query.get(TOKEN_QUERY) is not None:
            # The query token was right: later requests of this page may carry the cookie instead.
            if response.prepared:
                return response
            response.set_cookie(
                TOKEN_COOKIE, self.token, httponly=True, samesite="Strict", path="/"
            )
        return response
