"""Generated TypeScript type-checks with the real compiler against the pinned Firebase SDK, and loads clean."""

import json
import re
import shutil
import subprocess
import tempfile
from collections.abc import Iterator
from pathlib import Path

import pytest

import brenvale

ROOT = Path(__file__).resolve().parents[2]
TS_DIR = ROOT / "tests" / "typescript"
KINDS = ("emit", "plain", "shared", "emit_jsdoc", "plain_jsdoc", "emit_admin", "zod")
DIAGNOSTIC = re.compile(
    rf"(?P<file>.+?)_({'|'.join(KINDS)})\.ts\(\d+,\d+\): error (?P<code>TS\d+): "
)


def text(path: Path) -> str:
    return path.read_text(encoding="utf-8")


def clean_modules() -> dict[str, str]:
    """Modules that must type-check with ../client.ts and the example apps' clients, which import ./contract."""
    bundle = {path.stem: text(path) for path in (TS_DIR / "bundles").glob("*.json")}
    return {
        "user": brenvale.emit(text(ROOT / "tests" / "golden" / "user.json")),  # the worked example
        "app/contract": brenvale.emit(text(ROOT / "examples" / "contract.json")),
        "chat/contract": brenvale.emit(text(ROOT / "examples" / "chat" / "contract.json")),
        "chat/schemas": brenvale.emit_zod(text(ROOT / "examples" / "chat" / "contract.json")),
        # Every x-firestore-type on both sides, enums, tuples, records, nested and optional models,
        # placeholders, a hyphenated collection, a "doc-id" id field and alias definitions.
        "blog": brenvale.emit(bundle["blog"]),
        "blog_plain": brenvale.emit_plain(bundle["blog"]),
        "edge": brenvale.emit(bundle["edge"]),
        # The shared module is the plain `emit` of the shared definitions; feed imports from it.
        "shared": brenvale.emit(bundle["shared"]),
        "feed": brenvale.emit_shared(
            bundle["feed"], "./shared", ["Address", "Author", "Money", "Role"]
        ),
        "orders": brenvale.emit_plain(bundle["orders_plain"]),
        # Two collections named posts; a model named Timestamp, a plain module with Firestore types.
        "same_name_paths": brenvale.emit(bundle["same_name_paths"]),
        "sdk_name_clash": brenvale.emit(bundle["sdk_name_clash"]),
    }


SOURCES = {
    "user": ROOT / "tests" / "golden" / "user.json",
    "app/contract": ROOT / "examples" / "contract.json",
    "chat/contract": ROOT / "examples" / "chat" / "contract.json",
    **{
        stem: TS_DIR / "bundles" / f"{stem}.json"
        for stem in ("blog", "edge", "shared", "same_name_paths", "sdk_name_clash", "orders_plain")
    },
}


def option_modules(suffix: str, **options: bool | str) -> dict[str, str]:
    """Every Firestore module above again in an opt-in form (and, with JSDoc, the plain ones)."""
    modules = {
        f"{stem}{suffix}": brenvale.emit_module(text(path), **options)
        for stem, path in SOURCES.items()
        if stem != "orders_plain"
    }
    modules[f"feed{suffix}"] = brenvale.emit_module(
        text(TS_DIR / "bundles" / "feed.json"),
        f"./shared{suffix}",
        ["Address", "Author", "Money", "Role"],
        **options,
    )
    if options.get("jsdoc"):
        for stem in ("blog", "orders_plain"):
            modules[f"{stem}_plain{suffix}"] = brenvale.emit_plain_module(
                text(SOURCES[stem]), jsdoc=True
            )
    return modules


def references(node: object) -> set[str]:
    """The definition names that the `$ref`s and reference targets under `node` point to."""
    items = (
        node.items()
        if isinstance(node, dict)
        else enumerate(node)
        if isinstance(node, list)
        else []
    )
    return set().union(
        *(
            {value.rsplit("/", 1)[-1]}
            if key in ("$ref", "x-firestore-ref-target") and isinstance(value, str)
            else references(value)
            for key, value in items
        )
    )


# The hostile-name bundles (tools/gen_hostile_corpus.py writes them), and those that refer to a
# definition they lack, whose modules may leave just that name undefined (TS2304, TS2552).
CORPUS = {path.stem: text(path) for path in sorted((TS_DIR / "corpus").glob("*.json"))}
DANGLING = {
    stem
    for stem, source in CORPUS.items()
    if not references(defs := json.loads(source)["$defs"]) <= set(defs)
}


