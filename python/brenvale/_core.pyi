"""Type stubs for the native module: contract bundles (JSON text) in, TypeScript or findings out."""

from collections.abc import Sequence

def emit(bundle_json: str) -> str:
    """Emit read/write TypeScript from a contract bundle given as a JSON string."""

def emit_plain(bundle_json: str) -> str:
    """Emit plain (non-Firestore DTO) TypeScript from a standard JSON Schema bundle."""

def emit_shared(bundle_json: str, shared_path: str, shared_names: Sequence[str]) -> str:
    """Like `emit`, but `shared_names` are imported from `shared_path` (a TS module
    specifier relative to the output file) instead of being defined."""

def compat(old_json: str, new_json: str) -> str:
    """Diff two contract bundles (JSON strings). Returns a JSON array of findings:
    `[{"def", "field"|null, "verdict": "SAFE"|"BREAKING", "message"}]`."""
