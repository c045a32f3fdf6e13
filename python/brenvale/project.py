"""`generate` and `check`: every file the project file declares, written or verified in one
process from one source bundle, and the bundle compared with its baseline revision.

All the text is made before the first file is written or the first line printed, so bad input
changes nothing and prints only its error."""

from __future__ import annotations

import os

from . import _ext
from .cli import (
    EXIT_BROKEN_PIPE,
    EXIT_FINDINGS,
    EXIT_OK,
    PROG,
    UserError,
    compat_report,
    load_models,
    say,
    warn_rules,
)
from .config import KIND_OPTIONS, REPOSITORY_MARK, ConfigError, load_config, resolve_baseline
from .inputs import STDIN, Inputs, read_revision
from .output import (
    OutputError,
    StdoutClosed,
    imported_files,
    printable,
    read_same_size,
    refuse_inputs,
    refuse_unappendable,
    replace_file,
    target_kind,
    write_stdout,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    import argparse
    from typing import Any, Literal

    Kind = Literal["firestore", "plain", "zod"]

    from .config import Config, Output
    from .findings import Comparison, IgnoreRule

# The request each output kind makes of the native module: its kind and fixed options. The
# options the project file gives the kind (config.KIND_OPTIONS) follow, under _ext's names.
REQUESTS: dict[str, tuple[Kind, dict[str, Any]]] = {
    "web": ("firestore", {"sdk": "web"}),
    "admin": ("firestore", {"sdk": "admin"}),
    "shared": ("firestore", {"sdk": "web"}),
    "zod": ("zod", {}),
    "plain": ("plain", {}),
}
EXT_NAMES = {"contract": "contract_path"}  # project-file keys that _ext.emit names otherwise
CURRENT, STALE, MISSING = "current", "stale", "missing"


class Target:
    """A file the project declares, with the text it must hold. A plain class: a dataclass
    costs a millisecond of start-up to create."""

    __slots__ = ("path", "text")

    def __init__(self, path: str, text: str) -> None:
        self.path, self.text = path, text

    @property
    def name(self) -> str:
        return shown(self.path)

    @property
    def data(self) -> bytes:
        return self.text.encode("utf-8")


def shown(path: str) -> str:
    """A path as messages give it, and as it is read: relative to the current folder. A file
    named `-` is ./-, which nothing reads as standard input."""
    relative = os.path.relpath(path)
    return os.path.join(os.curdir, relative) if relative == STDIN else relative


def read_project() -> Config:
    try:
        return load_config()
    except ConfigError as exc:
        raise UserError(str(exc)) from None


# making the files --------------------------------------------------------------------------


def source(config: Config) -> tuple[str, str]:
    """(name, bundle text): the models' bundle when the project names models, else the file."""
    if config.models is not None:
        text = load_models(config.models, config.folder)
        return config.models, text if text.endswith("\n") else text + "\n"
    return Inputs().read(shown(config.bundle))


def request(output: Output) -> dict[str, Any]:
    """The _ext.emit options that write `output`."""
    kind, fixed = REQUESTS[output.kind]
    options = {EXT_NAMES.get(key, key): getattr(output, key) for key in KIND_OPTIONS[output.kind]}
    return {"kind": kind, **fixed, **options}


def targets(config: Config, source_name: str, bundle: str) -> list[Target]:
    """The bundle, when it is made from models, then every output, in the file's order; the
    bundle is read once for all of them."""
    made = [Target(config.bundle, bundle)] if config.models is not None else []
    try:
        modules = _ext.emit_each(bundle, [request(output) for output in config.outputs])
    except _ext.BundleError as exc:
        raise UserError(f"{source_name}: {exc}") from None
    except ValueError as exc:
        raise UserError(f"{shown(config.file)}: {exc}") from None
    return made + [
        Target(out.path, text) for out, text in zip(config.outputs, modules, strict=True)
    ]


def state(target: Target) -> str:
    data = target.data
    if read_same_size(target.path, len(data)) == data:
        return CURRENT
    return STALE if os.path.lexists(target.path) else MISSING


# generate -----------------------------------------------------------------------------------


def project_inputs(config: Config) -> list[str]:
    """The files a run reads, which no target may be, by any name: the project file, the
    bundle when it is not made here, the ignore file and every imported module (the models)."""
    inputs = [config.file, *imported_files()]
    if config.models is None:
        inputs.append(config.bundle)
    if config.compat is not None and config.compat.ignore is not None:
        inputs.append(config.compat.ignore)
    return inputs


def regular_targets(config: Config, files: list[Target], verb: str) -> None:
    """Refuses a target that is no regular file (a FIFO would block a read or a write) or that
    is an input."""
    for target in files:
        if target_kind(target.name) != "file":
            raise OutputError(f"{target.name}: not a regular file; {verb} files only")
    refuse_inputs([target.name for target in files], project_inputs(config))


def generate(config: Config) -> int:
    """Writes every target that changed, each atomically; prints a line per file written and
    a count of the unchanged ones. A reader of that list that goes away stops the list, not
    the files: each is still written, and the run exits as a closed pipe does."""
    files = targets(config, *source(config))
    regular_targets(config, files, "generate replaces")
    unchanged = 0
    listing = True
    for target in files:
        if replace_file(target.name, target.data):
            listing = listing and _list(f"wrote {printable(target.name)}\n")
        else:
            unchanged += 1
    if unchanged:
        listing = listing and _list(f"{unchanged} unchanged\n")
    return EXIT_OK if listing else EXIT_BROKEN_PIPE


def _list(line: str) -> bool:
    """Prints one line of generate's list; False once standard output is gone."""
    try:
        write_stdout(line)
    except StdoutClosed:
        return False
    return True


# check --------------------------------------------------------------------------------------


def check(config: Config, accept: bool = False) -> int:
    """One report: the files that are not current, then the findings against the baseline.
    With `accept`, the findings that fail are first appended to the ignore file."""
    from .formats import render_text

    name, bundle = source(config)
    files = targets(config, name, bundle)
    regular_targets(config, files, "check compares")
    states = [(target, state(target)) for target in files]
    comparison = compare(config, (shown(config.bundle), bundle), accept)
    lines = [f"{what}: {printable(target.name)}" for target, what in states if what != CURRENT]
    if len(lines) < len(files):
        lines.append(f"{CURRENT}: {len(files) - len(lines)} of {len(files)} files")
    if comparison is not None:
        lines.append(f"compat {comparison.old_name} -> {comparison.new_name}")
    findings = render_text([comparison]) if comparison else ""
    write_stdout("".join(f"{line}\n" for line in lines) + findings)
    stale = len(files) - sum(what == CURRENT for _, what in states)
    if stale:
        say(f"{stale} of {len(files)} files out of date; run {PROG} generate")
    failed = comparison is not None and comparison.failed
    return EXIT_FINDINGS if stale or failed else EXIT_OK


def baseline_path(config: Config) -> str:
    """`REV:PATH` of the bundle at the baseline, PATH from the top of the repository."""
    revision = resolve_baseline(config)
    # git knows a link by the link's own text: the bundle's history is that of the file it
    # names, through a linked folder as well.
    bundle = os.path.realpath(config.bundle)
    top = folder = os.path.realpath(config.folder)
    while not os.path.exists(os.path.join(top, REPOSITORY_MARK)):
        parent = os.path.dirname(top)
        if parent == top:  # no repository: git says so when it runs
            return f"{revision}:./{os.path.relpath(bundle, folder)}"
        top = parent
    return f"{revision}:{os.path.relpath(bundle, top).replace(os.sep, '/')}"


def compare(config: Config, new: tuple[str, str], accept: bool) -> Comparison | None:
    """The bundle judged against the baseline, with the ignore file's rules (read after
    accepting into it); None when the project has no compat table."""
    from .findings import judge

    if config.compat is None:
        if accept:
            raise config.error("compat", "required for --accept")
        return None
    compat = config.compat
    if accept and compat.ignore is None:
        raise config.error("compat.ignore", "required for --accept")
    if accept and compat.ignore is not None:
        # Accepting appends lines to the ignore file: never to a file the run reads.
        refuse_unappendable(shown(compat.ignore))
        refuse_inputs([shown(compat.ignore)], [config.file, config.bundle, *imported_files()])
    old = read_revision(baseline_path(config), config.folder)
    report = compat_report(old, new, compat.mode)
    rules = read_rules(compat.ignore)
    comparison = judge(old[0], new[0], report, [rule for _, rule in rules], compat.fail_on)
    if accept and compat.ignore is not None:
        from .accept import accept_failing

        accept_failing(compat.ignore, [comparison])
        rules = read_rules(compat.ignore)
        comparison = judge(old[0], new[0], report, [rule for _, rule in rules], compat.fail_on)
    warn_rules(rules, [comparison])
    return comparison


def read_rules(path: str | None) -> list[tuple[str, IgnoreRule]]:
    """The ignore file's rules; one not yet written (before the first --accept) has none."""
    from .findings import parse_ignore

    if path is None or not os.path.lexists(path):
        return []
    name, text = Inputs().read(shown(path))
    return [(name, rule) for rule in parse_ignore(text)]


# the commands -------------------------------------------------------------------------------


def run_generate(args: argparse.Namespace) -> int:
    if args.watch:
        from .watch import watch

        return watch()
    return generate(read_project())


def run_check(args: argparse.Namespace) -> int:
    config = read_project()
    try:
        return check(config, accept=args.accept)
    except ConfigError as exc:  # a baseline git cannot resolve
        raise UserError(str(exc)) from None
