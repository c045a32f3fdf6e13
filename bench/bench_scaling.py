"""How each function's time grows as one dimension of hostile or huge input doubles four times.

python bench/bench_scaling.py [--quick] [--min-time 0.2]

Families: many definitions, many properties in one model, long unions (of constants and references,
and of constants and a type), long enums (definition and inline, up to 100k members), long
collection paths, many 127-level nested nodes, and a chain of collection models; then an ignore
file of one line per finding, as `--accept` writes it, against those findings. Each row gives
the time at five sizes and the ratio per doubling; a ratio above 2.2x is flagged, since a linear
(or n log n) function stays near 2x. The last column is the cost per unit at the largest size
over that at the smallest: near 1 for linear work, 16 for quadratic. A single flagged step with
that column near 1 is the input outgrowing a cache, not an algorithm.
"""

from __future__ import annotations

import argparse
import itertools
import json
import sys
import time
from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path
from typing import Any

sys.path.insert(0, str(Path(__file__).resolve().parent))

from make_bundle import make_bundle, next_version

import brenvale

FLAG_RATIO = 2.2
MAX_DEPTH = 127


@dataclass
class Inputs:
    old: str
    new: str
    shared: list[str]


def bundle(defs: dict[str, Any]) -> str:
    return json.dumps({"$defs": defs})


def one_model(properties: dict[str, Any], **keys: Any) -> dict[str, Any]:
    return {"type": "object", "properties": properties, **keys}


def wide_defs(n: int) -> Inputs:
    old = make_bundle(n)
    names = sorted(old["$defs"])
    return Inputs(json.dumps(old), json.dumps(next_version(old)), names[::4])


def wide_model(n: int) -> Inputs:
    props = {f"field{i:06d}": {"type": ("string", "integer", "boolean")[i % 3]} for i in range(n)}
    required = [f"field{i:06d}" for i in range(0, n, 2)]
    old = {"M": one_model(props, required=required, **{"x-firestore-collection": "ms"})}
    new = json.loads(json.dumps(old))
    new["M"]["properties"]["field000000"] = {"type": "number"}
    return Inputs(bundle(old), bundle(new), ["Missing"])


def long_union(n: int) -> Inputs:
    members = [{"const": f"v{i}"} if i % 2 else {"$ref": f"#/$defs/E{i % 50}"} for i in range(n)]
    defs: dict[str, Any] = {f"E{i}": {"enum": [i]} for i in range(50)}
    defs["M"] = one_model({"u": {"anyOf": members}})
    old = bundle(defs)
    defs["M"] = one_model({"u": {"anyOf": members[:-1]}})
    return Inputs(old, bundle(defs), ["E1"])


def long_mixed_union(n: int) -> Inputs:
    """Constants and one type: the rules pair the union's members by kind."""
    old = one_model(
        {"u": {"anyOf": [*({"const": f"v{i}"} for i in range(n)), {"type": "integer"}]}}
    )
    new = one_model(
        {"u": {"anyOf": [*({"const": f"v{i}"} for i in range(n - 1)), {"type": "number"}]}}
    )
    return Inputs(bundle({"M": old}), bundle({"M": new}), ["M"])


def long_enum_definition(n: int) -> Inputs:
    members = [f"member{i}" if i % 3 else i for i in range(n)]
    defs = {"Big": {"enum": members}, "M": one_model({"b": {"$ref": "#/$defs/Big"}})}
    old = bundle(defs)
    defs["Big"] = {"enum": members[:-1]}
    return Inputs(old, bundle(defs), ["Missing"])


def long_inline_enum(n: int) -> Inputs:
    members = [f"member{i}" if i % 3 else i for i in range(n)]
    old = bundle({"M": one_model({"e": {"enum": members}})})
    new = bundle({"M": one_model({"e": {"enum": members[:-1]}})})
    return Inputs(old, new, ["Missing"])


def long_path(n: int) -> Inputs:
    segments = [f"c{i}" if i % 2 else f"{{p{i}}}" for i in range(n)]
    path = "/".join(segments)
    props = {"id": {"type": "string"}}
    old = bundle(
        {
            "M": one_model(
                props, **{"x-firestore-collection": path, "x-firestore-doc-id-field": "id"}
            )
        }
    )
    new = bundle({"M": one_model(props, **{"x-firestore-collection": path + "/x"})})
    return Inputs(old, new, ["Missing"])


def collection_chain(n: int) -> Inputs:
    """Collection models, each holding the next: the Admin SDK's Update forms look down it."""
    defs = {
        f"M{i}": one_model(
            {"next": {"$ref": f"#/$defs/M{i + 1}"}} if i + 1 < n else {"r": {}},
            **{"x-firestore-collection": f"c{i}"},
        )
        for i in range(n)
    }
    old = bundle(defs)
    defs["M0"] = one_model({}, **{"x-firestore-collection": "c0"})
    return Inputs(old, bundle(defs), ["M1"])


def deep_node(depth_left: int, i: int) -> Any:
    """Alternating anyOf and array nesting that uses up `depth_left` JSON levels."""
    node: Any = {"$ref": "#/$defs/Leaf"} if i % 2 else {"type": "string"}
    used = 1
    level = 0
    while used < depth_left:
        if level % 2 and used + 2 <= depth_left:
            node = {"anyOf": [node, {"type": "null"}, {"const": level}]}
            used += 2
        else:
            node = {"type": "array", "items": node}
            used += 1
        level += 1
    return node


