"""Locates the shared JSON conformance corpus beside the repository and parametrizes over it."""

import os
from pathlib import Path

import pytest

SHARED_DIR = Path(__file__).resolve().parents[2].parent / "shared"
CORPUS_DIR = SHARED_DIR / "jsontestsuite" / "test_parsing"

# Fixture name -> file prefix of the corpus: accepted, refused, either.
CORPUS_FIXTURES = {"accepted_file": "y_", "refused_file": "n_", "either_file": "i_"}


def require_shared(path: Path) -> Path:
    """Returns `path`, or skips (fails in CI, where the corpus must be there) when it is absent."""
    if path.exists():
        return path
    reason = f"shared test data not found at {path} (expected beside the repository)"
    if os.environ.get("CI") == "true":
        pytest.fail(reason)
    pytest.skip(reason)


def pytest_generate_tests(metafunc: pytest.Metafunc) -> None:
    for fixture, prefix in CORPUS_FIXTURES.items():
        if fixture not in metafunc.fixturenames:
            continue
        files = sorted(CORPUS_DIR.glob(f"{prefix}*.json")) if CORPUS_DIR.is_dir() else []
        # With no corpus, one placeholder case reports the absence instead of collecting nothing.
        params = [pytest.param(f, id=f.name) for f in files] or [pytest.param(None, id="missing")]
        metafunc.parametrize(fixture, params)


@pytest.fixture
def read_corpus():
    """Returns a reader for one corpus file that skips files which are not UTF-8 text."""

    def read(path: Path | None) -> str:
        data = require_shared(path if path is not None else CORPUS_DIR).read_bytes()
        try:
            return data.decode("utf-8", errors="strict")
        except UnicodeDecodeError:
            pytest.skip("not UTF-8, so no str can carry it")

    return read
