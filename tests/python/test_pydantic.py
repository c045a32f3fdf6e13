"""Contract bundles from real Pydantic models: the keys they carry and the TypeScript they give."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import tempfile
import textwrap
from collections.abc import Iterator
from datetime import datetime
from enum import Enum
from pathlib import Path
from typing import Annotated, Any, Generic, Literal, Optional, TypeVar

import pytest

try:
    from pydantic import BaseModel, ConfigDict, Field, computed_field, create_model
    from pydantic.alias_generators import to_camel
except ImportError:
    REASON = "pydantic is not installed: pip install 'brenvale[pydantic]'"
    if os.environ.get("CI") == "true":
        pytest.fail(REASON, pytrace=False)
    pytest.skip(REASON, allow_module_level=True)

import brenvale
from brenvale import firestore
from brenvale.contract import PYDANTIC_MISSING, ModelsError, Options, bundle, bundle_from_spec

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"

TIMESTAMP = {"x-firestore-type": "timestamp"}
NULL = {"type": "null"}
GUARANTEED = {"x-firestore-presence-guaranteed": True}


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


def defs(*models: type, options: Options = Options()) -> dict[str, Any]:
    return json.loads(bundle(models, options=options))["$defs"]


def field_schema(annotation: Any, default: Any = ..., options: Options = Options()) -> tuple[dict[str, Any], bool]:
    """The property schema (without its title) of a one-field model, and whether it is required."""
    model = create_model("M", f=(annotation, default))
    definition = defs(model, options=options)["M"]
    schema = {k: v for k, v in definition["properties"]["f"].items() if k != "title"}
    return schema, "f" in definition.get("required", [])


def interface(module: str, name: str) -> list[str]:
    """The member lines of one interface of an emitted module."""
    lines = module.splitlines()
    start = lines.index(f"export interface {name} {{")
    return lines[start + 1 : lines.index("}", start)]


# Annotation, default, property schema (title left out), required.
FIELDS: list[tuple[str, Any, Any, dict[str, Any], bool]] = [
    ("timestamp", Annotated[datetime, firestore.Timestamp], ..., {**TIMESTAMP, **GUARANTEED}, True),
    ("datetime_default", datetime, ..., {**TIMESTAMP, **GUARANTEED}, True),
    (
        "server_timestamp",
        Annotated[datetime, firestore.ServerTimestamp],
        ...,
        {**TIMESTAMP, "x-firestore-server-timestamp": True, **GUARANTEED},
        True,
    ),
    (
        "optional_marker_inside",
        Optional[Annotated[datetime, firestore.Timestamp]],
        None,
        {"anyOf": [TIMESTAMP, NULL], "default": None},
        False,
    ),
    (
        "optional_marker_outside",
        Annotated[Optional[datetime], firestore.Timestamp],
        None,
        {"anyOf": [TIMESTAMP, NULL], "default": None},
        False,
    ),
    ("optional_datetime", datetime | None, None, {"anyOf": [TIMESTAMP, NULL], "default": None}, False),
    ("required_nullable", Optional[datetime], ..., {"anyOf": [TIMESTAMP, NULL], **GUARANTEED}, True),
    ("list_of_datetime", list[datetime], ..., {"type": "array", "items": TIMESTAMP, **GUARANTEED}, True),
    ("reference", Annotated[str, firestore.Reference], ..., {"x-firestore-type": "reference", **GUARANTEED}, True),
    (
        "reference_to_model",
        Annotated[str, firestore.Reference(Owner)],
        ...,
        {"x-firestore-type": "reference", "x-firestore-ref-target": "Owner", **GUARANTEED},
        True,
    ),
    (
        "reference_to_name",
        Annotated[str, firestore.Reference("Owner")] | None,
        None,
        {"anyOf": [{"x-firestore-type": "reference", "x-firestore-ref-target": "Owner"}, NULL], "default": None},
        False,
    ),
    (
        "geopoint",
        Annotated[tuple[float, float], firestore.GeoPoint],
        ...,
        {"x-firestore-type": "geopoint", **GUARANTEED},
        True,
    ),
    ("vector", Annotated[list[float], firestore.Vector], ..., {"x-firestore-type": "vector", **GUARANTEED}, True),
    ("bytes_marker", Annotated[bytes, firestore.Bytes], ..., {"x-firestore-type": "bytes", **GUARANTEED}, True),
    ("bytes_default", bytes | None, None, {"anyOf": [{"x-firestore-type": "bytes"}, NULL], "default": None}, False),
    (
        "guaranteed_with_default",
        Annotated[int, firestore.PresenceGuaranteed],
        0,
        {"type": "integer", "default": 0, **GUARANTEED},
        False,
    ),
    (
        "may_be_absent",
        Annotated[str, firestore.MayBeAbsent],
        ...,
        {"type": "string", "x-firestore-presence-guaranteed": False},
        True,
    ),
    ("read_only", Annotated[int, firestore.ReadOnly], 0, {"type": "integer", "default": 0, "readOnly": True}, False),
    (
        "read_only_optional_model",
        Annotated[Optional[Address], firestore.ReadOnly],
        None,
        {"anyOf": [{"$ref": "#/$defs/Address"}, NULL], "default": None, "readOnly": True},
        False,
    ),
    ("nested_model", Address, ..., {"$ref": "#/$defs/Address", **GUARANTEED}, True),
    ("optional_model", Address | None, None, {"anyOf": [{"$ref": "#/$defs/Address"}, NULL], "default": None}, False),
    ("list_of_models", list[Address], ..., {"type": "array", "items": {"$ref": "#/$defs/Address"}, **GUARANTEED}, True),
    (
        "list_default_factory",
        list[str],
        Field(default_factory=list),
        {"type": "array", "items": {"type": "string"}},
        False,
    ),
    ("dict", dict[str, int], ..., {"type": "object", "additionalProperties": {"type": "integer"}, **GUARANTEED}, True),
    (
        "tuple",
        tuple[int, str],
        ...,
        {
            "type": "array",
            "prefixItems": [{"type": "integer"}, {"type": "string"}],
            "minItems": 2,
            "maxItems": 2,
            **GUARANTEED,
        },
        True,
    ),
    ("literal", Literal["a", "b"], ..., {"type": "string", "enum": ["a", "b"], **GUARANTEED}, True),
    ("enum", Color, ..., {"$ref": "#/$defs/Color", **GUARANTEED}, True),
    ("enum_default", Color, Color.RED, {"$ref": "#/$defs/Color", "default": "red"}, False),
    ("string_none_default", str | None, None, {"anyOf": [{"type": "string"}, NULL], "default": None}, False),
]


@pytest.mark.parametrize(
    ("annotation", "default", "schema", "required"), [f[1:] for f in FIELDS], ids=[f[0] for f in FIELDS]
)
def test_field_schema(annotation: Any, default: Any, schema: dict[str, Any], required: bool) -> None:
    assert field_schema(annotation, default) == (schema, required)


# Each default switched off: what the same field says instead.
SWITCHES: list[tuple[str, Any, Options, dict[str, Any]]] = [
    (
        "datetime_plain",
        datetime,
        Options(datetime_is_timestamp=False),
        {"type": "string", "format": "date-time", **GUARANTEED},
    ),
    ("bytes_plain", bytes, Options(bytes_is_bytes=False), {"type": "string", "format": "binary", **GUARANTEED}),
    ("presence_explicit_only", str, Options(required_is_present=False), {"type": "string"}),
    (
        "presence_marker_kept",
        Annotated[str, firestore.PresenceGuaranteed],
        Options(required_is_present=False),
        {"type": "string", **GUARANTEED},
    ),
    (
        "marker_beats_switch",
        Annotated[datetime, firestore.Timestamp],
        Options(datetime_is_timestamp=False),
        {**TIMESTAMP, **GUARANTEED},
    ),
]


@pytest.mark.parametrize(("annotation", "options", "schema"), [s[1:] for s in SWITCHES], ids=[s[0] for s in SWITCHES])
def test_switched_default(annotation: Any, options: Options, schema: dict[str, Any]) -> None:
    assert field_schema(annotation, options=options) == (schema, True)


def test_collection_and_id_field_sit_on_the_definition() -> None:
    found = defs(Owner)["Owner"]
    assert (found["x-firestore-collection"], found["x-firestore-doc-id-field"]) == ("owners", "id")
    assert found["properties"]["id"] == {"type": "string", "title": "Id"}  # the id gets no presence key


def test_nested_model_has_no_collection_keys() -> None:
    assert not [k for k in defs(create_model("Holder", a=(Address, ...)))["Address"] if k.startswith("x-firestore")]


def test_collection_merges_other_config() -> None:
    config = firestore.collection("a/{b}/c", id_field="id", frozen=True, json_schema_extra={"description": "x"})
    assert config == {
        "frozen": True,
        "json_schema_extra": {
            "description": "x",
            "x-firestore-collection": "a/{b}/c",
            "x-firestore-doc-id-field": "id",
        },
    }


@pytest.mark.parametrize(
    "path", ["", "users/{uid}", "/users", "users/", "users//posts", "users/{u-id}/posts", "users/{}/x", "a/b}/c"]
)
def test_collection_path_rejected(path: str) -> None:
    with pytest.raises(ValueError, match="collection path"):
        firestore.collection(path)


def test_reference_needs_a_class_or_name() -> None:
    with pytest.raises(TypeError, match="model class or a type name"):
        firestore.Reference(3)  # type: ignore[arg-type]


class Account(BaseModel):
    model_config = firestore.collection("accounts", id_field="account_id", alias_generator=to_camel)

    account_id: str
    display_name: str
    joined_at: datetime
    nick: str = Field("", alias="nickname")


def test_aliases_name_the_properties_and_the_id_field() -> None:
    found = defs(Account)["Account"]
    assert sorted(found["properties"]) == ["accountId", "displayName", "joinedAt", "nickname"]
    assert found["required"] == ["accountId", "displayName", "joinedAt"]
    assert found["x-firestore-doc-id-field"] == "accountId"


def test_by_alias_off_uses_python_names() -> None:
    found = defs(Account, options=Options(by_alias=False))["Account"]
    assert sorted(found["properties"]) == ["account_id", "display_name", "joined_at", "nick"]
    assert found["x-firestore-doc-id-field"] == "account_id"


class Split(BaseModel):
    key: str = Field(validation_alias="keyIn", serialization_alias="keyOut")
    hidden: str = Field("", exclude=True)

    @computed_field  # type: ignore[prop-decorator]
    @property
    def label(self) -> str:
        return self.key.upper()


@pytest.mark.parametrize(
    ("mode", "properties"),
    [
        ("serialization", {"keyOut": {"type": "string"}, "label": {"type": "string", "readOnly": True}}),
        ("validation", {"keyIn": {"type": "string"}, "hidden": {"type": "string", "default": ""}}),
    ],
)
def test_mode_decides_aliases_computed_and_excluded_fields(
    mode: Literal["validation", "serialization"], properties: dict[str, Any]
) -> None:
    found = defs(Split, options=Options(mode=mode))["Split"]["properties"]
    assert {
        name: {k: v for k, v in p.items() if k not in ("title", "x-firestore-presence-guaranteed")}
        for name, p in found.items()
    } == properties


T = TypeVar("T")


class Page(BaseModel, Generic[T]):
    items: list[T]
    next_cursor: str | None = None


class Feed(BaseModel):
    model_config = firestore.collection("feeds", id_field="id")

    id: str
    first: Page[Owner]
    counts: Page[int]


def test_generic_models_become_one_definition_per_parameter() -> None:
    found = defs(Feed)
    assert sorted(found) == ["Feed", "Owner", "Page_Owner_", "Page_int_"]
    assert found["Page_Owner_"]["properties"]["items"]["items"] == {"$ref": "#/$defs/Owner"}
    assert found["Feed"]["properties"]["first"] == {"$ref": "#/$defs/Page_Owner_", **GUARANTEED}


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


def test_reference_targets_join_the_bundle() -> None:
    assert sorted(defs(Post)) == ["Color", "Owner", "Page_int_", "Post"]


def test_emitted_read_interface() -> None:
    assert interface(brenvale.emit(bundle([Post])), "Post") == [
        "  color?: Color | (string & {});",
        "  created_at: Timestamp | null;",
        "  edited_at?: Timestamp | null;",
        "  id: string;",
        "  likes?: number;",
        "  owner: DocumentReference<Owner>;",
        "  pages?: Record<string, Page_int_>;",
        "  summary?: string;",
        "  tags?: string[];",
        "  title: string;",
        "  where?: GeoPoint | null;",
    ]


def test_emitted_write_interface() -> None:
    assert interface(brenvale.emit(bundle([Post])), "PostWrite") == [
        "  color?: Color;",
        "  created_at: FieldValue;",
        "  edited_at?: Timestamp | Date | null;",
        "  owner: DocumentReference<Owner>;",
        "  pages?: Record<string, Page_int_Write>;",
        "  summary: string;",
        "  tags?: string[];",
        "  title: string;",
        "  where?: GeoPoint | null;",
    ]


def test_emitted_collection_parts() -> None:
    module = brenvale.emit(bundle([Post]))
    assert "export const postsPath = (ownerId: string) => `owners/${ownerId}/posts`;\n" in module
    assert "export const ownersPath = () => `owners`;\n" in module
    names = "DocumentReference, FieldValue, FirestoreDataConverter, GeoPoint, Timestamp, UpdateData"
    assert f'import type {{ {names} }} from "firebase/firestore";\n' in module


def test_emitted_aliases_and_generics() -> None:
    module = brenvale.emit(bundle([Account, Feed]))
    assert interface(module, "Account") == [
        "  accountId: string;",
        "  displayName: string;",
        "  joinedAt: Timestamp;",
        "  nickname?: string;",
    ]
    assert interface(module, "Page_Owner_") == ["  items: Owner[];", "  next_cursor?: string | null;"]
    assert interface(module, "Feed") == ["  counts: Page_int_;", "  first: Page_Owner_;", "  id: string;"]


def test_emitted_plain_dto() -> None:
    assert interface(brenvale.emit_plain(bundle([Address, Owner])), "Address") == [
        "  city: string;",
        "  zip?: string | null;",
    ]


def test_bundle_text_is_canonical_json() -> None:
    text = bundle([Post, Account])
    assert text == json.dumps(json.loads(text), indent=2, sort_keys=True, ensure_ascii=False) + "\n"
    assert text == bundle([Account, Post]) == bundle([Account, Post, Account])


def test_bundle_has_only_defs_at_the_root() -> None:
    assert list(json.loads(bundle([Owner]))) == ["$defs"]


@pytest.mark.parametrize(
    ("models", "message"),
    [
        ([], "no models to put in the bundle"),
        ([dict], "not a Pydantic model class: <class 'dict'>"),
        ([Address(city="Oslo")], "not a Pydantic model class"),
    ],
    ids=["empty", "not_a_model", "instance"],
)
def test_bundle_rejects(models: list[Any], message: str) -> None:
    with pytest.raises(ModelsError, match=message.replace("(", r"\(").replace(")", r"\)")):
        bundle(models)


def test_unknown_id_field() -> None:
    model = create_model("Lost", __config__=firestore.collection("lost", id_field="uid"), id=(str, ...))
    with pytest.raises(ModelsError, match=r"^Lost: id_field 'uid' is not one of its fields$"):
        bundle([model])


def test_bad_mode() -> None:
    with pytest.raises(ModelsError, match="mode must be"):
        bundle([Owner], options=Options(mode="python"))  # type: ignore[arg-type]


def test_pydantic_schema_error_is_one_line() -> None:
    class Opaque:
        pass

    model = create_model("Holds", __config__=ConfigDict(arbitrary_types_allowed=True), thing=(Opaque, ...))
    with pytest.raises(ModelsError) as raised:
        bundle([model])
    assert "\n" not in str(raised.value) and "Opaque" in str(raised.value)


# -- bundle_from_spec: a models package on disk, imported from the working directory --

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


@pytest.fixture
def project(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Path]:
    """An empty working directory; the sys.path and modules the test adds are undone after."""
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(sys, "path", list(sys.path))
    yield tmp_path
    for name in [n for n in sys.modules if n == PACKAGE or n.startswith(PACKAGE + ".")]:
        del sys.modules[name]


def write_package(root: Path, files: dict[str, str]) -> None:
    (root / PACKAGE).mkdir()
    (root / PACKAGE / "__init__.py").write_text("")
    for name, text in files.items():
        (root / PACKAGE / name).write_text(textwrap.dedent(text))


def test_module_target_takes_its_collection_models(project: Path) -> None:
    write_package(project, {"models.py": SHOP})
    assert sorted(json.loads(bundle_from_spec(f"{PACKAGE}.models"))["$defs"]) == ["Address", "Customer", "Order"]
    assert sys.path[0] == os.getcwd()


DTO = """
from pydantic import BaseModel