def deep_nodes(n: int) -> Inputs:
    # root, $defs, the model, properties: four levels before each property's own.
    props = {f"p{i:05d}": deep_node(MAX_DEPTH - 4, i) for i in range(n)}
    defs = {"Leaf": {"enum": ["x"]}, "M": one_model(props)}
    old = bundle(defs)
    props["p00000"] = {"type": "string"}
    return Inputs(old, bundle(defs), ["Leaf"])


FAMILIES: list[tuple[str, str, Callable[[int], Inputs], int]] = [
    # name, what doubles, builder, first size
    ("definitions", "models", wide_defs, 125),
    ("one wide model", "properties", wide_model, 4000),
    ("long union", "anyOf members", long_union, 6250),
    ("long mixed union", "anyOf members", long_mixed_union, 6250),
    ("enum definition", "members", long_enum_definition, 6250),
    ("inline enum", "members", long_inline_enum, 6250),
    ("collection path", "segments", long_path, 1000),
    ("127-level nesting", "deep properties", deep_nodes, 16),
    ("collection chain", "models", collection_chain, 2000),
]

FUNCTIONS: list[tuple[str, Callable[[Inputs], object]]] = [
    ("emit", lambda x: brenvale.emit(x.old)),
    ("emit_shared", lambda x: brenvale.emit_shared(x.old, "./shared", x.shared)),
    ("emit_plain", lambda x: brenvale.emit_plain(x.old)),
    ("admin paths", lambda x: brenvale.emit_module(x.old, sdk="admin", update_paths=True)),
    ("compat", lambda x: brenvale.compat(x.old, x.new)),
    ("compat rules", lambda x: brenvale.compat_findings(x.old, x.new)),
]


def ignore_file(n: int) -> tuple[str, str]:
    """A report of `n` findings (every property of a model removed) and the ignore file that
    accepts each of them."""
    from brenvale import findings

    old = bundle({"M": one_model({f"p{i:06d}": {"type": "string"} for i in range(n)})})
    report = brenvale._ext.compat(old, bundle({"M": one_model({})}))
    lines, _ = findings.accept_lines(findings.parse_findings(report))
    return report, "\n".join(lines)


def judge_ignore_file(inputs: tuple[str, str]) -> object:
    from brenvale import findings

    report, text = inputs
    rules = findings.parse_ignore(text)
    judged = findings.judge("old", "new", report, rules, findings.FailOn.BREAKING)
    return judged, findings.rule_warnings(rules, (item.finding for item in judged.judged))


def best_time(run: Callable[[], object], min_time: float) -> float:
    """Fastest single run, repeating until `min_time` has passed (at least three runs)."""
    best = float("inf")
    spent = 0.0
    runs = 0
    while runs < 3 or spent < min_time:
        start = time.perf_counter()
        run()
        elapsed = time.perf_counter() - start
        best = min(best, elapsed)
        spent += elapsed
        runs += 1
    return best


def format_time(seconds: float) -> str:
    if seconds < 1e-3:
        return f"{seconds * 1e6:.0f}us"
    if seconds < 1:
        return f"{seconds * 1e3:.1f}ms"
    return f"{seconds:.2f}s"


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--min-time", type=float, default=0.2, help="seconds per measurement")
    parser.add_argument("--quick", action="store_true", help="three sizes instead of five")
    args = parser.parse_args(argv)
    steps = 3 if args.quick else 5
    header = (
        f"{'family':<18} {'doubles':<16} {'function':<12} "
        + " ".join(f"{'t' + str(i):>8}" for i in range(steps))
        + "  ratios per doubling"
        + " " * (7 * (steps - 1) - 19)
        + "  per unit"
    )
    print(header)
    print("-" * len(header))
    flagged = []
    for family, what, build, first in FAMILIES:
        sizes = [first * 2**i for i in range(steps)]
        inputs = [build(n) for n in sizes]
        for name, function in FUNCTIONS:
            times = [best_time(lambda x=x, f=function: f(x), args.min_time) for x in inputs]
            ratios = [b / a for a, b in itertools.pairwise(times)]
            marks = []
            for ratio in ratios:
                marks.append(f"{ratio:.2f}x" + ("!" if ratio > FLAG_RATIO else " "))
            if any(ratio > FLAG_RATIO for ratio in ratios):
                flagged.append(f"{family} / {name}")
            per_unit = times[-1] / times[0] / (sizes[-1] / sizes[0])
            print(
                f"{family:<18} {what:<16} {name:<12} "
                + " ".join(f"{format_time(t):>8}" for t in times)
                + "  "
                + " ".join(marks)
                + f"  {per_unit:8.2f}"
            )
        print(f"{'':<18} sizes: {', '.join(str(n) for n in sizes)}")
    sizes = [1000 * 2**i for i in range(steps)]
    files = [ignore_file(n) for n in sizes]
    times = [best_time(lambda x=x: judge_ignore_file(x), args.min_time) for x in files]
    ratios = [b / a for a, b in itertools.pairwise(times)]
    if any(ratio > FLAG_RATIO for ratio in ratios):
        flagged.append("ignore file / judge")
    print(
        f"{'ignore file':<18} {'lines, findings':<16} {'judge':<12} "
        + " ".join(f"{format_time(t):>8}" for t in times)
        + "  "
        + " ".join(f"{r:.2f}x" + ("!" if r > FLAG_RATIO else " ") for r in ratios)
        + f"  {times[-1] / times[0] / (sizes[-1] / sizes[0]):8.2f}"
    )
    print(f"{'':<18} sizes: {', '.join(str(n) for n in sizes)}")
    print()
    if flagged:
        print(f"flagged (a doubling above {FLAG_RATIO}x): " + "; ".join(flagged))
    else:
        print(f"no doubling above {FLAG_RATIO}x")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
