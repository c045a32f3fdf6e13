"""The contract bundle: Pydantic models to the JSON Schema text that brenvale emits from.

`bundle(models)` writes every given model and everything it references (nested models, enums,
the targets of `firestore.Reference(Model)`) under `$defs`, as Pydantic writes them with
`ref_template="#/$defs/{model}"`, plus the Firestore keys of `brenvale.firestore`. The text is
sorted-key JSON with two-space indentation, so the same models always give the same bytes.

Decisions, each switchable through `Options`:

- mode "serialization": the bundle describes a document as `model.model_dump(by_alias=True)`
  writes it, which is what Firestore holds (computed fields appear, read-only; serializers decide
  the stored type). "validation" describes what `model_validate` accepts instead.
- by_alias: property names are the aliases (from `Field(alias=...)` or an `alias_generator`),
  since a document holds its data under those names.
- datetime_is_timestamp: a `datetime` (anywhere: a field, a list item, an optional) is a
  Firestore timestamp, which is how the Firestore clients store Python datetimes.
- bytes_is_bytes: a `bytes` value is a Firestore Bytes blob.
- required_is_present: a field the model requires and gives no default is presence-guaranteed
  (a field of a dataclass or a TypedDict it holds too): every document the model wrote or
  validated has it, so TypeScript readers may rely on it. A field with a default (`None`
  included) may be missing from older or foreign documents, so readers see it as optional, and
  so is a computed field, which the Write types leave out. `firestore.MayBeAbsent` opts a
  required field out; `firestore.PresenceGuaranteed` opts any field in. The document-id field
  is left alone (the id comes from the snapshot, not from the data).
"""

from __future__ import annotations

import enum
import functools
import importlib
import json
import os
import re
import sys
import typing
from collections.abc import Callable, Iterable, Iterator
from dataclasses import dataclass
from types import ModuleType
from typing import Any, Literal

from . import firestore

PYDANTIC_MISSING = "Pydantic is needed for --models: pip install 'brenvale[pydantic]'"

_MODULE = re.compile(r"[A-Za-z_]\w*(\.[A-Za-z_]\w*)*")
_NAME = re.compile(r"[A-Za-z_]\w*")

JsonDict = dict[str, Any]
REF_PREFIX = "#/$defs/"  # how the bundle's references name a definition


class ModelsError(Exception):
    """A user error in the models or in the way they were named; the message is one line."""


@dataclass(frozen=True)
class Options:
    """How models become a bundle; the module docstring explains each default."""

    mode: Literal["validation", "serialization"] = "serialization"
    by_alias: bool = True
    datetime_is_timestamp: bool = True
    bytes_is_bytes: bool = True
    required_is_present: bool = True


def bundle(models: Iterable[type], *, options: Options = Options()) -> str:
    """The contract bundle text of `models` and everything they reference."""
    if not isinstance(options, Options):
        raise TypeError(f"options must be brenvale.Options, not {type(options).__name__}")
    _require_pydantic()
    from pydantic import BaseModel
    from pydantic.errors import PydanticUserError
    from pydantic.json_schema import models_json_schema

    if options.mode not in ("validation", "serialization"):
        raise ModelsError(f"mode must be 'validation' or 'serialization', not {options.mode!r}")
    roots = list(models)
    if not roots:
        raise ModelsError("no models to put in the bundle")
    for model in roots:
        if not (isinstance(model, type) and issubclass(model, BaseModel)):
            raise ModelsError(f"not a Pydantic model class: {model!r}")
    everything = _with_reference_targets(roots)
    # Each refusal asks every model the bundle holds, however deep.
    held = _models_within(everything)
    _refuse_server_timestamps_in_lists(held)
    _refuse_inner_property_markers(held)
    if options.mode == "serialization":
        _refuse_untyped_serializers(held)
    if options.mode == "serialization" and options.by_alias:
        _refuse_unreadable_keys(held)
    try:
        names, schema = models_json_schema(
            [(model, options.mode) for model in everything],
            by_alias=options.by_alias,
            ref_template=REF_PREFIX + "{model}",
            schema_generator=_generator(options),
        )
    except PydanticUserError as error:
        raise ModelsError(_one_line(error)) from error
    except ModelsError:
        raise
    except Exception as error:  # a json_schema_extra that Pydantic cannot turn into JSON, say
        where = _extra_not_json(everything) or _bytes_default_not_text(everything) or "schema"
        raise ModelsError(f"{where}: {_one_line(error)}") from error
    defs = {"$defs": _lone_references_inline(schema.get("$defs", {}))}
    _set_defaults_in_order(defs["$defs"], defs["$defs"])
    by_class = {
        model: ref["$ref"].rsplit("/", 1)[-1]
        for (model, _mode), ref in names.items()
        if isinstance(ref, dict) and isinstance(ref.get("$ref"), str)
    }
    _check_models(defs["$defs"], by_class)
    _refuse_nested_arrays(defs["$defs"])
    seen: set[Any] = set()
    referenced = {target for model in roots for target in _reference_targets(model, seen)}
    _name_reference_targets(defs["$defs"], by_class, referenced)
    try:
        return (
            json.dumps(defs, indent=2, sort_keys=True, ensure_ascii=False, allow_nan=False) + "\n"
        )
    except (TypeError, ValueError) as error:
        where, value = _first_non_json(defs)
        raise ModelsError(f"{where}: {value!r} is not JSON") from error


