"""Deterministic generator of large, realistic contract bundles and of their next versions.

`make_bundle(n_models, seed)` builds a bundle shaped like Pydantic's JSON Schema output with the
x-firestore- keys; `next_version(bundle, seed, changes)` applies a known set of changes to a copy.
Both depend only on their arguments, so benchmarks can regenerate the same inputs anywhere.

CLI: python bench/make_bundle.py --models 1000 --out old.json [--next-out new.json]
"""

from __future__ import annotations

import argparse
import copy
import json
import random
import sys
from pathlib import Path
from typing import Any

NOUNS = (
    "Account",
    "Address",
    "Booking",
    "Cart",
    "Comment",
    "Coupon",
    "Customer",
    "Device",
    "Event",
    "Invoice",
    "Item",
    "Ledger",
    "Message",
    "Order",
    "Payment",
    "Product",
    "Profile",
    "Review",
    "Session",
    "Shipment",
    "Shop",
    "Subscription",
    "Ticket",
    "Venue",
)
WORDS = (
    "amount",
    "city",
    "code",
    "color",
    "count",
    "country",
    "currency",
    "email",
    "label",
    "level",
    "locale",
    "name",
    "note",
    "owner",
    "phone",
    "price",
    "rank",
    "score",
    "slug",
    "source",
    "state",
    "status",
    "street",
    "summary",
    "tag",
    "tier",
    "title",
    "total",
    "url",
    "weight",
    "zip",
)
ENUM_MEMBERS = ("draft", "active", "paused", "archived", "deleted", "pending", "failed", "done")

# Kinds of change next_version() knows, and the verdict of the one finding each gives (None: no
# finding, since canonical signatures sort unions and collapse string enums to "string").
CHANGE_KINDS = {
    "add_model": "SAFE",
    "remove_model": "BREAKING",
    "add_optional_field": "SAFE",
    "add_required_field": "BREAKING",
    "remove_field": "BREAKING",
    "change_type": "BREAKING",
    "make_nullable": "BREAKING",
    "required_to_optional": "BREAKING",
    "doc_id_change": "BREAKING",
    "collection_change": "BREAKING",
    "kind_change": "BREAKING",
    "reorder_union": None,
    "enum_members": None,
}


def _model_name(i: int) -> str:
    return f"{NOUNS[i % len(NOUNS)]}{i:05d}"


def _enum_name(i: int) -> str:
    return f"{NOUNS[i % len(NOUNS)]}Kind{i:05d}"


def _title(name: str) -> str:
    return name.replace("_", " ").title()


def _ref(name: str) -> dict[str, Any]:
    return {"$ref": f"#/$defs/{name}"}


def _property(rng: random.Random, kind: str, models: list[str], enums: list[str]) -> dict[str, Any]:
    """One property schema of the given kind, as Pydantic would write it."""
    if kind == "string":
        return {"type": "string", "maxLength": rng.randint(8, 256)}
    if kind == "datetime_string":
        return {"type": "string", "format": "date-time"}
    if kind == "integer":
        return {"type": "integer", "minimum": 0}
    if kind == "number":
        return {"type": "number", "exclusiveMinimum": 0.0}
    if kind == "boolean":
        return {"type": "boolean", "default": False}
    if kind == "nullable_string":
        return {"anyOf": [{"type": "string"}, {"type": "null"}], "default": None}
    if kind == "nullable_integer":
        return {"anyOf": [{"type": "integer"}, {"type": "null"}], "default": None}
    if kind == "string_array":
        return {"type": "array", "items": {"type": "string"}}
    if kind == "model_array":
        return {"type": "array", "items": _ref(rng.choice(models))}
    if kind == "nullable_array":
        return {"type": "array", "items": {"anyOf": [{"type": "number"}, {"type": "null"}]}}
    if kind == "model_ref":
        return _ref(rng.choice(models))
    if kind == "nullable_model_ref":
        return {"anyOf": [_ref(rng.choice(models)), {"type": "null"}], "default": None}
    if kind == "enum_ref":
        return _ref(rng.choice(enums))
    if kind == "inline_enum":
        return {"enum": rng.sample(ENUM_MEMBERS, 3), "type": "string"}
    if kind == "const":
        return {"const": rng.choice(("v1", "v2", 2, True))}
    if kind == "dict":
        return {"type": "object", "additionalProperties": {"type": "integer"}}
    if kind == "tuple":
        return {
            "type": "array",
            "prefixItems": [{"type": "number"}, {"type": "number"}],
            "maxItems": 2,
            "minItems": 2,
        }
    if kind == "timestamp":
        return {"type": "string", "format": "date-time", "x-firestore-type": "timestamp"}
    if kind == "server_timestamp":
        return {
            "anyOf": [{"type": "string", "format": "date-time"}, {"type": "null"}],
            "x-firestore-type": "timestamp",
            "x-firestore-server-timestamp": True,
        }
    if kind == "reference":
        return {
            "type": "string",
            "x-firestore-type": "reference",
            "x-firestore-ref-target": rng.choice(models),
        }
    if kind == "untyped_reference":
        return {"type": "string", "x-firestore-type": "reference"}
    if kind == "geopoint":
        return {"type": "object", "x-firestore-type": "geopoint"}
    if kind == "vector":
        return {"type": "array", "items": {"type": "number"}, "x-firestore-type": "vector"}
    if kind == "bytes":
        return {"type": "string", "format": "binary", "x-firestore-type": "bytes"}
    raise ValueError(f"unknown property kind {kind!r}")


