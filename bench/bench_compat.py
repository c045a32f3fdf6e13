"""Times brenvale.compat against json.loads of the same two texts, and how compat scales.

python bench/bench_compat.py [--models 1500] [--base 250] [--repeat 7]

Target: compat (parse both bundles, diff, report) in at most a fifth of the time CPython's
json.loads takes for the two texts; each doubling of the bundle about doubles compat's time.
"""

from __future__ import annotations

import argparse
import json
import sys
import time
from collections.abc import Callable
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from make_bundle import expected_findings, make_bundle, next_version

import brenvale


def best_of(repeat: int, run: Callable[[], object]) -> float:
    """Fastest of `repeat` runs, in seconds: the least disturbed by the rest of the machine."""
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def texts(n_models: int) -> tuple[str, str]:
    """An old and a new bundle text; checks compat finds exactly the planned changes, so the
    timings are of a diff that did its work."""
    old = make_bundle(n_models)
    log: list[tuple[str, str, str | None]] = []
    new = next_version(old, log=log)
    old_text, new_text = json.dumps(old), json.dumps(new)
    found = [
        (f["def"], f["field"], f["verdict"])
        for f in json.loads(brenvale.compat(old_text, new_text))
    ]
    if found != expected_findings(log):
        raise SystemExit(f"compat disagrees with the planned changes at {n_models} models")
    return old_text, new_text


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--models", type=int, default=1500, help="models in the ratio bundle")
    parser.add_argument(
        "--base", type=int, default=250, help="models in the smallest scaling bundle"
    )
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()

    old_text, new_text = texts(args.models)
    size_mb = (len(old_text) + len(new_text)) / 1e6
    loads = best_of(args.repeat, lambda: (json.loads(old_text), json.loads(new_text)))
    compat = best_of(args.repeat, lambda: brenvale.compat(old_text, new_text))
    print(f"bundle: {args.models} models, {size_mb:.1f} MB for both texts")
    print(f"json.loads x2: {loads * 1e3:8.2f} ms")
    print(f"compat:        {compat * 1e3:8.2f} ms")
    print(f"compat / json.loads = {compat / loads:.3f}  (target <= 0.200)")

    print("\nscaling (each row doubles the bundle):")
    print(f"{'models':>7} {'MB':>6} {'compat ms':>10} {'x previous':>10}")
    previous = None
    for step in range(5):
        n_models = args.base << step
        old_text, new_text = texts(n_models)
        seconds = best_of(args.repeat, lambda o=old_text, n=new_text: brenvale.compat(o, n))
        ratio = f"{seconds / previous:10.2f}" if previous else f"{'':>10}"
        mb = (len(old_text) + len(new_text)) / 1e6
        print(f"{n_models:>7} {mb:>6.1f} {seconds * 1e3:>10.2f} {ratio}")
        previous = seconds
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
