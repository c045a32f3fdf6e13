"""The native calls under repetition and threads: no leaked reference or memory, same results."""

import collections.abc
import gc
import json
import subprocess
import sys
import threading
import tracemalloc
from collections.abc import Iterator
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import brenvale

BUNDLES = Path(__file__).resolve().parents[1] / "typescript" / "bundles"
# Every x-firestore-type, enums, references, nested and optional models.
OLD = (BUNDLES / "blog.json").read_text(encoding="utf-8")
# OLD with one model added.
NEW = json.dumps({"$defs": {**json.loads(OLD)["$defs"], "Added": {"type": "object"}}})
# Parsed to the end before it fails.
MALFORMED = OLD + " x"


class RaisingNames(collections.abc.Sequence[str]):
    """Passes the sequence check; iteration yields one name, then raises."""

    __getitem__ = None  # type: ignore[assignment]
    __len__ = None  # type: ignore[assignment]

    def __iter__(self) -> Iterator[str]:
        yield "Address"
        raise RuntimeError("boom")


# An object whose type name is this long would make a leaked message large.
NAMED = type("N" * 4096, (), {})()
SHARED = ["Address", "Missing"]
SURROGATE = ["\ud800"]
RAISING = RaisingNames()
WATCHED = [OLD, NEW, MALFORMED, NAMED, SHARED, *SHARED, SURROGATE, RAISING]

# Each kind of outcome once: results, and every error path of the binding.
CASES = {
    "emit_shared": lambda: brenvale.emit_shared(OLD, "./s", SHARED),
    "compat_keywords": lambda: brenvale.compat(old_json=OLD, new_json=NEW),
    "value_error": lambda: brenvale.emit_plain(MALFORMED),
    "type_error": lambda: brenvale.emit(NAMED),
    "unicode_error": lambda: brenvale.emit_shared(OLD, "./s", SURROGATE),
    "iterator_raises": lambda: brenvale.emit_shared(OLD, "./s", RAISING),
}


def call(name: str, times: int = 1) -> str:
    """The result of the last of `times` calls of CASES[name], or the error it raised."""
    for _ in range(times):
        try:
            result = CASES[name]()
        except (TypeError, ValueError, UnicodeEncodeError, RuntimeError) as error:
            result = f"{type(error).__name__}: {error}"
    return result


@pytest.mark.parametrize("name", CASES)
def test_references_and_memory_stay_flat(name: str) -> None:
    call(name, 100)
    gc.collect()
    references = [sys.getrefcount(obj) for obj in WATCHED]
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    call(name, 2000)
    gc.collect()
    growth = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert [sys.getrefcount(obj) for obj in WATCHED] == references
    # One leaked object per call would be far more than 32 KiB.
    assert growth < 32 * 1024


def test_threads_get_the_single_thread_results() -> None:
    names = list(CASES)
    threads = 4
    expected = {name: call(name) for name in names}
    barrier = threading.Barrier(threads)

    def worker(offset: int) -> list[str]:
        """The names whose result differed, each thread starting the list at its own offset."""
        barrier.wait()
        order = (names[offset:] + names[:offset]) * 30
        return [name for name in order if call(name) != expected[name]]

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        with ThreadPoolExecutor(threads) as pool:
            assert list(pool.map(worker, range(threads))) == [[]] * threads
    finally:
        sys.setswitchinterval(interval)


# A bundle large enough to be read as a stream, its definitions built on a second thread while
# the reader goes on, with escapes, so its strings lie in a copy of the text; read with the
# address space limited to ARGV[1] MiB over what the process holds.
SHORT_OF_MEMORY = r"""
import resource, sys
from brenvale import _ext
n = 30000
text = '{"$defs":{' + ",".join(
    f'"D{i}":{{"properties":{{"a":{{"$ref":"#/$defs/D{i * 7 % n}"}},'
    f'"b":{{"type":"string","description":"d\\u00e9 {i}"}}}},"x-firestore-collection":"c{i}"}}'
    for i in range(n)) + "}}"
with open("/proc/self/status") as status:
    held = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) << 10
limit = held + (int(sys.argv[1]) << 20)
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
try:
    _ext.emit(text)
except MemoryError:
    print("MemoryError")
else:
    print("module")
"""


def test_running_out_of_memory_mid_read_is_a_memory_error() -> None:
    """Wherever the read runs out, the call raises MemoryError (or, with room, returns the
    module); the process never crashes. The runs step through the read's whole range."""
    outcomes = set()
    for headroom in range(20, 95, 5):
        child = subprocess.run(
            [sys.executable, "-c", SHORT_OF_MEMORY, str(headroom)],
            capture_output=True,
            text=True,
            timeout=120,
            check=False,
        )
        assert (child.returncode, child.stderr) == (0, ""), f"{headroom} MiB"
        outcomes.add(child.stdout)
    # The range reaches from too little memory to enough.
    assert outcomes == {"MemoryError\n", "module\n"}
