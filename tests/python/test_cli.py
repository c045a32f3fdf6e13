"""The brenvale command line, run as a real process (console script and `python -m`)."""

from __future__ import annotations

import json
import os
import resource
import signal
import stat
import subprocess
import sys
import sysconfig
import threading
import time
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

import brenvale
from brenvale import cli, contract, output, stale

GUARANTEED = {"type": "string", "x-firestore-presence-guaranteed": True}
CONTRACT = {
    "Address": {"type": "object", "required": ["city"], "properties": {"city": {"type": "string"}}},
    "Post": {"type": "object", "x-firestore-collection": "users/{uid}/posts", "x-firestore-doc-id-field": "id",
             "properties": {"id": {"type": "string"}, "tags": {"type": "array", "items": {"type": "string"}}}},
    "PostStatus": {"enum": ["draft", "published"], "type": "string"},
    "User": {"type": "object", "x-firestore-collection": "users", "x-firestore-doc-id-field": "uid",
             "required": ["email", "uid"], "properties": {
                 "address": {"$ref": "#/$defs/Address"}, "email": GUARANTEED, "uid": {"type": "string"}}},
}
EXAMPLE = json.dumps({"$defs": CONTRACT}, indent=1)


def _contract(changed: bool) -> str:
    """The example plus a model; `changed` also removes one field, retypes one and adds one."""
    defs = json.loads(EXAMPLE)["$defs"]
    defs["Tag"] = {"type": "object", "properties": {}}
    if changed:
        del defs["Post"]["properties"]["tags"]
        defs["User"]["properties"]["email"] = {"type": "integer"}
        defs["User"]["properties"]["nickname"] = {"type": "string"}
    return json.dumps({"$defs": defs}, indent=1)


CHANGED, ADDITIVE = _contract(True), _contract(False)
RUNNERS = {"module": [sys.executable, "-m", "brenvale"],
           "script": [str(Path(sysconfig.get_path("scripts")) / "brenvale")]}


def run(*args: str, stdin: str = "", runner: str = "module", cwd: Path | None = None, timeout: float = 60):
    return subprocess.run([*RUNNERS[runner], *args], input=stdin.encode(), capture_output=True, cwd=cwd,
                          timeout=timeout, check=False)


@pytest.fixture
def files(tmp_path: Path) -> Path:
    """tmp_path holding v1 (the example), v2 (breaking and safe), v1b (safe only) and junk."""
    for name, text in [("v1", EXAMPLE), ("v2", CHANGED), ("v1b", ADDITIVE), ("models", "models: [User]\n")]:
        (tmp_path / f"{name}.json").write_text(text)
    (tmp_path / "latin1.json").write_bytes(b'{"a": "\xe9"}')
    return tmp_path


def compat_run(files: Path, *args: str, stdin: str = ""):
    return run("compat", *args, stdin=stdin, cwd=files)


# help and version: both entry points ------------------------------------------------------


@pytest.mark.parametrize(("runner", "command"), [("script", []), ("script", ["compat"]), ("module", []),
                                                 *(("module", [c]) for c in ("emit", "plain", "bundle", "compat"))])
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



def shared_ab(bundle: str) -> str:
    return brenvale.emit_shared(bundle, "./shared", ["Address", "PostStatus"])


GENERATORS = [
    pytest.param("emit", [], brenvale.emit, id="emit"),
    pytest.param("plain", [], brenvale.emit_plain, id="plain"),
    pytest.param("emit", ["--shared-path", "./shared", "--shared", "Address", "PostStatus"], shared_ab,
                 id="emit-shared"),
    pytest.param("emit", ["--shared-path", "./shared", "--shared", "Address", "--shared", "PostStatus"], shared_ab,
                 id="emit-shared-repeated"),
]


@pytest.mark.parametrize(("command", "extra", "expected"), GENERATORS)
@pytest.mark.parametrize("source", ["file", "stdin"])
def test_generate_to_stdout(files, command, extra, expected, source) -> None:
    path, stdin = (str(files / "v1.json"), "") if source == "file" else ("-", EXAMPLE)
    result = run(command, path, *extra, stdin=stdin)
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode() == expected(EXAMPLE)


