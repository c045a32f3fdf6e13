"""TypeScript for the Firebase JS SDK from Pydantic document contracts, and contract checks."""

from __future__ import annotations

import importlib

from ._ext import BundleError
from ._ext import emit as emit_module

# The one place the version is written; the build reads it from here.
__version__ = "0.1.0"

TYPE_CHECKING = False  # typing costs start-up time that the command line does without
if TYPE_CHECKING:
    from . import firestore
    from ._core import compat, emit, emit_plain, emit_shared
    from .contract import ModelsError, Options, bundle, bundle_from_target
    from .findings import Direction, Finding, Verdict, compat_findings

# Loaded on first use, so a command that needs none of them starts fast (the command line
# speaks only _ext).
_LAZY = {
    "compat": "_core",
    "emit": "_core",
    "emit_plain": "_core",
    "emit_shared": "_core",
    "firestore": "firestore",
    "ModelsError": "contract",
    "Options": "contract",
    "bundle": "contract",
    "bundle_from_target": "contract",
    "Direction": "findings",
    "Finding": "findings",
    "Verdict": "findings",
    "compat_findings": "findings",
}


def emit_plain_module(bundle_json: str, jsdoc: bool = False) -> str:
    """emit_module(bundle_json, "plain", jsdoc=jsdoc): the plain DTO interfaces."""
    return emit_module(bundle_json, "plain", jsdoc=jsdoc)


def emit_zod(bundle_json: str, contract_path: str = "./contract") -> str:
    """emit_module(bundle_json, "zod", contract_path=contract_path): Zod schemas and validating
    converters, checked against the Firestore module at `contract_path`."""
    return emit_module(bundle_json, "zod", contract_path=contract_path)


def __getattr__(name: str) -> object:
    module_name = _LAZY.get(name)
    if module_name is None:
        raise AttributeError(f"module 'brenvale' has no attribute {name!r}")
    module = importlib.import_module(f".{module_name}", __name__)
    value = module if name == module_name else getattr(module, name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted({*globals(), *_LAZY})


__all__ = [
    "BundleError",
    "Direction",
    "Finding",
    "ModelsError",
    "Options",
    "Verdict",
    "__version__",
    "bundle",
    "bundle_from_target",
    "compat",
    "compat_findings",
    "emit",
    "emit_module",
    "emit_plain",
    "emit_plain_module",
    "emit_shared",
    "emit_zod",
    "firestore",
]
