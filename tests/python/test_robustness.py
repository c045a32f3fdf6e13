"""The four functions under repetition and threads: references, memory and results stay put."""

from __future__ import annotations

import collections.abc
import gc
import json
import os
import subprocess
import sys
import threading
import tracemalloc
from collections.abc import Callable
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

import pytest

import brenvale

CALLS, WARMUP = 2000, 100
# Python-level bytes still allocated after CALLS calls; one leaked object per call is far more.
TRACED_SLACK = 32 * 1024
# Resident growth allowed after CALLS calls; a leaked parse tree or result per call is far more.
RSS_SLACK = 6 * 1024 * 1024
FUZZ_CORPUS = Path(__file__).resolve().parents[2] / "fuzz" / "corpus"


def model(index: int) -> dict[str, Any]:
    """A model touching most renderer paths; about 1 KB of JSON."""
    return {
        "type": "object",
        "x-firestore-collection": f"orgs/{{org}}/items{index}",
        "x-firestore-doc-id-field": "id",
        "required": ["id", "name", "createdAt"],
        "properties": {
            "id": {"type": "string", "readOnly": True},
            "name": {"type": "string", "x-firestore-presence-guaranteed": True},
            "createdAt": {"x-firestore-type": "timestamp", "x-firestore-server-timestamp": True},
            "owner": {"x-firestore-type": "reference", "x-firestore-ref-target": "M0"},
            "tags": {"type": "array", "items": {"type": "string"}}, "where": {"x-firestore-type": "geopoint"},
            "pair": {"type": "array", "prefixItems": [{"type": "number"}, {"const": "ü"}]},
            "note": {"anyOf": [{"type": "string"}, {"type": "null"}]}, "kind": {"$ref": "#/$defs/Kind"},
            "parent": {"oneOf": [{"$ref": f"#/$defs/M{index + 1}"}, {"type": "null"}]},
            "counts": {"type": "object", "additionalProperties": {"type": "integer"}},
        },
    }


def bundle(models: int, extra: str = "") -> str:
    defs: dict[str, Any] = {f"M{i}": model(i) for i in range(models)}
    defs["Kind"] = {"enum": ["a", "b", 3, None]}
    if extra:
        defs[extra] = {"type": "object", "properties": {"x": {"type": "boolean"}}}
    return json.dumps({"$defs": defs})


# Large enough that leaking one parse tree or one result per call shows in the resident size.
OLD, NEW = bundle(12), bundle(12, extra="Added")
MALFORMED = OLD + " x"  # parsed to the end before it fails


def fresh(text: str) -> str:
    """A new str object equal to `text`, so its reference count is this test's alone."""
    return "".join(list(text))


class Named:
    """A non-str argument whose type name is long, so a leaked message would be large."""


Named.__qualname__ = "N" * 4096


class RaisingSequence(collections.abc.Sequence):
    """Passes the sequence check; iteration yields one name, then raises `error`."""

    def __init__(self, error: BaseException) -> None:
        self.error = error
        self.name = fresh("M0")

    def __len__(self) -> int:
        return 2

    def __getitem__(self, index: int) -> str:
        raise AssertionError("iteration goes through __iter__")

    def __iter__(self):
        yield self.name
        # A fresh traceback each time: re-raising would chain the old ones and grow.
        raise self.error.with_traceback(None)


class BadLength(collections.abc.Sequence):
    """A size hint that raises; iteration alone decides, so this is an empty sequence."""

    def __len__(self) -> int:
        raise OverflowError("no length")

    def __getitem__(self, index: int) -> str:
        raise IndexError(index)


