#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md from one run of every benchmark.

  perf_report.py machine OUT_JSON [--build DIR] [--quick]
      records the machine the run happens on (call it just before the
      benchmarks, so the load average is the one they meet);
  perf_report.py report RESULTS_DIR OUT_MD [--soak FILE]
      writes the report from RESULTS_DIR: <bench>.json (Google Benchmark
      JSON), baselines.json (perf_baselines.py), machine.json and, when it
      exists, the soak output FILE (default build/perf/soak.txt).
"""
import argparse
import collections
import datetime
import json
import math
import os
import pathlib
import platform
import re
import subprocess
import sys

BUDGET_60_FPS_US = 1e6 / 60.0
SAVE_OVERHEAD_LIMIT = 0.10

# A target relative to another row of the same area: at most `factor` times
# that row's figure; `words` name the other row in the target column.
RelativeTarget = collections.namedtuple("RelativeTarget", "row factor words")
LOOP_SLACK_US = 1000.0

# Areas in report order: (title, benchmark program, note, rows). A row is
# (benchmark name, words a user understands, target in microseconds, a
# RelativeTarget, or None).
AREAS = [
    ("Taking a frame from the stream", "kolthermo_device_bench",
     "WaitFrame + CopyFrame of one 384 x 288 16-bit frame (221 KiB) through the driver layer.",
     [("BM_WaitAndCopyFrame/manual_time", "WaitFrame + CopyFrame, a frame already waiting", None),
      ("BM_WaitAndCopyFrameFreeRunning/real_time",
       "WaitFrame + CopyFrame while the stream thread refills the ring", None),
      ("BM_MemcpyFrame/real_time", "memcpy of the same bytes (reference)", None)]),
    ("Frames and temperatures through the C interface", "kolthermo_frame_fetch_bench",
     "Instance lookup, frame search under the frame lock, then the copy or the conversion.",
     [("BM_GetTemperature", "KolThermo_GetTemperature, one frame end to end", 60.0),
      ("BM_GetRaw", "KolThermo_GetRaw, one frame end to end", None)]),
    ("Temperature conversion and tables", "kolthermo_thermal_bench",
     "One 384 x 288 frame against a 16384-point table.",
     [("BM_ConvertToFloat", "Codes to float temperatures (ConvertToFloat, lookup)", 30.0),
      ("BM_ConvertToInt32", "Codes to int32 temperatures (interpolated)", 50.0),
      ("BM_ConvertToUInt8", "Codes to uint8 temperatures (interpolated)", 50.0),
      ("BM_ConvertToInt8", "Codes to int8 temperatures (interpolated)", 50.0),
      ("BM_InterpolateFrameFromSnapshot",
       "Interpolate every pixel from a table snapshot (recording path)", 50.0),
      ("BM_LoadHeaderless16384", "Load and prepare a 16384-point table", 20000.0),
      ("BM_Compensate16384", "Drift compensation of a 16384-point table (Compensate)", 20000.0)]),
    ("False colour", "kolthermo_colour_bench",
     "One 384 x 288 frame of a noisy room scene to 24-bit colour. On processors with AVX-512 "
     "byte permutes (VBMI) every pixel's palette index is computed in single precision and its "
     "three colour bytes looked up in registers, 64 pixels a step; what bounds it is the "
     "permute unit (about a dozen two-vector byte permutes per step), not memory. Without "
     "them each pixel takes one read of the window's cached lookup and about five "
     "instructions to take its code apart and pack its colour (the gather instruction is "
     "slower here than plain loads); a window that follows the scene then also refills the "
     "lookup for the moved window.",
     [("BM_MapFrameFollowingScene", "Window follows the scene every frame (default)", 20.0),
      ("BM_MapFrameFixedWindow", "Fixed window", 20.0),
      ("BM_MapFrameLookupLoops", "Window follows the scene, AVX2 lookup loops (processors "
       "without VBMI)", None),
      ("BM_MapFramePlainLoops", "Window follows the scene, plain loops (no vector unit; "
       "the Windows DLLs)", None),
      ("BM_MapFrameDirect", "Every pixel computed one by one, no lookup (reference)", None),
      ("BM_CopyColourFrameBytes", "memcpy of the picture's 331,776 bytes (floor)", None)]),
    ("Live display", "kolthermo_display_bench",
     "Off Windows the window is the display substitute, so the blit is a memory copy.",
     [("BM_DrawFrameSized/0", "Draw into a frame-sized window, rows flipped (order 0)",
       RelativeTarget("BM_DrawFrameSized/1", 1.5, "the plain copy")),
      ("BM_DrawFrameSized/1", "Draw into a frame-sized window, plain copy (order 1)", None),
      ("BM_DrawDoubleSize/0", "Draw into a double-size window, rows flipped (order 0)", 150.0),
      ("BM_DrawDoubleSize/1", "Draw into a double-size window, plain copy (order 1)", 150.0),
      ("BM_ResampleDoubleSize", "Nearest-neighbour resample to double size alone", None)]),
    ("Capture path", "kolthermo_capture_bench",
     "The capture loop's work for one frame the simulated camera has ready, as the time "
     "its own thread spends: copy into the ring, colour map, rate count, display (no "
     "window attached), recording (none running) and the frame-ready message. The wait "
     "for the frame and the simulated camera's rendering, on its own thread, are left out. "
     "Most of it is the colour map (the false-colour rows above).",
     [("BM_PublishFrame/manual_time", "Publish one frame (capture thread's CPU time)",
       100.0)]),
    ("Thermography", "kolthermo_thermography_bench",
     "One 384 x 288 temperature frame (a 20..30 °C room with an 80 °C object and noise) "
     "through the companion library's C functions.",
     [("BM_ObjectTemperaturesFrame",
       "Object correction of the frame (emissivity 0.9; its table cached)", 50.0),
      ("BM_BoxStatisticsFrame",
       "Box statistics over the whole frame (min, max and where, mean, stddev)", 20.0)]),
    ("Simulated camera", "kolthermo_sim_bench",
     "Render, noise, fixed pattern and copy of one frame; 240 fps would leave 4167 µs.",
     [("BM_SimFrameRead", "Simulated camera: produce and read one frame", None)]),
    ("Radiometric files", "kolthermo_thermography_files_bench",
     "One 384 x 288 frame with its metadata, written over the previous file in the temporary "
     "directory (wall time, the file system included); recording pages into a BigTIFF. The "
     "16 x 16 pages show that a page costs the same after 20000 pages as after none.",
     [("BM_WriteCelsiusTiff/real_time", "Float °C TIFF (KolThermoWriteCelsiusTiff)", 2000.0),
      ("BM_WriteRaw16Tiff/real_time", "Raw 16-bit TIFF (KolThermoWriteRaw16Tiff)", None),
      ("BM_WriteCelsiusCsv/real_time", "CSV (KolThermoWriteCelsiusCsv)", None),
      ("BM_RecordingAddPage/real_time",
       "Recording: one page of a whole frame (60 fps with margin)", BUDGET_60_FPS_US / 2),
      ("BM_RecordingAddSmallPage/pages_before:0/iterations:2000/real_time",
       "Recording: a 16 x 16 page, the file empty", None),
      ("BM_RecordingAddSmallPage/pages_before:20000/iterations:2000/real_time",
       "Recording: a 16 x 16 page after 20000 pages", None)]),
    ("Palettes and colour scale", "kolthermo_thermography_palette_bench",
     "One 384 x 288 frame of temperatures to 24-bit colour through the thermography library.",
     [("BM_ColorizeAuto", "Iron, range from the frame's minimum to maximum", 60.0),
      ("BM_ColorizeHistogram", "Iron, histogram equalisation", 150.0),
      ("BM_ColorizeManualIsotherm", "Iron, manual range with an isotherm", None),
      ("BM_DrawWithScaleBar", "Colour scale with FreeType labels beside the picture", None)]),
]
FORMAT_NAMES = {0: "BMP (colour)", 1: "colour pixel dump", 2: "JPEG quality 100",
                3: "JPEG quality 70", 4: "JPEG quality 20", 5: "PNG (colour)",
                6: "TIFF (colour)", 7: "raw pixel dump (16-bit)", 8: "PNG (raw, 16-bit)",
                9: "TIFF (raw, 16-bit)"}
MODE_NAMES = {1: "raw codes", 2: "false-colour AVI", 3: "temperatures (float)"}
SOAK_PROGRESS = re.compile(r"^soak:\s+\d+s\s+frames ")

# The floor of a row: a memcpy of (bytes read + bytes written) / 2, which
# moves as much memory as the row's work must (kolthermo_floor_bench).
FRAME_PIXELS = 384 * 288
FLOOR_PROGRAM = "kolthermo_floor_bench"
FLOOR_BYTES = {
    "BM_WaitAndCopyFrame/manual_time": FRAME_PIXELS * (2 + 2) // 2,
    "BM_WaitAndCopyFrameFreeRunning/real_time": FRAME_PIXELS * (2 + 2) // 2,
    "BM_MemcpyFrame/real_time": FRAME_PIXELS * (2 + 2) // 2,
    "BM_GetTemperature": FRAME_PIXELS * (2 + 4) // 2,
    "BM_GetRaw": FRAME_PIXELS * (2 + 2) // 2,
    "BM_ConvertToFloat": FRAME_PIXELS * (2 + 4) // 2,
    "BM_ConvertToInt32": FRAME_PIXELS * (2 + 4) // 2,
    "BM_ConvertToUInt8": FRAME_PIXELS * (2 + 1) // 2,
    "BM_ConvertToInt8": FRAME_PIXELS * (2 + 1) // 2,
    "BM_InterpolateFrameFromSnapshot": FRAME_PIXELS * (2 + 4) // 2,
    "BM_MapFrameFollowingScene": FRAME_PIXELS * (2 + 3) // 2,
    "BM_MapFrameFixedWindow": FRAME_PIXELS * (2 + 3) // 2,
    "BM_MapFrameLookupLoops": FRAME_PIXELS * (2 + 3) // 2,
    "BM_MapFramePlainLoops": FRAME_PIXELS * (2 + 3) // 2,
    "BM_MapFrameDirect": FRAME_PIXELS * (2 + 3) // 2,
    "BM_DrawFrameSized/0": FRAME_PIXELS * (3 + 3) // 2,
    "BM_DrawFrameSized/1": FRAME_PIXELS * (3 + 3) // 2,
    "BM_DrawDoubleSize/0": FRAME_PIXELS * (3 + 12) // 2,
    "BM_DrawDoubleSize/1": FRAME_PIXELS * (3 + 12) // 2,
    "BM_ResampleDoubleSize": FRAME_PIXELS * (3 + 12) // 2,
    "BM_PublishFrame/manual_time": FRAME_PIXELS * (2 + 2 + 2 + 3) // 2,
    "BM_ObjectTemperaturesFrame": FRAME_PIXELS * (4 + 4) // 2,
    "BM_BoxStatisticsFrame": FRAME_PIXELS * 4 // 2,
    "BM_ColorizeAuto": FRAME_PIXELS * (4 + 3) // 2,
    "BM_ColorizeHistogram": FRAME_PIXELS * (4 + 3) // 2,
    "BM_ColorizeManualIsotherm": FRAME_PIXELS * (4 + 3) // 2,
}
# Benchmarks whose manual time is their own thread's CPU time, not the wall.
THREAD_CPU_MANUAL = {"BM_PublishFrame/manual_time"}


# ---------------------------------------------------------------- machine


def cpu_model():
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def memory_gib():
    try:
        for line in pathlib.Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) / 2**20
    except (OSError, ValueError, IndexError):
        pass
    return None


def compiler_version(build):
    """First line of --version of the compiler CMake chose for the build."""
    compiler = "c++"
    cache = pathlib.Path(build) / "CMakeCache.txt"
    if cache.exists():
        match = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.+)$", cache.read_text(), re.M)
        if match:
            compiler = match.group(1).strip()
    try:
        run = subprocess.run([compiler, "--version"], capture_output=True, text=True, timeout=30)
        return run.stdout.splitlines()[0] if run.stdout else compiler
    except (OSError, subprocess.SubprocessError):
        return compiler


def record_machine(args):
    memory = memory_gib()
    facts = {
        "cpu": cpu_model(),
        "cores": os.cpu_count(),
        "memory": f"{memory:.1f} GiB" if memory else "unknown",
        "kernel": f"{platform.system()} {platform.release()}",
        "compiler": compiler_version(args.build),
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "load_start": list(os.getloadavg()),
        "quick": args.quick,
        "repetitions": args.repetitions,
    }
    pathlib.Path(args.out).write_text(json.dumps(facts, indent=1) + "\n")


# ---------------------------------------------------------------- report


def read_json(path):
    try:
        return json.loads(pathlib.Path(path).read_text())
    except (OSError, ValueError) as error:
        print(f"perf_report: cannot read {path}: {error}", file=sys.stderr)
        return None


def load_benchmarks(results):
    """Program -> (context, {run name: entry}) for every <bench>.json. With
    repetitions the entry is the median aggregate, with the coefficient of
    variation of the benchmark's own measure added as "spread"."""
    programs = {}
    for path in sorted(pathlib.Path(results).glob("kolthermo_*_bench.json")):
        data = read_json(path)
        if not data:
            continue
        entries, spreads = {}, {}
        for entry in data.get("benchmarks", []):
            name = entry.get("run_name", entry["name"])
            kind = entry.get("run_type", "iteration")
            if kind == "iteration":
                entries.setdefault(name, entry)
            elif entry.get("aggregate_name") == "median":
                entries[name] = dict(entry, name=name)
            elif entry.get("aggregate_name") == "cv":
                spreads[name] = entry["real_time"] if uses_wall(name) else entry["cpu_time"]
        for name, spread in spreads.items():
            if name in entries:
                entries[name]["spread"] = spread
        programs[path.stem] = (data.get("context", {}), entries)
    return programs


