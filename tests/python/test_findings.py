"""Typed findings, accepted-findings patterns and report escaping, in process.

How ignore rules and --fail-on decide the exit code is run end to end in test_cli.
"""

from __future__ import annotations

import dataclasses
import json
import re
import xml.etree.ElementTree as ET

import pytest

import brenvale
from brenvale.findings import FailOn, Finding, Verdict, judge, parse_findings, parse_ignore, parse_ignore_rule
from brenvale.formats import RENDERERS

OLD = json.dumps({"$defs": {"Order": {"type": "object", "properties": {"id": {}, "total": {}}}}})
NEW = json.dumps({"$defs": {"Invoice": {"type": "object"}, "Order": {"type": "object", "properties": {"id": {}}}}})
INVOICE = Finding("Invoice", None, Verdict.SAFE, "model added (additive)")
TOTAL = Finding("Order", "total", Verdict.BREAKING, "field removed")
TYPE_CHANGE = Finding("User", "age", Verdict.BREAKING, "type changed: string -> number")


def test_compat_findings_are_typed_and_frozen_and_keep_core_errors() -> None:
    findings = brenvale.compat_findings(OLD, NEW)
    assert findings == [INVOICE, TOTAL]
    assert findings[1].verdict is Verdict.BREAKING and findings[1].location == "Order.total"
    assert findings[0].location == "Invoice"
    with pytest.raises(dataclasses.FrozenInstanceError):
        findings[0].message = "changed"  # type: ignore[misc]
    with pytest.raises(ValueError, match="at line 1 column 1"):
        brenvale.compat_findings("x", NEW)
    with pytest.raises(TypeError):
        brenvale.compat_findings(None, NEW)  # type: ignore[arg-type]


def test_verdict_is_a_string_enum() -> None:
    assert [v.value for v in Verdict] == ["SAFE", "BREAKING"]
    assert Verdict("SAFE") is Verdict.SAFE and str(Verdict.BREAKING) == "BREAKING"


@pytest.mark.parametrize(
    ("report", "expected"),
    [
        ("[]", []),
        ('[{"def":"A","field":null,"message":"m","verdict":"SAFE"}]', [Finding("A", None, Verdict.SAFE, "m")]),
        ('[{"def":"A","field":"f","message":"m: n","verdict":"BREAKING","extra":1}]',
         [Finding("A", "f", Verdict.BREAKING, "m: n")]),
        ("{}", "not a JSON array"),
        ("[1]", "not an object"),
        ('[{"field":null,"message":"m","verdict":"SAFE"}]', "lacks def or message"),
        ('[{"def":"A","field":3,"message":"m","verdict":"SAFE"}]', "neither a string nor null"),
        ('[{"def":"A","field":null,"message":"m","verdict":"MAYBE"}]', "unknown verdict"),
    ],
    ids=["empty", "definition-level", "field-level-extra-member", "object", "number-row", "no-def",
         "numeric-field", "bad-verdict"],
)
def test_parse_findings(report: str, expected: list[Finding] | str) -> None:
    if isinstance(expected, str):
        with pytest.raises(ValueError, match=expected):
            parse_findings(report)
    else:
        assert parse_findings(report) == expected


IGNORE_CASES = [
    # (rule line, finding, matches)
    ("*", TOTAL, True),
    ("Order.total", TOTAL, True),
    ("Order.total: field removed", TOTAL, True),
    ("Order.total:field removed", TOTAL, True),
    ("Order.total: field added", TOTAL, False),
    ("Order", TOTAL, False),
    ("Order.*", TOTAL, True),
    ("Order.*", INVOICE, False),
    ("Invoice: model added (additive)", INVOICE, True),
    ("Invoice: model added", INVOICE, False),
    ("Invoice: model *", INVOICE, True),
    ("User.age: type changed: string -> *", TYPE_CHANGE, True),
    ("User.ag?", TYPE_CHANGE, False),
    ("User.[a]ge", TYPE_CHANGE, False),
    ("*.age", TYPE_CHANGE, True),
    ("Order.total:", TOTAL, True),
    ("  Order.total  # accepted in review 12", TOTAL, True),
    ("A#b", Finding("A#b", None, Verdict.SAFE, "m"), True),  # a hash inside a word is literal
    ("*a*a*a*a*a*a*a*a*a*a*a*a*b", Finding("a" * 40, None, Verdict.SAFE, "m"), False),  # no backtracking
    ("a*b*b", Finding("abb", None, Verdict.SAFE, "m"), True),
    ("a*ab", Finding("ab", None, Verdict.SAFE, "m"), False),  # the pieces may not overlap
]


