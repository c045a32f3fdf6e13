"""Contract bundles from real Pydantic models: the keys they carry and the TypeScript they give."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import textwrap
from collections.abc import Iterator
from datetime import datetime
from enum import Enum
from pathlib import Path
from typing import Annotated, Any, Generic, Literal, TypeVar

import pytest

try:
    from pydantic import BaseModel, ConfigDict, Field, computed_field, create_model
    from pydantic.alias_generators import to_camel
except ImportError:
    REASON = "pydantic is not installed: pip install 'brenvale[pydantic]'"
    if os.environ.get("CI") == "true":
        pytest.fail(REASON, pytrace=False)
    pytest.skip(REASON, allow_module_level=True)

from brenvale import firestore
from brenvale.contract import ModelsError, Options, bundle, bundle_from_target

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"

TIMESTAMP = {"x-firestore-type": "timestamp"}
NULL = {"type": "null"}
GUARANTEED = {"x-firestore-presence-guaranteed": True}
REF = {"x-firestore-type": "reference"}
ADDRESS = {"$ref": "#/$defs/Address"}


class Color(str, Enum):
    RED = "red"
    BLUE = "blue"


class Address(BaseModel):
    city: str
    zip: str | None = None


class Owner(BaseModel):
    model_config = firestore.collection("owners", id_field="id")

    id: str
    name: str


DEFAULTS = Options()


def defs(*models: type, options: Options = DEFAULTS) -> dict[str, Any]:
    return json.loads(bundle(models, options=options))["$defs"]


def field_schema(annotation: Any, default: Any = ..., options: Options = DEFAULTS) -> tuple[dict[str, Any], bool]:
    """The property schema (without its title) of a one-field model, and whether it is required."""
    definition = defs(create_model("M", f=(annotation, default)), options=options)["M"]
    schema = {k: v for k, v in definition["properties"]["f"].items() if k != "title"}
    return schema, "f" in definition.get("required", [])


def optional(schema: dict[str, Any], **extra: Any) -> dict[str, Any]:
    """What `X | None = None` says: anyOf with null and a None default."""
    return {"anyOf": [schema, NULL], "default": None, **extra}


def case(name: str, annotation: Any, default: Any, schema: dict[str, Any], required: bool,
         options: Options | None = None) -> Any:
    return pytest.param(annotation, default, schema, required, options or Options(), id=name)


TS, SERVER_TS, REF_TO_OWNER = firestore.Timestamp, firestore.ServerTimestamp, firestore.Reference(Owner)
NO_TS, NO_BYTES, NO_PRESENCE = (Options(datetime_is_timestamp=False), Options(bytes_is_bytes=False),
                                Options(required_is_present=False))
# Annotation, default, property schema (title left out), required; last, each default switched off.
FIELDS = [
    case("timestamp", Annotated[datetime, TS], ..., {**TIMESTAMP, **GUARANTEED}, True),
    case("datetime_default", datetime, ..., {**TIMESTAMP, **GUARANTEED}, True),
    case("server_timestamp", Annotated[datetime, SERVER_TS], ...,
         {**TIMESTAMP, "x-firestore-server-timestamp": True, **GUARANTEED}, True),
    case("optional_marker_inside", Annotated[datetime, TS] | None, None, optional(TIMESTAMP), False),
    case("optional_marker_outside", Annotated[datetime | None, TS], None, optional(TIMESTAMP), False),
    case("optional_datetime", datetime | None, None, optional(TIMESTAMP), False),
    case("required_nullable", datetime | None, ..., {"anyOf": [TIMESTAMP, NULL], **GUARANTEED}, True),
    case("list_of_datetime", list[datetime], ..., {"type": "array", "items": TIMESTAMP, **GUARANTEED}, True),
    case("reference", Annotated[str, firestore.Reference], ..., {**REF, **GUARANTEED}, True),
    case("reference_to_model", Annotated[str, REF_TO_OWNER], ...,
         {**REF, "x-firestore-ref-target": "Owner", **GUARANTEED}, True),
    case("reference_to_name", Annotated[str, firestore.Reference("Owner")] | None, None,
         optional({**REF, "x-firestore-ref-target": "Owner"}), False),
    case("geopoint", Annotated[tuple[float, float], firestore.GeoPoint], ...,
         {"x-firestore-type": "geopoint", **GUARANTEED}, True),
    case("vector", Annotated[list[float], firestore.Vector], ..., {"x-firestore-type": "vector", **GUARANTEED}, True),
    case("bytes_marker", Annotated[bytes, firestore.Bytes], ..., {"x-firestore-type": "bytes", **GUARANTEED}, True),
    case("bytes_default", bytes | None, None, optional({"x-firestore-type": "bytes"}), False),
    case("guaranteed_with_default", Annotated[int, firestore.PresenceGuaranteed], 0,
         {"type": "integer", "default": 0, **GUARANTEED}, False),
    case("may_be_absent", Annotated[str, firestore.MayBeAbsent], ...,
         {"type": "string", "x-firestore-presence-guaranteed": False}, True),
    case("read_only", Annotated[int, firestore.ReadOnly], 0, {"type": "integer", "default": 0, "readOnly": True},
         False),
    case("read_only_optional_model", Annotated[Address | None, firestore.ReadOnly], None,
         optional(ADDRESS, readOnly=True), False),
    case("nested_model", Address, ..., {**ADDRESS, **GUARANTEED}, True),
    case("list_default_factory", list[str], Field(default_factory=list),
         {"type": "array", "items": {"type": "string"}}, False),
    case("dict", dict[str, int], ..., {"type": "object", "additionalProperties": {"type": "integer"}, **GUARANTEED},
         True),
    case("tuple", tuple[int, str], ..., {"type": "array", "prefixItems": [{"type": "integer"}, {"type": "string"}],
                                         "minItems": 2, "maxItems": 2, **GUARANTEED}, True),
    case("literal", Literal["a", "b"], ..., {"type": "string", "enum": ["a", "b"], **GUARANTEED}, True),
    case("enum", Color, ..., {"$ref": "#/$defs/Color", **GUARANTEED}, True),
    case("enum_default", Color, Color.RED, {"$ref": "#/$defs/Color", "default": "red"}, False),
    case("datetime_plain", datetime, ..., {"type": "string", "format": "date-time", **GUARANTEED}, True, NO_TS),
    case("bytes_plain", bytes, ..., {"type": "string", "format": "binary", **GUARANTEED}, True, NO_BYTES),
    case("presence_explicit_only", str, ..., {"type": "string"}, True, NO_PRESENCE),
    case("presence_marker_kept", Annotated[str, firestore.PresenceGuaranteed], ..., {"type": "string", **GUARANTEED},
         True, NO_PRESENCE),
    case("marker_beats_switch", Annotated[datetime, TS], ..., {**TIMESTAMP, **GUARANTEED}, True, NO_TS),
]


@pytest.mark.parametrize(("annotation", "default", "schema", "required", "options"), FIELDS)
def test_field_schema(annotation: Any, default: Any, schema: dict[str, Any], required: bool, options: Options) -> None:
    assert field_schema(annotation, default, options) == (schema, required)


def test_collection_keys_sit_on_the_collection_model_only() -> None:
    found = defs(create_model("Holder", __config__=firestore.collection("owners", id_field="id"),
                              id=(str, ...), a=(Address, ...)))
    assert (found["Holder"]["x-firestore-collection"], found["Holder"]["x-firestore-doc-id-field"]) == ("owners", "id")
    assert found["Holder"]["properties"]["id"] == {"type": "string", "title": "Id"}  # the id gets no presence key
    assert not [k for k in found["Address"] if k.startswith("x-firestore")]


def test_collection_merges_other_config() -> None:
    config = firestore.collection("a/{b}/c", id_field="id", frozen=True, json_schema_extra={"description": "x"})
    assert config == {"frozen": True, "json_schema_extra": {
        "description": "x", "x-firestore-collection": "a/{b}/c", "x-firestore-doc-id-field": "id"}}


@pytest.mark.parametrize(
    ("make", "error", "message"),
    [*(pytest.param(lambda p=p: firestore.collection(p), ValueError, "collection path", id=p or "empty") for p in
       ["", "users/{uid}", "/users", "users/", "users//posts", "users/{u-id}/posts", "users/{}/x", "a/b}/c"]),
     pytest.param(lambda: firestore.Reference(3), TypeError, "model class or a type name", id="reference-to-number")],
)
def test_firestore_helpers_reject(make: Any, error: type[Exception], message: str) -> None:
    with pytest.raises(error, match=message):
        make()


class Account(BaseModel):
    model_config = firestore.collection("accounts", id_field="account_id", alias_generator=to_camel)

    account_id: str
    display_name: str
    joined_at: datetime
    nick: str = Field("", alias="nickname")


@pytest.mark.parametrize(
    ("by_alias", "properties", "id_field"),
    [(True, ["accountId", "displayName", "joinedAt", "nickname"], "accountId"),
     (False, ["account_id", "display_name", "joined_at", "nick"], "account_id")],
    ids=["by-alias", "python-names"],
)
def test_aliases_name_the_properties_and_the_id_field(by_alias: bool, properties: list[str], id_field: str) -> None:
    found = defs(Account, options=Options(by_alias=by_alias))["Account"]
    assert (sorted(found["properties"]), found["x-firestore-doc-id-field"]) == (properties, id_field)
    assert found["required"] == properties[:3]


class Split(BaseModel):
    key: str = Field(validation_alias="keyIn", serialization_alias="keyOut")
    hidden: str = Field("", exclude=True)

    @computed_field  # type: ignore[prop-decorator]
    @property
    def label(self) -> str:
        return self.key.upper()


@pytest.mark.parametrize(
    ("mode", "properties"),
    [("serialization", {"keyOut": {"type": "string"}, "label": {"type": "string", "readOnly": True}}),
     ("validation", {"keyIn": {"type": "string"}, "hidden": {"type": "string", "default": ""}})],
)
def test_mode_decides_aliases_computed_and_excluded_fields(
    mode: Literal["validation", "serialization"], properties: dict[str, Any]
) -> None:
    found = defs(Split, options=Options(mode=mode))["Split"]["properties"]
    assert {name: {k: v for k, v in p.items() if k not in ("title", "x-firestore-presence-guaranteed")}
            for name, p in found.items()} == properties


T = TypeVar("T")


class Page(BaseModel, Generic[T]):
    items: list[T]
    next_cursor: str | None = None


class Feed(BaseModel):
    model_config = firestore.collection("feeds", id_field="id")

    id: str
    first: Page[Owner]
    counts: Page[int]


class Post(BaseModel):
    model_config = firestore.collection("owners/{ownerId}/posts", id_field="id")

    id: str
    owner: Annotated[str, firestore.Reference(Owner)]
    title: str
    color: Color = Color.RED
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    edited_at: datetime | None = None
    tags: list[str] = Field(default_factory=list)
    where: Annotated[tuple[float, float], firestore.GeoPoint] | None = None
    likes: Annotated[int, firestore.ReadOnly] = 0
    summary: Annotated[str, firestore.MayBeAbsent]
    pages: dict[str, Page[int]] = Field(default_factory=dict)


def test_generic_models_and_reference_targets_join_the_bundle() -> None:
    found = defs(Feed)
    assert sorted(found) == ["Feed", "Owner", "Page_Owner_", "Page_int_"]
    assert found["Page_Owner_"]["properties"]["items"]["items"] == {"$ref": "#/$defs/Owner"}
    assert found["Feed"]["properties"]["first"] == {"$ref": "#/$defs/Page_Owner_", **GUARANTEED}
    assert sorted(defs(Post)) == ["Color", "Owner", "Page_int_", "Post"]


def test_bundle_text_is_canonical_json_with_only_defs() -> None:
    text = bundle([Post, Account])
    assert text == json.dumps(json.loads(text), indent=2, sort_keys=True, ensure_ascii=False) + "\n"
    assert text == bundle([Account, Post]) == bundle([Account, Post, Account])
    assert list(json.loads(text)) == ["$defs"]


class Opaque:
    pass


@pytest.mark.parametrize(
    ("models", "options", "message"),
    [
        ([], Options(), "^no models to put in the bundle"),
        ([dict], Options(), r"^not a Pydantic model class: <class 'dict'>"),
        ([Address(city="Oslo")], Options(), "^not a Pydantic model class"),
        ([create_model("Lost", __config__=firestore.collection("lost", id_field="uid"), id=(str, ...))], Options(),
         r"^Lost: id_field 'uid' is not one of its fields$"),
        ([Owner], Options(mode="python"), "mode must be"),  # type: ignore[arg-type]
        ([create_model("Holds", __config__=ConfigDict(arbitrary_types_allowed=True), thing=(Opaque, ...))],
         Options(), "Opaque"),
    ],
    ids=["empty", "not_a_model", "instance", "unknown_id_field", "bad_mode", "pydantic_schema_error"],
)
def test_bundle_rejects_in_one_line(models: list[Any], options: Options, message: str) -> None:
    with pytest.raises(ModelsError, match=message) as raised:
        bundle(models, options=options)
    assert "\n" not in str(raised.value)


# -- bundle_from_target: a models package on disk, imported from the working directory --

PACKAGE = "bv_shop"
SHOP = """
from datetime import datetime
from typing import Annotated
from pydantic import BaseModel
from brenvale import firestore

