"""Fixtures of the viewer's browser tests: viewers started through the
command-line tool and headless Chromium driven by Selenium."""

from __future__ import annotations

import os
import subprocess
import time
import urllib.error
import urllib.request
from pathlib import Path
from typing import Callable, Iterator, List, Optional, TypeVar

import pytest
from selenium import webdriver

from headless_chromium import start_chromium

# Wait limits are written for a quiet native run and stretched by the run's time scale.
TIME_SCALE = max(1.0, float(os.environ.get("KOLTHERMO_TEST_TIME_SCALE", "1") or 1))

T = TypeVar("T")


def limit(seconds: float) -> float:
    return seconds * TIME_SCALE


def wait_for(check: Callable[[], Optional[T]], seconds: float, what: str) -> T:
    """Polls ``check`` until it returns something truthy; fails after ``limit(seconds)``."""
    deadline = time.monotonic() + limit(seconds)
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


class Viewer:
    """A ``kolthermo view`` process; ``url`` is the first line it printed."""

    def __init__(self, args: List[str], output: Path) -> None:
        tool = os.environ.get("KOLTHERMO_CLI")
        assert tool, "KOLTHERMO_CLI must name the built kolthermo tool"
        self.output = output
        self.process = subprocess.Popen(
            [tool, "view", "--port", "0", "--output", str(output), *args],
            stdout=subprocess.PIPE,
            text=True,
        )
        assert self.process.stdout is not None
        # The tool prints the URL once the server listens; a dead server gives "".
        self.url = self.process.stdout.readline().strip()
        assert self.url.startswith("http://"), f"no URL from kolthermo view: {self.url!r}"
        self.port = int(self.url.split(":")[2].split("/")[0])

    def local(self, path: str = "/") -> str:
        """``path`` on this viewer, reached through loopback."""
        return f"http://127.0.0.1:{self.port}{path}"

    def status_of(self, url: str, headers: Optional[dict] = None) -> int:
        request = urllib.request.Request(url, headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=limit(10)) as response:
                return response.status
        except urllib.error.HTTPError as error:
            return error.code

    def stop(self) -> int:
        self.process.terminate()
        try:
            return self.process.wait(timeout=limit(20))
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()


@pytest.fixture(scope="module")
def start_viewer(tmp_path_factory) -> Iterator[Callable[..., Viewer]]:
    started: List[Viewer] = []

    def start(*args: str) -> Viewer:
        viewer = Viewer(list(args), tmp_path_factory.mktemp("viewer-output"))
        started.append(viewer)
        return viewer

    yield start
    for viewer in started:
        viewer.stop()


@pytest.fixture(scope="module")
def viewer(start_viewer) -> Viewer:
    """A viewer on loopback, started through the command-line tool."""
    return start_viewer()


@pytest.fixture(scope="module")
def browser() -> Iterator[webdriver.Chrome]:
    driver = start_chromium()
    try:
        yield driver
    finally:
        driver.quit()
