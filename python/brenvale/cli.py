"""The `brenvale` command line: emit, plain, bundle and compat over contract bundles."""

from __future__ import annotations

import argparse
import contextlib
import difflib
import os
import stat
import sys
import tempfile
from collections.abc import Callable, Sequence
from pathlib import Path

from . import __version__, _core, contract
from .findings import Comparison, FailOn, IgnoreRule, judge, parse_ignore
from .formats import RENDERERS

PROG = "brenvale"
STDIN = "-"
STDIN_NAME = "<stdin>"
DIFF_LINES = 60  # --check shows this much of the diff; the rest is counted

EXIT_OK, EXIT_FINDINGS, EXIT_USAGE = 0, 1, 2
EXIT_INTERRUPTED, EXIT_BROKEN_PIPE = 130, 141


class UserError(Exception):
    """A problem with the user's input; shown as one line, exit 2."""


# reading ----------------------------------------------------------------------------------


class Inputs:
    """Reads input files and `-`; standard input can be consumed only once."""

    def __init__(self) -> None:
        self._stdin_taken = False

    def read(self, path: str) -> tuple[str, str]:
        """Returns (display name, text)."""
        if path == STDIN:
            return STDIN_NAME, self._read_stdin()
        try:
            data = Path(path).read_bytes()
        except OSError as exc:
            raise UserError(f"{path}: {exc.strerror or exc}") from None
        return path, _decode(path, data)

    def _read_stdin(self) -> str:
        if self._stdin_taken:
            raise UserError(f"{STDIN_NAME}: standard input can be read only once")
        self._stdin_taken = True
        return _decode(STDIN_NAME, sys.stdin.buffer.read())


def _decode(name: str, data: bytes) -> str:
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as exc:
        raise UserError(f"{name}: not UTF-8 text ({exc.reason} at byte {exc.start})") from None


def _existing(path: Path) -> bytes | None:
    """Current bytes of an output file, None when there is no such file."""
    try:
        return path.read_bytes()
    except (FileNotFoundError, NotADirectoryError):
        return None
    except OSError as exc:
        raise UserError(f"{path}: {exc.strerror or exc}") from None


# writing ----------------------------------------------------------------------------------


def _new_file_mode(target: Path) -> int:
    """Keep an existing file's mode; new files get what open() would give them."""
    try:
        return stat.S_IMODE(target.stat().st_mode)
    except OSError:
        mask = os.umask(0)
        os.umask(mask)
        return 0o666 & ~mask


