"""The `brenvale` command line: emit, plain, zod, bundle and compat over contract bundles, and
generate and check over the project file (project.py)."""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import sys

from . import __version__, _ext
from .inputs import STDIN, InputError, Inputs
from .output import (
    REPLACED,
    OutputError,
    StdoutClosed,
    flush_stdout,
    imported_files,
    printable,
    read_prefix,
    read_same_size,
    refuse_inputs,
    refuse_unappendable,
    replace_file,
    target_kind,
    write_stdout,
    write_stream,
)

TYPE_CHECKING = False  # typing costs start-up time that the command path does without
if TYPE_CHECKING:
    from collections.abc import Callable, Iterator, Sequence

    from .findings import Comparison, IgnoreRule, Mode

PROG = "brenvale"
# Named here so that building the parser loads neither the report formats nor the findings.
FORMATS = ("text", "json", "markdown", "github", "junit")
FAIL_ON = ("breaking", "any", "never")

EXIT_OK, EXIT_FINDINGS, EXIT_USAGE = 0, 1, 2
EXIT_BROKEN_PIPE = 141
DIFF_READ_SLACK = 1 << 16  # bytes of the old file read past the new text's size for --check's diff
SIGNAL_BASE = 128  # a run stopped by signal N exits 128 + N
STOP_SIGNALS = ("SIGTERM", "SIGHUP")  # SIGINT arrives as KeyboardInterrupt


class UserError(Exception):
    """A problem with the user's input; shown as one line, exit 2."""


class Stopped(KeyboardInterrupt):
    """SIGTERM or SIGHUP; unwinds like Ctrl-C, so temporary files are removed on the way out."""

    def __init__(self, signum: int) -> None:
        super().__init__(signum)
        self.signum = signum


# delivering -------------------------------------------------------------------------------


def say(line: str) -> None:
    """One line on standard error, every character that is not printable (controls, line and
    paragraph separators) escaped, so that no name in it can break it or forge another; nothing
    when standard error is closed or cannot be written (a full disk, a reader gone): the exit
    status still tells what happened."""
    if sys.stderr is None:
        return
    try:
        print(f"{PROG}: {printable(line)}", file=sys.stderr, flush=True)
    except OSError:
        _silence_stderr()


def check_output(out: str, text: str) -> int:
    """--check: 0 when `out` holds exactly `text`, else 1 and a short diff."""
    from .stale import stale_diff

    if target_kind(out) != "file":
        raise UserError(f"{out}: --check compares with a regular file only")
    data = text.encode("utf-8")
    if read_same_size(out, len(data)) == data:
        return EXIT_OK
    # Enough of the old file for its first difference; a cut-off last line is not shown.
    limit = len(data) + DIFF_READ_SLACK
    current = read_prefix(out, limit)
    if current is not None and len(current) == limit:
        current = current[: current.rfind(b"\n") + 1]
    # The name in the diff's header, escaped as on standard error: it may hold a line break, or
    # bytes that are no UTF-8.
    write_stdout(stale_diff(printable(out), current, text))
    state = "missing" if current is None else "stale"
    say(f"{out} is {state}; run without --check to update it")
    return EXIT_FINDINGS


def deliver(args: argparse.Namespace, text: str, inputs: Sequence[str] = ()) -> int:
    """Sends generated text to stdout, to -o OUT, or checks OUT against it."""
    out = args.output
    if out is not None and out != STDIN:
        refuse_inputs([out], inputs)
    if args.check:
        return check_output(out, text)
    if out is None or out == STDIN:
        write_stdout(text)
    elif target_kind(out) == "file":
        replace_file(out, text.encode("utf-8"))
    else:
        write_stream(out, text)
    return EXIT_OK


# sources ----------------------------------------------------------------------------------


def load_models(models_ref: str, folder: str | None = None) -> str:
    """Bundle JSON from Pydantic models, imported with `folder` (default: the current one) first
    on the module path; what the models print while loading goes to stderr."""
    from . import contract

    try:
        with _stdout_to_stderr():
            return contract.bundle_from_target(models_ref, folder=folder)
    except contract.ModelsError as exc:
        raise UserError(f"{models_ref}: {exc}") from None


