"""Typed findings, accepted-findings patterns and report escaping, in process.

How ignore files, --mode and --fail-on decide the exit code, and the JSON report's ignored mark, run in test_cli.
"""

from __future__ import annotations

import dataclasses
import json
import re
import xml.etree.ElementTree as ET

import pytest

import brenvale
from brenvale.findings import (
    Direction,
    FailOn,
    Finding,
    Verdict,
    judge,
    parse_ignore,
    parse_ignore_rule,
)
from brenvale.formats import RENDERERS

B, F, S, BREAKING = Direction.BACKWARD, Direction.FORWARD, Verdict.SAFE, Verdict.BREAKING
OLD = json.dumps(
    {
        "$defs": {
            "Order": {"type": "object", "properties": {"id": {}, "total": {}}},
            "E": {"enum": [1, 2]},
        }
    }
)
NEW = json.dumps(
    {
        "$defs": {
            "Invoice": {"type": "object"},
            "Order": {"type": "object", "properties": {"id": {}}},
            "E": {"enum": [1]},
        }
    }
)
INVOICE = Finding("Invoice", None, S, "model added (additive)", "model-added", F)
TOTAL = Finding("Order", "total", BREAKING, "field removed", "field-removed", F)
TYPE_CHANGE = Finding("User", "age", BREAKING, "type changed: string -> number", "type-changed", B)


# Which directions each mode makes BREAKING: test_ext; here, that the mode gets there.
@pytest.mark.parametrize(
    ("mode", "backward", "forward"), [("full", BREAKING, BREAKING), ("forward", S, BREAKING)]
)
def test_compat_findings_carry_rule_and_direction_and_follow_mode(
    mode: str, backward, forward
) -> None:
    findings = brenvale.compat_findings(OLD, NEW, mode)
    removed = Finding("E", None, backward, "enum member removed: 2", "enum-member-removed", B)
    assert findings == [removed, INVOICE, dataclasses.replace(TOTAL, verdict=forward)]
    assert (findings[1].location, findings[2].location) == ("Invoice", "Order.total")


A40 = Finding("a" * 40, None, S, "m", "r", F)
# (rule line, finding, matches). "*", a place alone, a place with a message or a rule id, a "*" in the rule id and a
# comment after a pattern decide exit codes in test_cli and docs/compat.md.
IGNORE_CASES = [
    ("Order.total:field removed", TOTAL, True),
    ("Order", TOTAL, False),
    ("Order.*", TOTAL, True),
    ("Order.*", INVOICE, False),
    ("Invoice: model added", INVOICE, False),
    ("Invoice: model *", INVOICE, True),
    ("User.age: type changed: string -> *", TYPE_CHANGE, True),
    ("  Order.total  # accepted in review 12", TOTAL, True),
    ("User.[a]ge", TYPE_CHANGE, False),
    ("*.age", TYPE_CHANGE, True),
    ("Order.total:", TOTAL, True),
    ("A#b", dataclasses.replace(A40, definition="A#b"), True),  # a hash inside a word is literal
    ("*a*a*a*a*a*a*a*a*a*a*a*a*b", A40, False),  # linear: backtracking would take hours here
    ("a*ab", dataclasses.replace(A40, definition="ab"), False),  # the pieces may not overlap
    # After the colon, a rule id matches as well as a message.
    ("*: model-*", TOTAL, False),
    ("*: type-changed", TYPE_CHANGE, True),
    ("User: type-changed", TYPE_CHANGE, False),
]


@pytest.mark.parametrize(
    ("line", "finding", "matches"), IGNORE_CASES, ids=[c[0] for c in IGNORE_CASES]
)
def test_ignore_rule(line: str, finding: Finding, matches: bool) -> None:
    rule = parse_ignore_rule(line)
    assert rule is not None and rule.matches(finding) is matches


HOSTILE = "A\u0001\u0000\ufffe\x1b[31m<img src=x onerror=alert(1)>`x`|\r\n::error::forged"
HOSTILE_ROWS = [
    {
        "def": HOSTILE,
        "direction": "backward",
        "field": "DocumentReference<User>",
        "message": "m | `y`\r\n::error::x",
        "rule": "r|`<b>`\n::error::z",
        "verdict": "BREAKING",
    },
    {
        "def": "B",
        "direction": "client",
        "field": None,
        "message": "50%",
        "rule": "r",
        "verdict": "SAFE",
    },
]
UNSAFE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\ufffe]")


def _markdown_is_inert(out: str) -> None:
    """Backslash escapes removed, what is left has no code span, no stray cell border and no tag but <code>."""
    bare = re.sub(r"\\.", "", out)
    rows = [line for line in bare.splitlines() if line.startswith("| ")]
    assert len(rows) == 6 and all(row.count("|") == 7 for row in rows) and "`" not in bare
    assert set(re.findall(r"<[^>]*>", bare)) == {"<code>", "</code>"}


def _github_commands_are_ours(out: str) -> None:
    commands = [line for line in out.splitlines() if line.lstrip().startswith("::")]
    assert [c.split(" ")[0] for c in commands] == ["::error", "::notice"] * 2


CHECKS = {
    "junit": lambda out: ET.fromstring(out),
    "json": lambda out: (
        [[row["def"] for row in c["findings"]] for c in json.loads(out)] == [[HOSTILE, "B"]] * 2
    ),
    "text": lambda out: len(out.splitlines()) == 2 * 6 + 1,
    "markdown": _markdown_is_inert,
    "github": _github_commands_are_ours,
}


@pytest.mark.parametrize("renderer", list(RENDERERS))
def test_reports_escape_every_name_message_and_rule(renderer: str) -> None:
    """Two OLD files (one with a hostile name) against NEW: each format's own parser sees only its own structure."""
    report = json.dumps(HOSTILE_ROWS)
    comparisons = [
        judge(name, "n", report, parse_ignore("B"), FailOn.BREAKING)
        for name in ("o\n::error::old", "o")
    ]
    out = RENDERERS[renderer](comparisons)
    assert UNSAFE.search(out) is None
    assert CHECKS[renderer](out) is not False
