"""TypeScript for the Firebase JS SDK from Pydantic document contracts, and contract checks."""

from importlib.metadata import PackageNotFoundError, version

from ._core import compat, emit, emit_plain, emit_shared

try:
    __version__ = version("brenvale")
except PackageNotFoundError:  # imported from a tree that was never installed
    __version__ = "0.0.0+unknown"

__all__ = ["__version__", "compat", "emit", "emit_plain", "emit_shared"]
