"""Each example app's bundle is what its models give; test_typescript type-checks its client."""

import importlib.util
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


@pytest.mark.parametrize(
    ("app", "bundle"), [("app", "contract.json"), ("chat", "chat/contract.json")]
)
def test_bundle_is_current(app: str, bundle: str) -> None:
    if importlib.util.find_spec("pydantic") is None:
        pytest.skip("pydantic is not installed")
    command = ["brenvale", "bundle", "--models", f"{app}.models", "-o", bundle]
    check = [sys.executable, "-m", *command, "--check"]
    run = subprocess.run(check, cwd=EXAMPLES, capture_output=True, text=True, check=False)
    regenerate = f"to regenerate: cd examples && {' '.join(command)}"
    assert run.returncode == 0, f"{run.stdout}{run.stderr}{regenerate}"
