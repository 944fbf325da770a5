#!/usr/bin/env python3
"""Checks the layer include views of a configured build (see scripts/check-layers.sh).

usage: check_layers.py SOURCE_DIR BUILD_DIR
"""
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

# The layer graph, bottom up: each layer and the layers below it that it uses
# directly. A layer sees itself and, transitively, what it uses. The build
# declares the same graph (src/*/CMakeLists.txt); this copy is what the views
# are checked against, so widening a layer's view takes a change here too.
LAYERS = [
    ("platform", []),
    ("protocol", []),
    ("device", ["protocol", "platform"]),
    ("imaging", ["platform"]),
    ("thermal", ["imaging", "platform"]),
    ("output", ["thermal", "imaging", "platform"]),
    ("sim", ["protocol", "platform"]),
    ("camera", ["device", "imaging", "thermal", "output", "platform"]),
    # The simulated driver is the shipped library's transport off Windows.
    ("api", ["camera", "device", "imaging", "thermal", "output", "platform", "protocol", "sim"]),
]


def permitted_views():
    seen = {}
    for layer, uses in LAYERS:
        view = {layer}
        for used in uses:
            if used not in seen:
                sys.exit(f"check_layers.py: '{layer}' uses '{used}', which is not below it")
            view |= seen[used]
        seen[layer] = view
    return seen


# Compiler arguments that name the output or the input of one compilation.
ARGS_WITH_VALUE = {"-o", "-c", "-MT", "-MF", "-MQ"}
ARGS_ALONE = {"-MD", "-MMD"}
INCLUDE_FLAGS = ("-I", "-isystem", "-iquote", "-idirafter")


def include_paths(args, directory):
    paths = []
    for i, arg in enumerate(args):
        if arg in INCLUDE_FLAGS and i + 1 < len(args):
            paths.append(args[i + 1])
            continue
        for flag in sorted(INCLUDE_FLAGS, key=len, reverse=True):
            if arg.startswith(flag) and len(arg) > len(flag):
                paths.append(arg[len(flag):])
                break
    return [os.path.normpath(os.path.join(directory, p)) for p in paths]


def probe_command(args, view_from, view_to, probe):
    """The compile command of a layer's source, turned into a syntax check of `probe`
    with `view_to` in place of the view `view_from`."""
    out = []
    skip = False
    for arg in args:
        if skip:
            skip = False
            continue
        if arg in ARGS_WITH_VALUE:
            skip = True
            continue
        if arg in ARGS_ALONE or arg.endswith((".cpp", ".c")):
            continue
        out.append(arg.replace(view_from, view_to))
    if out and os.path.basename(out[0]) == "ccache":
        out = out[1:]
    return out + ["-fsyntax-only", str(probe)]


def main():
    source = Path(sys.argv[1]).resolve()
    build = Path(sys.argv[2]).resolve()
    src = source / "src"
    views = build / "layer_includes"
    problems = []

    visible = permitted_views()
    layers = sorted(visible)
    on_disk = sorted(p.name for p in src.iterdir() if (p / "CMakeLists.txt").is_file())
    if on_disk != layers:
        problems.append(f"src/ has the layers {on_disk}, the layer graph {layers}")
    for layer in layers:
        view = views / layer
        if not view.is_dir():
            problems.append(f"layer '{layer}' has no include view {view}")
            continue
        extra = sorted({p.name for p in view.iterdir()} - visible[layer])
        if extra:
            problems.append(f"the view of '{layer}' holds {extra}, which the layer graph forbids")
    headers = {}
    for layer in layers:
        found = sorted((src / layer).glob("*.h"))
        if found:
            headers[layer] = f"{layer}/{found[0].name}"

    # Every library source compiles with its own layer's view and never sees src/.
    commands = {}
    for entry in json.loads((build / "compile_commands.json").read_text()):
        directory = entry["directory"]
        file = Path(os.path.normpath(os.path.join(directory, entry["file"])))
        if src not in file.parents:
            continue
        layer = file.relative_to(src).parts[0]
        args = entry.get("arguments") or shlex.split(entry["command"])
        paths = include_paths(args, directory)
        if str(views / layer) not in paths:
            problems.append(f"{file.relative_to(source)} is not compiled with the view of '{layer}'")
        for path in paths:
            real = Path(os.path.realpath(path))
            if real == src or src in real.parents:
                problems.append(f"{file.relative_to(source)} has {path} on its include path")
        commands.setdefault(layer, (args, directory))

    # No include reaches around the views with a relative path.
    around = re.compile(r'^\s*#\s*include\s*["<][^">]*\.\./', re.M)
    for path in sorted(src.rglob("*")):
        if path.suffix in (".h", ".cpp", ".c") and around.search(path.read_text(errors="replace")):
            problems.append(f"{path.relative_to(source)} includes through '..'")

    if problems or not commands:
        for problem in problems or ["no library sources in compile_commands.json"]:
            print(f"LAYERS: {problem}", file=sys.stderr)
        return 1

    # One probe per permitted set and per forbidden header.
    some_layer = next(iter(commands))
    jobs = []
    with tempfile.TemporaryDirectory(prefix="kolthermo-layers-") as tmp:
        for layer in visible:
            args, directory = commands.get(layer, commands[some_layer])
            from_view = str(views / (layer if layer in commands else some_layer))
            to_view = str(views / layer)
            allowed = [headers[m] for m in sorted(visible[layer]) if m in headers]
            probe = Path(tmp) / f"{layer}_allowed.cpp"
            probe.write_text("".join(f'#include "{h}"\n' for h in allowed))
            jobs.append((layer, "allowed", ", ".join(allowed), True,
                         probe_command(args, from_view, to_view, probe), directory))
            for other in layers:
                if other in visible[layer] or other not in headers:
                    continue
                probe = Path(tmp) / f"{layer}_sees_{other}.cpp"
                probe.write_text(f'#include "{headers[other]}"\n')
                jobs.append((layer, "forbidden", headers[other], False,
                             probe_command(args, from_view, to_view, probe), directory))

        def run(job):
            command, directory = job[4], job[5]
            done = subprocess.run(command, cwd=directory, capture_output=True, text=True)
            return job, done

        failed = 0
        forbidden = 0
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            for job, done in pool.map(run, jobs):
                layer, kind, what, should_compile = job[:4]
                if kind == "forbidden":
                    forbidden += 1
                not_found = "No such file" in done.stderr or "file not found" in done.stderr
                if should_compile and done.returncode != 0:
                    failed += 1
                    print(f"LAYERS: {layer} cannot compile its permitted includes ({what}):\n"
                          f"{done.stderr[-2000:]}", file=sys.stderr)
                elif not should_compile and not (done.returncode != 0 and not_found):
                    failed += 1
                    print(f"LAYERS: {layer} can include {what}, which it must not see",
                          file=sys.stderr)
    if failed:
        return 1
    print(f"layer views hold: {len(visible)} layers compile what they may use; "
          f"{forbidden} includes of layers they may not use fail to compile")
    return 0


if __name__ == "__main__":
    sys.exit(main())
