"""Generated TypeScript type-checks with the real compiler against the pinned Firebase SDK, and
loads clean."""

import json
import re
import shutil
import subprocess
import tempfile
from collections.abc import Iterator
from pathlib import Path
from typing import Any
from urllib.parse import unquote

import pytest

import brenvale

ROOT = Path(__file__).resolve().parents[2]
TS_DIR = ROOT / "tests" / "typescript"
DATA = Path(__file__).resolve().parents[1] / "data" / "typescript_modules.json"
MODULES = json.loads(DATA.read_text(encoding="utf-8"))
KINDS = ("emit", "plain", "shared", "emit_jsdoc", "plain_jsdoc", "emit_admin", "zod", "zod_admin")
DIAGNOSTIC = re.compile(
    rf"(?P<file>.+?)_({'|'.join(KINDS)})\.ts\(\d+,\d+\): error (?P<code>TS\d+): "
)


def text(path: Path) -> str:
    return path.read_text(encoding="utf-8")


# The module of one entry of the data file: its emit function on its bundle, args and options.
def generate(entry: dict[str, Any]) -> str:
    emit = getattr(brenvale, entry["emit"])
    bundle = text(ROOT / MODULES["bundles"][entry["bundle"]])
    module: str = emit(bundle, *entry.get("args", []), **entry.get("options", {}))
    return module


def references(node: object) -> set[str]:
    """The definition names that the `$ref`s and reference targets under `node` point to."""
    found: set[str] = set()
    if isinstance(node, list):
        for item in node:
            found |= references(item)
    if isinstance(node, dict):
        for key, value in node.items():
            if key == "x-firestore-ref-target" and isinstance(value, str):
                found.add(value)
            elif key == "$ref" and isinstance(value, str):
                # The pointer's last segment, unescaped as the core reads it (the corpus escapes
                # `~`, `/` and `%` in its names).
                found.add(unquote(value.rsplit("/", 1)[-1]).replace("~1", "/").replace("~0", "~"))
            else:
                found |= references(value)
    return found


# The hostile-name bundles (tools/gen_hostile_corpus.py writes them), and those that refer to a
# definition they lack, whose modules may leave just that name undefined (TS2304, TS2552).
CORPUS = {path.stem: text(path) for path in sorted((TS_DIR / "corpus").glob("*.json"))}


def is_dangling(source: str) -> bool:
    defs = json.loads(source)["$defs"]
    return not references(defs) <= set(defs)


DANGLING = {stem for stem, source in CORPUS.items() if is_dangling(source)}


def hostile_modules() -> dict[str, str]:
    """emit, emit_plain, emit_shared (importing every other definition from the emit module) of
    each bundle, the first two with JSDoc, emit for the Admin SDK, and zod for both SDKs."""
    modules = {}
    for stem, bundle in CORPUS.items():
        others = list(json.loads(bundle)["$defs"])[1::2]
        modules[f"{stem}_emit"] = brenvale.emit(bundle)
        modules[f"{stem}_plain"] = brenvale.emit_plain(bundle)
        modules[f"{stem}_shared"] = brenvale.emit_shared(bundle, f"./{stem}_emit", others)
        modules[f"{stem}_emit_jsdoc"] = brenvale.emit_module(bundle, jsdoc=True)
        modules[f"{stem}_plain_jsdoc"] = brenvale.emit_plain_module(bundle, jsdoc=True)
        modules[f"{stem}_emit_admin"] = brenvale.emit_module(bundle, sdk="admin")
        modules[f"{stem}_zod"] = brenvale.emit_zod(bundle, f"./{stem}_emit")
        admin = f"./{stem}_emit_admin"
        modules[f"{stem}_zod_admin"] = brenvale.emit_module(
            bundle, "zod", "admin", contract_path=admin
        )
    return modules


def program(
    folder: Path,
    name: str,
    modules: dict[str, str],
    extra: list[str],
    options: dict[str, object] | None = None,
) -> subprocess.Popen[str]:
    for stem, source in modules.items():
        (folder / f"{stem}.ts").parent.mkdir(exist_ok=True)
        (folder / f"{stem}.ts").write_text(source, encoding="utf-8")
    # Hand-written files import generated modules by this alias, wherever the folder is.
    config = {
        "extends": "../tsconfig.json",
        "compilerOptions": {"paths": {"@generated/*": ["./*"]}, **(options or {})},
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
        folder = Path(tmp)
        hostile = hostile_modules()
        modules = {entry["module"]: generate(entry) for entry in MODULES["clean"]}
        examples = MODULES["examples"]
        clean = program(
            folder, "clean.json", modules, ["../client.ts", "../update_paths.ts", *examples]
        )
        for example in examples:
            shutil.copyfile(ROOT / "examples" / example, folder / example)
        # Checked side by side. The hostile modules import the same SDKs under the same options,
        # whose declarations the clean program checks already.
        checks = [clean, program(folder, "hostile.json", hostile, [], {"skipLibCheck": True})]
        # The zod modules and what they import, under each other moduleResolution.
        zod = {name: text for name, text in modules.items() if "_zod" in name}
        resolutions = {k: v for k, v in MODULES["resolutions"].items() if k != "why"}
        for resolution, options in resolutions.items():
            checks.append(program(folder, f"{resolution}.json", zod, [], options))
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
            "resolutions": {
                name: (check.returncode, output)
                for name, check, output in zip(resolutions, checks[2:], outputs[2:], strict=True)
            },
            "loaded": json.loads(load.stdout),
        }


def test_clean_program_type_checks(stage: dict[str, object]) -> None:
    assert stage["clean"] == (0, "")


def test_zod_modules_compile_under_every_module_resolution(stage: dict[str, object]) -> None:
    resolutions = {k for k in MODULES["resolutions"] if k != "why"}
    assert stage["resolutions"] == {name: (0, "") for name in resolutions}


# A continuation line, or a name left undefined in the module of a dangling bundle.
def is_expected(line: str) -> bool:
    found = DIAGNOSTIC.match(line)
    if line.startswith(" "):
        return True
    return bool(found and found["file"] in DANGLING and found["code"] in ("TS2304", "TS2552"))


def test_hostile_names_compile_and_load_clean(stage: dict[str, object]) -> None:
    unexpected = [line for line in str(stage["hostile"]).splitlines() if not is_expected(line)]
    assert unexpected == []
    assert stage["loaded"] == {f"{stem}_{kind}.ts": [] for stem in CORPUS for kind in KINDS}