def write_atomic(path: Path, data: bytes) -> bool:
    """Replaces `path` with `data` via a temporary sibling; False (untouched) when equal."""
    target = Path(os.path.realpath(path))
    if _existing(target) == data:
        return False
    target.parent.mkdir(parents=True, exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.", suffix=".tmp")
    try:
        with os.fdopen(fd, "wb") as handle:
            handle.write(data)
            handle.flush()
            os.fsync(handle.fileno())
        os.chmod(tmp, _new_file_mode(target))
        os.replace(tmp, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(tmp)
        raise
    return True


def write_stdout(text: str) -> None:
    """Writes UTF-8 whatever the locale says; falls back to text streams without a buffer."""
    buffer = getattr(sys.stdout, "buffer", None)
    if buffer is None:
        sys.stdout.write(text)
        return
    sys.stdout.flush()
    buffer.write(text.encode("utf-8"))
    buffer.flush()


def stale_diff(out: str, current: bytes | None, text: str) -> str:
    """A unified diff from the file on disk to the generated text, cut to DIFF_LINES."""
    old = current.decode("utf-8", "replace").splitlines(keepends=True) if current else []
    lines = list(
        difflib.unified_diff(
            old,
            text.splitlines(keepends=True),
            fromfile=out if current is not None else "/dev/null",
            tofile=f"{out} (generated)",
        )
    )
    shown = [line if line.endswith("\n") else line + "\n" for line in lines[:DIFF_LINES]]
    if len(lines) > DIFF_LINES:
        shown.append(f"... {len(lines) - DIFF_LINES} more diff lines\n")
    return "".join(shown)


def check_output(out: str, text: str) -> int:
    """--check: 0 when `out` holds exactly `text`, else 1 and a short diff."""
    current = _existing(Path(out))
    if current == text.encode("utf-8"):
        return EXIT_OK
    write_stdout(stale_diff(out, current, text))
    state = "missing" if current is None else "stale"
    print(f"{PROG}: {out} is {state}; run without --check to update it", file=sys.stderr)
    return EXIT_FINDINGS


def deliver(args: argparse.Namespace, text: str) -> int:
    """Sends generated text to stdout, to -o OUT, or checks OUT against it."""
    out = args.output
    if args.check:
        return check_output(out, text)
    if out is None or out == STDIN:
        write_stdout(text)
        return EXIT_OK
    try:
        write_atomic(Path(out), text.encode("utf-8"))
    except OSError as exc:
        raise UserError(f"{out}: {exc.strerror or exc}") from None
    return EXIT_OK


# sources ----------------------------------------------------------------------------------


def load_models(models_ref: str) -> str:
    """Bundle JSON from Pydantic models (Pydantic itself is imported only here)."""
    try:
        return contract.bundle_from_spec(models_ref)
    except contract.ModelsError as exc:
        raise UserError(f"{models_ref}: {exc}") from None


def read_bundle(args: argparse.Namespace) -> tuple[str, str]:
    """(name, bundle JSON) from BUNDLE or --models, exactly one of which is given."""
    if (args.bundle is None) == (args.models is None):
        args.parser.error("give exactly one of BUNDLE or --models MODELS")
    if args.models is not None:
        return args.models, load_models(args.models)
    return Inputs().read(args.bundle)


def convert(name: str, make: Callable[[], str]) -> str:
    """Runs a core call, naming the input in its ValueError."""
    try:
        return make()
    except ValueError as exc:
        raise UserError(f"{name}: {exc}") from None


# commands ---------------------------------------------------------------------------------


def run_emit(args: argparse.Namespace) -> int:
    if bool(args.shared) != (args.shared_path is not None):
        args.parser.error("--shared-path and --shared go together")
    name, bundle = read_bundle(args)
    if args.shared:
        text = convert(name, lambda: _core.emit_shared(bundle, args.shared_path, args.shared))
    else:
        text = convert(name, lambda: _core.emit(bundle))
    return deliver(args, text)


def run_plain(args: argparse.Namespace) -> int:
    name, bundle = read_bundle(args)
    return deliver(args, convert(name, lambda: _core.emit_plain(bundle)))


def run_bundle(args: argparse.Namespace) -> int:
    text = load_models(args.models)
    return deliver(args, text if text.endswith("\n") else text + "\n")


def _compat_report(old: tuple[str, str], new: tuple[str, str]) -> str:
    """compat's JSON text; on malformed input, finds which of the two files it was."""
    try:
        return _core.compat(old[1], new[1])
    except ValueError as exc:
        error = exc
    for name, text in (old, new):
        try:
            _core.compat(text, "{}")
        except ValueError as exc:
            raise UserError(f"{name}: {exc}") from None
    raise UserError(f"{old[0]}, {new[0]}: {error}")


def _read_ignore(paths: Sequence[str], inputs: Inputs) -> list[IgnoreRule]:
    return [rule for path in paths for rule in parse_ignore(inputs.read(path)[1])]


def run_compat(args: argparse.Namespace) -> int:
    if len(args.bundles) < 2:
        args.parser.error("give at least one OLD bundle and the NEW bundle")
    inputs = Inputs()
    *olds, new = [inputs.read(path) for path in args.bundles]
    rules = _read_ignore(args.ignore, inputs)
    fail_on = FailOn(args.fail_on)
    comparisons: list[Comparison] = [
        judge(old[0], new[0], _compat_report(old, new), rules, fail_on) for old in olds
    ]
    write_stdout(RENDERERS[args.format](comparisons))
    return EXIT_FINDINGS if any(c.failed for c in comparisons) else EXIT_OK


# parser -----------------------------------------------------------------------------------

DESCRIPTION = (
    "TypeScript for the Firebase JS SDK from Pydantic document contracts, and contract checks."
)
EPILOG = (
    "exit codes: 0 success; 1 compat findings meet --fail-on, or --check found stale output; "
    "2 usage error, unreadable file, malformed JSON or models that do not load; "
    "130 interrupted; 141 standard output closed early"
)
# argparse cannot say "one or more OLD, then NEW" by itself.
COMPAT_USAGE = (
    "%(prog)s [-h] [--format {text,json,markdown,github,junit}]\n"
    "                       [--fail-on {breaking,any,never}] [--ignore FILE] OLD [OLD ...] NEW"
)


def _add_source(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "bundle", nargs="?", metavar="BUNDLE", help="contract bundle JSON file, or - for stdin"
    )
    sub.add_argument(
        "--models",
        metavar="MODELS",
        help="Pydantic models instead of BUNDLE: pkg.module or pkg.module:User,Post",
    )


def _add_output(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "-o", "--output", metavar="OUT", help="write here (atomically) instead of stdout"
    )
    sub.add_argument(
        "--check",
        action="store_true",
        help="write nothing; exit 1 with a diff when OUT is not exactly what would be written",
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
        help="imply --check for the command (for hooks)",
    )
    subs = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    emit = _subparser(subs, "emit", run_emit, "Write the Firestore TypeScript module for a bundle.")
    _add_source(emit)
    _add_output(emit)
    emit.add_argument(
        "--shared-path", metavar="MODULE", help="import shared definitions from this TS module"
    )
    emit.add_argument(
        "--shared",
        metavar="NAME",
        nargs="+",
        action="extend",
        default=[],
        help="definitions to import, not define",
    )

    plain = _subparser(subs, "plain", run_plain, "Write plain DTO interfaces for a bundle.")
    _add_source(plain)
    _add_output(plain)

    bundle = _subparser(subs, "bundle", run_bundle, "Write the contract bundle of Pydantic models.")
    bundle.add_argument(
        "--models", metavar="MODELS", required=True, help="pkg.module or pkg.module:User,Post"
    )
    _add_output(bundle)

    compat = _subparser(
        subs, "compat", run_compat, "Compare contract versions: each OLD against NEW.", COMPAT_USAGE
    )
    compat.add_argument(
        "bundles", nargs="+", metavar="OLD ... NEW", help="bundle files, or - for stdin"
    )
    compat.add_argument(
        "--format", choices=list(RENDERERS), default="text", help="output format (default text)"
    )
    compat.add_argument(
        "--fail-on",
        choices=[f.value for f in FailOn],
        default=FailOn.BREAKING.value,
        help="findings that fail the run, unless ignored (default breaking)",
    )
    compat.add_argument(
        "--ignore",
        metavar="FILE",
        action="append",
        default=[],
        help="accepted findings, one 'Definition.field: message' pattern a line (* matches anything)",
    )
    return parser


def _parse(argv: Sequence[str] | None) -> argparse.Namespace:
    parser = build_parser()
    args = parser.parse_args(argv)
    if args.check_all:
        if not hasattr(args, "check"):
            args.parser.error("--check applies to emit, plain and bundle")
        args.check = True
    if getattr(args, "check", False) and args.output in (None, STDIN):
        args.parser.error("--check needs -o OUT")
    return args


def _silence_stdout() -> None:
    """After a closed pipe, point stdout at devnull so the exit flush cannot fail again."""
    with contextlib.suppress(OSError, ValueError):
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())


def main(argv: Sequence[str] | None = None) -> int:
    """Entry point of the console script and of `python -m brenvale`."""
    try:
        args = _parse(argv)
        status: int = args.handler(args)
        sys.stdout.flush()
        return status
    except UserError as exc:
        print(f"{PROG}: error: {exc}", file=sys.stderr)
        return EXIT_USAGE
    except KeyboardInterrupt:
        print(f"{PROG}: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except BrokenPipeError:
        _silence_stdout()
        return EXIT_BROKEN_PIPE


if __name__ == "__main__":
    sys.exit(main())
