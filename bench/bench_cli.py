"""Times the command line's hostile-input paths as their input doubles: each must stay linear.

python bench/bench_cli.py [--base 25000] [--steps 4]

--check's diff of two files whose every line differs, and an ignore pattern with many stars
against a long name that it does not match. Target: each doubling about doubles the time.
"""

from __future__ import annotations

import argparse
import time
from collections.abc import Callable

from brenvale.findings import Finding, Verdict, parse_ignore_rule
from brenvale.stale import stale_diff


def seconds(run: Callable[[], object]) -> float:
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def check_diff(lines: int) -> float:
    old = "".join(f"old {i}\n" for i in range(lines)).encode()
    new = "".join(f"new {i}\n" for i in range(lines))
    return seconds(lambda: stale_diff("out.ts", old, new))


def ignore_match(length: int) -> float:
    rule = parse_ignore_rule("*a" * 40 + "*b")
    finding = Finding("a" * 20 + "x" * length + "b", None, Verdict.SAFE, "m")  # 20 of the 40 a
    assert rule is not None
    return seconds(lambda: rule.matches(finding))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--base", type=int, default=25_000)
    parser.add_argument("--steps", type=int, default=4)
    args = parser.parse_args()
    for name, timed in (
        ("--check diff, lines", check_diff),
        ("ignore match, name length", ignore_match),
    ):
        for step in range(args.steps):
            size = args.base << step
            print(f"{name:28} {size:>9}  {timed(size) * 1000:9.2f} ms")


if __name__ == "__main__":
    main()
