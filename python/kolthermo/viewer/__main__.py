"""python3 -m kolthermo.viewer [--port N] [--host ADDRESS] [--output FOLDER] [--table FILE]"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path
from typing import List, Optional

from ..errors import KolThermoError
from .server import DEFAULT_PORT, ViewerOptions, run


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m kolthermo.viewer", description="Shows the camera live in a browser."
    )
    parser.add_argument("--port", type=int, default=DEFAULT_PORT, help="0: any free port")
    parser.add_argument(
        "--host",
        default="127.0.0.1",
        help="address to listen on; beyond loopback a token is needed",
    )
    parser.add_argument("--output", type=Path, help="folder for snapshots and recordings")
    parser.add_argument("--table", help="calibration table to load")
    parser.add_argument("--camera", type=int, default=0, help="camera slot 0..7")
    args = parser.parse_args(argv)
    if not 0 <= args.port <= 65535:
        parser.error("--port must be 0 to 65535")
    options = ViewerOptions(args.host, args.port, args.output, args.table, args.camera)
    try:
        run(options)
    except (KolThermoError, OSError, ValueError) as error:
        print(f"kolthermo viewer: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
