"""Finding and reading the project file, and resolving its baseline; the cases are in
tests/data/config_cases.json."""

from __future__ import annotations

import dataclasses
import json
import os
import re
import subprocess
from collections.abc import Sequence
from pathlib import Path
from typing import Any

import pytest

from brenvale import config

ROOT = Path(__file__).resolve().parents[2]
CASES = json.loads((ROOT / "tests" / "data" / "config_cases.json").read_text("utf-8"))
TOML_BLOCK = re.compile(r"^```toml\n(.*?)^```$", re.M | re.S)


def write_files(root: Path, files: dict[str, list[str] | str | None], encoding: str) -> None:
    """Lines, a folder (None), or the first toml block of a document (its name)."""
    for name, lines in files.items():
        path = root / name
        if lines is None:
            path.mkdir(parents=True)
            continue
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(lines, str):
            found = TOML_BLOCK.search((ROOT / lines).read_text("utf-8"))
            assert found is not None, f"{lines} has no toml block"
            path.write_text(found[1], encoding)
        else:
            path.write_text("\n".join(lines) + "\n", encoding)


def load(case: dict[str, Any], root: Path) -> config.Config:
    write_files(root, case["files"], case.get("encoding", "utf-8"))
    return config.load_config(str(root / case.get("start", ".")))


def relative(value: Any, root: Path) -> Any:
    """A read config as the cases write it: paths from `root`, lists for tuples."""
    if isinstance(value, dict):
        return {key: relative(item, root) for key, item in value.items()}
    if isinstance(value, (list, tuple)):
        return [relative(item, root) for item in value]
    if isinstance(value, str) and os.path.isabs(value):
        return os.path.relpath(value, root)
    return value


@pytest.mark.parametrize("case", CASES["errors"], ids=lambda case: case["why"])
def test_config_error(case: dict[str, Any], tmp_path: Path) -> None:
    with pytest.raises(config.ConfigError) as raised:
        load(case, tmp_path)
    assert str(raised.value) == case["error"].replace("{root}", str(tmp_path))


@pytest.mark.parametrize("case", CASES["configs"], ids=lambda case: case["why"])
def test_config_read(case: dict[str, Any], tmp_path: Path) -> None:
    read = dataclasses.asdict(load(case, tmp_path))
    if read["compat"] is not None:
        read["compat"]["fail_on"] = read["compat"]["fail_on"].value
    assert relative(read, tmp_path) == case["config"]


@pytest.mark.parametrize("case", CASES["baselines"], ids=lambda case: str(case["git"]))
def test_baseline(case: dict[str, Any], tmp_path: Path) -> None:
    (tmp_path / "brenvale.toml").write_text(
        f'bundle = "b.json"\n[compat]\nbaseline = "{case["baseline"]}"\n', "utf-8"
    )
    read = config.load_config(str(tmp_path))

    def git(command: Sequence[str], folder: str) -> subprocess.CompletedProcess[str]:
        assert case["git"] is not None, "git ran for a plain revision"
        assert (list(command), folder) == (["git", "describe", "--tags", "--abbrev=0"], read.folder)
        if case["git"] == "not installed":
            raise FileNotFoundError(command[0])
        return subprocess.CompletedProcess(command, **case["git"])

    if "error" in case:
        with pytest.raises(config.ConfigError) as raised:
            config.resolve_baseline(read, git)
        assert str(raised.value) == case["error"]
    else:
        assert config.resolve_baseline(read, git) == case["revision"]