def _lone_references_inline(value: Any) -> Any:
    """Pydantic before 2.9 wraps a `$ref` with keys beside it (a default, a description) in an
    `allOf` of one, which the generated types do not read: they would type such a field
    `unknown`. The bundle holds the `$ref` beside those keys, as later releases write it."""
    if isinstance(value, list):
        return [_lone_references_inline(item) for item in value]
    if not isinstance(value, dict):
        return value
    inlined = {key: _lone_references_inline(item) for key, item in value.items()}
    lone = inlined.get("allOf")
    if (
        isinstance(lone, list)
        and len(lone) == 1
        and isinstance(lone[0], dict)
        and list(lone[0]) == ["$ref"]
        and "$ref" not in inlined
    ):
        del inlined["allOf"]
        inlined["$ref"] = lone[0]["$ref"]
    return inlined


def _set_defaults_in_order(node: Any, defs: JsonDict) -> None:
    """Pydantic writes a set in a default in the order it iterates it, which the hash seed
    changes, but for a set the default is alone: the bundle would differ from run to run. Each
    default's arrays that the schema says are sets (`uniqueItems`) are sorted, at any depth."""
    if isinstance(node, list):
        for item in node:
            _set_defaults_in_order(item, defs)
    elif isinstance(node, dict):
        for key, value in node.items():
            if key == "default":
                node[key] = _in_order(value, node, defs, 0)
            elif key not in ("const", "enum", "examples"):
                _set_defaults_in_order(value, defs)


def _in_order(value: Any, schema: Any, defs: JsonDict, depth: int) -> Any:
    """`value`, an instance of `schema`, with the arrays the schema says are sets sorted."""
    if depth > 64 or not isinstance(value, (list, dict)):
        return value
    shapes = _shapes(schema, defs, 0)
    if isinstance(value, list):
        arrays = [shape for shape in shapes if isinstance(shape.get("items"), dict)]
        items = arrays[0]["items"] if arrays else {}
        ordered = [_in_order(item, items, defs, depth + 1) for item in value]
        if any(shape.get("uniqueItems") is True for shape in shapes):
            ordered.sort(key=_value_order)
        return ordered

    def member(key: str) -> Any:
        for shape in shapes:
            properties = shape.get("properties")
            if isinstance(properties, dict) and key in properties:
                return properties[key]
            if isinstance(shape.get("additionalProperties"), dict):
                return shape["additionalProperties"]
        return {}

    return {key: _in_order(item, member(key), defs, depth + 1) for key, item in value.items()}


def _shapes(schema: Any, defs: JsonDict, depth: int) -> list[JsonDict]:
    """The schema, what its `$ref` names and the members of its unions, as plain schemas."""
    if not isinstance(schema, dict) or depth > 16:
        return []
    found = [schema]
    reference = schema.get("$ref")
    if isinstance(reference, str):
        found += _shapes(defs.get(reference.rsplit("/", 1)[-1]), defs, depth + 1)
    for key in ("anyOf", "oneOf", "allOf"):
        for member in schema.get(key, []) if isinstance(schema.get(key), list) else []:
            found += _shapes(member, defs, depth + 1)
    return found


def _value_order(value: Any) -> tuple[int, Any]:
    """A total order of JSON values: by kind, then as Python orders those of one kind."""
    if value is None or isinstance(value, bool):
        return (0, (value is not None, bool(value)))
    if isinstance(value, (int, float)):
        return (1, value)
    if isinstance(value, str):
        return (2, value)
    return (3, json.dumps(value, sort_keys=True))


def _check_models(defs: JsonDict, by_class: dict[type, str]) -> None:
    """A model whose schema Pydantic writes without its fields (a `model_serializer` that
    returns `dict[str, Any]`) would lose them, and its collection, without a word."""
    for model, name in by_class.items():
        definition = defs.get(name)
        if not isinstance(definition, dict):
            continue
        lost = firestore.collection_of(model) is not None and firestore.COLLECTION not in definition
        if lost or ("properties" not in definition and _stored_fields(model)):
            raise ModelsError(
                f"{model.__name__}: Pydantic's schema for it holds none of its fields (a "
                "model_serializer annotated to return a dict?); annotate the serializer with "
                "the model's own type, or bundle with mode='validation'"
            )


def _refuse_nested_arrays(defs: JsonDict) -> None:
    """Firestore refuses an array held right inside an array ("Nested arrays are not
    supported") when the write runs, so a Write type that takes one would accept writes that
    always fail. An array in a map in an array is stored; a GeoPoint or vector is no array."""
    for name, definition in defs.items():
        stack: list[tuple[str, Any]] = [(name, definition)]
        while stack:
            where, schema = stack.pop()
            if isinstance(schema, list):
                stack += [(where, item) for item in schema]
                continue
            if not isinstance(schema, dict):
                continue
            items = [schema.get("items"), *_list_or_empty(schema.get("prefixItems"))]
            if _is_array(schema, defs, set()) and any(_is_array(i, defs, set()) for i in items):
                raise ModelsError(
                    f'{where}: a list inside a list, which Firestore refuses to store ("Nested '
                    'arrays are not supported"); hold the inner list in a model'
                )
            for key in _SCHEMA_KEYS:
                value = schema.get(key)
                if key in _SCHEMA_MAPS and isinstance(value, dict):
                    top = key == "properties" and where == name  # a model's own field
                    stack += [(f"{name}.{k}" if top else where, v) for k, v in value.items()]
                elif value is not None:
                    stack.append((where, value))


# The keys of a schema whose values are schemas (or lists of them, or maps of them): defaults,
# constants and examples are data, whatever they hold.
_SCHEMA_MAPS = ("properties", "patternProperties")
_SCHEMA_KEYS = (*_SCHEMA_MAPS, "items", "prefixItems", "additionalProperties", "anyOf", "oneOf")


def _list_or_empty(value: Any) -> list[Any]:
    return value if isinstance(value, list) else []


