"""The brenvale command line, run as a real process: what each command prints, writes, exits with.

The cases are tables in tests/data: cli_repo.json (the files each run sees), cli_runs.json
(commands) and cli_shell.json (bash scripts around files, devices, FIFOs and standard output).
"""

from __future__ import annotations

import json
import os
import pty
import signal
import subprocess
import sys
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any, Literal

import pytest

import brenvale
from brenvale import _ext

DATA = Path(__file__).resolve().parents[1] / "data"
BRENVALE = [sys.executable, "-m", "brenvale"]


def load(name: str) -> Any:
    return json.loads((DATA / name).read_text(encoding="utf-8"))


def cases(name: str) -> list[dict[str, Any]]:
    return [case for group in load(name)["groups"] for case in group["cases"]]


REPO = load("cli_repo.json")
BUNDLES = {name: json.dumps(entry["bundle"], indent=1) for name, entry in REPO["bundles"].items()}


def compat_report(old: str, new: str, mode: Literal["backward", "forward", "full"]) -> str:
    """What `brenvale compat --format json` prints for one pair of bundles."""
    return _ext.compat(old, new, mode) + "\n"


# The functions the data files name in {"call": NAME, "args": [...]}.
CALLS: dict[str, Callable[..., object]] = {
    "emit_shared": brenvale.emit_shared,
    "emit_plain": brenvale.emit_plain,
    "zod_admin": lambda bundle: brenvale.emit_module(bundle, "zod", sdk="admin"),
    "compat_report": compat_report,
    "compat_findings": lambda old, new, mode: json.loads(compat_report(old, new, mode)),
    "json_line": lambda value: json.dumps(value, separators=(",", ":")) + "\n",
}


def evaluate(item: Any) -> Any:
    """`item` with each {"bundle": NAME} and {"call": NAME, "args": [...]} replaced by its value."""
    if isinstance(item, list):
        return [evaluate(element) for element in item]
    if isinstance(item, dict) and "bundle" in item:
        return BUNDLES[item["bundle"]]
    if isinstance(item, dict) and "call" in item:
        return CALLS[item["call"]](*evaluate(item["args"]))
    if isinstance(item, dict):
        return {key: evaluate(value) for key, value in item.items()}
    return item


def file_text(entry: dict[str, Any]) -> str:
    if "lines" in entry:
        return "\n".join(entry["lines"]) + "\n"
    if "text" in entry:
        return str(entry["text"])
    return str(evaluate(entry))


def git(*args: str, cwd: Path) -> None:
    identity = ["-c", "user.name=t", "-c", "user.email=t@t"]
    subprocess.run(["git", *identity, *args], cwd=cwd, check=True)


@pytest.fixture
def files(tmp_path: Path) -> Path:
    """The files of cli_repo.json in a git repository; contract.json holds 'old' as tagged r1 and
    'new' in the working tree."""
    for name, entry in REPO["files"].items():
        (tmp_path / name).write_text(file_text(entry))
    git("init", "-q", cwd=tmp_path)
    git("add", "contract.json", cwd=tmp_path)
    git("commit", "-qm", "r1", cwd=tmp_path)
    git("tag", "r1", cwd=tmp_path)
    (tmp_path / "contract.json").write_text(BUNDLES["new"])
    return tmp_path


def check_stderr(result: subprocess.CompletedProcess[bytes], ends: str) -> None:
    """Standard error ends with `ends`, and is empty when `ends` is."""
    assert result.stderr.decode().endswith(ends)
    if not ends:
        assert result.stderr == b""


RUNS = cases("cli_runs.json")


@pytest.mark.parametrize("case", RUNS, ids=[" ".join(case["args"]) for case in RUNS])
def test_run(files: Path, case: dict[str, Any]) -> None:
    if "--models" in case["args"]:
        pytest.importorskip("pydantic")
    result = subprocess.run(
        [*BRENVALE, *case["args"]],
        input=evaluate(case["stdin"]).encode(),
        capture_output=True,
        cwd=files,
        timeout=60,
        check=False,
    )
    assert result.returncode == case["exit"]
    if case["exit"] == 2:
        assert result.stdout == b""
    else:
        assert evaluate(case["stdout_holds"]) in result.stdout.decode()
        assert result.stdout.decode().startswith(case.get("stdout_starts", ""))
    check_stderr(result, case["stderr_ends"])


# 600 models of 20 fields: its module is far larger than a pipe buffer.
BIG = {
    f"M{i}": {"type": "object", "properties": {f"f{j}": {} for j in range(20)}} for i in range(600)
}
SHELL = cases("cli_shell.json")


@pytest.mark.parametrize("case", SHELL, ids=[case["script"] for case in SHELL])
def test_shell(files: Path, case: dict[str, Any]) -> None:
    if "mknod" in case["script"] and os.geteuid() != 0:
        pytest.skip("making device nodes needs root")
    (files / "big.json").write_text(json.dumps({"$defs": BIG}))
    result = subprocess.run(
        ["bash", "-c", case["script"].replace("BV", " ".join(BRENVALE))],
        cwd=files,
        capture_output=True,
        timeout=60,
        check=False,
    )
    assert result.returncode == case["exit"]
    if "stdout_holds" in case:
        assert evaluate(case["stdout_holds"]) in result.stdout.decode()
        assert result.stdout.decode().startswith(case.get("stdout_starts", ""))
    check_stderr(result, case["stderr_ends"])


# The child stalls in fsync, with the temporary file written, until the signal comes.
STALLING = """
import os, sys, time
from brenvale import cli
os.fsync = lambda fd: time.sleep(60)
sys.exit(cli.main())
"""


def signal_when(child: subprocess.Popen[bytes], ready: Callable[[], bool], signum: int) -> None:
    """Sends `signum` once `ready()` holds, or after 30 s."""
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not ready():
        time.sleep(0.02)
    child.send_signal(signum)


