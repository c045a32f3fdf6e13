"""Renders judged compat findings as text, JSON, Markdown, GitHub annotations or JUnit XML."""

from __future__ import annotations

import json
import re
from collections.abc import Callable, Sequence

from .findings import Comparison, Judged, Verdict

TYPE_CHECKING = False  # typing costs start-up time that the command path does without
if TYPE_CHECKING:
    import xml.etree.ElementTree as ET

MODEL_LEVEL = "(definition)"

# Never written raw into a report: C0 and C1 controls (ANSI escapes, line breaks), DEL, the
# Unicode line separators, and what XML 1.0 forbids (surrogates, U+FFFE, U+FFFF).
_UNSAFE = re.compile("[\x00-\x1f\x7f-\x9f\u2028\u2029\ud800-\udfff\ufffe\uffff]")


def visible(text: str) -> str:
    """`text` with every unsafe character written as a `\\uXXXX` escape."""
    return _UNSAFE.sub(lambda m: f"\\u{ord(m.group()):04x}", text)


def _line_head(text: str) -> str:
    """`text`, visible, to start a line (after any indent): a leading `::` would make the line a
    workflow command where GitHub Actions reads the output, so its first colon is escaped."""
    shown = visible(text)
    body = shown.lstrip()
    if not body.startswith("::"):
        return shown
    return shown[: len(shown) - len(body)] + "\\u003a" + body[1:]


def _title(comparison: Comparison) -> str:
    return _line_head(f"{comparison.old_name} -> {comparison.new_name}")


def _label(item: Judged) -> str:
    verdict = item.finding.verdict.value
    return f"{verdict} (ignored)" if item.ignored else verdict


def _directions(item: Judged) -> str:
    """`backward+client`: every direction the finding breaks, as the JSON report writes them."""
    return "+".join(direction.value for direction in item.finding.directions)


def _tag(item: Judged) -> str:
    """`[rule-id, directions]`: the rule id is what an ignore line may name."""
    return visible(f"[{item.finding.rule}, {_directions(item)}]")


# text -------------------------------------------------------------------------------------


def _by_definition(items: Sequence[Judged]) -> dict[str, list[Judged]]:
    groups: dict[str, list[Judged]] = {}
    for item in items:
        groups.setdefault(item.finding.definition, []).append(item)
    return groups


def _field(item: Judged) -> str:
    field = item.finding.field
    return MODEL_LEVEL if field is None else visible(field)


def _text_one(comparison: Comparison, titled: bool) -> list[str]:
    lines = [_title(comparison)] if titled else []
    items = comparison.judged
    # A field starts its line after the indent.
    fields = {id(item): _line_head(_field(item)) for item in items}
    field_width = max((len(field) for field in fields.values()), default=0)
    label_width = max((len(_label(i)) for i in items), default=0)
    for definition, group in _by_definition(items).items():
        lines.append(_line_head(definition))
        for item in group:
            field = fields[id(item)].ljust(field_width)
            label = _label(item).ljust(label_width)
            message = visible(item.finding.message)
            lines.append(f"  {field}  {label}  {message}  {_tag(item)}")
    lines.append(comparison.summary())
    return lines


def render_text(comparisons: Sequence[Comparison]) -> str:
    """Aligned table grouped by definition, each finding with its rule and direction, a summary
    line per comparison."""
    titled = len(comparisons) > 1
    blocks = ["\n".join(_text_one(c, titled)) for c in comparisons]
    return "\n\n".join(blocks) + "\n"


# json -------------------------------------------------------------------------------------


def _json_rows(comparison: Comparison) -> str:
    """The core's findings as a JSON array, each ignored one marked `"ignored": true`. Each row
    is written as it is read, so no report stands as a list of dicts."""
    judged = iter(comparison.judged)

    def row_text(row: dict[str, object]) -> str:
        if next(judged).ignored:
            row["ignored"] = True
        return json.dumps(row, separators=(",", ":"))  # ASCII: no raw control character

    rows: list[str] = json.loads(comparison.report, object_hook=row_text)
    return "[" + ",".join(rows) + "]"


def render_json(comparisons: Sequence[Comparison]) -> str:
    """The findings array; for several OLD, one {"old", "new", "findings"} object each."""
    if len(comparisons) == 1:
        return _json_rows(comparisons[0]) + "\n"
    names = [
        json.dumps({"old": c.old_name, "new": c.new_name}, separators=(",", ":"))
        for c in comparisons
    ]
    objects = [
        f'{name[:-1]},"findings":{_json_rows(c)}}}'
        for name, c in zip(names, comparisons, strict=True)
    ]
    return "[" + ",".join(objects) + "]\n"


# markdown ---------------------------------------------------------------------------------


# Every ASCII punctuation character may be backslash-escaped in Markdown, which makes it literal:
# no code span, emphasis, link, HTML tag, entity or table cell border can start inside a name.
_MARKDOWN_PUNCTUATION = re.compile(r"([!-/:-@\[-`{-~])")