@pytest.mark.parametrize(("line", "finding", "matches"), IGNORE_CASES, ids=[c[0] for c in IGNORE_CASES])
def test_ignore_rule(line: str, finding: Finding, matches: bool) -> None:
    rule = parse_ignore_rule(line)
    assert rule is not None
    assert rule.matches(finding) is matches


def test_parse_ignore_file_skips_blank_and_comment_lines() -> None:
    assert [parse_ignore_rule(line) for line in ["", "   ", "# a comment", "   # indented comment"]] == [None] * 4
    rules = parse_ignore("# accepted\n\nOrder.total: field removed\n  # later\nInvoice  # new model\n")
    assert [r.text for r in rules] == ["Order.total: field removed", "Invoice"]


HOSTILE = "A\u0001\u0000\ufffe\x1b[31m<img src=x onerror=alert(1)>`x`|\r\n::error::forged"
HOSTILE_ROWS = [{"def": HOSTILE, "field": "DocumentReference<User>", "message": "m | `y`\r\n::error::x",
                 "verdict": "BREAKING"},
                {"def": "B", "field": None, "message": "50% done", "verdict": "SAFE"}]
UNSAFE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\ufffe]")


def _markdown_is_inert(out: str) -> None:
    """Backslash escapes removed, what is left has no code span, no stray cell border and no tag but <code>."""
    bare = re.sub(r"\\.", "", out)
    rows = [line for line in bare.splitlines() if line.startswith("| ")]
    assert len(rows) == 6 and all(row.count("|") == 5 for row in rows) and "`" not in bare
    assert set(re.findall(r"<[^>]*>", bare)) == {"<code>", "</code>"}


def _github_commands_are_ours(out: str) -> None:
    commands = [line for line in out.splitlines() if line.lstrip().startswith("::")]
    assert [c.split(" ")[0] for c in commands] == ["::error", "::notice"] * 2


CHECKS = {
    "junit": lambda out: ET.fromstring(out),
    "json": lambda out: [[row["def"] for row in c["findings"]] for c in json.loads(out)] == [[HOSTILE, "B"]] * 2,
    "text": lambda out: len(out.splitlines()) == 2 * 6 + 1,
    "markdown": _markdown_is_inert,
    "github": _github_commands_are_ours,
}


@pytest.mark.parametrize("renderer", list(RENDERERS))
def test_reports_escape_every_name_and_message(renderer: str) -> None:
    """Two OLD files (one with a hostile name) against NEW: each format's own parser sees only its own structure."""
    report = json.dumps(HOSTILE_ROWS)
    comparisons = [judge(name, "n", report, parse_ignore("B"), FailOn.BREAKING) for name in ("o\n::error::old", "o")]
    out = RENDERERS[renderer](comparisons)
    assert UNSAFE.search(out) is None
    assert CHECKS[renderer](out) is not False


def test_json_report_marks_ignored_findings() -> None:
    comparison = judge("o", "n", json.dumps(HOSTILE_ROWS), parse_ignore("B"), FailOn.BREAKING)
    assert json.loads(RENDERERS["json"]([comparison])) == [HOSTILE_ROWS[0], {**HOSTILE_ROWS[1], "ignored": True}]
