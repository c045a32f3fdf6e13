# The zod read schemas and Pydantic's model_validate agree on random documents as a Firestore
# reader gets them; the modules' runtime rules hold in node; refused patterns fail generation.

import importlib
import json
import shutil
import subprocess
import sys
from collections.abc import Callable, Iterator
from datetime import datetime, timezone
from pathlib import Path
from typing import Any, NamedTuple

import pydantic
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import brenvale
from brenvale import _ext

ROOT = Path(__file__).resolve().parents[2]
TS_DIR = ROOT / "tests" / "typescript"
DATA = Path(__file__).resolve().parents[1] / "data" / "zod_cases.json"
RUNTIME = DATA.with_name("zod_runtime.json")
CASES = json.loads(DATA.read_text(encoding="utf-8"))
BOUNDS = CASES["bounds"]["keywords"]
PALETTE = [(case["value"], set(case["kept_from"])) for case in CASES["palette"]["values"]]
OFF: dict[tuple[int, str, int], st.SearchStrategy[Any]] = {}  # once per bundle, node and depth
PICK = [0, 0]  # nodes drawn so far in this document, and the one to put off
SAFE = 2**53 - 1  # z.int() takes safe integers only, Pydantic any: a gap the documents stay out of


def tagged(tag: str, strategy: st.SearchStrategy[Any]) -> st.SearchStrategy[dict[str, Any]]:
    return strategy.map(lambda value: {tag: value})


# Firestore values, tagged for node. A server timestamp is never null here: the read schema lets a
# pending one through (as the read interface does), Pydantic wants a datetime.
FIRESTORE = {
    "timestamp": tagged("\0ts", st.integers(0, 2**32)),
    "bytes": tagged("\0bytes", st.text(max_size=4)),
    "vector": tagged("\0vec", st.lists(st.floats(-9, 9), max_size=3)),
    "geopoint": tagged("\0geo", st.tuples(st.floats(-90, 90), st.floats(-180, 180))),
    "reference": tagged("\0ref", st.text("abc123", min_size=1).map("users/".__add__)),
}
# The same values as Pydantic reads them from JSON.
PYDANTIC: dict[str, Callable[[Any], Any]] = {
    "\0ts": lambda s: datetime.fromtimestamp(s, timezone.utc).isoformat(),
    "\0geo": list,
    "\0bytes": str,
    "\0ref": str,
    "\0vec": list,
}


# A collection model of an example app, and the documents drawn for it.
class Case(NamedTuple):
    module: str  # the zod module generated from the app's bundle
    name: str
    model: type[pydantic.BaseModel]
    schema: dict[str, Any]
    documents: st.SearchStrategy[Any]


# A tagged Firestore value as Pydantic reads it from JSON; any other object as it is.
def untag(value: dict[str, Any]) -> Any:
    if len(value) == 1 and next(iter(value)) in PYDANTIC:
        tag, inner = next(iter(value.items()))
        return PYDANTIC[tag](inner)
    return value


# Counts a node drawn, and tells whether it is the one the document puts off.
def is_off(_: object) -> bool:
    PICK[0] += 1
    return PICK[0] == PICK[1]


def verdicts(node: subprocess.Popen[str], lines: list[str]) -> list[str]:
    # What zod_verdicts.mjs answers, one line a document: "1\n" where the schema accepts it.
    assert node.stdin is not None and node.stdout is not None
    node.stdin.write("\n".join(lines) + "\n")
    node.stdin.flush()
    return [node.stdout.readline() for _ in lines]


def values(node: dict[str, Any], defs: dict[str, Any], depth: int = 0) -> st.SearchStrategy[Any]:
    # Values of a bundle schema node, valid but at the node the document picks (PICK): that one is
    # at the bounds of its constraints or past them, or any value of the palette that stays in the
    # domain both sides decide.
    key = (id(defs), json.dumps(node, sort_keys=True), depth)
    if key not in OFF:
        on = typed_values(node, defs, False, depth)
        palette = [value for value, kept_from in PALETTE if not kept_from & kinds(node, defs)]
        off = typed_values(node, defs, True, depth) | st.sampled_from(palette)
        if on.is_empty or "x-firestore-collection" in node:
            OFF[key] = on
        else:
            OFF[key] = st.just(0).map(is_off).flatmap(lambda picked: off if picked else on)
    return OFF[key]


