"""Random contract bundles: every function takes them, and only their JSON value matters."""

from __future__ import annotations

import json
import os
import random
from typing import Any

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import brenvale

# Modest counts keep CI fast; CI is derandomized so a red run can be replayed exactly.
COMMON = {"deadline": None, "database": None,
          "suppress_health_check": [HealthCheck.too_slow, HealthCheck.data_too_large]}
settings.register_profile("brenvale-ci", max_examples=60, derandomize=True, **COMMON)
settings.register_profile("brenvale-dev", max_examples=100, **COMMON)
PROFILE = settings.get_profile("brenvale-ci" if os.environ.get("CI") == "true" else "brenvale-dev")

FIRESTORE_TYPES = ("timestamp", "reference", "geopoint", "vector", "bytes", "Timestamp", "money")
TYPE_NAMES = ("null", "string", "number", "integer", "boolean", "object", "array", "date")
SEGMENTS = ("users", "{uid}", "posts", "{postId}", "{}", "{", "", "x{a}", "ü", "${x}")
# A small pool makes names repeat across the two bundles of compat and between $ref and $defs.
NAME_POOL = ("User", "user", "Post", "A", "B", "Kind", "Ünï", "", "a b", "X/Y")

scalars = st.one_of(st.none(), st.booleans(), st.integers(min_value=-(2**63), max_value=2**64 - 1),
                    st.floats(allow_nan=False, allow_infinity=False), st.text(max_size=6))
json_values = st.recursive(
    scalars,
    lambda children: st.one_of(st.lists(children, max_size=3),
                               st.dictionaries(st.text(max_size=4), children, max_size=3)),
    max_leaves=5,
)
names = st.one_of(st.sampled_from(NAME_POOL), st.text(max_size=5))


# $ref targets come from the same pool as definition names, so most resolve and some do not.
refs = st.tuples(st.sampled_from((*NAME_POOL, "Missing")), st.sampled_from(("#/$defs/", "", "#/x/")))
leaf_schemas = st.one_of(
    st.sampled_from(TYPE_NAMES).map(lambda name: {"type": name}),
    st.lists(st.one_of(st.sampled_from(TYPE_NAMES), scalars), max_size=4).map(lambda types: {"type": types}),
    refs.map(lambda ref: {"$ref": ref[1] + ref[0]}),
    json_values.map(lambda value: {"const": value}),
    st.lists(scalars, max_size=4).map(lambda members: {"enum": members}),
    st.fixed_dictionaries({"x-firestore-type": st.one_of(st.sampled_from(FIRESTORE_TYPES), scalars)}, optional={
        "x-firestore-server-timestamp": st.one_of(st.booleans(), scalars),
        "x-firestore-ref-target": st.one_of(names, scalars),
    }),
    scalars,  # a node that is no object behaves like {}
    st.just({}),
)


def extend(children: st.SearchStrategy[Any]) -> st.SearchStrategy[Any]:
    return st.one_of(
        st.lists(children, max_size=4).map(lambda members: {"anyOf": members}),
        st.lists(children, max_size=4).map(lambda members: {"oneOf": members}),
        children.map(lambda item: {"type": "array", "items": item}),
        st.lists(children, max_size=3).map(lambda items: {"type": "array", "prefixItems": items}),
        st.one_of(children, st.booleans(), scalars).map(lambda more: {"type": "object", "additionalProperties": more}),
        # Keys of two nodes on one node, where precedence between them decides.
        st.tuples(children, children).map(
            lambda pair: {**pair[0], **pair[1]} if all(isinstance(p, dict) for p in pair) else pair[0]
        ),
    )


schemas = st.recursive(leaf_schemas, extend, max_leaves=6)
property_flags = st.fixed_dictionaries({}, optional={
    "readOnly": st.one_of(st.booleans(), scalars),
    "x-firestore-presence-guaranteed": st.one_of(st.booleans(), scalars),
    "title": st.text(max_size=4),
})
property_schemas = st.tuples(schemas, property_flags).map(
    lambda pair: {**pair[0], **pair[1]} if isinstance(pair[0], dict) else pair[0]
)


