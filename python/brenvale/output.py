"""Where generated text goes: standard output, a regular file replaced atomically, or a device."""

from __future__ import annotations

import contextlib
import errno
import os
import stat
import sys
from collections.abc import Iterable, Iterator


class OutputError(Exception):
    """A target that cannot be written; the message is one line without the program name."""


class StdoutClosed(Exception):
    """The reader of standard output went away (a pipe into `head`)."""


# Names of this process's own descriptors: writing to them means writing to that descriptor.
_FD_ALIASES = {"/dev/stdin": 0, "/dev/stdout": 1, "/dev/stderr": 2}
_FD_FOLDERS = ("/dev/fd/", "/proc/self/fd/")
_MAX_FD = 2**31 - 1  # descriptors are C ints
# The longest file name most file systems take, in bytes; a temporary sibling's name must fit.
_NAME_MAX = 255
_TMP_SUFFIX = ".tmp"
_TMP_RANDOM = 8  # the characters mkstemp adds


def _escaped(char: str) -> str:
    code = ord(char)
    return f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"


def printable(text: str, keep: str = "") -> str:
    """`text` with every character that is not printable, but those in `keep`, escaped: a name
    in a line of output can neither break it nor forge another."""
    return "".join(char if char.isprintable() or char in keep else _escaped(char) for char in text)


def _reason(exc: OSError) -> str:
    return exc.strerror or str(exc)


def write_fd(fd: int, data: bytes, name: str) -> None:
    """Writes all of `data` to `fd`; a short or failed write is an error, never silent."""
    view = memoryview(data)
    while view:
        try:
            written = os.write(fd, view)
        except BrokenPipeError:
            raise StdoutClosed from None
        except OSError as exc:
            raise OutputError(f"{name}: {_reason(exc)}") from None
        if written <= 0:
            raise OutputError(f"{name}: short write")
        view = view[written:]


# Every file replace_file has put in place in this process, in order: a run stopped by a signal
# after one of them says so, since that file is no longer the old one.
REPLACED: list[str] = []


def write_stdout(text: str) -> None:
    """UTF-8 text to standard output, checking every write."""
    if sys.stdout is None:  # started with descriptor 1 closed
        raise StdoutClosed
    flush_stdout()
    try:
        fd = sys.stdout.fileno()
    except (AttributeError, OSError, ValueError):  # a stream without a descriptor (tests)
        sys.stdout.write(text)
        return
    write_fd(fd, text.encode("utf-8"), "standard output")


def flush_stdout() -> None:
    """Flushes what print() buffered, with the same errors as write_stdout."""
    if sys.stdout is None:
        return
    try:
        sys.stdout.flush()
    except BrokenPipeError:
        raise StdoutClosed from None
    except OSError as exc:
        raise OutputError(f"standard output: {_reason(exc)}") from None


def fd_alias(path: str) -> int | None:
    """The descriptor that /dev/stdout, /dev/fd/N and the like name, else None."""
    name = os.path.abspath(path)
    if name in _FD_ALIASES:
        return _FD_ALIASES[name]
    folder, _, number = name.rpartition("/")
    # isdigit() alone takes digits of other scripts ("²"), which int() refuses.
    if folder + "/" not in _FD_FOLDERS or not (number.isascii() and number.isdigit()):
        return None
    if int(number) > _MAX_FD:
        raise OutputError(f"{path}: Bad file descriptor")
    return int(number)


def target_kind(path: str) -> str:
    """`file` (missing or regular: replaced atomically) or `stream` (written in place)."""
    if path.endswith(("/", os.sep)):
        raise OutputError(f"{path}: names a folder; give a file name")
    if fd_alias(path) is not None:
        return "stream"
    try:
        mode = os.stat(path).st_mode
    except FileNotFoundError:
        # Its folders are made only when it is written, after the files before it: a name no
        # folder can hold would be found then, with those written and the folders made.
        if any(len(part) > _NAME_MAX for part in os.fsencode(path).split(os.fsencode(os.sep))):
            raise OutputError(f"{path}: {os.strerror(errno.ENAMETOOLONG)}") from None
        return "file"
    except NotADirectoryError:
        raise OutputError(f"{path}: a part of the path is a file, not a folder") from None
    except OSError as exc:
        raise OutputError(f"{path}: {_reason(exc)}") from None
    if stat.S_ISDIR(mode):
        raise OutputError(f"{path}: is a folder")
    return "file" if stat.S_ISREG(mode) else "stream"


def refuse_unappendable(path: str) -> None:
    """--accept reads the ignore file, then replaces it with the lines added: a FIFO or a
    device can be neither read twice nor replaced, and what was read first would be lost."""
    if target_kind(path) != "file":
        raise OutputError(f"{path}: not a regular file; --accept appends to files only")


def _file_identity(path: str) -> tuple[int, int] | None:
    """(device, inode) of a regular file, `-` naming standard input; None for anything else."""
    try:
        status = os.fstat(0) if path == "-" else os.stat(path)
    except (OSError, ValueError):
        return None
    return (status.st_dev, status.st_ino) if stat.S_ISREG(status.st_mode) else None


