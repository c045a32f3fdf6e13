"""The project file: finds `brenvale.toml` or `pyproject.toml`'s `[tool.brenvale]` table and
reads it into a `Config`, every mistake a one-line `ConfigError` naming the file and the key.

docs/config.md describes every key. Imports stay light: the TOML parser and the findings are
loaded only when a file is read, since every `generate` and `check` pays for them."""

from __future__ import annotations

import os
from dataclasses import dataclass

TYPE_CHECKING = False
if TYPE_CHECKING:
    import subprocess
    from collections.abc import Callable, Sequence
    from typing import TypeVar

    from .findings import FailOn, Mode

    _T = TypeVar("_T")
    Runner = Callable[[Sequence[str], str], subprocess.CompletedProcess[str]]

OWN_FILE, PYPROJECT = "brenvale.toml", "pyproject.toml"
PYPROJECT_TABLE = "tool.brenvale"
REPOSITORY_MARK = ".git"  # a folder, or a file in a worktree or submodule
LAST_TAG = "last-tag"  # the baseline that means `git describe --tags --abbrev=0`
REQUIRED = "required"

TOP_KEYS = ("models", "bundle", "outputs", "compat")
OUTPUT_KEYS = ("kind", "path")
COMPAT_KEYS = ("baseline", "mode", "fail_on", "ignore")
PROJECT_FILE = ""  # the project file itself, among the files of keys
# The options of each output kind, beside kind and path; all are optional but a shared module's.
KIND_OPTIONS = {
    "web": ("jsdoc", "update_paths"),
    "admin": ("jsdoc", "update_paths"),
    "zod": ("contract", "sdk"),
    "plain": ("jsdoc",),
    "shared": ("shared_path", "shared_names", "jsdoc", "update_paths"),
}
# A zod output's `contract` defaults to the module of the kind named as its SDK is (web or
# admin), less this suffix.
TS_SUFFIX = ".ts"
TOML_TYPES = (
    (bool, "a boolean"),
    (int, "an integer"),
    (float, "a float"),
    (str, "a string"),
    (list, "an array"),
    (dict, "a table"),
)


class ConfigError(Exception):
    """A config that cannot be found, read or used; the message is one line naming the file."""


@dataclass(frozen=True)
class Output:
    """One generated file. `path` is absolute; the options not of this kind keep defaults."""

    kind: str
    path: str
    jsdoc: bool = False
    update_paths: bool = False
    shared_path: str | None = None
    shared_names: tuple[str, ...] = ()
    contract: str | None = None
    sdk: str = "web"  # a zod output's: one of _ext.SDKS, the first when none is given


@dataclass(frozen=True)
class Compat:
    """What `check` compares the bundle with, and how it judges the findings."""

    baseline: str  # a git revision, or LAST_TAG
    mode: Mode
    fail_on: FailOn
    ignore: str | None


@dataclass(frozen=True)
class Config:
    """A project file's settings; paths are absolute, resolved from the file's folder."""

    file: str
    name: str  # the file as errors name it
    table: str  # the dotted key of the brenvale table, "" for brenvale.toml
    models: str | None
    bundle: str
    outputs: tuple[Output, ...]
    compat: Compat | None

    @property
    def folder(self) -> str:
        return os.path.dirname(self.file)

    def error(self, key: str, text: str) -> ConfigError:
        return ConfigError(f"{self.name}: {_dotted(self.table, key)}: {text}")


# finding and parsing ---------------------------------------------------------------------------


def load_config(start: str | None = None) -> Config:
    """The config of the first folder from `start` (default: the current one) upwards that has
    a brenvale.toml, or a pyproject.toml with a [tool.brenvale] table, stopping at the top of
    the repository."""
    start = os.path.abspath(start or os.curdir)
    found = find_config(start)
    if found is None:
        raise ConfigError(
            f"no {OWN_FILE}, or {PYPROJECT} with a [{PYPROJECT_TABLE}] table, "
            f"in {start} or the folders above it"
        )
    path, table = found
    return read_config(path, os.path.relpath(path, start), table)