def uses_wall(name):
    """Manual and real-time benchmarks report their measure as real_time."""
    return "/manual_time" in name or "/real_time" in name


def measure_us(entry):
    """(the benchmark's own measure, wall time) in µs: manual and real-time
    benchmarks measure wall time, the others CPU time."""
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry.get("time_unit", "ns")]
    wall = entry["real_time"] * scale
    return (wall if uses_wall(entry["name"]) else entry["cpu_time"] * scale), wall


def fmt_us(value):
    if value is None:
        return "–"
    if value >= 1000:
        return f"{value:,.0f}".replace(",", " ")
    return f"{value:.1f}" if value >= 10 else f"{value:.2f}"


def fmt_spread(entry):
    spread = entry.get("spread") if entry else None
    return f"±{spread:.0%}" if spread is not None else ""


def verdict(value, target):
    """Met or missed for a row with a target; a row with a target but no
    figure to hold against it has missed it."""
    if target is None:
        return ""
    if value is None:
        return "**missed** (no figure)"
    return "met" if value <= target else "**missed**"


def machine_section(machine, programs, results_note):
    loads = [ctx.get("load_avg", [None])[0] for ctx, _ in programs.values()]
    loads = [x for x in loads if x is not None]
    start = machine.get("load_start") or []
    load_words = (f"{start[0]:.2f} / {start[1]:.2f} / {start[2]:.2f} (1 / 5 / 15 min) at the start"
                  if len(start) == 3 else "not recorded at the start")
    if loads:
        load_words += (f", {min(loads):.2f} to {max(loads):.2f} (1 min) as each benchmark "
                       "program began")
    lines = ["## Machine", "",
             "> **Shared, busy machine.** These figures were taken on a "
             f"{machine.get('cores')}-core "
             "machine that other developers build and test on at the same time. Load average: "
             f"{load_words}. CPU times (used below unless a row says otherwise) are steadier "
             "than wall times, but caches and memory bandwidth are shared: read the figures as "
             "orders of magnitude and the ratios as the useful part.", "",
             f"- CPU: {machine.get('cpu')}, {machine.get('cores')} cores",
             f"- Memory: {machine.get('memory')}",
             f"- Kernel: {machine.get('kernel')}",
             f"- Compiler: {machine.get('compiler')}, CMake Release build",
             f"- Date: {machine.get('date')}"
             f"{', quick run (short repetitions, noisier)' if machine.get('quick') else ''}",
             f"- {results_note}", ""]
    return lines


