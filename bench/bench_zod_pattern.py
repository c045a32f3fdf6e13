"""A hostile read through the zod module's validating converter: a stored value of 100,000
characters against the contract pattern `^(a+)+$`, which a backtracking engine takes
exponential time to refuse. Target: under 100 ms a read.

The zod module of a one-model bundle is generated through the public API and loaded in node with
the pinned zod and re2js (tests/typescript, after install.sh). Each run calls the converter's
fromFirestore on a snapshot holding "a" * N + "!", which fails the pattern, and times it with
performance.now(), each on a value of its own; the first read (cold: V8 has compiled none of
the code yet) is reported apart, then the median and the slowest of the rest. For scale, V8's
own RegExp is timed on the same pattern at lengths where it still finishes.
Usage: python bench/bench_zod_pattern.py [--length 100000] [--runs 21]
"""

from __future__ import annotations

import argparse
import json
import shutil
import subprocess
import tempfile
from pathlib import Path

import brenvale

TS_DIR = Path(__file__).resolve().parents[1] / "tests" / "typescript"
BUNDLE = {
    "$defs": {
        "Note": {
            "type": "object",
            "x-firestore-collection": "notes",
            "required": ["code"],
            "properties": {"code": {"type": "string", "pattern": "^(a+)+$"}},
        }
    }
}
# Loads the module as zod_verdicts.mjs does, then times the reads; prints one JSON line. It is
# copied beside the module, inside tests/typescript, so that it finds the pinned packages.
RUNNER = Path(__file__).with_name("bench_zod_pattern.mjs")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--length", type=int, default=100_000)
    parser.add_argument("--runs", type=int, default=21)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".bench-") as folder:
        module = Path(folder) / "schemas.ts"
        module.write_text(brenvale.emit_zod(json.dumps(BUNDLE)), encoding="utf-8")
        runner = Path(folder) / RUNNER.name
        shutil.copyfile(RUNNER, runner)
        command = ["node", str(runner), str(module), str(args.length), str(args.runs)]
        out = subprocess.run(command, cwd=TS_DIR, capture_output=True, text=True, check=True)
    result = json.loads(out.stdout)
    print(f"validating converter, {args.length:,} characters against ^(a+)+$ (re2js):")
    print(f"  first read {result['first']:.1f} ms (cold)")
    print(f"  median {result['median']:.1f} ms, slowest {result['max']:.1f} ms of {args.runs}")
    for length, ms in result["native"]:
        print(f"  V8 RegExp, {length + 1} characters: {ms:.1f} ms")


if __name__ == "__main__":
    main()
