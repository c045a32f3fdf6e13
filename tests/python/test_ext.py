"""brenvale._ext from Python: arguments, compat's modes and the shape of its JSON; the rules are in the C++ tests."""

import json

import pytest

from brenvale import _ext

OLD = json.dumps(
    {"$defs": {"E": {"enum": ["a", "b"]}, "M": {"type": "object", "properties": {"p": {}}}}}
)
NEW = json.dumps({"$defs": {"E": {"enum": ["a", "c"]}, "M": {"type": "object", "properties": {}}}})
MODE = "ValueError: mode must be 'backward', 'forward' or 'full', not "


@pytest.mark.parametrize(
    ("args", "kwargs", "message"),
    [
        ((OLD,), {"sdk": "node"}, "ValueError: sdk must be 'web' or 'admin', not 'node'"),
        (
            ("{",),
            {"sdk": "admin", "update_paths": True},
            "ValueError: update_paths is for the web SDK: the Admin SDK's UpdateData cannot expand maps of models or "
            "references",
        ),
        ((OLD,), {}, "TypeError: compat() missing 1 required positional argument: 'new_json'"),
        (
            (OLD, NEW),
            {"mode": 1},
            "TypeError: argument 'mode': 'int' object is not an instance of 'str'",
        ),
        (
            ("{", "["),
            {"mode": "x"},
            MODE + "'x'",
        ),  # the mode is checked before the bundles are read
        (("{", "["), {}, "ValueError: EOF while parsing an object at line 1 column 1"),
    ],
)
def test_argument_errors(args: tuple, kwargs: dict, message: str) -> None:
    with pytest.raises((TypeError, ValueError)) as raised:
        (_ext.emit if "sdk" in kwargs else _ext.compat)(*args, **kwargs)
    assert f"{type(raised.value).__name__}: {raised.value}" == message


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
    assert all(
        list(f) == ["def", "direction", "field", "message", "rule", "verdict"] for f in found
    )