def area_sections(programs):
    lines = []
    for title, program, note, rows in AREAS:
        entries = programs.get(program, ({}, {}))[1]
        lines += [f"## {title}", "", note, "",
                  "| What | µs | Spread | Wall µs | × floor | Target µs | |",
                  "|---|---:|---:|---:|---:|---:|---|"]
        for name, words, target in rows:
            entry = entries.get(name)
            bound, goal = target_us(target, entries)
            if entry is None or entry.get("error_occurred"):
                why = entry.get("error_message", "skipped") if entry else "not run"
                why = f"**missed** ({why})" if target else why
                lines.append(f"| {words} | – | | – | – | {goal} | {why} |")
                continue
            value, wall = measure_us(entry)
            if name in THREAD_CPU_MANUAL:
                clock = ""
            else:
                clock = " *(wall)*" if uses_wall(name) else ""
            lines.append(f"| {words}{clock} | {fmt_us(value)} | {fmt_spread(entry)} | "
                         f"{fmt_us(wall)} | {fmt_floor(value, floor_us(programs, name))} | "
                         f"{goal} | {row_verdict(value, target, bound)} |")
        lines.append("")
    return lines


def floor_us(programs, name):
    """The floor of row `name` measured in this run, in µs, or None."""
    size = FLOOR_BYTES.get(name)
    entry = programs.get(FLOOR_PROGRAM, ({}, {}))[1].get(f"BM_MemcpyFloor/{size}")
    if size is None or entry is None or entry.get("error_occurred"):
        return None
    return measure_us(entry)[0]