def refuse_inputs(outputs: Iterable[str], inputs: Iterable[str]) -> None:
    """Writing over an input would lose it before it is read again: an output that is the same
    regular file as an input (`-`: what standard input reads), by any name, is refused."""
    known = {identity for identity in map(_file_identity, inputs) if identity is not None}
    for path in outputs:
        if path != "-" and _file_identity(path) in known:
            raise OutputError(f"{path}: is also an input; write somewhere else")


def imported_files() -> list[str]:
    """The files of every module imported so far: the models' sources among them, which an
    output named by a slip (`-o models.py`) would destroy."""
    files = (getattr(module, "__file__", None) for module in list(sys.modules.values()))
    return [path for path in files if isinstance(path, str)]


def read_same_size(path: str, size: int) -> bytes | None:
    """The file's bytes when it is a regular file of exactly `size` bytes, else None.

    Never reads more than `size` + 1 bytes, so a huge or growing file costs nothing."""
    try:
        with open(path, "rb") as handle:
            if os.fstat(handle.fileno()).st_size != size:
                return None
            return handle.read(size + 1)
    except (FileNotFoundError, NotADirectoryError):
        return None
    except OSError as exc:
        raise OutputError(f"{path}: {_reason(exc)}") from None


def read_prefix(path: str, limit: int) -> bytes | None:
    """At most `limit` bytes of a regular file, None when there is none."""
    try:
        with open(path, "rb") as handle:
            return handle.read(limit)
    except (FileNotFoundError, NotADirectoryError):
        return None
    except OSError as exc:
        raise OutputError(f"{path}: {_reason(exc)}") from None


def _keep_owner_and_mode(tmp: str, target: str) -> None:
    """The replacement keeps an existing file's owner, group and mode; a new file gets the mode
    open() would give it. Only root may give a file away: for anyone else the owner stays theirs
    (and the group, unless it is one of theirs), as with any file they write."""
    try:
        status = os.stat(target)
    except OSError:
        mask = os.umask(0)
        os.umask(mask)
        os.chmod(tmp, 0o666 & ~mask)
        return
    if hasattr(os, "chown"):
        with contextlib.suppress(OSError):
            os.chown(tmp, status.st_uid, status.st_gid)
    # After chown, which clears the set-user-ID and set-group-ID bits.
    os.chmod(tmp, stat.S_IMODE(status.st_mode))


def _tmp_prefix(target: str) -> str:
    """`.NAME.`, NAME cut so that the temporary file's name stays within _NAME_MAX bytes."""
    room = _NAME_MAX - len(".." + _TMP_SUFFIX) - _TMP_RANDOM
    name = os.fsencode(os.path.basename(target))[:room]
    return f".{os.fsdecode(name)}."


def _make_parents(folder: str) -> None:
    try:
        os.makedirs(folder, exist_ok=True)
    except (FileExistsError, NotADirectoryError):
        raise OutputError(f"{folder}: a part of the path is a file, not a folder") from None
    except OSError as exc:
        raise OutputError(f"{folder}: {_reason(exc)}") from None


def replace_file(path: str, data: bytes) -> bool:
    """Replaces the file through a temporary sibling; False (untouched) when it already holds
    `data`.

    The temporary file is removed on any failure, signals included (they raise in the caller)."""
    import tempfile  # only -o needs it; keeps start-up light

    target = os.path.realpath(path)
    if read_same_size(target, len(data)) == data:
        return False
    _make_parents(os.path.dirname(target))
    tmp = None
    try:
        # A stop signal between the file's creation and `tmp` naming it would leave it behind.
        with _signals_held():
            fd, tmp = tempfile.mkstemp(
                dir=os.path.dirname(target), prefix=_tmp_prefix(target), suffix=_TMP_SUFFIX
            )
        with os.fdopen(fd, "wb") as handle:
            handle.write(data)
            handle.flush()
            os.fsync(handle.fileno())
        _keep_owner_and_mode(tmp, target)
        # A stop signal between the two would report the old file kept where it is not.
        with _signals_held():
            os.replace(tmp, target)
            tmp = None
            REPLACED.append(path)
    except OSError as exc:
        raise OutputError(f"{path}: {_reason(exc)}") from None
    finally:
        if tmp is not None:
            with contextlib.suppress(OSError):
                os.unlink(tmp)
    return True


@contextlib.contextmanager
def _signals_held() -> Iterator[None]:
    """Delays SIGINT, SIGTERM and SIGHUP until the block ends (where the platform can)."""
    import signal

    held = {signal.SIGINT, signal.SIGTERM, getattr(signal, "SIGHUP", signal.SIGTERM)}
    block = getattr(signal, "pthread_sigmask", None)
    if block is None:
        yield
        return
    previous = block(signal.SIG_BLOCK, held)
    try:
        yield
    finally:
        block(signal.SIG_SETMASK, previous)


def write_stream(path: str, text: str) -> None:
    """Writes into a device, FIFO or socket as it is; it is never read or replaced.

    Opening a FIFO waits for its reader, as a shell redirection does."""
    alias = fd_alias(path)
    if alias == 1:
        return write_stdout(text)
    data = text.encode("utf-8")
    if alias is not None:
        return write_fd(alias, data, path)
    try:
        fd = os.open(path, os.O_WRONLY)
    except OSError as exc:
        raise OutputError(f"{path}: {_reason(exc)}") from None
    try:
        write_fd(fd, data, path)
    except StdoutClosed:
        raise OutputError(f"{path}: the reader went away") from None
    finally:
        os.close(fd)
