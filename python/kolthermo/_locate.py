"""Where the package's shared libraries are loaded from.

In order: the path in the library's environment variable, when set; the copy
bundled with the package in ``kolthermo/_lib`` (as a wheel installs it); the
bare file name, which the system's library search resolves.
"""

from __future__ import annotations

import os

BUNDLE_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "_lib")


def library_location(environment_variable: str, file_name: str) -> str:
    """The path (or bare name) to load ``file_name`` from."""
    chosen = os.environ.get(environment_variable)
    if chosen:
        return chosen
    bundled = os.path.join(BUNDLE_FOLDER, file_name)
    if os.path.isfile(bundled):
        return bundled
    return file_name
