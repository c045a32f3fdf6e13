"""The native calls under repetition and threads: no leaked reference or memory, same results."""

import collections.abc
import gc
import json
import sys
import threading
import tracemalloc
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import brenvale

# Every x-firestore-type, enums, references, nested and optional models; NEW adds a model.
OLD = (Path(__file__).resolve().parents[1] / "typescript" / "bundles" / "blog.json").read_text(
    encoding="utf-8"
)
# MALFORMED is parsed to the end before it fails.
NEW, MALFORMED = (
    json.dumps({"$defs": {**json.loads(OLD)["$defs"], "Added": {"type": "object"}}}),
    OLD + " x",
)


class RaisingNames(collections.abc.Sequence):
    __getitem__ = __len__ = (
        None  # passes the sequence check; iteration yields one name, then raises
    )

    def __iter__(self):
        yield "Address"
        raise RuntimeError("boom")


# A type name this long would make a leaked message large.
NAMED, SHARED, SURROGATE, RAISING = (
    type("N" * 4096, (), {})(),
    ["Address", "Missing"],
    ["\ud800"],
    RaisingNames(),
)
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
    # One leaked object per call would be far more than 32 KiB.
    assert ([sys.getrefcount(obj) for obj in WATCHED], growth < 32 * 1024) == (references, True)


def test_threads_get_the_single_thread_results() -> None:
    names, threads = list(CASES), 4
    expected, barrier = {name: call(name) for name in names}, threading.Barrier(threads)

    def worker(offset: int) -> list[str]:
        barrier.wait()
        return [
            name for name in (names[offset:] + names[:offset]) * 30 if call(name) != expected[name]
        ]

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        with ThreadPoolExecutor(threads) as pool:
            assert list(pool.map(worker, range(threads))) == [[]] * threads
    finally:
        sys.setswitchinterval(interval)
