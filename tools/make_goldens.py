"""Regenerates every generated file of tests/golden/cases.tsv through the command line.

Usage: python tools/make_goldens.py [--check]
With --check nothing is written: it lists the goldens that differ and exits 1.
"""

from __future__ import annotations

import argparse
import csv
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def cases() -> list[tuple[str, list[str], str]]:
    """(input, command words, expected) per row of cases.tsv, in file order."""
    with (ROOT / "tests" / "golden" / "cases.tsv").open(encoding="utf-8", newline="") as table:
        rows = csv.DictReader((line for line in table if not line.startswith("#")), delimiter="\t")
        return [(row["input"], row["command"].split(), row["expected"]) for row in rows]


def generate(source: str, command: list[str]) -> str:
    """What `brenvale COMMAND SOURCE` prints at the repository's top; exits on any failure."""
    run = subprocess.run(
        [sys.executable, "-m", "brenvale", *command, source],
        cwd=ROOT,
        capture_output=True,
        text=True,
        check=False,
    )
    if run.returncode != 0:
        raise SystemExit(f"brenvale {' '.join(command)} {source}: {run.stderr.strip()}")
    return run.stdout


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--check", action="store_true", help="write nothing; exit 1 on a change")
    args = parser.parse_args()
    changed = []
    for source, command, expected in cases():
        text = generate(source, command)
        target = ROOT / expected
        if target.exists() and target.read_text(encoding="utf-8") == text:
            continue
        changed.append(expected)
        if not args.check:
            target.write_text(text, encoding="utf-8")
    verb = "differ" if args.check else "regenerated"
    print(f"goldens: {len(changed)} {verb}" + "".join(f"\n  {name}" for name in changed))
    return 1 if args.check and changed else 0


if __name__ == "__main__":
    sys.exit(main())