@pytest.mark.parametrize(("command", "extra", "expected"), GENERATORS[:3])
def test_generate_to_new_file_in_new_folders(files, command, extra, expected) -> None:
    out = files / "web" / "src" / "gen.ts"
    result = run(command, "-", *extra, "-o", str(out), stdin=EXAMPLE)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert out.read_text() == expected(EXAMPLE)
    assert sorted(p.name for p in out.parent.iterdir()) == ["gen.ts"]  # no temporary left


def test_output_rewritten_keeps_mode_and_unchanged_keeps_mtime(files) -> None:
    out = files / "gen.ts"
    out.write_text("old")
    out.chmod(0o640)
    assert run("emit", str(files / "v1.json"), "-o", str(out)).returncode == 0
    assert out.read_text() == brenvale.emit(EXAMPLE)
    assert oct(out.stat().st_mode & 0o777) == oct(0o640)
    os.utime(out, ns=(1_000_000_000, 1_000_000_000))
    assert run("emit", str(files / "v1.json"), "-o", str(out)).returncode == 0
    assert out.stat().st_mtime_ns == 1_000_000_000
    link = files / "link.ts"  # through a symlink, the target is updated
    link.symlink_to(out)
    assert run("plain", str(files / "v1.json"), "-o", str(link)).returncode == 0
    assert link.is_symlink() and out.read_text() == brenvale.emit_plain(EXAMPLE)


# --check ----------------------------------------------------------------------------------


@pytest.mark.parametrize("command", ["emit", "plain"])
@pytest.mark.parametrize(("state", "code", "word"), [("fresh", 0, ""), ("stale", 1, "is stale"),
                                                     (None, 1, "is missing")], ids=["fresh", "stale", "missing"])
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


def test_check_shows_the_first_difference_at_its_place(files) -> None:
    lines = [f"line {i}\n" for i in range(10_000)]
    (files / "long.ts").write_text("".join([*lines[:5000], "changed\n", *lines[5001:], "extra\n"]))
    diff = stale.stale_diff("long.ts", (files / "long.ts").read_bytes(), "".join(lines)).splitlines()
    assert diff[2:10] == ["@@ -4998,7 +4998,7 @@", " line 4997", " line 4998", " line 4999", "-changed", "+line 5000",
                          " line 5001", " line 5002"]
    assert diff[-1] == "... only the first difference is shown"


def test_global_check_is_for_hooks_and_its_diff_is_short(files) -> None:
    out = files / "gen.ts"
    out.write_text("")
    result = run("--check", "emit", str(files / "v1.json"), "-o", str(out))
    lines = result.stdout.decode().splitlines()
    assert result.returncode == 1 and len(lines) == stale.DIFF_LINES + 1
    assert lines[-1] == "... only the first difference is shown"
    assert out.read_text() == ""


# errors -----------------------------------------------------------------------------------

USAGE_ERRORS = [
    ([], "required: COMMAND"),
    (["emit"], "exactly one of BUNDLE or --models"),
    (["emit", "v1.json", "--models", "pkg.mod"], "exactly one of BUNDLE or --models"),
    (["emit", "v1.json", "--shared", "Address"], "--shared-path and --shared go together"),
    (["emit", "v1.json", "--shared-path", "./s"], "--shared-path and --shared go together"),
    (["plain", "v1.json", "--check"], "--check needs -o OUT"),
    (["bundle"], "required: --models"),
    (["compat", "v1.json"], "at least one OLD bundle"),
    (["compat", "v1.json", "v2.json", "--format", "yaml"], "invalid choice: 'yaml'"),
    (["compat", "v1.json", "v2.json", "--fail-on", "some"], "invalid choice: 'some'"),
    (["--check", "compat", "v1.json", "v2.json"], "--check applies to emit, plain and bundle"),
    (["emit", "v1.json", "--bogus"], "unrecognized arguments: --bogus"),
]


@pytest.mark.parametrize(("args", "message"), USAGE_ERRORS, ids=[m for _, m in USAGE_ERRORS])
def test_usage_errors(files, args, message) -> None:
    result = run(*args, cwd=files)
    assert (result.returncode, result.stdout) == (2, b"")
    assert message in result.stderr.decode()