@contextlib.contextmanager
def _stdout_to_stderr() -> Iterator[None]:
    """While models import, whatever they print goes to stderr: print() through sys.stdout, and
    os.write(1, ...), C extensions and child processes through file descriptor 1, which would
    otherwise land in the bundle on standard output."""
    if sys.stdout is not None:  # None: standard output was closed when the run began
        sys.stdout.flush()
    try:
        saved: int | None = os.dup(1)
    except OSError:
        saved = None  # closed: it is closed again after
    os.dup2(2, 1)
    # A file of its own (opened once 1 is taken, which a closed one would be given): models
    # that close their sys.stdout leave brenvale's stderr open.
    stream = os.fdopen(os.dup(2), "w", buffering=1, errors="backslashreplace")
    try:
        with contextlib.redirect_stdout(stream):
            yield
    finally:
        with contextlib.suppress(OSError, ValueError):
            stream.close()
        if saved is None:
            os.close(1)
        else:
            os.dup2(saved, 1)
            os.close(saved)


def read_bundle(args: argparse.Namespace) -> tuple[str, str]:
    """(name, bundle JSON) from BUNDLE or --models, exactly one of which is given."""
    if (args.bundle is None) == (args.models is None):
        args.parser.error("give exactly one of BUNDLE or --models MODELS")
    if args.models is not None:
        return args.models, load_models(args.models)
    return Inputs().read_bundle(args.bundle)


def native(make: Callable[[], str], names: dict[str, str]) -> str:
    """Runs a native call; a bundle that fails is named by the file `names` gives its argument."""
    try:
        return make()
    except _ext.BundleError as exc:
        raise UserError(f"{names[exc.argument]}: {exc}") from None
    except ValueError as exc:
        raise UserError(str(exc)) from None


# commands ---------------------------------------------------------------------------------


def run_module(args: argparse.Namespace) -> int:
    """emit, plain and zod: one request for the module of the command's kind."""
    name, bundle = read_bundle(args)
    options = {key: value for key, value in vars(args).items() if key in MODULE_OPTIONS}
    text = native(lambda: _ext.emit(bundle, args.kind, **options), {"bundle_json": name})
    return deliver(args, text, [args.bundle] if args.bundle is not None else imported_files())


def run_bundle(args: argparse.Namespace) -> int:
    text = load_models(args.models)
    return deliver(args, text if text.endswith("\n") else text + "\n", imported_files())


def compat_report(old: tuple[str, str], new: tuple[str, str], mode: Mode) -> str:
    """The rule set's JSON text; a bundle that fails is named by its file."""
    names = {"old_json": old[0], "new_json": new[0]}
    return native(lambda: _ext.compat(old[1], new[1], mode), names)


def _read_ignore(
    paths: Sequence[str], inputs: Inputs, missing_ok: bool = False
) -> list[tuple[str, IgnoreRule]]:
    """The rules of each file; with `missing_ok`, a file not yet made has none."""
    from .findings import parse_ignore

    kept = [path for path in paths if not (missing_ok and not os.path.lexists(path))]
    named = (inputs.read(path) for path in kept)
    return [(name, rule) for name, text in named for rule in parse_ignore(text)]


def warn_rules(rules: list[tuple[str, IgnoreRule]], comparisons: list[Comparison]) -> None:
    """Names each ignore line that is expired, matches nothing, or gives no reason."""
    from .findings import rule_warnings

    findings = [item.finding for c in comparisons for item in c.judged]
    files = {id(rule): name for name, rule in rules}
    for rule, warning in rule_warnings((rule for _, rule in rules), findings):
        say(f"warning: {files[id(rule)]}:{rule.line}: {warning}")


