"""Typed compat findings parsed from the core's JSON report, and the accepted-findings list."""

from __future__ import annotations

import enum
import json
import re
from dataclasses import dataclass
from datetime import date

from . import _ext

TYPE_CHECKING = False  # typing costs start-up time that the command path does without
if TYPE_CHECKING:
    from collections.abc import Iterable, Iterator, Sequence
    from typing import Any, Literal

    # Which directions are BREAKING: stored documents (backward), old readers (forward), or
    # all; at run time, _ext.MODES.
    Mode = Literal["full", "backward", "forward"]


class Verdict(str, enum.Enum):
    """How a change affects readers and writers of existing documents."""

    SAFE = "SAFE"
    BREAKING = "BREAKING"

    def __str__(self) -> str:
        return self.value


class Direction(str, enum.Enum):
    """Who a change breaks: stored documents read under the new contract (backward), new
    documents read by old readers (forward), or client code compiled against the old module."""

    BACKWARD = "backward"
    FORWARD = "forward"
    CLIENT = "client"

    def __str__(self) -> str:
        return self.value


@dataclass(frozen=True)
class Finding:
    """One change between two contract versions, with the rule that found it and every
    direction it breaks, in the order of Direction (a removed field breaks old readers and the
    client code that reads it)."""

    definition: str
    field: str | None
    verdict: Verdict
    message: str
    rule: str
    directions: tuple[Direction, ...]

    @property
    def direction(self) -> Direction:
        """The first of `directions`: for every rule but `type-changed` the one it had when a
        finding had only one."""
        return self.directions[0]

    @property
    def breaks_client(self) -> bool:
        return Direction.CLIENT in self.directions

    @property
    def location(self) -> str:
        """`Definition.field`, or `Definition` for a definition-level finding."""
        return self.definition if self.field is None else f"{self.definition}.{self.field}"


def parse_findings(report: str) -> list[Finding]:
    """Parses the JSON array that `compat` returns; ValueError when it is not one."""
    # Each row becomes its finding as it is read, its dict gone at once, and the texts that
    # findings repeat (names, rule ids, directions) are held once: a report of a million
    # findings never stands beside a million dicts.
    shared: dict[str, Any] = {}
    rows = json.loads(report, object_hook=lambda row: _finding(row, shared))
    if not isinstance(rows, list):
        raise ValueError("findings report is not a JSON array")
    return rows


def _finding(row: object, shared: dict[str, Any]) -> Finding:
    if not isinstance(row, dict):
        raise ValueError(f"finding is not an object: {row!r}")
    definition, field, message = row.get("def"), row.get("field"), row.get("message")
    rule = row.get("rule")
    if not (isinstance(definition, str) and isinstance(message, str) and isinstance(rule, str)):
        raise ValueError(f"finding lacks def, message or rule: {row!r}")
    if field is not None and not isinstance(field, str):
        raise ValueError(f"finding field is neither a string nor null: {row!r}")
    try:
        verdict = Verdict(row.get("verdict"))
    except ValueError:
        raise ValueError(f"finding has an unknown verdict: {row!r}") from None
    directions = row.get("direction")
    parsed = shared.get(directions) if isinstance(directions, str) else None
    if parsed is None:
        parsed = _directions(directions)
        if not parsed or not isinstance(directions, str):
            raise ValueError(f"finding has an unknown direction: {row!r}")
        shared[directions] = parsed
    definition = shared.setdefault(definition, definition)
    rule = shared.setdefault(rule, rule)
    return Finding(definition, field, verdict, message, rule, parsed)


def _directions(directions: object) -> tuple[Direction, ...]:
    """`backward+client` as its directions; empty for any other value, or one twice."""
    try:
        parsed = tuple(Direction(name) for name in str(directions).split("+"))
    except ValueError:
        return ()
    if not isinstance(directions, str) or len(set(parsed)) != len(parsed):
        return ()
    return parsed


def compat_findings(old_json: str, new_json: str, mode: Mode = "full") -> list[Finding]:
    """Every compat rule's findings as typed values; `mode` ("full", "backward" or "forward")
    names the directions that are BREAKING, the others' findings are SAFE."""
    return parse_findings(_ext.compat(old_json, new_json, mode))


class Glob:
    """A pattern where only `*` is special (any run of characters); `?` and `[` match themselves.

    Matching takes the literal pieces between stars left to right, each at its first place:
    linear in the name, with no backtracking however many stars there are."""

    __slots__ = ("pieces",)

    def __init__(self, pattern: str) -> None:
        self.pieces = pattern.split("*")

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Glob) and self.pieces == other.pieces

    def __hash__(self) -> int:
        return hash(tuple(self.pieces))

    def __repr__(self) -> str:
        return f"Glob({'*'.join(self.pieces)!r})"

    def fullmatch(self, text: str) -> bool:
        first, *middle_and_last = self.pieces
        if not middle_and_last:
            return text == first
        *middle, last = middle_and_last
        if len(text) < len(first) + len(last) or not text.startswith(first):
            return False
        end = len(text) - len(last)
        if not text.endswith(last):
            return False
        position = len(first)
        for piece in middle:
            found = text.find(piece, position, end)
            if found < 0:
                return False
            position = found + len(piece)
        return True


