#!/usr/bin/env python3
"""Takes the screenshot of the live viewer for the documentation: runs
`kolthermo view` on the simulated camera, opens the page in headless
Chromium, places a spot on the mug, a box on the cold pack and a line across
the room, rests the cursor on the mug and saves the window as
docs/images/viewer.png.

Needs a build with the command-line tool (cmake --build --preset default
--target kolthermo-cli), Chromium, chromedriver, Selenium and aiohttp.

Usage: scripts/render-viewer.py [--build DIR] [--output PNG]
"""
import argparse
import pathlib
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python" / "browser_tests"))
from headless_chromium import start_chromium  # noqa: E402

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

ROOT = pathlib.Path(__file__).resolve().parent.parent
WIDTH, HEIGHT = 384, 288
# (tool, frame pixels it is dragged between): the mug, the cold pack, a line
# from the wall through the person to the desk.
TOOLS = [("spot", (299, 197), None), ("box", (24, 28), (83, 75)), ("line", (120, 40), (250, 250))]
CURSOR = (300, 180)


def offset(overlay, x, y):
    """Selenium's offset from the overlay's centre to frame pixel (x, y)."""
    size = overlay.size
    return (
        int((x + 0.5) * size["width"] / WIDTH - size["width"] / 2),
        int((y + 0.5) * size["height"] / HEIGHT - size["height"] / 2),
    )


def wait_for(check, seconds, what):
    deadline = time.monotonic() + seconds
    while not check():
        if time.monotonic() > deadline:
            sys.exit(f"render-viewer: timed out waiting for {what}")
        time.sleep(0.1)


def main():
    parser = argparse.ArgumentParser(description="Screenshot of the live viewer.")
    parser.add_argument("--build", default=str(ROOT / "build" / "default"))
    parser.add_argument("--output", default=str(ROOT / "docs" / "images" / "viewer.png"))
    args = parser.parse_args()
    tool = pathlib.Path(args.build) / "tools" / "cli" / "kolthermo"
    with tempfile.TemporaryDirectory(prefix="render-viewer-") as output:
        server = subprocess.Popen(
            [str(tool), "view", "--port", "0", "--output", output],
            stdout=subprocess.PIPE,
            text=True,
        )
        try:
            url = server.stdout.readline().strip()
            if not url.startswith("http://"):
                sys.exit(f"render-viewer: kolthermo view printed no URL ({url!r})")
            driver = start_chromium("1200,860", "--hide-scrollbars")
            try:
                driver.get(url)
                frames = lambda: driver.execute_script("return window.viewerStats.frames")
                wait_for(lambda: frames() >= 3, 30, "the first frames")
                overlay = driver.find_element(By.ID, "overlay")
                for kind, start, end in TOOLS:
                    driver.find_element(By.ID, f"tool-{kind}").click()
                    actions = ActionChains(driver).move_to_element_with_offset(
                        overlay, *offset(overlay, *start)
                    )
                    if end is None:
                        actions.click()
                    else:
                        actions.click_and_hold().move_to_element_with_offset(
                            overlay, *offset(overlay, *end)
                        ).release()
                    actions.perform()
                    driver.find_element(By.ID, f"tool-{kind}").click()
                    count = len(TOOLS[: TOOLS.index((kind, start, end)) + 1])
                    wait_for(
                        lambda: len(driver.find_elements(By.CSS_SELECTOR, "#tools tr")) == count,
                        10,
                        f"the {kind}",
                    )
                ActionChains(driver).move_to_element_with_offset(
                    overlay, *offset(overlay, *CURSOR)
                ).perform()
                seen = frames()
                wait_for(lambda: frames() >= seen + 5, 10, "frames with the tools")
                driver.save_screenshot(args.output)
            finally:
                driver.quit()
        finally:
            server.terminate()
            server.wait(timeout=30)
    print(f"render-viewer: wrote {args.output}")


if __name__ == "__main__":
    main()