def run_compat(args: argparse.Namespace) -> int:
    from .findings import FailOn, judge
    from .formats import RENDERERS

    if len(args.bundles) < 2:
        args.parser.error("give at least one OLD bundle and the NEW bundle")
    if args.accept and len(args.ignore) != 1:
        args.parser.error("--accept needs exactly one --ignore FILE to append to")
    if args.accept and args.ignore[0] == STDIN:
        args.parser.error("--accept appends to the --ignore file, and - is standard input")
    inputs = Inputs()
    *old_paths, new_path = args.bundles
    if args.accept:
        refuse_unappendable(args.ignore[0])
        refuse_inputs(args.ignore, args.bundles)
    olds = [inputs.read_bundle(path, history=True) for path in old_paths]
    new = inputs.read_bundle(new_path)
    fail_on = FailOn(args.fail_on)
    reports = [(old[0], compat_report(old, new, args.mode)) for old in olds]

    def judged() -> tuple[list[tuple[str, IgnoreRule]], list[Comparison]]:
        rules = _read_ignore(args.ignore, inputs, missing_ok=args.accept)
        plain = [rule for _, rule in rules]
        return rules, [judge(name, new[0], report, plain, fail_on) for name, report in reports]

    rules, comparisons = judged()
    if args.accept:
        from .accept import accept_failing

        accept_failing(args.ignore[0], comparisons)
        rules, comparisons = judged()
    warn_rules(rules, comparisons)
    write_stdout(RENDERERS[args.format](comparisons))
    return EXIT_FINDINGS if any(c.failed for c in comparisons) else EXIT_OK


def run_generate(args: argparse.Namespace) -> int:
    from .project import run_generate

    return run_generate(args)


def run_check(args: argparse.Namespace) -> int:
    from .project import run_check

    return run_check(args)


# parser -----------------------------------------------------------------------------------

DESCRIPTION = (
    "TypeScript for the Firebase JS SDK from Pydantic document contracts, and contract checks."
)
EPILOG = (
    "exit codes: 0 success; 1 compat findings meet --fail-on, or --check or check found stale "
    "output; "
    "2 usage error, unreadable file, input that is not a bundle, models that do not load, "
    "or output that cannot be written; 128+N stopped by signal N (130 Ctrl-C, 143 SIGTERM, "
    "129 SIGHUP); 141 standard output closed early"
)
# argparse cannot say "one or more OLD, then NEW" by itself.
COMPAT_USAGE = (
    f"%(prog)s [-h] [--mode {{{','.join(_ext.MODES)}}}]\n"
    "                       [--format {text,json,markdown,github,junit}]\n"
    "                       [--fail-on {breaking,any,never}] [--ignore FILE] [--accept]\n"
    "                       OLD [OLD ...] NEW"
)
ACCEPT_HELP = (
    "append each finding that fails the run to the ignore file, with a reason to fill in; "
    "findings no line can name exactly are listed and still fail"
)


# The options of _ext.emit that the module commands take, under the same names.
MODULE_OPTIONS = ("sdk", "jsdoc", "update_paths", "shared_path", "shared_names", "contract_path")


def _path(text: str) -> str:
    """A file argument; an empty one, as an unset shell variable gives, names none."""
    if not text:
        raise argparse.ArgumentTypeError("an empty path names no file")
    return text


def _module(text: str) -> str:
    if not text:
        raise argparse.ArgumentTypeError("an empty module path names no module")
    return text


def _add_source(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "bundle",
        nargs="?",
        type=_path,
        metavar="BUNDLE",
        help="contract bundle JSON file, or - for stdin",
    )
    sub.add_argument(
        "--models",
        metavar="MODELS",
        help="Pydantic models instead of BUNDLE: pkg.module or pkg.module:User,Post",
    )


def _add_output(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "-o",
        "--output",
        type=_path,
        metavar="OUT",
        help="write here instead of stdout (- is stdout); a regular file is replaced atomically, "
        "a device or FIFO is written in place",
    )
    sub.add_argument(
        "--check",
        action="store_true",
        help="write nothing; exit 1 with a diff when OUT is not exactly what would be written",
    )