# A `#` opens a comment, the rule's reason, at the start of a line or after a blank, so `a#b`
# stays literal.
_COMMENT = re.compile(r"(^|\s)#(.*)$")
# An expiry is its own field: two or more blanks before it, and nothing but the reason after.
_EXPIRY = re.compile(r"(.*?\S)\s{2,}until\s+(\d{4}-\d{2}-\d{2})")
# What `--accept` writes for the reason; it counts as none until someone replaces it.
REASON_PLACEHOLDER = "TODO: say why this change is accepted"


@dataclass(frozen=True)
class IgnoreRule:
    """One accepted-findings line: a location pattern and an optional pattern that matches
    the finding's message or its rule id, with an optional expiry and reason. An expired rule,
    or one whose expiry is not a date, matches nothing."""

    text: str
    location: Glob
    message: Glob | None
    line: int = 0
    until: str | None = None  # YYYY-MM-DD as written, the last day the rule holds
    expired: bool = False
    reason: str = ""

    def matches(self, finding: Finding) -> bool:
        if self.expired or not self.location.fullmatch(finding.location):
            return False
        if self.message is None:
            return True
        return self.message.fullmatch(finding.message) or self.message.fullmatch(finding.rule)


def parse_ignore_rule(line: str, number: int = 0, today: date | None = None) -> IgnoreRule | None:
    """Parses `PATTERN[  until YYYY-MM-DD][  # reason]`, where PATTERN is `Location: message`,
    `Location: rule-id` or `Location`; None for a blank or comment-only line. A rule expires
    after its `until` day, as of `today` (default: the local date)."""
    comment = _COMMENT.search(line)
    text = (line[: comment.start()] if comment else line).strip()
    if not text:
        return None
    reason = comment[2].strip() if comment else ""
    expiry = _EXPIRY.fullmatch(text)
    until = None
    if expiry:
        text, until = expiry[1], expiry[2]
    # Messages may hold colons ("type changed: a -> b"); locations never do.
    location, colon, message = text.partition(":")
    message = message.strip()
    return IgnoreRule(
        text=text,
        location=Glob(location.strip()),
        message=Glob(message) if colon and message else None,
        line=number,
        until=until,
        expired=until is not None and _expired(until, today or date.today()),
        reason="" if reason == REASON_PLACEHOLDER else reason,
    )


def _expired(until: str, today: date) -> bool:
    day = _date(until)
    return day is None or day < today


def _date(text: str) -> date | None:
    try:
        return date.fromisoformat(text)
    except ValueError:
        return None


def parse_ignore(text: str, today: date | None = None) -> list[IgnoreRule]:
    """Parses an accepted-findings file, one rule a line."""
    today = today or date.today()  # one day for the whole file, even across midnight
    rules = (parse_ignore_rule(line, n, today) for n, line in enumerate(text.splitlines(), 1))
    return [rule for rule in rules if rule is not None]


class RuleIndex:
    """Rules by the place they name where it holds no `*`, and the patterns beside them: a
    finding is held to its own place's rules and the patterns alone, so a file of one line per
    finding, as --accept writes it, costs time linear in the two."""

    __slots__ = ("by_location", "patterns")

    def __init__(self, rules: Iterable[IgnoreRule]) -> None:
        self.by_location: dict[str, list[IgnoreRule]] = {}
        self.patterns: list[IgnoreRule] = []
        for rule in rules:
            pieces = rule.location.pieces
            if len(pieces) == 1:
                self.by_location.setdefault(pieces[0], []).append(rule)
            else:
                self.patterns.append(rule)

    def matching(self, finding: Finding) -> Iterator[IgnoreRule]:
        for rule in self.by_location.get(finding.location, ()):
            if rule.matches(finding):
                yield rule
        for rule in self.patterns:
            if rule.matches(finding):
                yield rule


def _used(rules: Iterable[IgnoreRule], findings: Iterable[Finding]) -> set[int]:
    """The ids of the rules that match one of `findings` at least."""
    index = RuleIndex(rules)
    return {id(rule) for finding in findings for rule in index.matching(finding)}


def is_ignored(finding: Finding, rules: Iterable[IgnoreRule] | RuleIndex) -> bool:
    index = rules if isinstance(rules, RuleIndex) else RuleIndex(rules)
    return next(index.matching(finding), None) is not None


