"""brenvale._ext from Python: arguments, compat's modes and the shape of its JSON; the rules are
in the C++ tests. The cases are in tests/data/ext_cases.json."""

import collections.abc
import json
import sys
from collections.abc import Iterator
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


def fresh(text: str) -> str:
    """A new str of the same text, which nothing else holds."""
    return "".join(list(text))


class Built(list[dict[str, object]]):
    """A sequence whose items, and their texts, are made anew as they are asked for: once the
    caller drops one, the next takes its memory."""

    def __getitem__(self, index: Any) -> Any:
        return {key: fresh(str(value)) for key, value in super().__getitem__(index).items()}


class Replacing(collections.abc.Sequence[str]):
    """Shared names whose iteration replaces the request's shared path (and frees the old one)."""

    __getitem__ = None  # type: ignore[assignment]
    __len__ = None  # type: ignore[assignment]

    def __init__(self, request: dict[str, object]) -> None:
        self.request = request

    def __iter__(self) -> Iterator[str]:
        size = len(str(self.request["shared_path"]))
        self.request["shared_path"] = "./other"
        self.texts = [fresh("q" * size) for _ in range(1000)]  # in the memory it had
        return iter(["A"])


# B's module imports A when A is shared.
USING_A = json.dumps(
    {"$defs": {"A": {"type": "object"}, "B": {"properties": {"a": {"$ref": "#/$defs/A"}}}}}
)


def test_emit_each_holds_what_it_reads_of_each_request() -> None:
    paths = [f"./contract_{digit * 40}" for digit in "0123"]
    requests = Built({"kind": "zod", "contract_path": path} for path in paths)
    for path, module in zip(paths, _ext.emit_each(BUNDLES["$OLD"], requests), strict=True):
        assert f'from "{path}.js"' in module
    shared: dict[str, object] = {"shared_path": fresh("./shared_" + "p" * 64)}
    shared["shared_names"] = Replacing(shared)
    [module] = _ext.emit_each(USING_A, [shared])
    assert f'from "./shared_{"p" * 64}"' in module


class Lying(list[dict[str, object]]):
    """Claims far more items than it holds."""

    def __len__(self) -> int:
        return sys.maxsize


def test_emit_each_takes_the_items_not_the_length() -> None:
    with pytest.raises(IndexError):
        _ext.emit_each(BUNDLES["$OLD"], Lying([{"kind": "plain"}]))


@pytest.mark.parametrize("table", ["$defs", "definitions"])
def test_an_all_of_of_one_schema_is_that_schema(table: str) -> None:
    """Older Pydantic and draft-07 tools wrap a $ref in an allOf of one to describe it: the
    module types the field by it, and compat compares it; an allOf of two is left unread."""
    card = {"type": "object", "properties": {"last4": {"type": "string"}}}

    def bundle(target: str) -> str:
        pay = {"description": "how", "allOf": [{"$ref": f"#/{table}/{target}"}]}
        both = {"allOf": [{"$ref": f"#/{table}/Card"}, {"$ref": f"#/{table}/Cash"}]}
        order = {"type": "object", "properties": {"pay": pay, "both": both}}
        return json.dumps({table: {"Card": card, "Cash": card, "Order": order}})

    module = _ext.emit(bundle("Card"))
    assert "  pay?: Card;" in module and "  both?: unknown;" in module
    found = json.loads(_ext.compat(bundle("Card"), bundle("Cash"), "full"))
    assert [(row["field"], row["rule"]) for row in found] == [("pay", "type-changed")]
