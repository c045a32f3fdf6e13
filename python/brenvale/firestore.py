"""Firestore meaning for Pydantic models: the collection config and the field markers.

A model names its collection with `model_config = firestore.collection("users/{uid}/posts",
id_field="id")`; a field gets its Firestore type with a marker in `Annotated`:

    created_at: Annotated[datetime, firestore.ServerTimestamp]
    edited_at: Annotated[datetime, firestore.Timestamp] | None = None
    author: Annotated[str, firestore.Reference(User)]
    home: Annotated[tuple[float, float], firestore.GeoPoint]
    embedding: Annotated[list[float], firestore.Vector] = Field(min_length=768, max_length=768)
    avatar: Annotated[bytes, firestore.Bytes]
    likes: Annotated[int, firestore.ReadOnly] = 0
    nickname: Annotated[str, firestore.MayBeAbsent]

Type markers (Timestamp, ServerTimestamp, Reference, GeoPoint, Vector, Bytes) replace the
schema of the type they annotate, so they may sit inside `Optional[...]` or outside it; either
way the Firestore keys land on the non-null member of the `anyOf`. Property markers
(PresenceGuaranteed, MayBeAbsent, ReadOnly) describe the field itself: put them outermost,
`Annotated[Optional[str], firestore.ReadOnly]`, not inside the `Optional`, an item or a named
alias, where the bundle refuses them.

This module does not import Pydantic, so `import brenvale` works without it.
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, cast

if TYPE_CHECKING:
    from pydantic import ConfigDict, GetJsonSchemaHandler
    from pydantic_core import CoreSchema
    from typing_extensions import Unpack

COLLECTION = "x-firestore-collection"
DOC_ID_FIELD = "x-firestore-doc-id-field"
TYPE = "x-firestore-type"
SERVER_TIMESTAMP = "x-firestore-server-timestamp"
REF_TARGET = "x-firestore-ref-target"
PRESENCE = "x-firestore-presence-guaranteed"
READ_ONLY = "readOnly"

# A segment is a literal id or a `{placeholder}` that becomes a TypeScript parameter name.
_SEGMENT = re.compile(r"[^/{}]+|\{[A-Za-z_$][A-Za-z0-9_$]*\}")
# Ids Firestore refuses: `.`, `..`, and any that starts and ends with two underscores.
_RESERVED_ID = re.compile(r"\.\.?|__.*__", re.DOTALL)

JsonDict = dict[str, Any]


def collection(
    path: str, *, id_field: str | None = None, **config: Unpack[ConfigDict]
) -> ConfigDict:
    """Model config that stores the model in the collection `path` (segments may be `{name}`).

    `id_field` names the field that holds the document id (the Python field name; the bundle
    uses its alias when it has one). Other keyword arguments are ordinary `ConfigDict` keys.
    """
    check_collection_path(path)
    extra: JsonDict = {COLLECTION: path}
    if id_field is not None:
        extra[DOC_ID_FIELD] = id_field
    given = config.get("json_schema_extra")
    if given is not None and not isinstance(given, dict):
        raise TypeError("collection() can merge json_schema_extra only when it is a dict")
    return cast("ConfigDict", {**config, "json_schema_extra": {**(given or {}), **extra}})


def check_collection_path(path: str) -> None:
    """Raises ValueError unless `path` names a collection: an odd number of non-empty segments,
    none of them an id Firestore reserves; TypeError unless it is a str."""
    if not isinstance(path, str):
        raise TypeError(f"collection path must be a str, not {type(path).__name__}")
    segments = path.split("/")
    bad = [s for s in segments if not _SEGMENT.fullmatch(s)]
    if bad:
        raise ValueError(
            f"collection path {path!r}: bad segment {bad[0]!r} (a name or a {{placeholder}})"
        )
    reserved = [s for s in segments if _RESERVED_ID.fullmatch(s)]
    if reserved:
        raise ValueError(
            f"collection path {path!r}: segment {reserved[0]!r} is an id Firestore refuses "
            "(., .. and __name__ are reserved)"
        )
    if len(segments) % 2 == 0:
        raise ValueError(
            f"collection path {path!r} names a document, not a collection (even segment count)"
        )


def collection_of(model: type) -> str | None:
    """The collection path that `collection()` gave the model, or None."""
    extra = getattr(model, "model_config", {}).get("json_schema_extra")
    value = extra.get(COLLECTION) if isinstance(extra, dict) else None
    return value if isinstance(value, str) else None


def _is_nullable(core_schema: CoreSchema) -> bool:
    return core_schema.get("type") == "nullable"


# A list's length bounds, however Pydantic was told them (Field, conlist, annotated_types' Len,
# MinLen, MaxLen): they all end up on the list's core schema.
_LENGTH_KEYS = (("min_length", "minItems"), ("max_length", "maxItems"))


def _length_bounds(core_schema: CoreSchema) -> JsonDict:
    schema: Any = core_schema["schema"] if _is_nullable(core_schema) else core_schema
    if schema.get("type") != "list":
        return {}
    return {key: schema[bound] for bound, key in _LENGTH_KEYS if isinstance(schema.get(bound), int)}


@dataclass(frozen=True)
class FirestoreType:
    """Marks the annotated type as a Firestore value type; its JSON form is not kept."""

    kind: str
    server_timestamp: bool = False
    target: type | str | None = None

    def keys(self) -> JsonDict:
        """The bundle keys of this type."""
        keys: JsonDict = {TYPE: self.kind}
        if self.server_timestamp:
            keys[SERVER_TIMESTAMP] = True
        if self.target is not None:
            keys[REF_TARGET] = self.target if isinstance(self.target, str) else self.target.__name__
        return keys

    def __get_pydantic_json_schema__(
        self, core_schema: CoreSchema, handler: GetJsonSchemaHandler
    ) -> JsonDict:
        # The handler is not called: the Python type's own schema (a model, a tuple) is not what
        # Firestore stores, and calling it would add unused definitions to the bundle. A vector
        # keeps its dimension, which vector search depends on.
        keys = self.keys()
        if self.kind == "vector":
            keys.update(_length_bounds(core_schema))
        if _is_nullable(core_schema):
            return {"anyOf": [keys, {"type": "null"}]}
        return keys


@dataclass(frozen=True)
class ReferenceType(FirestoreType):
    """A document reference; call it with the target model (or its type name) to type it.

    A class target is written as its definition name in the bundle (its `__name__`, qualified
    by Pydantic when two models share it); for a generic model (`Page[User]` is defined as
    `Page_User_`) pass the name as a string.
    """

    def __call__(self, target: type | str) -> FirestoreType:
        is_model = isinstance(target, type) and (
            hasattr(target, "model_fields") or hasattr(target, "__pydantic_fields__")
        )
        if not (is_model or isinstance(target, str)):
            raise TypeError(f"Reference() takes a model class or a type name, not {target!r}")
        return FirestoreType("reference", target=target)


@dataclass(frozen=True)
class PropertyKey:
    """Sets one key on the property schema of the field it annotates."""

    key: str
    value: bool

    def __get_pydantic_json_schema__(
        self, core_schema: CoreSchema, handler: GetJsonSchemaHandler
    ) -> JsonDict:
        return {**handler(core_schema), self.key: self.value}


Timestamp = FirestoreType("timestamp")
ServerTimestamp = FirestoreType("timestamp", server_timestamp=True)
Reference = ReferenceType("reference")
GeoPoint = FirestoreType("geopoint")
Vector = FirestoreType("vector")
Bytes = FirestoreType("bytes")

# Presence: a read may rely on a field only if every stored document has it.
PresenceGuaranteed = PropertyKey(PRESENCE, True)
MayBeAbsent = PropertyKey(PRESENCE, False)
# Written by the server or a backend only: left out of the TypeScript write interface.
ReadOnly = PropertyKey(READ_ONLY, True)

__all__ = [
    "Bytes",
    "FirestoreType",
    "GeoPoint",
    "MayBeAbsent",
    "PresenceGuaranteed",
    "PropertyKey",
    "ReadOnly",
    "Reference",
    "ReferenceType",
    "ServerTimestamp",
    "Timestamp",
    "Vector",
    "collection",
    "collection_of",
]
