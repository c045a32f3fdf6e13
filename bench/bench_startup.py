"""Start-up cost of the command line against `python -c pass`, for the two commands hooks and CI
run most: `brenvale emit` on a 20 KB bundle, and `brenvale check` on an up-to-date project with
three outputs, a bundle as the source (no models) and a compat baseline.

Every pre-commit hook and CI step pays the interpreter start and the imports, not the core's
work, so this is the figure users feel. Both run through the console script, as users run
them. Each command and the bare interpreter run interleaved (A B A B ...), and the ratio of the
medians is reported. Target: at most 2x. Byte code is compiled first, as pip does on install.
Usage: python bench/bench_startup.py [--runs 21]
"""

from __future__ import annotations

import argparse
import compileall
import json
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import brenvale

sys.path.insert(0, str(Path(__file__).parent))

from make_bundle import make_bundle

PROJECT = """bundle = "contract.json"
[[outputs]]
kind = "web"
path = "web/contract.ts"
[[outputs]]
kind = "zod"
path = "web/schemas.ts"
[[outputs]]
kind = "admin"
path = "functions/contract.ts"
[compat]
baseline = "HEAD"
"""


def bundle_of_size(target_bytes: int) -> str:
    models = 1
    while True:
        text = json.dumps(make_bundle(models), indent=2)
        if len(text) >= target_bytes:
            return text
        models += 1


def wall_time(command: list[str], cwd: Path) -> float:
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, cwd=cwd)
    return time.perf_counter() - start


def console_script() -> list[str]:
    """The installed `brenvale` beside this interpreter, else `python -m brenvale`."""
    script = Path(sys.executable).parent / "brenvale"
    return [str(script)] if script.exists() else [sys.executable, "-m", "brenvale"]


def project(folder: Path, bundle: str) -> None:
    """A git repository with the project committed and its outputs generated."""
    (folder / "contract.json").write_text(bundle, encoding="utf-8")
    (folder / "brenvale.toml").write_text(PROJECT, encoding="utf-8")
    git = ["git", "-c", "user.name=bench", "-c", "user.email=bench@example.com"]
    for args in (["init", "-q"], ["add", "."], ["commit", "-qm", "bench"]):
        subprocess.run([*git, *args], cwd=folder, check=True)
    subprocess.run([*console_script(), "generate"], cwd=folder, check=True, capture_output=True)


def ratio(name: str, command: list[str], cwd: Path, runs: int) -> None:
    bare = [sys.executable, "-c", "pass"]
    for warm in (bare, command):  # the file cache
        wall_time(warm, cwd)
    bare_times, times = [], []
    for _ in range(runs):
        bare_times.append(wall_time(bare, cwd))
        times.append(wall_time(command, cwd))
    bare_ms, ms = statistics.median(bare_times) * 1000, statistics.median(times) * 1000
    print(f"  {name:<16} {ms:7.1f} ms  vs python -c pass {bare_ms:6.1f} ms: {ms / bare_ms:5.2f}x")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=21)
    args = parser.parse_args()
    compileall.compile_dir(str(Path(brenvale.__file__).parent), quiet=1)
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        bundle = bundle_of_size(20_000)
        (root / "bundle.json").write_text(bundle, encoding="utf-8")
        if shutil.which("git") is None:
            raise SystemExit("bench_startup: the check figure needs git")
        (root / "project").mkdir()
        project(root / "project", bundle)
        print(f"bundle {len(bundle)} bytes, {args.runs} interleaved pairs, medians (target <= 2x):")
        ratio("brenvale emit", [*console_script(), "emit", "bundle.json"], root, args.runs)
        ratio("brenvale check", [*console_script(), "check"], root / "project", args.runs)


if __name__ == "__main__":
    main()
