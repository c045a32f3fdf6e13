"""Writes the hostile-name bundles under tests/typescript/corpus/: every name below becomes a
collection model, a model, an enum and an alias in turn, and a hub model refers to each one by
`$ref` and by reference target. Each name is also the description of its definition and of the
hub property referring to it. Regenerate with: python tools/gen_hostile_corpus.py
"""

import json
import string
from pathlib import Path

OUT = Path(__file__).resolve().parents[1] / "tests" / "typescript" / "corpus"

RESERVED = (
    "any await bigint boolean break case catch class const continue debugger default delete do "
    "else enum export extends false finally for function if implements import in infer instanceof "
    "interface intrinsic keyof let never new null number object package private protected public "
    "readonly return static string super switch symbol this throw true try typeof undefined unique "
    "unknown var void while with yield eval arguments constructor __proto__ prototype toString"
).split()
ODD_CHARACTERS = [
    "\u00e9",
    "\u00a0",
    "\u200b",
    "\u0301",
    "\u2028",
    "\u2029",
    "\U0001f600",
    "\u20ac",
    "\u2115",
    "\u00b7",
]

GROUPS = {
    "punctuation": [f"A{c}B" for c in string.punctuation] + list(string.punctuation),
    "whitespace": [f"A{c}B" for c in " \t\n\r\x00\x01\x7f"] + ["", " ", "\n"],
    "unicode": [f"A{c}B" for c in ODD_CHARACTERS]
    + [c + "A" for c in ODD_CHARACTERS]
    + ["\u00e9t\u00e9", "1User", "9"],
    "reserved": RESERVED[: len(RESERVED) // 2],
    "reserved_more": RESERVED[len(RESERVED) // 2 :],
    "library": [
        "Bytes",
        "Date",
        "DocumentData",
        "DocumentReference",
        "FieldValue",
        "FirestoreDataConverter",
        "GeoPoint",
        "Omit",
        "Record",
        "Timestamp",
        "UpdateData",
        "VectorValue",
        "Array",
        "Promise",
    ],
    "generated": [
        "A",
        "AWrite",
        "AUpdate",
        "aConverter",
        "User",
        "user",
        "UserWrite",
        "userConverter",
        "usersPath",
        "B",
        "B_",
        "BWrite",
        "B_Write",
        "_",
        "__",
        "Hub_",
    ],
    "sanitised": [
        "x-y",
        "x_y",
        "x.y",
        "x y",
        "x__y",
        "1x",
        "_1x",
        "x_y_",
        "x_y_2",
        "x-y_",
        "class_",
        "class-",
    ],
    "payloads": [
        'Role = "admin";\nconsole.log("PWNED");\nexport type Role2',
        'X; } console.log("PWNED"); interface Z { q(): X',
        'User>; } console.log("PWNED"); interface Z { q: DocumentReference<User',
        "a`${globalThis.pwned = 1}`",
        "*/ globalThis.pwned = 1; /*",
        "x\u2028globalThis.pwned = 1",
        "constructor.constructor('globalThis.pwned=1')()",
    ],
}
PATHS = [
    "users",
    "orgs/{o}/users",
    "a/{id}/b/{id}/c/{id_2}",
    "{class}/{this}/{eval}/{arguments}",
    "",
    "x`${globalThis.pwned = 1}`/{a`b}/y",
    "users/",
    "{}",
    'p\\q/{r"s}/{1}',
    "u\u2028v/{w\u2028x}",
]
# A description every JSDoc block must hold in: early ends, openers, every line separator.
DESCRIPTION = "ends */ here\r\n*/ globalThis.pwned = 1; /*\rx\u2028y\u2029z\n\n * **/ */"


def ref(name: str) -> str:
    """The `$ref` to a definition: its name a JSON pointer segment (RFC 6901) in a URI fragment,
    its `%` percent-escaped (RFC 3986), so that every name reads back as itself."""
    return "#/$defs/" + name.replace("~", "~0").replace("/", "~1").replace("%", "%25")


def bundle(names: list[str], dangling: bool) -> dict[str, object]:
    defs: dict[str, dict[str, object]] = {}
    hub: dict[str, object] = {}
    for i, name in enumerate(names):
        role = i % 4
        if role == 0:
            defs[name] = {
                "type": "object",
                "x-firestore-collection": PATHS[i // 4 % len(PATHS)],
                "x-firestore-doc-id-field": name,
                "properties": {name: {"type": "string"}},
            }
        elif role == 1:
            defs[name] = {"type": "object", "properties": {"self": {"$ref": ref(name)}}}
        elif role == 2:
            defs[name] = {"enum": [name, 1]}
        else:
            defs[name] = {"anyOf": [{"$ref": ref(name)}, {"type": "null"}, {"anyOf": []}]}
        defs[name] |= {"title": f"{name}*/", "description": name}
        hub[f"p{i}"] = {"$ref": ref(name), "description": name}
        hub[f"r{i}"] = {"x-firestore-type": "reference", "x-firestore-ref-target": name}
    hub["t"] = {"x-firestore-type": "timestamp", "description": DESCRIPTION}
    hub["e"] = {"enum": []}
    # Patterns as string literals only: one JavaScript cannot compile (a Rust regex's), one that
    # tries to end the literal.
    hub["x"] = {"type": "string", "pattern": "(?i)^[[:alpha:]]+\\z"}
    hub["y"] = {"type": "string", "pattern": '"), globalThis.pwned = 1, RegExp("'}
    if dangling:
        hub["d"] = {"$ref": "#/$defs/Missing-One"}
    # Aliases that refer to each other, directly and through a union.
    defs["CycleA"] = {"anyOf": [{"$ref": "#/$defs/CycleB"}, {"type": "null"}]}
    defs["CycleB"] = {"anyOf": [{"anyOf": [{"$ref": "#/$defs/CycleA"}]}, {"type": "string"}]}
    defs["Hub"] = {
        "type": "object",
        "x-firestore-collection": "hubs/{hub}",
        "x-firestore-doc-id-field": "__proto__",
        "properties": hub,
        "description": DESCRIPTION,
    }
    return {"$defs": defs}


def main() -> None:
    OUT.mkdir(parents=True, exist_ok=True)
    for old in OUT.glob("*.json"):
        old.unlink()
    for stem, names in GROUPS.items():
        text = json.dumps(bundle(names, stem == "payloads"), indent=1, ensure_ascii=False)
        (OUT / f"{stem}.json").write_text(text + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
