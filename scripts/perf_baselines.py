#!/usr/bin/env python3
"""What a user would do instead of the SDK, timed on the same kind of frame.

The frame is generated here rather than dumped from the library, so that the
baselines run without a build: 384 x 288 16-bit codes like the simulated
camera's, a smooth room scene between codes 2000 and 12000 with sensor noise.
The baselines do the same work whatever the codes are (a min/max pass, a
scale and a 256-entry colour lookup; one 65536-entry gather), so the scene only
has to have the camera's size, type and range.

  (a) false colour with OpenCV: cv2.normalize to 8 bits, then
      cv2.applyColorMap, against our colour mapping that follows the scene
      (it re-ranges every frame as NORM_MINMAX does);
  (b) temperatures with numpy: lut[frame] with a 65536-entry float32 table,
      against ConvertToFloat and the end-to-end KolThermo_GetTemperature;
  (c) the bare encoders: our SaveImageFile over the bare library calls of the
      save benchmark, per format;
  (d) false colour from float temperatures with OpenCV: min/max normalise to
      8 bits and cv2.applyColorMap, against KolThermoColorize with the
      automatic range; cv2.equalizeHist before the colour map, against its
      histogram equalisation;
  (e) a float temperature TIFF with tifffile.imwrite, against
      KolThermoWriteCelsiusTiff (a new file each time for both);
  (f) thermography with numpy on a float32 temperature frame like the
      thermography benchmark's: the object correction as the vectorised
      formula with np.interp on a band-radiance table, and the statistics of
      the whole frame as min, max, argmin, argmax, mean and std in float64
      (-999.0 masked out).

Each baseline is timed with time.perf_counter around one call, many times; the
median is kept. With --results, our figures are read from the Google Benchmark
JSON files in that folder and the ratios (ours / baseline) are added.

Usage: perf_baselines.py [--repeats N] [--results DIR]   (JSON on stdout)
"""
import argparse
import json
import statistics
import sys
import time

import numpy as np

# Reads the benchmark JSON as the report does; no __pycache__ in the tree.
sys.dont_write_bytecode = True
import perf_report  # noqa: E402

WIDTH, HEIGHT = 384, 288


def make_frame():
    """A smooth scene of codes 2000..12000 plus Gaussian noise, as uint16."""
    rng = np.random.default_rng(7)
    rows, cols = np.mgrid[0:HEIGHT, 0:WIDTH]
    scene = 2000.0 + 10000.0 * (0.5 + 0.25 * np.sin(cols / 40.0) + 0.25 * np.cos(rows / 30.0))
    return np.clip(scene + rng.normal(0.0, 8.0, scene.shape), 0, 16383).astype(np.uint16)


def make_celsius_frame():
    """A room of 20..25 degrees with noise, a person at 34 and a hot object at 85, float32."""
    rng = np.random.default_rng(7)
    rows, cols = np.mgrid[0:HEIGHT, 0:WIDTH]
    scene = 20.0 + 5.0 * cols / WIDTH
    scene[81:260, 151:230] = 34.0
    scene[41:70, 301:340] = 85.0
    return (scene + rng.normal(0.0, 0.05, scene.shape)).astype(np.float32)


def make_temperatures():
    """A 20..30 C room with an 80 C object and noise, float32, as the
    thermography benchmark's."""
    rng = np.random.default_rng(5)
    rows, cols = np.mgrid[0:HEIGHT, 0:WIDTH]
    celsius = 20.0 + 10.0 * cols / WIDTH
    celsius[(rows > 80) & (rows < 260) & (cols > 150) & (cols < 230)] = 80.0
    return (celsius + rng.normal(0.0, 0.08, celsius.shape)).astype(np.float32)


def band_radiance(celsius):
    """Planck's law over 8..14 um (64-point Gauss-Legendre), W m^-2 sr^-1."""
    nodes, weights = np.polynomial.legendre.leggauss(64)
    um, weights = 11.0 + 3.0 * nodes, 3.0 * weights
    kelvin = np.asarray(celsius, dtype=np.float64)[..., None] + 273.15
    return (weights * 1.191042972397188e8 / (um**5 * np.expm1(1.438776877503934e4 / (um * kelvin)))
            ).sum(-1)


def numpy_thermography(repeats):
    """Median µs of the object correction and of the whole-frame statistics."""
    frame = make_temperatures()
    grid = np.arange(-100.0, 500.5, 0.5)
    radiance = band_radiance(grid)
    emissivity, reflected = 0.9, (1.0 - 0.9) * band_radiance(20.0)

    def correct():
        seen = np.interp(frame, grid, radiance)
        return np.interp((seen - reflected) / emissivity, radiance, grid).astype(np.float32)

    def statistics():
        values = frame[frame != -999.0].astype(np.float64)
        return (values.min(), values.max(), values.argmin(), values.argmax(), values.mean(),
                values.std())

    return median_us(correct, repeats), median_us(statistics, repeats)


def median_us(work, repeats):
    """Median wall time of one call of work(), in microseconds."""
    for _ in range(3):  # warm caches and lazy initialisation
        work()
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        work()
        times.append((time.perf_counter() - start) * 1e6)
    return statistics.median(times)


def our_figures(results):
    """Benchmark name -> (microseconds on the clock the benchmark asks for,
    coefficient of variation over the repetitions or None)."""
    figures = {}
    for _, entries in perf_report.load_benchmarks(results).values():
        for name, entry in entries.items():
            if not entry.get("error_occurred"):
                figures[name] = (perf_report.measure_us(entry)[0], entry.get("spread"))
    return figures


