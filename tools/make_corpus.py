"""Writes the seed corpus of the fuzz targets into fuzz/corpus/ (run again to refresh).

Run as `python tools/make_corpus.py`.

Seeds are the repository's real bundles, the hostile-name bundles, a small generated one, deep
nesting at the limit, and a set of malformed texts; compat seeds are pairs joined by a NUL byte,
as its target splits them.
"""

from __future__ import annotations

import json
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "bench"))

from make_bundle import make_bundle, next_version  # noqa: E402

CORPUS = ROOT / "fuzz" / "corpus"

MALFORMED: dict[str, bytes] = {
    "empty": b"",
    "bare_word": b"x",
    "trailing_characters": b"1 x",
    "unclosed_object": b'{"$defs": {"A": {"type": "object"',
    "unclosed_list": b"[1, 2",
    "trailing_comma": b'{"$defs": {"A": {},}}',
    "missing_colon": b'{"$defs" {}}',
    "key_not_string": b"{1: 2}",
    "lone_surrogate": b'{"$defs": {"\\udc00": {"enum": []}}}',
    "short_hex_escape": b'"\\u12"',
    "invalid_escape": b'"\\x"',
    "control_character": b'"a\x01b"',
    "number_out_of_range": b"[1e400]",
    "invalid_number": b"[-]",
    "unclosed_string": b'{"$defs": {"A',
    "nul_inside": b'{"$defs": {}}\x00{}',
    "too_deep": b"[" * 128 + b"]" * 128,
    "not_utf8": b'{"$defs": {"\xff\xfe": {"type": "object"}}}',
}


def bundle_text(defs: object, **root: object) -> bytes:
    return json.dumps({"$defs": defs, **root}, ensure_ascii=False).encode()


def deep_bundle() -> bytes:
    """A model whose one property nests anyOf and array schemas up to the 127-level limit."""
    node: object = {"type": "string"}
    depth = 5  # root, $defs, the model, properties, the property
    while depth + 3 <= 127:
        node = {"anyOf": [{"type": "array", "items": node}, {"type": "null"}]}
        depth += 3
    return bundle_text({"Deep": {"type": "object", "properties": {"deep": node}}})


def bundles() -> dict[str, bytes]:
    found = {
        "golden_user": ROOT / "tests" / "golden" / "user.json",
        "golden_plain": ROOT / "tests" / "golden" / "plain.json",
        "example_contract": ROOT / "examples" / "contract.json",
    }
    for path in sorted((ROOT / "tests" / "typescript" / "bundles").glob("*.json")):
        found[f"typescript_{path.stem}"] = path
    for path in sorted((ROOT / "tests" / "typescript" / "corpus").glob("*.json")):
        found[f"hostile_{path.stem}"] = path
    seeds = {name: path.read_bytes() for name, path in found.items()}
    seeds["generated_one_model"] = json.dumps(make_bundle(1, seed=7)).encode()
    seeds["deep_nesting"] = deep_bundle()
    seeds["not_a_bundle"] = b'[null, true, 1.5, "s"]'
    # A root title is the shared path the emit target uses.
    seeds["titled_root"] = bundle_text(
        {"A": {"type": "object", "properties": {"b": {"$ref": "#/$defs/B"}}}, "B": {"enum": ["x"]}},
        title="../up/ü",
    )
    return seeds


def pairs() -> dict[str, bytes]:
    old = make_bundle(4, seed=3)
    changes = {"add_model": 1, "remove_model": 1, "add_required_field": 1, "change_type": 1}
    user = json.loads((ROOT / "tests" / "golden" / "user.json").read_text())
    changed_user = json.loads(json.dumps(user))
    changed_user["$defs"]["User"]["properties"]["age"] = {"type": "string"}
    changed_user["$defs"]["User"]["x-firestore-collection"] = "people"
    return {
        "pair_generated_next_version": json.dumps(old).encode()
        + b"\x00"
        + json.dumps(next_version(old, seed=1, changes=changes)).encode(),
        "pair_user_changed": json.dumps(user).encode()
        + b"\x00"
        + json.dumps(changed_user).encode(),
        "pair_empty_and_user": b"{}\x00" + json.dumps(user).encode(),
        "pair_malformed_new": json.dumps(user).encode() + b"\x00{",
    }


def rule_pairs() -> dict[str, bytes]:
    """The diff's pairs, and one that fires the value-level and client rules."""

    def model(collection: str, **props: object) -> dict[str, object]:
        return {"type": "object", "x-firestore-collection": collection, "properties": props}

    old = {
        "E": {"enum": ["a", "b"]},
        "N": {"type": "integer", "minimum": 0},
        "M": model(
            "ms",
            n={"anyOf": [{"type": "string", "maxLength": 9}, {"type": "null"}], "default": None},
            e={"$ref": "#/$defs/E"},
        ),
    }
    new = {
        "E": {"enum": ["a", "c"]},
        "N": {"type": "number", "minimum": 1},
        "M": model(
            "t/{t}/ms",
            n={"anyOf": [{"type": "string", "pattern": "x"}, {"type": "null"}], "readOnly": True},
            e={"$ref": "#/$defs/E"},
        ),
    }
    return {**pairs(), "pair_value_rules": bundle_text(old) + b"\x00" + bundle_text(new)}


def main() -> None:
    seeds = {**bundles(), **{f"malformed_{k}": v for k, v in MALFORMED.items()}}
    # Every target reads seeds/; pairs/ adds the old/new pairs only the compat targets split.
    # Each target's kept corpus (fuzz/corpus/<target>/) is fuzz/run.sh --campaign's.
    for directory, chosen in ((CORPUS / "seeds", seeds), (CORPUS / "pairs", rule_pairs())):
        # Regression inputs (named crash-*) are kept; the generated seeds are rewritten.
        for old in directory.glob("*"):
            if not old.name.startswith("crash-"):
                old.unlink()
        directory.mkdir(parents=True, exist_ok=True)
        for name, data in chosen.items():
            (directory / name).write_bytes(data)
    print(f"wrote {len(seeds) + len(rule_pairs())} seed files under {CORPUS}")


if __name__ == "__main__":
    main()
