"""emit and emit_plain on a multi-MB bundle against CPython's json.loads of the same text.

Both are measured in one run, best of several repeats, so the ratio does not depend on the
machine. Target: each emitter takes at most a fifth of json.loads' time.

json.loads builds a million small objects, so its time depends on the cyclic garbage
collector and on how much the process already holds: it is measured both with the collector
off (its own parsing cost; the strict comparison, used for the verdict) and as a program
sees it by default.
Usage: python bench/bench_emit.py [--models 4000] [--repeat 7] [--source generated|pydantic]
"""

from __future__ import annotations

import argparse
import gc
import json
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

from make_bundle import make_bundle

import brenvale


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
    parser.add_argument(
        "--source",
        choices=("generated", "pydantic"),
        default="generated",
        help="bench/make_bundle.py (every feature) or Pydantic's own output",
    )
    args = parser.parse_args()

    if args.source == "pydantic":
        from pydantic_bundle import pydantic_bundle

        text = pydantic_bundle(args.models)
    else:
        text = json.dumps(make_bundle(args.models), indent=2)
    size_mb = len(text.encode()) / 1e6
    gc.collect()
    loads_default = best_of(args.repeat, json.loads, text)
    gc.disable()
    loads = best_of(args.repeat, json.loads, text)
    gc.enable()
    print(f"bundle: {args.models} models ({args.source}), {size_mb:.1f} MB")
    print(f"json.loads, gc off  {loads * 1e3:8.2f} ms  ({size_mb / loads:6.0f} MB/s)")
    print(
        f"json.loads, gc on   {loads_default * 1e3:8.2f} ms  ({size_mb / loads_default:6.0f} MB/s)"
    )
    for name, fn, extra in (
        ("emit", brenvale.emit, ()),
        ("emit_shared", brenvale.emit_shared, ("./shared", ["Address0", "Status0"])),
        ("emit_plain", brenvale.emit_plain, ()),
    ):
        took = best_of(args.repeat, fn, text, *extra)
        verdict = "ok" if loads / took >= 5 else "below target"
        print(
            f"{name:<19} {took * 1e3:8.2f} ms  ({size_mb / took:6.0f} MB/s)"
            f"  json.loads/{name}: {loads / took:4.1f}x gc off [{verdict}, target >= 5x],"
            f" {loads_default / took:4.1f}x gc on"
        )


if __name__ == "__main__":
    main()
