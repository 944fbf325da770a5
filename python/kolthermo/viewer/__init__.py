"""The live viewer: a local web page that shows a camera live.

``python3 -m kolthermo.viewer`` (or ``kolthermo view``) serves the page with
aiohttp; frames travel to the browser over a WebSocket as binary messages.
See docs/VIEWER.md.
"""

from .server import ViewerOptions, run

__all__ = ["ViewerOptions", "run"]
