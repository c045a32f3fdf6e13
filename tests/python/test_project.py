"""generate, check and --accept over a project file, run as real processes in a git repository:
the cases are in tests/data/project_cases.json. Then the example app's own project file, and
generate --watch."""

from __future__ import annotations

import json
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Any

import pytest

ROOT = Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data"
CASES = json.loads((DATA / "project_cases.json").read_text("utf-8"))
BUNDLES = json.loads((DATA / "cli_repo.json").read_text("utf-8"))["bundles"]
EXAMPLE = ROOT / "examples"
# The example's User gains a required field; check must then fail.
NEW_FIELD = ("    display_name: str\n", "    display_name: str\n    nickname: str\n")


def lines(text: list[str]) -> str:
    return "".join(f"{line}\n" for line in text)


def git(folder: Path, *args: str) -> None:
    identity = ["-c", "user.name=t", "-c", "user.email=t@t"]
    subprocess.run(["git", *identity, *args], cwd=folder, check=True, capture_output=True)


def commit_all(folder: Path) -> None:
    git(folder, "init", "-q")
    git(folder, "add", ".")
    git(folder, "commit", "-qm", "baseline")


def brenvale(folder: Path, *args: str, prelude: str = "") -> subprocess.CompletedProcess[str]:
    code = f"import sys\n{prelude}\nfrom brenvale.cli import main\nsys.exit(main())"
    return subprocess.run(
        [sys.executable, "-c", code, *args],
        cwd=folder,
        capture_output=True,
        text=True,
        timeout=120,
        check=False,
    )


def content(value: Any) -> str:
    return json.dumps(BUNDLES[value["bundle"]]["bundle"]) if isinstance(value, dict) else value


@pytest.mark.parametrize("case", CASES["cases"], ids=lambda case: case["why"])
def test_project(case: dict[str, Any], tmp_path: Path) -> None:
    (tmp_path / "brenvale.toml").write_text(lines(case.get("config", CASES["config"])))
    (tmp_path / "contract.json").write_text(content({"bundle": "old"}))
    commit_all(tmp_path)
    for name, value in case["edits"].items():
        if value is None:
            (tmp_path / name).unlink(missing_ok=True)
        else:
            (tmp_path / name).write_text(content(value))
    for run in case["runs"]:
        done = brenvale(tmp_path, *run["args"], prelude=run.get("prelude", ""))
        stdout = lines(run["stdout"]).replace("{findings}\n", lines(CASES["findings"]))
        assert (done.returncode, done.stdout, done.stderr) == (
            run["exit"],
            stdout,
            lines(run["stderr"]),
        )
    for name, expected in case.get("after", {}).items():
        path = tmp_path / name
        assert (path.read_text() if path.exists() else None) == (expected and lines(expected))


@pytest.fixture
def example(tmp_path: Path) -> Path:
    """The example app and its project file, committed in a repository of their own."""
    pytest.importorskip("pydantic")
    shutil.copytree(EXAMPLE / "app", tmp_path / "app", ignore=shutil.ignore_patterns("*.pyc"))
    for name in ("brenvale.toml", "contract.json"):
        shutil.copyfile(EXAMPLE / name, tmp_path / name)
    commit_all(tmp_path)
    return tmp_path


def test_example_app_gains_a_required_field(example: Path) -> None:
    outputs = ["generated/web/contract.ts", "generated/web/schemas.ts"]
    outputs.append("generated/functions/contract.ts")
    wrote = [f"wrote {output}" for output in outputs]
    assert brenvale(example, "generate").stdout == lines([*wrote, "1 unchanged"])
    assert brenvale(example, "check").returncode == 0
    models = example / "app" / "models.py"
    models.write_text(models.read_text().replace(*NEW_FIELD))
    done = brenvale(example, "check")
    assert done.returncode == 1
    for stale in ["contract.json", *outputs]:
        assert f"stale: {stale}\n" in done.stdout
    assert "  nickname  BREAKING  field added as read-required" in done.stdout


