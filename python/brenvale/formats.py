"""Renders judged compat findings as text, JSON, Markdown, GitHub annotations or JUnit XML."""

from __future__ import annotations

import xml.etree.ElementTree as ET
from collections.abc import Callable, Sequence

from .findings import Comparison, Judged, Verdict

MODEL_LEVEL = "(definition)"


def _title(comparison: Comparison) -> str:
    return f"{comparison.old_name} -> {comparison.new_name}"


def _label(item: Judged) -> str:
    verdict = item.finding.verdict.value
    return f"{verdict} (ignored)" if item.ignored else verdict


# text -------------------------------------------------------------------------------------


def _by_definition(items: Sequence[Judged]) -> dict[str, list[Judged]]:
    groups: dict[str, list[Judged]] = {}
    for item in items:
        groups.setdefault(item.finding.definition, []).append(item)
    return groups


def _text_one(comparison: Comparison, titled: bool) -> list[str]:
    lines = [_title(comparison)] if titled else []
    items = comparison.judged
    field_width = max((len(i.finding.field or MODEL_LEVEL) for i in items), default=0)
    label_width = max((len(_label(i)) for i in items), default=0)
    for definition, group in _by_definition(items).items():
        lines.append(definition)
        for item in group:
            field = (item.finding.field or MODEL_LEVEL).ljust(field_width)
            label = _label(item).ljust(label_width)
            lines.append(f"  {field}  {label}  {item.finding.message}".rstrip())
    lines.append(comparison.summary())
    return lines


def render_text(comparisons: Sequence[Comparison]) -> str:
    """Aligned table grouped by definition, a summary line per comparison."""
    titled = len(comparisons) > 1
    blocks = ["\n".join(_text_one(c, titled)) for c in comparisons]
    return "\n\n".join(blocks) + "\n"


# json -------------------------------------------------------------------------------------


def render_json(comparisons: Sequence[Comparison]) -> str:
    """The core's report verbatim; several comparisons become an array of reports."""
    if len(comparisons) == 1:
        return comparisons[0].report + "\n"
    return "[" + ",".join(c.report for c in comparisons) + "]\n"


# markdown ---------------------------------------------------------------------------------


def _cell(text: str) -> str:
    return text.replace("\\", "\\\\").replace("|", "\\|").replace("\n", " ")


def _markdown_one(comparison: Comparison) -> list[str]:
    lines = [f"### Contract changes: `{comparison.old_name}` → `{comparison.new_name}`", ""]
    if not comparison.judged:
        return [*lines, "No changes.", ""]
    lines += ["| Verdict | Definition | Field | Change |", "|---|---|---|---|"]
    for item in comparison.judged:
        f = item.finding
        verdict = f"**{_label(item)}**" if item.fails else _label(item)
        field = f"`{_cell(f.field)}`" if f.field is not None else ""
        lines.append(f"| {verdict} | `{_cell(f.definition)}` | {field} | {_cell(f.message)} |")
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
    # A breaking change stays an error even with --fail-on never; accepted ones are notices.
    level = (
        "error" if not item.ignored and (item.fails or f.verdict is Verdict.BREAKING) else "notice"
    )
    title = f"{_label(item)} contract change"
    message = f"{f.location}: {f.message}"
    if titled:
        message += f" ({_title(comparison)})"
    return f"::{level} title={_escape_property(title)}::{_escape_data(message)}"


def render_github(comparisons: Sequence[Comparison]) -> str:
    """One workflow-command annotation per finding, then the summary lines."""
    titled = len(comparisons) > 1
    lines = [_annotation(i, c, titled) for c in comparisons for i in c.judged]
    for c in comparisons:
        lines.append(f"{_title(c)}: {c.summary()}" if titled else c.summary())
    return "\n".join(lines) + "\n"


# junit ------------------------------------------------------------------------------------


def _testcase(suite: ET.Element, item: Judged) -> None:
    f = item.finding
    name = f"{f.field or MODEL_LEVEL}: {f.message}"
    case = ET.SubElement(suite, "testcase", classname=f.definition, name=name)
    if item.ignored:
        ET.SubElement(case, "skipped", message=f"ignored {f.verdict.value}: {f.message}")
    elif item.fails:
        failure = ET.SubElement(case, "failure", message=f.message, type=f.verdict.value)
        failure.text = f"{f.verdict.value} {f.location}: {f.message}"


def _suite(root: ET.Element, comparison: Comparison) -> tuple[int, int, int]:
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
