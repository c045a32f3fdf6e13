"""`--accept`: appends the findings that fail a run to the ignore file, one line each with the
reason placeholder, so that the run passes and the review sees what was accepted."""

from __future__ import annotations

import os

from .cli import say
from .output import OutputError, replace_file

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Sequence

    from .findings import Comparison


def accept_failing(path: str, comparisons: Sequence[Comparison]) -> None:
    """Appends a line per failing finding; names on stderr those no line can name exactly,
    which keep failing."""
    from .findings import accept_lines
    from .formats import visible

    failing = [item.finding for c in comparisons for item in c.judged if item.fails]
    lines, unwritable = accept_lines(failing)
    name = os.path.relpath(path)
    for finding in unwritable:
        say(
            f"{name}: cannot accept {visible(finding.location)}: "
            f"{visible(finding.message)} (no ignore line names it exactly)"
        )
    if not lines:
        return
    try:
        with open(path, "rb") as handle:
            old = handle.read()
    except FileNotFoundError:
        old = b""
    except OSError as exc:
        raise OutputError(f"{name}: {exc.strerror or exc}") from None
    joint = b"" if not old or old.endswith(b"\n") else b"\n"
    replace_file(path, old + joint + "".join(f"{line}\n" for line in lines).encode("utf-8"))
    say(
        f"{name}: accepted {len(lines)} finding{'s' if len(lines) != 1 else ''}; "
        "replace each TODO with the reason"
    )