class Note(BaseModel):
    text: str


class Tag(BaseModel):
    name: str
"""


def test_module_without_collections_takes_the_models_defined_in_it(project: Path) -> None:
    write_package(project, {"dto.py": DTO})
    assert sorted(json.loads(bundle_from_spec(f"{PACKAGE}.dto"))["$defs"]) == ["Note", "Tag"]


def test_named_models_and_their_references(project: Path) -> None:
    write_package(project, {"models.py": SHOP})
    assert sorted(json.loads(bundle_from_spec(f" {PACKAGE}.models:Order, Draft "))["$defs"]) == [
        "Address",
        "Customer",
        "Draft",
        "Order",
    ]


def test_options_pass_through(project: Path) -> None:
    write_package(project, {"models.py": SHOP})
    found = json.loads(bundle_from_spec(f"{PACKAGE}.models:Order", options=Options(datetime_is_timestamp=False)))
    assert found["$defs"]["Order"]["properties"]["placed_at"]["format"] == "date-time"


TARGET_ERRORS = [
    ("", "expected 'package.module' or 'package.module:Model,Other', got ''"),
    ("bv_shop.models:", "expected 'package.module' or 'package.module:Model,Other', got 'bv_shop.models:'"),
    ("bv_shop/models.py", "expected 'package.module' or 'package.module:Model,Other', got 'bv_shop/models.py'"),
    ("bv_shop.models:Order,,Draft", "expected 'package.module' or 'package.module:Model,Other'"),
    ("bv_nowhere.models", "no module named bv_nowhere (looked in "),
    ("bv_shop.nothing", "no module named bv_shop.nothing (looked in "),
    ("bv_shop.models:Missing", "bv_shop.models has no Missing"),
    ("bv_shop.models:datetime", "bv_shop.models:datetime is not a Pydantic model class"),
    ("bv_shop.empty", "no Pydantic model in bv_shop.empty"),
    ("bv_shop.broken", "importing bv_shop.broken failed: ValueError: collection path 'users/{uid}' names a document"),
    ("bv_shop.needs", "importing bv_shop.needs failed: ModuleNotFoundError: No module named 'bv_absent_dependency'"),
]

BROKEN = """
from pydantic import BaseModel
from brenvale import firestore

