"""Generated TypeScript type-checks with the real compiler against the pinned Firebase SDK."""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import tempfile
from collections.abc import Callable, Iterator
from dataclasses import dataclass
from pathlib import Path

import pytest

import brenvale

ROOT = Path(__file__).resolve().parents[2]
TS_DIR = ROOT / "tests" / "typescript"
BUNDLES = TS_DIR / "bundles"

# firebase 12.19 declares Timestamp.fromInstant/toInstant with the global
# Temporal namespace, which TypeScript 5.x ships no lib for. Declaring just
# that name keeps skipLibCheck off, so the SDK's own declarations are checked.
TEMPORAL_SHIM = "declare namespace Temporal {\n  interface Instant {\n    readonly epochNanoseconds: bigint;\n  }\n}\n"

DIAGNOSTIC = re.compile(r"^(?P<file>.+?)\((?P<line>\d+),(?P<col>\d+)\): error (?P<code>TS\d+): (?P<message>.*)$")


def bundle(name: str) -> str:
    return (BUNDLES / name).read_text(encoding="utf-8")


def emitted(name: str) -> Callable[[], str]:
    return lambda: brenvale.emit(bundle(name))


def emitted_plain(name: str) -> Callable[[], str]:
    return lambda: brenvale.emit_plain(bundle(name))


def emitted_shared(name: str, shared_path: str, shared_names: list[str]) -> Callable[[], str]:
    return lambda: brenvale.emit_shared(bundle(name), shared_path, shared_names)


def without_firestore_import(render: Callable[[], str]) -> Callable[[], str]:
    def broken() -> str:
        lines = render().splitlines(keepends=True)
        return "".join(line for line in lines if 'from "firebase/firestore"' not in line)

    return broken


@dataclass(frozen=True)
class Module:
    stem: str
    render: Callable[[], str]


# Every x-firestore-type on both sides, enums, tuples, records, nested and optional models,
# placeholders, a hyphenated collection, a "doc-id" id field and alias definitions.
BLOG = Module("blog", emitted("blog.json"))

# Modules that must type-check cleanly, together with ../client.ts.
CLEAN = [
    # The worked example.
    Module("user", lambda: brenvale.emit((ROOT / "tests" / "golden" / "user.json").read_text(encoding="utf-8"))),
    BLOG,
    Module("edge", emitted("edge.json")),
    # The shared module is the plain `emit` of the shared definitions; feed imports from it.
    Module("shared", emitted("shared.json")),
    Module("feed", emitted_shared("feed.json", "./shared", ["Address", "Author", "Money", "Role"])),
    Module("orders", emitted_plain("orders_plain.json")),
    # Two collections named posts, a model named Timestamp, a plain module with Firestore types.
    Module("same_name_paths", emitted("same_name_paths.json")),
    Module("sdk_name_clash", emitted("sdk_name_clash.json")),
    Module("blog_plain", emitted_plain("blog.json")),
]


def hostile_modules() -> list[Module]:
    """emit, emit_plain and emit_shared (importing every other definition from the emit module)
    of each hostile-name bundle that tools/gen_hostile_corpus.py writes."""
    modules = []
    for path in sorted((TS_DIR / "corpus").glob("*.json")):
        text = path.read_text(encoding="utf-8")
        shared = list(json.loads(text)["$defs"])[1::2]
        modules += [
            Module(f"{path.stem}_emit", lambda t=text: brenvale.emit(t)),
            Module(f"{path.stem}_plain", lambda t=text: brenvale.emit_plain(t)),
            Module(f"{path.stem}_shared",
                   lambda t=text, s=path.stem, n=shared: brenvale.emit_shared(t, f"./{s}_emit", n)),
        ]
    return modules


def references(node: object) -> Iterator[str]:
    """The name of every `$ref` (its last segment) and reference target under `node`."""
    items = node.items() if isinstance(node, dict) else enumerate(node) if isinstance(node, list) else []
    for key, value in items:
        if key in ("$ref", "x-firestore-ref-target") and isinstance(value, str):
            yield value.rsplit("/", 1)[-1] if key == "$ref" else value
        else:
            yield from references(value)


