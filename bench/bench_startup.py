"""Start-up cost of the command line: `brenvale emit` on a 20 KB bundle against `python -c pass`.

Every pre-commit hook and CI step pays the interpreter start and the imports, not the core's
work, so this is the figure users feel. The two commands run interleaved (A B A B ...), and the
ratio of the medians is reported. Target: at most 2x.
Usage: python bench/bench_startup.py [--runs 21]
"""

from __future__ import annotations

import argparse
import json
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

from make_bundle import make_bundle


def bundle_of_size(target_bytes: int) -> str:
    models = 1
    while True:
        text = json.dumps(make_bundle(models), indent=2)
        if len(text) >= target_bytes:
            return text
        models += 1


def wall_time(command: list[str]) -> float:
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=21)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        bundle = Path(folder) / "bundle.json"
        bundle.write_text(bundle_of_size(20_000), encoding="utf-8")
        bare = [sys.executable, "-c", "pass"]
        emit = [sys.executable, "-m", "brenvale", "emit", str(bundle)]
        for command in (bare, emit):  # warm the file cache
            wall_time(command)
        bare_times, emit_times = [], []
        for _ in range(args.runs):
            bare_times.append(wall_time(bare))
            emit_times.append(wall_time(emit))
        size = bundle.stat().st_size

    bare_ms = statistics.median(bare_times) * 1000
    emit_ms = statistics.median(emit_times) * 1000
    print(f"bundle {size} bytes, {args.runs} interleaved runs, medians:")
    print(f"  python -c pass   {bare_ms:7.1f} ms")
    print(f"  brenvale emit    {emit_ms:7.1f} ms")
    print(f"  ratio            {emit_ms / bare_ms:7.2f}x (target <= 2x)")


if __name__ == "__main__":
    main()
