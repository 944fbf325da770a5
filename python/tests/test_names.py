"""The package's numbers are the public headers' own."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_generated_names_match_the_headers(tmp_path):
    """A header changed without running scripts/generate-python-names.py fails here."""
    fresh = tmp_path / "_names.py"
    subprocess.run(
        [sys.executable, str(ROOT / "scripts" / "generate-python-names.py"), "--output", str(fresh)],
        check=True,
    )
    committed = ROOT / "python" / "kolthermo" / "_names.py"
    assert committed.read_text(encoding="utf-8") == fresh.read_text(encoding="utf-8"), (
        "python/kolthermo/_names.py is stale: run scripts/generate-python-names.py"
    )