def ratio(ours, baseline):
    if ours is None or not baseline:
        return None
    return ours / baseline


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=300)
    parser.add_argument("--results", help="folder of the benchmark JSON files")
    args = parser.parse_args()
    if args.repeats < 1:
        parser.error("--repeats must be at least 1")

    codes = make_frame()
    lut = (np.arange(65536, dtype=np.float32) * 0.01 - 20.0).astype(np.float32)
    out = {
        "frame": {"width": WIDTH, "height": HEIGHT, "dtype": "uint16",
                  "min": int(codes.min()), "max": int(codes.max()),
                  "source": "generated: smooth scene 2000..12000 with noise"},
        "repeats": args.repeats,
        "python": sys.version.split()[0],
        "numpy_version": np.__version__,
        "numpy_lut_us": median_us(lambda: lut[codes], args.repeats),
        "opencv_version": None,
        "opencv_false_colour_us": None,
        "opencv_celsius_colour_us": None,
        "opencv_celsius_equalised_us": None,
    }
    out["numpy_correction_us"], out["numpy_statistics_us"] = numpy_thermography(args.repeats)
    try:
        import cv2

        def false_colour():
            eight = cv2.normalize(codes, None, 0, 255, cv2.NORM_MINMAX, dtype=cv2.CV_8U)
            return cv2.applyColorMap(eight, cv2.COLORMAP_JET)

        out["opencv_version"] = cv2.__version__
        out["opencv_threads"] = cv2.getNumThreads()
        out["opencv_false_colour_us"] = median_us(false_colour, args.repeats)

        celsius = make_celsius_frame()

        def celsius_colour():
            eight = cv2.normalize(celsius, None, 0, 255, cv2.NORM_MINMAX, dtype=cv2.CV_8U)
            return cv2.applyColorMap(eight, cv2.COLORMAP_INFERNO)

        def celsius_equalised():
            eight = cv2.normalize(celsius, None, 0, 255, cv2.NORM_MINMAX, dtype=cv2.CV_8U)
            return cv2.applyColorMap(cv2.equalizeHist(eight), cv2.COLORMAP_INFERNO)

        out["opencv_celsius_colour_us"] = median_us(celsius_colour, args.repeats)
        out["opencv_celsius_equalised_us"] = median_us(celsius_equalised, args.repeats)
    except ImportError:
        print("perf_baselines: no OpenCV (python3-opencv); false colour skipped", file=sys.stderr)

    out["tifffile_version"] = None
    out["tifffile_write_us"] = None
    try:
        import os
        import tempfile

        import tifffile

        celsius = (codes.astype(np.float32) * 0.01 - 20.0).astype(np.float32)
        path = os.path.join(tempfile.gettempdir(), "kolthermo_baseline_celsius.tif")

        def write_tiff():
            # A new file each time, as the SDK writes one (see its benchmark).
            if os.path.exists(path):
                os.remove(path)
            tifffile.imwrite(path, celsius)

        out["tifffile_version"] = tifffile.__version__
        out["tifffile_write_us"] = median_us(write_tiff, args.repeats)
        os.remove(path)
    except ImportError:
        print("perf_baselines: no tifffile (python3-tifffile); TIFF write skipped", file=sys.stderr)

    if args.results:
        ours = our_figures(args.results)

        def mine(name):
            return ours.get(name, (None, None))[0]

        def compare(task, name, baseline, baseline_us):
            return {"task": task, "ours": name, "ours_us": mine(name), "baseline": baseline,
                    "baseline_us": baseline_us, "ratio": ratio(mine(name), baseline_us)}

        out["comparisons"] = [
            compare("false colour", "BM_MapFrameFollowingScene",
                    "OpenCV normalize + applyColorMap", out["opencv_false_colour_us"]),
            compare("temperatures", "BM_ConvertToFloat", "numpy lut[frame]", out["numpy_lut_us"]),
            compare("temperatures, end to end", "BM_GetTemperature", "numpy lut[frame]",
                    out["numpy_lut_us"]),
            compare("palette, automatic range", "BM_ColorizeAuto",
                    "OpenCV normalize + applyColorMap (float °C)",
                    out["opencv_celsius_colour_us"]),
            compare("palette, histogram equalisation", "BM_ColorizeHistogram",
                    "OpenCV normalize + equalizeHist + applyColorMap",
                    out["opencv_celsius_equalised_us"]),
            compare("float °C TIFF of a frame", "BM_WriteCelsiusTiff/real_time",
                    "tifffile.imwrite of the float32 array", out["tifffile_write_us"]),
            compare("object correction", "BM_ObjectTemperaturesFrame",
                    "numpy: np.interp to radiance, formula, np.interp back",
                    out["numpy_correction_us"]),
            compare("box statistics, whole frame", "BM_BoxStatisticsFrame",
                    "numpy: min, max, argmin, argmax, mean, std (float64)",
                    out["numpy_statistics_us"]),
        ]
        encoders = []
        for number in range(10):
            ours_us, ours_spread = ours.get(f"BM_SaveImageFile/{number}", (None, None))
            bare_us, bare_spread = ours.get(f"BM_BareEncoder/{number}", (None, None))
            encoders.append({"format": number, "ours_us": ours_us, "ours_spread": ours_spread,
                             "bare_us": bare_us, "bare_spread": bare_spread,
                             "ratio": ratio(ours_us, bare_us)})
        out["encoders"] = encoders
    json.dump(out, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
