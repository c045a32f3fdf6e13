# The zod read schemas and Pydantic's model_validate agree on random documents as a Firestore reader gets them.

import importlib
import json
import shutil
import subprocess
import sys
from datetime import datetime, timezone
from pathlib import Path
from typing import Any

import pydantic
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import brenvale

ROOT = Path(__file__).resolve().parents[2]
TS_DIR = ROOT / "tests" / "typescript"
APPS = {"app": "contract.json", "chat": "chat/contract.json", "zoo": "zoo/contract.json"}
OFF: dict[
    tuple[int, str, int], st.SearchStrategy[Any]
] = {}  # built once per bundle, node and depth
PICK = [0, 0]  # nodes drawn so far in this document, and the one to put off
SAFE = 2**53 - 1  # z.int() takes safe integers only, Pydantic any: a gap the documents stay out of
# Firestore values, tagged for node. A server timestamp is never null here: the read schema lets a pending one
# through (as the read interface does), Pydantic wants a datetime.
FIRESTORE = {
    kind: values.map(lambda v, tag=tag: {tag: v})
    for kind, tag, values in [
        ("timestamp", "\0ts", st.integers(0, 2**32)),
        ("bytes", "\0bytes", st.text(max_size=4)),
        ("vector", "\0vec", st.lists(st.floats(-9, 9), max_size=3)),
        ("geopoint", "\0geo", st.tuples(st.floats(-90, 90), st.floats(-180, 180))),
        ("reference", "\0ref", st.text("abc123", min_size=1).map("users/".__add__)),
    ]
}
# The same values as Pydantic reads them from JSON.
PYDANTIC = {
    "\0ts": lambda s: datetime.fromtimestamp(s, timezone.utc).isoformat(),
    "\0geo": list,
    "\0bytes": str,
    "\0ref": str,
    "\0vec": list,
}
UNTAG = {
    "object_hook": lambda d: (
        PYDANTIC[next(iter(d))](*d.values()) if len(d) == 1 and next(iter(d)) in PYDANTIC else d
    )
}
# Values put in place of others, each kept from the field kinds where the read schema is wider on purpose (open enums,
# pending server timestamps) or where its JSON form for Pydantic stands for a different Firestore value.
STRINGY = {"string", "bytes", "reference"}  # a JSON string to Pydantic
PALETTE = [
    (None, {"server"}),
    (True, set()),
    (7, set()),
    (2.5, set()),
    ("zz", {"enum", *STRINGY}),
    ([], {"vector"}),
    ({"k": 1}, set()),
    ({"\0ts": 9}, STRINGY),
    ({"\0geo": [1.5, 2.5]}, {"array", "vector"}),
    ({"\0bytes": "b"}, STRINGY),
    ({"\0ref": "users/u1"}, STRINGY),
    ({"\0vec": [0.5]}, {"array"}),
]


def values(node: dict[str, Any], defs: dict[str, Any], depth: int = 0) -> st.SearchStrategy[Any]:
    # Values of a bundle schema node, valid but at the node the document picks (PICK): that one is at the bounds of
    # its constraints or past them, or any value of the palette that stays in the domain both sides decide.
    key = (id(defs), json.dumps(node, sort_keys=True), depth)
    if key not in OFF:
        on, off = (typed_values(node, defs, loose, depth) for loose in (False, True))
        off |= st.sampled_from(
            [value for value, avoided in PALETTE if not avoided & kinds(node, defs)]
        )
        pick = st.just(0).map(lambda _: PICK.__setitem__(0, PICK[0] + 1) or PICK[0] == PICK[1])
        OFF[key] = (
            on
            if on.is_empty or "x-firestore-collection" in node
            else pick.flatmap(lambda p: off if p else on)
        )
    return OFF[key]


