"""Random contract bundles: every function takes them, and only their JSON value matters."""

import json
import os
import random

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import brenvale

# CI is derandomized so a red run can be replayed exactly.
SETTINGS = settings(max_examples=60, derandomize=os.environ.get("CI") == "true", deadline=None, database=None,
                    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
TYPES = st.sampled_from(("null", "string", "number", "integer", "boolean", "object", "array", "date"))
# A small pool makes names repeat: between $defs, $ref, properties, required and the two bundles of compat.
NAMES = st.sampled_from(("User", "user", "Post", "A", "Kind", "Ünï", "", "a b", "X/Y", "Missing"))
PATHS = st.lists(st.sampled_from(("users", "{uid}", "posts", "{}", "{", "", "x{a}", "${x}")), min_size=1,
                 max_size=5).map("/".join)
scalars = st.one_of(st.none(), st.booleans(), st.integers(-(2**63), 2**64 - 1),
                    st.floats(allow_nan=False, allow_infinity=False), st.text(max_size=6))
json_values = st.recursive(scalars, lambda c: st.lists(c, max_size=3) | st.dictionaries(st.text(max_size=4), c,
                                                                                        max_size=3), max_leaves=5)


def schema_nodes(children: st.SearchStrategy) -> st.SearchStrategy:
    """A node with any of the keys the core reads, each holding a value of its kind or any JSON value."""
    keys = {
        "type": TYPES | st.lists(TYPES, max_size=3), "$ref": NAMES.map("#/$defs/".__add__) | NAMES,
        "x-firestore-type": st.sampled_from(("timestamp", "reference", "geopoint", "vector", "bytes", "money")),
        "x-firestore-ref-target": NAMES, "x-firestore-server-timestamp": st.booleans(),
        "x-firestore-presence-guaranteed": st.booleans(), "readOnly": st.booleans(),
        "const": json_values, "enum": st.lists(scalars, max_size=4), "anyOf": st.lists(children, max_size=3),
        "oneOf": st.lists(children, max_size=3), "items": children, "prefixItems": st.lists(children, max_size=3),
        "additionalProperties": children, "properties": st.dictionaries(NAMES, children, max_size=4),
        "required": st.lists(NAMES, max_size=3), "x-firestore-collection": PATHS, "x-firestore-doc-id-field": NAMES,
    }
    return st.fixed_dictionaries({}, optional={key: value | scalars for key, value in keys.items()})


schemas = st.recursive(st.just({}) | scalars, schema_nodes, max_leaves=8)
models = st.builds(lambda node, fields: {**node, "type": "object", "properties": fields}, schema_nodes(schemas),
                   st.dictionaries(NAMES, schemas, max_size=5))
# One in ten a root or a $defs that is no object, which has no definitions.
bundles = st.builds(lambda defs, other, pick: {"$defs": defs} if pick else other,
                    st.dictionaries(NAMES | st.text(max_size=4), models | schemas, min_size=1, max_size=6),
                    json_values.map(lambda value: {"$defs": value}) | json_values, st.integers(0, 9))


def respelled(value: object, rng: random.Random) -> str:
    """The same JSON value in another text: keys shuffled, a decoy before some keys (the last of
    duplicate keys wins), other whitespace, \\u escapes or raw characters, e or E exponents."""
    ascii_only = rng.random() < 0.5

    def space() -> str:
        return rng.choice(("", " ", "\n", "\t", "\r\n  "))

    def write(node: object) -> str:
        if isinstance(node, dict):
            items = [(json.dumps(key, ensure_ascii=ascii_only), write(item)) for key, item in node.items()]
            items = [pair for key, item in rng.sample(items, len(items))
                     for pair in ([(key, '["decoy"]')] if rng.random() < 0.3 else []) + [(key, item)]]
            return "{" + f"{space()},{space()}".join(f"{key}{space()}:{space()}{item}" for key, item in items) + "}"
        if isinstance(node, list):
            return "[" + space() + f"{space()},{space()}".join(map(write, node)) + space() + "]"
        text = json.dumps(node, ensure_ascii=ascii_only)
        return text.replace("e", "E") if isinstance(node, float) and rng.random() < 0.5 else text

    return space() + write(value) + space()


@SETTINGS
@given(bundles, bundles, st.randoms(use_true_random=False))
def test_only_the_json_value_matters(old: object, new: object, rng: random.Random) -> None:
    old_text, new_text = json.dumps(old, ensure_ascii=False), json.dumps(new, ensure_ascii=False)
    defs = old.get("$defs") if isinstance(old, dict) else None
    names = [*(sorted(defs)[::2] if isinstance(defs, dict) else []), "Missing"]
    assert brenvale.emit(respelled(old, rng)) == brenvale.emit(old_text)
    assert brenvale.emit_plain(respelled(old, rng)) == brenvale.emit_plain(old_text)
    assert brenvale.emit_shared(respelled(old, rng), "./s", names[::-1]) == brenvale.emit_shared(old_text, "./s", names)
    findings = brenvale.compat(old_text, new_text)
    assert brenvale.compat(respelled(old, rng), respelled(new, rng)) == findings
    assert {finding["verdict"] for finding in json.loads(findings)} <= {"SAFE", "BREAKING"}
    assert brenvale.compat(old_text, old_text) == "[]"  # a bundle has no findings against itself
