#!/usr/bin/env python3
"""Renders the emissivity trap on the simulated camera into
docs/images/emissivity.png: the default scene's heated panel (60 degrees C)
carries a painted patch (emissivity 0.95) and a polished metal plate (0.10).
Left, the camera's blackbody temperatures: the plate reads near the room.
Right, each surface corrected with its own emissivity: both read 60.

Needs a build with the core library, the table generator and the
thermography library (cmake --build --preset default --target kolthermo
kolthermo-table kolthermo_thermography), numpy and PIL.

Usage: scripts/render-emissivity.py [--build DIR] [--output PNG]
"""
import argparse
import pathlib

from PIL import Image, ImageDraw, ImageFont

from scene_frame import ROOT, camera_frame, use_build
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
ROOM_C = 22.0
# (name, emissivity, (left, top, right, bottom) top row first), as the
# simulated scene places them.
SURFACES = [("painted", 0.95, (288, 14, 328, 54)), ("polished", 0.10, (336, 14, 376, 54))]


def annotated(thermo, frame, title, low, high):
    """The frame in iron over [low, high] with its scale, each surface boxed
    and labelled with the mean of its box."""
    rgb = thermo.colorize(frame, "iron", range=(low, high))
    picture = Image.fromarray(thermo.with_scale_bar(rgb, low, high, "iron"))
    draw = ImageDraw.Draw(picture)
    font = ImageFont.truetype(FONT, 13)
    for name, _, (left, top, right, bottom) in SURFACES:
        stats = thermo.box(frame, left + 4, top + 4, right - left - 8, bottom - top - 8)
        draw.rectangle((left, top, right - 1, bottom - 1), outline=(255, 255, 255))
        draw.text((left, bottom + 2), f"{stats.mean:.1f}", fill=(255, 255, 255), font=font,
                  stroke_width=2, stroke_fill=(0, 0, 0))
    sheet = Image.new("RGB", (picture.width, picture.height + 26), (255, 255, 255))
    ImageDraw.Draw(sheet).text((6, 4), title, fill=(0, 0, 0), font=ImageFont.truetype(FONT, 16))
    sheet.paste(picture, (0, 26))
    return sheet


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build/default"))
    parser.add_argument("--output", default=str(ROOT / "docs/images/emissivity.png"))
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    use_build(build)
    from kolthermo import thermography as thermo

    measured = camera_frame(build)
    corrected = measured.copy()
    for _, emissivity, (left, top, right, bottom) in SURFACES:
        area = measured[top:bottom, left:right]
        corrected[top:bottom, left:right] = thermo.correct(area, emissivity=emissivity,
                                                           reflected=ROOM_C)
    low, high = 0.0, 95.0
    left = annotated(thermo, measured, "as measured (blackbody)", low, high)
    right = annotated(thermo, corrected, "each surface with its emissivity", low, high)
    sheet = Image.new("RGB", (left.width + right.width + 12, left.height), (255, 255, 255))
    sheet.paste(left, (0, 0))
    sheet.paste(right, (left.width + 12, 0))
    pathlib.Path(args.output).parent.mkdir(parents=True, exist_ok=True)
    sheet.save(args.output, optimize=True)
    print(f"render-emissivity: wrote {args.output} ({sheet.width} x {sheet.height})")


if __name__ == "__main__":
    main()
