"""brenvale.compat from Python: the findings text end to end.

The rules are held by tests/cpp/compat_test.cpp.
"""

import json

import brenvale


def bundle(defs: object) -> str:
    return json.dumps({"$defs": defs})


def test_worked_example_byte_for_byte() -> None:
    old = bundle({"Order": {"type": "object", "properties": {"id": {}, "total": {}}}})
    new = bundle(
        {"Invoice": {"type": "object"}, "Order": {"type": "object", "properties": {"id": {}}}}
    )
    assert brenvale.compat(old, new) == (
        '[{"def":"Invoice","field":null,"message":"model added (additive)","verdict":"SAFE"},'
        '{"def":"Order","field":"total","message":"field removed","verdict":"BREAKING"}]'
    )
    assert brenvale.compat(new, new) == "[]"


def test_names_come_back_as_the_same_str() -> None:
    name = 'a"\\\n\x00\x1fé\U0001f525z'  # escaped, raw multi-byte and astral characters
    text = brenvale.compat("{}", bundle({name: {"type": "object"}}))
    assert text.startswith('[{"def":"a\\"\\\\\\n\\u0000\\u001fé\U0001f525z","field":null')
    assert json.loads(text)[0]["def"] == name


def test_bounds_under_pydantic_names_read_as_their_schema_keys() -> None:
    """A bundle written before the bounds Pydantic checks after a union were renamed agrees with
    a newer bundle of the same models, and is compared by them."""
    number = [{"type": "integer"}, {"type": "number"}]
    raw = {"anyOf": number, "ge": 0, "lt": 10, "multiple_of": 0.5, "gt": -1, "le": 9}
    named = {
        "anyOf": number,
        "exclusiveMaximum": 10,
        "exclusiveMinimum": -1,
        "maximum": 9,
        "minimum": 0,
        "multipleOf": 0.5,
    }
    old = bundle({"M": {"type": "object", "properties": {"p": raw}}})
    same = bundle({"M": {"type": "object", "properties": {"p": named}}})
    assert brenvale.compat_findings(old, same) == []
    tighter = bundle({"M": {"type": "object", "properties": {"p": {**named, "maximum": 5}}}})
    found = brenvale.compat_findings(old, tighter)
    assert [(f.rule, f.message) for f in found] == [
        ("maximum-tightened", "maximum tightened: 9 -> 5")
    ]