def _is_array(schema: Any, defs: JsonDict, seen: set[str]) -> bool:
    """Whether a value of `schema` may be an array: its type, a member of its union, or the
    alias (a root model, a TypeAliasType) it names."""
    if not isinstance(schema, dict):
        return False
    kind = schema.get("type")
    if kind == "array" or (isinstance(kind, list) and "array" in kind):
        return True
    members = [*_list_or_empty(schema.get("anyOf")), *_list_or_empty(schema.get("oneOf"))]
    if any(_is_array(member, defs, seen) for member in members):
        return True
    ref = schema.get("$ref")
    if isinstance(ref, str) and ref.startswith(REF_PREFIX):
        name = ref[len(REF_PREFIX) :]
        if name not in seen and isinstance(defs.get(name), dict):
            seen.add(name)
            return _is_array(defs[name], defs, seen)
    return False


def _stored_fields(model: type) -> list[str]:
    if getattr(model, "__pydantic_root_model__", False):
        return []  # its schema is its root's, with no properties
    fields = getattr(model, "model_fields", {})
    return [name for name, field in fields.items() if not getattr(field, "exclude", False)]


def _name_reference_targets(
    defs: JsonDict, by_class: dict[type, str], referenced: set[type]
) -> None:
    """A `Reference(Model)` is written with the class's `__name__`, which is not its definition
    name when two models share a name (Pydantic then qualifies both): it names the definition
    of the one reference target class so called (or, for a name given as a string, the one
    model), and an ambiguous one is an error."""
    renamed: dict[str, set[str]] = {}
    targets: dict[str, set[str]] = {}
    for model, name in by_class.items():
        if model.__name__ != name and model.__name__ not in defs:
            renamed.setdefault(model.__name__, set()).add(name)
            if model in referenced:
                targets.setdefault(model.__name__, set()).add(name)
    if not renamed:
        return
    stack: list[Any] = list(defs.values())
    while stack:
        value = stack.pop()
        if isinstance(value, list):
            stack.extend(value)
        if not isinstance(value, dict):
            continue
        stack.extend(value.values())
        target = value.get(firestore.REF_TARGET)
        if not isinstance(target, str) or target not in renamed:
            continue
        choices = sorted(targets.get(target) or renamed[target])
        if len(choices) > 1:
            raise ModelsError(
                f"Reference({target}) may name {' or '.join(choices)}: pass the definition "
                "name as a string, Reference(" + repr(choices[0]) + ")"
            )
        value[firestore.REF_TARGET] = choices[0]


def _extra_not_json(models: list[type]) -> str | None:
    """`Model.field` (or `Model`) whose json_schema_extra holds something that is not JSON."""
    for model in models:
        extras = [(model.__name__, getattr(model, "model_config", {}).get("json_schema_extra"))]
        fields = getattr(model, "model_fields", {})
        extras += [
            (f"{model.__name__}.{name}", field.json_schema_extra) for name, field in fields.items()
        ]
        for where, extra in extras:
            if isinstance(extra, dict):
                try:
                    json.dumps(extra, allow_nan=False)
                except (TypeError, ValueError):
                    return where
    return None


def _bytes_default_not_text(models: list[type]) -> str | None:
    """`Model.field (default)` whose bytes default is not UTF-8, which Pydantic's schema of the
    default decodes."""
    for model in models:
        for name, field in getattr(model, "model_fields", {}).items():
            if isinstance(field.default, bytes):
                try:
                    field.default.decode("utf-8")
                except UnicodeDecodeError:
                    return f"{model.__name__}.{name} (default)"
    return None


def _first_non_json(defs: JsonDict) -> tuple[str, Any]:
    """Where the first value that JSON cannot hold (NaN, Infinity, a non-JSON type) is, named
    `Model.field (default)` from its path under `$defs`."""
    stack: list[tuple[list[str], Any]] = [([], defs["$defs"])]
    while stack:
        path, value = stack.pop()
        if isinstance(value, dict):
            stack.extend(([*path, str(k)], v) for k, v in reversed(list(value.items())))
            if any(not isinstance(k, str) for k in value):
                return _where(path), value
        elif isinstance(value, list):
            stack.extend(([*path, str(i)], v) for i, v in reversed(list(enumerate(value))))
        elif (isinstance(value, float) and value - value != 0) or not (
            value is None or isinstance(value, (str, int, float))
        ):
            return _where(path), value  # NaN or an infinity, or not a JSON type
    return "bundle", None


def _where(path: list[str]) -> str:
    """`Model.field (default)` for ["Model", "properties", "field", "default"]."""
    if len(path) >= 3 and path[1] == "properties":
        name, rest = f"{path[0]}.{path[2]}", path[3:]
    else:
        name, rest = path[0] if path else "bundle", path[1:]
    return f"{name} ({'/'.join(rest)})" if rest else name


def bundle_from_target(
    target: str, *, options: Options = Options(), folder: str | None = None
) -> str:
    """The bundle for "pkg.module:User,Post", or for "pkg.module": its models with a collection,
    or, when it has none (plain DTOs), every model class defined in it.

    `folder` (default: the current directory, as with `python -m`) goes first on `sys.path`.
    """
    if not isinstance(target, str):
        raise TypeError(f"target must be a str, not {type(target).__name__}")
    if not isinstance(options, Options):
        raise TypeError(f"options must be brenvale.Options, not {type(options).__name__}")
    _require_pydantic()
    module_name, names = _parse_target(target)
    module = _import(module_name, folder or os.getcwd())
    models = [_model_named(module, name) for name in names] if names else _module_models(module)
    if not models:
        raise ModelsError(f"no Pydantic model in {module_name}")
    return bundle(models, options=options)


def _require_pydantic() -> None:
    try:
        import pydantic
    except ImportError:
        raise ModelsError(PYDANTIC_MISSING) from None
    if not pydantic.VERSION.startswith("2."):
        raise ModelsError(f"Pydantic 2 is needed for --models, found {pydantic.VERSION}")


