"""Two or more builds side by side in one run: each output's time as a fraction of json.loads.

    python bench/bench_builds.py 20b196e 14c4685 WORKTREE [--models 4000] [--rounds 9]

Each build is made by tools/compare_builds.py (a venv per commit, reused) and its extension
modules are loaded into this process under names of their own, so every build runs on the same
text, in the same process, in alternation: each round times every build once per function,
in a rotating order, and the best round counts. The stress bundle is bench/make_bundle.py's
(4000 models, about 28.5 MB indented, as bench/bench_emit.py builds it); json.loads is timed in
the same rounds with the collector off. Small bundles (the examples) are timed per call, for
every function, the builds again in alternation, over five times the rounds.

--memory N runs each of emit, emit_plain and zod of each build in a process of its own on a
bundle of N small definitions and prints its peak memory over (input + output); and _core.compat
of that bundle against a copy with every field renamed, over (both inputs + report).

--instructions counts, with valgrind's cachegrind, the instructions each build executes per call
on each example bundle: unlike time, the count is the same from run to run and machine load
leaves it alone, so builds a few percent apart can be told apart on a busy machine. Each count
is the difference of two runs of a process of its own, 10 and 110 calls.
"""

from __future__ import annotations

import argparse
import gc
import importlib.machinery
import importlib.util
import json
import os
import re
import subprocess
import sys
import time
from collections.abc import Callable
from pathlib import Path
from types import ModuleType
from typing import Any

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "bench"))
sys.path.insert(0, str(ROOT / "tools"))

import compare_builds  # noqa: E402
from make_bundle import make_bundle  # noqa: E402

# The outputs measured, by the native function each build offers for it (None: not there).
Call = Callable[[str], Any]


def load(site: Path, label: str, name: str) -> ModuleType | None:
    """The build's extension module `name`, imported as `{label}.{name}`."""
    found = sorted((site / "brenvale").glob(name + ".*.so"))
    if not found:
        return None
    loader = importlib.machinery.ExtensionFileLoader(f"bench_{label}.{name}", str(found[0]))
    module_spec = importlib.util.spec_from_file_location(
        f"bench_{label}.{name}", found[0], loader=loader
    )
    assert module_spec is not None
    module = importlib.util.module_from_spec(module_spec)
    loader.exec_module(module)
    return module


def site_packages(python: Path) -> Path:
    result = subprocess.run(
        [str(python), "-c", "import sysconfig; print(sysconfig.get_paths()['purelib'])"],
        check=True,
        capture_output=True,
        text=True,
    )
    return Path(result.stdout.strip())


def calls(core: ModuleType, ext: ModuleType | None) -> dict[str, Call]:
    found: dict[str, Call] = {
        "emit": core.emit,
        "emit_plain": core.emit_plain,
        "_core.compat": lambda text: core.compat(text, text),
    }
    if ext is not None and hasattr(ext, "zod"):
        found["zod"] = ext.zod
    elif ext is not None and "zod" in getattr(ext, "KINDS", ()):
        found["zod"] = lambda text: ext.emit(text, "zod")
    if ext is not None and hasattr(ext, "compat"):
        found["_ext.compat"] = lambda text: ext.compat(text, text)
    return found


def timed(call: Call, text: str, batch: int) -> float:
    """Time per call of `batch` calls in a row."""
    start = time.perf_counter()
    for _ in range(batch):
        call(text)
    return (time.perf_counter() - start) / batch


def interleaved(
    builds: dict[str, dict[str, Call]], text: str, rounds: int, batch: int = 1, loads: bool = True
) -> dict[str, float]:
    """Best time per call of json.loads (with `loads`) and of every (build, function), in
    alternation: each round takes the builds in a rotated order."""
    best: dict[str, float] = {}
    labels = list(builds)
    gc.collect()
    gc.disable()
    try:
        for round_index in range(rounds):
            order = labels[round_index % len(labels) :] + labels[: round_index % len(labels)]
            entries = [("json.loads", json.loads)] if loads else []
            entries += [
                (f"{label} {name}", call) for label in order for name, call in builds[label].items()
            ]
            for key, call in entries:
                best[key] = min(best.get(key, float("inf")), timed(call, text, batch))
    finally:
        gc.enable()
    return best


