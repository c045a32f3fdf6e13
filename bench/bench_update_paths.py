"""Times tsc on --update-paths modules of deep and recursive models: the depth bound's cost.

    python bench/bench_update_paths.py [--depth 16] [--width 2] [--sdk web]

Writes, into a temporary folder inside tests/typescript (so the pinned SDKs resolve), the module
of a chain of `--depth` nested models, each holding `--width` fields of the next, and of a model
that refers to itself; then runs the pinned tsc once per module and prints its wall and CPU time
and exit code. Target: under 5 s of tsc for the chain of 16 at width 2.
"""

from __future__ import annotations

import argparse
import json
import resource
import subprocess
import tempfile
import time
from pathlib import Path

import brenvale

TS_DIR = Path(__file__).resolve().parents[1] / "tests" / "typescript"


def chain(depth: int, width: int) -> dict[str, object]:
    defs: dict[str, object] = {}
    for level in range(depth):
        properties: dict[str, object] = {"name": {"type": "string"}}
        if level + 1 < depth:
            for i in range(width):
                properties[f"next{i}"] = {"$ref": f"#/$defs/Level{level + 1}"}
        defs[f"Level{level}"] = {"type": "object", "properties": properties}
    defs["Level0"]["x-firestore-collection"] = "levels"  # type: ignore[index]
    return {"$defs": defs}


def recursive() -> dict[str, object]:
    node = {
        "type": "object",
        "x-firestore-collection": "nodes",
        "properties": {
            "name": {"type": "string"},
            "parent": {"anyOf": [{"$ref": "#/$defs/Node"}, {"type": "null"}]},
            "children": {"type": "array", "items": {"$ref": "#/$defs/Node"}},
            "byName": {"type": "object", "additionalProperties": {"$ref": "#/$defs/Node"}},
        },
    }
    return {"$defs": {"Node": node}}


# A use of the Update type, so that tsc expands it: a path two levels down.
USES = {
    "chain": 'import type { Level0Update } from "./chain";\n'
    'export const u: Level0Update = { "next1.next0.name": "x" };\n'
    "// @ts-expect-error a path the model does not have\n"
    'export const v: Level0Update = { "next1.next0.nam": "x" };\n',
    "recursive": 'import type { NodeUpdate } from "./recursive";\n'
    'export const u: NodeUpdate = { "parent.parent.name": "x" };\n',
}


def tsc(folder: Path, stem: str, source: str) -> tuple[float, float, int, str]:
    (folder / f"{stem}.ts").write_text(source, encoding="utf-8")
    (folder / f"{stem}_use.ts").write_text(USES[stem], encoding="utf-8")
    files = ["../temporal.d.ts", f"{stem}.ts", f"{stem}_use.ts"]
    config = {"extends": "../tsconfig.json", "files": files}
    (folder / f"{stem}.json").write_text(json.dumps(config), encoding="utf-8")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(
        [TS_DIR / "node_modules" / ".bin" / "tsc", "-p", f"{stem}.json", "--pretty", "false"],
        cwd=folder,
        capture_output=True,
        text=True,
        check=False,
    )
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    return wall, cpu, done.returncode, done.stdout.splitlines()[0] if done.stdout else ""


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--depth", type=int, default=16)
    parser.add_argument("--width", type=int, default=2)
    parser.add_argument("--sdk", default="web")
    args = parser.parse_args()
    bundles = {"chain": chain(args.depth, args.width), "recursive": recursive()}
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".bench-") as tmp:
        for stem, bundle in bundles.items():
            module = brenvale.emit_module(json.dumps(bundle), update_paths=True, sdk=args.sdk)
            wall, cpu, code, first = tsc(Path(tmp), stem, module)
            print(f"{stem}: tsc {wall:.2f} s wall, {cpu:.2f} s CPU, exit {code} {first}")


if __name__ == "__main__":
    main()
