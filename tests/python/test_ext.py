"""brenvale._ext.compat from Python: arguments, modes and the shape of its JSON; the rules
themselves are held by tests/cpp/compat_test.cpp."""

from __future__ import annotations

import json

import pytest

from brenvale import _ext

OLD = json.dumps({"$defs": {"E": {"enum": ["a", "b"]}, "M": {"type": "object", "properties": {"p": {}}}}})
NEW = json.dumps({"$defs": {"E": {"enum": ["a", "c"]}, "M": {"type": "object", "properties": {}}}})


@pytest.mark.parametrize(
    ("args", "kwargs", "error", "message"),
    [
        ((OLD,), {}, TypeError, "compat() missing 1 required positional argument: 'new_json'"),
        ((OLD, NEW, "full", 1), {}, TypeError, "compat() takes 3 positional arguments but 4 were given"),
        ((OLD, NEW), {"mode": 1}, TypeError, "argument 'mode': 'int' object is not an instance of 'str'"),
        ((OLD, NEW, "Full"), {}, ValueError, "mode must be 'backward', 'forward' or 'full', not 'Full'"),
        (("{", "["), {"mode": "x"}, ValueError, "mode must be 'backward', 'forward' or 'full', not 'x'"),
        (("{", "["), {}, ValueError, "EOF while parsing an object at line 1 column 1"),
    ],
)
def test_argument_errors(args: tuple, kwargs: dict, error: type, message: str) -> None:
    with pytest.raises(error) as raised:
        _ext.compat(*args, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    ("mode", "breaking"),
    [
        ("full", {"enum-member-removed", "enum-member-added", "field-removed"}),
        ("backward", {"enum-member-removed"}),
        ("forward", {"enum-member-added", "field-removed"}),
    ],
)
def test_mode_decides_which_directions_break(mode: str, breaking: set[str]) -> None:
    found = json.loads(_ext.compat(OLD, NEW, mode=mode))
    assert {f["rule"] for f in found if f["verdict"] == "BREAKING"} == breaking
    assert all(list(f) == ["def", "direction", "field", "message", "rule", "verdict"] for f in found)
