"""Reads the command line's input files, `-` and git's `REV:PATH`."""

from __future__ import annotations

import os
import stat
import sys

TYPE_CHECKING = False
if TYPE_CHECKING:
    from typing import BinaryIO

STDIN = "-"
STDIN_NAME = "<stdin>"


class InputError(Exception):
    """Unreadable or unusable input; the message is one line without the program name."""


def _decode(name: str, data: bytes) -> str:
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as exc:
        raise InputError(f"{name}: not UTF-8 text ({exc.reason} at byte {exc.start})") from None


# A pipe is read a chunk at a time, so a stop signal is seen between chunks of one that never
# ends (`yes | brenvale emit -`).
CHUNK = 1 << 20


def _read_all(handle: BinaryIO) -> bytes:
    """Everything `handle` gives: a regular file in one read of its size, without a second copy
    of a large bundle; anything else a chunk at a time."""
    if stat.S_ISREG(os.fstat(handle.fileno()).st_mode):
        return handle.read()
    chunks = []
    # One system read each, nothing read ahead yet: a terminal ends at the first Ctrl-D.
    while chunk := os.read(handle.fileno(), CHUNK):
        chunks.append(chunk)
    return b"".join(chunks)


class Inputs:
    """Reads input files and `-` (standard input can be consumed only once)."""

    def __init__(self) -> None:
        self._stdin_taken = False

    def read(self, path: str) -> tuple[str, str]:
        """Returns (display name, text)."""
        if path == STDIN:
            if self._stdin_taken:
                raise InputError(f"{STDIN_NAME}: standard input can be read only once")
            self._stdin_taken = True
            if sys.stdin is None:  # started with descriptor 0 closed
                raise InputError(f"{STDIN_NAME}: standard input is closed")
            try:
                data = _read_all(sys.stdin.buffer)
            except OSError as exc:
                raise InputError(f"{STDIN_NAME}: {exc.strerror or exc}") from None
            return STDIN_NAME, _decode(STDIN_NAME, data)
        try:
            with open(path, "rb") as handle:
                # /dev/zero or a disk would be read without end; a terminal or a pipe ends.
                mode = os.fstat(handle.fileno()).st_mode
                if (stat.S_ISCHR(mode) or stat.S_ISBLK(mode)) and not handle.isatty():
                    raise InputError(f"{path}: a device, not a file or a pipe")
                data = _read_all(handle)
        except OSError as exc:
            raise InputError(f"{path}: {exc.strerror or exc}") from None
        return path, _decode(path, data)

    def read_bundle(self, path: str, history: bool = False) -> tuple[str, str]:
        """(display name, bundle text). With `history`, a `REV:PATH` that names no existing file
        is read from git. The native module reads the text and says when it is no bundle."""
        if history and path != STDIN and ":" in path and not os.path.lexists(path):
            return read_revision(path)
        return self.read(path)


# Reading history runs no command the repository configures: no fsmonitor, no hooks.
GIT = ("git", "-c", "core.fsmonitor=false", "-c", "core.hooksPath=/dev/null")


def _refused_revision(revision_path: str) -> str | None:
    """Why `REV:PATH` cannot name a file of a commit, as the one-line error; None when it can.
    An empty REV (`:PATH`, `:N:PATH`, or `"$TAG:PATH"` with TAG unset) reads git's index, which
    holds whatever is staged: a check against it would pass on a real break."""
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in revision_path):
        return f"{revision_path!r}: control characters in REV:PATH"
    if revision_path.startswith(":"):
        return (
            f"{revision_path}: no revision before the colon; OLD must name a commit "
            "(is the variable that holds the tag empty?)"
        )
    return None


def read_revision(revision_path: str, cwd: str | None = None) -> tuple[str, str]:
    """(display name, text) of `REV:PATH` as git shows it, run in `cwd`."""
    return revision_path, _decode(revision_path, git_show(revision_path, cwd))


def git_show(revision_path: str, cwd: str | None = None) -> bytes:
    """The blob `git show REV:PATH` prints (PATH from the top of the work tree, or `./`
    relative), run in `cwd` (default: the current folder)."""
    import subprocess

    refused = _refused_revision(revision_path)
    if refused is not None:
        raise InputError(refused)
    try:
        run = subprocess.run(
            [*GIT, "show", "--no-textconv", "--end-of-options", revision_path],
            cwd=cwd,
            stdin=subprocess.DEVNULL,
            capture_output=True,
            check=False,
        )
    except FileNotFoundError:
        raise InputError(f"{revision_path}: no such file, and git is not installed") from None
    except OSError as exc:
        raise InputError(f"{revision_path}: cannot run git: {exc.strerror or exc}") from None
    if run.returncode != 0:
        lines = run.stderr.decode("utf-8", "replace").strip().splitlines() or ["git show failed"]
        reason = lines[0].removeprefix("fatal: ")
        raise InputError(f"{revision_path}: {reason}")
    if run.stdout.startswith(f"tree {revision_path}\n\n".encode()):  # how git show lists a folder
        raise InputError(f"{revision_path}: a folder in that revision, not a file")
    return run.stdout