def _one_line(error: BaseException) -> str:
    lines = str(error).strip().splitlines()
    return f"{type(error).__name__}: {lines[0] if lines else ''}".rstrip(": ")


def _parse_target(target: str) -> tuple[str, list[str]]:
    module_name, colon, rest = target.strip().partition(":")
    names = [name.strip() for name in rest.split(",")] if colon else []
    if not _MODULE.fullmatch(module_name) or not all(_NAME.fullmatch(name) for name in names):
        raise ModelsError(
            f"expected 'package.module' or 'package.module:Model,Other', got {target!r}"
        )
    return module_name, names


def _fresh_sources(folder: str) -> None:
    """Modules found in `folder` are compiled from their source, whatever `__pycache__` holds:
    a .pyc is trusted by its source's size and modification time in whole seconds, so an edit of
    the same size within the second of the last import would read as the old models. What lies
    under another entry of the module path (a standard library or a `pip install -t` folder
    inside it), or in a `site-packages` (a virtual environment inside it), keeps its bytecode."""
    import importlib.machinery as machinery

    tops = {os.path.abspath(folder), os.path.realpath(folder)}
    if tops <= _FRESH_FOLDERS:
        return
    _FRESH_FOLDERS.update(tops)

    def within(path: str, roots: Iterable[str]) -> bool:
        return any(path == root or path.startswith(root.rstrip(os.sep) + os.sep) for root in roots)

    def ours(entry: str) -> bool:
        path = os.path.abspath(entry or os.curdir)
        # By its own name or by the link's target: a linked folder of shared models counts.
        names = {path, os.path.realpath(path)}
        if not any(within(name, tops) for name in names) or not os.path.isdir(path):
            return False  # a zip file is the zip importer's
        others = {
            os.path.abspath(other or os.curdir) for other in sys.path if isinstance(other, str)
        }
        others = {other for other in others - tops if within(other, tops)}
        return not any(
            within(name, others) or _INSTALLED.intersection(name.split(os.sep)) for name in names
        )

    class SourceLoader(machinery.SourceFileLoader):
        def get_code(self, fullname: str) -> Any:
            return self.source_to_code(self.get_data(self.path), self.path)

    def hook(entry: str) -> machinery.FileFinder:
        if not ours(entry):
            raise ImportError("not the models' own folder")  # the next hook takes it
        return machinery.FileFinder(
            entry,
            (machinery.ExtensionFileLoader, machinery.EXTENSION_SUFFIXES),
            (SourceLoader, machinery.SOURCE_SUFFIXES),
            (machinery.SourcelessFileLoader, machinery.BYTECODE_SUFFIXES),
        )

    sys.path_hooks.insert(0, hook)
    for entry in list(sys.path_importer_cache):
        if ours(entry):
            del sys.path_importer_cache[entry]


_FRESH_FOLDERS: set[str] = set()
# Where installed packages lie, in a virtual environment inside the project too.
_INSTALLED = frozenset({"site-packages", "dist-packages"})


def _import(module_name: str, cwd: str) -> ModuleType:
    if cwd not in sys.path:
        sys.path.insert(0, cwd)
    _fresh_sources(cwd)
    try:
        return importlib.import_module(module_name)
    except KeyboardInterrupt:
        raise
    except ModuleNotFoundError as error:
        if error.name and (module_name == error.name or module_name.startswith(error.name + ".")):
            raise ModelsError(
                f"no module named {error.name} (looked in {cwd} and on sys.path)"
            ) from error
        raise ModelsError(f"importing {module_name} failed: {_one_line(error)}") from error
    except BaseException as error:  # SystemExit and custom BaseException subclasses too
        raise ModelsError(f"importing {module_name} failed: {_one_line(error)}") from error


def _model_named(module: ModuleType, name: str) -> type:
    from pydantic import BaseModel

    try:
        model = getattr(module, name, None)
    except Exception as error:  # a module __getattr__ that raises
        raise ModelsError(
            f"getting {name} from {module.__name__} failed: {_one_line(error)}"
        ) from error
    if model is None:
        raise ModelsError(f"{module.__name__} has no {name}")
    if not (isinstance(model, type) and issubclass(model, BaseModel)):
        raise ModelsError(f"{module.__name__}:{name} is not a Pydantic model class")
    return model


def _module_models(module: ModuleType) -> list[type]:
    """The module's models with a collection (imported ones too), else the models defined in it."""
    from pydantic import BaseModel

    found = {
        id(v): v for v in vars(module).values() if isinstance(v, type) and issubclass(v, BaseModel)
    }
    models = sorted(found.values(), key=lambda m: m.__qualname__)
    stored = [m for m in models if firestore.collection_of(m)]
    return stored or [m for m in models if m.__module__ == module.__name__]


def _with_reference_targets(roots: list[type]) -> list[type]:
    """`roots`, then every model class named by a `Reference(Model)` reachable from them."""
    seen: set[type] = set()
    targets: list[type] = []
    for model in roots:
        for target in _reference_targets(model, seen):
            if target not in roots and target not in targets:
                targets.append(target)
    return roots + targets


def _reference_targets(model: type, seen: set[Any]) -> Iterator[type]:
    if model in seen:
        return
    seen.add(model)
    # Fields of a model or a Pydantic dataclass, and what computed fields return.
    fields = _fields_of(model)
    annotations: list[Any] = []
    for field in fields.values():
        annotations += [field.annotation, *field.metadata]
    for computed in getattr(model, "model_computed_fields", {}).values():
        annotations.append(computed.return_type)
    for item in _annotation_parts(annotations, seen):
        if isinstance(item, firestore.FirestoreType) and isinstance(item.target, type):
            yield item.target
            yield from _reference_targets(item.target, seen)
        elif isinstance(item, type) and _has_fields(item):
            yield from _reference_targets(item, seen)


# Annotations whose arguments are the items of a Firestore array.
_LISTS = (list, tuple, set, frozenset)