def fmt_floor(value, floor):
    if value is None or not floor:
        return "–"
    return f"{value / floor:.1f} ×" if value / floor < 100 else f"{value / floor:,.0f} ×"


def target_us(target, entries):
    """(the bound in µs or None, its words) of a row's target."""
    if isinstance(target, RelativeTarget):
        other = entries.get(target.row)
        base = (measure_us(other)[0]
                if other is not None and not other.get("error_occurred") else None)
        words = f"≤ {target.factor:g} × {target.words}"
        if base is None:
            return None, words
        return target.factor * base, f"{words} ({fmt_us(target.factor * base)})"
    return target, (f"≤ {fmt_us(target)}" if target else "")


def row_verdict(value, target, bound):
    if not target:
        return ""
    if bound is None:
        return "**missed** (no figure to compare with)"
    return verdict(value, bound)


def latency_section(programs):
    """Frame ready in the driver to its frame-ready message at the host window
    (kolthermo_capture_bench's BM_FrameReadyLatency counters)."""
    entries = programs.get("kolthermo_capture_bench", ({}, {}))[1]
    entry = next((e for n, e in entries.items() if n.startswith("BM_FrameReadyLatency")), None)
    lines = ["## Frame-ready latency", "",
             "A preview on the simulated camera at 30 frames per second, its host window on "
             "this machine: from the driver completing a frame's read to that frame's "
             "frame-ready message arriving at the host window, over "
             f"{int(entry.get('frames', 0)) if entry else 0} frames. The capture loop sleeps "
             "the loop interval (parameter LOOP_INTERVAL) between passes, and a pass whose "
             "wait for a frame ended with one arriving goes round the loop before taking it, "
             "so a frame usually waits about one interval. Target: median at most the loop "
             "interval + 1 ms.", "",
             "| Median ms | p99 ms | Loop interval ms | Target (median) ms | |",
             "| ---: | ---: | ---: | ---: | --- |"]
    if entry is None or entry.get("error_occurred") or "median_us" not in entry:
        why = entry.get("error_message", "not run") if entry else "not run"
        return lines + [f"| – | – | – | interval + 1 | **missed** ({why}) |", ""]
    interval_ms = entry.get("loop_interval_ms", 0.0)
    bound_us = interval_ms * 1000.0 + LOOP_SLACK_US
    median, p99 = entry["median_us"], entry["p99_us"]
    return lines + [f"| {median / 1000:.2f} | {p99 / 1000:.2f} | {interval_ms:g} | "
                    f"≤ {bound_us / 1000:g} | {verdict(median, bound_us)} |", ""]


