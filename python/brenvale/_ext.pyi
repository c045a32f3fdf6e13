"""Type stubs for the second native module: every output form through one request, and the
compat rule set."""

from collections.abc import Sequence
from typing import Literal

KINDS: tuple[str, ...]
SDKS: tuple[str, ...]
MODES: tuple[str, ...]

class BundleError(ValueError):
    """A bundle argument that is no JSON or no contract bundle; `argument` names it."""

    argument: str

def emit(
    bundle_json: str,
    kind: Literal["firestore", "plain", "zod"] = "firestore",
    sdk: Literal["web", "admin"] = "web",
    jsdoc: bool = False,
    update_paths: bool = False,
    shared_path: str = "",
    shared_names: Sequence[str] = (),
    contract_path: str = "./contract",
) -> str:
    """The module of `kind` (one of KINDS) for a contract bundle with `$defs` or draft-07
    `definitions`. firestore: the module _core.emit writes, for `sdk` (one of SDKS), with
    `update_paths` (Update types that take dotted field paths), and with `shared_names`
    imported from `shared_path` instead of written. plain: the DTO interfaces. zod: schemas
    and validating converters for `sdk`, checked against the Firestore module at `contract_path`.
    `jsdoc` writes titles and descriptions as JSDoc (firestore, plain). An option the kind
    does not read raises ValueError; a bundle that fails raises BundleError."""

def emit_each(bundle_json: str, requests: Sequence[dict[str, object]]) -> list[str]:
    """The modules of several requests for one bundle, read once: `requests` is a sequence of
    dicts of emit's options (kind, sdk, ...); returns a list of the modules, in order. Every
    request is checked before the bundle is read."""

def compat(
    old_json: str, new_json: str, mode: Literal["backward", "forward", "full"] = "full"
) -> str:
    """Diff two contract bundles (JSON strings) by every compat rule. Returns a JSON array:
    `[{"def", "direction", "field"|null, "message", "rule", "verdict": "SAFE"|"BREAKING"}]`,
    where "direction" is every direction the finding breaks ("backward", "forward",
    "client"), joined by "+". `mode` (one of MODES) names the directions that are BREAKING;
    findings in others are SAFE. A bundle that fails raises BundleError."""