def _md(text: str) -> str:
    return _MARKDOWN_PUNCTUATION.sub(r"\\\1", visible(text))


def _md_code(text: str) -> str:
    """Monospace without a code span, so that escapes (and `\\|` in a table) still apply."""
    return f"<code>{_md(text)}</code>" if text else ""


def _markdown_one(comparison: Comparison) -> list[str]:
    old, new = _md_code(comparison.old_name), _md_code(comparison.new_name)
    lines = [f"### Contract changes: {old} → {new}", ""]
    if not comparison.judged:
        return [*lines, "No changes.", ""]
    lines += [
        "| Verdict | Definition | Field | Change | Rule | Direction |",
        "|---|---|---|---|---|---|",
    ]
    for item in comparison.judged:
        f = item.finding
        verdict = f"**{_label(item)}**" if item.fails else _label(item)
        field = _md_code(f.field) if f.field is not None else ""
        cells = [verdict, _md_code(f.definition), field, _md(f.message), _md_code(f.rule)]
        lines.append(f"| {' | '.join(cells)} | {_directions(item)} |")
    return [*lines, "", comparison.summary(), ""]


def render_markdown(comparisons: Sequence[Comparison]) -> str:
    """A table per comparison, ready for a pull-request comment."""
    return "\n".join(line for c in comparisons for line in _markdown_one(c))


# github -----------------------------------------------------------------------------------


def _escape_data(text: str) -> str:
    return text.replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")


def _escape_property(text: str) -> str:
    return _escape_data(text).replace(":", "%3A").replace(",", "%2C")


def _annotation(item: Judged, comparison: Comparison, titled: bool) -> str:
    f = item.finding
    # A breaking change stays an error even with --fail-on never; accepted ones are notices; one
    # SAFE only because the mode leaves client code out is a warning.
    if item.ignored:
        level = "notice"
    elif item.fails or f.verdict is Verdict.BREAKING:
        level = "error"
    else:
        level = "warning" if f.breaks_client else "notice"
    title = f"{_label(item)} contract change"
    message = visible(f"{f.location}: {f.message} ") + _tag(item)
    if titled:
        message += f" ({_title(comparison)})"
    return f"::{level} title={_escape_property(title)}::{_escape_data(message)}"


def render_github(comparisons: Sequence[Comparison]) -> str:
    """One workflow-command annotation per finding, then the summary lines.

    A summary line starts with its counts, so no file name can make it a workflow command."""
    titled = len(comparisons) > 1
    lines = [_annotation(i, c, titled) for c in comparisons for i in c.judged]
    for c in comparisons:
        lines.append(f"{c.summary()} ({_title(c)})" if titled else c.summary())
    return "\n".join(lines) + "\n"


# junit ------------------------------------------------------------------------------------


def _testcase(suite: ET.Element, item: Judged) -> None:
    import xml.etree.ElementTree as ET

    f = item.finding
    message = visible(f.message)
    case = ET.SubElement(
        suite,
        "testcase",
        classname=visible(f.definition),
        name=f"{_field(item)}: {message} {_tag(item)}",
    )
    if item.ignored:
        ET.SubElement(case, "skipped", message=f"ignored {f.verdict.value}: {message}")
    elif item.fails:
        failure = ET.SubElement(case, "failure", message=message, type=f.verdict.value)
        failure.text = f"{f.verdict.value} {visible(f.location)}: {message}"


def _suite(root: ET.Element, comparison: Comparison) -> tuple[int, int, int]:
    import xml.etree.ElementTree as ET

    tests = len(comparison.judged)
    failures = sum(1 for i in comparison.judged if i.fails)
    skipped = comparison.ignored
    suite = ET.SubElement(
        root,
        "testsuite",
        name=_title(comparison),
        tests=str(tests),
        failures=str(failures),
        errors="0",
        skipped=str(skipped),
    )
    for item in comparison.judged:
        _testcase(suite, item)
    return tests, failures, skipped


def render_junit(comparisons: Sequence[Comparison]) -> str:
    """JUnit XML: a suite per comparison, a case per finding, failing ones as failures."""
    import xml.etree.ElementTree as ET

    root = ET.Element("testsuites", name="brenvale compat")
    totals = [_suite(root, c) for c in comparisons]
    for key, index in (("tests", 0), ("failures", 1), ("errors", None), ("skipped", 2)):
        root.set(key, str(sum(t[index] for t in totals)) if index is not None else "0")
    ET.indent(root)
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(root, encoding="unicode") + "\n"


RENDERERS: dict[str, Callable[[Sequence[Comparison]], str]] = {
    "text": render_text,
    "json": render_json,
    "markdown": render_markdown,
    "github": render_github,
    "junit": render_junit,
}
