"""Debian's Chromium without a screen, driven by Selenium: the browser tests,
the viewer's benchmark and its screenshot all start it the same way."""

from __future__ import annotations

import os

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROMIUM = os.environ.get("KOLTHERMO_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("KOLTHERMO_CHROMEDRIVER", "/usr/bin/chromedriver")


def start_chromium(window_size: str = "1400,900", *extra: str) -> webdriver.Chrome:
    """A headless Chromium of the given window size. No sandbox (CI runs as
    root) and no /dev/shm (small in containers)."""
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in (
        "--headless=new",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-dev-shm-usage",
        f"--window-size={window_size}",
        *extra,
    ):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
