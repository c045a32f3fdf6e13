"""Regenerating the golden modules and example bundles through the command line changes none
of them."""

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_regenerating_changes_nothing() -> None:
    run = subprocess.run(
        [sys.executable, str(ROOT / "tools" / "make_goldens.py"), "--check"],
        capture_output=True,
        text=True,
        check=False,
    )
    assert run.returncode == 0, f"{run.stdout}{run.stderr}run `make goldens` if intended"
    assert run.stdout == "goldens: 0 differ\n"
