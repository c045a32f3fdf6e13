"""Every example in docs/ runs and shows what the real tools print.

In a document, a fence whose info string names a file (```python shop.py, ```json v1.json)
is that file, written into the folder where the document's examples run. ```console blocks
run their `$ ` lines there with bash and must print exactly the lines that follow them. A
```python block without a file name runs as a script; a ```text block right after it is its
output. A ```ts block is an excerpt of examples/chat/client.ts, which test_typescript type-checks.
Text between `<!-- output of docs/NAME.py -->` and `<!-- end of output -->` is that script's
output. ```sh blocks are install commands for the reader's machine and do not run here.
"""

from __future__ import annotations

import importlib.util
import os
import re
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
CLIENT = ROOT / "examples" / "chat" / "client.ts"

FENCE = re.compile(r"^```(\w*)[ \t]*(\S*)\n(.*?)^```\n", re.M | re.S)
GENERATED = re.compile(r"^<!-- output of (docs/\w+\.py) -->\n(.*?)^<!-- end of output -->\n", re.M | re.S)


@dataclass(frozen=True)
class Block:
    doc: Path
    line: int
    kind: str  # console, ts or python
    text: str
    expected: str | None = None  # what a python block prints, when the document shows it


def document_blocks(doc: Path) -> tuple[dict[str, str], list[Block]]:
    """The files a document defines, and the blocks that run."""
    source = doc.read_text("utf-8")
    fences = list(FENCE.finditer(source))
    files: dict[str, str] = {}
    found: list[Block] = []
    for fence, after in zip(fences, [*fences[1:], None], strict=False):
        lang, name, text = fence.groups()
        line = source.count("\n", 0, fence.start()) + 1
        if name:
            files[name] = text
        elif lang == "python":
            adjacent = after is not None and not source[fence.end() : after.start()].strip()
            output = after[3] if adjacent and after is not None and after[1] == "text" else None
            found.append(Block(doc, line, lang, text, output))
        elif lang in ("console", "ts"):
            found.append(Block(doc, line, lang, text))
    for match in GENERATED.finditer(source):
        script = (ROOT / match[1]).read_text("utf-8")
        found.append(Block(doc, source.count("\n", 0, match.start()) + 1, "python", script, match[2]))
    return files, found


CASES = [
    pytest.param(files, block, id=f"{block.doc.name}:{block.line}")
    for doc in sorted(DOCS.glob("*.md"))
    for files, blocks in [document_blocks(doc)]
    for block in blocks
]


def transcript(text: str, cwd: Path) -> str:
    """Runs the `$ ` lines of a console block in one shell; returns them with what they print."""
    commands = [line[2:] for line in text.splitlines() if line.startswith("$ ")]
    script = "".join(f"printf '\\036\\n'\n{command}\n" for command in commands)
    env = {**os.environ, "PATH": f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}"}
    run = subprocess.run(
        ["bash", "-c", script], cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False
    )
    outputs = run.stdout.decode("utf-8").split("\036\n")[1:]
    return "".join(f"$ {command}\n{output}" for command, output in zip(commands, outputs, strict=False))


@pytest.mark.parametrize(("files", "block"), CASES)
def test_doc_example(files: dict[str, str], block: Block, tmp_path: Path) -> None:
    if importlib.util.find_spec("pydantic") is None:
        pytest.skip("pydantic is not installed")
    for name, text in files.items():
        (tmp_path / name).write_text(text, "utf-8")
    if block.kind == "ts":
        assert block.text in CLIENT.read_text("utf-8"), "not an excerpt of examples/chat/client.ts"
    elif block.kind == "console":
        assert transcript(block.text, tmp_path) == block.text
    else:
        run = subprocess.run([sys.executable, "-c", block.text], cwd=tmp_path, capture_output=True, text=True,
                             check=False)
        assert run.returncode == 0, run.stderr
        if block.expected is not None:
            assert run.stdout == block.expected
