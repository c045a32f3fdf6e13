"""emit and emit_plain on a multi-MB bundle against CPython's json.loads of the same text.

Both are measured in one run, best of several repeats, so the ratio does not depend on the
machine. Target: each emitter takes at most a fifth of json.loads' time.
Usage: python bench/bench_emit.py [--models 4000] [--repeat 7]
"""

from __future__ import annotations

import argparse
import json
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

import brenvale  # noqa: E402
from make_bundle import make_bundle  # noqa: E402


def best_of(repeat: int, fn, *args) -> float:
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn(*args)
        best = min(best, time.perf_counter() - start)
    return best


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--models", type=int, default=4000)
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()

    text = json.dumps(make_bundle(args.models), indent=2)
    size_mb = len(text.encode()) / 1e6
    loads = best_of(args.repeat, json.loads, text)
    print(f"bundle: {args.models} models, {size_mb:.1f} MB")
    print(f"json.loads      {loads * 1e3:8.2f} ms  ({size_mb / loads:6.0f} MB/s)")
    for name, fn, extra in (
        ("emit", brenvale.emit, ()),
        ("emit_shared", brenvale.emit_shared, ("./shared", ["Address0", "Status0"])),
        ("emit_plain", brenvale.emit_plain, ()),
    ):
        took = best_of(args.repeat, fn, text, *extra)
        verdict = "ok" if loads / took >= 5 else "SLOWER THAN TARGET"
        print(f"{name:<15} {took * 1e3:8.2f} ms  ({size_mb / took:6.0f} MB/s)"
              f"  json.loads / {name} = {loads / took:5.1f}x  [{verdict}, target >= 5x]")


if __name__ == "__main__":
    main()
