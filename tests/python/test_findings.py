"""Typed findings, accepted-findings patterns and report escaping, in process.

How ignore rules and --fail-on decide the exit code is run end to end in test_cli.
"""

from __future__ import annotations

import dataclasses
import json

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


@pytest.mark.parametrize(
    ("renderer", "rows", "line"),
    [
        ("markdown", [{"def": "A", "field": "x|y", "message": "a | b", "verdict": "SAFE"}],
         "| SAFE | `A` | `x\\|y` | a \\| b |"),
        ("markdown", [], "No changes."),
        ("github", [{"def": "A", "field": None, "message": "50%\nnext", "verdict": "BREAKING"}],
         "::error title=BREAKING contract change::A: 50%25%0Anext"),
    ],
    ids=["markdown-escapes-pipes", "markdown-without-changes", "github-escapes-command-data"],
)
def test_renderer_escaping(renderer: str, rows: list[dict[str, object]], line: str) -> None:
    result = judge("o", "n", json.dumps(rows), [], FailOn.NEVER)
    assert line in RENDERERS[renderer]([result]).splitlines()
