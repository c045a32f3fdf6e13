"""TypeScript for the Firebase JS SDK from Pydantic document contracts, and contract checks."""

from importlib.metadata import PackageNotFoundError, version

from . import firestore
from ._core import compat, emit, emit_plain, emit_shared
from .contract import ModelsError, Options, bundle, bundle_from_spec
from .findings import Finding, Verdict, compat_findings

try:
    __version__ = version("brenvale")
except PackageNotFoundError:  # imported from a tree that was never installed
    __version__ = "0.0.0+unknown"

__all__ = [
    "Finding",
    "ModelsError",
    "Options",
    "Verdict",
    "__version__",
    "bundle",
    "bundle_from_spec",
    "compat",
    "compat_findings",
    "emit",
    "emit_plain",
    "emit_shared",
    "firestore",
]
