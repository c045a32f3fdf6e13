"""The example apps: each bundle is what its models give, and each client compiles against its module."""

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
# Example package -> its bundle, relative to examples/.
BUNDLES = {"app": "contract.json", "chat": "chat/contract.json"}
TS_DIR = ROOT / "tests" / "typescript"

# firebase 12.19 names the global Temporal namespace, for which TypeScript 5.x has no lib.
TEMPORAL_SHIM = "declare namespace Temporal {\n  interface Instant {\n    readonly epochNanoseconds: bigint;\n  }\n}\n"


def need(ok: bool, reason: str) -> None:
    """Skips without `ok`; in CI, where everything must be there, fails instead."""
    if not ok:
        if os.environ.get("CI") == "true":
            pytest.fail(reason)
        pytest.skip(reason)


@pytest.mark.parametrize("app", BUNDLES)
def test_bundle_is_current(app: str) -> None:
    need(importlib.util.find_spec("pydantic") is not None, "pydantic is not installed")
    run = subprocess.run(
        [sys.executable, "-m", "brenvale", "bundle", "--models", f"{app}.models", "-o", BUNDLES[app], "--check"],
        cwd=EXAMPLES,
        capture_output=True,
        text=True,
        check=False,
    )
    regenerate = f"cd examples && brenvale bundle --models {app}.models -o {BUNDLES[app]}"
    assert run.returncode == 0, f"{run.stdout}{run.stderr}to regenerate: {regenerate}"


@pytest.mark.parametrize("app", BUNDLES)
def test_client_type_checks(app: str) -> None:
    need(shutil.which("npm") is not None, "npm not on PATH: the example clients cannot be type-checked")
    install = subprocess.run(["bash", str(TS_DIR / "install.sh")], capture_output=True, text=True, check=False)
    assert install.returncode == 0, f"install.sh failed:\n{install.stdout}\n{install.stderr}"
    # Inside tests/typescript so that "firebase/firestore" resolves from its node_modules.
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=f".{app}-") as tmp:
        folder = Path(tmp)
        (folder / "contract.ts").write_text(brenvale.emit((EXAMPLES / BUNDLES[app]).read_text("utf-8")), "utf-8")
        shutil.copyfile(EXAMPLES / app / "client.ts", folder / "client.ts")
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
    # client.ts in the output is examples/APP/client.ts; contract.ts is the module emitted from its bundle.
    output = run.stdout + run.stderr
    assert run.returncode == 0 and output == "", output