def _refuse_server_timestamps_in_lists(models: list[type]) -> None:
    """Firestore refuses serverTimestamp() inside an array when the write runs, so a Write type
    that takes one there would accept a write that always fails. A model held as a map is
    asked too: its own lists are arrays of the document."""
    for model in models:
        fields = _fields_of(model)
        for name, field in fields.items():
            if _server_timestamp_in_list([field.annotation, *field.metadata], False, set()):
                raise ModelsError(
                    f"{model.__name__}.{name}: firestore.ServerTimestamp inside a list, where "
                    "Firestore refuses serverTimestamp(); use a plain datetime there"
                )


def _server_timestamp_in_list(items: list[Any], in_list: bool, seen: set[tuple[int, bool]]) -> bool:
    for item in items:
        if isinstance(item, firestore.FirestoreType) and item.server_timestamp and in_list:
            return True
        # One annotation object may stand both in a list and outside one.
        if (id(item), in_list) in seen:
            continue
        seen.add((id(item), in_list))
        inner = in_list or typing.get_origin(item) in _LISTS
        parts = _parts_of(item)
        if inner and isinstance(item, type) and _has_fields(item):
            # A model inside a list is a map inside an array: its fields are in the array too.
            fields = _fields_of(item)
            for field in fields.values():
                parts += [field.annotation, *field.metadata]
        if _server_timestamp_in_list(parts, inner, seen):
            return True
    return False


def _refuse_inner_property_markers(models: list[type]) -> None:
    """A property marker sets its key on the schema it annotates, and the generated types read
    those keys on a field's own schema only: inside a union member, an item or a named alias it
    would leave a ReadOnly field writable, or a MayBeAbsent one required, without a word."""
    for model in models:
        for name, field in _fields_of(model).items():
            # Pydantic keeps the field's outermost Annotated markers in its metadata.
            for part in _annotation_parts([field.annotation], set()):
                if isinstance(part, firestore.PropertyKey):
                    marker = _marker_name(part)
                    raise ModelsError(
                        f"{model.__name__}.{name}: {marker} inside the field's type (a union "
                        "member, an item or a named alias), where it never reaches the field; "
                        f"put it on the field's outermost annotation, Annotated[..., {marker}]"
                    )


def _marker_name(marker: firestore.PropertyKey) -> str:
    for name in ("ReadOnly", "MayBeAbsent", "PresenceGuaranteed"):
        if getattr(firestore, name) == marker:
            return f"firestore.{name}"
    return repr(marker)


def _models_within(models: list[type]) -> list[type]:
    """`models` and every model or Pydantic dataclass their fields hold, however deep."""
    found: dict[type, None] = {}
    pending = list(models)
    while pending:
        model = pending.pop()
        if model in found:
            continue
        found[model] = None
        for field in _fields_of(model).values():
            pending += [
                part
                for part in _annotation_parts([field.annotation, *field.metadata], set())
                if isinstance(part, type) and _has_fields(part)
            ]
    return list(found)


def _refuse_untyped_serializers(models: list[type]) -> None:
    """A serializer without a return type (a `field_serializer` or `model_serializer` with no
    return annotation, a `PlainSerializer` or `WrapSerializer` of a lambda) may store anything,
    and Pydantic writes the type it reads in its place: the bundle would say an `int` is stored
    where the serializer stores a text, and every reader of it would refuse the document."""
    fix = "annotate its return (-> str), or give PlainSerializer or WrapSerializer a return_type"
    for model in models:
        schema = _own_core_schema(model, getattr(model, "__pydantic_core_schema__", None))
        if schema is None:
            continue
        if _untyped_serializer(schema.get("serialization")):
            raise ModelsError(
                f"{model.__name__}: a model_serializer without a return type, so the bundle "
                "cannot say what is stored; annotate it with the model's own type"
            )
        for name, field_schema in _core_fields(schema):
            if _holds_untyped_serializer(field_schema):
                raise ModelsError(
                    f"{model.__name__}.{name}: a serializer without a return type, so the bundle "
                    f"cannot say what is stored; {fix}"
                )


def _own_core_schema(cls: type, schema: Any) -> Any:
    """The core schema of `cls` itself, inside the definitions Pydantic may wrap it in."""
    while isinstance(schema, dict):
        if schema.get("type") in ("model", "dataclass") and schema.get("cls") is cls:
            return schema
        if schema.get("type") != "definitions":
            return schema if schema.get("type") == "typed-dict" else None
        found = [item for item in schema.get("definitions", []) if item.get("cls") is cls]
        schema = found[0] if found else schema.get("schema")
    return None


def _core_fields(schema: Any) -> Iterator[tuple[str, Any]]:
    """Each field of a model's, dataclass's or TypedDict's core schema, by name."""
    inner = schema.get("schema", schema) if schema.get("type") != "typed-dict" else schema
    fields = inner.get("fields", {})
    if isinstance(fields, dict):
        yield from ((name, field.get("schema")) for name, field in fields.items())
    else:  # a dataclass's arguments
        yield from ((field.get("name"), field.get("schema")) for field in fields)


# The `when_used` of a serializer that model_dump, which writes documents, never runs.
_JSON_ONLY = ("json", "json-unless-none")
# A bound Pydantic cannot put on a type it constrains (a union, a Literal) it checks on the value
# after, and writes under its own name: each under the JSON Schema key it means.
_NUMERIC_KEYS = {
    "ge": "minimum",
    "gt": "exclusiveMinimum",
    "le": "maximum",
    "lt": "exclusiveMaximum",
    "multiple_of": "multipleOf",
}


def _numeric_bound(item: tuple[str, Any]) -> bool:
    """A Pydantic bound key, with a number for its value."""
    key, value = item
    return key in _NUMERIC_KEYS and isinstance(value, (int, float)) and not isinstance(value, bool)