def save_verdict(overhead, noise):
    """Met, missed, or not to be told apart from the limit: the file system
    makes these figures noisy, and an overhead within the combined spread of
    the two medians is no finding either way."""
    if overhead <= SAVE_OVERHEAD_LIMIT:
        return "met"
    if overhead > SAVE_OVERHEAD_LIMIT + noise:
        return "**missed**"
    return "**missed** (within the spread)"


def saving_section(baselines):
    lines = ["## Saving stills: our SaveImageFile next to the bare encoder", "",
             "The bare entries of the save benchmark write the same file with the image "
             "library alone, from rows already in its layout (same settings, same file "
             "system), interleaved at random with ours. The overhead is what our conversions, row handling and file opening "
             f"add; the target is at most {SAVE_OVERHEAD_LIMIT:.0%} (ratio ≤ "
             f"{1 + SAVE_OVERHEAD_LIMIT:.2f}). A ratio below 1 means ours was faster: the "
             "file-system cost of each write dominates and varies with the load. An overhead above "
             "the limit but within the two spreads combined is marked missed *(within the "
             "spread)*: this run cannot tell it from the limit.", "",
             "| Format | Ours µs | Spread | Bare µs | Spread | Ratio ours / bare | Overhead | |",
             "|---|---:|---:|---:|---:|---:|---:|---|"]
    for item in baselines.get("encoders", []):
        number = item["format"]
        if item.get("ratio") is None:
            lines.append(f"| {number} {FORMAT_NAMES.get(number, '')} | – | | – | | – | – "
                         "| not run |")
            continue
        overhead = item["ratio"] - 1.0
        spreads = [fmt_spread({"spread": item.get(k)}) for k in ("ours_spread", "bare_spread")]
        noise = math.hypot(item.get("ours_spread") or 0.0, item.get("bare_spread") or 0.0)
        lines.append(f"| {number} {FORMAT_NAMES.get(number, '')} | {fmt_us(item['ours_us'])} | "
                     f"{spreads[0]} | {fmt_us(item['bare_us'])} | {spreads[1]} | "
                     f"{item['ratio']:.2f} | {overhead:+.0%} | "
                     f"{save_verdict(overhead, noise)} |")
    return lines + [""]


