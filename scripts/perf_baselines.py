#!/usr/bin/env python3
"""What a user would do instead of the SDK, timed on the same kind of frame.

A 384 x 288 frame of 16-bit codes like the simulated camera's (a smooth room
scene between codes 2000 and 12000 with sensor noise) is
  - false-coloured with OpenCV: normalize to 8 bits, then applyColorMap;
  - turned into temperatures with a numpy lookup table of 65536 float32 entries.
Prints JSON with the median time of each in microseconds.
"""
import json
import sys
import time

import numpy as np


def frame():
    rng = np.random.default_rng(7)
    rows, cols = np.mgrid[0:288, 0:384]
    scene = 2000.0 + 10000.0 * (0.5 + 0.25 * np.sin(cols / 40.0) + 0.25 * np.cos(rows / 30.0))
    return np.clip(scene + rng.normal(0.0, 8.0, scene.shape), 0, 16383).astype(np.uint16)


def median_us(work, repeats):
    work()  # warm up
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        work()
        times.append((time.perf_counter() - start) * 1e6)
    times.sort()
    return times[len(times) // 2]


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 300
    codes = frame()
    lut = (np.arange(65536, dtype=np.float32) * 0.01 - 20.0).astype(np.float32)
    result = {"numpy_lut_us": median_us(lambda: lut[codes], repeats)}
    try:
        import cv2

        def false_colour():
            eight = cv2.normalize(codes, None, 0, 255, cv2.NORM_MINMAX, dtype=cv2.CV_8U)
            return cv2.applyColorMap(eight, cv2.COLORMAP_JET)

        result["opencv_false_colour_us"] = median_us(false_colour, repeats)
        result["opencv_version"] = cv2.__version__
    except ImportError:
        result["opencv_false_colour_us"] = None
    result["numpy_version"] = np.__version__
    print(json.dumps(result))


if __name__ == "__main__":
    main()
