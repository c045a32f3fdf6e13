"""The brenvale command line, run as a real process: what each command prints, writes and exits with."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

import brenvale
from brenvale import _ext

DEFS = {
    "Post": {
        "type": "object",
        "x-firestore-collection": "users/{uid}/posts",
        "x-firestore-doc-id-field": "id",
        "properties": {
            "id": {"type": "string"},
            "status": {"$ref": "#/$defs/Status"},
            "tags": {"type": "array"},
        },
    },
    "Status": {"enum": ["draft", "published"], "type": "string"},
    "User": {
        "type": "object",
        "x-firestore-collection": "users",
        "x-firestore-doc-id-field": "uid",
        "required": ["email", "uid"],
        "properties": {
            "email": {"type": "string", "x-firestore-presence-guaranteed": True},
            "uid": {"type": "string"},
            "name": {"type": "string", "maxLength": 10},
        },
    },
}
OLD = json.dumps({"$defs": DEFS}, indent=1)
# NEW removes a field (forward), removes an enum member and tightens a maxLength (backward), adds a field (safe).
NEW = (
    OLD.replace(',\n    "tags": {\n     "type": "array"\n    }', "")
    .replace(',\n    "published"', "")
    .replace('"maxLength": 10', '"maxLength": 5')
    .replace('"uid": {', '"nick": {"type": "string"}, "uid": {')
)
DRAFT7 = json.dumps(
    {
        "definitions": {
            "A": {"type": "object", "properties": {"b": {"$ref": "#/definitions/B"}}},
            "B": {"type": "object", "properties": {}},
        }
    }
)
PYTHON, USAGE = f"{sys.executable} -m brenvale", "brenvale: error: "


MODELS = {
    "noisy": "print('loading')\nfrom pydantic import BaseModel\nclass Tag(BaseModel):\n    name: str\n",
    "nan": "from pydantic import BaseModel\nclass Tag(BaseModel):\n    price: float = float('nan')\n",
    "extra": "from pydantic import BaseModel, Field\nclass Tag(BaseModel):\n"
    "    price: float = Field(1.0, json_schema_extra={'x': object()})\n",
    "attr": "def __getattr__(name):\n    raise RuntimeError(name)\n",
    "boom": "class Boom(BaseException):\n    pass\nraise Boom('no')\n",
}


def run(*args: str, stdin: str = "", cwd: Path | None = None):
    return subprocess.run(
        [*PYTHON.split(), *args],
        input=stdin.encode(),
        capture_output=True,
        cwd=cwd,
        timeout=60,
        check=False,
    )


@pytest.fixture
def files(tmp_path: Path) -> Path:
    """A git repository where contract.json holds NEW, and OLD as tagged r1; v1/v2.json hold OLD/NEW."""
    for name, text in [
        ("v1", OLD),
        ("v2", NEW),
        ("a:b", OLD),
        ("models", "models: [User]\n"),
        ("d7", DRAFT7),
        ("contract", OLD),
    ]:
        (tmp_path / f"{name}.json").write_text(text)
    for name, source in MODELS.items():
        (tmp_path / f"{name}.py").write_text(source)
    for args in (["init", "-q"], ["add", "contract.json"], ["commit", "-qm", "r1"], ["tag", "r1"]):
        subprocess.run(
            ["git", "-c", "user.name=t", "-c", "user.email=t@t", *args], cwd=tmp_path, check=True
        )
    (tmp_path / "contract.json").write_text(NEW)
    return tmp_path


def ext(old: str, new: str, mode: str = "full") -> str:
    return _ext.compat(old, new, mode) + "\n"


C12 = ["compat", "v1.json", "v2.json"]
# (arguments, stdin, exit code, what stdout holds (exit 2: nothing), how stderr ends). What the transcripts in
# docs/ show (plain runs, the text report, usage and input errors, not a bundle, REV:PATH errors) runs in test_docs.
RUNS = [
    (
        ["emit", "-", "--shared-path", "./s", "--shared", "Status", "--shared", "User"],
        OLD,
        0,
        brenvale.emit_shared(OLD, "./s", ["Status", "User"]),
        "",
    ),
    (
        ["emit", "-", "--sdk", "admin", "--update-paths"],
        OLD,
        2,
        "",
        "--update-paths is for --sdk web: the Admin SDK "
        "cannot expand maps of models or references\n",
    ),
    (
        ["compat", "-", "v2.json", "--format", "json", "--mode", "backward"],
        OLD,
        1,
        ext(OLD, NEW, "backward"),
        "",
    ),
    (
        ["compat", "v2.json", "v1.json", "v2.json"],
        "",
        1,
        "v2.json -> v2.json\n0 breaking, 0 safe\n\nv1.json ->",
        "",
    ),
    # ignore lines name a message or a rule id; with the mode and --fail-on they decide the exit code
    ([*C12, "--ignore", "-", "--fail-on", "any"], "*\n", 0, "0 breaking, 0 safe, 4 ignored\n", ""),
    (
        [*C12, "--ignore", "-", "--mode", "backward"],
        "# none\n*: *-tightened\nStatus: enum-member-removed\n",
        0,
        "0 breaking, 2 safe, 2 ignored\n",
        "",
    ),
    (
        [*C12, "--ignore", "-", "--mode", "forward", "--fail-on", "any"],
        "Post.tags",
        1,
        "0 breaking, 3 safe, 1 ign",
        "",
    ),
    ([*C12, "--mode", "forward", "--fail-on", "never"], "", 0, "1 breaking, 3 safe\n", ""),
    (
        [*C12, "--ignore", "-"],
        "Post.tags: field removed  # ok\nGone.*: x\n",
        1,
        "2 breaking, 1 safe, 1 ignored",
        "brenvale: warning: <stdin>:2: 'Gone.*: x' matches no finding\n",
    ),
    # every format shows the rule id, the direction and the ignored mark (text: docs; escaping: test_findings)
    (
        [*C12, "--ignore", "-", "--format", "json"],
        "Post.tags",
        1,
        '"message":"field removed","rule":"field-removed","verdict":"BREAKING","ignored":true}',
        "",
    ),
    (
        [*C12, "--ignore", "-", "--format", "markdown"],
        "Post.tags",
        1,
        "| BREAKING (ignored) | <code>Post</code> | "
        "<code>tags</code> | field removed | <code>field\\-removed</code> | forward |\n",
        "",
    ),
    (
        [*C12, "--ignore", "-", "--format", "github"],
        "Post.tags",
        1,
        "::notice title=BREAKING (ignored) contract "
        "change::Post.tags: field removed [field-removed, forward]\n",
        "",
    ),
    (
        [*C12, "--ignore", "-", "--format", "junit"],
        "Post.tags",
        1,
        '<testcase classname="Post" name="tags: field '
        'removed [field-removed, forward]">\n      <skipped message="ignored BREAKING: field removed" />',
        "",
    ),
    # a JSON schema keeping its definitions under "definitions" is read as if they were under "$defs"
    (
        ["compat", "d7.json", "-", "--format", "json"],
        '{"definitions": {}}',
        1,
        ext(DRAFT7.replace("definitions", "$defs"), '{"$defs": {}}'),
        'd7.json: reading "definitions" as "$defs"\n',
    ),
    # usage and file errors
    (["--check", *C12], "", 2, "", "--check applies to emit, plain, zod and bundle\n"),
    ([*C12, "--ignore", "no.txt"], "", 2, "", f"{USAGE}no.txt: No such file or directory\n"),
    # OLD as REV:PATH is read from git, each of several against NEW; an existing file named with a colon is a file
    (["compat", "a:b.json", "contract.json", "--format", "json"], "", 1, ext(OLD, NEW), ""),
    (
        ["compat", "r1:contract.json", "v1.json", "v2.json", "--format", "json"],
        "",
        1,
        json.dumps(
            [
                {"old": o, "new": "v2.json", "findings": json.loads(ext(OLD, NEW))}
                for o in ["r1:contract.json", "v1.json"]
            ],
            separators=(",", ":"),
        )
        + "\n",
        "",
    ),
    (
        ["compat", "r1:", "v2.json"],
        "",
        2,
        "",
        f"{USAGE}r1:: a folder in that revision, not a file\n",
    ),
    # --models, running brenvale.contract for real: what models print goes to stderr; faults name model and field
    (
        ["plain", "--models", "noisy:Tag"],
        "",
        0,
        "export interface Tag {\n  name: string;\n}\n",
        "loading\n",
    ),
    (
        ["bundle", "--models", "nan"],
        "",
        2,
        "",
        f"{USAGE}nan: Tag.price (default): nan is not JSON\n",
    ),
    (
        ["bundle", "--models", "extra"],
        "",
        2,
        "",
        f"{USAGE}extra: Tag.price: PydanticSerializationError: Unable to "
        "serialize unknown type: <class 'object'>\n",
    ),
    (
        ["emit", "--models", "attr:Tag"],
        "",
        2,
        "",
        f"{USAGE}attr:Tag: getting Tag from attr failed: RuntimeError: Tag\n",
    ),
    (["plain", "--models", "boom"], "", 2, "", f"{USAGE}boom: importing boom failed: Boom: no\n"),
]


@pytest.mark.parametrize(("args", "stdin", "code", "out", "err"), RUNS)
def test_run(files, args, stdin, code, out, err) -> None:
    if "--models" in args:
        pytest.importorskip("pydantic")
    result = run(*args, stdin=stdin, cwd=files)
    assert result.returncode == code and (
        result.stdout == b"" if code == 2 else out in result.stdout.decode()
    )
    assert result.stderr.decode().endswith(err) and (err or not result.stderr)


# files, devices, FIFOs, signals, standard output: nothing destroyed, truncated, hung or misreported --

# bash scripts where BV is the command: what stdout holds, and how stderr ends.
BIG = json.dumps(
    {
        "$defs": {
            f"M{i}": {"type": "object", "properties": {f"f{j}": {} for j in range(20)}}
            for i in range(600)
        }
    }
)  # its module is far larger than a pipe buffer
SHELL = [
    # -o: a new file in new folders and nothing else there; a replaced file keeps its mode; a current one its mtime
    (
        "BV emit v1.json -o web/src/gen.ts && ls -A web/src && diff <(BV emit v1.json) web/src/gen.ts",
        0,
        "gen.ts\n",
        "",
    ),
    (
        "echo x >g.ts && chmod 640 g.ts && BV plain v1.json -o g.ts && stat -c %a g.ts",
        0,
        "640\n",
        "",
    ),
    (
        "BV emit v1.json -o g.ts; touch -d @1000000000 g.ts; BV emit v1.json -o g.ts; stat -c %Y g.ts",
        0,
        "1000000000\n",
        "",
    ),
    (
        "mkfifo p; BV plain v1.json -o p & cat p; wait $! && test -p p",
        0,
        brenvale.emit_plain(OLD),
        "",
    ),
    # --check writes nothing and fails when OUT is missing (a current or stale OUT, and the diff: docs)
    (
        "BV --check emit v1.json -o g.ts; s=$?; test -e g.ts || exit $s",
        1,
        "+++ g.ts (generated)",
        "g.ts is missing; run without --check to update it\n",
    ),
    # a failed run leaves the old output as it was, and no temporary file
    (
        "echo x >g.ts; BV emit models.json -o g.ts; echo $?; cat g.ts; ls -A | grep tmp; exit 0",
        0,
        "2\nx\n",
        f"{USAGE}models.json: expected value at line 1 column 1\n",
    ),
    (
        "echo x >g.ts; (ulimit -f 0; BV emit v1.json -o g.ts); echo $?; cat g.ts; ls -A | grep tmp; exit 0",
        0,
        "2\nx\n",
        f"{USAGE}g.ts: File too large\n",
    ),
    # standard output that fails (a full device, a file size limit, a reader that goes away) is never success
    ("BV emit big.json >/dev/full", 2, "", f"{USAGE}standard output: No space left on device\n"),
    ("ulimit -f 1; BV emit big.json >out.ts", 2, "", f"{USAGE}standard output: File too large\n"),
    ("BV emit big.json | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}", 141, "", ""),
    # git history outside a repository, or without git
    (
        "GIT_DIR=no BV compat r1:contract.json v2.json",
        2,
        "",
        f"{USAGE}r1:contract.json: not a git repository: 'no'\n",
    ),
    (
        "PATH= BV compat r1:c.json v2.json",
        2,
        "",
        f"{USAGE}r1:c.json: no such file, and git is not installed\n",
    ),
    # devices are written in place, never replaced (a FIFO's success: above); --check, folders, files in the way and
    # the inputs are refused
    (
        "mknod full c 1 7; BV emit v1.json -o full; s=$?; test -c full && exit $s",
        2,
        "",
        f"{USAGE}full: No space left on device\n",
    ),
    (
        "mknod zero c 1 5; ulimit -v 2000000; BV emit zero",
        2,
        "",
        f"{USAGE}zero: a device, not a file or a pipe\n",
    ),
    (
        "mknod null c 1 3; BV emit v1.json -o null --check",
        2,
        "",
        f"{USAGE}null: --check compares with a regular file only\n",
    ),
    (
        "BV emit v1.json -o new/; s=$?; test -e new||exit $s",
        2,
        "",
        f"{USAGE}new/: names a folder; give a file name\n",
    ),
    (
        "BV emit v1.json -o v2.json/g.ts; s=$?; head -c1 v2.json; exit $s",
        2,
        "{",
        f"{USAGE}v2.json/g.ts: a part of the path is a file, not a folder\n",
    ),
    (
        "mkdir sub; BV emit v1.json -o sub/../v1.json; s=$?; head -c1 v1.json; exit $s",
        2,
        "{",
        f"{USAGE}sub/../v1.json: is also an input; write somewhere else\n",
    ),
]


@pytest.mark.parametrize(("script", "code", "out", "err"), SHELL)
def test_shell(files, script, code, out, err) -> None:
    if "mknod" in script and os.geteuid() != 0:
        pytest.skip("making device nodes needs root")
    (files / "big.json").write_text(BIG)
    result = subprocess.run(
        ["bash", "-c", script.replace("BV", PYTHON)],
        cwd=files,
        capture_output=True,
        timeout=60,
        check=False,
    )
    assert (
        result.returncode,
        out in result.stdout.decode(),
        result.stderr.decode().endswith(err),
    ) == (code, 1, 1)
    assert err or not result.stderr


# The child stalls in fsync, with the temporary file written, until the signal comes.
STALLING = "import os, sys, time; from brenvale import cli; os.fsync = lambda fd: time.sleep(60); sys.exit(cli.main())"


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGHUP, signal.SIGINT])
def test_signal_during_output_keeps_old_file(files, signum) -> None:
    (files / "gen.ts").write_text("previous")
    with subprocess.Popen(
        [sys.executable, "-c", STALLING, "emit", "v1.json", "-o", "gen.ts"],
        cwd=files,
        stderr=subprocess.DEVNULL,
    ) as child:
        deadline = time.monotonic() + 30
        while (
            not any(p.stat().st_size for p in files.glob(".gen.ts.*.tmp"))
            and time.monotonic() < deadline
        ):
            time.sleep(0.02)
        child.send_signal(signum)
        assert child.wait(timeout=30) == 128 + signum
    assert (files / "gen.ts").read_text() == "previous" and not list(files.glob("*.tmp"))
