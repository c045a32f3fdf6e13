"""The _core functions: binding and conversion errors word for word, equivalent calls, and the
stub's docs. The calls are in tests/data/surface_calls.json, with the notation they use."""

import ast
import builtins
import collections.abc
import inspect
import json
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import brenvale
from brenvale import _core

CALLS = json.loads(
    (Path(__file__).resolve().parents[1] / "data" / "surface_calls.json").read_text("utf-8")
)
BUNDLE = json.dumps(CALLS["bundle"])
FUNCTIONS = ["emit", "emit_plain", "emit_shared", "compat"]


class Names(collections.abc.Sequence[str]):
    """Yields "A", then raises `error` or stops; asking its length always fails."""

    def __init__(self, error: BaseException | None = None) -> None:
        self.error = error

    def __len__(self) -> int:
        raise RuntimeError("no length")

    def __getitem__(self, index: Any) -> Any:
        if index and self.error is not None:
            raise self.error
        return ["A"][index]


# {"$names": ...} in the data: see its "about".
def names(raising: dict[str, str] | None) -> Names:
    if raising is None:
        return Names()
    if "base" in raising:
        error_type = type(raising["raises"], (getattr(builtins, raising["base"]),), {})
    else:
        error_type = getattr(builtins, raising["raises"])
    return Names(error_type(raising["message"]))


TAGS: dict[str, Callable[[Any], object]] = {
    "$set": set,
    "$tuple": tuple,
    "$bytes": str.encode,
    "$str_subclass": type("Text", (str,), {}),
    "$instance_of": lambda qualname: type("N", (), {"__qualname__": qualname})(),
    "$names": names,
}


# A JSON value from the data as the argument it describes, by the notation in its "about".
def argument(value: Any) -> Any:
    if value == "$BUNDLE":
        return BUNDLE
    if isinstance(value, list):
        return [argument(item) for item in value]
    if isinstance(value, dict) and len(value) == 1 and next(iter(value)) in TAGS:
        [(tag, content)] = value.items()
        return TAGS[tag](content)
    return value


def call(described: dict[str, Any]) -> Any:
    function = getattr(_core, described["function"])
    args = [argument(value) for value in described.get("args", [])]
    kwargs = {key: argument(value) for key, value in described.get("kwargs", {}).items()}
    return function(*args, **kwargs)


@pytest.mark.parametrize("case", CALLS["errors"])
def test_error(case: dict[str, Any]) -> None:
    with pytest.raises((TypeError, UnicodeEncodeError, KeyboardInterrupt)) as caught:
        call(case["call"])
    assert f"{type(caught.value).__name__}: {caught.value}" == case["error"]


def test_exact_type_error_of_the_names_is_renamed_and_keeps_its_cause() -> None:
    error = TypeError("items unavailable")
    cause = KeyError("inner")
    error.__cause__ = cause
    with pytest.raises(TypeError, match=r"^argument 'shared_names': items unavailable$") as caught:
        _core.emit_shared("{}", "./s", Names(error))
    assert caught.value.__cause__ is cause


@pytest.mark.parametrize("case", CALLS["equivalent"])
def test_equivalent_calls(case: dict[str, Any]) -> None:
    result = call(case["call"])
    assert type(result) is str
    assert result == call(case["same"])


def test_sharing_a_name_of_the_bundle_changes_the_output() -> None:
    assert _core.emit_shared(BUNDLE, "./s", ["A"]) != _core.emit(BUNDLE)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_docstring_and_signature_match_the_stub(name: str) -> None:
    function = getattr(_core, name)
    stub_text = (Path(brenvale.__file__).parent / "_core.pyi").read_text(encoding="utf-8")
    stubs = [node for node in ast.parse(stub_text).body if isinstance(node, ast.FunctionDef)]
    stub = next(node for node in stubs if node.name == name)
    assert function.__doc__ == ast.get_docstring(stub)
    assert function.__text_signature__ == f"({', '.join(arg.arg for arg in stub.args.args)})"
    parameters = inspect.signature(function).parameters.values()
    kinds = {(p.kind, p.default) for p in parameters}
    assert kinds == {(inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty)}


def test_module_offers_exactly_four_functions_and_the_package_reexports_them() -> None:
    assert [name for name in vars(_core) if name[:2] != "__"] == FUNCTIONS
    assert _core.__doc__ == ""
    assert all(inspect.isbuiltin(getattr(_core, name)) for name in FUNCTIONS)
    reexported = [getattr(brenvale, name) for name in FUNCTIONS]
    assert reexported == [getattr(_core, name) for name in FUNCTIONS]