def _untyped_serializer(serialization: Any) -> bool:
    """A serializer function of the models' own without a return type. Pydantic's serializers of
    its own types (`HttpUrl`, `SecretStr`, `IPv4Address`, `Path`) have none either, and write
    the text its schema of them says."""
    if not isinstance(serialization, dict):
        return False
    module = getattr(serialization.get("function"), "__module__", None) or ""
    return (
        serialization.get("type") in ("function-plain", "function-wrap")
        and serialization.get("return_schema") is None
        and serialization.get("when_used") not in _JSON_ONLY
        and module.partition(".")[0] not in ("pydantic", "pydantic_core")
    )


def _holds_untyped_serializer(schema: Any) -> bool:
    """Does a field's schema, or one within it (an item, a union member), serialize through a
    function without a return type? Another model's own fields are asked apart."""
    if isinstance(schema, list):
        return any(_holds_untyped_serializer(item) for item in schema)
    if not isinstance(schema, dict) or schema.get("type") in ("model", "dataclass", "typed-dict"):
        return False
    if _untyped_serializer(schema.get("serialization")):
        return True
    return any(
        _holds_untyped_serializer(value)
        for key, value in schema.items()
        if key not in ("serialization", "metadata") and isinstance(value, (dict, list))
    )


def _refuse_unreadable_keys(models: list[type]) -> None:
    """A field stored under a key its model does not read (a `validation_alias` without the key
    `model_dump(by_alias=True)` writes) loses its value on every read of a stored document, and
    the bundle, which holds the stored key, cannot show it: two versions differing there bundle
    alike."""
    for model in models:
        config = getattr(model, "model_config", None) or getattr(model, "__pydantic_config__", {})
        extra = config.get("json_schema_extra")
        id_field = extra.get(firestore.DOC_ID_FIELD) if isinstance(extra, dict) else None
        # A root model is stored as its value, under no key of its own.
        root = getattr(model, "__pydantic_root_model__", False)
        for name, field in _fields_of(model).items():
            # The document id comes from the snapshot; an excluded field is not stored.
            if root or name == id_field or field.exclude:
                continue
            stored = field.serialization_alias or field.alias or name
            read = _read_paths(name, field, config)
            if (stored,) not in read:
                fix = "populate_by_name" if stored == name else f"Field(alias={stored!r})"
                raise ModelsError(
                    f"{model.__name__}.{name}: stored under {stored!r} but read from "
                    f"{' or '.join(sorted(_path_text(path) for path in read))}, so every stored "
                    f"document loses it; read {stored!r} too ({fix}, or AliasChoices with it)"
                )


def _read_paths(name: str, field: Any, config: Any) -> set[tuple[Any, ...]]:
    """The paths model_validate reads the field from: a key is a path of one step. A longer
    `AliasPath` reads inside the value of its first key, so never the stored value itself."""
    paths: set[tuple[Any, ...]] = set()
    if config.get("populate_by_name") or config.get("validate_by_name"):
        paths.add((name,))
    if config.get("validate_by_alias") is False:
        return paths | {(name,)}
    alias = field.validation_alias
    if alias is None:
        return paths | {(field.alias or name,)}
    for choice in getattr(alias, "choices", None) or [alias]:
        path = getattr(choice, "path", None)
        paths.add(tuple(path) if isinstance(path, list) else (choice,))
    return paths


def _path_text(path: tuple[Any, ...]) -> str:
    """A read path as the model spells it: 'key', or AliasPath('legacy', 0)."""
    if len(path) == 1 and isinstance(path[0], str):
        return repr(path[0])
    return f"AliasPath({', '.join(repr(step) for step in path)})"


def _has_fields(item: type) -> bool:
    return hasattr(item, "model_fields") or hasattr(item, "__pydantic_fields__")


def _fields_of(model: type) -> dict[str, Any]:
    """The fields of a model or a Pydantic dataclass."""
    fields: dict[str, Any] = getattr(model, "model_fields", None) or getattr(
        model, "__pydantic_fields__", {}
    )
    return fields


def _parts_of(item: Any) -> list[Any]:
    """What an annotation holds: its type arguments and markers, and a named alias's value."""
    parts = list(typing.get_args(item))
    value = getattr(item, "__value__", None)
    if value is not None and not isinstance(item, type):
        parts.append(value)
    return parts


def _annotation_parts(items: list[Any], seen: set[Any]) -> Iterator[Any]:
    """Every type argument and `Annotated` marker inside the given annotations, depth first,
    through the value of a named alias (`TypeAliasType`) once each."""
    for item in items:
        yield item
        if getattr(item, "__value__", None) is not None and not isinstance(item, type):
            try:
                if item in seen:  # an alias already walked, or one that names itself
                    continue
                seen.add(item)
            except TypeError:  # unhashable: no alias
                pass
        yield from _annotation_parts(_parts_of(item), seen)


# The keys that say what a schema's values are: a schema without one takes any value, null too.
_TYPED_BY = ("type", "$ref", "anyOf", "oneOf", "enum", "const", firestore.TYPE)


def _admits_null(json_schema: JsonDict) -> bool:
    """Does the schema, or a member of its union, take null?"""
    kinds = json_schema.get("type")
    if kinds == "null" or (isinstance(kinds, list) and "null" in kinds):
        return True
    members = [*json_schema.get("anyOf", []), *json_schema.get("oneOf", [])]
    return any(isinstance(member, dict) and _admits_null(member) for member in members)