# As STALLING, and the child takes its time to say it stopped, so a second signal comes then.
STALLING_TWICE = """
import os, sys, time
from brenvale import cli
os.fsync = lambda fd: time.sleep(60)
said = cli._stopped
def slowly(how):
    open("stopping", "w").close()
    time.sleep(1.5)
    said(how)
cli._stopped = slowly
sys.exit(cli.main())
"""


# A second signal, while the run says it stopped, is ignored.
@pytest.mark.parametrize(
    ("signals", "said"),
    [
        ((signal.SIGTERM,), "stopped by SIGTERM"),
        ((signal.SIGHUP,), "stopped by SIGHUP"),
        ((signal.SIGINT,), "interrupted"),
        ((signal.SIGINT, signal.SIGINT), "interrupted"),
        ((signal.SIGTERM, signal.SIGINT), "stopped by SIGTERM"),
    ],
)
def test_signal_during_output_keeps_old_file(
    files: Path, signals: tuple[signal.Signals, ...], said: str
) -> None:
    (files / "gen.ts").write_text("previous")
    script = STALLING if len(signals) == 1 else STALLING_TWICE
    with subprocess.Popen(
        [sys.executable, "-c", script, "emit", "v1.json", "-o", "gen.ts"],
        cwd=files,
        stderr=subprocess.PIPE,
    ) as child:
        signal_when(
            child, lambda: any(p.stat().st_size for p in files.glob(".gen.ts.*.tmp")), signals[0]
        )
        for later in signals[1:]:
            signal_when(child, (files / "stopping").exists, later)
        _, stderr = child.communicate(timeout=30)
    assert (child.returncode, stderr.decode()) == (128 + signals[0], f"brenvale: {said}\n")
    assert (files / "gen.ts").read_text() == "previous"
    assert not list(files.glob("*.tmp"))


# The child stalls after the output is replaced, before the run ends.
STALLING_AFTER = """
import sys, time
from brenvale import cli
def stall():
    open("replaced", "w").close()
    time.sleep(60)
cli.flush_stdout = stall
sys.exit(cli.main())
"""


def test_signal_after_output_says_it_was_written(files: Path) -> None:
    with subprocess.Popen(
        [sys.executable, "-c", STALLING_AFTER, "emit", "v1.json", "-o", "gen.ts"],
        cwd=files,
        stderr=subprocess.PIPE,
    ) as child:
        signal_when(child, (files / "replaced").exists, signal.SIGTERM)
        _, stderr = child.communicate(timeout=30)
    assert (child.returncode, stderr) == (
        143,
        b"brenvale: stopped by SIGTERM after writing gen.ts\n",
    )
    assert (files / "gen.ts").read_text().startswith("// AUTO-GENERATED")


def test_a_replaced_file_keeps_its_owner(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    """The new file is given the old one's owner and group before it takes its place (only root
    may, so the call is watched rather than made)."""
    from brenvale import output

    target = tmp_path / "gen.ts"
    target.write_text("old")
    old = target.stat()
    given: list[tuple[str, int, int]] = []
    monkeypatch.setattr(os, "chown", lambda path, uid, gid: given.append((path, uid, gid)))
    assert output.replace_file(str(target), b"new")
    [(path, uid, gid)] = given
    assert (Path(path).parent, uid, gid) == (tmp_path, old.st_uid, old.st_gid)
    assert target.read_text() == "new"
    output.REPLACED.clear()


def test_terminal_input_ends_at_one_ctrl_d(files: Path) -> None:
    leader, follower = pty.openpty()
    with subprocess.Popen(
        [*BRENVALE, "emit", "-", "-o", "gen.ts"],
        cwd=files,
        stdin=follower,
        stderr=subprocess.PIPE,
    ) as child:
        os.close(follower)
        os.write(leader, b'{"$defs": {}}\n\x04')
        try:
            assert child.wait(timeout=30) == 0
        finally:
            os.close(leader)
    assert (files / "gen.ts").read_text().startswith("// AUTO-GENERATED")


def test_models_read_anew_when_their_bytecode_looks_current(tmp_path: Path) -> None:
    """Python trusts a .pyc whose source keeps its size and its modification time in seconds,
    which an edit within the second of the last import does: the bundle must show the edit, in
    a folder of shared models linked into the project too; a zip the models put on the module
    path still imports."""
    pytest.importorskip("pydantic")
    import py_compile
    import zipfile

    shared, project = tmp_path / "shared", tmp_path / "project"
    shared.mkdir()
    project.mkdir()
    (project / "shared").symlink_to(shared)
    (shared / "__init__.py").write_text("")
    source = shared / "base.py"
    source.write_text("from pydantic import BaseModel\nclass Base(BaseModel):\n    n: str\n")
    py_compile.compile(str(source), invalidation_mode=py_compile.PycInvalidationMode.TIMESTAMP)
    stamp = source.stat().st_mtime_ns
    source.write_text("from pydantic import BaseModel\nclass Base(BaseModel):\n    n: int\n")
    os.utime(source, ns=(stamp, stamp))
    with zipfile.ZipFile(project / "deps.zip", "w") as deps:
        deps.writestr("vendored.py", "M = 1\n")
    (project / "shop.py").write_text(
        "import sys\nsys.path.insert(0, 'deps.zip')\nimport vendored\n"
        "from shared.base import Base\nclass Item(Base):\n    m: int = vendored.M\n"
    )
    result = subprocess.run(
        [*BRENVALE, "bundle", "--models", "shop"], capture_output=True, cwd=project, check=True
    )
    assert json.loads(result.stdout)["$defs"]["Item"]["properties"]["n"]["type"] == "integer"