def recording_section(programs):
    entries = programs.get("kolthermo_recording_bench", ({}, {}))[1]
    lines = ["## Recording, per frame", "",
             "What the capture loop pays per frame in each recording mode (the file is started "
             "afresh every 256 frames, outside the timing). At 60 frames per second a frame may "
             f"take {fmt_us(BUDGET_60_FPS_US)} µs in all.", "",
             "| Mode | CPU µs | Wall µs | Frames/s this step alone allows | Target µs | |",
             "|---|---:|---:|---:|---:|---|"]
    for mode, words in MODE_NAMES.items():
        entry = entries.get(f"BM_WriteRecordingFrame/mode:{mode}/real_time")
        if entry is None or entry.get("error_occurred"):
            lines.append(f"| {mode} {words} | – | – | – | ≤ {fmt_us(BUDGET_60_FPS_US)} "
                         "| not run |")
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry.get("time_unit", "ns")]
        cpu, wall = entry["cpu_time"] * scale, entry["real_time"] * scale
        lines.append(f"| {mode} {words} | {fmt_us(cpu)} | {fmt_us(wall)} | {1e6 / wall:,.0f} | "
                     f"≤ {fmt_us(BUDGET_60_FPS_US)} | {verdict(wall, BUDGET_60_FPS_US)} |"
                     .replace(",", " "))
    return lines + [""]


