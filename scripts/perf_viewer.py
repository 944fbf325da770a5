#!/usr/bin/env python3
"""Frame to screen in the live viewer: how long a frame takes from the moment
the server saw its frame-ready message to the browser's paint after drawing it.

Starts `kolthermo view --port 0` (the simulated camera at 30 frames per
second), opens the page in headless Chromium, lets it settle, then reads the
page's own measurements (window.viewerStats.latencies: the frame's time stamp
subtracted from the clock in the first animation frame after putImageData)
over FRAMES frames. Writes median, p90 and p99 in ms as JSON.

Usage: scripts/perf_viewer.py --tool build/perf/tools/cli/kolthermo --out viewer.json
                              [--frames 300] [--settle 3]
"""

from __future__ import annotations

import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python" / "browser_tests"))
from headless_chromium import start_chromium  # noqa: E402

TARGET_MEDIAN_MS = 100.0
CAMERA_FPS = 30.0


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def page_stats(driver):
    return driver.execute_script(
        "const s = window.viewerStats; return {frames: s.frames, latencies: s.latencies.slice()};"
    )


def measure(url, frames, settle):
    driver = start_chromium("1400,900")
    try:
        driver.get(url)
        deadline = time.monotonic() + 30 + settle
        while page_stats(driver)["frames"] < 1:
            if time.monotonic() > deadline:
                raise RuntimeError("no frame reached the page")
            time.sleep(0.1)
        time.sleep(settle)  # past the first frames, the page's first layout and JIT warm-up
        start = page_stats(driver)
        started = time.monotonic()
        deadline = started + 10 + 4 * frames / CAMERA_FPS
        while page_stats(driver)["frames"] < start["frames"] + frames:
            if time.monotonic() > deadline:
                break  # report what arrived; the frame rate shows the shortfall
            time.sleep(0.2)
        end = page_stats(driver)
        elapsed = time.monotonic() - started
    finally:
        driver.quit()
    drawn = end["frames"] - start["frames"]
    latencies = end["latencies"][-drawn:] if drawn > 0 else []
    return latencies, drawn / elapsed if elapsed > 0 else 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="the kolthermo command-line tool")
    parser.add_argument("--out", required=True)
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--settle", type=float, default=3.0)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="perf-viewer-") as output:
        server = subprocess.Popen(
            [args.tool, "view", "--port", "0", "--output", output],
            stdout=subprocess.PIPE,
            text=True,
        )
        try:
            url = server.stdout.readline().strip()
            if not url.startswith("http://"):
                sys.exit(f"perf_viewer: kolthermo view printed no URL ({url!r})")
            latencies, fps = measure(url, args.frames, args.settle)
        finally:
            server.terminate()
            server.wait(timeout=30)
    if not latencies:
        sys.exit("perf_viewer: no frames measured")
    result = {
        "frames": len(latencies),
        "frames_per_second": round(fps, 1),
        "camera_frames_per_second": CAMERA_FPS,
        "median_ms": round(statistics.median(latencies), 2),
        "p90_ms": round(percentile(latencies, 0.90), 2),
        "p99_ms": round(percentile(latencies, 0.99), 2),
        "max_ms": round(max(latencies), 2),
        "target_median_ms": TARGET_MEDIAN_MS,
    }
    pathlib.Path(args.out).write_text(json.dumps(result, indent=1) + "\n")
    print(json.dumps(result))


if __name__ == "__main__":
    main()