def typed_values(node: dict[str, Any], defs: dict[str, Any], loose: bool, depth: int) -> Any:
    get, kind, alternatives = node.get, node.get("type"), node.get("anyOf", node.get("oneOf"))
    edges = [
        get(k) + d
        for k in (
            "minimum",
            "maximum",
            "exclusiveMinimum",
            "exclusiveMaximum",
            "minLength",
            "maxLength",
            "minItems",
            "maxItems",
        )
        if k in node
        for d in (-1, 0, 1)
    ]
    if "x-firestore-type" in node:
        return FIRESTORE[node["x-firestore-type"]]
    if "$ref" in node:  # a recursive model stops after a few levels
        return (
            values(defs[node["$ref"].rsplit("/", 1)[-1]], defs, depth + 1)
            if depth < 3
            else st.nothing()
        )
    if "const" in node or "enum" in node:
        return st.sampled_from(get("enum", [get("const")]))
    if alternatives or isinstance(kind, list):
        # Members are off only as a whole: a value one member admits may be what another stands for.
        members = alternatives or [{**node, "type": member} for member in kind]
        return st.one_of([typed_values(member, defs, loose, depth) for member in members])
    if kind in ("string", "array") and loose:
        sizes = st.sampled_from([n for n in edges if n >= 0] or [0, 2])
        items = st.characters() if kind == "string" else values(get("items", {}), defs, depth)
        join = "".join if kind == "string" else list
        return sizes.flatmap(lambda n: st.lists(items, min_size=n, max_size=n).map(join))
    if kind == "string":
        return (
            st.from_regex(get("pattern"), fullmatch=True)
            if "pattern" in node
            else st.text(min_size=get("minLength", 0), max_size=get("maxLength", 24))
        )
    if kind in ("integer", "number") and loose:
        return st.sampled_from(edges or [0]) | (st.integers if kind == "integer" else st.floats)(
            -SAFE, SAFE
        )
    if kind == "integer":
        return st.integers(get("minimum", -SAFE), get("maximum", SAFE)).map(
            lambda n: n - n % get("multipleOf", 1)
        )
    if kind == "number":
        low, high = get("minimum", get("exclusiveMinimum")), get("maximum", get("exclusiveMaximum"))
        return st.floats(
            low,
            high,
            allow_nan=False,
            allow_infinity=False,
            exclude_min="exclusiveMinimum" in node,
            exclude_max="exclusiveMaximum" in node,
        )
    if kind == "array" and "prefixItems" in node:
        return st.tuples(*(values(item, defs, depth) for item in node["prefixItems"])).map(list)
    if kind == "array":
        items, sizes = (
            values(get("items", {}), defs, depth),
            (get("minItems", 0), get("maxItems", 3)),
        )
        return (
            st.just([]) if items.is_empty else st.lists(items, min_size=sizes[0], max_size=sizes[1])
        )
    if kind == "object" and "properties" in node:
        fields = {key: values(value, defs, depth) for key, value in node["properties"].items()}
        return st.fixed_dictionaries(
            {key: fields.pop(key) for key in get("required", [])}, optional=fields
        )
    if kind == "object":
        return st.dictionaries(
            st.text(max_size=3), values(get("additionalProperties", {}), defs, depth), max_size=3
        )
    return {"boolean": st.booleans(), "null": st.none()}.get(
        kind, st.none() | st.integers(0, 9) | st.text(max_size=3)
    )


def kinds(node: dict[str, Any], defs: dict[str, Any]) -> set[str]:
    # What a node admits at its top: JSON types, Firestore types, "enum" and "server".
    get, types = node.get, node.get("type", [])
    found = {
        get("x-firestore-type"),
        "enum" in node and "enum",
        get("x-firestore-server-timestamp") and "server",
    }
    inner = [
        *get("anyOf", []),
        *get("oneOf", []),
        *([defs[get("$ref").rsplit("/", 1)[-1]]] if "$ref" in node else []),
    ]
    return found.union(
        [types] if isinstance(types, str) else types, *(kinds(member, defs) for member in inner)
    )


