"""Every example in docs/ runs and shows what the real tools print.

In a document, a fence whose info string names a file (```python shop.py, ```json v1.json)
is that file, written into the folder where the document's examples run. ```console blocks
run their `$ ` lines there with bash and must print exactly the lines that follow them. A
```python block without a file name runs as a script; a ```text block right after it is its
output. A ```ts block is an excerpt of examples/chat/client.ts or server.ts, which test_typescript type-checks.
Text between `<!-- output of docs/NAME.py -->` and `<!-- end of output -->` is that script's
output. ```sh blocks are install commands for the reader's machine and do not run here.
"""

import importlib.util
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
CLIENTS = (ROOT / "examples" / "chat" / "client.ts", ROOT / "examples" / "chat" / "server.ts")
FENCE = re.compile(r"^```(\w*)[ \t]*(\S*)\n(.*?)^```\n", re.M | re.S)
GENERATED = re.compile(
    r"^<!-- output of (docs/\w+\.py) -->\n(.*?)^<!-- end of output -->\n", re.M | re.S
)


def document_blocks(doc: Path) -> list[object]:
    """A case per block that runs: the files the document defines, the block's kind and text, and
    what a python block prints when the document shows it."""
    source, files, found = doc.read_text("utf-8"), {}, []
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
    env = {**os.environ, "PATH": f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}"}
    run = subprocess.run(
        ["bash", "-c", script], cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT
    )
    outputs = run.stdout.decode("utf-8").split("\036\n")[1:]
    return "".join(
        f"$ {command}\n{output}" for command, output in zip(commands, outputs, strict=False)
    )


@pytest.mark.parametrize(
    ("files", "kind", "text", "expected"),
    [case for doc in sorted((ROOT / "docs").glob("*.md")) for case in document_blocks(doc)],
)
def test_doc_example(
    files: dict[str, str], kind: str, text: str, expected: str | None, tmp_path: Path
) -> None:
    if importlib.util.find_spec("pydantic") is None:
        pytest.skip("pydantic is not installed")
    for name, content in files.items():
        (tmp_path / name).write_text(content, "utf-8")
    if kind == "ts":
        assert any(text in client.read_text("utf-8") for client in CLIENTS), (
            "not an excerpt of a checked client"
        )
    elif kind == "console":
        assert transcript(text, tmp_path) == text
    else:
        run = subprocess.run(
            [sys.executable, "-c", text], cwd=tmp_path, capture_output=True, text=True, check=False
        )
        assert run.returncode == 0 and expected in (None, run.stdout), run.stderr or run.stdout