PROPERTY_KINDS = (
    "string",
    "datetime_string",
    "integer",
    "number",
    "boolean",
    "nullable_string",
    "nullable_integer",
    "string_array",
    "model_array",
    "nullable_array",
    "model_ref",
    "nullable_model_ref",
    "enum_ref",
    "inline_enum",
    "const",
    "dict",
    "tuple",
    "timestamp",
    "server_timestamp",
    "reference",
    "untyped_reference",
    "geopoint",
    "vector",
    "bytes",
)


def _enum(rng: random.Random, index: int, name: str) -> dict[str, Any]:
    if index % 5 != 4:
        return {
            "enum": rng.sample(ENUM_MEMBERS, rng.randint(2, 6)),
            "title": name,
            "type": "string",
        }
    return {
        "enum": sorted(rng.sample(range(1, 20), rng.randint(2, 5))),
        "title": name,
        "type": "integer",
    }


def _model(
    rng: random.Random, index: int, name: str, models: list[str], enums: list[str]
) -> dict[str, Any]:
    properties: dict[str, Any] = {}
    required: list[str] = []
    in_collection = index % 3 != 2
    # The fixed fields (id, title, createdAt, note) are the ones next_version() changes.
    if in_collection:
        properties["id"] = {
            "type": "string",
            "readOnly": True,
            "x-firestore-presence-guaranteed": True,
        }
        required.append("id")
    properties["title"] = {"type": "string", "title": "Title"}
    required.append("title")
    properties["createdAt"] = {
        "type": "string",
        "format": "date-time",
        "x-firestore-type": "timestamp",
        "x-firestore-presence-guaranteed": True,
    }
    required.append("createdAt")
    properties["note"] = {"anyOf": [{"type": "string"}, {"type": "null"}], "default": None}
    for _ in range(rng.randint(16, 40)):
        kind = rng.choice(PROPERTY_KINDS)
        field = f"{rng.choice(WORDS)}{rng.choice(('', 'Id', 'At', 'List', 'Ref', 'Count'))}"
        field = f"{field}{len(properties)}"
        schema = _property(rng, kind, models, enums)
        schema["title"] = _title(field)
        if rng.random() < 0.3:
            schema["description"] = f"The {field} of this {name.lower()}."
        if rng.random() < 0.08:
            schema["readOnly"] = True
        if rng.random() < 0.5:
            required.append(field)
            if rng.random() < 0.5:
                schema["x-firestore-presence-guaranteed"] = True
        properties[field] = schema
    definition: dict[str, Any] = {
        "properties": properties,
        "required": required,
        "title": name,
        "type": "object",
    }
    if in_collection:
        if index % 3 == 0:
            definition["x-firestore-collection"] = f"{name.lower()}s"
        else:
            parent = models[(index * 7) % len(models)]
            definition["x-firestore-collection"] = (
                f"{parent.lower()}s/{{{parent.lower()}Id}}/{name.lower()}s"
            )
        definition["x-firestore-doc-id-field"] = "id"
    return definition