def find_config(start: str) -> tuple[str, object] | None:
    """(file, its brenvale table as parsed) nearest to `start`; a brenvale.toml wins over the
    pyproject.toml beside it, which is then not read."""
    folder = os.path.abspath(start)
    while True:
        own = os.path.join(folder, OWN_FILE)
        if os.path.isfile(own):
            return own, parse_toml(own, os.path.relpath(own, start))
        pyproject = os.path.join(folder, PYPROJECT)
        if os.path.isfile(pyproject):
            tool = parse_toml(pyproject, os.path.relpath(pyproject, start)).get("tool")
            if isinstance(tool, dict) and "brenvale" in tool:
                return pyproject, tool["brenvale"]
        parent = os.path.dirname(folder)
        if parent == folder or os.path.exists(os.path.join(folder, REPOSITORY_MARK)):
            return None
        folder = parent


def parse_toml(path: str, name: str) -> dict[str, object]:
    import sys

    if sys.version_info >= (3, 11):
        import tomllib
    else:
        import tomli as tomllib

    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as exc:
        raise ConfigError(f"{name}: {exc.strerror or exc}") from None
    try:
        return tomllib.loads(data.decode("utf-8"))
    except UnicodeDecodeError as exc:
        raise ConfigError(f"{name}: not UTF-8 text ({exc.reason} at byte {exc.start})") from None
    except tomllib.TOMLDecodeError as exc:
        raise ConfigError(f"{name}: not valid TOML: {exc}") from None


# reading ---------------------------------------------------------------------------------------


def read_config(path: str, name: str, parsed: object) -> Config:
    """The Config of `parsed`, the brenvale table of `path`: the whole of a brenvale.toml, or
    a pyproject.toml's [tool.brenvale]. Errors call the file `name`."""
    table = "" if os.path.basename(path) == OWN_FILE else PYPROJECT_TABLE
    root = _Table(name, table, _as_table(name, table, parsed))
    root.allow(TOP_KEYS)
    folder = os.path.dirname(os.path.abspath(path))
    outputs = tuple(_output(item, folder) for item in root.tables("outputs"))
    compat_table = root.table("compat")
    config = Config(
        file=os.path.abspath(path),
        name=name,
        table=table,
        models=root.string("models"),
        bundle=_required(root, "bundle", root.path("bundle", folder)),
        outputs=tuple(_with_contract(root, outputs)),
        compat=None if compat_table is None else _compat(compat_table, folder),
    )
    _refuse_one_file_twice(root, config)
    return config


def _output(item: _Table, folder: str) -> Output:
    from . import _ext

    kind = _required(item, "kind", item.choice("kind", tuple(KIND_OPTIONS)))
    options = KIND_OPTIONS[kind]
    for key in item.data:
        if key not in OUTPUT_KEYS and key not in options and _known_option(key):
            raise item.error(
                key, f"not an option of kind {kind!r}, which takes {', '.join(options)}"
            )
    item.allow((*OUTPUT_KEYS, *options))
    shared_path = item.string("shared_path")
    shared_names = item.strings("shared_names")
    if kind == "shared":
        _required(item, "shared_path", shared_path)
        if "shared_names" in item.data and not shared_names:
            raise item.error("shared_names", "expected at least one name")
        _required(item, "shared_names", shared_names or None)
    return Output(
        kind=kind,
        path=_required(item, "path", item.path("path", folder, file=True)),
        jsdoc=item.boolean("jsdoc"),
        update_paths=item.boolean("update_paths"),
        shared_path=shared_path,
        shared_names=shared_names,
        contract=item.string("contract"),
        sdk=item.choice("sdk", _ext.SDKS) or _ext.SDKS[0],
    )


def _known_option(key: str) -> bool:
    return any(key in options for options in KIND_OPTIONS.values())


def _with_contract(root: _Table, outputs: tuple[Output, ...]) -> list[Output]:
    """Gives each zod output without `contract` the import path of the one module of its SDK."""
    result = []
    for index, output in enumerate(outputs):
        if output.kind == "zod" and output.contract is None:
            sources = [other.path for other in outputs if other.kind == output.sdk]
            source = sources[0] if len(sources) == 1 else ""
            if not source.endswith(TS_SUFFIX):
                raise root.error(
                    f"outputs[{index}].contract",
                    f"required unless exactly one {output.sdk} output, "
                    f"with a path ending in {TS_SUFFIX}, gives the default",
                )
            output = _replace(output, contract=_import_path(output.path, source))
        result.append(output)
    return result