@dataclass
class Case:
    name: str
    function: Callable[..., str]
    args: tuple[Any, ...]
    kwargs: dict[str, Any] = field(default_factory=dict)
    raises: type[BaseException] | None = None

    def call(self) -> str | BaseException:
        try:
            return self.function(*self.args, **self.kwargs)
        except (TypeError, ValueError, UnicodeEncodeError, RuntimeError) as error:
            return error

    def objects(self) -> list[Any]:
        """Every object handed to the call whose references the call might keep."""
        found: list[Any] = []
        for value in [*self.args, *self.kwargs.values()]:
            found.append(value)
            if isinstance(value, (list, tuple)):
                found.extend(value)
            if isinstance(value, RaisingSequence):
                found.extend([value.error, value.name])
        return found


def cases() -> list[Case]:
    names = [fresh("M0"), fresh("Kind"), fresh("Missing")]
    old, s, surrogate = (lambda: fresh(OLD)), (lambda: fresh("./s")), "\ud800"
    emit, plain, shared, compat = brenvale.emit, brenvale.emit_plain, brenvale.emit_shared, brenvale.compat
    return [
        Case("emit", emit, (old(),)),
        Case("emit_plain", plain, (old(),)),
        Case("emit_shared", shared, (old(), s(), names)),
        Case("emit_shared_bad_length", shared, (old(), s(), BadLength())),
        Case("compat", compat, (old(), fresh(NEW))),
        Case("compat_keywords", compat, (), {"old_json": fresh(NEW), "new_json": old()}),
        Case("value_error", emit, (fresh(MALFORMED),), raises=ValueError),
        Case("value_error_shared", shared, (fresh(MALFORMED), s(), names), raises=ValueError),
        Case("value_error_new", compat, (old(), fresh(MALFORMED)), raises=ValueError),
        Case("type_error_object", emit, (Named(),), raises=TypeError),
        Case("type_error_missing", shared, (old(), s()), raises=TypeError),
        Case("type_error_keyword", emit, (), {"bundle": old()}, raises=TypeError),
        Case("type_error_twice", emit, (old(),), {"bundle_json": old()}, raises=TypeError),
        Case("type_error_names_str", shared, (old(), s(), fresh("M0")), raises=TypeError),
        Case("type_error_names_set", shared, (old(), s(), {"M0"}), raises=TypeError),
        Case("type_error_names_item", shared, (old(), s(), [fresh("M0"), Named()]), raises=TypeError),
        Case("unicode_error_bundle", emit, (fresh('{"$defs": {}}' + surrogate),), raises=UnicodeEncodeError),
        Case("unicode_error_name", shared, (old(), s(), [fresh("M0"), fresh(surrogate)]), raises=UnicodeEncodeError),
        Case("unicode_error_new", compat, (old(), fresh(surrogate)), raises=UnicodeEncodeError),
        Case("iterator_raises", shared, (old(), s(), RaisingSequence(RuntimeError("boom"))), raises=RuntimeError),
        Case("iterator_raises_type_error", shared, (old(), s(), RaisingSequence(TypeError("inner"))),
             raises=TypeError),
    ]


def resident_bytes() -> int | None:
    try:
        pages = int(Path("/proc/self/statm").read_text().split()[1])
    except (OSError, IndexError, ValueError):
        return None
    return pages * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize("case", cases(), ids=lambda case: case.name)
def test_references_and_memory_stay_flat(case: Case) -> None:
    first = case.call()
    if case.raises is None:
        assert isinstance(first, str), first
    else:
        assert type(first) is case.raises, first
    del first
    for _ in range(WARMUP):
        case.call()
    objects = case.objects()
    gc.collect()
    references = [sys.getrefcount(obj) for obj in objects]
    rss_before = resident_bytes()
    tracemalloc.start()
    try:
        traced_before = tracemalloc.get_traced_memory()[0]
        for _ in range(CALLS):
            case.call()
        gc.collect()
        traced_growth = tracemalloc.get_traced_memory()[0] - traced_before
    finally:
        tracemalloc.stop()
    rss_after = resident_bytes()
    assert [sys.getrefcount(obj) for obj in objects] == references
    assert traced_growth < TRACED_SLACK
    if rss_before is not None and rss_after is not None:
        assert rss_after - rss_before < RSS_SLACK


