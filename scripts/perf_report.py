#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md from one run of every benchmark.

Usage: perf_report.py RESULTS_DIR OUTPUT_MD
RESULTS_DIR holds <bench>.json (Google Benchmark JSON), baselines.json (from
perf_baselines.py), machine.json and, optionally, soak.txt (kolthermo_soak).
"""
import json
import pathlib
import sys

FORMAT_NAMES = {0: "BMP (colour)", 1: "colour pixel dump", 2: "JPEG quality 100",
                3: "JPEG quality 70", 4: "JPEG quality 20", 5: "PNG (colour)",
                6: "TIFF (colour)", 7: "raw pixel dump", 8: "PNG (raw, 16-bit)",
                9: "TIFF (raw, 16-bit)"}
MODE_NAMES = {1: "raw codes", 2: "false-colour AVI", 3: "temperatures"}
# name -> (words, target in microseconds or None)
ROWS = {
    "BM_GetTemperature": ("KolThermo_GetTemperature, end to end", 60.0),
    "BM_GetRaw": ("KolThermo_GetRaw, end to end", None),
    "BM_ConvertToFloat": ("ConvertToFloat: a frame of codes to float temperatures", 30.0),
    "BM_ConvertToInt32": ("ConvertToInt32 (interpolated)", 50.0),
    "BM_ConvertToUInt8": ("ConvertToUInt8 (interpolated)", 50.0),
    "BM_ConvertToInt8": ("ConvertToInt8 (interpolated)", 50.0),
    "BM_InterpolateFrameFromSnapshot": ("Interpolate every pixel from a table snapshot", 50.0),
    "BM_LoadHeaderless16384": ("Load and prepare a 16384-point table", 20000.0),
    "BM_Compensate16384": ("Drift compensation of 16384 points", 20000.0),
    "BM_MapFrameFollowingScene": ("False colour, window following the scene", None),
    "BM_MapFrameFixedWindow": ("False colour, fixed window", None),
    "BM_MapFrameDirect": ("False colour, direct mapping", None),
    "BM_MemcpyFrame": ("memcpy of one frame (reference)", None),
    "BM_SimFrameRead": ("Simulated camera: render and read one frame", None),
}


def load(directory, name):
    path = directory / f"{name}.json"
    if not path.exists():
        return []
    return json.loads(path.read_text()).get("benchmarks", [])


def micros(entry):
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry.get("time_unit", "ns")]
    return entry["cpu_time"] * scale, entry["real_time"] * scale


def main():
    results = pathlib.Path(sys.argv[1])
    output = pathlib.Path(sys.argv[2])
    machine = json.loads((results / "machine.json").read_text())
    baselines = json.loads((results / "baselines.json").read_text())
    benches = {}
    for path in sorted(results.glob("kolthermo_*_bench.json")):
        for entry in load(results, path.stem):
            if entry.get("run_type", "iteration") == "iteration":
                benches[entry["name"]] = entry

    lines = ["# Performance", "",
             "Written by `scripts/perf-report.sh`: every figure below comes from one run on one "
             "machine. Reproduce with `scripts/perf-report.sh` on any Debian 12 machine "
             "(`--quick` for a shorter, noisier run, `--with-soak` to add the ten-minute soak).", "",
             "## Machine", "",
             f"- CPU: {machine['cpu']} ({machine['cores']} cores), memory {machine['memory']}",
             f"- {machine['kernel']}; {machine['compiler']}; Release build",
             f"- run on {machine['date']}"
             f"{' with --quick (short repetitions)' if machine.get('quick') else ''}, load average "
             f"at the start {machine['load']} (the machine is shared: CPU times are steadier than "
             "wall times)", "",
             "## Frames and temperatures (one 384 x 288 frame)", "",
             "| What | CPU µs | Target |", "|---|---:|---:|"]
    for name, (words, target) in ROWS.items():
        if name in benches:
            cpu, _ = micros(benches[name])
            goal = f"≤ {target:g}" if target else ""
            lines.append(f"| {words} | {cpu:.1f} | {goal} |")

    lines += ["", "## Stills: our save next to the bare library call", "",
              "Same pixels, same settings, same file system; the ratio is our CPU time over the "
              "bare encoder's (target: at most 1.10).", "",
              "| Format | Ours µs | Bare µs | Ratio |", "|---|---:|---:|---:|"]
    for number, words in FORMAT_NAMES.items():
        ours = benches.get(f"BM_SaveImageFile/{number}")
        bare = benches.get(f"BM_BareEncoder/{number}")
        if ours and bare:
            o, _ = micros(ours)
            b, _ = micros(bare)
            lines.append(f"| {number} {words} | {o:.0f} | {b:.0f} | {o / b:.2f} |")

    lines += ["", "## Recording (per frame; 60 frames per second leave 16 667 µs)", "",
              "| Mode | CPU µs | Wall µs | Share of the 60 fps budget |", "|---|---:|---:|---:|"]
    for mode, words in MODE_NAMES.items():
        entry = benches.get(f"BM_WriteRecordingFrame/mode:{mode}/real_time")
        if entry:
            cpu, wall = micros(entry)
            lines.append(f"| {mode} {words} | {cpu:.0f} | {wall:.0f} | {wall / 16667 * 100:.1f} % |")

    lines += ["", "## Against what a user would write instead", "",
              "Same kind of frame (384 x 288 codes of a room scene with noise); the baselines are "
              "timed in Python around the library call (`scripts/perf_baselines.py`, median).", "",
              "| Task | KolThermo µs | Instead | µs | Ratio (ours / instead) |",
              "|---|---:|---|---:|---:|"]
    colour = benches.get("BM_MapFrameFollowingScene")
    if colour and baselines.get("opencv_false_colour_us"):
        ours, _ = micros(colour)
        other = baselines["opencv_false_colour_us"]
        lines.append(f"| False colour | {ours:.1f} | OpenCV {baselines.get('opencv_version', '')} "
                     f"normalize + applyColorMap | {other:.1f} | {ours / other:.2f} |")
    temps = benches.get("BM_ConvertToFloat")
    if temps and baselines.get("numpy_lut_us"):
        ours, _ = micros(temps)
        other = baselines["numpy_lut_us"]
        lines.append(f"| Temperatures | {ours:.1f} | numpy {baselines.get('numpy_version', '')} "
                     f"65536-entry lookup table | {other:.1f} | {ours / other:.2f} |")
    lines += ["", "The bare encoders are in the stills table above.", "", "## Soak", ""]
    soak = results / "soak.txt"
    if soak.exists():
        summary = [l for l in soak.read_text().splitlines() if l.startswith("soak: ") and "frames " in l
                   or "resident memory first" in l or "NUC holds" in l or "split files" in l
                   or l.endswith("PASSED") or l.endswith("FAILED")]
        lines += ["```"] + summary[-6:] + ["```"]
    else:
        lines += ["Not part of this run: `build/perf/tests/soak/kolthermo_soak --seconds 600 > "
                  "build/perf/results/soak.txt`, then run the report again with `--report-only`."]
    output.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