def _import_path(importer: str, module: str) -> str:
    """How a TypeScript file at `importer` names the module file `module`: ./x or ../x."""
    relative = os.path.relpath(module[: -len(TS_SUFFIX)], os.path.dirname(importer))
    relative = relative.replace(os.sep, "/")
    return relative if relative.startswith("../") else f"./{relative}"


def _replace(output: Output, contract: str) -> Output:
    import dataclasses

    return dataclasses.replace(output, contract=contract)


def _refuse_one_file_twice(root: _Table, config: Config) -> None:
    """Two outputs, an output and the bundle, or the ignore file and any file the run reads or
    writes would overwrite each other: by any name, a link or a linked folder included. Nor can
    a file be written inside another one, as if it were a folder."""

    def file(path: str) -> str:
        return os.path.normcase(os.path.realpath(path))

    def owner(key: str) -> str:
        return config.name if key == PROJECT_FILE else _dotted(config.table, key)

    def claim(key: str, path: str) -> None:
        other = seen.setdefault(file(path), key)
        if other == key:  # a hard link is the same file by a name that realpath keeps
            try:
                status = os.stat(path)
                other = links.setdefault((status.st_dev, status.st_ino), key)
            except (OSError, ValueError):
                pass  # no such file yet
        if other != key:
            raise root.error(key, f"the same file as {owner(other)}")

    seen: dict[str, str] = {}
    links: dict[tuple[int, int], str] = {}
    claim(PROJECT_FILE, config.file)
    claim("bundle", config.bundle)
    if config.compat is not None and config.compat.ignore is not None:
        claim("compat.ignore", config.compat.ignore)
    keys = [f"outputs[{index}].path" for index in range(len(config.outputs))]
    for key, output in zip(keys, config.outputs, strict=True):
        claim(key, output.path)
    # Every file written or read, the bundle and the ignore file as much as the outputs; the
    # project file exists, so its folders are folders.
    for path, key in list(seen.items()):
        if key == PROJECT_FILE:
            continue
        folder = os.path.dirname(path)
        while os.path.dirname(folder) != folder:
            other = seen.get(folder)
            if other is not None:
                raise root.error(key, f"inside {owner(other)}, which is a file")
            folder = os.path.dirname(folder)


def _compat(table: _Table, folder: str) -> Compat:
    from . import _ext
    from .findings import FailOn

    table.allow(COMPAT_KEYS)
    return Compat(
        baseline=_required(table, "baseline", table.string("baseline")),
        # One of _ext.MODES, which Mode names; typing.cast would load typing at run time.
        mode=table.choice("mode", _ext.MODES) or _ext.MODES[0],  # type: ignore[arg-type]
        fail_on=FailOn(table.choice("fail_on", tuple(m.value for m in FailOn)) or FailOn.BREAKING),
        ignore=table.path("ignore", folder),
    )


# the baseline ----------------------------------------------------------------------------------


def resolve_baseline(config: Config, run: Runner | None = None) -> str:
    """The git revision of `compat.baseline`: as written, or for "last-tag" the newest tag
    reachable from HEAD in the config's folder. `run(args, folder)` runs git (tests fake it)."""
    if config.compat is None:
        raise config.error("compat", REQUIRED)
    baseline = config.compat.baseline
    if baseline != LAST_TAG:
        return baseline
    command = ["git", "describe", "--tags", "--abbrev=0"]
    try:
        done = (run or _run_git)(command, config.folder)
    except FileNotFoundError:
        error = f"{LAST_TAG} needs git, which is not installed"
        raise config.error("compat.baseline", error) from None
    except OSError as exc:
        raise config.error("compat.baseline", f"cannot run git: {exc.strerror or exc}") from None
    tag = done.stdout.strip()
    if done.returncode != 0 or not tag:
        lines = done.stderr.strip().splitlines() or ["git describe failed"]
        raise config.error(
            "compat.baseline", f"{LAST_TAG}: {lines[0].removeprefix('fatal: ').strip()}"
        )
    return tag