def _add_jsdoc(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "--jsdoc", action="store_true", help="titles and descriptions as JSDoc comments"
    )


def _add_sdk(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "--sdk",
        choices=_ext.SDKS,
        default=_ext.SDKS[0],
        help="the Firebase SDK to write for: web (firebase/firestore, the default) "
        "or admin (firebase-admin/firestore, for Node)",
    )


def _subparser(
    subs: argparse._SubParsersAction[argparse.ArgumentParser],
    name: str,
    handler: Callable[[argparse.Namespace], int],
    text: str,
    usage: str | None = None,
) -> argparse.ArgumentParser:
    sub: argparse.ArgumentParser = subs.add_parser(
        name, help=text, description=text, epilog=EPILOG, usage=usage
    )
    sub.set_defaults(handler=handler, parser=sub)
    return sub


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description=DESCRIPTION, epilog=EPILOG)
    parser.add_argument("--version", action="version", version=f"{PROG} {__version__}")
    parser.add_argument(
        "--check",
        dest="check_all",
        action="store_true",
        help="imply --check for emit, plain, zod or bundle (for hooks)",
    )
    subs = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    emit = _subparser(
        subs, "emit", run_module, "Write the Firestore TypeScript module for a bundle."
    )
    emit.set_defaults(kind="firestore")
    _add_source(emit)
    _add_output(emit)
    emit.add_argument(
        "--shared-path",
        metavar="MODULE",
        default="",
        help="import shared definitions from this TS module",
    )
    emit.add_argument(
        "--shared",
        dest="shared_names",
        metavar="NAME",
        nargs="+",
        action="extend",
        default=[],
        help="definitions to import, not define",
    )
    emit.add_argument(
        "--update-paths",
        action="store_true",
        help="Update types that also accept dotted field paths into nested models",
    )
    _add_jsdoc(emit)
    _add_sdk(emit)

    plain = _subparser(subs, "plain", run_module, "Write plain DTO interfaces for a bundle.")
    plain.set_defaults(kind="plain")
    _add_source(plain)
    _add_output(plain)
    _add_jsdoc(plain)

    zod = _subparser(
        subs,
        "zod",
        run_module,
        "Write Zod schemas and validating converters for a bundle's documents.",
    )
    zod.set_defaults(kind="zod")
    _add_source(zod)
    _add_output(zod)
    zod.add_argument(
        "--contract",
        dest="contract_path",
        type=_module,
        metavar="MODULE",
        default="./contract",
        help="the module `emit` writes for the bundle, whose types the schemas are checked against "
        "(default ./contract)",
    )
    _add_sdk(zod)

    bundle = _subparser(subs, "bundle", run_bundle, "Write the contract bundle of Pydantic models.")
    bundle.add_argument(
        "--models", metavar="MODELS", required=True, help="pkg.module or pkg.module:User,Post"
    )
    _add_output(bundle)

    compat = _subparser(
        subs, "compat", run_compat, "Compare contract versions: each OLD against NEW.", COMPAT_USAGE
    )
    compat.add_argument(
        "bundles",
        nargs="+",
        type=_path,
        metavar="OLD ... NEW",
        help="bundle files, or - for stdin; an OLD may be REV:PATH, read with git show",
    )
    compat.add_argument(
        "--mode",
        choices=_ext.MODES,
        default=_ext.MODES[0],
        help="directions that are BREAKING: stored documents under the new contract (backward), "
        "new documents under old readers (forward), or both and client code (full, the default)",
    )
    compat.add_argument(
        "--format", choices=FORMATS, default="text", help="output format (default text)"
    )
    compat.add_argument(
        "--fail-on",
        choices=FAIL_ON,
        default=FAIL_ON[0],
        help="findings that fail the run, unless ignored (default breaking)",
    )
    compat.add_argument(
        "--ignore",
        type=_path,
        metavar="FILE",
        action="append",
        default=[],
        help="accepted findings, one 'Definition.field: message' or 'Definition.field: rule-id' "
        "pattern a line (* matches anything)",
    )
    compat.add_argument("--accept", action="store_true", help=ACCEPT_HELP)

    generate = _subparser(
        subs,
        "generate",
        run_generate,
        "Write the bundle and every output the project file declares, each only when it changed.",
    )
    generate.add_argument(
        "--watch",
        action="store_true",
        help="keep running; write again when a models file or the bundle changes "
        "(needs pip install 'brenvale[watch]')",
    )
    check = _subparser(
        subs,
        "check",
        run_check,
        "Check that every file the project file declares is current, and compare the bundle "
        "with its baseline.",
    )
    check.add_argument("--accept", action="store_true", help=ACCEPT_HELP)
    return parser