class User(BaseModel):
    model_config = firestore.collection("users/{uid}")
"""


@pytest.mark.parametrize(("target", "message"), TARGET_ERRORS, ids=[t or "empty" for t, _ in TARGET_ERRORS])
def test_target_errors(project: Path, target: str, message: str) -> None:
    write_package(
        project,
        {
            "models.py": SHOP,
            "empty.py": "from pydantic import BaseModel\n",
            "broken.py": BROKEN,
            "needs.py": "import bv_absent_dependency\n",
        },
    )
    with pytest.raises(ModelsError) as raised:
        bundle_from_spec(target)
    assert str(raised.value).startswith(message)
    assert "\n" not in str(raised.value)


def run_python(code: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60, check=False)


def test_brenvale_imports_without_pydantic() -> None:
    result = run_python(
        "import sys\nimport brenvale, brenvale.contract, brenvale.firestore\nprint('pydantic' in sys.modules)"
    )
    assert (result.returncode, result.stdout, result.stderr) == (0, "False\n", "")


def test_missing_pydantic_is_a_models_error() -> None:
    result = run_python(
        "import sys\nsys.modules['pydantic'] = None\n"
        "from brenvale.contract import ModelsError, bundle_from_spec\n"
        "try:\n    bundle_from_spec('app.models')\nexcept ModelsError as error:\n    print(error)"
    )
    assert (result.returncode, result.stdout) == (0, PYDANTIC_MISSING + "\n")
    assert PYDANTIC_MISSING == "Pydantic is needed for --models: pip install 'brenvale[pydantic]'"


# -- the example app --


@pytest.fixture
def example_bundle(monkeypatch: pytest.MonkeyPatch) -> Iterator[str]:
    monkeypatch.chdir(EXAMPLES)
    monkeypatch.setattr(sys, "path", list(sys.path))
    yield bundle_from_spec("app.models")
    for name in [n for n in sys.modules if n == "app" or n.startswith("app.")]:
        del sys.modules[name]


def test_example_contract_is_up_to_date(example_bundle: str) -> None:
    assert (EXAMPLES / "contract.json").read_text(encoding="utf-8") == example_bundle


def test_example_post_interfaces(example_bundle: str) -> None:
    module = brenvale.emit(example_bundle)
    assert interface(module, "Post") == [
        "  author: DocumentReference<User>;",
        "  body: string;",
        "  coverImage?: Bytes | null;",
        "  createdAt: Timestamp | null;",
        "  editedAt?: Timestamp | null;",
        "  id: string;",
        "  likeCount?: number;",
        "  status?: PostStatus | (string & {});",
        "  summary?: string;",
        "  tags?: string[];",
        "  title: string;",
    ]
    assert interface(module, "PostWrite") == [
        "  author: DocumentReference<User>;",
        "  body: string;",
        "  coverImage?: Bytes | null;",
        "  createdAt: FieldValue;",
        "  editedAt?: Timestamp | Date | null;",
        "  status?: PostStatus;",
        "  summary: string;",
        "  tags?: string[];",
        "  title: string;",
    ]
    assert (
        "export const commentsPath = (uid: string, postId: string) => `users/${uid}/posts/${postId}/comments`;\n"
        in module
    )


# Application code against the example app's module; each @ts-expect-error must be an error.
APP_CLIENT = """\
import { Timestamp, doc, getDoc, getFirestore, serverTimestamp, setDoc, updateDoc } from "firebase/firestore";
import { initializeApp } from "firebase/app";
import {
  commentsPath,
  postConverter,
  postsPath,
  userConverter,
  usersPath,
  type CommentWrite,
  type PostUpdate,
  type PostWrite,
  type UserWrite,
} from "@generated/app";

