"""Random contract bundles through the Python surface: only their JSON value matters."""

import json
import os
import random

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import brenvale

# CI is derandomized so a red run can be replayed exactly.
SETTINGS = settings(
    max_examples=60,
    derandomize=os.environ.get("CI") == "true",
    deadline=None,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)
TYPES = st.sampled_from(
    ("null", "string", "number", "integer", "boolean", "object", "array", "date")
)
# A small pool makes names repeat: between $defs, $ref, properties, required and the two bundles
# of compat.
NAMES = st.sampled_from(("User", "user", "Post", "A", "Kind", "Ünï", "", "a b", "X/Y", "Missing"))
PATH_SEGMENTS = st.sampled_from(("users", "{uid}", "posts", "{}", "{", "", "x{a}", "${x}"))
PATHS = st.lists(PATH_SEGMENTS, min_size=1, max_size=5).map("/".join)
scalars = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(-(2**63), 2**64 - 1),
    st.floats(allow_nan=False, allow_infinity=False),
    st.text(max_size=6),
)
json_values = st.recursive(
    scalars,
    lambda c: st.lists(c, max_size=3) | st.dictionaries(st.text(max_size=4), c, max_size=3),
    max_leaves=5,
)


def schema_nodes(children: st.SearchStrategy) -> st.SearchStrategy:
    """A node with any key the core reads, each holding a value of its kind or any JSON value."""
    keys = {
        "type": TYPES | st.lists(TYPES, max_size=3),
        "$ref": NAMES.map("#/$defs/".__add__) | NAMES,
        "x-firestore-type": st.sampled_from(
            ("timestamp", "reference", "geopoint", "vector", "bytes", "money")
        ),
        "x-firestore-ref-target": NAMES,
        "x-firestore-server-timestamp": st.booleans(),
        "x-firestore-presence-guaranteed": st.booleans(),
        "readOnly": st.booleans(),
        "const": json_values,
        "enum": st.lists(scalars, max_size=4),
        "anyOf": st.lists(children, max_size=3),
        "oneOf": st.lists(children, max_size=3),
        "items": children,
        "prefixItems": st.lists(children, max_size=3),
        "additionalProperties": children,
        "properties": st.dictionaries(NAMES, children, max_size=4),
        "required": st.lists(NAMES, max_size=3),
        "x-firestore-collection": PATHS,
        "x-firestore-doc-id-field": NAMES,
    }
    return st.fixed_dictionaries({}, optional={key: value | scalars for key, value in keys.items()})


schemas: st.SearchStrategy[object] = st.recursive(st.just({}) | scalars, schema_nodes, max_leaves=8)
models = st.builds(
    lambda node, fields: {**node, "type": "object", "properties": fields},
    schema_nodes(schemas),
    st.dictionaries(NAMES, schemas, max_size=5),
)
bundles = st.dictionaries(
    NAMES | st.text(max_size=4), models | schemas, min_size=1, max_size=6
).map(lambda defs: {"$defs": defs})


def respelled(value: object, rng: random.Random) -> str:
    """The same JSON value in another text: keys shuffled, \\u escapes or raw UTF-8. Whitespace,
    duplicate keys and number spellings are the reader's (tests/cpp/json_reader_test.cpp)."""
    ascii_only = rng.random() < 0.5

    def write(node: object) -> str:
        if isinstance(node, dict):
            items = [
                f"{json.dumps(key, ensure_ascii=ascii_only)}:{write(item)}"
                for key, item in node.items()
            ]
            return "{" + ",".join(rng.sample(items, len(items))) + "}"
        if isinstance(node, list):
            return "[" + ",".join(map(write, node)) + "]"
        return json.dumps(node, ensure_ascii=ascii_only)

    return write(value)


# emit_plain and emit_shared read the same tree as emit (the order of shared names:
# test_module_surface). The fuzz targets hold the rest for any input: one output on every run, no
# injection, no findings against itself.
@SETTINGS
@given(bundles, bundles, st.randoms(use_true_random=False))
def test_only_the_json_value_matters(old: object, new: object, rng: random.Random) -> None:
    old_text = json.dumps(old, ensure_ascii=False)
    new_text = json.dumps(new, ensure_ascii=False)
    assert brenvale.emit(respelled(old, rng)) == brenvale.emit(old_text)
    findings = brenvale.compat(old_text, new_text)
    assert brenvale.compat(respelled(old, rng), respelled(new, rng)) == findings
