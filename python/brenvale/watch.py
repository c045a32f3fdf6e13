"""`generate --watch`: writes the project's files again whenever the models or the bundle change,
until Ctrl-C. The watcher is the optional `watchfiles` package (`brenvale[watch]`)."""

from __future__ import annotations

import importlib
import os
import signal
import sys
from dataclasses import dataclass

from .cli import EXIT_BROKEN_PIPE, STOP_SIGNALS, Stopped, UserError, say
from .inputs import InputError
from .output import REPLACED, OutputError, StdoutClosed
from .project import generate, read_project, shown

TYPE_CHECKING = False
if TYPE_CHECKING:
    from .config import Config

WATCH_MISSING = "--watch needs the watchfiles package: pip install 'brenvale[watch]'"
# Milliseconds: changes are gathered this long after the first (an editor's save is several
# events), and the watcher looks for Ctrl-C this often; both well inside a second.
DEBOUNCE_MS, STEP_MS = 150, 50


@dataclass(frozen=True)
class Watched:
    """What to watch: folders, whether their subfolders too, and which files there count."""

    folders: tuple[str, ...]
    recursive: bool
    files: frozenset[str]  # empty: every .py file under the folders
    package: str | None  # the models' top-level package, imported afresh each round

    def counts(self, path: str) -> bool:
        return path in self.files if self.files else path.endswith(".py")


def watched(config: Config) -> Watched:
    """The models' package folder (or module file), else the bundle file."""
    if config.models is None:
        bundle = config.bundle
        if not os.path.isdir(os.path.dirname(bundle)):
            raise UserError(f"{shown(os.path.dirname(bundle))}: no such folder to watch")
        return Watched((os.path.dirname(bundle),), False, frozenset({bundle}), None)
    import importlib.util

    top = config.models.partition(":")[0].strip().split(".")[0]
    if config.folder not in sys.path:
        sys.path.insert(0, config.folder)
    found = importlib.util.find_spec(top)  # a top-level name: found, not run
    if found is None:
        raise UserError(f"{config.models}: no module named {top} to watch")
    if found.submodule_search_locations:
        return Watched(tuple(found.submodule_search_locations), True, frozenset(), top)
    origin = found.origin or ""
    return Watched((os.path.dirname(origin),), False, frozenset({origin}), top)


def one_round(package: str | None) -> None:
    """Generates from freshly imported models; an error is printed and the watch goes on."""
    if package is not None:
        for name in [n for n in sys.modules if n == package or n.startswith(f"{package}.")]:
            del sys.modules[name]
        importlib.invalidate_caches()
    REPLACED.clear()  # a stop names only the files of the round it stops
    try:
        status = generate(read_project())
    except (UserError, InputError, OutputError) as exc:
        REPLACED.clear()
        say(f"error: {exc}")
        return
    # Only here, never on the way out of a stopped round: its stop names what it wrote.
    REPLACED.clear()  # a finished round is no stopped one
    if status == EXIT_BROKEN_PIPE:
        raise StdoutClosed  # no one reads the list any more: the watch ends


def watch() -> int:
    try:
        import watchfiles
    except ImportError:
        raise UserError(WATCH_MISSING) from None
    what = watched(read_project())
    # Stale bytecode could shadow an edit made within the second of the last import.
    sys.dont_write_bytecode = True
    names = ", ".join(shown(path) for path in what.files or what.folders)
    say(f"watching {names}; Ctrl-C stops")
    stops = _note_stop_signals()
    first = True
    try:
        # The first round waits for the first timeout, when the watcher is in place: an edit
        # made while it runs is then seen, not lost.
        for changes in watchfiles.watch(
            *what.folders,
            watch_filter=lambda _change, path: what.counts(path),
            debounce=DEBOUNCE_MS,
            step=STEP_MS,
            rust_timeout=STEP_MS,
            yield_on_timeout=True,
            recursive=what.recursive,
        ):
            if changes or first:
                first = False
                one_round(what.package)
    except KeyboardInterrupt as exc:
        # The watcher turns every signal into KeyboardInterrupt; say which one it was.
        if stops and not isinstance(exc, Stopped):
            raise Stopped(stops[-1]) from None
        raise
    return 0


def _note_stop_signals() -> list[int]:
    """SIGTERM and SIGHUP, as received, beside the handlers main() installed."""
    seen: list[int] = []
    for name in STOP_SIGNALS:
        number = getattr(signal, name, None)
        previous = None if number is None else signal.getsignal(number)
        if number is not None and callable(previous):

            def note(signum: int, frame: object, previous: object = previous) -> None:
                seen.append(signum)
                previous(signum, frame)  # type: ignore[operator]

            signal.signal(number, note)
    return seen
