"""Builds two commits of brenvale side by side and compares every output form on every bundle of
the tests' corpora: the text each native function returns, or the error it raises (type and
message). Prints the number of cases and of differences; exits 1 when any differ.

    python tools/compare_builds.py --base 14c4685 --head WORKTREE

A revision is built from `git archive` (WORKTREE: the working tree as it stands) into a venv of
its own under --cache, made with --system-site-packages and installed with
--no-build-isolation, so each build is imported alone. Builds of a commit are reused.
"""

from __future__ import annotations

import argparse
import hashlib
import io
import itertools
import json
import subprocess
import sys
import tarfile
import tempfile
from collections.abc import Iterator
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
WORKTREE = "WORKTREE"

# Runs inside one build's venv: reads the cases, writes one record per case (a digest of the
# text returned, or the error raised).
RUNNER = r"""
import hashlib, json, sys
from brenvale import _core, _ext

# _ext offers one emit request since KINDS appeared; before, a function per output.
ONE_REQUEST = hasattr(_ext, "KINDS")

def ext_emit(bundle, kind="firestore", shared_path="", shared_names=(), **options):
    if ONE_REQUEST:
        # A shared path without names changes nothing, and the request refuses it.
        path = shared_path if shared_names else ""
        return _ext.emit(bundle, kind, shared_path=path, shared_names=shared_names, **options)
    if kind == "plain":
        return _ext.emit_plain(bundle, **options)
    if kind == "zod":
        return _ext.zod(bundle, **options)
    return _ext.emit(bundle, shared_path, shared_names, **options)

# JSON with a `$defs` or `definitions` object: since the one request, _ext refuses any other
# JSON, where before it wrote an empty module; such inputs compare _core alone.
def is_bundle(text):
    try:
        _core.compat(text, "{}")
        root = json.loads(text, strict=False)  # control characters, as the reader takes them
    except ValueError:
        return True  # malformed: both builds raise
    tables = [root.get(key) for key in ("$defs", "definitions")] if isinstance(root, dict) else []
    return any(isinstance(table, dict) for table in tables)

def record(call):
    try:
        text = call()
    except BaseException as error:
        if isinstance(error, KeyboardInterrupt):
            raise
        # BundleError is the ValueError that names its argument.
        kind = "ValueError" if isinstance(error, ValueError) else type(error).__qualname__
        return "raise " + kind + ": " + str(error)
    return "text " + hashlib.sha256(text.encode("utf-8", "surrogatepass")).hexdigest()

def forms(case):
    first, second, names = case["first"], case["second"], case["shared"]
    if second is not None:
        yield "_core.compat", lambda: _core.compat(first, second)
        if not (is_bundle(first) and is_bundle(second)):
            return
        for mode in ("backward", "forward", "full"):
            yield "_ext.compat " + mode, lambda mode=mode: _ext.compat(first, second, mode)
        return
    yield "_core.emit", lambda: _core.emit(first)
    yield "_core.emit_plain", lambda: _core.emit_plain(first)
    yield "_core.emit_shared", lambda: _core.emit_shared(first, "./shared", names)
    yield "_core.compat self", lambda: _core.compat(first, first)
    if not is_bundle(first):
        return
    yield "_ext.emit", lambda: ext_emit(first)
    yield "_ext.emit shared", lambda: ext_emit(first, shared_path="./shared", shared_names=names)
    yield "_ext.emit update_paths", lambda: ext_emit(first, update_paths=True)
    yield "_ext.emit jsdoc", lambda: ext_emit(first, jsdoc=True)
    yield "_ext.emit paths+jsdoc+shared", lambda: ext_emit(
        first, shared_path="../s\"x", shared_names=names, update_paths=True, jsdoc=True)
    yield "_ext.emit admin", lambda: ext_emit(first, sdk="admin")
    yield "_ext.emit admin+jsdoc", lambda: ext_emit(first, jsdoc=True, sdk="admin")
    yield "_ext.emit admin+shared", lambda: ext_emit(
        first, shared_path="./s", shared_names=names, sdk="admin")
    yield "_ext.emit_plain", lambda: ext_emit(first, "plain")
    yield "_ext.emit_plain jsdoc", lambda: ext_emit(first, "plain", jsdoc=True)
    yield "_ext.zod", lambda: ext_emit(first, "zod")
    yield "_ext.zod path", lambda: ext_emit(first, "zod", contract_path="../c\"t")
    for mode in ("backward", "forward", "full"):
        yield "_ext.compat self " + mode, lambda mode=mode: _ext.compat(first, first, mode)

cases = json.load(open(sys.argv[1], encoding="utf-8"))
with open(sys.argv[2], "w", encoding="utf-8") as out:
    for case in cases:
        for form, call in forms(case):
            out.write(json.dumps([case["name"], form, record(call)]) + "\n")
"""


def run(command: list[str], cwd: Path | None = None) -> None:
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def resolve(revision: str) -> str:
    if revision == WORKTREE:
        return WORKTREE
    result = subprocess.run(
        ["git", "rev-parse", "--short=12", revision + "^{commit}"],
        cwd=ROOT,
        check=True,
        capture_output=True,
        text=True,
    )
    return result.stdout.strip()


