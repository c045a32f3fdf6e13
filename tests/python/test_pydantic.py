"""Contract bundles from real Pydantic models: the keys they carry, the models a target names, the
errors."""

from __future__ import annotations

import json
import sys
from collections.abc import Iterator
from datetime import datetime
from decimal import Decimal
from pathlib import Path
from typing import Annotated, Any, Generic, Literal, TypeVar

import pytest

try:
    from annotated_types import Len, MaxLen, MinLen
    from pydantic import (
        BaseModel,
        ConfigDict,
        Field,
        PlainSerializer,
        WithJsonSchema,
        conlist,
        create_model,
    )
    from pydantic.json_schema import SkipJsonSchema
except ImportError:
    pytest.skip(
        "pydantic is not installed: pip install 'brenvale[pydantic]'", allow_module_level=True
    )

from brenvale import firestore as fs
from brenvale.contract import ModelsError, Options, bundle, bundle_from_target

DATA = Path(__file__).resolve().parents[1] / "data" / "pydantic_cases.json"
CASES = json.loads(DATA.read_text(encoding="utf-8"))
ON = Options()


class Address(BaseModel):
    city: str


# A model with a field that has no JSON schema.
class Holds(BaseModel):
    model_config = ConfigDict(arbitrary_types_allowed=True)
    x: ModelsError


# The names that the annotations and calls of the data file may use.
NAMES = {
    "Address": Address,
    "Decimal": Decimal,
    "Annotated": Annotated,
    "Field": Field,
    "Len": Len,
    "Literal": Literal,
    "MaxLen": MaxLen,
    "MinLen": MinLen,
    "PlainSerializer": PlainSerializer,
    "SkipJsonSchema": SkipJsonSchema,
    "WithJsonSchema": WithJsonSchema,
    "conlist": conlist,
    "Holds": Holds,
    "Options": Options,
    "bundle": bundle,
    "bundle_from_target": bundle_from_target,
    "datetime": datetime,
    "fs": fs,
}


def defs(*models: type, options: Options = ON) -> dict[str, Any]:
    found: dict[str, Any] = json.loads(bundle(models, options=options))["$defs"]
    return found


# A field's annotation and default, its property schema (title left out), whether it is required,
# and the options. The rest is held byte for byte elsewhere: the example apps' bundles
# (test_goldens) have a datetime, bytes and a marker inside an optional, a required $ref,
# ReadOnly, MayBeAbsent, ServerTimestamp, GeoPoint and Reference; docs/models.md shows (test_docs)
# every type marker, each option switched off and PresenceGuaranteed without the presence default.
@pytest.mark.parametrize("case", CASES["fields"], ids=lambda case: case["id"])
def test_field_schema(case: dict[str, Any]) -> None:
    annotation = eval(case["annotation"], NAMES)
    model = create_model("M", f=(annotation, case.get("default", ...)))
    definition = defs(model, options=Options(**case["options"]))["M"]
    found = {k: v for k, v in definition["properties"]["f"].items() if k != "title"}
    required = "f" in definition.get("required", [])
    assert found == case["schema"]
    assert required == case["required"]


# Where the collection keys go, and that the id gets no presence key: the example apps' bundles.
def test_collection_merges_into_the_other_config() -> None:
    case = CASES["collection"]
    config = fs.collection(case["path"], id_field=case["id_field"], **case["config"])
    assert config == case["merged"]


@pytest.mark.parametrize("path", [5, None, b"users"])
def test_collection_takes_a_path_of_text(path: Any) -> None:
    expected = f"^collection path must be a str, not {type(path).__name__}$"
    with pytest.raises(TypeError, match=expected):
        fs.collection(path)


# The id field is named as its property is; an alias generator and computed fields: docs/models.md.
class Account(BaseModel):
    model_config = fs.collection("accounts", id_field="account_id")
    account_id: str = Field(validation_alias="idIn", serialization_alias="idOut")
    nick: str = Field("", alias="nickname")


@pytest.mark.parametrize("case", CASES["names"], ids=lambda case: case["id"])
def test_options_name_the_properties(case: dict[str, Any]) -> None:
    found = defs(Account, options=Options(**case["options"]))["Account"]
    assert set(found["properties"]) == set(case["properties"])
    assert found["x-firestore-doc-id-field"] == case["id_field"]


T = TypeVar("T")


class Page(BaseModel, Generic[T]):
    items: list[T]


# The text's exact form (sorted keys, indentation): the example bundles.
def test_generic_models_join_and_order_and_repeats_do_not_matter() -> None:
    feed = create_model("Feed", first=(Page[Address], ...), counts=(Page[int], ...))
    assert sorted(defs(feed)) == ["Address", "Feed", "Page_Address_", "Page_int_"]
    text = bundle([feed, Account])
    assert text == bundle([Account, feed, Account])
    assert list(json.loads(text)) == ["$defs"]


@pytest.fixture
def project(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Path]:
    """A working directory holding the package bv_shop; the sys.path and modules it adds are undone
    after."""
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(sys, "path", list(sys.path))
    (tmp_path / "bv_shop").mkdir()
    for name, lines in CASES["package"].items():
        text = "".join(f"{line}\n" for line in lines)
        (tmp_path / "bv_shop" / name).write_text(text, encoding="utf-8")
    yield tmp_path
    for name in [n for n in sys.modules if n.partition(".")[0] == "bv_shop"]:
        del sys.modules[name]


@pytest.mark.parametrize("case", CASES["targets"], ids=lambda case: case["why"])
def test_target_models(project: Path, case: dict[str, Any]) -> None:
    text = bundle_from_target(case["target"], options=Options(required_is_present=False))
    assert sorted(json.loads(text)["$defs"]) == case["models"]
    assert sys.path[0] == str(project)
    assert "presence" not in text  # the options reach the bundle


# A target (for bundle_from_target) or a call, and the start of its one-line error. A missing id
# field, a missing or non-model name, a module without models and a failing collection path:
# docs/troubleshooting.md.
@pytest.mark.parametrize(
    "case", CASES["rejections"], ids=lambda case: case.get("call") or f"target {case['target']!r}"
)
def test_rejected_in_one_line(project: Path, case: dict[str, Any]) -> None:
    with pytest.raises((ModelsError, ValueError, TypeError)) as raised:
        if "target" in case:
            bundle_from_target(case["target"])
        else:
            eval(case["call"], NAMES)
    assert f"{type(raised.value).__name__}: {raised.value}".startswith(case["error"])
    assert "\n" not in str(raised.value)


@pytest.mark.parametrize("case", CASES["facts"], ids=lambda case: case["why"])
def test_bundle_facts(project: Path, case: dict[str, Any]) -> None:
    found: Any = json.loads(bundle_from_target(case["target"], options=Options(**case["options"])))
    for key in case["pointer"]:
        found = found["$defs"][key] if "$defs" in found else found[key]
    assert found == case["value"]
