#!/usr/bin/env python3
"""Renders the six palettes side by side, each with its colour scale, from one
frame of the simulated camera, into docs/images/palettes.png.

Needs a build with the core library, the table generator and the
thermography library (cmake --build --preset default --target kolthermo
kolthermo-table kolthermo_thermography), numpy and PIL.

Usage: scripts/render-palettes.py [--build DIR] [--output PNG]
"""
import argparse
import pathlib

from PIL import Image, ImageDraw, ImageFont

from scene_frame import ROOT, camera_frame, use_build

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def panel(thermo, frame, palette):
    """The frame in `palette` over its own range, with the colour scale beside it."""
    rgb, (low, high) = thermo.colorize(frame, palette, "auto", return_range=True)
    return Image.fromarray(thermo.with_scale_bar(rgb, low, high, palette))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build/default"))
    parser.add_argument("--output", default=str(ROOT / "docs/images/palettes.png"))
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()

    use_build(build)
    from kolthermo import thermography as thermo

    frame = camera_frame(build)
    panels = [(name, panel(thermo, frame, name)) for name in thermo.palette_names()]

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
