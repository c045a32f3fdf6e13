"""brenvale.compat: findings of two contract bundles as exact JSON text."""

from __future__ import annotations

import json

import pytest

import brenvale


def bundle(defs: object) -> str:
    return json.dumps({"$defs": defs})


def row(def_: str, field: str | None, message: str, verdict: str) -> str:
    """One finding as compat writes it: compact, members in key order."""
    return json.dumps(
        {"def": def_, "field": field, "message": message, "verdict": verdict},
        separators=(",", ":"),
        ensure_ascii=False,
    )


def report(*rows: str) -> str:
    return "[" + ",".join(rows) + "]"


MODEL = {"type": "object"}
GUARANTEED = {"type": "string", "x-firestore-presence-guaranteed": True}


def test_worked_example_byte_for_byte() -> None:
    old = bundle({"Order": {"type": "object", "properties": {"id": {}, "total": {}}}})
    new = bundle({"Invoice": MODEL, "Order": {"type": "object", "properties": {"id": {}}}})
    assert brenvale.compat(old, new) == (
        '[{"def":"Invoice","field":null,"message":"model added (additive)","verdict":"SAFE"},'
        '{"def":"Order","field":"total","message":"field removed","verdict":"BREAKING"}]'
    )


@pytest.mark.parametrize(
    ("old", "new"),
    [
        ("{}", "{}"),
        ("[]", "null"),
        ('{"$defs": []}', '{"$defs": "x"}'),
        (bundle({"M": {"properties": {"a": GUARANTEED}, "required": ["a"]}}),) * 2,
    ],
    ids=["no-defs", "non-object-roots", "defs-not-object", "identical"],
)
def test_no_findings(old: str, new: str) -> None:
    assert brenvale.compat(old, new) == "[]"


CASES = [
    pytest.param(
        "{}",
        bundle({"ab": {"enum": []}, "a": MODEL, "B": {"type": "string"}, "Ab": MODEL}),
        report(*(row(n, None, "model added (additive)", "SAFE") for n in ("Ab", "B", "a", "ab"))),
        id="added-in-byte-order",
    ),
    pytest.param(
        bundle({"Gone": MODEL, "Kept": {"enum": ["a"]}}),
        bundle({"Kept": {"enum": ["b"]}}),
        report(row("Gone", None, "model removed (contract gone)", "BREAKING")),
        id="removed-and-enum-not-compared",
    ),
    pytest.param(
        bundle({"S": {"enum": ["a"]}}),
        bundle({"S": {"type": "object", "x-firestore-collection": "s", "properties": {"x": {}}}}),
        report(row("S", None, "definition kind changed (object <-> enum/scalar)", "BREAKING")),
        id="kind-change-is-one-finding",
    ),
    pytest.param(
        bundle({"M": {"type": "object", "x-firestore-doc-id-field": "id",
                      "x-firestore-collection": "m", "properties": {"z": {}}}}),
        bundle({"M": {"type": "object", "x-firestore-collection": "n",
                      "properties": {"a": {}, "z": {"type": "integer"}}}}),
        report(
            row("M", None, "x-firestore-doc-id-field changed: id -> (none)", "BREAKING"),
            row("M", None, "x-firestore-collection changed: m -> n", "BREAKING"),
            row("M", "a", "field added (read-optional)", "SAFE"),
            row("M", "z", "type changed: unknown -> number", "BREAKING"),
        ),
        id="doc-id-collection-then-properties",
    ),
    pytest.param(
        bundle({"M": {"properties": {"a": {"type": "string"}, "b": GUARANTEED}, "required": ["b"]}}),
        bundle({"M": {"properties": {"a": {"type": "boolean", "x-firestore-presence-guaranteed": True},
                                     "b": {"type": "string"}, "c": GUARANTEED},
                      "required": ["a", "b", "c"]}}),
        report(
            row("M", "a", "type changed: string -> boolean", "BREAKING"),
            row("M", "a", "read optional -> required", "BREAKING"),
            row("M", "b", "read required -> optional", "BREAKING"),
            row("M", "c", "field added as read-required", "BREAKING"),
        ),
        id="requiredness",
    ),
    pytest.param(
        bundle({"M": {"properties": {"s": {"$ref": "#/$defs/S"}, "t": {"$ref": "#/$defs/S"}}},
                "S": {"enum": ["a", "b"]}}),
        bundle({"M": {"properties": {"s": {"$ref": "#/$defs/S"},
                                     "t": {"anyOf": [{"type": "null"}, {"$ref": "#/$defs/S"}]}}},
                "S": {"enum": ["c"]}}),
        report(row("M", "t", "type changed: string -> null | string", "BREAKING")),
        id="signatures-canonical",
    ),
]


@pytest.mark.parametrize(("old", "new", "expected"), CASES)
def test_findings(old: str, new: str, expected: str) -> None:
    assert brenvale.compat(old, new) == expected


@pytest.mark.parametrize(
    ("name", "written"),
    [
        ('"', '\\"'),
        ("\\", "\\\\"),
        ("\b", "\\b"),
        ("\t", "\\t"),
        ("\n", "\\n"),
        ("\f", "\\f"),
        ("\r", "\\r"),
        ("\x00", "\\u0000"),
        ("\x0b", "\\u000b"),
        ("\x1b", "\\u001b"),
        ("\x1f", "\\u001f"),
        ("/", "/"),
        ("\x7f", "\x7f"),
        ("é", "é"),
        ("\U0001f525", "\U0001f525"),
    ],
    ids=["quote", "backslash", "bs", "tab", "lf", "ff", "cr", "nul", "vt", "esc", "us",
         "solidus", "del", "e-acute", "astral"],
)
def test_escaping(name: str, written: str) -> None:
    text = brenvale.compat("{}", bundle({f"a{name}z": MODEL}))
    assert text == f'[{{"def":"a{written}z","field":null,"message":"model added (additive)","verdict":"SAFE"}}]'
    assert json.loads(text)[0]["def"] == f"a{name}z"


def test_keyword_arguments() -> None:
    assert brenvale.compat(new_json=bundle({"A": MODEL}), old_json="{}") == report(
        row("A", None, "model added (additive)", "SAFE")
    )


def test_old_bundle_parse_error_reported_first() -> None:
    with pytest.raises(ValueError, match=r"^EOF while parsing an object at line 1 column 1$"):
        brenvale.compat("{", "[")