FILE_ERRORS = [
    (["emit", "models.json"], "", "models.json: expected value at line 1 column 1"),
    (["plain", "-"], "[1, }", "<stdin>: expected value at line 1 column 5"),
    (["emit", "missing.json"], "", "missing.json: No such file or directory"),
    (["emit", "."], "", ".: Is a directory"),
    (["plain", "latin1.json"], "", "latin1.json: not UTF-8 text (invalid continuation byte at byte 7)"),
    (["compat", "models.json", "v2.json"], "", "models.json: expected value at line 1 column 1"),
    (["compat", "v1.json", "-"], "{1}", "<stdin>: key must be a string at line 1 column 2"),
    (["compat", "-", "-"], '{"$defs": {}}', "<stdin>: standard input can be read only once"),
    (["compat", "v1.json", "v2.json", "--ignore", "nope.txt"], "", "nope.txt: No such file or directory"),
]


@pytest.mark.parametrize(("args", "stdin", "line"), FILE_ERRORS, ids=[e[2] for e in FILE_ERRORS])
def test_file_errors_are_one_line(files, args, stdin, line) -> None:
    result = run(*args, stdin=stdin, cwd=files)
    assert (result.returncode, result.stdout) == (2, b"")
    assert result.stderr.decode() == f"brenvale: error: {line}\n"


@pytest.mark.parametrize("args", [["emit", "models.json"], ["plain", "missing.json"]])
def test_failed_run_leaves_existing_output_identical(files, args) -> None:
    out = files / "gen.ts"
    out.write_bytes(b"previous \x00 bytes")
    os.utime(out, ns=(2_000_000_000, 2_000_000_000))
    assert run(*args, "-o", "gen.ts", cwd=files).returncode == 2
    assert out.read_bytes() == b"previous \x00 bytes"
    assert out.stat().st_mtime_ns == 2_000_000_000
    assert [p.name for p in files.iterdir() if p.name.startswith(".")] == []


@pytest.mark.parametrize(
    ("target", "name", "error", "code", "stderr"),
    [
        (output.os, "replace", PermissionError(13, "Permission denied"), 2,
         "brenvale: error: {out}: Permission denied\n"),
        (output.os, "fsync", OSError(28, "No space left on device"), 2,
         "brenvale: error: {out}: No space left on device\n"),
        (cli.Inputs, "read", KeyboardInterrupt(), 130, "brenvale: interrupted\n"),
    ],
    ids=["replace-refused", "disk-full", "interrupted-while-reading"],
)
def test_failure_keeps_old_file(files, monkeypatch, capsys, target, name, error, code, stderr) -> None:
    out = files / "gen.ts"
    out.write_text("previous")

    def fail(*_args: object) -> None:
        raise error

    monkeypatch.setattr(target, name, fail)
    assert cli.main(["emit", str(files / "v1.json"), "-o", str(out)]) == code
    assert capsys.readouterr().err == stderr.format(out=out)
    assert out.read_text() == "previous"
    assert [p.name for p in files.iterdir() if p.name.endswith(".tmp")] == []


# compat -----------------------------------------------------------------------------------


def test_compat_text_through_the_script(files) -> None:
    result = run("compat", "v1.json", "v2.json", runner="script", cwd=files)
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


def test_several_old(files) -> None:
    result = compat_run(files, "v1.json", "v1b.json", "v2.json", "--format", "json")
    expected = [{"old": old, "new": "v2.json", "findings": json.loads(brenvale.compat(text, CHANGED))}
                for old, text in (("v1.json", EXAMPLE), ("v1b.json", ADDITIVE))]
    assert json.loads(result.stdout) == expected
    assert result.returncode == 1
    blocks = compat_run(files, "v1.json", "v1b.json", "v2.json").stdout.decode().split("\n\n")
    assert [b.splitlines()[0] for b in blocks] == ["v1.json -> v2.json", "v1b.json -> v2.json"]
    assert [b.splitlines()[-1] for b in blocks] == ["3 breaking, 2 safe", "3 breaking, 1 safe"]
    (files / "v3.json").write_text(ADDITIVE.replace('"tags"', '"labels"'))
    result = compat_run(files, "v1b.json", "v1.json", "v3.json", "--format", "github")  # reports keep OLD order
    assert result.returncode == 1
    assert result.stdout.decode().splitlines()[-2:] == [
        "1 breaking, 1 safe (v1b.json -> v3.json)", "1 breaking, 2 safe (v1.json -> v3.json)"]
    assert compat_run(files, "v1.json", "v1b.json", "v1b.json").returncode == 0  # every OLD compatible