@pytest.fixture(scope="module")
def cases(tmp_path_factory: pytest.TempPathFactory) -> Any:
    if shutil.which("node") is None or not (TS_DIR / "node_modules" / "zod").is_dir():
        pytest.skip("node and tests/typescript/node_modules (install.sh) are needed")
    sys.path.insert(0, str(ROOT / "examples"))
    folder, found = tmp_path_factory.mktemp("zod"), []
    for app, path in APPS.items():  # the zoo's models, with every check, three times as often
        bundle = (ROOT / "examples" / path).read_text(encoding="utf-8")
        (folder / f"{app}.ts").write_text(brenvale.emit_zod(bundle), encoding="utf-8")
        models, defs = importlib.import_module(f"{app}.models"), json.loads(bundle)["$defs"]
        found += [
            (str(folder / f"{app}.ts"), name, getattr(models, name), schema, values(schema, defs))
            for name, schema in defs.items()
            if "x-firestore-collection" in schema
        ] * (3 if app == "zoo" else 1)
    with subprocess.Popen(
        ["node", "zod_verdicts.mjs"],
        cwd=TS_DIR,
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        text=True,
    ) as node:
        yield node, found


def test_read_schemas_agree_with_pydantic(cases: Any) -> None:
    node, cases = cases
    decided: list[bool] = []

    # A document, valid or not, and the index of its model, so that a failure prints just these.
    @st.composite
    def documents(draw: Any) -> tuple[int, dict[str, Any]]:
        _, _, _, schema, strategy = cases[case := draw(st.integers(0, len(cases) - 1))]
        PICK[:] = [0, draw(st.integers(0, 40))]
        doc, key = draw(strategy), draw(st.sampled_from(sorted(schema["properties"])))
        # A field that may be absent reads as optional, while Pydantic requires it: it stays.
        if draw(st.booleans()) and (
            key not in schema["required"]
            or schema["properties"][key].get(
                "x-firestore-presence-guaranteed", key == schema.get("x-firestore-doc-id-field")
            )
        ):
            doc.pop(key, None)
        return case, doc

    @settings(
        max_examples=250, deadline=None, database=None, suppress_health_check=list(HealthCheck)
    )
    @given(st.lists(documents(), min_size=16, max_size=16))
    def agree(batch: list[tuple[int, dict[str, Any]]]) -> None:
        expected = []  # strict: a reader gets no coercion ("1" -> 1, 1.0 -> 1, True -> 1), nor does zod make one
        for case, doc in batch:
            try:
                untagged = json.dumps(json.loads(json.dumps(doc), **UNTAG))
                expected.append(
                    cases[case][2].model_validate_json(untagged, strict=True) is not None
                )
            except pydantic.ValidationError:
                expected.append(False)
        lines = [
            json.dumps({"module": cases[i][0], "schema": f"{cases[i][1]}Schema", "doc": doc})
            for i, doc in batch
        ]
        node.stdin.write("\n".join(lines) + "\n")
        node.stdin.flush()
        got = [node.stdout.readline() == "1\n" for _ in batch]
        assert [
            line for line, want, have in zip(lines, expected, got, strict=True) if want != have
        ] == []
        decided.extend(expected)

    agree()
    assert len(decided) >= 2000 and 0.2 < sum(decided) / len(decided) < 0.8, (
        len(decided),
        sum(decided),
    )


RUST = {"type": "string", "pattern": "(?i)a"}  # JavaScript has no inline flags


def test_a_pattern_only_rust_compiles_fails_its_values_not_the_import(
    cases: Any, tmp_path: Path
) -> None:
    (p := tmp_path / "p.ts").write_text(
        brenvale.emit_zod(json.dumps({"$defs": {"P": {"properties": {"s": RUST}}}}))
    )
    docs = [
        json.dumps({"module": str(p), "schema": "PSchema", "doc": doc}) for doc in ({"s": "a"}, {})
    ]
    print(*docs, file=cases[0].stdin, sep="\n", flush=True)
    assert [cases[0].stdout.readline() for _ in docs] == [
        "0\n",
        "1\n",
    ]  # it loads, and "a" fails the pattern