def comparison_section(baselines):
    frame = baselines.get("frame", {})
    threads = baselines.get("opencv_threads")
    threads = f", {threads} threads" if threads else ""
    lines = ["## Against what a user would write instead", "",
             "`scripts/perf_baselines.py` times the usual Python route on a frame of the same "
             f"size and type ({frame.get('width')} x {frame.get('height')} {frame.get('dtype')}, "
             f"{frame.get('source', '')}; codes {frame.get('min')}..{frame.get('max')}), with "
             f"`time.perf_counter` around one call, median of {baselines.get('repeats')} calls "
             f"(Python {baselines.get('python')}, numpy {baselines.get('numpy_version')}, "
             f"OpenCV {baselines.get('opencv_version') or 'not installed'}"
             f"{threads}). "
             "The baseline times include the Python call (about a microsecond); ours are the "
             "benchmark CPU times above. A ratio below 1 means ours is faster.", "",
             "| Task | Ours | µs | Instead | µs | Ratio ours / instead |",
             "|---|---|---:|---|---:|---:|"]
    for item in baselines.get("comparisons", []):
        ratio = f"{item['ratio']:.2f}" if item.get("ratio") is not None else "–"
        lines.append(f"| {item['task']} | `{item['ours']}` | {fmt_us(item.get('ours_us'))} | "
                     f"{item['baseline']} | {fmt_us(item.get('baseline_us'))} | {ratio} |")
    return lines + ["", "The bare encoders are compared in the saving table above.", ""]


def python_section(results):
    """The Python package's frame calls against the C calls they wrap (perf_python.py)."""
    path = pathlib.Path(results) / "python.json"
    data = read_json(path) if path.exists() else None
    lines = ["## The Python package against the C calls it wraps", ""]
    if not data:
        return lines + ["No figures in this run (`scripts/perf_python.py` writes "
                        "`python.json`).", ""]
    lines += ["`scripts/perf_python.py` calls each Python method and the C function it wraps "
              "in turn on a paused simulated camera (the same frame each time), the C function "
              "through ctypes with one preallocated buffer, and keeps the median of "
              f"{data.get('repeats')} calls of each (Python {data.get('python')}, numpy "
              f"{data.get('numpy_version')}). The Python figure includes the fresh array it "
              "returns. `color()` wraps the host extra that copies the picture out as RGB.", "",
              "| Python call | Wraps | Python µs | C µs | Ratio | Target |",
              "|---|---|---:|---:|---:|---|"]
    for row in data.get("calls", []):
        target = row.get("target_ratio")
        lines.append(f"| `{row['call']}` | `{row['wraps']}` | {fmt_us(row['python_us'])} | "
                     f"{fmt_us(row['c_us'])} | {row['ratio']:.2f} | ≤ {target} × "
                     f"{verdict(row['ratio'], target)} |")
    return lines + [""]


def soak_section(soak):
    lines = ["## Soak", ""]
    text = None
    if soak.exists():
        try:
            text = soak.read_text(errors="replace")
        except OSError as error:
            print(f"perf_report: cannot read {soak}: {error}", file=sys.stderr)
    summary = [l for l in (text or "").splitlines()
               if l.startswith("soak:") and not SOAK_PROGRESS.match(l)]
    if summary:
        when = datetime.datetime.fromtimestamp(soak.stat().st_mtime, datetime.timezone.utc)
        lines += [f"Summary of `{soak}` (written {when:%Y-%m-%d %H:%M UTC}, a separate run "
                  "of the ten-minute soak on this machine):", "", "```"] + summary + ["```"]
    else:
        lines += ["No soak figures in this run. To add them, build the report once, then:", "",
                  "```",
                  "build/perf/tests/soak/kolthermo_soak --seconds 600 > build/perf/soak.txt",
                  "scripts/perf-report.sh --report-only", "```"]
    return lines + [""]


def viewer_section(viewer):
    """Frame to screen in the live viewer (scripts/perf_viewer.py's viewer.json)."""
    lines = ["## Live viewer: frame to screen", ""]
    if not viewer:
        return lines + ["No viewer figures in this run (`scripts/perf_viewer.py` did not "
                        "write `viewer.json`).", ""]
    target = viewer.get("target_median_ms")
    lines += [f"`kolthermo view` on the simulated camera at "
              f"{viewer.get('camera_frames_per_second', 30):g} frames per second, the page in "
              "headless Chromium: from the frame's time stamp (the server saw its frame-ready "
              "message) to the first animation frame after the page drew it, measured in the "
              f"browser over {viewer.get('frames')} frames "
              f"({viewer.get('frames_per_second')} frames per second drawn).", "",
              "| Median | p90 | p99 | Max | Target (median) | |",
              "| ---: | ---: | ---: | ---: | ---: | --- |",
              f"| {viewer['median_ms']:.1f} ms | {viewer['p90_ms']:.1f} ms | "
              f"{viewer['p99_ms']:.1f} ms | {viewer['max_ms']:.1f} ms | ≤ {target:g} ms | "
              f"{verdict(viewer['median_ms'], target)} |", ""]
    return lines