def _parse(argv: Sequence[str] | None) -> argparse.Namespace:
    parser = build_parser()
    args = parser.parse_args(argv)
    if args.check_all:
        if not hasattr(args, "check"):
            args.parser.error("--check applies to emit, plain, zod and bundle")
        args.check = True
    if getattr(args, "check", False) and args.output in (None, STDIN):
        args.parser.error("--check needs -o OUT")
    return args


def _silence_stdout() -> None:
    """After a closed pipe, point stdout at devnull so the exit flush cannot fail again."""
    if sys.stdout is None:  # closed from the start: nothing flushes it
        return
    with contextlib.suppress(OSError, ValueError):
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())


def _silence_stderr() -> None:
    """After a failed write to standard error, point it at devnull: what it still buffers, and
    any later line, then go nowhere, and neither fails again."""
    with contextlib.suppress(OSError, ValueError, AttributeError):
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stderr.fileno())


@contextlib.contextmanager
def _stop_signals_raise() -> Iterator[None]:
    """While running, SIGTERM and SIGHUP unwind the stack instead of killing the process, as
    Ctrl-C does. Once one has come, the others are ignored: a second Ctrl-C must not cut short
    the removal of temporary files, nor the last message (with a traceback in its place)."""
    numbers = [getattr(signal, name, None) for name in ("SIGINT", *STOP_SIGNALS)]
    previous: dict[int, signal._HANDLER] = {}
    stopping = False

    def stop(signum: int, _frame: object) -> None:
        nonlocal stopping
        if stopping:
            return
        stopping = True
        for number in previous:
            signal.signal(number, signal.SIG_IGN)
        raise KeyboardInterrupt if signum == signal.SIGINT else Stopped(signum)

    for number in numbers:
        if number is not None:
            with contextlib.suppress(ValueError):  # not the main thread
                previous[number] = signal.signal(number, stop)
    try:
        yield
    finally:
        # A stopped run is ending: a signal now would only turn its exit into a traceback.
        if not stopping:
            for number, handler in previous.items():
                signal.signal(number, handler)


def _stopped(how: str) -> None:
    """Says the run stopped, and which files it had replaced first: those are new already."""
    written = f" after writing {', '.join(REPLACED)}" if REPLACED else ""
    say(f"{how}{written}")


def _require_current_folder() -> None:
    """Paths are read and shown from the current folder, which may have been removed."""
    try:
        os.getcwd()
    except FileNotFoundError:
        raise UserError("the current folder no longer exists") from None


def main(argv: Sequence[str] | None = None) -> int:
    """Entry point of the console script and of `python -m brenvale`."""
    # The handlers stay in place while the outcome is reported.
    with _stop_signals_raise():
        try:
            args = _parse(argv)
            _require_current_folder()
            status: int = args.handler(args)
            flush_stdout()
            return status
        except (UserError, InputError, OutputError) as exc:
            say(f"error: {exc}")
            return EXIT_USAGE
        except Stopped as exc:
            _stopped(f"stopped by {signal.Signals(exc.signum).name}")
            return SIGNAL_BASE + exc.signum
        except KeyboardInterrupt:
            _stopped("interrupted")
            return SIGNAL_BASE + signal.SIGINT
        except (StdoutClosed, BrokenPipeError):
            _silence_stdout()
            return EXIT_BROKEN_PIPE


if __name__ == "__main__":
    sys.exit(main())