const db = getFirestore(initializeApp({ projectId: "demo-brenvale" }));
const author = doc(db, usersPath(), "u1").withConverter(userConverter);

const user: UserWrite = {
  displayName: "Ada",
  email: "ada@example.com",
  createdAt: serverTimestamp(),
  address: { city: "London", country: "UK" },
  preferences: { newsletter: true },
};
await setDoc(doc(db, usersPath(), "u1"), user);

const post: PostWrite = {
  author,
  title: "Hi",
  body: "First",
  summary: "",
  createdAt: serverTimestamp(),
  tags: ["intro"],
};
await setDoc(doc(db, postsPath("u1"), "p1"), post);
const patch: PostUpdate = { status: "published", editedAt: Timestamp.now() };
await updateDoc(doc(db, postsPath("u1"), "p1"), patch);

const comment: CommentWrite = { author, body: "Nice", createdAt: serverTimestamp(), reactions: { like: 1 } };
await setDoc(doc(db, commentsPath("u1", "p1"), "c1"), comment);

const read = (await getDoc(doc(db, postsPath("u1"), "p1").withConverter(postConverter))).data();
if (read) {
  const id: string = read.id;
  const likes: number = read.likeCount ?? 0;
  const created: Timestamp | null = read.createdAt;
  // @ts-expect-error older posts may have no summary
  const summary: string = read.summary;
  console.log(id, likes, created, summary);
}

