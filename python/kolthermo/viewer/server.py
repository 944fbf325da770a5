"""The viewer's web server: the page, its files and one WebSocket per page.

Frames go out as binary messages (frames.py), newest first: each page may
have at most ``FRAMES_IN_FLIGHT`` frames sent and not yet drawn (the page
acknowledges each one after drawing it); a frame that arrives while a page
is at that limit replaces the one waiting for it, so a slow browser sees
fewer frames, never older ones. Everything else travels as JSON text.
"""

from __future__ import annotations

import asyncio
import json
import signal
import socket
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Awaitable, Optional, Set

from aiohttp import WSMsgType, web

from .. import thermography as thermo
from ..errors import KolThermoError
from . import settings as view_settings
from .access import Access, is_loopback, new_token
from .captures import Captures
from .live import LiveCamera

STATIC = Path(__file__).resolve().parent / "static"
FRAMES_IN_FLIGHT = 2
DEFAULT_PORT = 8642


@dataclass
class ViewerOptions:
    host: str = "127.0.0.1"
    port: int = DEFAULT_PORT
    output: Optional[Path] = None  # None: captures.default_folder()
    table: Optional[str] = None
    slot: int = 0


class Client:
    """One page's WebSocket and what is waiting to be sent to it (the loop's thread only)."""

    def __init__(self, ws: web.WebSocketResponse) -> None:
        self.ws = ws
        self.credit = FRAMES_IN_FLIGHT
        self.pending: Optional[bytes] = None
        self.wake = asyncio.Event()

    def offer(self, message: bytes) -> None:
        self.pending = message
        self.wake.set()

    def acknowledged(self) -> None:
        self.credit = min(FRAMES_IN_FLIGHT, self.credit + 1)
        self.wake.set()

    async def send_frames(self) -> None:
        while not self.ws.closed:
            await self.wake.wait()
            self.wake.clear()
            if self.pending is not None and self.credit > 0:
                message, self.pending = self.pending, None
                self.credit -= 1
                await _quietly(self.ws.send_bytes(message))


async def _quietly(sending: Awaitable[None]) -> None:
    """Sends to a page that may have gone: a closed connection ends its handler anyway."""
    try:
        await sending
    except (ConnectionError, RuntimeError):
        pass