@st.composite
def definitions(draw: st.DrawFn) -> Any:
    kind = draw(st.sampled_from(("model", "model", "enum", "other")))
    if kind == "enum":
        members = draw(st.one_of(st.lists(json_values, max_size=5), scalars))
        return {"enum": members, **draw(st.fixed_dictionaries({}, optional={"type": names}))}
    if kind == "other":
        return draw(st.one_of(leaf_schemas, json_values))
    fields = draw(st.dictionaries(names, property_schemas, max_size=5))
    field_names = list(fields) or ["id"]
    model: dict[str, Any] = {"type": draw(st.sampled_from(("object", "object", "string", 3)))}
    if draw(st.booleans()):
        model["properties"] = fields if draw(st.integers(0, 5)) else draw(scalars)
    paths = st.lists(st.sampled_from(SEGMENTS), min_size=1, max_size=5).map("/".join)
    optional = draw(st.fixed_dictionaries({}, optional={
        "required": st.lists(st.one_of(st.sampled_from(field_names), scalars), max_size=5),
        "x-firestore-collection": st.one_of(paths, scalars),
        "x-firestore-doc-id-field": st.one_of(st.sampled_from(field_names), scalars),
    }))
    return {**model, **optional}


@st.composite
def bundles(draw: st.DrawFn) -> Any:
    defs = draw(st.dictionaries(names, definitions(), max_size=6))
    shape = draw(st.integers(0, 19))
    if shape == 0:
        return draw(json_values)  # a root that is no bundle has no definitions
    if shape == 1:
        return {"$defs": draw(json_values)}
    return {"$defs": defs, **draw(st.fixed_dictionaries({}, optional={"title": st.text(max_size=4)}))}


def canonical(value: Any) -> str:
    return json.dumps(value, ensure_ascii=False)


def respelled(value: Any, rng: random.Random) -> str:
    """The same JSON value in another text: keys shuffled, a decoy before every key (the last of
    duplicate keys wins), other whitespace, \\u escapes or raw characters, e or E exponents."""

    def space() -> str:
        return rng.choice(("", " ", "\n", "\t", "\r\n  "))

    ascii_only = rng.random() < 0.5

    def string(text: str) -> str:
        return json.dumps(text, ensure_ascii=ascii_only)

    def write(node: Any) -> str:
        if isinstance(node, dict):
            items = list(node.items())
            rng.shuffle(items)
            parts = []
            for key, item in items:
                if rng.random() < 0.3:
                    parts.append(f"{string(key)}{space()}:{space()}[\"decoy\"]")
                parts.append(f"{string(key)}{space()}:{space()}{write(item)}")
            return "{" + space() + f"{space()},{space()}".join(parts) + space() + "}"
        if isinstance(node, list):
            return "[" + space() + f"{space()},{space()}".join(write(i) for i in node) + space() + "]"
        if isinstance(node, str):
            return string(node)
        if isinstance(node, float) and rng.random() < 0.5:
            return json.dumps(node).replace("e", "E")
        return json.dumps(node)

    return space() + write(value) + space()


def shared_names_of(bundle: Any) -> list[str]:
    defs = bundle.get("$defs") if isinstance(bundle, dict) else None
    return [*(sorted(defs)[::2] if isinstance(defs, dict) else []), "Missing"]


@PROFILE
@given(bundles(), bundles())
def test_every_function_takes_every_bundle(old: Any, new: Any) -> None:
    old_text, new_text = canonical(old), canonical(new)
    for text, bundle in ((old_text, old), (new_text, new)):
        assert brenvale.emit(text).startswith("// AUTO-GENERATED")
        assert isinstance(brenvale.emit_plain(text), str)
        assert isinstance(brenvale.emit_shared(text, "./shared", shared_names_of(bundle)), str)
    findings = json.loads(brenvale.compat(old_text, new_text))
    assert all(finding["verdict"] in ("SAFE", "BREAKING") for finding in findings)


@PROFILE
@given(bundles())
def test_a_bundle_compared_with_itself_has_no_findings(bundle: Any) -> None:
    text = canonical(bundle)
    assert brenvale.compat(text, text) == "[]"


@PROFILE
@given(bundles(), bundles(), st.randoms(use_true_random=False))
def test_only_the_json_value_matters(old: Any, new: Any, rng: random.Random) -> None:
    old_text, new_text = canonical(old), canonical(new)
    old_other, new_other = respelled(old, rng), respelled(new, rng)
    names = shared_names_of(old)
    assert brenvale.emit(old_other) == brenvale.emit(old_text)
    assert brenvale.emit_plain(old_other) == brenvale.emit_plain(old_text)
    assert brenvale.emit_shared(old_other, "./s", names[::-1]) == brenvale.emit_shared(
        old_text, "./s", names
    )
    assert brenvale.compat(old_other, new_other) == brenvale.compat(old_text, new_text)
