"""brenvale.compat from Python: the report text end to end; the rule table is held by tests/cpp/compat_test.cpp."""

from __future__ import annotations

import json

import pytest

import brenvale


def bundle(defs: object) -> str:
    return json.dumps({"$defs": defs})


GUARANTEED = {"type": "string", "x-firestore-presence-guaranteed": True}


def test_worked_example_byte_for_byte() -> None:
    old = bundle({"Order": {"type": "object", "properties": {"id": {}, "total": {}}}})
    new = bundle({"Invoice": {"type": "object"}, "Order": {"type": "object", "properties": {"id": {}}}})
    assert brenvale.compat(old, new) == (
        '[{"def":"Invoice","field":null,"message":"model added (additive)","verdict":"SAFE"},'
        '{"def":"Order","field":"total","message":"field removed","verdict":"BREAKING"}]'
    )


@pytest.mark.parametrize(
    ("old", "new", "expected"),
    [
        ("[]", "null", []),
        (bundle({"M": {"properties": {"a": GUARANTEED}, "required": ["a"]}}),) * 2 + ([],),
        (
            bundle({"M": {"properties": {"a": {"type": "string"}, "b": GUARANTEED}, "required": ["b"]}}),
            bundle({"M": {"properties": {"a": {"type": "boolean", "x-firestore-presence-guaranteed": True},
                                         "b": {"type": "string"}}, "required": ["a", "b"]}}),
            [("a", "type changed: string -> boolean"), ("a", "read optional -> required"),
             ("b", "read required -> optional")],
        ),
    ],
    ids=["non-object-roots", "identical", "requiredness"],
)
def test_findings(old: str, new: str, expected: list[tuple[str, str]]) -> None:
    found = json.loads(brenvale.compat(old, new))
    assert [(f["field"], f["message"]) for f in found] == expected
    assert all((f["def"], f["verdict"]) == ("M", "BREAKING") for f in found)


def test_names_come_back_as_the_same_str() -> None:
    name = "a\"\\\n\x00\x1fé\U0001f525z"  # escaped, raw multi-byte and astral characters
    text = brenvale.compat("{}", bundle({name: {"type": "object"}}))
    assert text.startswith('[{"def":"a\\"\\\\\\n\\u0000\\u001fé\U0001f525z","field":null')
    assert json.loads(text)[0]["def"] == name