def typed_values(node: dict[str, Any], defs: dict[str, Any], loose: bool, depth: int) -> Any:
    get = node.get
    kind: Any = node.get("type")
    alternatives = node.get("anyOf", node.get("oneOf"))
    edges = [node[k] + d for k in BOUNDS if k in node for d in (-1, 0, 1)]
    if "x-firestore-type" in node:
        return FIRESTORE[node["x-firestore-type"]]
    if "$ref" in node:  # a recursive model stops after a few levels
        if depth >= 3:
            return st.nothing()
        return values(defs[node["$ref"].rsplit("/", 1)[-1]], defs, depth + 1)
    if "const" in node or "enum" in node:
        return st.sampled_from(get("enum", [get("const")]))
    if alternatives or isinstance(kind, list):
        # Members are off only as a whole: a value one member admits may be what another stands for.
        members = alternatives or [{**node, "type": member} for member in kind]
        return st.one_of([typed_values(member, defs, loose, depth) for member in members])
    if kind in ("string", "array") and loose:
        sizes = st.sampled_from([n for n in edges if n >= 0] or [0, 2])
        if kind == "string":
            chars = st.characters()
            return sizes.flatmap(lambda n: st.lists(chars, min_size=n, max_size=n).map("".join))
        items = values(get("items", {}), defs, depth)
        if items.is_empty:  # items of a recursive model past its depth: only [] can be drawn
            return st.just([])
        return sizes.flatmap(lambda n: st.lists(items, min_size=n, max_size=n))
    if kind == "string" and "pattern" in node:
        return st.from_regex(node["pattern"], fullmatch=True)
    if kind == "string":
        return st.text(min_size=get("minLength", 0), max_size=get("maxLength", 24))
    if kind in ("integer", "number") and loose:
        numbers = st.integers(-SAFE, SAFE) if kind == "integer" else st.floats(-SAFE, SAFE)
        return st.sampled_from(edges or [0]) | numbers
    if kind == "integer":
        step = get("multipleOf", 1)
        integers = st.integers(get("minimum", -SAFE), get("maximum", SAFE))
        return integers.map(lambda n: n - n % step)
    if kind == "number":
        return st.floats(
            get("minimum", get("exclusiveMinimum")),
            get("maximum", get("exclusiveMaximum")),
            allow_nan=False,
            allow_infinity=False,
            exclude_min="exclusiveMinimum" in node,
            exclude_max="exclusiveMaximum" in node,
        )
    if kind == "array" and "prefixItems" in node:
        return st.tuples(*(values(item, defs, depth) for item in node["prefixItems"])).map(list)
    if kind == "array":
        items = values(get("items", {}), defs, depth)
        if items.is_empty:
            return st.just([])
        return st.lists(items, min_size=get("minItems", 0), max_size=get("maxItems", 3))
    if kind == "object" and "properties" in node:
        fields = {key: values(value, defs, depth) for key, value in node["properties"].items()}
        required = {key: fields.pop(key) for key in get("required", [])}
        return st.fixed_dictionaries(required, optional=fields)
    if kind == "object":
        items = values(get("additionalProperties", {}), defs, depth)
        return st.dictionaries(st.text(max_size=3), items, max_size=3)
    if kind == "boolean":
        return st.booleans()
    if kind == "null":
        return st.none()
    return st.one_of(st.none(), st.integers(0, 9), st.text(max_size=3))


def kinds(node: dict[str, Any], defs: dict[str, Any]) -> set[str]:
    # What a node admits at its top: JSON types, Firestore types, "enum" and "server".
    types = node.get("type", [])
    found = {types} if isinstance(types, str) else set(types)
    if "x-firestore-type" in node:
        found.add(node["x-firestore-type"])
    if "enum" in node:
        found.add("enum")
    if node.get("x-firestore-server-timestamp"):
        found.add("server")
    inner = [*node.get("anyOf", []), *node.get("oneOf", [])]
    if "$ref" in node:
        inner.append(defs[node["$ref"].rsplit("/", 1)[-1]])
    return found.union(*(kinds(member, defs) for member in inner))


# The process that decides documents with zod (zod_verdicts.mjs), and the collection models.
Stage = tuple[subprocess.Popen[str], list[Case]]


@pytest.fixture(scope="module")
def cases(tmp_path_factory: pytest.TempPathFactory) -> Iterator[Stage]:
    if shutil.which("node") is None or not (TS_DIR / "node_modules" / "zod").is_dir():
        pytest.skip("node and tests/typescript/node_modules (install.sh) are needed")
    sys.path.insert(0, str(ROOT / "examples"))
    folder = tmp_path_factory.mktemp("zod")
    found: list[Case] = []
    for app in CASES["apps"]:
        bundle = (ROOT / app["bundle"]).read_text(encoding="utf-8")
        module = folder / f"{app['app']}.ts"
        module.write_text(brenvale.emit_zod(bundle), encoding="utf-8")
        models = importlib.import_module(f"{app['app']}.models")
        defs = json.loads(bundle)["$defs"]
        collections = [
            Case(str(module), name, getattr(models, name), schema, values(schema, defs))
            for name, schema in defs.items()
            if "x-firestore-collection" in schema
        ]
        found += collections * app["times"]
    with subprocess.Popen(
        ["node", "zod_verdicts.mjs"],
        cwd=TS_DIR,
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        text=True,
    ) as node:
        yield node, found


