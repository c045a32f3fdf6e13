"""The _core functions: binding and conversion errors word for word, equivalent calls, and the stub's docs."""

import ast
import collections.abc
import inspect
from pathlib import Path

import pytest

import brenvale
from brenvale import _core

emit, plain, shared, compat = _core.emit, _core.emit_plain, _core.emit_shared, _core.compat
# B refers to A, so sharing A changes what emit_shared writes.
BUNDLE = (
    '{"$defs": {"A": {"properties": {"x": {}}}, "B": {"properties": {"a": {"$ref": "#/$defs/A"}}}}}'
)


class Names(collections.abc.Sequence):
    """Yields "A", then raises `error` or stops; asking its length always fails."""

    def __init__(self, error=None):
        self.error = error

    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, index):
        if index and self.error is not None:
            raise self.error
        return ["A"][index]


T, STR, CODEC = (
    "TypeError: ",
    "is not an instance of 'str'",
    "'utf-8' codec can't encode character '\\ud800' in",
)
# Each message form, every function at least once; in a row of several faults, the first error wins.
ERRORS = [
    (
        lambda: shared(),
        T + "emit_shared() missing 3 required positional arguments: 'bundle_json', 'shared_path', "
        "and 'shared_names'",
    ),
    (
        lambda: shared("{}"),
        T + "emit_shared() missing 2 required positional arguments: 'shared_path' and "
        "'shared_names'",
    ),
    (
        lambda: compat(new_json="{}"),
        T + "compat() missing 1 required positional argument: 'old_json'",
    ),
    (
        lambda: shared("{}", "./s", [], None, bogus=1),
        T + "emit_shared() takes 3 positional arguments but 4 were given",
    ),
    (lambda: plain(json="{}"), T + "emit_plain() got an unexpected keyword argument 'json'"),
    (lambda: emit(**{"\udc80": "{}"}), T + "emit() got an unexpected keyword argument '\udc80'"),
    (
        lambda: emit("{}", bundle_json="{}", bogus=1),
        T + "emit() got multiple values for argument 'bundle_json'",
    ),
    (
        lambda: emit(type("N", (), {"__qualname__": "H.N"})()),
        T + f"argument 'bundle_json': 'H.N' object {STR}",
    ),
    (lambda: shared("{", 1.5, {"A"}), T + f"argument 'shared_path': 'float' object {STR}"),
    (lambda: shared("{", "./s", "A"), T + "argument 'shared_names': Can't extract `str` to `Vec`"),
    (
        lambda: shared("{", "./s", {"A"}),
        T + "argument 'shared_names': 'set' object is not an instance of 'Sequence'",
    ),
    (lambda: shared("{}", "./s", b"AB"), T + f"argument 'shared_names': 'int' object {STR}"),
    (lambda: compat("{", 2), T + f"argument 'new_json': 'int' object {STR}"),
    (
        lambda: shared(
            "{}", "./s", Names(type("CustomTypeError", (TypeError,), {})("not renamed"))
        ),
        "CustomTypeError: not renamed",
    ),
    (lambda: shared("{}", "./s", Names(KeyboardInterrupt("stop"))), "KeyboardInterrupt: stop"),
    (
        lambda: shared("\ud800", 5, None),
        f"UnicodeEncodeError: {CODEC} position 0: surrogates not allowed",
    ),
]


@pytest.mark.parametrize(("call", "message"), ERRORS)
def test_error(call, message):
    with pytest.raises((TypeError, UnicodeEncodeError, KeyboardInterrupt)) as caught:
        call()
    assert f"{type(caught.value).__name__}: {caught.value}" == message


def test_exact_type_error_of_the_names_is_renamed_and_keeps_its_cause():
    error, cause = TypeError("items unavailable"), KeyError("inner")
    error.__cause__ = cause
    with pytest.raises(TypeError, match=r"^argument 'shared_names': items unavailable$") as caught:
        shared("{}", "./s", Names(error))
    assert caught.value.__cause__ is cause


@pytest.mark.parametrize(
    ("call", "same"),
    [
        (lambda: compat(new_json=BUNDLE, old_json="{}"), lambda: compat("{}", BUNDLE)),
        (
            lambda: shared(shared_names=["A"], bundle_json=BUNDLE, shared_path="./s"),
            lambda: shared(BUNDLE, "./s", ["A"]),
        ),
        (lambda: shared(BUNDLE, "./s", ["A", "A"]), lambda: shared(BUNDLE, "./s", ("A",))),
        (
            lambda: shared(BUNDLE, "./s", [type("Text", (str,), {})("B"), "A"]),
            lambda: shared(BUNDLE, "./s", ["A", "B"]),
        ),
        (lambda: shared(BUNDLE, "./s", Names()), lambda: shared(BUNDLE, "./s", ["A"])),
        (lambda: shared(BUNDLE, "./s", []), lambda: emit(BUNDLE)),
        (lambda: emit(type("Text", (str,), {})("null")), lambda: emit("{}")),
    ],
)
def test_equivalent_calls(call, same):
    assert type(call()) is str and call() == same()
    assert shared(BUNDLE, "./s", ["A"]) != emit(BUNDLE)


@pytest.mark.parametrize("function", [emit, plain, shared, compat], ids=lambda f: f.__name__)
def test_docstring_and_signature_match_the_stub(function):
    stubs = ast.parse((Path(brenvale.__file__).parent / "_core.pyi").read_text(encoding="utf-8"))
    stub = next(
        node
        for node in stubs.body
        if isinstance(node, ast.FunctionDef) and node.name == function.__name__
    )
    assert function.__doc__ == ast.get_docstring(stub)
    assert function.__text_signature__ == f"({', '.join(arg.arg for arg in stub.args.args)})"
    assert {(p.kind, p.default) for p in inspect.signature(function).parameters.values()} == {
        (inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty)
    }


def test_module_offers_exactly_four_functions_and_the_package_reexports_them():
    assert [name for name in vars(_core) if name[:2] != "__"] == [
        "emit",
        "emit_plain",
        "emit_shared",
        "compat",
    ]
    assert _core.__doc__ == "" and all(inspect.isbuiltin(f) for f in (emit, plain, shared, compat))
    assert [brenvale.emit, brenvale.emit_plain, brenvale.emit_shared, brenvale.compat] == [
        emit,
        plain,
        shared,
        compat,
    ]
