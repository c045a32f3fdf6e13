"""Contract bundles from real Pydantic models: the keys they carry, the models a target names, the errors."""

from __future__ import annotations

import json
import sys
from collections.abc import Iterator
from datetime import datetime
from pathlib import Path
from typing import Annotated, Any, Generic, TypeVar

import pytest

try:
    from pydantic import BaseModel, ConfigDict, Field, create_model
except ImportError:
    pytest.skip(
        "pydantic is not installed: pip install 'brenvale[pydantic]'", allow_module_level=True
    )

from brenvale import firestore as fs
from brenvale.contract import ModelsError, Options, bundle, bundle_from_target

G, NULL, TS = (
    {"x-firestore-presence-guaranteed": True},
    {"type": "null"},
    {"x-firestore-type": "timestamp"},
)
REF, ADDRESS = {"x-firestore-type": "reference"}, {"$ref": "#/$defs/Address"}
ON, NO_TS, NO_PRESENCE = (
    Options(),
    Options(datetime_is_timestamp=False),
    Options(required_is_present=False),
)


class Address(BaseModel):
    city: str


def defs(*models: type, options: Options = ON) -> dict[str, Any]:
    return json.loads(bundle(models, options=options))["$defs"]


def optional(schema: dict[str, Any], **extra: Any) -> dict[str, Any]:
    return {"anyOf": [schema, NULL], "default": None, **extra}


# Annotation, default, property schema (title left out), required, options. The rest is held byte for byte
# elsewhere: the example apps' bundles (test_examples) have a datetime, bytes and a marker inside an optional,
# a required $ref, ReadOnly, MayBeAbsent, ServerTimestamp, GeoPoint and Reference; docs/models.md shows
# (test_docs) every type marker, each option switched off and PresenceGuaranteed without the presence default.
FIELDS = {
    "marker_outside_optional": (
        Annotated[datetime | None, fs.Timestamp],
        None,
        optional(TS),
        False,
        ON,
    ),
    "required_nullable": (datetime | None, ..., {"anyOf": [TS, NULL], **G}, True, ON),
    "reference": (Annotated[str, fs.Reference], ..., {**REF, **G}, True, ON),
    "guaranteed_default": (
        Annotated[int, fs.PresenceGuaranteed],
        0,
        {"type": "integer", "default": 0, **G},
        False,
        ON,
    ),
    "read_only_optional": (
        Annotated[Address | None, fs.ReadOnly],
        None,
        optional(ADDRESS, readOnly=True),
        False,
        ON,
    ),
    "marker_beats_switch": (Annotated[datetime, fs.Timestamp], ..., {**TS, **G}, True, NO_TS),
}


@pytest.mark.parametrize(
    ("annotation", "default", "schema", "required", "options"), FIELDS.values(), ids=FIELDS
)
def test_field_schema(
    annotation: Any, default: Any, schema: dict[str, Any], required: bool, options: Options
) -> None:
    definition = defs(create_model("M", f=(annotation, default)), options=options)["M"]
    found = {k: v for k, v in definition["properties"]["f"].items() if k != "title"}
    assert (found, "f" in definition.get("required", [])) == (schema, required)


# Where the collection keys go, and that the id gets no presence key: the example apps' bundles.
def test_collection_merges_into_the_other_config() -> None:
    config = fs.collection(
        "a/{b}/c", id_field="id", frozen=True, json_schema_extra={"description": "x"}
    )
    assert config == {
        "frozen": True,
        "json_schema_extra": {
            "description": "x",
            "x-firestore-collection": "a/{b}/c",
            "x-firestore-doc-id-field": "id",
        },
    }


# The id field is named as its property is; an alias generator and computed fields: docs/models.md.
class Account(BaseModel):
    model_config = fs.collection("accounts", id_field="account_id")
    account_id: str = Field(validation_alias="idIn", serialization_alias="idOut")
    nick: str = Field("", alias="nickname")


@pytest.mark.parametrize(
    ("options", "properties", "id_field"),
    [
        (ON, {"idOut", "nickname"}, "idOut"),
        (Options(mode="validation"), {"idIn", "nickname"}, "idIn"),
        (Options(by_alias=False), {"account_id", "nick"}, "account_id"),
    ],
    ids=["serialization", "validation", "python-names"],
)
def test_options_name_the_properties(options: Options, properties: set[str], id_field: str) -> None:
    found = defs(Account, options=options)["Account"]
    assert (set(found["properties"]), found["x-firestore-doc-id-field"]) == (properties, id_field)


