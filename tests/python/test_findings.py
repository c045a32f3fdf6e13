"""Typed findings, accepted-findings patterns and the compat report formats, in process."""

from __future__ import annotations

import dataclasses
import json

import pytest

import brenvale
from brenvale.findings import (
    FailOn,
    Finding,
    Verdict,
    judge,
    parse_findings,
    parse_ignore,
    parse_ignore_rule,
)
from brenvale.formats import RENDERERS

OLD = json.dumps({"$defs": {"Order": {"type": "object", "properties": {"id": {}, "total": {}}}}})
NEW = json.dumps(
    {
        "$defs": {
            "Invoice": {"type": "object"},
            "Order": {"type": "object", "properties": {"id": {}}},
        }
    }
)
INVOICE = Finding("Invoice", None, Verdict.SAFE, "model added (additive)")
TOTAL = Finding("Order", "total", Verdict.BREAKING, "field removed")
TYPE_CHANGE = Finding("User", "age", Verdict.BREAKING, "type changed: string -> number")


def test_compat_findings_are_typed_and_frozen() -> None:
    findings = brenvale.compat_findings(OLD, NEW)
    assert findings == [INVOICE, TOTAL]
    assert findings[1].verdict is Verdict.BREAKING and findings[1].location == "Order.total"
    assert findings[0].location == "Invoice"
    with pytest.raises(dataclasses.FrozenInstanceError):
        findings[0].message = "changed"  # type: ignore[misc]


def test_compat_findings_keep_core_errors() -> None:
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
        (
            '[{"def":"A","field":null,"message":"m","verdict":"SAFE"}]',
            [Finding("A", None, Verdict.SAFE, "m")],
        ),
        (
            '[{"def":"A","field":"f","message":"m: n","verdict":"BREAKING","extra":1}]',
            [Finding("A", "f", Verdict.BREAKING, "m: n")],
        ),
    ],
    ids=["empty", "definition-level", "field-level-extra-member"],
)
def test_parse_findings(report: str, expected: list[Finding]) -> None:
    assert parse_findings(report) == expected


@pytest.mark.parametrize(
    ("report", "error"),
    [
        ("{}", "not a JSON array"),
        ("[1]", "not an object"),
        ('[{"field":null,"message":"m","verdict":"SAFE"}]', "lacks def or message"),
        ('[{"def":"A","field":3,"message":"m","verdict":"SAFE"}]', "neither a string nor null"),
        ('[{"def":"A","field":null,"message":"m","verdict":"MAYBE"}]', "unknown verdict"),
    ],
    ids=["object", "number-row", "no-def", "numeric-field", "bad-verdict"],
)
def test_parse_findings_rejects(report: str, error: str) -> None:
    with pytest.raises(ValueError, match=error):
        parse_findings(report)


IGNORE_CASES = [
    # (rule line, finding, matches)
    ("*", TOTAL, True),
    ("*", INVOICE, True),
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
    ("Invoice.*", INVOICE, False),
    ("User.age: type changed: *", TYPE_CHANGE, True),
    ("User.age: type changed: string -> *", TYPE_CHANGE, True),
    ("User.age: type changed: number -> *", TYPE_CHANGE, False),
    ("User.ag?", TYPE_CHANGE, False),
    ("User.[a]ge", TYPE_CHANGE, False),
    ("*.age", TYPE_CHANGE, True),
    ("Order.total:", TOTAL, True),
    ("  Order.total  # accepted in review 12", TOTAL, True),
]


@pytest.mark.parametrize(
    ("line", "finding", "matches"), IGNORE_CASES, ids=[c[0] for c in IGNORE_CASES]
)
def test_ignore_rule(line: str, finding: Finding, matches: bool) -> None:
    rule = parse_ignore_rule(line)
    assert rule is not None
    assert rule.matches(finding) is matches


@pytest.mark.parametrize("line", ["", "   ", "# a comment", "   # indented comment"])
def test_blank_and_comment_lines_are_no_rule(line: str) -> None:
    assert parse_ignore_rule(line) is None


def test_hash_inside_a_word_is_literal() -> None:
    rule = parse_ignore_rule("A#b")
    assert rule is not None and rule.matches(Finding("A#b", None, Verdict.SAFE, "m"))


def test_parse_ignore_file() -> None:
    rules = parse_ignore("# accepted\n\nOrder.total: field removed\nInvoice  # new model\n")
    assert [r.text for r in rules] == ["Order.total: field removed", "Invoice"]


FAIL_ON_CASES = [
    (FailOn.BREAKING, TOTAL, True),
    (FailOn.BREAKING, INVOICE, False),
    (FailOn.ANY, INVOICE, True),
    (FailOn.ANY, TOTAL, True),
    (FailOn.NEVER, TOTAL, False),
]


@pytest.mark.parametrize(("fail_on", "finding", "fails"), FAIL_ON_CASES)
def test_fail_on(fail_on: FailOn, finding: Finding, fails: bool) -> None:
    assert fail_on.fails(finding) is fails


def comparison(ignore: str = "", fail_on: FailOn = FailOn.BREAKING):
    return judge("old.json", "new.json", brenvale.compat(OLD, NEW), parse_ignore(ignore), fail_on)


@pytest.mark.parametrize(
    ("ignore", "fail_on", "failed", "summary"),
    [
        ("", FailOn.BREAKING, True, "1 breaking, 1 safe"),
        ("Order.total", FailOn.BREAKING, False, "0 breaking, 1 safe, 1 ignored"),
        ("Order.total", FailOn.ANY, True, "0 breaking, 1 safe, 1 ignored"),
        ("*", FailOn.ANY, False, "0 breaking, 0 safe, 2 ignored"),
        ("", FailOn.NEVER, False, "1 breaking, 1 safe"),
    ],
)
def test_judge(ignore: str, fail_on: FailOn, failed: bool, summary: str) -> None:
    result = comparison(ignore, fail_on)
    assert result.failed is failed
    assert result.summary() == summary


def test_markdown_escapes_pipes() -> None:
    finding = json.dumps([{"def": "A", "field": "x|y", "message": "a | b", "verdict": "SAFE"}])
    result = judge("o", "n", finding, [], FailOn.BREAKING)
    assert "| SAFE | `A` | `x\\|y` | a \\| b |" in RENDERERS["markdown"]([result])


def test_markdown_without_changes() -> None:
    result = judge("o", "n", "[]", [], FailOn.BREAKING)
    assert "No changes." in RENDERERS["markdown"]([result])


def test_github_escapes_workflow_command_data() -> None:
    finding = json.dumps(
        [{"def": "A", "field": None, "message": "50%\nnext", "verdict": "BREAKING"}]
    )
    out = RENDERERS["github"]([judge("o", "n", finding, [], FailOn.NEVER)])
    assert out.splitlines()[0] == "::error title=BREAKING contract change::A: 50%25%0Anext"