def dangles(stem: str) -> bool:
    """Does the bundle refer to a definition it does not contain?"""
    defs = json.loads((TS_DIR / "corpus" / f"{stem.rsplit('_', 1)[0]}.json").read_text(encoding="utf-8"))["$defs"]
    return not set(references(defs)) <= set(defs)


HOSTILE = hostile_modules()


@dataclass(frozen=True)
class KnownBroken:
    module: Module
    codes: frozenset[str]
    reason: str


# Generated code that does not compile today; each is reported to the emitter's owner.
KNOWN_BROKEN = [
    KnownBroken(
        Module(
            "nested_update",
            lambda: 'import type { PostUpdate } from "@generated/blog";\n'
            'export const patch: PostUpdate = { "address.city": "Paris" };\n',
        ),
        frozenset({"TS2353"}),
        "models are interfaces, which UpdateData does not expand into dotted paths: TS2353 on 'address.city'",
    ),
]
KNOWN_BROKEN_FILES = {f"{known.module.stem}.ts" for known in KNOWN_BROKEN}

# Deliberately broken inputs: the check has to reject each with these diagnostics.
MUST_FAIL = [
    Module("blog_no_import", without_firestore_import(BLOG.render)),
]

REJECTIONS = [
    ("blog_no_import.ts", "TS2304", "Cannot find name 'Timestamp'."),
    ("blog_no_import.ts", "TS2304", "Cannot find name 'FirestoreDataConverter'."),
    ("../broken.ts", "TS2322", "Type 'Post' is not assignable to type 'PostWrite'."),
    ("../broken.ts", "TS2322", "Type 'number' is not assignable to type"),
    ("../broken.ts", "TS2554", "Expected 1 arguments, but got 0."),
]


@dataclass(frozen=True)
class Diagnostic:
    position: str
    code: str
    message: str

    def __str__(self) -> str:
        return f"{self.position} {self.code}: {self.message}"


@dataclass
class Run:
    returncode: int
    output: str
    diagnostics: dict[str, list[Diagnostic]]


@dataclass
class Stage:
    clean: Run
    failing: Run
    hostile: Run
    loaded: dict[str, list[str]]


def require_toolchain() -> None:
    missing = [tool for tool in ("node", "npm") if shutil.which(tool) is None]
    if missing:
        reason = f"{' and '.join(missing)} not on PATH: the generated TypeScript cannot be type-checked"
        if os.environ.get("CI") == "true":
            pytest.fail(reason)
        pytest.skip(reason)


def write_program(folder: Path, name: str, modules: list[Module], extra: list[str]) -> list[str]:
    files = ["temporal.d.ts"]
    for module in modules:
        (folder / f"{module.stem}.ts").write_text(module.render(), encoding="utf-8")
        files.append(f"{module.stem}.ts")
    config = {
        "extends": "../tsconfig.json",
        # Hand-written files import generated modules by this alias, wherever the folder is.
        "compilerOptions": {"paths": {"@generated/*": ["./*"]}},
        "files": files + extra,
    }
    (folder / name).write_text(json.dumps(config, indent=2), encoding="utf-8")
    return ["--project", name, "--pretty", "false"]


def parse(folder: Path, output: str) -> dict[str, list[Diagnostic]]:
    found: dict[str, list[Diagnostic]] = {}
    for line in output.splitlines():
        match = DIAGNOSTIC.match(line)
        if match:
            key = os.path.relpath(os.path.normpath(folder / match["file"]), folder)
            diagnostic = Diagnostic(f"{match['line']}:{match['col']}", match["code"], match["message"])
            found.setdefault(key, []).append(diagnostic)
    return found


def listing(diagnostics: list[Diagnostic]) -> str:
    return "\n".join(map(str, diagnostics))


