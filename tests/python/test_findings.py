"""Typed findings, accepted-findings patterns with their expiry and reason, the lines that accept
findings, and report escaping, in process; the cases are in tests/data/findings_cases.json. How
ignore files, --mode and --fail-on decide the exit code, and the JSON report's ignored mark, run
in test_cli."""

from __future__ import annotations

import json
import re
import xml.etree.ElementTree as ET
from collections.abc import Callable
from datetime import date
from pathlib import Path
from typing import Any

import pytest

import brenvale
from brenvale import findings
from brenvale.formats import RENDERERS

CASES = json.loads(
    (Path(__file__).resolve().parents[1] / "data" / "findings_cases.json").read_text("utf-8")
)
UNSAFE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\ufffe]")


def finding(entry: str | dict[str, Any]) -> findings.Finding:
    """A finding written out, or named in CASES["findings"], or a named one with fields changed."""
    if isinstance(entry, str):
        entry = {"like": entry}
    row = {**CASES["findings"].get(entry.get("like"), {}), **entry}
    row.pop("like", None)
    row["verdict"] = findings.Verdict(row["verdict"])
    row["directions"] = tuple(findings.Direction(name) for name in row["directions"])
    return findings.Finding(**row)


@pytest.mark.parametrize("case", CASES["compat"], ids=lambda case: case["mode"])
def test_compat_findings_carry_rule_and_direction_and_follow_mode(case: dict[str, Any]) -> None:
    mode: findings.Mode = case["mode"]
    found = brenvale.compat_findings(json.dumps(CASES["old"]), json.dumps(CASES["new"]), mode)
    assert found == [finding(entry) for entry in case["findings"]]
    assert (found[1].location, found[2].location) == ("Invoice", "Order.total")


@pytest.mark.parametrize("case", CASES["directions"], ids=lambda case: str(case["direction"]))
def test_a_finding_breaks_every_direction_its_report_names(case: dict[str, Any]) -> None:
    row = {**CASES["report"][1], "direction": case["direction"]}
    if case["directions"] is None:
        with pytest.raises(ValueError, match="unknown direction"):
            findings.parse_findings(json.dumps([row]))
    else:
        (found,) = findings.parse_findings(json.dumps([row]))
        assert [d.value for d in found.directions] == case["directions"]
        assert found.direction.value == case["directions"][0]


def test_a_client_break_the_mode_leaves_out_is_said() -> None:
    case = CASES["left_out"]
    rules = findings.parse_ignore(case["ignore"])
    judged = findings.judge("o", "n", json.dumps(case["report"]), rules, findings.FailOn.BREAKING)
    assert judged.summary() == case["summary"]
    out = RENDERERS["github"]([judged])
    assert [line.split(" ")[0] for line in out.splitlines()[:-1]] == case["github"]
    assert "[model-removed, backward+client]" in RENDERERS["text"]([judged])


@pytest.mark.parametrize("case", CASES["ignore"], ids=lambda case: case["line"])
def test_ignore_rule(case: dict[str, Any]) -> None:
    rule = findings.parse_ignore_rule(case["line"])
    assert rule is not None
    assert rule.matches(finding(case["finding"])) is case["matches"]


def _markdown_is_inert(out: str) -> None:
    """Backslash escapes removed, what is left has no code span, no stray cell border and no tag
    but <code>."""
    bare = re.sub(r"\\.", "", out)
    rows = [line for line in bare.splitlines() if line.startswith("| ")]
    assert len(rows) == 6
    assert all(row.count("|") == 7 for row in rows)
    assert "`" not in bare
    assert set(re.findall(r"<[^>]*>", bare)) == {"<code>", "</code>"}


def _github_commands_are_ours(out: str) -> None:
    commands = [line for line in out.splitlines() if line.lstrip().startswith("::")]
    assert [c.split(" ")[0] for c in commands] == ["::error", "::notice"] * 2


def _text_lines_are_inert(out: str) -> None:
    """A title, a line per definition and per finding, a summary, for each comparison; none of
    them a workflow command."""
    lines = out.splitlines()
    assert len(lines) == 2 * 6 + 1
    assert not any(line.lstrip().startswith("::") for line in lines)


def _json_keeps_every_name(out: str) -> None:
    names = [[row["def"] for row in comparison["findings"]] for comparison in json.loads(out)]
    assert names == [[row["def"] for row in CASES["report"]]] * 2


CHECKS: dict[str, Callable[[str], object]] = {
    "junit": ET.fromstring,
    "json": _json_keeps_every_name,
    "text": _text_lines_are_inert,
    "markdown": _markdown_is_inert,
    "github": _github_commands_are_ours,
}


@pytest.mark.parametrize("renderer", list(RENDERERS))
def test_reports_escape_every_name_message_and_rule(renderer: str) -> None:
    """Two OLD files (one with a hostile name) against NEW: each format's own parser sees only its
    own structure."""
    report = json.dumps(CASES["report"])
    comparisons = [
        findings.judge(name, "n", report, findings.parse_ignore("B"), findings.FailOn.BREAKING)
        for name in ("::error::o\n::error::old", "o")
    ]
    out = RENDERERS[renderer](comparisons)
    assert UNSAFE.search(out) is None
    assert CHECKS[renderer](out) is not False


@pytest.mark.parametrize("case", CASES["suppress"], ids=lambda case: case["line"])
def test_suppression_expiry_reason_and_warnings(case: dict[str, Any]) -> None:
    rules = findings.parse_ignore(case["line"], date.fromisoformat(CASES["today"]))
    found = finding(case["finding"])
    assert findings.is_ignored(found, rules) is case["matches"]
    assert [text for _, text in findings.rule_warnings(rules, [found])] == case["warnings"]


@pytest.mark.parametrize("case", CASES["accept"]["cases"], ids=lambda case: str(case["until"]))
def test_accepted_lines_hide_exactly_the_findings_they_name(case: dict[str, Any]) -> None:
    given = [finding(entry) for entry in CASES["accept"]["findings"]]
    until = case["until"] and date.fromisoformat(case["until"])
    lines, unwritable = findings.accept_lines(given, until)
    assert lines == case["lines"]
    assert unwritable == [given[index] for index in case["unwritable"]]
    rules = findings.parse_ignore("\n".join(lines), date.fromisoformat(CASES["today"]))
    for item in given + [finding(entry) for entry in CASES["accept"]["others"]]:
        assert findings.is_ignored(item, rules) is (item in given and item not in unwritable)
