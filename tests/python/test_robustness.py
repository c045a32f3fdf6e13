"""The native calls under repetition and threads: no leaked reference or memory, same results."""

from __future__ import annotations

import collections.abc
import gc
import json
import sys
import threading
import tracemalloc
from collections.abc import Callable, Iterator
from concurrent.futures import ThreadPoolExecutor
from typing import Any

import pytest

import brenvale

CALLS = 2000
TRACED_SLACK = 32 * 1024  # one leaked object per call would be far more


def bundle(models: int, extra: str = "") -> str:
    item = {
        "type": "object", "x-firestore-collection": "orgs/{org}/items", "x-firestore-doc-id-field": "id",
        "required": ["id", "at"],
        "properties": {
            "id": {"type": "string"}, "at": {"x-firestore-type": "timestamp", "x-firestore-server-timestamp": True},
            "owner": {"x-firestore-type": "reference", "x-firestore-ref-target": "M0"},
            "kind": {"$ref": "#/$defs/Kind"}, "note": {"anyOf": [{"type": "string"}, {"type": "null"}]},
        },
    }
    defs: dict[str, Any] = {f"M{i}": item for i in range(models)} | {"Kind": {"enum": ["a", 3, None]}}
    if extra:
        defs[extra] = {"type": "object", "properties": {"x": {"type": "boolean"}}}
    return json.dumps({"$defs": defs})


OLD, NEW = bundle(12), bundle(12, extra="Added")
MALFORMED = OLD + " x"  # parsed to the end before it fails


class Named:
    """A non-str argument whose type name is long, so a leaked message would be large."""


Named.__qualname__ = "N" * 4096


class RaisingNames(collections.abc.Sequence[str]):
    """Passes the sequence check; iteration yields one name, then raises."""

    def __len__(self) -> int:
        return 2

    def __getitem__(self, index: int) -> str:  # type: ignore[override]
        raise AssertionError("iteration goes through __iter__")

    def __iter__(self) -> Iterator[str]:
        yield "M0"
        raise RuntimeError("boom")


NAMED, SHARED, SURROGATE, RAISING = Named(), ["M0", "Missing"], ["\ud800"], RaisingNames()
WATCHED = [OLD, NEW, MALFORMED, NAMED, SHARED, *SHARED, SURROGATE, RAISING]
# Each kind of outcome once: results, and every error path of the binding.
CASES: dict[str, Callable[[], str]] = {
    "emit": lambda: brenvale.emit(OLD),
    "emit_shared": lambda: brenvale.emit_shared(OLD, "./s", SHARED),
    "compat_keywords": lambda: brenvale.compat(old_json=OLD, new_json=NEW),
    "value_error": lambda: brenvale.emit_plain(MALFORMED),
    "type_error": lambda: brenvale.emit(NAMED),  # type: ignore[arg-type]
    "unicode_error": lambda: brenvale.emit_shared(OLD, "./s", SURROGATE),
    "iterator_raises": lambda: brenvale.emit_shared(OLD, "./s", RAISING),
}


def call(name: str) -> str:
    try:
        return CASES[name]()
    except (TypeError, ValueError, UnicodeEncodeError, RuntimeError) as error:
        return f"{type(error).__name__}: {error}"


@pytest.mark.parametrize("name", CASES)
def test_references_and_memory_stay_flat(name: str) -> None:
    for _ in range(100):
        call(name)
    gc.collect()
    references = [sys.getrefcount(obj) for obj in WATCHED]
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(CALLS):
            call(name)
        gc.collect()
        growth = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(obj) for obj in WATCHED] == references
    assert growth < TRACED_SLACK


def test_threads_get_the_single_thread_results() -> None:
    names = list(CASES)
    expected = [call(name) for name in names]
    threads, rounds = 4, 30
    barrier = threading.Barrier(threads)

    def worker(offset: int) -> list[str]:
        barrier.wait()
        order = [names[(step + offset) % len(names)] for step in range(rounds * len(names))]
        return [name for name in order if call(name) != expected[names.index(name)]]

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        with ThreadPoolExecutor(threads) as pool:
            mismatches = list(pool.map(worker, range(threads)))
    finally:
        sys.setswitchinterval(interval)
    assert mismatches == [[]] * threads