# A round on a small bundle takes milliseconds, where one stall of a busy machine moves the
# figure by tens of percent: small bundles get this many times the rounds.
SMALL_ROUNDS = 5


def per_call(builds: dict[str, dict[str, Call]], text: str, rounds: int) -> dict[str, float]:
    """Best time per call of every (build, function) on a small bundle, calls batched."""
    batch = max(1, 200_000 // max(1, len(text)))
    return interleaved(builds, text, rounds * SMALL_ROUNDS, batch, loads=False)


# The peak is the high-water mark of the process's own memory since exec (VmHWM). ru_maxrss would
# not do: Linux carries it across exec, so a child spawned by this (large) process would report
# this process's size whenever that is the larger.
MEMORY_CHILD = r"""
import json, resource, sys
sys.path.insert(0, sys.argv[1])

def peak_bytes():
    try:
        with open("/proc/self/status", encoding="ascii") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024

from brenvale import _core
try:
    from brenvale import _ext
except ImportError:
    _ext = None
text = open(sys.argv[2], encoding="utf-8").read()
if sys.argv[3] == "compat":
    renamed = open(sys.argv[4], encoding="utf-8").read()
    out = _core.compat(text, renamed)
    peak = peak_bytes()
    print(json.dumps([peak, len(text.encode()) + len(renamed.encode()), len(out.encode())]))
    sys.exit(0)
zod = getattr(_ext, "zod", None)
if zod is None and "zod" in getattr(_ext, "KINDS", ()):
    zod = lambda text: _ext.emit(text, "zod")
function = {"emit": _core.emit, "emit_plain": _core.emit_plain, "zod": zod}
call = function[sys.argv[3]]
if call is None:
    print(json.dumps(None))
else:
    out = call(text)
    peak = peak_bytes()
    print(json.dumps([peak, len(text.encode()), len(out.encode())]))
"""


def small_definitions(count: int, suffix: str = "") -> str:
    """A bundle of `count` small models, a third of them collections; `suffix` renames every
    field."""
    defs: dict[str, Any] = {}
    for i in range(count):
        defs[f"M{i}"] = {
            "type": "object",
            "properties": {"name" + suffix: {"type": "string"}, "n" + suffix: {"type": "integer"}},
            "required": ["name" + suffix],
            **({"x-firestore-collection": f"m{i}"} if i % 3 == 0 else {}),
        }
    return json.dumps({"$defs": defs})


def memory(sites: dict[str, Path], count: int, scratch: Path) -> None:
    path = scratch / f"small_{count}.json"
    path.write_text(small_definitions(count), encoding="utf-8")
    renamed = scratch / f"small_{count}_renamed.json"
    renamed.write_text(small_definitions(count, "_renamed"), encoding="utf-8")
    print(f"\npeak memory / (input + output), {count} small definitions")
    for function in ("emit", "emit_plain", "zod", "compat"):
        row = []
        for label, site in sites.items():
            result = subprocess.run(
                [sys.executable, "-c", MEMORY_CHILD, str(site), str(path), function, str(renamed)],
                check=True,
                capture_output=True,
                text=True,
                cwd=scratch,
            )
            measured = json.loads(result.stdout)
            if measured is None:
                row.append(f"{label}: -")
                continue
            peak, size_in, size_out = measured
            row.append(f"{label}: {peak / (size_in + size_out):4.2f}x ({peak / 1e6:6.0f} MB)")
        print(f"  {function:<11} " + "   ".join(row))


def example_bundles() -> list[Path]:
    """The example apps' bundles, the small bundles every figure per call is taken on."""
    return sorted((ROOT / "examples").rglob("contract.json"))


# Calls one function of the build at argv[1] on the bundle at argv[2], argv[4] times.
COUNT_CHILD = r"""
import sys
sys.path.insert(0, sys.argv[1])
from brenvale import _core
text = open(sys.argv[2], encoding="utf-8").read()
call = {
    "emit": _core.emit,
    "emit_plain": _core.emit_plain,
    "_core.compat": lambda text: _core.compat(text, text),
}[sys.argv[3]]
for _ in range(int(sys.argv[4])):
    call(text)
"""


def instructions_run(site: Path, bundle: Path, function: str, calls_made: int) -> int:
    """Instructions a child process executes, with `calls_made` calls of `function`."""
    result = subprocess.run(
        [
            "valgrind",
            "--tool=cachegrind",
            "--cache-sim=no",
            "--cachegrind-out-file=/dev/null",
            sys.executable,
            "-c",
            COUNT_CHILD,
            str(site),
            str(bundle),
            function,
            str(calls_made),
        ],
        check=True,
        capture_output=True,
        text=True,
        # Python's string hashes are salted per process, which moves its own count by thousands.
        env={**os.environ, "PYTHONHASHSEED": "0"},
    )
    found = re.search(r"I\s+refs:\s+([\d,]+)", result.stderr)
    if found is not None:
        return int(found.group(1).replace(",", ""))
    raise RuntimeError(f"no instruction count from cachegrind:\n{result.stderr}")


def instructions(sites: dict[str, Path]) -> None:
    print("\ninstructions per call on the example bundles (cachegrind, 110 calls less 10)")
    print(f"  {'':<13}" + "".join(f"{label:>14}" for label in sites))
    for path in example_bundles():
        print(f"  {path.relative_to(ROOT)!s}")
        for function in ("emit", "emit_plain", "_core.compat"):
            cells = []
            for site in sites.values():
                few = instructions_run(site, path, function, 10)
                many = instructions_run(site, path, function, 110)
                cells.append(f"{(many - few) / 100:14.0f}")
            print(f"    {function:<11}" + "".join(cells))


def row(
    builds: dict[str, Any], times: dict[str, float], name: str, shown: Callable[[float], str]
) -> str:
    """A table row: each build's time for `name` as `shown` writes it, `-` where it has none."""
    cells = [times.get(f"{label} {name}") for label in builds]
    return "".join(shown(took) if took is not None else f"{'-':>14}" for took in cells)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("builds", nargs="+", help="revisions, or WORKTREE")
    parser.add_argument("--models", type=int, default=4000)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--memory", type=int, nargs="*", default=[], help="definition counts")
    parser.add_argument("--cache", type=Path, default=ROOT / "build" / "compare")
    parser.add_argument(
        "--instructions", action="store_true", help="also count instructions per call"
    )
    arguments = parser.parse_args()
    cache: Path = arguments.cache.resolve()
    cache.mkdir(parents=True, exist_ok=True)

    sites: dict[str, Path] = {}
    builds: dict[str, dict[str, Call]] = {}
    for revision in arguments.builds:
        resolved = compare_builds.resolve(revision)
        label = revision
        site = site_packages(compare_builds.build(resolved, cache))
        core = load(site, label.replace("-", "_"), "_core")
        assert core is not None, f"no _core in {site}"
        sites[label] = site
        builds[label] = calls(core, load(site, label.replace("-", "_"), "_ext"))

    text = json.dumps(make_bundle(arguments.models), indent=2)
    best = interleaved(builds, text, arguments.rounds)
    loads = best["json.loads"]
    size = len(text.encode()) / 1e6
    print(
        f"stress bundle: {arguments.models} models, {size:.1f} MB; json.loads {loads * 1e3:.1f} ms"
    )
    print(f"best of {arguments.rounds} interleaved rounds, as a fraction of json.loads (gc off)")
    names = sorted({name for functions in builds.values() for name in functions})
    print(f"  {'':<13}" + "".join(f"{label:>14}" for label in builds))
    for name in names:
        print(f"  {name:<13}" + row(builds, best, name, lambda took: f"{took / loads:14.3f}"))

    small_rounds = arguments.rounds * SMALL_ROUNDS
    print(f"\nper call on the example bundles, best of {small_rounds} rounds (µs)")
    for path in example_bundles():
        small = path.read_text(encoding="utf-8")
        times = per_call(builds, small, arguments.rounds)
        print(f"  {path.relative_to(ROOT)!s} ({len(small) / 1e3:.1f} KB)")
        for name in names:
            print(f"    {name:<11}" + row(builds, times, name, lambda took: f"{took * 1e6:14.2f}"))

    if arguments.instructions:
        instructions(sites)

    if arguments.memory:
        scratch = cache / "memory"
        scratch.mkdir(exist_ok=True)
        for count in arguments.memory:
            memory(sites, count, scratch)


if __name__ == "__main__":
    main()
