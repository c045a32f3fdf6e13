"""How the compat rule set (brenvale._ext.compat) scales, and the enum-referenced-everywhere case.

python bench/bench_compat_rules.py [--repeat 3] [--skip-wide]

Scaling: definitions, properties per model and enum members each doubled four times on their
own, for an identical pair and for a changed pair (an enum member removed, a bound tightened, a
field added). Target: at most 2.2x per doubling.

Wide enum: two identical bundles of about 1.1 MB, one enum of N members referenced from M
properties. Re-rendering the enum for every property made this N x M (22.7 s before); each
definition is now compared once.
"""

from __future__ import annotations

import argparse
import json
import signal
import time
from collections.abc import Callable

from brenvale import _core

try:
    from brenvale import _ext
except ImportError:  # an older build, for the "before" timings of _core
    _ext = None


def best_of(repeat: int, run: Callable[[], object]) -> float:
    """Fastest of `repeat` runs, in seconds of this process's CPU time: the machine is shared,
    and time spent waiting for a core is not the rule set's."""
    best = float("inf")
    for _ in range(repeat):
        start = time.process_time()
        run()
        best = min(best, time.process_time() - start)
    return best


def make_defs(models: int, properties: int, members: int) -> dict:
    """`models` models of `properties` fields each: every fourth a $ref to one of eight enums of
    `members` members, the rest bounded strings and numbers."""
    defs: dict = {f"E{e}": {"enum": [f"m{i}" for i in range(members)]} for e in range(8)}
    for m in range(models):
        props: dict = {}
        for p in range(properties):
            if p % 4 == 0:
                props[f"f{p}"] = {"$ref": f"#/$defs/E{(m + p) % 8}"}
            elif p % 4 == 1:
                props[f"f{p}"] = {"anyOf": [{"type": "string", "maxLength": 40}, {"type": "null"}]}
            else:
                props[f"f{p}"] = {"type": "integer", "minimum": 0, "default": 0}
        defs[f"M{m}"] = {
            "type": "object",
            "x-firestore-collection": f"c{m}",
            "properties": props,
            "required": sorted(props),
        }
    return defs


def changed(defs: dict) -> dict:
    """The next version: one enum loses a member, every tenth model tightens a bound and gains
    a field."""
    new = json.loads(json.dumps(defs))
    new["E0"]["enum"].pop()
    for name, definition in new.items():
        if name.startswith("M") and int(name[1:]) % 10 == 0:
            props = definition["properties"]
            props["f1"]["anyOf"][0]["maxLength"] = 20
            props["added"] = {"type": "string"}
    return new


def text(defs: dict) -> str:
    return json.dumps({"$defs": defs})


def scaling(repeat: int) -> None:
    """Each axis doubled four times. The parse column (both texts parsed, nothing compared)
    shows what the machine's caches make of the same doublings."""
    base = {"definitions": (100, 16, 16), "properties": (16, 40, 16), "members": (16, 16, 400)}
    for axis, (models, properties, members) in base.items():
        print(f"\ndoubling {axis}:")
        print(
            f"{'size':>6} {'MB':>6} {'parse ms':>9} {'same ms':>9} {'x prev':>7} "
            f"{'changed ms':>11} {'x prev':>7}"
        )
        first: tuple[float, float, float] | None = None
        previous: tuple[float, float] | None = None
        for step in range(5):
            sizes = [models, properties, members]
            sizes[list(base).index(axis)] <<= step
            defs = make_defs(*sizes)
            old, new = text(defs), text(changed(defs))
            parse = best_of(repeat, lambda: (_core.compat(old, "0"), _core.compat("0", new)))
            same = best_of(repeat, lambda: _ext.compat(old, old))
            diff = best_of(repeat, lambda: _ext.compat(old, new))
            ratios = (
                ("", "")
                if previous is None
                else (f"{same / previous[0]:.2f}", f"{diff / previous[1]:.2f}")
            )
            print(
                f"{sizes[list(base).index(axis)]:>6} {len(old) / 1e6:>6.2f} {parse * 1e3:>9.2f} "
                f"{same * 1e3:>9.2f} {ratios[0]:>7} {diff * 1e3:>11.2f} {ratios[1]:>7}"
            )
            previous = (same, diff)
            first = first or (parse, same, diff)
        per_doubling = [
            (last / start) ** 0.25 for start, last in zip(first, (parse, same, diff), strict=False)
        ]
        print(
            "per doubling over all four: parse {:.2f}x, same {:.2f}x, changed {:.2f}x "
            "(target <= 2.2x)".format(*per_doubling)
        )


def wide_enum(repeat: int) -> None:
    members, properties = 20_000, 30_000
    defs = {
        "Wide": {"enum": list(range(members))},  # numbers: the signature lists every member
        "Doc": {
            "type": "object",
            "properties": {f"p{i:05d}": {"$ref": "#/$defs/Wide"} for i in range(properties)},
        },
    }
    bundle = text(defs)
    print(
        f"\nwide enum: {members} members referenced from {properties} properties, "
        f"{len(bundle) / 1e6:.2f} MB per bundle, identical pair"
    )
    print(f"_core.compat: {best_of(repeat, lambda: _core.compat(bundle, bundle)) * 1e3:10.2f} ms")
    if _ext is not None:
        print(
            f"_ext.compat:  {best_of(repeat, lambda: _ext.compat(bundle, bundle)) * 1e3:10.2f} ms"
        )


def interrupt_latency() -> None:
    """A changed wide enum makes the diff write N x M text; an alarm raising KeyboardInterrupt
    after 0.3 s must end the call within 100 ms."""
    wide = {"enum": list(range(20_000))}
    props = {f"p{i:05d}": {"$ref": "#/$defs/Wide"} for i in range(30_000)}
    old = text({"Wide": wide, "Doc": {"type": "object", "properties": props}})
    new = text(
        {"Wide": {"enum": wide["enum"][:-1]}, "Doc": {"type": "object", "properties": props}}
    )

    def alarm(signum: int, frame: object) -> None:
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, alarm)
    start = time.perf_counter()
    signal.setitimer(signal.ITIMER_REAL, 0.3)
    try:
        _ext.compat(old, new)
        print("\ninterrupt: the call ended before the alarm")
    except KeyboardInterrupt:
        late = time.perf_counter() - start - 0.3
        print(
            f"\ninterrupt: KeyboardInterrupt {late * 1e3:.1f} ms after the signal"
            " (target <= 100 ms)"
        )
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--skip-wide", action="store_true", help="skip the wide-enum case")
    args = parser.parse_args()
    if not args.skip_wide:
        wide_enum(1 if _ext is None else args.repeat)
    if _ext is not None:
        interrupt_latency()
        scaling(args.repeat)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
