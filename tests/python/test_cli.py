"""The brenvale command line, run as a real process (console script and `python -m`)."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import sysconfig
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

import brenvale
from brenvale import cli

GUARANTEED = {"type": "string", "x-firestore-presence-guaranteed": True}
CONTRACT = {
    "Address": {
        "type": "object",
        "properties": {
            "city": {"type": "string"},
            "zip": {"anyOf": [{"type": "string"}, {"type": "null"}]},
        },
        "required": ["city"],
    },
    "Post": {
        "type": "object",
        "x-firestore-collection": "users/{uid}/posts",
        "x-firestore-doc-id-field": "id",
        "properties": {
            "id": {"type": "string"},
            "status": {"$ref": "#/$defs/PostStatus", "x-firestore-presence-guaranteed": True},
            "tags": {"type": "array", "items": {"type": "string"}},
            "title": GUARANTEED,
        },
        "required": ["id", "status", "title"],
    },
    "PostStatus": {"enum": ["draft", "published"], "type": "string"},
    "User": {
        "type": "object",
        "x-firestore-collection": "users",
        "x-firestore-doc-id-field": "uid",
        "properties": {
            "address": {"anyOf": [{"$ref": "#/$defs/Address"}, {"type": "null"}], "default": None},
            "email": GUARANTEED,
            "uid": {"type": "string"},
        },
        "required": ["email", "uid"],
    },
}
EXAMPLE = json.dumps({"$defs": CONTRACT}, indent=1)
SCRIPT = Path(sysconfig.get_path("scripts")) / "brenvale"
RUNNERS = {"module": [sys.executable, "-m", "brenvale"], "script": [str(SCRIPT)]}


def _changed_contract() -> str:
    """The example with one removed field, one retyped field and two additions."""
    defs = json.loads(EXAMPLE)["$defs"]
    del defs["Post"]["properties"]["tags"]
    defs["User"]["properties"]["email"] = {"type": "integer"}
    defs["User"]["properties"]["nickname"] = {"type": "string"}
    defs["Tag"] = {"type": "object", "properties": {}}
    return json.dumps({"$defs": defs}, indent=1)


def _additive_contract() -> str:
    defs = json.loads(EXAMPLE)["$defs"]
    defs["Tag"] = {"type": "object", "properties": {}}
    return json.dumps({"$defs": defs}, indent=1)


CHANGED = _changed_contract()
ADDITIVE = _additive_contract()


def run(*args: str, stdin: str = "", runner: str = "module", cwd: Path | None = None):
    return subprocess.run(
        [*RUNNERS[runner], *args],
        input=stdin.encode(),
        capture_output=True,
        cwd=cwd,
        timeout=60,
        check=False,
    )


@pytest.fixture
def files(tmp_path: Path) -> Path:
    """tmp_path holding v1 (the example), v2 (breaking and safe), v1b (safe only) and junk."""
    (tmp_path / "v1.json").write_text(EXAMPLE)
    (tmp_path / "v2.json").write_text(CHANGED)
    (tmp_path / "v1b.json").write_text(ADDITIVE)
    (tmp_path / "models.json").write_text("models: [User]\n")
    (tmp_path / "latin1.json").write_bytes(b'{"a": "\xe9"}')
    return tmp_path


# help and version -------------------------------------------------------------------------


@pytest.mark.parametrize("runner", list(RUNNERS))
@pytest.mark.parametrize("command", [[], ["emit"], ["plain"], ["bundle"], ["compat"]])
def test_help(runner: str, command: list[str]) -> None:
    result = run(*command, "--help", runner=runner)
    assert result.returncode == 0
    assert result.stdout.decode().startswith(f"usage: brenvale {' '.join(command)}".rstrip())
    assert b"exit codes" in result.stdout


@pytest.mark.parametrize("runner", list(RUNNERS))
def test_version(runner: str) -> None:
    result = run("--version", runner=runner)
    assert (result.returncode, result.stdout.decode()) == (0, f"brenvale {brenvale.__version__}\n")
    assert brenvale.__version__ == "0.1.0"


# generation -------------------------------------------------------------------------------

GENERATORS = [
    ("emit", [], brenvale.emit),
    ("plain", [], brenvale.emit_plain),
    (
        "emit",
        ["--shared-path", "./shared", "--shared", "Address", "PostStatus"],
        lambda b: brenvale.emit_shared(b, "./shared", ["Address", "PostStatus"]),
    ),
    (
        "emit",
        ["--shared-path", "./shared", "--shared", "Address", "--shared", "PostStatus"],
        lambda b: brenvale.emit_shared(b, "./shared", ["Address", "PostStatus"]),
    ),
]
GENERATOR_IDS = ["emit", "plain", "emit-shared", "emit-shared-repeated"]


@pytest.mark.parametrize("runner", list(RUNNERS))
@pytest.mark.parametrize(("command", "extra", "expected"), GENERATORS, ids=GENERATOR_IDS)
@pytest.mark.parametrize("source", ["file", "stdin"])
def test_generate_to_stdout(files, runner, command, extra, expected, source) -> None:
    path, stdin = (str(files / "v1.json"), "") if source == "file" else ("-", EXAMPLE)
    result = run(command, path, *extra, stdin=stdin, runner=runner)
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode() == expected(EXAMPLE)


@pytest.mark.parametrize(("command", "extra", "expected"), GENERATORS[:3], ids=GENERATOR_IDS[:3])
def test_generate_to_new_file_in_new_folders(files, command, extra, expected) -> None:
    out = files / "web" / "src" / "gen.ts"
    result = run(command, "-", *extra, "-o", str(out), stdin=EXAMPLE)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert out.read_text() == expected(EXAMPLE)
    assert sorted(p.name for p in out.parent.iterdir()) == ["gen.ts"]  # no temporary left


def test_output_rewritten_when_changed_and_keeps_mode(files) -> None:
    out = files / "gen.ts"
    out.write_text("old")
    out.chmod(0o640)
    assert run("emit", str(files / "v1.json"), "-o", str(out)).returncode == 0
    assert out.read_text() == brenvale.emit(EXAMPLE)
    assert oct(out.stat().st_mode & 0o777) == oct(0o640)


def test_unchanged_output_keeps_its_mtime(files) -> None:
    out = files / "gen.ts"
    out.write_text(brenvale.emit(EXAMPLE))
    os.utime(out, ns=(1_000_000_000, 1_000_000_000))
    assert run("emit", str(files / "v1.json"), "-o", str(out)).returncode == 0
    assert out.stat().st_mtime_ns == 1_000_000_000


def test_output_through_symlink_updates_the_target(files) -> None:
    target = files / "real.ts"
    target.write_text("old")
    link = files / "link.ts"
    link.symlink_to(target)
    assert run("plain", str(files / "v1.json"), "-o", str(link)).returncode == 0
    assert link.is_symlink() and target.read_text() == brenvale.emit_plain(EXAMPLE)


# --check ----------------------------------------------------------------------------------

CHECK_CASES = [
    # (what OUT holds first or None, expected exit, expected stderr word)
    ("fresh", 0, ""),
    ("stale", 1, "is stale"),
    (None, 1, "is missing"),
]


@pytest.mark.parametrize("command", ["emit", "plain"])
@pytest.mark.parametrize(("state", "code", "word"), CHECK_CASES, ids=["fresh", "stale", "missing"])
def test_check(files, command, state, code, word) -> None:
    out = files / "out" / "gen.ts"
    expected = (brenvale.emit if command == "emit" else brenvale.emit_plain)(EXAMPLE)
    before = None
    if state is not None:
        out.parent.mkdir()
        before = expected if state == "fresh" else expected.replace("export", "exported", 1)
        out.write_text(before)
    result = run(command, str(files / "v1.json"), "-o", str(out), "--check")
    assert result.returncode == code
    assert word in result.stderr.decode()
    if code:
        diff = result.stdout.decode().splitlines()
        assert diff[1] == f"+++ {out} (generated)"
        assert any(line.startswith("+") and not line.startswith("+++") for line in diff)
    else:
        assert result.stdout == b""
    assert (out.read_text() if out.exists() else None) == before  # --check writes nothing


def test_check_diff_is_short(files) -> None:
    out = files / "gen.ts"
    out.write_text("")
    result = run("emit", str(files / "v1.json"), "-o", str(out), "--check")
    lines = result.stdout.decode().splitlines()
    assert result.returncode == 1 and len(lines) == cli.DIFF_LINES + 1
    assert lines[-1].endswith("more diff lines")


def test_global_check_is_for_hooks(files) -> None:
    out = files / "gen.ts"
    result = run("--check", "plain", str(files / "v1.json"), "-o", str(out))
    assert result.returncode == 1 and not out.exists()


# errors -----------------------------------------------------------------------------------

USAGE_ERRORS = [
    ([], "required: COMMAND"),
    (["emit"], "exactly one of BUNDLE or --models"),
    (["emit", "{v1}", "--models", "pkg.mod"], "exactly one of BUNDLE or --models"),
    (["emit", "{v1}", "--shared", "Address"], "--shared-path and --shared go together"),
    (["emit", "{v1}", "--shared-path", "./s"], "--shared-path and --shared go together"),
    (["plain", "{v1}", "--check"], "--check needs -o OUT"),
    (["bundle"], "required: --models"),
    (["compat", "{v1}"], "at least one OLD bundle"),
    (["compat", "{v1}", "{v2}", "--format", "yaml"], "invalid choice: 'yaml'"),
    (["compat", "{v1}", "{v2}", "--fail-on", "some"], "invalid choice: 'some'"),
    (["--check", "compat", "{v1}", "{v2}"], "--check applies to emit, plain and bundle"),
    (["emit", "{v1}", "--bogus"], "unrecognized arguments: --bogus"),
]


@pytest.mark.parametrize(("args", "message"), USAGE_ERRORS, ids=[m for _, m in USAGE_ERRORS])
def test_usage_errors(files, args, message) -> None:
    paths = {"v1": files / "v1.json", "v2": files / "v2.json"}
    result = run(*(a.format(**paths) for a in args))
    assert result.returncode == 2
    assert message in result.stderr.decode()
    assert result.stdout == b""


FILE_ERRORS = [
    (["emit", "models.json"], "", "models.json: expected value at line 1 column 1"),
    (["plain", "-"], "[1, }", "<stdin>: expected value at line 1 column 5"),
    (["emit", "missing.json"], "", "missing.json: No such file or directory"),
    (["emit", "."], "", ".: Is a directory"),
    (
        ["plain", "latin1.json"],
        "",
        "latin1.json: not UTF-8 text (invalid continuation byte at byte 7)",
    ),
    (["compat", "models.json", "v2.json"], "", "models.json: expected value at line 1 column 1"),
    (["compat", "v1.json", "-"], "{1}", "<stdin>: key must be a string at line 1 column 2"),
    (["compat", "-", "-"], "{}", "<stdin>: standard input can be read only once"),
    (
        ["compat", "v1.json", "v2.json", "--ignore", "nope.txt"],
        "",
        "nope.txt: No such file or directory",
    ),
]


@pytest.mark.parametrize(("args", "stdin", "line"), FILE_ERRORS, ids=[e[2] for e in FILE_ERRORS])
def test_file_errors_are_one_line(files, args, stdin, line) -> None:
    result = run(*args, stdin=stdin, cwd=files)
    assert result.returncode == 2
    assert result.stderr.decode() == f"brenvale: error: {line}\n"
    assert result.stdout == b""


@pytest.mark.parametrize("args", [["emit", "models.json"], ["plain", "missing.json"]])
def test_failed_run_leaves_existing_output_identical(files, args) -> None:
    out = files / "gen.ts"
    out.write_bytes(b"previous \x00 bytes")
    os.utime(out, ns=(2_000_000_000, 2_000_000_000))
    result = run(*args, "-o", "gen.ts", cwd=files)
    assert result.returncode == 2
    assert out.read_bytes() == b"previous \x00 bytes"
    assert out.stat().st_mtime_ns == 2_000_000_000
    assert sorted(p.name for p in files.iterdir() if p.name.startswith(".")) == []


@pytest.mark.parametrize(
    ("failing", "error", "code", "stderr"),
    [
        ("fsync", KeyboardInterrupt(), 130, "brenvale: interrupted\n"),
        (
            "replace",
            PermissionError(13, "Permission denied"),
            2,
            "brenvale: error: {out}: Permission denied\n",
        ),
        (
            "fsync",
            OSError(28, "No space left on device"),
            2,
            "brenvale: error: {out}: No space left on device\n",
        ),
    ],
    ids=["interrupted", "replace-refused", "disk-full"],
)
def test_failure_during_write_keeps_old_file(
    files, monkeypatch, capsys, failing, error, code, stderr
) -> None:
    out = files / "gen.ts"
    out.write_text("previous")

    def fail(*_args: object) -> None:
        raise error

    monkeypatch.setattr(cli.os, failing, fail)
    assert cli.main(["emit", str(files / "v1.json"), "-o", str(out)]) == code
    assert capsys.readouterr().err == stderr.format(out=out)
    assert out.read_text() == "previous"
    assert [p.name for p in files.iterdir() if p.name.endswith(".tmp")] == []


def test_interrupt_while_reading(monkeypatch, capsys) -> None:
    def interrupted(self: cli.Inputs, path: str) -> tuple[str, str]:
        raise KeyboardInterrupt

    monkeypatch.setattr(cli.Inputs, "read", interrupted)
    assert cli.main(["plain", "-"]) == 130
    assert capsys.readouterr().err == "brenvale: interrupted\n"


@pytest.mark.parametrize("runner", list(RUNNERS))
def test_closed_stdout_exits_quietly(runner) -> None:
    process = subprocess.Popen(
        [*RUNNERS[runner], "emit", "-"],
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
    )
    assert process.stdin is not None and process.stdout is not None and process.stderr is not None
    process.stdout.close()  # the reader is gone before the first write, as after `| head -0`
    process.stdin.write(EXAMPLE.encode())
    process.stdin.close()
    assert process.stderr.read() == b""
    process.stderr.close()
    assert process.wait(timeout=60) == 141


# compat -----------------------------------------------------------------------------------


def compat_run(files: Path, *args: str, stdin: str = "", runner: str = "module"):
    return run("compat", *args, stdin=stdin, runner=runner, cwd=files)


@pytest.mark.parametrize("runner", list(RUNNERS))
def test_compat_text(files, runner) -> None:
    result = compat_run(files, "v1.json", "v2.json", runner=runner)
    assert result.returncode == 1
    assert result.stdout.decode() == (
        "Post\n"
        "  tags          BREAKING  field removed\n"
        "Tag\n"
        "  (definition)  SAFE      model added (additive)\n"
        "User\n"
        "  email         BREAKING  type changed: string -> number\n"
        "  email         BREAKING  read required -> optional\n"
        "  nickname      SAFE      field added (read-optional)\n"
        "3 breaking, 2 safe\n"
    )


@pytest.mark.parametrize(
    ("args", "stdin"),
    [(["v1.json", "v2.json"], ""), (["-", "v2.json"], EXAMPLE), (["v1.json", "-"], CHANGED)],
    ids=["files", "old-on-stdin", "new-on-stdin"],
)
def test_compat_json_is_the_core_text(files, args, stdin) -> None:
    result = compat_run(files, *args, "--format", "json", stdin=stdin)
    assert result.returncode == 1
    assert result.stdout.decode() == brenvale.compat(EXAMPLE, CHANGED) + "\n"


def test_compat_json_for_several_old(files) -> None:
    result = compat_run(files, "v1.json", "v1b.json", "v2.json", "--format", "json")
    reports = json.loads(result.stdout)
    assert reports == [json.loads(brenvale.compat(old, CHANGED)) for old in (EXAMPLE, ADDITIVE)]
    assert result.returncode == 1


def test_compat_several_old_text(files) -> None:
    result = compat_run(files, "v1.json", "v1b.json", "v2.json")
    blocks = result.stdout.decode().split("\n\n")
    assert [b.splitlines()[0] for b in blocks] == ["v1.json -> v2.json", "v1b.json -> v2.json"]
    assert [b.splitlines()[-1] for b in blocks] == ["3 breaking, 2 safe", "3 breaking, 1 safe"]


def test_compat_markdown(files) -> None:
    result = compat_run(files, "v1.json", "v2.json", "--format", "markdown")
    lines = result.stdout.decode().splitlines()
    assert lines[0] == "### Contract changes: `v1.json` → `v2.json`"
    table = [line for line in lines if line.startswith("|")]
    assert table[:2] == ["| Verdict | Definition | Field | Change |", "|---|---|---|---|"]
    assert "| **BREAKING** | `Post` | `tags` | field removed |" in table
    assert "| SAFE | `Tag` |  | model added (additive) |" in table
    assert len(table) == 7 and lines[-1] == "3 breaking, 2 safe"


def test_compat_github(files) -> None:
    result = compat_run(
        files, "v1.json", "v2.json", "--format", "github", "--ignore", "accepted.txt"
    )
    assert result.returncode == 2  # the ignore file does not exist yet
    (files / "accepted.txt").write_text("User.email: read required -> optional\n")
    result = compat_run(
        files, "v1.json", "v2.json", "--format", "github", "--ignore", "accepted.txt"
    )
    assert result.returncode == 1
    assert result.stdout.decode().splitlines() == [
        "::error title=BREAKING contract change::Post.tags: field removed",
        "::notice title=SAFE contract change::Tag: model added (additive)",
        "::error title=BREAKING contract change::User.email: type changed: string -> number",
        "::notice title=BREAKING (ignored) contract change::User.email: read required -> optional",
        "::notice title=SAFE contract change::User.nickname: field added (read-optional)",
        "2 breaking, 2 safe, 1 ignored",
    ]


def test_compat_junit(files) -> None:
    (files / "accepted.txt").write_text("Post.tags\n")
    result = compat_run(
        files, "v1.json", "v1b.json", "v2.json", "--format", "junit", "--ignore", "accepted.txt"
    )
    assert result.returncode == 1
    root = ET.fromstring(result.stdout)
    assert root.tag == "testsuites"
    assert (root.get("tests"), root.get("failures"), root.get("skipped")) == ("9", "4", "2")
    suite = root.find("testsuite")
    assert suite is not None and suite.get("name") == "v1.json -> v2.json"
    cases = {(c.get("classname"), c.get("name")): c for c in suite.iter("testcase")}
    assert cases[("Post", "tags: field removed")].find("skipped") is not None
    failure = cases[("User", "email: type changed: string -> number")].find("failure")
    assert failure is not None and failure.get("type") == "BREAKING"
    assert list(cases[("Tag", "(definition): model added (additive)")]) == []


FAIL_ON_CASES = [
    # (OLD, NEW, --fail-on, exit)
    ("v1.json", "v2.json", "breaking", 1),
    ("v1.json", "v2.json", "any", 1),
    ("v1.json", "v2.json", "never", 0),
    ("v1.json", "v1b.json", "breaking", 0),
    ("v1.json", "v1b.json", "any", 1),
    ("v1.json", "v1b.json", "never", 0),
    ("v1.json", "v1.json", "any", 0),
]


@pytest.mark.parametrize(("old", "new", "fail_on", "code"), FAIL_ON_CASES)
def test_fail_on(files, old, new, fail_on, code) -> None:
    assert compat_run(files, old, new, "--fail-on", fail_on).returncode == code


IGNORE_CASES = [
    # (ignore file, --fail-on, exit, summary)
    ("*\n", "any", 0, "0 breaking, 0 safe, 5 ignored"),
    ("# nothing accepted\n", "breaking", 1, "3 breaking, 2 safe"),
    ("Post.tags: field removed\nUser.email\n", "breaking", 0, "0 breaking, 2 safe, 3 ignored"),
    (
        "Post.tags: field removed\nUser.email: type changed: *\n",
        "breaking",
        1,
        "1 breaking, 2 safe, 2 ignored",
    ),
    (
        "Post.*\nUser.email: * -> *  # both email findings\n",
        "breaking",
        0,
        "0 breaking, 2 safe, 3 ignored",
    ),
    ("Post.tags\nUser.email\n", "any", 1, "0 breaking, 2 safe, 3 ignored"),
    (
        "*.tags\nUser.email\nTag: model added (additive)\nUser.nickname\n",
        "any",
        0,
        "0 breaking, 0 safe, 5 ignored",
    ),
    ("Post: field removed\nUser\n", "breaking", 1, "3 breaking, 2 safe"),
]


@pytest.mark.parametrize(("ignore", "fail_on", "code", "summary"), IGNORE_CASES)
def test_ignore(files, ignore, fail_on, code, summary) -> None:
    (files / "accepted.txt").write_text(ignore)
    result = compat_run(
        files, "v1.json", "v2.json", "--ignore", "accepted.txt", "--fail-on", fail_on
    )
    assert result.returncode == code
    assert result.stdout.decode().splitlines()[-1] == summary


def test_ignored_findings_are_shown(files) -> None:
    (files / "accepted.txt").write_text("Post.tags\n")
    result = compat_run(files, "v1.json", "v2.json", "--ignore", "accepted.txt")
    assert (
        "  tags          BREAKING (ignored)  field removed" in result.stdout.decode().splitlines()
    )


def test_ignore_file_from_stdin(files) -> None:
    result = compat_run(
        files, "v1.json", "v2.json", "--ignore", "-", stdin="Post.tags\nUser.email\n"
    )
    assert result.returncode == 0


SEVERAL_OLD = [
    # (OLD files, NEW file, exit, summary per OLD)
    (["v1.json", "v1b.json"], "v1b.json", 0, ["0 breaking, 1 safe", "0 breaking, 0 safe"]),
    (["v1.json", "v1b.json"], "v2.json", 1, ["3 breaking, 2 safe", "3 breaking, 1 safe"]),
    (["v1b.json", "v1.json"], "v3.json", 1, ["1 breaking, 1 safe", "1 breaking, 2 safe"]),
    (
        ["v1.json", "v1b.json", "v2.json"],
        "v2.json",
        1,
        ["3 breaking, 2 safe", "3 breaking, 1 safe", "0 breaking, 0 safe"],
    ),
]


@pytest.mark.parametrize(
    ("olds", "new", "code", "summaries"),
    SEVERAL_OLD,
    ids=["compatible", "breaking", "renamed", "three"],
)
def test_several_old_against_new(files, olds, new, code, summaries) -> None:
    (files / "v3.json").write_text(ADDITIVE.replace('"tags"', '"labels"'))
    result = compat_run(files, *olds, new, "--format", "github")
    assert result.returncode == code
    tail = result.stdout.decode().splitlines()[-len(summaries) :]
    assert tail == [f"{old} -> {new}: {summary}" for old, summary in zip(olds, summaries)]


# --models ---------------------------------------------------------------------------------
# These run the colleague-owned brenvale.contract for real; only its absence is simulated.

MODELS_MODULE = """
from pydantic import BaseModel