def test_compat_markdown(files) -> None:
    lines = compat_run(files, "v1.json", "v2.json", "--format", "markdown").stdout.decode().splitlines()
    assert lines[0] == r"### Contract changes: <code>v1\.json</code> → <code>v2\.json</code>"
    table = [line for line in lines if line.startswith("|")]
    assert table[:2] == ["| Verdict | Definition | Field | Change |", "|---|---|---|---|"]
    assert "| **BREAKING** | <code>Post</code> | <code>tags</code> | field removed |" in table
    assert r"| SAFE | <code>Tag</code> |  | model added \(additive\) |" in table
    assert len(table) == 7 and lines[-1] == "3 breaking, 2 safe"


def test_compat_github(files) -> None:
    (files / "accepted.txt").write_text("User.email: read required -> optional\n")
    result = compat_run(files, "v1.json", "v2.json", "--format", "github", "--ignore", "accepted.txt")
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
    result = compat_run(files, "v1.json", "v1b.json", "v2.json", "--format", "junit", "--ignore", "accepted.txt")
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


# Which findings fail is held by test_findings; here, that the verdict becomes the exit code.
@pytest.mark.parametrize(
    ("new", "fail_on", "code"),
    [("v2.json", "breaking", 1), ("v2.json", "never", 0), ("v1b.json", "breaking", 0), ("v1b.json", "any", 1),
     ("v1.json", "any", 0)],
)
def test_fail_on(files, new, fail_on, code) -> None:
    assert compat_run(files, "v1.json", new, "--fail-on", fail_on).returncode == code


@pytest.mark.parametrize(
    ("ignore", "fail_on", "code", "summary"),
    [
        ("*\n", "any", 0, "0 breaking, 0 safe, 5 ignored"),
        ("# nothing accepted\n", "breaking", 1, "3 breaking, 2 safe"),
        ("Post.tags: field removed\nUser.email: type changed: *\n", "breaking", 1, "1 breaking, 2 safe, 2 ignored"),
        ("Post.tags\nUser.email\n", "any", 1, "0 breaking, 2 safe, 3 ignored"),
    ],
)
def test_ignore(files, ignore, fail_on, code, summary) -> None:
    (files / "accepted.txt").write_text(ignore)
    result = compat_run(files, "v1.json", "v2.json", "--ignore", "accepted.txt", "--fail-on", fail_on)
    assert result.returncode == code
    assert result.stdout.decode().splitlines()[-1] == summary


def test_ignore_file_from_stdin_and_ignored_findings_are_shown(files) -> None:
    result = compat_run(files, "v1.json", "v2.json", "--ignore", "-", stdin="Post.tags\nUser.email\nGone.*: x\n")
    assert result.returncode == 0
    assert "  tags          BREAKING (ignored)  field removed" in result.stdout.decode().splitlines()
    assert result.stderr.decode() == "brenvale: warning: <stdin>:3: 'Gone.*: x' matches no finding\n"


# --models ---------------------------------------------------------------------------------
# These run the colleague-owned brenvale.contract for real; only its absence is simulated.

MODELS = "brenvale_cli_models:Tag"


@pytest.fixture
def models_dir(monkeypatch, tmp_path) -> Path:
    """A folder holding a Pydantic models module, put on sys.path for in-process runs."""
    pytest.importorskip("pydantic")
    (tmp_path / "brenvale_cli_models.py").write_text("from pydantic import BaseModel\n\n"
                                                     "class Tag(BaseModel):\n    name: str\n")
    monkeypatch.syspath_prepend(str(tmp_path))
    monkeypatch.delitem(sys.modules, "brenvale_cli_models", raising=False)
    return tmp_path


@pytest.mark.parametrize(("command", "expected"), [("emit", brenvale.emit), ("plain", brenvale.emit_plain)])
def test_models_instead_of_bundle(models_dir, capsys, command, expected) -> None:
    assert cli.main([command, "--models", MODELS]) == 0
    assert capsys.readouterr().out == expected(contract.bundle_from_target(MODELS))