def repetition_words(machine):
    repetitions = machine.get("repetitions", 1)
    if repetitions > 1:
        return (f"Each benchmark ran {repetitions} times, the repetitions of all benchmarks of "
                "a program interleaved at random so that a busy spell on the machine does not "
                "land on one of them; the figure is the median and *Spread* the coefficient of "
                "variation across the repetitions.")
    return "Each benchmark ran once (no repetitions), so there is no spread to show."


def write_report(args):
    results = pathlib.Path(args.results)
    machine = read_json(results / "machine.json") or {}
    baselines = read_json(results / "baselines.json") or {}
    programs = load_benchmarks(results)
    if not programs:
        sys.exit(f"perf_report: no benchmark results in {results}")
    missing = [p for _, p, _, _ in AREAS if p not in programs]
    missing += [FLOOR_PROGRAM] if FLOOR_PROGRAM not in programs else []
    missing += [p for p in ("kolthermo_save_bench", "kolthermo_recording_bench")
                if p not in programs]
    note = ("every program ran" if not missing
            else "missing programs: " + ", ".join(missing))
    lines = ["# Performance", "",
             "Generated by `scripts/perf-report.sh` (do not edit by hand): every figure comes "
             "from one run of the Google Benchmark programs in `bench/` and the baselines, on "
             "the machine below.", "",
             "## How to reproduce", "",
             "```",
             "scripts/perf-report.sh            # full run: installs what it needs, Release "
             "build in build/perf",
             "scripts/perf-report.sh --quick    # short runs, no repetitions: a smoke test",
             "scripts/perf-report.sh --with-soak     # also the ten-minute soak",
             "scripts/perf-report.sh --report-only   # rewrite this file from the last results",
             "```", "",
             "Results land in `build/perf/results/` (one JSON file per benchmark program, "
             "`baselines.json`, `machine.json`). Times are per call, in microseconds; a row "
             "marked *(wall)* is timed on the wall clock because the benchmark measures "
             "waiting on another thread, all other rows on CPU time (a row that says so "
             "times its own thread's CPU). *× floor* is the figure over its floor, a memcpy "
             "measured in the same run that moves as much memory as the row's work must: "
             "(bytes read + bytes written) / 2 (`bench/floor_bench.cpp`). "
             f"{repetition_words(machine)}", ""]
    lines += machine_section(machine, programs, note)
    lines += area_sections(programs)
    lines += latency_section(programs)
    lines += saving_section(baselines)
    lines += recording_section(programs)
    lines += comparison_section(baselines)
    lines += python_section(results)
    viewer = results / "viewer.json"
    lines += viewer_section(read_json(viewer) if viewer.exists() else None)
    lines += soak_section(pathlib.Path(args.soak))
    pathlib.Path(args.out).write_text("\n".join(lines).rstrip() + "\n")


def main():
    parser = argparse.ArgumentParser(description="Performance report for the SDK.")
    commands = parser.add_subparsers(dest="command", required=True)
    machine = commands.add_parser("machine", help="record the machine of this run")
    machine.add_argument("out")
    machine.add_argument("--build", default="build/perf")
    machine.add_argument("--quick", action="store_true")
    machine.add_argument("--repetitions", type=int, default=1)
    report = commands.add_parser("report", help="write the Markdown report")
    report.add_argument("results")
    report.add_argument("out")
    report.add_argument("--soak", default="build/perf/soak.txt")
    args = parser.parse_args()
    if args.command == "machine":
        record_machine(args)
    else:
        write_report(args)


if __name__ == "__main__":
    main()