def _run_git(command: Sequence[str], folder: str) -> subprocess.CompletedProcess[str]:
    import subprocess

    return subprocess.run(
        command,
        cwd=folder,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        encoding="utf-8",
        errors="replace",
        check=False,
    )


# values ----------------------------------------------------------------------------------------


class _Table:
    """A TOML table being read, with the file and dotted key its errors name. A plain class: a
    dataclass costs a millisecond of start-up to create."""

    __slots__ = ("data", "key", "name")

    def __init__(self, name: str, key: str, data: dict[str, object]) -> None:
        self.name, self.key, self.data = name, key, data

    def error(self, key: str, text: str) -> ConfigError:
        return ConfigError(f"{self.name}: {_dotted(self.key, key)}: {text}")

    def allow(self, keys: Sequence[str]) -> None:
        for key in self.data:
            if key not in keys:
                raise self.error(_quoted(key), f"unknown key; expected one of {', '.join(keys)}")

    def _typed(self, key: str, kind: type, what: str) -> object:
        value = self.data.get(key)
        # TOML values are exactly these types; `is` keeps a boolean from passing as an integer.
        if value is not None and type(value) is not kind:
            raise self.error(key, f"expected {what}, got {_toml_type(value)}")
        return value

    def string(self, key: str) -> str | None:
        value = self._typed(key, str, "a string")
        if value == "":
            raise self.error(key, "expected a non-empty string")
        return value if isinstance(value, str) else None

    def boolean(self, key: str) -> bool:
        return self._typed(key, bool, "a boolean") is True

    def strings(self, key: str) -> tuple[str, ...]:
        value = self._typed(key, list, "an array of strings")
        items = value if isinstance(value, list) else []
        for index, item in enumerate(items):
            if not isinstance(item, str) or not item:
                what = _toml_type(item) if not isinstance(item, str) else "an empty string"
                raise self.error(f"{key}[{index}]", f"expected a non-empty string, got {what}")
        return tuple(items)

    def choice(self, key: str, choices: tuple[str, ...]) -> str | None:
        value = self.data.get(key)
        if value is not None and value not in choices:
            got = repr(value) if isinstance(value, str) else _toml_type(value)
            raise self.error(key, f"expected one of {', '.join(choices)}, got {got}")
        return value if isinstance(value, str) else None

    def path(self, key: str, folder: str, file: bool = False) -> str | None:
        """A path from `folder`; with `file`, one that names a file, not a folder."""
        value = self.string(key)
        if value is None:
            return None
        if "\0" in value:
            raise self.error(key, "a path cannot hold a NUL character")
        if file and value.endswith(("/", os.sep)):
            raise self.error(key, "names a folder; give a file name")
        return os.path.normpath(os.path.join(folder, value))

    def table(self, key: str) -> _Table | None:
        value = self.data.get(key)
        here = _dotted(self.key, key)
        return None if value is None else _Table(self.name, here, _as_table(self.name, here, value))

    def tables(self, key: str) -> list[_Table]:
        value = self._typed(key, list, "an array of tables")
        items = value if isinstance(value, list) else []
        here = _dotted(self.key, key)
        return [
            _Table(self.name, f"{here}[{i}]", _as_table(self.name, f"{here}[{i}]", item))
            for i, item in enumerate(items)
        ]


def _as_table(name: str, key: str, value: object) -> dict[str, object]:
    if not isinstance(value, dict):
        raise ConfigError(f"{name}: {key}: expected a table, got {_toml_type(value)}")
    return value


def _required(table: _Table, key: str, value: _T | None) -> _T:
    if value is None:
        raise table.error(key, REQUIRED)
    return value


def _dotted(table: str, key: str) -> str:
    return f"{table}.{key}" if table else key


def _quoted(key: str) -> str:
    """A key as TOML writes it: bare when it can be, else quoted with escapes, on one line."""
    if key and all(c.isascii() and (c.isalnum() or c in "-_") for c in key):
        return key
    import json

    return json.dumps(key)


def _toml_type(value: object) -> str:
    for kind, name in TOML_TYPES:
        if isinstance(value, kind):
            return name
    return "a date or time"
