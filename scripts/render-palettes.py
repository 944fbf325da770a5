#!/usr/bin/env python3
"""Renders the six palettes side by side, each with its colour scale, from one
frame of the simulated camera, into docs/images/palettes.png.

Needs a build with the core library, the table generator and the
thermography library (cmake --build --preset default --target kolthermo
kolthermo-table kolthermo_thermography), numpy and PIL.

Usage: scripts/render-palettes.py [--build DIR] [--output PNG]
"""
import argparse
import ctypes
import os
import pathlib
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageDraw, ImageFont

ROOT = pathlib.Path(__file__).resolve().parent.parent
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


class ColorOptions(ctypes.Structure):
    _fields_ = [("palette", ctypes.c_int), ("range", ctypes.c_int),
                ("low_c", ctypes.c_float), ("high_c", ctypes.c_float),
                ("isotherm", ctypes.c_int),
                ("iso_low_c", ctypes.c_float), ("iso_high_c", ctypes.c_float),
                ("iso_rgb", ctypes.c_ubyte * 3)]


def camera_frame(build):
    """One frame of temperatures of the simulated camera's default scene, top row first."""
    os.environ["KOLTHERMO_LIBRARY"] = str(build / "libkolthermo.so.1")
    sys.path.insert(0, str(ROOT / "python"))
    import kolthermo  # noqa: E402 (the library path must be set first)

    with tempfile.TemporaryDirectory() as folder:
        table = pathlib.Path(folder) / "table4000.bin"
        subprocess.run([str(build / "tools/table_generator/kolthermo-table"), "--layout", "4000",
                        "--output", str(table)], check=True)
        with kolthermo.Camera() as camera:
            camera.nuc_hold_ms = 0
            camera.load_table(str(table))
            camera.preview()
            for _ in range(10):  # let the first frames after the table load pass
                frame_id = camera.wait_frame(5.0)
            frame = camera.temperature(frame_id)
    # The library hands frames over bottom row first, like its bitmaps.
    return np.ascontiguousarray(frame[::-1])


def panel(lib, frame, palette):
    height, width = frame.shape
    options = ColorOptions(palette=palette, range=0)
    rgb = np.empty((height, width, 3), dtype=np.uint8)
    low, high = ctypes.c_float(), ctypes.c_float()
    pointer = ctypes.POINTER
    code = lib.KolThermoColorize(frame.ctypes.data_as(pointer(ctypes.c_float)), width, height,
                                 ctypes.byref(options), rgb.ctypes.data_as(pointer(ctypes.c_ubyte)),
                                 ctypes.byref(low), ctypes.byref(high))
    if code != 0:
        raise RuntimeError(f"KolThermoColorize returned {code}")
    bar = lib.KolThermoScaleBarWidth(height)
    out = np.empty((height, width + bar, 3), dtype=np.uint8)
    code = lib.KolThermoDrawWithScaleBar(rgb.ctypes.data_as(pointer(ctypes.c_ubyte)), width,
                                         height, palette, low, high, None,
                                         out.ctypes.data_as(pointer(ctypes.c_ubyte)))
    if code != 0:
        raise RuntimeError(f"KolThermoDrawWithScaleBar returned {code}")
    return Image.fromarray(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build/default"))
    parser.add_argument("--output", default=str(ROOT / "docs/images/palettes.png"))
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()

    lib = ctypes.CDLL(str(build / "thermography/libkolthermo_thermography.so.1"))
    lib.KolThermoPaletteName.restype = ctypes.c_char_p
    frame = camera_frame(build)
    panels = [(lib.KolThermoPaletteName(p).decode(), panel(lib, frame, p)) for p in range(6)]

    caption = 28
    columns, rows = 3, 2
    cell_w, cell_h = panels[0][1].width, panels[0][1].height + caption
    sheet = Image.new("RGB", (columns * cell_w, rows * cell_h), (255, 255, 255))
    draw = ImageDraw.Draw(sheet)
    font = ImageFont.truetype(FONT, 18)
    for i, (name, image) in enumerate(panels):
        x, y = (i % columns) * cell_w, (i // columns) * cell_h
        draw.text((x + 8, y + 4), name, fill=(0, 0, 0), font=font)
        sheet.paste(image, (x, y + caption))
    pathlib.Path(args.output).parent.mkdir(parents=True, exist_ok=True)
    sheet.save(args.output, optimize=True)
    print(f"render-palettes: wrote {args.output} ({sheet.width} x {sheet.height})")


if __name__ == "__main__":
    main()