def hostile_modules() -> dict[str, str]:
    """emit, emit_plain, emit_shared (importing every other definition from the emit module) of each bundle,
    the first two with JSDoc, and emit for the Admin SDK."""
    return {
        name: source
        for stem, bundle in CORPUS.items()
        for name, source in {
            f"{stem}_emit": brenvale.emit(bundle),
            f"{stem}_plain": brenvale.emit_plain(bundle),
            f"{stem}_shared": brenvale.emit_shared(
                bundle, f"./{stem}_emit", list(json.loads(bundle)["$defs"])[1::2]
            ),
            f"{stem}_emit_jsdoc": brenvale.emit_module(bundle, jsdoc=True),
            f"{stem}_plain_jsdoc": brenvale.emit_plain_module(bundle, jsdoc=True),
            f"{stem}_emit_admin": brenvale.emit_module(bundle, sdk="admin"),
            f"{stem}_zod": brenvale.emit_zod(bundle, f"./{stem}_emit"),
        }.items()
    }


def program(
    folder: Path, name: str, modules: dict[str, str], extra: list[str]
) -> subprocess.Popen[str]:
    for stem, source in modules.items():
        (folder / f"{stem}.ts").parent.mkdir(exist_ok=True)
        (folder / f"{stem}.ts").write_text(source, encoding="utf-8")
    # Hand-written files import generated modules by this alias, wherever the folder is.
    config = {
        "extends": "../tsconfig.json",
        "compilerOptions": {"paths": {"@generated/*": ["./*"]}},
        "files": ["../temporal.d.ts", *(f"{stem}.ts" for stem in modules), *extra],
    }
    (folder / name).write_text(json.dumps(config), encoding="utf-8")
    return subprocess.Popen(
        [TS_DIR / "node_modules" / ".bin" / "tsc", "--project", name, "--pretty", "false"],
        cwd=folder,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
    )


@pytest.fixture(scope="module")
def stage() -> Iterator[dict[str, object]]:
    if shutil.which("npm") is None:
        pytest.skip("npm not on PATH: the generated TypeScript cannot be type-checked")
    install = subprocess.run(
        ["bash", TS_DIR / "install.sh"], capture_output=True, text=True, check=False
    )
    assert install.returncode == 0, f"install.sh failed:\n{install.stdout}\n{install.stderr}"
    # Inside tests/typescript so the generated modules resolve its node_modules.
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".generated-") as tmp:
        folder, hostile = Path(tmp), hostile_modules()
        modules = (
            clean_modules()
            | option_modules("_paths", update_paths=True)
            | option_modules("_jsdoc", jsdoc=True)
        )
        modules |= option_modules("_admin", sdk="admin")
        # Every bundle's zod module; its declared types prove it against the Firestore module of the same bundle.
        modules |= {
            f"{stem}_zod{kind}": brenvale.emit_zod(
                text(path), f"./{stem.rsplit('/')[-1]}_zod_types"
            )
            if kind == ""
            else brenvale.emit(text(path))
            for stem, path in {
                **SOURCES,
                "zoo": ROOT / "examples" / "zoo" / "contract.json",
            }.items()
            for kind in ("", "_types")
        }
        examples = ["app/client.ts", "chat/client.ts", "chat/server.ts"]
        clean = program(
            folder, "clean.json", modules, ["../client.ts", "../update_paths.ts", *examples]
        )
        for example in examples:
            shutil.copyfile(ROOT / "examples" / example, folder / example)
        checks = [clean, program(folder, "hostile.json", hostile, [])]  # checked side by side
        load = subprocess.run(
            ["node", TS_DIR / "hostile.mjs", *(f"{stem}.ts" for stem in hostile)],
            cwd=folder,
            capture_output=True,
            text=True,
            check=True,
        )
        outputs = [check.communicate(timeout=600)[0] for check in checks]
        yield {
            "clean": (clean.returncode, outputs[0]),
            "hostile": outputs[1],
            "loaded": json.loads(load.stdout),
        }


def test_clean_program_type_checks(stage: dict[str, object]) -> None:
    assert stage["clean"] == (0, "")


def test_hostile_names_compile_and_load_clean(stage: dict[str, object]) -> None:
    unexpected = [
        line
        for line in str(stage["hostile"]).splitlines()
        if not line.startswith(" ")
        and not (
            (found := DIAGNOSTIC.match(line))
            and found["file"] in DANGLING
            and found["code"] in ("TS2304", "TS2552")
        )
    ]
    assert unexpected == []
    assert stage["loaded"] == {f"{stem}_{kind}.ts": [] for stem in CORPUS for kind in KINDS}