def build(revision: str, cache: Path) -> Path:
    """The python of a venv holding `revision`'s build; built once per commit."""
    key = "worktree" if revision == WORKTREE else revision
    venv = cache / ("venv-" + key)
    python = venv / "bin" / "python"
    stamp = venv / "built"
    if stamp.exists() and revision != WORKTREE:
        return python
    source = ROOT
    if revision != WORKTREE:
        source = cache / ("src-" + key)
        if not source.exists():
            source.mkdir(parents=True)
            archive = subprocess.run(
                ["git", "archive", revision], cwd=ROOT, check=True, capture_output=True
            ).stdout
            with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
                tar.extractall(source, filter="data")
    if not python.exists():
        run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)])
    run(
        [
            str(python),
            "-m",
            "pip",
            "install",
            "-q",
            "--disable-pip-version-check",
            "--no-build-isolation",
            "--no-deps",
            "--force-reinstall",
            str(source),
            "-Cbuild-dir=" + str(cache / ("build-" + key)),
        ]
    )
    stamp.touch()
    return python


def decoded(data: bytes) -> str:
    return data.decode("utf-8", "replace")


def shared_names(text: str) -> list[str]:
    """Every other definition name, and one that is no definition."""
    try:
        bundle = json.loads(text)
    except ValueError:
        return ["NoSuchDefinition"]
    defs = bundle.get("$defs") if isinstance(bundle, dict) else None
    names = sorted(defs)[::2] if isinstance(defs, dict) else []
    return [*names, "NoSuchDefinition"]


def fuzz_inputs() -> Iterator[tuple[str, bytes]]:
    corpus = ROOT / "fuzz" / "corpus"
    for archive in sorted(corpus.glob("*.tar.xz")):
        with tarfile.open(archive) as tar:
            for member in sorted(tar.getmembers(), key=lambda m: m.name):
                handle = tar.extractfile(member) if member.isfile() else None
                if handle is not None:
                    yield f"{archive.name}/{member.name}", handle.read()
    for folder in ("seeds", "pairs"):
        for path in sorted((corpus / folder).iterdir()):
            yield f"{folder}/{path.name}", path.read_bytes()


def cases() -> list[dict[str, object]]:
    found: list[dict[str, object]] = []

    def add(name: str, first: str, second: str | None = None) -> None:
        shared = shared_names(first) if second is None else []
        found.append({"name": name, "first": first, "second": second, "shared": shared})

    groups = [
        sorted((ROOT / "tests" / "golden").glob("*.json")),
        sorted((ROOT / "tests" / "typescript" / "bundles").glob("*.json")),
        sorted((ROOT / "tests" / "typescript" / "corpus").glob("*.json")),
        sorted((ROOT / "examples").rglob("*.json")),
    ]
    for group in groups:
        texts = [(str(path.relative_to(ROOT)), path.read_text(encoding="utf-8")) for path in group]
        for name, text in texts:
            add(name, text)
        # Neighbours in a corpus as old and new: every rule meets real differences.
        for (old_name, old), (new_name, new) in itertools.pairwise(texts):
            add(f"{old_name} -> {new_name}", old, new)
            add(f"{new_name} -> {old_name}", new, old)
    for name, data in fuzz_inputs():
        text = decoded(data)
        add(name, text)
        if "\0" in text:
            old, new = text.split("\0", 1)
            add(name + " (pair)", old, new)
    return found


def results(python: Path, case_file: Path, scratch: Path, label: str) -> dict[tuple[str, str], str]:
    runner = scratch / "runner.py"
    runner.write_text(RUNNER, encoding="utf-8")
    output = scratch / (label + ".jsonl")
    # From the scratch folder, so the source tree's python/ is never imported instead.
    run([str(python), str(runner), str(case_file), str(output)], cwd=scratch)
    table: dict[tuple[str, str], str] = {}
    with output.open(encoding="utf-8") as lines:
        for line in lines:
            name, form, outcome = json.loads(line)
            table[(name, form)] = outcome
    return table


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--base", default="14c4685", help="revision (default 14c4685)")
    parser.add_argument("--head", default=WORKTREE, help="revision, or WORKTREE (the default)")
    parser.add_argument("--cache", type=Path, default=ROOT / "build" / "compare")
    parser.add_argument("--show", type=int, default=20, help="differences listed (default 20)")
    arguments = parser.parse_args()
    cache: Path = arguments.cache.resolve()
    cache.mkdir(parents=True, exist_ok=True)
    base, head = resolve(arguments.base), resolve(arguments.head)
    pythons = {
        label: build(revision, cache) for label, revision in (("base", base), ("head", head))
    }
    with tempfile.TemporaryDirectory() as folder:
        scratch = Path(folder)
        case_list = cases()
        case_file = scratch / "cases.json"
        case_file.write_text(json.dumps(case_list), encoding="utf-8")
        old = results(pythons["base"], case_file, scratch, "base")
        new = results(pythons["head"], case_file, scratch, "head")
    differing = sorted(key for key in old.keys() | new.keys() if old.get(key) != new.get(key))
    for name, form in differing[: arguments.show]:
        print(
            f"DIFF {form} on {name}:\n  {base}: {old.get((name, form))}\n"
            f"  {head}: {new.get((name, form))}"
        )
    by_form: dict[str, int] = {}
    for _, form in differing:
        by_form[form] = by_form.get(form, 0) + 1
    for form, count in sorted(by_form.items()):
        print(f"  {count:7d} differences in {form}")
    digest = hashlib.sha256(json.dumps(sorted(new.items())).encode()).hexdigest()[:16]
    print(
        f"{len(case_list)} inputs, {len(old)} cases ({base} vs {head}): "
        f"{len(differing)} differences; results digest {digest}"
    )
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