def test_results_do_not_outlive_their_use() -> None:
    result = brenvale.emit(OLD)
    assert sys.getrefcount(result) == 2  # the name and getrefcount's own argument


def outcome(function: Callable[..., str], args: tuple[Any, ...]) -> tuple[str, str]:
    try:
        return ("ok", function(*args))
    except (TypeError, ValueError, UnicodeEncodeError) as error:
        return (type(error).__name__, str(error))


THREAD_CALLS: list[tuple[Callable[..., str], tuple[Any, ...]]] = [
    (brenvale.emit, (OLD,)), (brenvale.emit, (NEW,)), (brenvale.emit_plain, (NEW,)), (brenvale.emit, (MALFORMED,)),
    (brenvale.emit_shared, (OLD, "./shared", ["M1", "Kind"])), (brenvale.emit_shared, (NEW, "../other", ("Added",))),
    (brenvale.compat, (OLD, NEW)), (brenvale.compat, (NEW, OLD)), (brenvale.compat, (OLD, "[" * 128)),
    (brenvale.emit_shared, (OLD, "./s", {"M1"})), (brenvale.emit_plain, ("\ud800",)),
]


def test_threads_get_the_single_thread_results() -> None:
    expected = [outcome(function, args) for function, args in THREAD_CALLS]
    threads_count, rounds, count = 4, 40, len(THREAD_CALLS)
    barrier = threading.Barrier(threads_count)

    def worker(offset: int) -> list[int]:
        """Indexes of the calls whose outcome differed, each thread starting at another call."""
        barrier.wait()
        order = [(step + offset + r) % count for r in range(rounds) for step in range(count)]
        return [index for index in order if outcome(*THREAD_CALLS[index]) != expected[index]]

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        with ThreadPoolExecutor(threads_count) as pool:
            mismatches = list(pool.map(worker, range(threads_count)))
    finally:
        sys.setswitchinterval(interval)
    assert mismatches == [[]] * threads_count


def test_lone_surrogate_in_a_key_is_refused_like_one_in_a_value() -> None:
    """Found by the reader fuzz target: this key used to crash the interpreter."""
    with pytest.raises(ValueError) as as_value:
        brenvale.emit('["array\\uDFAA",0]')
    with pytest.raises(ValueError) as as_key:
        brenvale.emit('{"array\\uDFAA":0}')
    assert str(as_key.value) == str(as_value.value)
    assert str(as_key.value).startswith("lone leading surrogate in hex escape at line 1 column ")


# Each fuzz finding, run through the function its target stands for, in a child interpreter so
# that a crash fails one test instead of ending the run.
CRASH_SCRIPT = """
import sys, brenvale
data = open(sys.argv[1], "rb").read().decode()
old, nul, new = data.partition("\\0")
calls = [lambda: brenvale.emit(data), lambda: brenvale.emit_plain(data),
         lambda: brenvale.emit_shared(data, "./shared", ["A"]),
         lambda: brenvale.compat(old, new if nul else old)]
for call in calls:
    try:
        call()
    except ValueError:
        pass
"""


def crash_inputs() -> list[Any]:
    found = []
    for path in sorted(FUZZ_CORPUS.glob("*/crash-*")):
        try:
            path.read_bytes().decode("utf-8")
        except UnicodeDecodeError:
            continue  # no str carries it; the C++ replay covers it
        found.append(pytest.param(path, id=f"{path.parent.name}/{path.name}"))
    return found or [pytest.param(None, id="none")]


# Each finding goes through every function, whichever target found it.
@pytest.mark.parametrize("path", crash_inputs())
def test_fuzz_findings_no_longer_crash(path: Path | None) -> None:
    if path is None:
        pytest.skip("no fuzz findings in the corpus")
    done = subprocess.run([sys.executable, "-c", CRASH_SCRIPT, str(path)],
                          capture_output=True, text=True, timeout=60, check=False)
    assert done.returncode == 0, done.stderr
