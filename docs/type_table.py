"""Prints the type table of models.md: each Pydantic field type, its bundle keys and its
TypeScript types."""

from __future__ import annotations

import json
import re
from datetime import date, datetime
from enum import Enum
from typing import Annotated, Any, Literal
from uuid import UUID

from pydantic import BaseModel, Field

import brenvale
from brenvale import firestore


class Color(str, Enum):
    RED = "red"
    BLUE = "blue"


class Address(BaseModel):
    city: str


class Cat(BaseModel):
    kind: Literal["cat"]


class Dog(BaseModel):
    kind: Literal["dog"]


class User(BaseModel):
    model_config = firestore.collection("users")


# One field per row, in the order of the table; the annotation text is the row's first column.
ROWS: dict[str, Any] = {
    "str": str,
    "int": int,
    "float": float,
    "bool": bool,
    "str | None = None": (str | None, None),
    'Literal["a", "b"]': Literal["a", "b"],
    "Color (a str Enum)": Color,
    "list[str]": list[str],
    "set[int]": set[int],
    "tuple[str, int]": tuple[str, int],
    "tuple[()]": tuple[()],
    "dict[str, float]": dict[str, float],
    "Address (a model)": Address,
    "Address | None = None": (Address | None, None),
    "Union[Cat, Dog] with Field(discriminator=...)": Annotated[
        Cat | Dog, Field(discriminator="kind")
    ],
    "Any": Any,
    "UUID": UUID,
    "date": date,
    "datetime": datetime,
    "datetime | None = None": (datetime | None, None),
    "Annotated[datetime, firestore.ServerTimestamp]": Annotated[
        datetime, firestore.ServerTimestamp
    ],
    "bytes": bytes,
    "Annotated[str, firestore.Reference(User)]": Annotated[str, firestore.Reference(User)],
    "Annotated[tuple[float, float], firestore.GeoPoint]": Annotated[
        tuple[float, float], firestore.GeoPoint
    ],
    "Annotated[list[float], firestore.Vector]": Annotated[list[float], firestore.Vector],
    "Annotated[str, firestore.MayBeAbsent]": Annotated[str, firestore.MayBeAbsent],
    "Annotated[int, firestore.ReadOnly] = 0": (Annotated[int, firestore.ReadOnly], 0),
}

# Schema keys that say nothing about the type.
NOISE = {"title", "default"}


def table_model() -> type[BaseModel]:
    fields = {}
    for index, annotation in enumerate(ROWS.values()):
        fields[f"f{index}"] = annotation if isinstance(annotation, tuple) else (annotation, ...)
    from pydantic import create_model

    return create_model("Row", __config__=firestore.collection("rows"), **fields)


def members(module: str, interface: str) -> dict[str, str]:
    """Field name to `?: type` or `: type`, from one interface of the emitted module."""
    body = re.search(rf"^export interface {interface} {{\n(.*?)^}}", module, re.M | re.S)
    assert body is not None, interface
    return {m[1]: m[2] for m in re.finditer(r"^  (\w+)(\??: .*);$", body[1], re.M)}


def keys(schema: dict[str, Any], required: bool) -> str:
    shown = {k: v for k, v in schema.items() if k not in NOISE}
    # Every required field gets this key by default; shown only where it is not the default.
    if required and shown.get(firestore.PRESENCE) is True:
        del shown[firestore.PRESENCE]
    if "discriminator" in shown:
        shown["discriminator"] = {"propertyName": shown["discriminator"]["propertyName"]}
    return json.dumps(shown, separators=(",", ":")).replace("#/$defs/", "")


def cell(text: str | None) -> str:
    return "(left out)" if text is None else "`" + text.replace("|", "\\|") + "`"


def main() -> None:
    bundle = brenvale.bundle([table_model()])
    row = json.loads(bundle)["$defs"]["Row"]
    module = brenvale.emit(bundle)
    read, write = members(module, "Row"), members(module, "RowWrite")
    print(
        "| Python annotation | Bundle keys | Read `Row` | Write `RowWrite` | Update `RowUpdate` |"
    )
    print("|---|---|---|---|---|")
    for index, label in enumerate(ROWS):
        name = f"f{index}"
        bundle_keys = keys(row["properties"][name], name in row["required"])
        written = write.get(name)
        # RowUpdate is UpdateData<RowWrite>: every field optional, its write type or a FieldValue.
        value = None if written is None else written.removeprefix("?").removeprefix(": ")
        update = (
            None
            if value is None
            else "?: " + (value if value == "FieldValue" else f"{value} | FieldValue")
        )
        print(
            f"| {cell(label)} | {cell(bundle_keys)} | {cell(read.get(name))} "
            f"| {cell(written)} | {cell(update)} |"
        )


if __name__ == "__main__":
    main()