def test_bundle_command_writes_and_checks(models_dir) -> None:
    args = ["bundle", "--models", MODELS, "-o", "contracts/bundle.json"]
    checked = run(*args, "--check", cwd=models_dir)
    assert (checked.returncode, b"is missing" in checked.stderr) == (1, True)
    assert not (models_dir / "contracts").exists()
    assert run(*args, cwd=models_dir).returncode == 0
    assert (models_dir / "contracts" / "bundle.json").read_text() == contract.bundle_from_target(MODELS)
    assert run(*args, "--check", cwd=models_dir).returncode == 0


@pytest.mark.parametrize("command", ["emit", "plain", "bundle"])
@pytest.mark.parametrize("models", ["no_such_models_module_xyz", "brenvale_cli_models:Missing", "not a module"])
def test_models_error_is_one_line(models_dir, capsys, command, models) -> None:
    assert cli.main([command, "--models", models]) == 2
    err = capsys.readouterr().err
    assert err.startswith(f"brenvale: error: {models}: ")
    assert err.count("\n") == 1


# files, streams, signals and input: nothing destroyed, truncated, hung or misreported --------

BIG = json.dumps({"$defs": {f"M{i}": {"type": "object", "properties": {f"f{j}": {} for j in range(20)}}
                            for i in range(600)}})  # its module is far larger than a pipe buffer


@pytest.fixture
def devices(files: Path) -> Path:
    """`null` and `full` character devices in the temporary folder (a broken -o harms only them)."""
    for name, minor in (("null", 3), ("full", 7)):
        try:
            os.mknod(files / name, 0o666 | stat.S_IFCHR, os.makedev(1, minor))
        except PermissionError:
            pytest.skip("making device nodes needs root")
    return files


@pytest.mark.parametrize(
    ("out", "extra", "code", "message"),
    [
        ("null", [], 0, ""),
        ("full", [], 2, "brenvale: error: full: No space left on device\n"),
        ("null", ["--check"], 2, "brenvale: error: null: --check compares with a regular file only\n"),
        ("newdir/", [], 2, "brenvale: error: newdir/: names a folder; give a file name\n"),
        ("v2.json/gen.ts", [], 2, "brenvale: error: v2.json/gen.ts: a part of the path is a file, not a folder\n"),
        ("sub/../v1.json", [], 2, "brenvale: error: sub/../v1.json: is also an input; write somewhere else\n"),
    ],
)
def test_output_targets(devices, out, extra, code, message) -> None:
    (devices / "sub").mkdir()
    before = {p: p.read_bytes() for p in devices.glob("*.json")}
    result = run("emit", "v1.json", "-o", out, *extra, cwd=devices)
    assert (result.returncode, result.stderr.decode()) == (code, message)
    assert (devices / "null").is_char_device() and not (devices / "newdir").exists()
    assert {p: p.read_bytes() for p in devices.glob("*.json")} == before


def test_output_to_fifo_is_written_in_place(files) -> None:
    fifo = files / "pipe"
    os.mkfifo(fifo)
    received: list[bytes] = []
    reader = threading.Thread(target=lambda: received.append(fifo.read_bytes()), daemon=True)
    reader.start()
    assert run("plain", "v1.json", "-o", "pipe", cwd=files, timeout=20).returncode == 0
    reader.join(20)
    assert received == [brenvale.emit_plain(EXAMPLE).encode()] and fifo.is_fifo()


# The child stalls in fsync, with the temporary file written, until the signal comes.
STALLING = "import os, sys, time; from brenvale import cli; os.fsync = lambda fd: time.sleep(60); sys.exit(cli.main())"


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGHUP, signal.SIGINT])
def test_signal_during_output_keeps_old_file(files, signum) -> None:
    (files / "gen.ts").write_text("previous")
    with subprocess.Popen([sys.executable, "-c", STALLING, "emit", "v1.json", "-o", "gen.ts"], cwd=files,
                          stderr=subprocess.DEVNULL) as child:
        deadline = time.monotonic() + 30
        while not list(files.glob(".gen.ts.*.tmp")) and time.monotonic() < deadline:
            time.sleep(0.02)
        child.send_signal(signum)
        assert child.wait(timeout=30) == 128 + signum
    assert (files / "gen.ts").read_text() == "previous" and not list(files.glob("*.tmp"))


def _limit_file_size() -> None:
    resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))


