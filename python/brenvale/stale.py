"""The short diff that --check prints: only the first region that differs, in linear time."""

from __future__ import annotations

import re

DIFF_LINES = 60  # lines of diff shown at most
WINDOW = 200  # lines of each side handed to difflib, so its quadratic cost stays bounded
CONTEXT = 3
_HUNK = re.compile(r"@@ -(\d+)(,\d+)? \+(\d+)(,\d+)? @@")


def _common_prefix(old: list[str], new: list[str]) -> int:
    limit = min(len(old), len(new))
    i = 0
    while i < limit and old[i] == new[i]:
        i += 1
    return i


def _shift(header: str, by: int) -> str:
    """Moves a window-relative hunk header to file line numbers."""

    def shifted(match: re.Match[str]) -> str:
        old, old_len, new, new_len = match.groups()
        return f"@@ -{int(old) + by}{old_len or ''} +{int(new) + by}{new_len or ''} @@"

    return _HUNK.sub(shifted, header, count=1)


def stale_diff(out: str, current: bytes | None, text: str) -> str:
    """A unified diff of the first differing region from the file on disk to `text`."""
    import difflib

    from .output import printable

    old = current.decode("utf-8", "replace").splitlines(keepends=True) if current else []
    new = text.splitlines(keepends=True)
    start = max(_common_prefix(old, new) - CONTEXT, 0)
    old_window, new_window = old[start : start + WINDOW], new[start : start + WINDOW]
    lines = list(
        difflib.unified_diff(
            old_window,
            new_window,
            fromfile=out if current is not None else "/dev/null",
            tofile=f"{out} (generated)",
            n=CONTEXT,
        )
    )
    hunks = [i for i, line in enumerate(lines) if line.startswith("@@")]
    first = lines[: hunks[1]] if len(hunks) > 1 else lines
    first = [_shift(line, start) if line.startswith("@@") else line for line in first]
    # A module holds whatever bytes its bundle's texts do: shown on a terminal, an escape sequence
    # could clear the screen or rewrite what came before, so each line is shown escaped.
    shown = [printable(line.removesuffix("\n"), keep="\t") + "\n" for line in first[:DIFF_LINES]]
    if len(first) > DIFF_LINES or len(hunks) > 1 or start + WINDOW < max(len(old), len(new)):
        shown.append("... only the first difference is shown\n")
    return "".join(shown)