def rule_warnings(
    rules: Iterable[IgnoreRule], findings: Iterable[Finding]
) -> list[tuple[IgnoreRule, str]]:
    """What is wrong with each rule, in order: expired or an expiry that is not a date (it
    matches nothing), else matching none of `findings`; and no reason given."""
    rules = list(rules)
    used = _used(rules, findings)
    warnings = []
    for rule in rules:
        if rule.until is not None and _date(rule.until) is None:
            warnings.append(
                (rule, f"{rule.text!r}: until {rule.until} is not a date, hides nothing")
            )
        elif rule.expired:
            warnings.append((rule, f"{rule.text!r}: expired (until {rule.until}), hides nothing"))
        elif id(rule) not in used:
            warnings.append((rule, f"{rule.text!r} matches no finding"))
        if not rule.reason:
            warnings.append((rule, f"{rule.text!r} has no reason (write one after #)"))
    return warnings


def accept_lines(
    findings: Iterable[Finding], until: date | None = None
) -> tuple[list[str], list[Finding]]:
    """Ignore-file lines that accept exactly `findings`, by place and message, each with the
    reason placeholder; and the findings that no line can name exactly (a `*` in a name or
    message, a line break, a `:` in a location, a `.` in a definition's or a field's name,
    which would name another place too...), which are left out."""
    lines: list[str] = []
    written: set[str] = set()
    unwritable: list[Finding] = []
    expiry = f"  until {until.isoformat()}" if until else ""
    for finding in findings:
        line = f"{finding.location}: {finding.message}{expiry}  # {REASON_PLACEHOLDER}"
        rule = parse_ignore_rule(line, today=until)
        exact = (
            rule is not None
            and "." not in finding.definition
            and "." not in (finding.field or "")
            and line.splitlines() == [line]
            and rule.location.pieces == [finding.location]
            and rule.message is not None
            and rule.message.pieces == [finding.message]
            and rule.until == (until and until.isoformat())
        )
        if not exact:
            unwritable.append(finding)
        elif line not in written:
            written.add(line)
            lines.append(line)
    return lines, unwritable


class FailOn(str, enum.Enum):
    """Which findings, when not ignored, fail a compat run."""

    BREAKING = "breaking"
    ANY = "any"
    NEVER = "never"

    def fails(self, finding: Finding) -> bool:
        if self is FailOn.NEVER:
            return False
        return self is FailOn.ANY or finding.verdict is Verdict.BREAKING


class Judged:
    """A finding with what the run makes of it. This class and the next are plain: creating a
    dataclass costs a millisecond of every compat and check run's start-up."""

    __slots__ = ("fails", "finding", "ignored")

    def __init__(self, finding: Finding, ignored: bool, fails: bool) -> None:
        self.finding, self.ignored, self.fails = finding, ignored, fails


class Comparison:
    """The findings of one OLD bundle against NEW, judged."""

    __slots__ = ("judged", "new_name", "old_name", "report")

    def __init__(
        self, old_name: str, new_name: str, report: str, judged: tuple[Judged, ...]
    ) -> None:
        self.old_name, self.new_name, self.report, self.judged = old_name, new_name, report, judged

    @property
    def failed(self) -> bool:
        return any(item.fails for item in self.judged)

    def count(self, verdict: Verdict) -> int:
        """Findings of `verdict` that are not ignored."""
        return sum(1 for j in self.judged if not j.ignored and j.finding.verdict is verdict)

    @property
    def ignored(self) -> int:
        return sum(1 for item in self.judged if item.ignored)

    @property
    def client_left_out(self) -> int:
        """SAFE findings, not ignored, that break client code: SAFE only because the mode
        leaves the client direction out."""
        return sum(
            1
            for j in self.judged
            if not j.ignored and j.finding.verdict is Verdict.SAFE and j.finding.breaks_client
        )

    def summary(self) -> str:
        """`2 breaking, 3 safe`, plus the ignored count when there are any, and what the mode
        left out that breaks client code."""
        text = f"{self.count(Verdict.BREAKING)} breaking, {self.count(Verdict.SAFE)} safe"
        if self.ignored:
            text += f", {self.ignored} ignored"
        if self.client_left_out:
            text += f" ({self.client_left_out} safe only under this --mode: client code breaks)"
        return text


def judge(
    old_name: str, new_name: str, report: str, rules: Sequence[IgnoreRule], fail_on: FailOn
) -> Comparison:
    """Parses `report` and marks each finding ignored and/or failing."""
    judged = []
    index = RuleIndex(rules)
    for finding in parse_findings(report):
        ignored = is_ignored(finding, index)
        judged.append(Judged(finding, ignored, not ignored and fail_on.fails(finding)))
    return Comparison(old_name, new_name, report, tuple(judged))
