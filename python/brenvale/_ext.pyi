"""Type stubs for the second native module: the compat rule set with rule ids and directions."""

from typing import Literal

def compat(
    old_json: str, new_json: str, mode: Literal["backward", "forward", "full"] = "full"
) -> str:
    """Diff two contract bundles (JSON strings) by every compat rule. Returns a JSON array:
    `[{"def", "direction": "backward"|"forward"|"client", "field"|null, "message",
    "rule", "verdict": "SAFE"|"BREAKING"}]`. `mode` ("backward", "forward" or "full")
    names the directions that are BREAKING; findings in others are SAFE."""