def _flag_values(json_schema: JsonDict, cls: type[enum.Flag]) -> None:
    """Pydantic lists a Flag's members, but takes their combinations too (`Perm.R | Perm.W` is
    3), and an IntFlag takes any integer: each is stored as its number."""
    values = [member.value for member in cls]
    if not all(isinstance(value, int) and not isinstance(value, bool) for value in values):
        return
    json_schema.pop("enum", None)
    json_schema["type"] = "integer"
    if issubclass(cls, int):
        return
    mask = functools.reduce(lambda a, b: a | b, values, 0)
    if mask >= 0 and mask.bit_count() <= 10:
        json_schema["enum"] = [value for value in range(mask + 1) if value & ~mask == 0]
    else:
        json_schema["minimum"] = 0


_Written = typing.TypeVar("_Written")


@functools.cache
def _generator(options: Options) -> type:
    """Pydantic's JSON Schema generator with the Firestore defaults of `options`."""
    from pydantic.json_schema import GenerateJsonSchema

    class FirestoreJsonSchema(GenerateJsonSchema):
        def __init__(self, *args: Any, **kwargs: Any) -> None:
            super().__init__(*args, **kwargs)
            # The config of each model being written, innermost last: Pydantic applies some of it
            # (allow_inf_nan, str_min_length, str_max_length) to the model's own fields alone.
            self.model_configs: list[Any] = []

        def model_config(self, key: str) -> Any:
            return self.model_configs[-1].get(key) if self.model_configs else None

        def generate_inner(self, schema: Any) -> Any:
            metadata = schema.get("metadata") if isinstance(schema, dict) else None
            if not isinstance(metadata, dict):
                return super().generate_inner(schema)
            updates = metadata.get("pydantic_js_updates")
            if isinstance(updates, dict) and any(map(_numeric_bound, updates.items())):
                # A bound of another kind (a Decimal's text, a date) stays as Pydantic writes it:
                # JSON Schema's keys take numbers alone.
                updates = {
                    _NUMERIC_KEYS[key] if _numeric_bound((key, value)) else key: value
                    for key, value in updates.items()
                }
                schema = {**schema, "metadata": {**metadata, "pydantic_js_updates": updates}}
            return super().generate_inner(schema)

        def float_schema(self, schema: Any) -> JsonDict:
            json_schema = super().float_schema(schema)
            allowed = schema.get("allow_inf_nan")
            if allowed is None:
                allowed = self.model_config("allow_inf_nan") is not False
            if not allowed:
                _bound_finite(json_schema)
            return json_schema

        def unbounded(self, write: Callable[[], _Written]) -> _Written:
            """`write()` with the model's string length bounds set aside: Pydantic checks them
            on the strings it reads, never on a Decimal's text, a serializer's output or a
            computed field, which it does not read."""
            config = {
                key: value
                for key, value in (self.model_configs[-1] if self.model_configs else {}).items()
                if key not in ("str_min_length", "str_max_length")
            }
            self.model_configs.append(config)
            try:
                return write()
            finally:
                self.model_configs.pop()

        def decimal_schema(self, schema: Any) -> JsonDict:
            return self.unbounded(lambda: super(FirestoreJsonSchema, self).decimal_schema(schema))

        def ser_schema(self, schema: Any) -> JsonDict | None:
            # A serializer used only for JSON never runs in model_dump: the document holds the
            # value as it is, and None gives its type's schema.
            if schema.get("when_used") in _JSON_ONLY:
                return None
            return self.unbounded(lambda: super(FirestoreJsonSchema, self).ser_schema(schema))

        def computed_field_schema(self, schema: Any) -> JsonDict:
            return self.unbounded(
                lambda: super(FirestoreJsonSchema, self).computed_field_schema(schema)
            )

        def str_schema(self, schema: Any) -> JsonDict:
            json_schema = super().str_schema(schema)
            least, most = self.model_config("str_min_length"), self.model_config("str_max_length")
            _bound_length(json_schema, schema, least, most)
            return json_schema

        def union_schema(self, schema: Any) -> JsonDict:
            json_schema = super().union_schema(schema)
            # `int | SkipJsonSchema[None]` keeps null out of a published schema, but model_dump
            # stores the None all the same: the bundle says what documents hold.
            choices = [c[0] if isinstance(c, tuple) else c for c in schema.get("choices", [])]
            none = any(isinstance(c, dict) and c.get("type") == "none" for c in choices)
            if none and not _admits_null(json_schema):
                return {"anyOf": [json_schema, {"type": "null"}]}
            return json_schema

        def default_schema(self, schema: Any) -> JsonDict:
            inner = schema.get("schema", {})
            if inner.get("serialization", {}).get("when_used") in _JSON_ONLY:
                # Pydantic shows the default as the serializer writes it, which model_dump does not
                inner = {key: value for key, value in inner.items() if key != "serialization"}
                schema = {**schema, "schema": inner}
            json_schema = super().default_schema(schema)
            # `qty: int = None`: Pydantic does not check a default, and model_dump stores the
            # None, so the bundle says the field holds null too.
            value = {key: item for key, item in json_schema.items() if key != "default"}
            if (
                "default" in schema
                and schema["default"] is None
                and json_schema.get("default", ...) is None
                and any(key in value for key in _TYPED_BY)
                and not _admits_null(value)
                and None not in value.get("enum", [])
                and value.get("const", ...) is not None
            ):
                return {"anyOf": [value, {"type": "null"}], "default": None}
            return json_schema

        def enum_schema(self, schema: Any) -> JsonDict:
            json_schema = super().enum_schema(schema)
            cls = schema.get("cls")
            if isinstance(cls, type) and issubclass(cls, enum.Flag):
                _flag_values(json_schema, cls)
            return json_schema

        def datetime_schema(self, schema: Any) -> JsonDict:
            if options.datetime_is_timestamp:
                return firestore.Timestamp.keys()
            return super().datetime_schema(schema)

        def bytes_schema(self, schema: Any) -> JsonDict:
            if options.bytes_is_bytes:
                return firestore.Bytes.keys()
            return super().bytes_schema(schema)

        def model_schema(self, schema: Any) -> JsonDict:
            self.model_configs.append(schema.get("config", {}))
            try:
                json_schema = super().model_schema(schema)
            finally:
                self.model_configs.pop()
            _finish_model(json_schema, schema["cls"], options)
            return json_schema

        # A dataclass (the standard library's or Pydantic's) and a TypedDict held by a model
        # are maps of its documents too, whose fields the presence default applies to.
        def dataclass_schema(self, schema: Any) -> JsonDict:
            json_schema = super().dataclass_schema(schema)
            _mark_present(json_schema, schema["cls"], None, options)
            return json_schema

        def typed_dict_schema(self, schema: Any) -> JsonDict:
            json_schema = super().typed_dict_schema(schema)
            _mark_present(json_schema, schema.get("cls"), None, options)
            return json_schema

    return FirestoreJsonSchema