class Address(BaseModel):
    city: str

class Customer(BaseModel):
    model_config = firestore.collection("customers", id_field="id")
    id: str
    address: Address

class Order(BaseModel):
    model_config = firestore.collection("customers/{cid}/orders", id_field="id")
    id: str
    customer: Annotated[str, firestore.Reference(Customer)]
    placed_at: datetime

class Draft(BaseModel):
    note: str
"""
BROKEN = """
from pydantic import BaseModel
from brenvale import firestore

class User(BaseModel):
    model_config = firestore.collection("users/{uid}")
"""
PACKAGE_FILES = {
    "models.py": SHOP,
    "dto.py": "from pydantic import BaseModel\nclass Note(BaseModel):\n    text: str\n"
              "class Tag(BaseModel):\n    name: str\n",
    "empty.py": "from pydantic import BaseModel\n",
    "broken.py": BROKEN,
    "needs.py": "import bv_absent_dependency\n",
}


@pytest.fixture
def project(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Path]:
    """A working directory holding the package; the sys.path and modules the test adds are undone after."""
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(sys, "path", list(sys.path))
    (tmp_path / PACKAGE).mkdir()
    (tmp_path / PACKAGE / "__init__.py").write_text("")
    for name, text in PACKAGE_FILES.items():
        (tmp_path / PACKAGE / name).write_text(textwrap.dedent(text))
    yield tmp_path
    for name in [n for n in sys.modules if n == PACKAGE or n.startswith(PACKAGE + ".")]:
        del sys.modules[name]


@pytest.mark.parametrize(
    ("target", "expected"),
    [
        (f"{PACKAGE}.models", ["Address", "Customer", "Order"]),  # its collection models
        (f"{PACKAGE}.dto", ["Note", "Tag"]),  # no collections: the models defined in it
        (f" {PACKAGE}.models:Order, Draft ", ["Address", "Customer", "Draft", "Order"]),  # named, plus references
    ],
    ids=["collections", "defined-models", "named-models"],
)
def test_target_models(project: Path, target: str, expected: list[str]) -> None:
    assert sorted(json.loads(bundle_from_target(target))["$defs"]) == expected
    assert sys.path[0] == os.getcwd()


def test_options_pass_through(project: Path) -> None:
    found = json.loads(bundle_from_target(f"{PACKAGE}.models:Order", options=Options(datetime_is_timestamp=False)))
    assert found["$defs"]["Order"]["properties"]["placed_at"]["format"] == "date-time"


USAGE = "expected 'package.module' or 'package.module:Model,Other'"
TARGET_ERRORS = [
    ("", f"{USAGE}, got ''"),
    ("bv_shop.models:", f"{USAGE}, got 'bv_shop.models:'"),
    ("bv_shop/models.py", f"{USAGE}, got 'bv_shop/models.py'"),
    ("bv_shop.models:Order,,Draft", USAGE),
    ("bv_nowhere.models", "no module named bv_nowhere (looked in "),
    ("bv_shop.nothing", "no module named bv_shop.nothing (looked in "),
    ("bv_shop.models:Missing", "bv_shop.models has no Missing"),
    ("bv_shop.models:datetime", "bv_shop.models:datetime is not a Pydantic model class"),
    ("bv_shop.empty", "no Pydantic model in bv_shop.empty"),
    ("bv_shop.broken", "importing bv_shop.broken failed: ValueError: collection path 'users/{uid}' names a document"),
    ("bv_shop.needs", "importing bv_shop.needs failed: ModuleNotFoundError: No module named 'bv_absent_dependency'"),
]


@pytest.mark.parametrize(("target", "message"), TARGET_ERRORS, ids=[t or "empty" for t, _ in TARGET_ERRORS])
def test_target_errors(project: Path, target: str, message: str) -> None:
    with pytest.raises(ModelsError) as raised:
        bundle_from_target(target)
    assert str(raised.value).startswith(message)
    assert "\n" not in str(raised.value)


@pytest.mark.parametrize(
    ("code", "stdout"),
    [
        ("import brenvale, brenvale.contract, brenvale.firestore\nprint('pydantic' in sys.modules)", "False\n"),
        (("sys.modules['pydantic'] = None\nfrom brenvale.contract import ModelsError, bundle_from_target\n"
          "try:\n    bundle_from_target('app.models')\nexcept ModelsError as error:\n    print(error)"),
         "Pydantic is needed for --models: pip install 'brenvale[pydantic]'\n"),
    ],
    ids=["imports-without-pydantic", "missing-pydantic-is-a-models-error"],
)
def test_without_pydantic(code: str, stdout: str) -> None:
    result = subprocess.run([sys.executable, "-c", "import sys\n" + code],
                            capture_output=True, text=True, timeout=60, check=False)
    assert (result.returncode, result.stdout, result.stderr) == (0, stdout, "")


# -- the example app --


@pytest.fixture
def example_bundle(monkeypatch: pytest.MonkeyPatch) -> Iterator[str]:
    monkeypatch.chdir(EXAMPLES)
    monkeypatch.setattr(sys, "path", list(sys.path))
    yield bundle_from_target("app.models")
    for name in [n for n in sys.modules if n == "app" or n.startswith("app.")]:
        del sys.modules[name]


def test_example_contract_is_up_to_date(example_bundle: str) -> None:
    assert (EXAMPLES / "contract.json").read_text(encoding="utf-8") == example_bundle
