"""Every example in docs/ and the README runs and shows what the real tools print.

In a document, a fence whose info string names a file (```python shop.py, ```json v1.json)
is that file, written into the folder where the document's examples run. ```console blocks
run their `$ ` lines there with bash and must print exactly the lines that follow them. A
```python block without a file name runs as a script; a ```text block right after it is its
output. A ```ts block without a file name is an excerpt of examples/chat/client.ts or
server.ts, which test_typescript type-checks.
Text between `<!-- output of docs/NAME.py -->` and `<!-- end of output -->` is that script's
output. ```sh blocks are install commands for the reader's machine and do not run here.
The README is one walk-through: its blocks run in order in one folder, and its ```ts files then
compile against the modules its commands wrote.
"""

import json
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import Any

import pytest

# The models in the documents need Pydantic.
pytest.importorskip("pydantic")

ROOT = Path(__file__).resolve().parents[2]
TS_DIR = ROOT / "tests" / "typescript"
TSC = TS_DIR / "node_modules" / ".bin" / "tsc"
CLIENTS = (ROOT / "examples" / "chat" / "client.ts", ROOT / "examples" / "chat" / "server.ts")
FENCE = re.compile(r"^```(\w*)[ \t]*(\S*)\n(.*?)^```\n", re.M | re.S)
GENERATED = re.compile(
    r"^<!-- output of (docs/\w+\.py) -->\n(.*?)^<!-- end of output -->\n", re.M | re.S
)


def document_blocks(doc: Path) -> list[Any]:
    """A case per block that runs: the files the document defines, the block's kind and text, and
    what a python block prints when the document shows it."""
    source = doc.read_text("utf-8")
    files: dict[str, str] = {}
    found: list[Any] = []
    fences = list(FENCE.finditer(source))

    def case(at: int, kind: str, text: str, expected: str | None = None) -> object:
        return pytest.param(
            files, kind, text, expected, id=f"{doc.name}:{source.count(chr(10), 0, at) + 1}"
        )

    for fence, after in zip(fences, [*fences[1:], None], strict=False):
        lang, name, text = fence.groups()
        if name:
            files[name] = text
        elif lang == "python":
            adjacent = (
                after is not None
                and not source[fence.end() : after.start()].strip()
                and after[1] == "text"
            )
            found.append(
                case(
                    fence.start(), lang, text, after[3] if adjacent and after is not None else None
                )
            )
        elif lang in ("console", "ts"):
            found.append(case(fence.start(), lang, text))
    found += [
        case(m.start(), "python", (ROOT / m[1]).read_text("utf-8"), m[2])
        for m in GENERATED.finditer(source)
    ]
    return found


def transcript(text: str, cwd: Path) -> str:
    """Runs the `$ ` lines of a console block in one shell; returns them with what they print."""
    commands = [line[2:] for line in text.splitlines() if line.startswith("$ ")]
    script = "".join(f"printf '\\036\\n'\n{command}\n" for command in commands)
    env = {
        **os.environ,
        "PATH": f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}",
        "GIT_AUTHOR_NAME": "Ada",
        "GIT_AUTHOR_EMAIL": "ada@example.com",
        "GIT_COMMITTER_NAME": "Ada",
        "GIT_COMMITTER_EMAIL": "ada@example.com",
    }
    run = subprocess.run(
        ["bash", "-c", script], cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT
    )
    outputs = run.stdout.decode("utf-8").split("\036\n")[1:]
    return "".join(
        f"$ {command}\n{output}" for command, output in zip(commands, outputs, strict=False)
    )


def run_block(kind: str, text: str, expected: str | None, folder: Path) -> None:
    """Runs one block in `folder`, where the document's files are written, and checks it."""
    if kind == "ts":
        assert any(text in client.read_text("utf-8") for client in CLIENTS), (
            "not an excerpt of a checked client"
        )
    elif kind == "console":
        assert transcript(text, folder) == text
    else:
        run = subprocess.run(
            [sys.executable, "-c", text], cwd=folder, capture_output=True, text=True, check=False
        )
        assert run.returncode == 0 and expected in (None, run.stdout), run.stderr or run.stdout


def write_files(files: dict[str, str], folder: Path) -> None:
    for name, content in files.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_text(content, "utf-8")


@pytest.mark.parametrize(
    ("files", "kind", "text", "expected"),
    [case for doc in sorted((ROOT / "docs").glob("*.md")) for case in document_blocks(doc)],
)
def test_doc_example(
    files: dict[str, str], kind: str, text: str, expected: str | None, tmp_path: Path
) -> None:
    write_files(files, tmp_path)
    run_block(kind, text, expected, tmp_path)


def test_readme_walk_through() -> None:
    blocks = [case.values for case in document_blocks(ROOT / "README.md")]
    files: dict[str, str] = blocks[0][0]
    # Inside tests/typescript, so the TypeScript files resolve its pinned SDKs.
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".readme-") as tmp:
        folder = Path(tmp)
        write_files(files, folder)
        for _, kind, text, expected in blocks:
            run_block(kind, text, expected, folder)
        sources = [name for name in files if name.endswith(".ts")]
        config = {"extends": "../tsconfig.json", "files": ["../temporal.d.ts", *sources]}
        (folder / "readme.json").write_text(json.dumps(config), "utf-8")
        tsc = subprocess.run(
            [TSC, "--project", "readme.json", "--pretty", "false"],
            cwd=folder,
            capture_output=True,
            text=True,
            check=False,
        )
    assert sources and (tsc.returncode, tsc.stdout) == (0, "")