def make_bundle(n_models: int, seed: int = 0) -> dict[str, Any]:
    """A bundle of `n_models` models and about a quarter as many enums; same args, same bundle."""
    if n_models < 1:
        raise ValueError("n_models must be at least 1")
    rng = random.Random(seed)
    models = [_model_name(i) for i in range(n_models)]
    enums = [_enum_name(i) for i in range(max(6, n_models // 4))]
    # The last third of the enums is never referenced, like enums kept only for documentation.
    referenced_enums = enums[: len(enums) * 2 // 3]
    defs: dict[str, Any] = {}
    for index, name in enumerate(enums):
        defs[name] = _enum(rng, index, name)
    for index, name in enumerate(models):
        defs[name] = _model(rng, index, name, models, referenced_enums)
    # Pydantic lists definitions alphabetically; the reader sorts anyway.
    return {"$defs": dict(sorted(defs.items())), "$ref": f"#/$defs/{models[0]}"}


def default_changes(n_models: int) -> dict[str, int]:
    """One change of each kind per 100 models, at least one (which needs about 16 models)."""
    return {kind: max(1, n_models // 100) for kind in CHANGE_KINDS}


def next_version(
    bundle: dict[str, Any],
    seed: int = 0,
    changes: dict[str, int] | None = None,
    log: list[tuple[str, str, str | None]] | None = None,
) -> dict[str, Any]:
    """A changed copy of `bundle`. `changes` maps a CHANGE_KINDS key to how often to apply it
    (default: default_changes). Each change touches its own definition, so the findings are
    exactly the changes' own; `log`, when given, receives (kind, definition, field)."""
    new = copy.deepcopy(bundle)
    defs: dict[str, Any] = new["$defs"]
    models = sorted(n for n, d in defs.items() if "properties" in d and "enum" not in d)
    enums = sorted(n for n, d in defs.items() if "enum" in d)
    plan = changes if changes is not None else default_changes(len(models))
    unknown = set(plan) - set(CHANGE_KINDS)
    if unknown:
        raise ValueError(f"unknown change kinds: {sorted(unknown)}")
    rng = random.Random(seed)
    enum_kinds = ("kind_change", "enum_members")
    n_model_changes = sum(n for k, n in plan.items() if k not in enum_kinds and k != "add_model")
    collection_models = [m for m in models if "x-firestore-collection" in defs[m]]
    # A kind change alters the signature of every $ref to the enum, so only unreferenced ones;
    # new members keep a string enum's signature "string", so only string enums.
    referenced = _referenced_names(new)
    loose_enums = [e for e in enums if e not in referenced]
    string_enums = [e for e in enums if e in referenced and defs[e].get("type") == "string"]
    if (
        n_model_changes > len(collection_models)
        or plan.get("kind_change", 0) > len(loose_enums)
        or plan.get("enum_members", 0) > len(string_enums)
    ):
        raise ValueError("bundle too small for this many changes")
    model_pool = rng.sample(collection_models, n_model_changes)
    enum_pools = {
        "kind_change": rng.sample(loose_enums, plan.get("kind_change", 0)),
        "enum_members": rng.sample(string_enums, plan.get("enum_members", 0)),
    }

    def record(kind: str, name: str, field: str | None = None) -> None:
        if log is not None:
            log.append((kind, name, field))

    for kind in CHANGE_KINDS:
        for i in range(plan.get(kind, 0)):
            if kind == "add_model":
                name = f"Added{i:05d}"
                defs[name] = {"properties": {"note": {"type": "string"}}, "type": "object"}
                record(kind, name)
                continue
            if kind in enum_kinds:
                name = enum_pools[kind].pop()
                if kind == "kind_change":
                    defs[name] = {"properties": {"value": {"type": "string"}}, "type": "object"}
                else:
                    defs[name]["enum"] = [*defs[name]["enum"], "added"]
                record(kind, name)
                continue
            name = model_pool.pop()
            model = defs[name]
            props = model["properties"]
            if kind == "remove_model":
                del defs[name]
                record(kind, name)
            elif kind == "add_optional_field":
                props["addedOptional"] = {"type": "string"}
                record(kind, name, "addedOptional")
            elif kind == "add_required_field":
                props["addedRequired"] = {"type": "string", "x-firestore-presence-guaranteed": True}
                model["required"].append("addedRequired")
                record(kind, name, "addedRequired")
            elif kind == "remove_field":
                del props["title"]
                record(kind, name, "title")
            elif kind == "change_type":
                props["title"] = {"type": "integer"}
                record(kind, name, "title")
            elif kind == "make_nullable":
                props["title"] = {"anyOf": [props["title"], {"type": "null"}]}
                record(kind, name, "title")
            elif kind == "required_to_optional":
                del props["createdAt"]["x-firestore-presence-guaranteed"]
                record(kind, name, "createdAt")
            elif kind == "doc_id_change":
                model["x-firestore-doc-id-field"] = "uid"
                record(kind, name)
            elif kind == "collection_change":
                model["x-firestore-collection"] = f"v2/{model['x-firestore-collection']}"
                record(kind, name)
            elif kind == "reorder_union":
                props["note"]["anyOf"].reverse()
                record(kind, name, "note")
    return new


def expected_findings(log: list[tuple[str, str, str | None]]) -> list[tuple[str, str | None, str]]:
    """(definition, field, verdict) of every finding the logged changes give, in report order."""
    rows = [
        (name, field, verdict)
        for kind, name, field in log
        if (verdict := CHANGE_KINDS[kind]) is not None
    ]
    # Definition-level findings come before a definition's property findings.
    return sorted(
        rows, key=lambda row: (row[0].encode(), row[1] is not None, (row[1] or "").encode())
    )


def _referenced_names(node: Any, found: set[str] | None = None) -> set[str]:
    found = set() if found is None else found
    if isinstance(node, dict):
        ref = node.get("$ref")
        if isinstance(ref, str):
            found.add(ref.rsplit("/", 1)[-1])
        for value in node.values():
            _referenced_names(value, found)
    elif isinstance(node, list):
        for value in node:
            _referenced_names(value, found)
    return found


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--models", type=int, default=1000, help="number of models")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--out", type=Path, help="file for the bundle (default: stdout)")
    parser.add_argument("--next-out", type=Path, help="also write the next version here")
    parser.add_argument("--change-seed", type=int, default=0)
    args = parser.parse_args(argv)
    bundle = make_bundle(args.models, args.seed)
    text = json.dumps(bundle)
    if args.out is None:
        sys.stdout.write(text + "\n")
    else:
        args.out.write_text(text, encoding="utf-8")
    if args.next_out is not None:
        args.next_out.write_text(
            json.dumps(next_version(bundle, args.change_seed)), encoding="utf-8"
        )
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