class Viewer:
    def __init__(self, options: ViewerOptions, output: Path) -> None:
        self.options = options
        self.settings = view_settings.ViewSettings()
        self.captures = Captures(output)
        self.clients: Set[Client] = set()
        self.camera = LiveCamera(
            options.slot, options.table, self.settings, self.captures, self.publish, self.announce
        )
        self.camera.watched = lambda: bool(self.clients)

    # ---- to the pages -----------------------------------------------------

    def publish(self, message: bytes) -> None:
        for client in self.clients:
            client.offer(message)

    def _send_all(self, payload: dict) -> None:
        text = json.dumps(payload)
        for client in self.clients:
            if not client.ws.closed:
                asyncio.ensure_future(_quietly(client.ws.send_str(text)))

    def status(self) -> dict:
        camera = self.camera
        return {
            "type": "status",
            "state": camera.state,
            "event": camera.last_event,
            "slot": camera.slot,
            "cameras": camera.cameras(),
            "recording": self.captures.recording,
        }

    def announce(self) -> None:
        self._send_all(self.status())

    def hello(self) -> dict:
        return {
            "type": "hello",
            "width": self.camera.width,
            "height": self.camera.height,
            "simulated": self.camera.simulated,
            "output": str(self.captures.folder),
            "palettes": {
                name: thermo.palette_colors(name).tolist() for name in thermo.palette_names()
            },
            "settings": self.settings.as_json(),
        }

    # ---- from the pages ---------------------------------------------------

    def handle(self, client: Client, request: Any) -> Optional[dict]:
        """Carries out one request of a page; returns the reply to that page, if any."""
        if not isinstance(request, dict):
            raise ValueError("a request is a JSON object")
        kind = request.get("type")
        camera = self.camera
        if kind == "ack":
            client.acknowledged()
            return None
        if kind == "settings":
            view_settings.apply(self.settings, request, camera.width, camera.height)
            self._send_all({"type": "settings", "settings": self.settings.as_json()})
            return None
        if kind == "snapshot":
            return {"type": "result", "what": "snapshot", "files": camera.snapshot()}
        if kind == "record":
            text = camera.record(bool(request.get("on")))
            self.announce()
            return {"type": "result", "what": "record", "text": text}
        if kind == "select":
            slot = request.get("slot")
            if not isinstance(slot, int) or isinstance(slot, bool):
                raise ValueError("slot must be a whole number")
            camera.select(slot)
            self.announce()
            return None
        if kind == "sim":
            celsius = request.get("celsius")
            if celsius is not None:
                celsius = view_settings._number(celsius, "celsius", -40.0, 250.0)
            camera.simulate(str(request.get("action")), celsius)
            return None
        raise ValueError(f"unknown request {kind!r}")

    async def websocket(self, request: web.Request) -> web.WebSocketResponse:
        ws = web.WebSocketResponse(heartbeat=20.0, max_msg_size=64 * 1024)
        await ws.prepare(request)
        client = Client(ws)
        self.clients.add(client)
        sender = asyncio.ensure_future(client.send_frames())
        try:
            await ws.send_str(json.dumps(self.hello()))
            await ws.send_str(json.dumps(self.status()))
            async for message in ws:
                if message.type != WSMsgType.TEXT:
                    continue
                try:
                    reply = self.handle(client, json.loads(message.data))
                except (ValueError, OSError, KolThermoError) as error:
                    # Refused input, a file not written, the camera refusing a call.
                    reply = {"type": "error", "text": str(error)}
                if reply is not None:
                    await ws.send_str(json.dumps(reply))
        finally:
            self.clients.discard(client)
            client.wake.set()
            sender.cancel()
        return ws

    async def page(self, request: web.Request) -> web.FileResponse:
        return web.FileResponse(STATIC / "index.html", headers={"Cache-Control": "no-store"})

    def app(self, access: Access) -> web.Application:
        app = web.Application(middlewares=[access.middleware])
        app.router.add_get("/", self.page)
        app.router.add_get("/ws", self.websocket)
        app.router.add_static("/static/", STATIC)
        return app

    async def close_pages(self) -> None:
        for client in list(self.clients):
            await client.ws.close()


def page_url(host: str, port: int, token: Optional[str]) -> str:
    if host in ("", "0.0.0.0", "::"):
        host = socket.gethostname()  # listening everywhere: the name others reach us by
    if ":" in host:
        host = f"[{host}]"
    url = f"http://{host}:{port}/"
    return url + (f"?token={token}" if token else "")


async def serve(options: ViewerOptions, output: Path) -> None:
    viewer = Viewer(options, output)
    token = None if is_loopback(options.host) else new_token()
    runner = web.AppRunner(viewer.app(Access(token)), handle_signals=False)
    await runner.setup()
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for signal_number in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(signal_number, stop.set)
    viewer.camera.start()
    try:
        site = web.TCPSite(runner, options.host, options.port)
        await site.start()
        port = runner.addresses[0][1]
        # The first line is the page's URL: scripts and the command-line tool read it.
        print(page_url(options.host, port, token), flush=True)
        print(f"snapshots and recordings go to {viewer.captures.folder}", flush=True)
        await stop.wait()
    finally:
        await viewer.close_pages()
        viewer.camera.close()
        await runner.cleanup()
    print("viewer stopped, camera released", file=sys.stderr, flush=True)


def run(options: ViewerOptions) -> None:
    from .captures import default_folder

    output = options.output if options.output is not None else default_folder()
    asyncio.run(serve(options, output))
