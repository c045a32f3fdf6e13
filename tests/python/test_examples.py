"""The chat example: its bundle is what its models give, and its client compiles against the module."""

from __future__ import annotations

import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

import brenvale

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
CHAT = EXAMPLES / "chat"
TS_DIR = ROOT / "tests" / "typescript"

# firebase 12.19 names the global Temporal namespace, for which TypeScript 5.x has no lib.
TEMPORAL_SHIM = "declare namespace Temporal {\n  interface Instant {\n    readonly epochNanoseconds: bigint;\n  }\n}\n"


def need(ok: bool, reason: str) -> None:
    """Skips without `ok`; in CI, where everything must be there, fails instead."""
    if not ok:
        if os.environ.get("CI") == "true":
            pytest.fail(reason)
        pytest.skip(reason)


def test_chat_bundle_is_current() -> None:
    need(importlib.util.find_spec("pydantic") is not None, "pydantic is not installed: pip install 'brenvale[pydantic]'")
    run = subprocess.run(
        [sys.executable, "-m", "brenvale", "bundle", "--models", "chat.models", "-o", "chat/contract.json", "--check"],
        cwd=EXAMPLES,
        capture_output=True,
        text=True,
        check=False,
    )
    regenerate = "cd examples && brenvale bundle --models chat.models -o chat/contract.json"
    assert run.returncode == 0, f"{run.stdout}{run.stderr}to regenerate: {regenerate}"


def test_chat_client_type_checks() -> None:
    need(shutil.which("npm") is not None, "npm not on PATH: the chat client cannot be type-checked")
    install = subprocess.run(["bash", str(TS_DIR / "install.sh")], capture_output=True, text=True, check=False)
    assert install.returncode == 0, f"install.sh failed:\n{install.stdout}\n{install.stderr}"
    # Inside tests/typescript so that "firebase/firestore" resolves from its node_modules.
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".chat-") as tmp:
        folder = Path(tmp)
        (folder / "contract.ts").write_text(brenvale.emit((CHAT / "contract.json").read_text("utf-8")), "utf-8")
        shutil.copyfile(CHAT / "client.ts", folder / "client.ts")
        (folder / "temporal.d.ts").write_text(TEMPORAL_SHIM, "utf-8")
        config = '{"extends": "../tsconfig.json", "files": ["temporal.d.ts", "contract.ts", "client.ts"]}'
        (folder / "tsconfig.json").write_text(config, "utf-8")
        tsc = TS_DIR / "node_modules" / ".bin" / "tsc"
        run = subprocess.run(
            [str(tsc), "--project", "tsconfig.json", "--pretty", "false"],
            cwd=folder,
            capture_output=True,
            text=True,
            check=False,
        )
    # client.ts in the output is examples/chat/client.ts; contract.ts is the module emitted from contract.json.
    output = run.stdout + run.stderr
    assert run.returncode == 0 and output == "", output