T = TypeVar("T")


class Page(BaseModel, Generic[T]):
    items: list[T]


# The text's exact form (sorted keys, indentation): the example bundles.
def test_generic_models_join_and_order_and_repeats_do_not_matter() -> None:
    feed = create_model("Feed", first=(Page[Address], ...), counts=(Page[int], ...))
    assert sorted(defs(feed)) == ["Address", "Feed", "Page_Address_", "Page_int_"]
    text = bundle([feed, Account])
    assert text == bundle([Account, feed, Account]) and list(json.loads(text)) == ["$defs"]


SHOP = """from typing import Annotated
from pydantic import BaseModel
from brenvale import firestore
class Customer(BaseModel): name: str
class Draft(BaseModel): note: str
class Order(BaseModel):
    model_config = firestore.collection("orders")
    customer: Annotated[str, firestore.Reference(Customer)]
"""
PACKAGE = {
    "models.py": SHOP,
    "needs.py": "import bv_absent_dependency\n",
    "dto.py": "from pydantic import BaseModel\nclass Note(BaseModel):\n    text: str\n",
}


@pytest.fixture
def project(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Path]:
    """A working directory holding the package bv_shop; the sys.path and modules it adds are undone after."""
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(sys, "path", list(sys.path))
    (tmp_path / "bv_shop").mkdir()
    for name, text in {"__init__.py": "", **PACKAGE}.items():
        (tmp_path / "bv_shop" / name).write_text(text)
    yield tmp_path
    for name in [n for n in sys.modules if n.partition(".")[0] == "bv_shop"]:
        del sys.modules[name]


@pytest.mark.parametrize(
    ("target", "expected"),
    [
        (
            "bv_shop.models",
            ["Customer", "Order"],
        ),  # its collection models and their reference targets
        ("bv_shop.dto", ["Note"]),  # no collections: the models defined in it
        (" bv_shop.models:Order, Draft ", ["Customer", "Draft", "Order"]),  # the named ones
    ],
)
def test_target_models(project: Path, target: str, expected: list[str]) -> None:
    text = bundle_from_target(target, options=NO_PRESENCE)
    assert sorted(json.loads(text)["$defs"]) == expected and sys.path[0] == str(project)
    assert "presence" not in text  # the options reach the bundle


USAGE = "ModelsError: expected 'package.module' or 'package.module:Model,Other', got "
# A target (for bundle_from_target) or a call, and the start of its one-line error. A missing id field, a missing
# or non-model name, a module without models and a failing collection path: docs/troubleshooting.md.
REJECTIONS = [
    *(
        (lambda p=p: fs.collection(p), "ValueError: collection path")
        for p in ["", "a/{b}", "/a", "a/{u-id}/b"]
    ),
    (lambda: fs.Reference(3), "TypeError: Reference() takes a model class or a type name"),
    (lambda: bundle([]), "ModelsError: no models to put in the bundle"),
    (lambda: bundle([dict]), "ModelsError: not a Pydantic model class: <class 'dict'>"),
    (lambda: bundle([Address(city="Oslo")]), "ModelsError: not a Pydantic model class"),
    (lambda: bundle([Address], options=Options(mode="python")), "ModelsError: mode must be"),  # type: ignore[arg-type]
    (
        lambda: bundle(
            [
                create_model(
                    "Holds",
                    __config__=ConfigDict(arbitrary_types_allowed=True),
                    x=(ModelsError, ...),
                )
            ]
        ),
        "ModelsError: PydanticInvalidForJsonSchema: ",
    ),
    ("", USAGE + "''"),
    ("bv_shop.models:", USAGE + "'bv_shop.models:'"),
    ("bv_shop.models:Order,,Draft", USAGE),
    ("bv_nowhere.models", "ModelsError: no module named bv_nowhere (looked in "),
    ("bv_shop.nothing", "ModelsError: no module named bv_shop.nothing (looked in "),
    (
        "bv_shop.needs",
        "ModelsError: importing bv_shop.needs failed: ModuleNotFoundError: No module named 'bv_absent_",
    ),
]


@pytest.mark.parametrize(("call", "message"), REJECTIONS)
def test_rejected_in_one_line(project: Path, call: Any, message: str) -> None:
    with pytest.raises((ModelsError, ValueError, TypeError)) as raised:
        bundle_from_target(call) if isinstance(call, str) else call()
    assert f"{type(raised.value).__name__}: {raised.value}".startswith(message) and "\n" not in str(
        raised.value
    )