@pytest.mark.parametrize(
    ("stdout", "preexec", "code", "message"),
    [
        ("/dev/full", None, 2, "brenvale: error: standard output: No space left on device\n"),
        ("out.ts", _limit_file_size, 2, "brenvale: error: standard output: File too large\n"),
        ("pipe", None, 141, ""),
    ],
    ids=["device-full", "short-write", "closed-pipe"],
)
def test_failed_stdout_is_never_success(files, stdout, preexec, code, message) -> None:
    (files / "big.json").write_text(BIG)
    args = [*RUNNERS["module"], "emit", "big.json"]
    if stdout == "pipe":
        with subprocess.Popen(args, cwd=files, stdout=subprocess.PIPE, stderr=subprocess.PIPE) as child:
            assert child.stdout is not None and child.stderr is not None and len(child.stdout.read(10)) == 10
            child.stdout.close()  # `| head -c 10`
            result = subprocess.CompletedProcess(args, child.wait(timeout=60), b"", child.stderr.read())
    else:
        with open(files / stdout, "wb") as sink:
            result = subprocess.run(args, cwd=files, stdout=sink, stderr=subprocess.PIPE, preexec_fn=preexec,
                                    timeout=60, check=False)
    assert (result.returncode, result.stderr.decode()) == (code, message)


DRAFT7 = json.dumps({"definitions": {"A": {"type": "object", "properties": {"b": {"$ref": "#/definitions/B"}}},
                                     "B": {"type": "object", "properties": {}}}})
NOTE = 'brenvale: {}: reading "definitions" as "$defs"\n'


@pytest.mark.parametrize(
    ("args", "text", "code", "stdout", "stderr"),
    [
        (["emit", "in.json"], '{"name": "pkg"}', 2, "",
         'brenvale: error: in.json: not a contract bundle: no "$defs" or "definitions" object at the top\n'),
        (["compat", "in.json", "in.json"], "[]", 2, "",
         'brenvale: error: in.json: not a contract bundle: no "$defs" or "definitions" object at the top\n'),
        (["plain", "in.json"], DRAFT7, 0, brenvale.emit_plain(DRAFT7.replace("definitions", "$defs")),
         NOTE.format("in.json")),
        (["compat", "in.json", "-", "--format", "json"], DRAFT7, 1,
         '[{"def":"B","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"}]\n',
         NOTE.format("in.json")),
    ],
    ids=["package-json", "array", "draft-07", "draft-07-model-deleted"],
)
def test_bundle_definitions(files, args, text, code, stdout, stderr) -> None:
    (files / "in.json").write_text(text)
    new = json.dumps({"definitions": {"A": json.loads(DRAFT7)["definitions"]["A"]}})
    result = run(*args, stdin=new, cwd=files)
    assert (result.returncode, result.stdout.decode(), result.stderr.decode()) == (code, stdout, stderr)


MODEL_FAULTS = [
    ("class Tag(BaseModel):\n    price: float = float('nan')\n", "", "Tag.price (default): nan is not JSON"),
    ("class Tag(BaseModel):\n    price: float = Field(1.0, json_schema_extra={'x': object()})\n", "",
     "Tag.price: PydanticSerializationError: Unable to serialize unknown type: <class 'object'>"),
    ("def __getattr__(name):\n    raise RuntimeError(name)\n", ":Tag",
     "getting Tag from faulty_models failed: RuntimeError: Tag"),
    ("class Boom(BaseException):\n    pass\nraise Boom('no')\n", "", "importing faulty_models failed: Boom: no"),
]


@pytest.mark.parametrize(("source", "names", "message"), MODEL_FAULTS,
                         ids=["nan", "extra", "getattr", "base-exception"])
def test_models_faults_name_model_and_field(models_dir, capsys, source, names, message) -> None:
    (models_dir / "faulty_models.py").write_text(f"from pydantic import BaseModel, Field\n{source}")
    sys.modules.pop("faulty_models", None)
    assert cli.main(["bundle", "--models", f"faulty_models{names}"]) == 2
    assert capsys.readouterr().err == f"brenvale: error: faulty_models{names}: {message}\n"


def test_models_printing_at_import_goes_to_stderr(models_dir, capsys) -> None:
    (models_dir / "noisy_models.py").write_text("print('loading')\nfrom brenvale_cli_models import Tag\n")
    assert cli.main(["bundle", "--models", "noisy_models:Tag"]) == 0
    assert capsys.readouterr() == (contract.bundle_from_target(MODELS), "loading\n")