// @ts-expect-error likeCount is read-only: the write interface has no such member
const cheat: PostWrite = { ...post, likeCount: 1000 };
// @ts-expect-error a server timestamp is written as serverTimestamp(), not a date
const early: PostWrite = { ...post, createdAt: new Date() };
console.log(cheat, early);
"""


def test_example_app_type_checks(example_bundle: str) -> None:
    from test_typescript import TEMPORAL_SHIM, TS_DIR, Module, listing, parse, require_toolchain, write_program

    require_toolchain()
    install = subprocess.run(
        ["bash", str(TS_DIR / "install.sh")], capture_output=True, text=True, timeout=600, check=False
    )
    assert install.returncode == 0, f"install.sh failed:\n{install.stdout}\n{install.stderr}"
    modules = [Module("app", lambda: brenvale.emit(example_bundle)), Module("app_client", lambda: APP_CLIENT)]
    with tempfile.TemporaryDirectory(dir=TS_DIR, prefix=".generated-") as tmp:
        folder = Path(tmp)
        (folder / "temporal.d.ts").write_text(TEMPORAL_SHIM, encoding="utf-8")
        args = write_program(folder, "tsconfig.app.json", modules, [])
        tsc = subprocess.run(
            [str(TS_DIR / "node_modules" / ".bin" / "tsc"), *args],
            cwd=folder,
            capture_output=True,
            text=True,
            timeout=300,
            check=False,
        )
        found = parse(folder, tsc.stdout)
    assert (tsc.returncode, {file: listing(d) for file, d in found.items()}) == (0, {}), tsc.stdout
