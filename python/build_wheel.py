#!/usr/bin/env python3
"""Builds the kolthermo wheel with the shared libraries bundled in kolthermo/_lib.

    build_wheel.py --package python/kolthermo --pyproject python/pyproject.toml \\
        --library build/default/libkolthermo.so.1 \\
        --library build/default/thermography/libkolthermo_thermography.so.1 \\
        --output build/default/python/dist

The wheel is written here with zipfile rather than through a build backend:
it needs nothing beyond the standard library, works offline, and carries the
platform tag the bundled libraries call for (py3-none-<platform>: the package
itself is pure Python and uses no Python ABI). Each library is stored under
its soname (the name given, symlinks followed). Prints the wheel's path.
"""

from __future__ import annotations

import argparse
import base64
import hashlib
import os
import pathlib
import re
import sysconfig
import zipfile

SKIPPED_PARTS = {"__pycache__"}
SKIPPED_SUFFIXES = {".pyc", ".pyo"}


def project_field(pyproject: str, field: str) -> str:
    match = re.search(rf'^{field}\s*=\s*"([^"]*)"', pyproject, re.M)
    if match is None:
        raise SystemExit(f"pyproject.toml has no {field}")
    return match.group(1)


def platform_tag() -> str:
    return re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())


def package_files(package: pathlib.Path):
    """(name in the wheel, path) of every file of the package, sorted."""
    for path in sorted(package.rglob("*")):
        relative = path.relative_to(package.parent)
        if path.is_dir() or SKIPPED_PARTS & set(relative.parts):
            continue
        if path.suffix in SKIPPED_SUFFIXES or relative.parts[1:2] == ("_lib",):
            continue  # the libraries come from the build, never a stale copy
        yield relative.as_posix(), path


def metadata(pyproject: str, name: str, version: str, readme: str) -> str:
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {name}",
        f"Version: {version}",
        f"Summary: {project_field(pyproject, 'description')}",
        f"Requires-Python: {project_field(pyproject, 'requires-python')}",
        "Requires-Dist: numpy",
        "Provides-Extra: viewer",
        'Requires-Dist: aiohttp ; extra == "viewer"',
        "Description-Content-Type: text/markdown",
    ]
    return "\n".join(lines) + "\n\n" + readme


def digest(data: bytes) -> str:
    raw = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(raw).rstrip(b"=").decode()


def build(args: argparse.Namespace) -> pathlib.Path:
    pyproject_path = pathlib.Path(args.pyproject)
    pyproject = pyproject_path.read_text(encoding="utf-8")
    name, version = project_field(pyproject, "name"), project_field(pyproject, "version")
    readme = (pyproject_path.parent / "README.md").read_text(encoding="utf-8")
    tag = f"py3-none-{platform_tag()}"
    info = f"{name}-{version}.dist-info"
    entries = []  # (name in the wheel, bytes, executable)
    package = pathlib.Path(args.package).resolve()
    for arcname, path in package_files(package):
        entries.append((arcname, path.read_bytes(), False))
    for library in args.library:
        soname = os.path.basename(library)
        entries.append((f"{package.name}/_lib/{soname}", pathlib.Path(library).read_bytes(), True))
    entries.append((f"{info}/METADATA", metadata(pyproject, name, version, readme).encode(), False))
    wheel = f"Wheel-Version: 1.0\nGenerator: kolthermo build_wheel.py\nRoot-Is-Purelib: false\nTag: {tag}\n"
    entries.append((f"{info}/WHEEL", wheel.encode(), False))
    entries.append((f"{info}/top_level.txt", f"{package.name}\n".encode(), False))
    record = "".join(f"{n},{digest(d)},{len(d)}\n" for n, d, _ in entries) + f"{info}/RECORD,,\n"
    entries.append((f"{info}/RECORD", record.encode(), False))

    output = pathlib.Path(args.output)
    output.mkdir(parents=True, exist_ok=True)
    target = output / f"{name}-{version}-{tag}.whl"
    partial = target.with_suffix(".whl.partial")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as archive:
        for arcname, data, executable in entries:
            member = zipfile.ZipInfo(arcname, date_time=(1980, 1, 1, 0, 0, 0))
            member.external_attr = (0o755 if executable else 0o644) << 16
            member.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(member, data)
    os.replace(partial, target)  # a failed build leaves no half wheel behind
    return target


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--package", required=True, help="the kolthermo package folder")
    parser.add_argument("--pyproject", required=True)
    parser.add_argument("--library", action="append", default=[], help="a library to bundle")
    parser.add_argument("--output", required=True, help="folder the wheel is written to")
    print(build(parser.parse_args()))


if __name__ == "__main__":
    main()