@pytest.fixture(scope="session")
def stage() -> Iterator[Stage]:
    require_toolchain()
    install = subprocess.run(
        ["bash", str(TS_DIR / "install.sh")], capture_output=True, text=True, timeout=600, check=False
    )
    assert install.returncode == 0, f"install.sh failed:\n{install.stdout}\n{install.stderr}"
    tsc = TS_DIR / "node_modules" / ".bin" / "tsc"

    # Inside tests/typescript so the generated modules resolve its node_modules.
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".generated-") as tmp:
        folder = Path(tmp)
        (folder / "temporal.d.ts").write_text(TEMPORAL_SHIM, encoding="utf-8")
        clean_args = write_program(folder, "tsconfig.clean.json", CLEAN, ["../client.ts"])
        failing_modules = [known.module for known in KNOWN_BROKEN] + MUST_FAIL + [BLOG]
        failing_args = write_program(folder, "tsconfig.failing.json", failing_modules, ["../broken.ts"])
        hostile_args = write_program(folder, "tsconfig.hostile.json", HOSTILE, [])

        # Programs checked side by side: one must pass, one must not, one may only dangle.
        procs = [
            subprocess.Popen([str(tsc), *args], cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            for args in (clean_args, failing_args, hostile_args)
        ]
        runs = []
        for proc in procs:
            output, _ = proc.communicate(timeout=300)
            runs.append(Run(proc.returncode, output, parse(folder, output)))
        files = [f"{module.stem}.ts" for module in HOSTILE]
        load = subprocess.run(["node", str(TS_DIR / "hostile.mjs"), *files], cwd=folder, capture_output=True,
                              text=True, timeout=300, check=True)
        yield Stage(clean=runs[0], failing=runs[1], hostile=runs[2], loaded=json.loads(load.stdout))


def test_clean_program_passes(stage: Stage) -> None:
    assert (stage.clean.returncode, stage.clean.output) == (0, "")


@pytest.mark.parametrize(
    "file",
    [f"{module.stem}.ts" for module in CLEAN]
    + ["../client.ts"]
    + [
        pytest.param(
            f"{known.module.stem}.ts",
            marks=pytest.mark.xfail(strict=True, reason=known.reason),
            id=known.module.stem,
        )
        for known in KNOWN_BROKEN
    ],
)
def test_module_type_checks(stage: Stage, file: str) -> None:
    run = stage.failing if file in KNOWN_BROKEN_FILES else stage.clean
    assert listing(run.diagnostics.get(file, [])) == ""


# Keeps the xfail reasons honest: a known-broken module fails only in the reported way.
@pytest.mark.parametrize("known", KNOWN_BROKEN, ids=lambda known: known.module.stem)
def test_known_breakage_is_as_reported(stage: Stage, known: KnownBroken) -> None:
    reported = stage.failing.diagnostics.get(f"{known.module.stem}.ts", [])
    assert {diagnostic.code for diagnostic in reported} == known.codes, listing(reported)


def test_broken_program_fails(stage: Stage) -> None:
    assert stage.failing.returncode != 0
    expected_files = KNOWN_BROKEN_FILES | {f"{module.stem}.ts" for module in MUST_FAIL} | {"../broken.ts"}
    assert set(stage.failing.diagnostics) == expected_files, stage.failing.output


@pytest.mark.parametrize(("file", "code", "message"), REJECTIONS)
def test_broken_module_rejected(stage: Stage, file: str, code: str, message: str) -> None:
    reported = stage.failing.diagnostics.get(file, [])
    assert any(d.code == code and d.message.startswith(message) for d in reported), listing(reported)


@pytest.mark.parametrize("stem", [module.stem for module in HOSTILE])
def test_hostile_names_compile_and_load_clean(stage: Stage, stem: str) -> None:
    reported = stage.hostile.diagnostics.get(f"{stem}.ts", [])
    allowed = {"TS2304", "TS2552"} if dangles(stem) else set()
    assert [str(d) for d in reported if d.code not in allowed] == []
    assert stage.loaded[f"{stem}.ts"] == []
