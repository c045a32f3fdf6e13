"""brenvale._ext from Python: arguments, compat's modes and the shape of its JSON; the rules are
in the C++ tests. The cases are in tests/data/ext_cases.json."""

import json
from pathlib import Path
from typing import Any

import pytest

from brenvale import _ext

CASES = json.loads(
    (Path(__file__).resolve().parents[1] / "data" / "ext_cases.json").read_text("utf-8")
)
BUNDLES = {"$OLD": json.dumps(CASES["old"]), "$NEW": json.dumps(CASES["new"])}


@pytest.mark.parametrize("case", CASES["errors"])
def test_argument_errors(case: dict[str, Any]) -> None:
    function = getattr(_ext, case["function"])
    args = [BUNDLES.get(arg, arg) if isinstance(arg, str) else arg for arg in case["args"]]
    with pytest.raises((TypeError, ValueError)) as raised:
        function(*args, **case["kwargs"])
    assert f"{type(raised.value).__name__}: {raised.value}" == case["error"]
    assert getattr(raised.value, "argument", None) == case.get("argument")


@pytest.mark.parametrize("case", CASES["modes"], ids=lambda case: case["mode"])
def test_mode_decides_which_directions_break(case: dict[str, Any]) -> None:
    found = json.loads(_ext.compat(BUNDLES["$OLD"], BUNDLES["$NEW"], mode=case["mode"]))
    assert {f["rule"] for f in found if f["verdict"] == "BREAKING"} == set(case["breaking"])
    keys = ["def", "direction", "field", "message", "rule", "verdict"]
    assert all(list(f) == keys for f in found)


def test_emit_each_reads_once_and_writes_what_emit_writes() -> None:
    requests: list[dict[str, object]] = [
        {"kind": "firestore", "sdk": "admin", "jsdoc": True},
        {"kind": "zod", "contract_path": "./web"},
        {"kind": "plain"},
    ]
    modules = _ext.emit_each(BUNDLES["$OLD"], requests)
    assert modules == [_ext.emit(BUNDLES["$OLD"], **r) for r in requests]  # type: ignore[arg-type]