def test_read_schemas_agree_with_pydantic(cases: Stage) -> None:
    node, found = cases
    decided: list[bool] = []

    # A document, valid or not, and the index of its model, so that a failure prints just these.
    @st.composite
    def documents(draw: st.DrawFn) -> tuple[int, dict[str, Any]]:
        index = draw(st.integers(0, len(found) - 1))
        schema = found[index].schema
        PICK[:] = [0, draw(st.integers(0, 40))]
        doc = draw(found[index].documents)
        key = draw(st.sampled_from(sorted(schema["properties"])))
        # A field that may be absent reads as optional, while Pydantic requires it: it stays.
        is_id = key == schema.get("x-firestore-doc-id-field")
        guaranteed = schema["properties"][key].get("x-firestore-presence-guaranteed", is_id)
        if draw(st.booleans()) and (key not in schema["required"] or guaranteed):
            doc.pop(key, None)
        if draw(st.integers(0, 3)) == 0:  # a key no model declares: kept, refused or dropped
            doc[CASES["extra"]["key"]] = draw(st.sampled_from([value for value, _ in PALETTE]))
        return index, doc

    @settings(
        max_examples=250, deadline=None, database=None, suppress_health_check=list(HealthCheck)
    )
    @given(st.lists(documents(), min_size=16, max_size=16))
    def agree(batch: list[tuple[int, dict[str, Any]]]) -> None:
        # Strict: a reader gets no coercion ("1" -> 1, 1.0 -> 1, True -> 1), nor does zod make one.
        expected = []
        for index, doc in batch:
            untagged = json.dumps(json.loads(json.dumps(doc), object_hook=untag))
            try:
                found[index].model.model_validate_json(untagged, strict=True)
                expected.append(True)
            except pydantic.ValidationError:
                expected.append(False)
        lines = []
        for index, doc in batch:
            request = {"module": found[index].module, "schema": f"{found[index].name}Schema"}
            lines.append(json.dumps({**request, "doc": doc}))
        got = [verdict == "1\n" for verdict in verdicts(node, lines)]
        compared = zip(lines, expected, got, strict=True)
        assert [line for line, want, have in compared if want != have] == []
        decided.extend(expected)

    agree()
    assert len(decided) >= 2000, len(decided)
    assert 0.2 < sum(decided) / len(decided) < 0.8, (len(decided), sum(decided))


@pytest.mark.parametrize("case", CASES["patterns"], ids=lambda case: case["schema"]["pattern"])
def test_patterns_read_as_rust_reads_them_or_fail_their_values(
    cases: Stage, tmp_path: Path, case: dict[str, Any]
) -> None:
    module = tmp_path / "p.ts"
    bundle = {"$defs": {"P": {"properties": {"s": case["schema"]}}}}
    module.write_text(brenvale.emit_zod(json.dumps(bundle)))
    request = {"module": str(module), "schema": "PSchema"}
    lines = [json.dumps({**request, "doc": document["doc"]}) for document in case["documents"]]
    expected = ["1\n" if document["accepted"] else "0\n" for document in case["documents"]]
    assert verdicts(cases[0], lines) == expected


def test_runtime_cases(cases: Stage, tmp_path: Path) -> None:
    table = json.loads(RUNTIME.read_text(encoding="utf-8"))
    files = {}
    for name, module in table["modules"].items():
        source = ROOT / module["bundle"] if "bundle" in module else None
        bundle = source.read_text("utf-8") if source else json.dumps({"$defs": module["defs"]})
        files[name] = str(tmp_path / f"{name}.ts")
        Path(files[name]).write_text(brenvale.emit_module(bundle, "zod", sdk=module["sdk"]))
    node = ["node", "zod_runtime.mjs", str(RUNTIME), json.dumps(files)]
    # A reader that never ends (a union read in exponential time) fails, never hangs the run.
    run = subprocess.run(node, cwd=TS_DIR, capture_output=True, text=True, check=True, timeout=120)
    assert json.loads(run.stdout) == []


@pytest.mark.parametrize(
    "case", CASES["refused"], ids=lambda case: f"{case['in']}: {case['pattern']}"
)
def test_a_pattern_pydantic_refuses_fails_generation(case: dict[str, Any]) -> None:
    field = {"type": "string", "pattern": case["pattern"]}
    placed = {
        "field": field,
        "items": {"type": "array", "items": field},
        "key pattern": {"type": "object", "patternProperties": {case["pattern"]: {}}},
        "key schema": {"type": "object", "propertyNames": field},
    }[case["in"]]
    bundle = json.dumps({"$defs": {"M": {"properties": {"f": placed}}, "Z": field}})
    for sdk in ("web", "admin"):
        with pytest.raises(brenvale.BundleError) as error:
            brenvale.emit_module(bundle, "zod", sdk=sdk)
        assert (str(error.value), error.value.argument) == (case["error"], "bundle_json")
    with pytest.raises(brenvale.BundleError):
        _ext.emit_each(bundle, [{"kind": "firestore"}, {"kind": "zod"}])
    assert brenvale.emit_module(bundle, "firestore")