def wait_for(test: Any, what: str, seconds: float = 10) -> None:
    deadline = time.monotonic() + seconds
    while not test():
        assert time.monotonic() < deadline, f"waited {seconds} s for {what}"
        time.sleep(0.05)


def test_watch_regenerates_until_ctrl_c(example: Path) -> None:
    models, web = example / "app" / "models.py", example / "generated" / "web" / "contract.ts"
    last = example / "generated" / "functions" / "contract.ts"  # the round's last output
    text = models.read_text()
    with (
        (example / "err.txt").open("w") as err,
        subprocess.Popen(
            [sys.executable, "-m", "brenvale", "generate", "--watch"],
            cwd=example,
            stdout=subprocess.DEVNULL,
            stderr=err,
        ) as child,
    ):
        try:
            wait_for(web.exists, "the first round")
            models.write_text(text + "syntax error(\n")
            wait_for(lambda: "SyntaxError" in (example / "err.txt").read_text(), "the error")
            models.write_text(text.replace(*NEW_FIELD))
            wait_for(lambda: "nickname" in web.read_text(), "the new module", seconds=5)
            wait_for(lambda: "nickname" in last.read_text(), "the round's end", seconds=5)
            time.sleep(0.5)  # past the last write, where the round forgets what it wrote
            child.send_signal(signal.SIGINT)
            assert child.wait(timeout=30) == 128 + signal.SIGINT
            # The rounds were done: the stop names no file as written by it.
            assert (example / "err.txt").read_text().endswith("brenvale: interrupted\n")
        finally:
            if child.poll() is None:  # a failed wait: leave no watcher behind
                child.kill()


def test_a_stopped_watch_round_keeps_the_files_it_wrote(monkeypatch: pytest.MonkeyPatch) -> None:
    """The stop's message names the files that the round replaced before the signal came."""
    from brenvale import output, watch

    def stopped(_project: object) -> int:
        output.REPLACED.append("web.ts")
        raise KeyboardInterrupt

    monkeypatch.setattr(watch, "read_project", lambda: None)
    monkeypatch.setattr(watch, "generate", stopped)
    with pytest.raises(KeyboardInterrupt):
        watch.one_round(None)
    assert output.REPLACED == ["web.ts"]
    output.REPLACED.clear()


@pytest.mark.parametrize("bundle", ["link.json", "linked/contract.json"])
def test_check_reads_a_linked_bundle_at_the_baseline(bundle: str, tmp_path: Path) -> None:
    """git keeps a link as the link's own text: the baseline is the file it names, also
    through a linked folder."""
    (tmp_path / "brenvale.toml").write_text(
        lines([f'bundle = "{bundle}"', "[compat]", 'baseline = "HEAD"'])
    )
    (tmp_path / "contract.json").write_text(content({"bundle": "old"}))
    (tmp_path / "link.json").symlink_to("contract.json")
    (tmp_path / "linked").symlink_to(".")
    commit_all(tmp_path)
    done = brenvale(tmp_path, "check")
    expected = lines([f"compat HEAD:contract.json -> {bundle}", "0 breaking, 0 safe"])
    assert (done.returncode, done.stdout, done.stderr) == (0, expected, "")


def test_a_zod_output_checks_against_the_module_of_its_sdk(tmp_path: Path) -> None:
    """A zod output for the Admin SDK is the Admin SDK's Zod module, importing the admin one."""
    (tmp_path / "contract.json").write_text(content({"bundle": "old"}), "utf-8")
    outputs = [("admin", "server/contract.ts", ""), ("zod", "server/zod.ts", 'sdk = "admin"')]
    tables = [f'[[outputs]]\nkind = "{k}"\npath = "{path}"\n{more}' for k, path, more in outputs]
    (tmp_path / "brenvale.toml").write_text('bundle = "contract.json"\n' + "\n".join(tables))
    assert brenvale(tmp_path, "generate").returncode == 0
    zod = (tmp_path / "server" / "zod.ts").read_text("utf-8")
    assert '"firebase-admin/firestore"' in zod and 'from "./contract.js"' in zod
