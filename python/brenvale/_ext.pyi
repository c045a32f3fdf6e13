"""Type stubs for the second native module: opt-in output forms, the zod module, and the compat
rule set."""

from collections.abc import Sequence
from typing import Literal

def emit(
    bundle_json: str,
    shared_path: str = "",
    shared_names: Sequence[str] = (),
    update_paths: bool = False,
    jsdoc: bool = False,
    sdk: Literal["web", "admin"] = "web",
) -> str:
    """The Firestore module, as _core.emit_shared writes it, with the output forms that are
    off by default: `update_paths` makes each Update type accept dotted field paths;
    `jsdoc` writes titles and descriptions as JSDoc above declarations and members;
    `sdk='admin'` writes the module for firebase-admin/firestore instead of the web SDK."""

def emit_plain(bundle_json: str, jsdoc: bool = False) -> str:
    """The plain DTO module, as _core.emit_plain writes it; `jsdoc` writes titles and
    descriptions as JSDoc above declarations and members."""

def zod(bundle_json: str, contract_path: str = "./contract") -> str:
    """Zod schemas for every definition (`{Name}Schema`, and `{Name}WriteSchema` for models)
    and a validating converter per collection model, each declared with the interface it
    checks, imported from `contract_path`: the module `emit` writes for the same bundle."""

def compat(
    old_json: str, new_json: str, mode: Literal["backward", "forward", "full"] = "full"
) -> str:
    """Diff two contract bundles (JSON strings) by every compat rule. Returns a JSON array:
    `[{"def", "direction": "backward"|"forward"|"client", "field"|null, "message",
    "rule", "verdict": "SAFE"|"BREAKING"}]`. `mode` ("backward", "forward" or "full")
    names the directions that are BREAKING; findings in others are SAFE."""