def _bound_finite(json_schema: JsonDict) -> None:
    """Bounds a float that refuses NaN and infinity (`allow_inf_nan=False`) on each open side by
    the largest finite float, which JSON Schema can say: NaN and infinity fail such bounds in
    Pydantic and in the Zod module alike, and compat sees the change as bounds that tighten."""
    if "minimum" not in json_schema and "exclusiveMinimum" not in json_schema:
        json_schema["minimum"] = -sys.float_info.max
    if "maximum" not in json_schema and "exclusiveMaximum" not in json_schema:
        json_schema["maximum"] = sys.float_info.max


def _bound_length(json_schema: JsonDict, schema: Any, least: int | None, most: int | None) -> None:
    """Writes a model's `str_min_length` and `str_max_length` on each string of its fields (list
    items and dict keys too) that has no bound of that side of its own, as Pydantic applies them
    when it validates: the config is in no schema it writes."""
    if least is not None and schema.get("min_length") is None:
        json_schema.setdefault("minLength", least)
    if most is not None and schema.get("max_length") is None:
        json_schema.setdefault("maxLength", most)


def _finish_model(definition: JsonDict, model: type, options: Options) -> None:
    """Writes the id field under its bundle name and applies the presence default."""
    properties: JsonDict = definition.get("properties", {})
    id_key = None
    if firestore.DOC_ID_FIELD in definition:
        field_name = definition[firestore.DOC_ID_FIELD]
        id_key = _property_name(model, field_name, options)
        field = getattr(model, "model_fields", {}).get(field_name)
        if id_key not in properties and getattr(field, "exclude", False) is True:
            # Left out of what is stored, as a document id is: the reader has it from the path.
            properties[id_key] = {"type": "string", "title": field_name.replace("_", " ").title()}
            definition["properties"] = properties
            definition.setdefault("required", []).append(id_key)
        if id_key not in properties:
            raise ModelsError(
                f"{model.__name__}: id_field {definition[firestore.DOC_ID_FIELD]!r} "
                "is not one of its fields"
            )
        if kind := _not_text(properties[id_key]):
            # Every output types the id as the text it is; Pydantic would read it as the field's
            # type, and refuse ids that are not one.
            raise ModelsError(
                f"{model.__name__}: id_field {field_name!r} holds {kind}, but a document id is "
                "always a str; make the field a str"
            )
        definition[firestore.DOC_ID_FIELD] = id_key
    _mark_present(definition, model, id_key, options)


def _not_text(schema: Any) -> str | None:
    """The JSON type a property schema gives its value when it takes no text, else None."""
    members = schema.get("anyOf") if isinstance(schema, dict) else None
    kinds = [
        member.get("type")
        for member in [schema, *(members if isinstance(members, list) else [])]
        if isinstance(member, dict) and isinstance(member.get("type"), str)
    ]
    if "string" in kinds:
        return None
    return next((kind for kind in kinds if kind != "null"), None)


def _mark_present(
    definition: JsonDict, cls: type | None, id_key: str | None, options: Options
) -> None:
    """The presence default: every required field but the id is presence-guaranteed."""
    if not options.required_is_present:
        return
    properties: JsonDict = definition.get("properties", {})
    # A computed field is in every model_dump, but documents written through the Write types
    # (which leave it out, as it is read-only) never hold it: it stays read-optional.
    computed = _computed_property_names(cls, options)
    for name in definition.get("required", []):
        if name != id_key and name not in computed and isinstance(properties.get(name), dict):
            properties[name].setdefault(firestore.PRESENCE, True)


def _computed_property_names(cls: type | None, options: Options) -> set[str]:
    """The property names of the computed fields of a model or a Pydantic dataclass."""
    fields = getattr(cls, "model_computed_fields", None)
    if fields is None:
        decorators = getattr(cls, "__pydantic_decorators__", None)
        found = getattr(decorators, "computed_fields", {})
        fields = {name: decorator.info for name, decorator in found.items()}
    if not options.by_alias:
        return set(fields)
    return {field.alias or name for name, field in fields.items()}


def _property_name(model: type, field_name: str, options: Options) -> str:
    """The property name of a Python field in the bundle: its alias for the mode, when used."""
    field = getattr(model, "model_fields", {}).get(field_name)
    if field is None or not options.by_alias:
        return field_name
    if options.mode == "serialization":
        alias = field.serialization_alias or field.alias
    else:
        alias = _first_alias(field.validation_alias) or field.alias
    return alias or field_name


def _first_alias(alias: Any) -> str | None:
    """The property name Pydantic's schema gives a validation alias: a name, the first choice of
    AliasChoices, the first step of an AliasPath."""
    if isinstance(alias, str):
        return alias
    choices = getattr(alias, "choices", None)
    if isinstance(choices, list) and choices:
        return _first_alias(choices[0])
    path = getattr(alias, "path", None)
    if isinstance(path, list) and path and isinstance(path[0], str):
        return path[0]
    return None