class Tag(BaseModel):
    name: str
"""
MODELS = "brenvale_cli_models:Tag"


@pytest.fixture
def models_dir(monkeypatch, tmp_path) -> Path:
    """A folder holding a Pydantic models module, put on sys.path for in-process runs."""
    pytest.importorskip("pydantic")
    (tmp_path / "brenvale_cli_models.py").write_text(MODELS_MODULE)
    monkeypatch.syspath_prepend(str(tmp_path))
    monkeypatch.delitem(sys.modules, "brenvale_cli_models", raising=False)
    return tmp_path


def models_bundle() -> str:
    from brenvale import contract

    return contract.bundle_from_spec(MODELS)


@pytest.mark.parametrize(
    ("command", "expected"),
    [("emit", brenvale.emit), ("plain", brenvale.emit_plain)],
)
def test_models_instead_of_bundle(models_dir, capsys, command, expected) -> None:
    assert cli.main([command, "--models", MODELS]) == 0
    assert capsys.readouterr().out == expected(models_bundle())


@pytest.mark.parametrize("runner", list(RUNNERS))
def test_bundle_command_writes_and_checks(models_dir, runner) -> None:
    args = ["bundle", "--models", MODELS, "-o", "contracts/bundle.json"]
    checked = run(*args, "--check", runner=runner, cwd=models_dir)
    assert (checked.returncode, b"is missing" in checked.stderr) == (1, True)
    assert not (models_dir / "contracts").exists()
    assert run(*args, runner=runner, cwd=models_dir).returncode == 0
    assert (models_dir / "contracts" / "bundle.json").read_text() == models_bundle()
    assert run(*args, "--check", runner=runner, cwd=models_dir).returncode == 0


@pytest.mark.parametrize("command", ["emit", "plain", "bundle"])
@pytest.mark.parametrize(
    "models", ["no_such_models_module_xyz", "brenvale_cli_models:Missing", "not a module"]
)
def test_models_error_is_one_line(models_dir, capsys, command, models) -> None:
    assert cli.main([command, "--models", models]) == 2
    err = capsys.readouterr().err
    assert err.startswith(f"brenvale: error: {models}: ")
    assert err.count("\n") == 1


